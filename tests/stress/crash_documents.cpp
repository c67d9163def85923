#include "stress/crash_documents.h"

#include <fstream>
#include <sstream>

#include "model/document_json.h"

namespace tavrel::stress {

namespace fs = std::filesystem;

const std::vector<std::string>& crashMediaNames() {
    static const std::vector<std::string> names = {"audio-0.wav", "audio-1.mp3", "audio-2.flac",
                                                   "audio-3.ogg", "image-4.png", "image-5.jpg",
                                                   "loop-6.m4a",  "loop-7.wav"};
    return names;
}

std::string crashMediaBytes(const std::string& name) {
    std::string bytes = name + "\n";
    while (bytes.size() < 48 * 1024)
        bytes += bytes;
    return bytes;
}

CueDocument crashDocument(std::int64_t generation) {
    const auto& media = crashMediaNames();
    const auto g = static_cast<std::uint64_t>(generation);
    CueDocument document = CueDocument::empty();
    document.masterVolume = static_cast<double>(g % 101) / 100.0;
    for (std::size_t i = 0; i < document.slots.size(); ++i) {
        auto& slot = document.slots[i];
        slot.title = "세대 " + std::to_string(generation) + "-" + std::to_string(i);
        // Sizes differ from one generation to the next, so a torn write of
        // one cannot pass for another.
        slot.usage.assign((g * 7919 + i * 104729) % 6000, static_cast<char>('a' + i));
        slot.startSeconds = static_cast<double>(g % 600) + 0.25 * static_cast<double>(i);
        slot.gainDB = -static_cast<double>((g + i) % 13);
        if ((g >> (i % 5)) & 1)
            slot.audioFilename = media[(g + i) % 4];
        if ((g + i) % 3 == 0)
            slot.imageFilename = media[4 + (g + i) % 2];
    }
    // Track ids only need to differ within one document, and be the same in every process.
    for (std::size_t i = 0; i < g % 7; ++i) {
        const auto id = *Uuid::parse("00000000-0000-4000-8000-00000000000" + std::to_string(i));
        document.loopTracks.push_back({id, "루프 " + std::to_string(i), media[6 + (g + i) % 2]});
    }
    document.normalize();
    return document;
}

std::string readWholeFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string checkDocumentFile(const fs::path& file, std::int64_t low, std::int64_t high,
                              std::int64_t& found) {
    if (fs::symlink_status(file).type() != fs::file_type::regular)
        return file.string() + " is missing or not a regular file";
    const std::string bytes = readWholeFile(file);
    try {
        const CueDocument document = decodeDocument(bytes);
        for (found = low; found <= high; ++found) {
            if (document == crashDocument(found))
                return {};
        }
    } catch (const DocumentDecodeError& error) {
        return file.string() + " does not decode (" + std::to_string(bytes.size()) +
               " bytes): " + error.what();
    }
    return file.string() + " holds no generation from " + std::to_string(low) + " to " +
           std::to_string(high);
}

std::string checkSetFolder(const fs::path& set, std::int64_t low, std::int64_t high,
                           std::int64_t& found) {
    if (auto problem = checkDocumentFile(set / "cues.json", low, high, found); !problem.empty())
        return problem;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(set / "Media")) {
        names.insert(entry.path().filename().string());
        if (readWholeFile(entry.path()) != crashMediaBytes(entry.path().filename().string()))
            return "damaged media file " + entry.path().string();
    }
    if (names != crashDocument(found).referencedMediaFilenames())
        return "the set's Media does not match generation " + std::to_string(found);
    return {};
}

}  // namespace tavrel::stress
