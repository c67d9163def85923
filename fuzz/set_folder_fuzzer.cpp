// A set folder built from the input is restored into a library holding a
// known document. Input: lines "<kind><name>" naming entries of the set's
// "Media" (kind f: file, d: folder, l: link to a file outside, e: empty file),
// then a line "---", then the bytes of the set's "cues.json". Without the
// "---" line the whole input is "cues.json".
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "document_invariants.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"

namespace tavrel::fuzz {
namespace {

namespace fs = std::filesystem;

struct Entry {
    fs::file_type type = fs::file_type::none;
    std::string bytes;  // a file's content, a link's target
    bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeWhole(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every entry under `folder`, links not followed, with file contents.
Snapshot snapshot(const fs::path& folder) {
    Snapshot entries;
    if (!fs::exists(fs::symlink_status(folder)))
        return entries;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
        Entry entry;
        entry.type = it->symlink_status().type();
        if (entry.type == fs::file_type::regular)
            entry.bytes = readWhole(it->path());
        else if (entry.type == fs::file_type::symlink)
            entry.bytes = fs::read_symlink(it->path()).string();
        entries.emplace(fs::relative(it->path(), folder).string(), std::move(entry));
    }
    return entries;
}

// Only names that are one path component can be made on disk.
bool creatable(std::string_view name) {
    return CueDocument::isSafeMediaFilename(name) && name.size() <= 200;
}

void buildSet(std::string_view input, const fs::path& set, const fs::path& outside) {
    fs::create_directories(set / "Media");
    std::string_view document = input;
    const auto separator = input.find("---\n");
    if (separator == 0 || (separator != std::string_view::npos && input[separator - 1] == '\n')) {
        document = input.substr(separator + 4);
        std::string_view header = input.substr(0, separator);
        while (!header.empty()) {
            const auto end = header.find('\n');
            const std::string_view line = header.substr(0, end);
            header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
            if (line.size() < 2 || !creatable(line.substr(1)))
                continue;
            const fs::path item = set / "Media" / std::string(line.substr(1));
            std::error_code ignored;
            switch (line[0]) {
                case 'd':
                    fs::create_directory(item, ignored);
                    break;
                case 'l':
                    fs::create_symlink(outside, item, ignored);
                    break;
                case 'e':
                    writeWhole(item, "");
                    break;
                default:
                    writeWhole(item, "set media " + std::string(line.substr(1)));
            }
        }
    }
    writeWhole(set / "cues.json", document);
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path base = fs::temp_directory_path();
        if (const char* chosen = std::getenv("TAVREL_FUZZ_DIR"); chosen && *chosen)
            base = chosen;
        auto made = base / ("tavrel-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(made);
        std::atexit([] { fs::remove_all(workFolder()); });
        return made;
    }();
    return folder;
}

CueDocument libraryDocument() {
    CueDocument document = CueDocument::empty();
    document.slots[0].title = "기존";
    document.slots[0].audioFilename = "audio-old.wav";
    document.normalize();
    return document;
}

void checkRestored(const CueDocument& restored, const CuePersistence& library,
                   const Snapshot& before) {
    requireValid(restored);
    const CueDocument stored = decodeDocument(readWhole(library.documentURL()));
    require(stored == restored, "cues.json holds the restored document");
    for (const auto& name : restored.referencedMediaFilenames()) {
        const auto item = library.mediaURL() / name;
        require(fs::symlink_status(item).type() == fs::file_type::regular,
                "every restored name is a regular file in Media");
        require(!before.contains("Media/" + name), "restored media never replace old ones");
        require(readWhole(item).starts_with("set media ") || readWhole(item).empty(),
                "restored media come from the set");
    }
    const Snapshot after = snapshot(library.rootURL());
    for (const auto& [name, entry] : before) {
        if (name != "cues.json")
            require(after.contains(name) && after.at(name) == entry, "old entries stay");
    }
    for (const auto& [name, entry] : after)
        require(!name.starts_with(".Tavrel-"), "no staging left in the library");
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    using namespace tavrel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto& work = workFolder();
    fs::remove_all(work / "library");
    fs::remove_all(work / "set");
    fs::create_directories(work / "outside");
    writeWhole(work / "outside" / "secret.wav", "outside the set");

    const CuePersistence library(work / "library");
    library.prepareDirectories(LocalFileSystem::shared());
    writeWhole(library.mediaURL() / "audio-old.wav", "old media");
    library.save(libraryDocument(), LocalFileSystem::shared());
    buildSet(input, work / "set", work / "outside" / "secret.wav");

    const Snapshot libraryBefore = snapshot(library.rootURL());
    const Snapshot setBefore = snapshot(work / "set");
    bool restored = false;
    try {
        const CueDocument document =
            library.restoreBackup(work / "set", LocalFileSystem::shared()).document;
        restored = true;
        checkRestored(document, library, libraryBefore);
    } catch (const CuePersistenceError&) {
        // A refused set is the common outcome; what matters is checked below.
    } catch (const fs::filesystem_error&) {
        // Likewise for a set the disk itself cannot read.
    }
    if (!restored)
        require(snapshot(library.rootURL()) == libraryBefore, "a failed restore changes nothing");
    require(snapshot(work / "set") == setBefore, "the set folder is never modified");
    require(snapshot(work / "outside").size() == 1, "nothing escapes into the outside folder");
    return 0;
}
