// From a key press on the window to the play() it causes, on the main thread:
// 1,000 presses over the twelve cue keys, median and p99. Also the whole
// handling of a press, with every view brought up to date. Offscreen platform,
// silent player; results to build/bench-results/ui_key_latency.json or argv[1].

#include <QApplication>
#include <QTest>

#include <fstream>

#include "persistence/local_file_system.h"
#include "store/cue_store.h"
#include "ui/main_window.h"
#include "ui/qt_file_chooser.h"
#include "ui/qt_main_loop.h"
#include "ui/tavrel_theme.h"
#include "ui_bench_support.h"

using namespace tavrel;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    applyTavrelTheme(application);

    bench::ScratchFolder folder;
    CuePersistence library(folder.path());
    library.prepareDirectories(LocalFileSystem::shared());
    CueDocument document = CueDocument::empty();
    for (CueSlot& slot : document.slots) {
        slot.title = "Cue " + std::to_string(slot.id + 1);
        slot.audioFilename = "audio-" + std::to_string(slot.id) + ".mp3";
        std::ofstream(library.mediaURL() / *slot.audioFilename) << "not decoded here";
    }
    library.save(document, LocalFileSystem::shared());

    QtMainLoop mainLoop;
    auto factory = std::make_shared<bench::SilentPlayerFactory>();
    const auto store =
        CueStore::create(library, std::make_shared<AudioPlaybackController>(factory), mainLoop);
    bench::WindowParts parts;
    const UiServices services = parts.services(store);
    MainWindow window(store, services);
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) {
        std::cerr << "ui_key_latency: the window did not become active\n";
        return 1;
    }

    const Qt::Key keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3,     Qt::Key_4,
                            Qt::Key_5, Qt::Key_6, Qt::Key_7,     Qt::Key_8,
                            Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal};
    constexpr int presses = 1000;
    constexpr int warmUp = 24;
    std::vector<double> toPlay;
    std::vector<double> handled;
    for (int i = 0; i < presses + warmUp; ++i) {
        const int before = factory->requests;
        const auto pressed = bench::Clock::now();
        QTest::keyPress(&window, keys[i % 12]);
        const auto done = bench::Clock::now();
        QTest::keyRelease(&window, keys[i % 12]);
        QApplication::processEvents();
        if (factory->requests != before + 1) {
            std::cerr << "ui_key_latency: press " << i << " did not play\n";
            return 1;
        }
        if (i < warmUp)
            continue;
        toPlay.push_back(bench::millisecondsBetween(pressed, factory->lastRequest));
        handled.push_back(bench::millisecondsBetween(pressed, done));
    }
    bench::writeResults("ui_key_latency",
                        {{"press_to_play_median_ms", bench::percentile(toPlay, 0.5)},
                         {"press_to_play_p99_ms", bench::percentile(toPlay, 0.99)},
                         {"press_handled_median_ms", bench::percentile(handled, 0.5)},
                         {"press_handled_p99_ms", bench::percentile(handled, 0.99)},
                         {"presses", double(presses)}},
                        argc, argv);
    return 0;
}
