// Process start to the window rendered, for Tavrel and for a minimal Qt
// program showing one empty window of the same size, alternating, ten runs
// each: medians and their ratio. Both render offscreen, grab the window to a
// PNG and exit, so each is timed from spawn to exit. Tavrel is
// TAVREL_BINARY (or --tavrel PATH) run with --screenshot on an empty library.
// Results to build/bench-results/ui_startup.json or the first other argument.

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "ui_bench_support.h"

extern char** environ;

using namespace tavrel;

namespace {

constexpr int runs = 10;

int minimalWindow(int argc, char** argv, const char* screenshot) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(1180, 820);  // the size Tavrel opens at
    window.show();
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(screenshot), "PNG") ? 0 : 1;
}

// Milliseconds from spawn to a clean exit; negative on failure.
double timeProcess(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = bench::Clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(child, &status, 0);
    const auto end = bench::Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return bench::millisecondsBetween(start, end);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--minimal-window") == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return minimalWindow(argc, argv, argv[2]);
    }
#ifdef TAVREL_BINARY
    std::string tavrel = TAVREL_BINARY;
#else
    std::string tavrel;
#endif
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tavrel") == 0 && i + 1 < argc)
            tavrel = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    if (tavrel.empty()) {
        std::cerr << "ui_startup: give the tavrel binary with --tavrel PATH\n";
        return 64;
    }

    bench::ScratchFolder folder;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TAVREL_LIBRARY_DIR", (folder.path() / "Tavrel").c_str(), 1);
    const std::string shot = (folder.path() / "shot.png").string();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<double> ours, minimal;
    for (int run = 0; run < runs + 1; ++run) {
        const double a = timeProcess({tavrel, "--screenshot", shot});
        const double b = timeProcess({self, "--minimal-window", shot});
        if (a < 0 || b < 0) {
            std::cerr << "ui_startup: a child failed (run " << run << ")\n";
            return 1;
        }
        if (run == 0)
            continue;  // both warm the file cache
        ours.push_back(a);
        minimal.push_back(b);
    }
    const double oursMedian = bench::percentile(ours, 0.5);
    const double minimalMedian = bench::percentile(minimal, 0.5);
    bench::writeResults("ui_startup",
                        {{"tavrel_median_ms", oursMedian},
                         {"minimal_qt_window_median_ms", minimalMedian},
                         {"ratio", oursMedian / minimalMedian},
                         {"runs", double(runs)}},
                        int(rest.size()), rest.data());
    return 0;
}
