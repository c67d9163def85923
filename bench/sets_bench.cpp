// Export and restore of a set with 1 GiB of media, side by side with `cp -r`
// of the same files followed by `sync -f` (the same durability as ours).
// Writes the ratios of the medians to build/bench-results/sets.json, or to the
// path given as the first argument.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/uuid.h"
#include "model/cue_document.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"

namespace {

namespace fs = std::filesystem;
using tavrel::CueDocument;
using tavrel::CuePersistence;
using tavrel::LocalFileSystem;

constexpr int runs = 5;
constexpr int fileCount = 16;  // twelve slots and four loop tracks
constexpr std::uintmax_t fileBytes = 64ull * 1024 * 1024;

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

// Incompressible and distinct per file, so no layer below can shortcut the copy.
void writeMediaFile(const fs::path& file, std::uint64_t seed) {
    std::vector<std::uint64_t> block(1024 * 1024 / sizeof(std::uint64_t));
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (std::uintmax_t written = 0; written < fileBytes; written += block.size() * 8) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

CueDocument makeLibrary(const CuePersistence& library) {
    library.prepareDirectories(LocalFileSystem::shared());
    CueDocument show = CueDocument::empty();
    for (int index = 0; index < fileCount; ++index) {
        const std::string name = tavrel::newMediaFilename(index < 12 ? "audio" : "loop", "wav");
        writeMediaFile(library.mediaURL() / name, static_cast<std::uint64_t>(index));
        if (index < 12)
            show.slots[static_cast<std::size_t>(index)].audioFilename = name;
        else
            show.loopTracks.push_back({tavrel::Uuid::random(), "Loop", name});
    }
    library.save(show, LocalFileSystem::shared());
    return show;
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double copyAndSync(const fs::path& from, const fs::path& to) {
    return secondsOf([&] {
        shell("cp -r '" + from.string() + "' '" + to.string() + "' && sync -f '" + to.string() +
              "'");
    });
}

// Removal and write-back of the last run stay out of the next measurement.
void discard(const std::vector<fs::path>& items) {
    for (const auto& item : items)
        fs::remove_all(item);
    shell("sync");
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Timings {
    std::vector<double> exportSeconds, exportBaseline, restoreSeconds, restoreBaseline;
};

Timings measure(const fs::path& base, const CuePersistence& library, const CueDocument& show) {
    const fs::path set = base / "Set";
    library.exportBackup(show, set, LocalFileSystem::shared());
    shell("sync");
    Timings timings;
    for (int run = 0; run < runs; ++run) {
        const std::string suffix = std::to_string(run);
        const fs::path exported = base / ("export-" + suffix);
        const fs::path copied = base / ("cp-" + suffix);
        // Alternate which side goes first, so neither always meets a cold disk.
        const bool oursFirst = run % 2 == 0;
        if (!oursFirst)
            timings.exportBaseline.push_back(copyAndSync(library.mediaURL(), copied));
        timings.exportSeconds.push_back(
            secondsOf([&] { library.exportBackup(show, exported, LocalFileSystem::shared()); }));
        if (oursFirst)
            timings.exportBaseline.push_back(copyAndSync(library.mediaURL(), copied));
        discard({exported, copied});

        const CuePersistence target(base / ("library-" + suffix));
        if (!oursFirst)
            timings.restoreBaseline.push_back(copyAndSync(set / "Media", copied));
        timings.restoreSeconds.push_back(
            secondsOf([&] { target.restoreBackup(set, LocalFileSystem::shared()); }));
        if (oursFirst)
            timings.restoreBaseline.push_back(copyAndSync(set / "Media", copied));
        discard({target.rootURL(), copied});
    }
    return timings;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path output =
        argc > 1 ? fs::path(argv[1]) : fs::path("build/bench-results/sets.json");
    const fs::path base =
        fs::temp_directory_path() / ("tavrel-bench-sets-" + tavrel::Uuid::random().text());
    const CuePersistence library(base / "Tavrel");
    int status = 0;
    try {
        const CueDocument show = makeLibrary(library);
        shell("sync");
        const Timings t = measure(base, library, show);
        const double exportRatio = median(t.exportSeconds) / median(t.exportBaseline);
        const double restoreRatio = median(t.restoreSeconds) / median(t.restoreBaseline);
        const std::uintmax_t bytes = fileBytes * fileCount;
        for (int run = 0; run < runs; ++run) {
            const auto index = static_cast<std::size_t>(run);
            std::cout << "run " << run << ": export " << t.exportSeconds[index] << " vs "
                      << t.exportBaseline[index] << ", restore " << t.restoreSeconds[index]
                      << " vs " << t.restoreBaseline[index] << "\n";
        }
        std::cout << "set of " << bytes << " bytes in " << fileCount << " files, medians of "
                  << runs << " runs (s)\n"
                  << "export   " << median(t.exportSeconds) << "  cp -r + sync -f "
                  << median(t.exportBaseline) << "  ratio " << exportRatio << "\n"
                  << "restore  " << median(t.restoreSeconds) << "  cp -r + sync -f "
                  << median(t.restoreBaseline) << "  ratio " << restoreRatio << "\n";
        if (output.has_parent_path())
            fs::create_directories(output.parent_path());
        std::ofstream json(output, std::ios::trunc);
        json << "{\"export_ratio\":" << exportRatio << ", \"restore_ratio\":" << restoreRatio
             << ", \"bytes\":" << bytes << "}\n";
        std::cout << "wrote " << output.string() << "\n";
    } catch (const std::exception& error) {
        std::cerr << "sets benchmark failed: " << error.what() << "\n";
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return status;
}
