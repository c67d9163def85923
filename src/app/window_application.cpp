#include "app/window_application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QString>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <system_error>

#include "app/cue_warmer.h"
#include "app/player_factory.h"
#include "app/single_instance.h"
#include "audio/audio_overview_reader.h"
#include "audio/pulse_audio_output.h"
#include "persistence/cue_persistence.h"
#include "persistence/library_lock.h"
#include "persistence/local_file_system.h"
#include "persistence/preferences_storage.h"
#include "playback/audio_playback_controller.h"
#include "remote/remote_control.h"
#include "remote/remote_preferences.h"
#include "store/cue_store.h"
#include "ui/cue_artwork_cache.h"
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
// A few per pixel of the editor's waveform.
constexpr std::size_t overviewPeakCount = 1200;

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

void bringToFront(QWidget& window) {
    window.show();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

RemoteSettingsServices remoteSettingsServices(const std::shared_ptr<RemoteControl>& remote) {
    RemoteSettingsServices services;
    services.validate = &RemoteControl::validate;
    services.status = [remote] {
        const auto& status = remote->status();
        return RemoteSettingsServices::Status{status.problem, status.osc, status.midi,
                                              status.midiInputs};
    };
    services.startLearning = [remote](const std::string& target,
                                      std::function<void(const MidiMapping&)> learned) {
        remote->startLearning(target, std::move(learned));
    };
    services.cancelLearning = [remote] { remote->cancelLearning(); };
    services.withLearned = &mappingsWithLearned;
    return services;
}

struct OpenedLibrary {
    std::optional<CuePersistence> persistence;
    LibraryLock lock;
};

// Before anything reads the library: a second window on it would save a
// stale document over the first one's edits.
OpenedLibrary openLibrary() {
    OpenedLibrary opened;
    try {
        opened.persistence = CuePersistence::applicationSupport(LocalFileSystem::shared());
    } catch (const std::exception&) {
        // Handled by the store: given none, it looks again, runs without
        // storage and shows why.
        return opened;
    }
    opened.lock = LibraryLock::acquire(opened.persistence->rootURL());
    if (!opened.lock.held() && opened.lock.outcome() != LibraryLock::Outcome::heldElsewhere)
        std::cerr << "tavrel: 라이브러리를 잠그지 못했습니다. 다른 창에서 같은 라이브러리를 "
                     "열지 마세요. ("
                  << opened.lock.problem() << ")\n";
    return opened;
}

// A saved change of output or latency moves the stream at once.
Subscription followOutputPreferences(const std::shared_ptr<CueStore>& store,
                                     const ApplicationAudio& audio) {
    audio.setOutput(store->preferences().outputDevice, store->preferences().latencyPreset);
    return store->subscribe([&audio, store, applied = store->preferences()]() mutable {
        const Preferences& now = store->preferences();
        if (now.outputDevice == applied.outputDevice && now.latencyPreset == applied.latencyPreset)
            return;
        applied = now;
        audio.setOutput(now.outputDevice, now.latencyPreset);
    });
}

// What the window needs from the engine, the remote control and the app.
struct WindowParts {
    QtFileChooser fileChooser;
    CueArtworkWorkers artwork;
};

UiServices windowServices(const std::shared_ptr<CueStore>& store,
                          const std::shared_ptr<RemoteControl>& remote,
                          const ApplicationAudio& audio, AudioOverviewThread& overviews,
                          WindowParts& parts) {
    UiServices services;
    services.fileChooser = &parts.fileChooser;
    services.artwork = &parts.artwork;
    services.settings.remote = remoteSettingsServices(remote);
    services.settings.listOutputs = [] {
        std::vector<OutputEntry> entries;
        for (const auto& device :
             listOutputDevices(std::chrono::seconds(1)).value_or(std::vector<OutputDevice>{}))
            entries.push_back({device.name, device.description});
        return entries;
    };
    services.outputStatus = audio.outputStatus;
    services.presentEditor =
        cueEditorPresenter(store, parts.fileChooser,
                           [&overviews](const std::filesystem::path& url,
                                        std::function<void(const AudioOverview&)> deliver) {
                               return overviews.request(url, overviewPeakCount, std::move(deliver));
                           });
    services.makeLoopPanel = [store, &parts](QWidget* parent) -> QWidget* {
        return new LoopPlaybackView(store, parts.fileChooser, parent);
    };
    return services;
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
    OpenedLibrary library = openLibrary();
    if (library.lock.outcome() == LibraryLock::Outcome::heldElsewhere) {
        QCoreApplication handOver(argc, argv);
        return handOverToRunningWindow(library.persistence->rootURL(), std::cerr);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    applyTavrelTheme(application);
    installKoreanQtTranslations(application);
    QWidget* shownWindow = nullptr;
    std::optional<InstanceServer> instanceServer;
    if (library.lock.held()) {
        instanceServer.emplace(library.persistence->rootURL(), [&shownWindow] {
            if (shownWindow)
                bringToFront(*shownWindow);
        });
    }

    QtMainLoop mainLoop;
    const ApplicationAudio audio = makeApplicationAudio(mainLoop);
    auto playback = std::make_shared<AudioPlaybackController>(audio.factory);
    const std::shared_ptr<CueStore> store =
        CueStore::create(library.persistence, playback, mainLoop);
    store->usePreferences(PreferencesStorage::standard());
    // Only the holder of the lock may take staging folders for leftovers: another
    // window's import in progress looks just the same.
    if (library.lock.held())
        store->cleanUpLeftovers();
    const Subscription outputFollower = followOutputPreferences(store, audio);
    // Follows the preferences by itself: OSC, MIDI and backup machines.
    const std::shared_ptr<RemoteControl> remote = RemoteControl::create(store, mainLoop);
    const CueWarmer warmer(store, audio.warm, audio.forgetFailedFiles);
    // Before the window: an editor's request must not outlive the thread, nor
    // a card its decoding threads.
    AudioOverviewThread overviews(mainLoop);
    WindowParts parts;
    MainWindow window(store, windowServices(store, remote, audio, overviews, parts));

    if (screenshot)
        return writeScreenshot(window, *screenshot);
    window.show();
    shownWindow = &window;
    const int status = application.exec();
    shownWindow = nullptr;
    return status;
}

}  // namespace tavrel
