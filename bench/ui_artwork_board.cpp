// The board with twelve 4000 × 3000 photographs as card images, cold cache:
// the longest stall of the main thread while the thumbnails load (the largest
// gap between ticks of a 1 ms timer), the time until all twelve are shown, and
// the time to build and first paint the board. Five runs on fresh file names,
// medians. Results to build/bench-results/ui_artwork_board.json or argv[1].

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include "persistence/local_file_system.h"
#include "store/cue_store.h"
#include "ui/cue_board_view.h"
#include "ui/cue_card.h"
#include "ui/cue_card_artwork.h"
#include "ui/qt_file_chooser.h"
#include "ui/qt_main_loop.h"
#include "ui/tavrel_theme.h"
#include "ui_bench_support.h"

using namespace tavrel;
namespace fs = std::filesystem;

namespace {

constexpr int runs = 5;

// A photograph-sized JPEG with enough detail that it does not compress to nothing.
void writePhoto(const fs::path& file, int seed) {
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 4000, 3000);
    gradient.setColorAt(0, QColor::fromHsv(seed * 29 % 360, 180, 220));
    gradient.setColorAt(1, QColor::fromHsv((seed * 29 + 120) % 360, 200, 60));
    painter.fillRect(image.rect(), gradient);
    for (int i = 0; i < 400; ++i) {
        painter.setBrush(QColor::fromHsv((i * 37 + seed) % 360, 150, 200, 90));
        painter.drawEllipse(QPoint((i * 997) % 4000, (i * 613) % 3000), 40 + i % 90, 30 + i % 70);
    }
    painter.end();
    image.save(QString::fromStdString(file.string()), "JPEG", 90);
}

struct Run {
    double buildAndPaintMs = 0;
    double allShownMs = 0;
    double longestStallMs = 0;
};

Run runOnce(const CuePersistence& library, const std::vector<fs::path>& photos, int run,
            MainLoop& mainLoop) {
    CueDocument document = CueDocument::empty();
    for (CueSlot& slot : document.slots) {
        const std::string name =
            "image-run" + std::to_string(run) + "-" + std::to_string(slot.id) + ".jpg";
        fs::copy_file(photos[std::size_t(slot.id)], library.mediaURL() / name);
        slot.imageFilename = name;
    }
    library.save(document, LocalFileSystem::shared());
    const auto store = CueStore::create(
        library,
        std::make_shared<AudioPlaybackController>(std::make_shared<bench::SilentPlayerFactory>()),
        mainLoop);
    bench::WindowParts parts;
    const UiServices services = parts.services(store);

    Run result;
    const auto start = bench::Clock::now();
    CueBoardView board(store, services);
    board.resize(960, 760);
    board.show();
    board.repaint();
    const auto painted = bench::Clock::now();
    result.buildAndPaintMs = bench::millisecondsBetween(start, painted);

    const auto allShown = [&] {
        for (std::size_t id = 0; id < 12; ++id) {
            if (board.card(id).artwork().image().isNull())
                return false;
        }
        return true;
    };
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    auto lastTick = bench::Clock::now();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = bench::Clock::now();
        result.longestStallMs =
            std::max(result.longestStallMs, bench::millisecondsBetween(lastTick, now));
        lastTick = now;
        if (allShown()) {
            result.allShownMs = bench::millisecondsBetween(start, now);
            QApplication::exit(0);
        }
    });
    ticker.start();
    lastTick = bench::Clock::now();
    QApplication::exec();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    applyTavrelTheme(application);

    bench::ScratchFolder folder;
    CuePersistence library(folder.path() / "Tavrel");
    library.prepareDirectories(LocalFileSystem::shared());
    std::vector<fs::path> photos;
    for (int i = 0; i < 12; ++i) {
        photos.push_back(folder.path() / ("photo-" + std::to_string(i) + ".jpg"));
        writePhoto(photos.back(), i);
    }
    QtMainLoop mainLoop;
    std::vector<double> build, shown, stall;
    for (int run = 0; run < runs; ++run) {
        const Run result = runOnce(library, photos, run, mainLoop);
        build.push_back(result.buildAndPaintMs);
        shown.push_back(result.allShownMs);
        stall.push_back(result.longestStallMs);
    }
    bench::writeResults("ui_artwork_board",
                        {{"longest_main_thread_stall_median_ms", bench::percentile(stall, 0.5)},
                         {"longest_main_thread_stall_worst_ms", bench::percentile(stall, 1.0)},
                         {"all_twelve_shown_median_ms", bench::percentile(shown, 0.5)},
                         {"build_and_first_paint_median_ms", bench::percentile(build, 0.5)},
                         {"runs", double(runs)}},
                        argc, argv);
    return 0;
}
