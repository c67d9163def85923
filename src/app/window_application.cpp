#include "app/window_application.h"

#include <QApplication>
#include <QPixmap>
#include <QString>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <system_error>

#include "app/cue_warmer.h"
#include "app/player_factory.h"
#include "playback/audio_playback_controller.h"
#include "store/cue_store.h"
#include "ui/cue_editor_view.h"
#include "ui/loop_playback_view.h"
#include "ui/main_window.h"
#include "ui/qt_file_chooser.h"
#include "ui/qt_main_loop.h"
#include "ui/qt_translations.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

QtMessageHandler previousMessageHandler = nullptr;

// Headless runs print one line; Qt's note about a missing runtime folder is
// not news to anyone running without a desktop session.
void headlessMessageHandler(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << "\n";
}

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

int writeScreenshot(MainWindow& window, const std::filesystem::path& path) {
    window.show();
    // Let layouts settle and the first paint happen.
    for (int pass = 0; pass < 3; ++pass)
        QApplication::processEvents();
    std::error_code error;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), error);
    const QString file = QString::fromStdU16String(path.u16string());
    if (!window.grab().save(file, "PNG")) {
        std::cerr << "tavrel: could not write the screenshot to " << path.string() << "\n";
        return 1;
    }
    std::cout << "tavrel: no window shown; screenshot written to " << path.string() << "\n";
    return 0;
}

}  // namespace

int runWindowApplication(int argc, char** argv, const WindowOptions& options) {
    std::optional<std::filesystem::path> screenshot = options.screenshotPath;
    if (!screenshot && !hasDisplay())
        screenshot = std::filesystem::path("build/screenshots/main.png");
    // The platform is chosen when QApplication is made.
    if (screenshot) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        previousMessageHandler = qInstallMessageHandler(headlessMessageHandler);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    applyTavrelTheme(application);
    installKoreanQtTranslations(application);

    QtMainLoop mainLoop;
    const ApplicationAudio audio = makeApplicationAudio(mainLoop);
    auto playback = std::make_shared<AudioPlaybackController>(audio.factory);
    const std::shared_ptr<CueStore> store = CueStore::create(std::nullopt, playback, mainLoop);
    store->usePreferences(PreferencesStorage::standard());
    const CueWarmer warmer(store, audio.warm);
    QtFileChooser fileChooser;
    UiServices services;
    services.fileChooser = &fileChooser;
    services.presentEditor = cueEditorPresenter(store, fileChooser);
    services.makeLoopPanel = [store, &fileChooser](QWidget* parent) -> QWidget* {
        return new LoopPlaybackView(store, fileChooser, parent);
    };
    MainWindow window(store, services);

    if (screenshot)
        return writeScreenshot(window, *screenshot);
    window.show();
    return application.exec();
}

}  // namespace tavrel
