// Writes the seed corpora: documents as the application writes them, a few
// hand-made edge cases, and set folders in the set-folder fuzzer's format.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "model/document_json.h"

namespace {

namespace fs = std::filesystem;
using tavrel::CueDocument;

std::vector<CueDocument> documents() {
    std::vector<CueDocument> all;
    all.push_back(CueDocument::empty());

    CueDocument show = CueDocument::empty();
    show.masterVolume = 0.8;
    show.slots[0].title = "오프닝";
    show.slots[0].usage = "막이 오를 때";
    show.slots[0].audioFilename = "audio-1.wav";
    show.slots[0].imageFilename = "image-1.png";
    show.slots[0].startSeconds = 12.5;
    show.slots[0].gainDB = -6;
    show.slots[11].audioFilename = "audio-2.mp3";
    tavrel::LoopTrack track;
    track.title = "배경";
    track.audioFilename = "loop-1.ogg";
    show.loopTracks.push_back(track);
    track.id = tavrel::Uuid::random();
    track.audioFilename = "audio-1.wav";
    show.loopTracks.push_back(track);
    all.push_back(show);

    CueDocument edges = CueDocument::empty();
    edges.slots[3].startSeconds = 1e300;
    edges.slots[4].gainDB = -12;
    edges.slots[5].title = std::string("nul\0inside", 10);
    edges.slots[6].audioFilename = "no-extension";
    all.push_back(edges);
    return all;
}

// Shapes the decoder must refuse or normalise, written by hand.
const std::vector<std::string> handMadeDocuments = {
    R"({"schemaVersion":2,"masterVolume":7,"slots":[{"id":40,"title":"","usage":"","startSeconds":-1,"gainDB":9}]})",
    R"({"schemaVersion":1,"masterVolume":1,"slots":[{"id":0,"title":"a","usage":"b","startSeconds":0,"gainDB":0,"audioFilename":"../escape"}],"loopTracks":[{"id":"00000000-0000-0000-0000-000000000000","title":"x","audioFilename":"a/b"}]})",
    R"({"schemaVersion":3,"masterVolume":1,"slots":[]})",
    R"({"schemaVersion":2.0,"masterVolume":1e-400,"slots":[{"id":1.0,"title":"\ud55c","usage":"\u0000","startSeconds":1e308,"gainDB":-0.0}],"loopTracks":null})",
    R"([[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]])",
};

void write(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tavrel_fuzz_seeds FOLDER\n";
        return 64;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "document");
    fs::create_directories(root / "set_folder");
    int count = 0;
    for (const auto& document : documents()) {
        const std::string bytes = tavrel::encodeDocument(document);
        write(root / "document" / ("encoded-" + std::to_string(count) + ".json"), bytes);
        // The set holds every referenced file, then one entry of each other kind.
        std::string set;
        for (const auto& name : document.referencedMediaFilenames())
            set += "f" + name + "\n";
        set += "dfolder.wav\nlsneaky.wav\neempty.wav\n---\n";
        write(root / "set_folder" / ("set-" + std::to_string(count) + ".txt"), set + bytes);
        ++count;
    }
    for (std::size_t i = 0; i < handMadeDocuments.size(); ++i) {
        write(root / "document" / ("hand-" + std::to_string(i) + ".json"), handMadeDocuments[i]);
        write(root / "set_folder" / ("hand-" + std::to_string(i) + ".txt"),
              "faudio-1.wav\n---\n" + handMadeDocuments[i]);
    }
    return 0;
}
