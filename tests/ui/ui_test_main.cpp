#include <gtest/gtest.h>

#include <QApplication>

#include "ui/tavrel_theme.h"

namespace {
QtMessageHandler previousHandler = nullptr;
}  // namespace

// One QApplication for every widget test, on the offscreen platform unless
// the caller chose another.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says this for every dialog; it means nothing here.
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (!message.contains(QLatin1String("does not support propagateSizeHints")))
                previousHandler(type, context, message);
        });
    QApplication application(argc, argv);
    tavrel::applyTavrelTheme(application);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
