// Large documents: reading "cues.json" with 100,000 loop tracks, the scan of
// "SavedSets" (made before a media file is deleted) with one saved set of that
// size, and a slot's title edit in a library holding that set.
// Writes medians to build/bench-results/documents.json, or to the path given
// as the first argument.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "store/cue_store.h"

namespace {

namespace fs = std::filesystem;
using tavrel::CueDocument;
using tavrel::CuePersistence;
using tavrel::LocalFileSystem;

constexpr int runs = 5;
constexpr int trackCount = 100'000;

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The edit never sounds: a factory that opens nothing and a loop that never runs.
class SilentFactory final : public tavrel::AudioPlayerMaking {
public:
    std::shared_ptr<tavrel::AudioPlaying> makePlayer(const fs::path&) override {
        throw std::runtime_error("no audio in this benchmark");
    }
};

class IdleLoop final : public tavrel::MainLoop {
public:
    void post(Task) override {}
    std::unique_ptr<tavrel::TimerHandle> startRepeatingTimer(std::chrono::milliseconds,
                                                             Task) override {
        return nullptr;
    }
    Clock::time_point now() const override { return Clock::now(); }
};

CueDocument largeDocument() {
    CueDocument document = CueDocument::empty();
    for (int index = 0; index < trackCount; ++index) {
        document.loopTracks.push_back({tavrel::Uuid::random(), "Track " + std::to_string(index),
                                       tavrel::newMediaFilename("loop", "mp3")});
    }
    return document;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path output =
        argc > 1 ? fs::path(argv[1]) : fs::path("build/bench-results/documents.json");
    const fs::path base =
        fs::temp_directory_path() / ("tavrel-bench-documents-" + tavrel::Uuid::random().text());
    int status = 0;
    try {
        const CueDocument document = largeDocument();
        const std::string bytes = tavrel::encodeDocument(document);
        std::vector<double> decode;
        for (int run = 0; run < runs; ++run)
            decode.push_back(secondsOf([&] { (void)tavrel::decodeDocument(bytes); }));

        const CuePersistence library(base / "Tavrel");
        library.prepareDirectories(LocalFileSystem::shared());
        library.exportBackup(CueDocument::empty(), library.savedSetsURL() / "Small",
                             LocalFileSystem::shared());
        fs::create_directories(library.savedSetsURL() / "Large" / "Media");
        std::ofstream(library.savedSetsURL() / "Large" / "cues.json") << bytes;
        std::vector<double> scan;
        for (int run = 0; run < runs; ++run)
            scan.push_back(secondsOf([&] {
                (void)library.savedSetReferencedMediaFilenames(LocalFileSystem::shared());
            }));
        // Slot 0 plays a file, so each edit of its title asks what may be deleted.
        CueDocument show = CueDocument::empty();
        show.slots[0].audioFilename = "audio-bench.mp3";
        std::ofstream(library.mediaURL() / "audio-bench.mp3") << "audio";
        library.save(show, LocalFileSystem::shared());
        IdleLoop mainLoop;
        const auto store = tavrel::CueStore::create(
            library,
            std::make_shared<tavrel::AudioPlaybackController>(std::make_shared<SilentFactory>()),
            mainLoop);
        std::vector<double> titleEdit;
        for (int run = 0; run < runs; ++run) {
            tavrel::CueSlot slot = store->document().slots[0];
            slot.title = "Title " + std::to_string(run);
            titleEdit.push_back(secondsOf([&] { store->replace(slot); }));
        }
        std::cout << trackCount << " loop tracks, " << bytes.size() << " bytes, medians of " << runs
                  << " runs (s)\n"
                  << "decode               " << median(decode) << "\n"
                  << "saved-set scan       " << median(scan) << "\n"
                  << "title edit           " << median(titleEdit) << "\n";
        if (output.has_parent_path())
            fs::create_directories(output.parent_path());
        std::ofstream json(output, std::ios::trunc);
        json << "{\"decode_seconds\":" << median(decode)
             << ", \"saved_set_scan_seconds\":" << median(scan)
             << ", \"title_edit_seconds\":" << median(titleEdit) << "}\n";
        std::cout << "wrote " << output.string() << "\n";
    } catch (const std::exception& error) {
        std::cerr << "documents benchmark failed: " << error.what() << "\n";
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return status;
}
