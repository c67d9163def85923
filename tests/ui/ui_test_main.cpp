#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

#include "ui/tavrel_theme.h"

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform says this for every dialog; it means nothing here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

// One QApplication for every widget test, on the offscreen platform unless
// the caller chose another.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    tavrel::applyTavrelTheme(application);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
