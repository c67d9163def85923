#include "stress/crash_documents.h"

#include "model/document_json.h"

#include <array>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tavrel::stress {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view generationPrefix = "세대 ";

Uuid trackID(std::int64_t generation, std::size_t index) {
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < 8; ++i)
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(generation) >> (8 * i));
    bytes[8] = static_cast<std::uint8_t>(index);
    bytes[15] = 0x7a;
    return Uuid(bytes);
}

}  // namespace

const std::vector<std::string>& crashMediaNames() {
    static const std::vector<std::string> names = {
        "audio-0.wav", "audio-1.mp3", "audio-2.flac", "audio-3.ogg",
        "image-4.png", "image-5.jpg", "loop-6.m4a",   "loop-7.wav",
    };
    return names;
}

std::string crashMediaBytes(const std::string& name) {
    // Large enough that copying a set takes a while and a kill lands inside it.
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
        slot.title = "큐 " + std::to_string(generation) + "-" + std::to_string(i);
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
    document.slots[0].title = std::string(generationPrefix) + std::to_string(generation);
    for (std::size_t i = 0; i < g % 7; ++i) {
        LoopTrack track;
        track.id = trackID(generation, i);
        track.title = "루프 " + std::to_string(i);
        track.audioFilename = media[6 + (g + i) % 2];
        document.loopTracks.push_back(track);
    }
    document.normalize();
    return document;
}

std::optional<std::int64_t> crashGeneration(const CueDocument& document) {
    if (document.slots.empty())
        return std::nullopt;
    std::string_view title = document.slots[0].title;
    if (!title.starts_with(generationPrefix))
        return std::nullopt;
    title.remove_prefix(generationPrefix.size());
    std::int64_t generation = 0;
    const auto [end, error] =
        std::from_chars(title.data(), title.data() + title.size(), generation);
    if (error != std::errc() || end != title.data() + title.size())
        return std::nullopt;
    return generation;
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
    if (bytes.empty())
        return file.string() + " is empty";
    CueDocument document;
    try {
        document = decodeDocument(bytes);
    } catch (const DocumentDecodeError& error) {
        return file.string() + " does not decode (" + std::to_string(bytes.size()) +
               " bytes): " + error.what();
    }
    const auto generation = crashGeneration(document);
    if (!generation)
        return file.string() + " holds a document no writer made";
    if (*generation < low || *generation > high) {
        return file.string() + " holds generation " + std::to_string(*generation) + ", expected " +
               std::to_string(low) + ".." + std::to_string(high);
    }
    if (document != crashDocument(*generation))
        return file.string() + " holds a damaged generation " + std::to_string(*generation);
    found = *generation;
    return {};
}

std::string checkSetFolder(const fs::path& set, std::int64_t low, std::int64_t high,
                           std::int64_t& found) {
    if (fs::symlink_status(set).type() != fs::file_type::directory) {
        std::string hidden;
        for (const auto& entry : fs::directory_iterator(set.parent_path())) {
            if (entry.path().filename().string().starts_with(".Tavrel-previous-"))
                hidden += " " + entry.path().filename().string();
        }
        return set.string() + " is missing; old set left only as:" + hidden;
    }
    if (auto problem = checkDocumentFile(set / "cues.json", low, high, found); !problem.empty())
        return problem;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(set / "Media")) {
        const auto name = entry.path().filename().string();
        names.insert(name);
        if (readWholeFile(entry.path()) != crashMediaBytes(name))
            return "damaged media file " + entry.path().string();
    }
    if (names != crashDocument(found).referencedMediaFilenames())
        return "the set's Media does not match generation " + std::to_string(found);
    return {};
}

}  // namespace tavrel::stress
