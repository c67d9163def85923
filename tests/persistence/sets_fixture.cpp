#include "persistence/sets_fixture.h"

#include <regex>

#include "model/document_json.h"

namespace tavrel::test {

namespace fs = std::filesystem;

TreeSnapshot snapshotTree(const fs::path& folder) {
    TreeSnapshot tree;
    if (!fs::exists(fs::symlink_status(folder)))
        return tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        const auto status = entry.symlink_status();
        if (fs::is_symlink(status))
            tree[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (fs::is_directory(status))
            tree[name] = "dir";
        else
            tree[name] = "file:" + readFile(entry.path());
    }
    return tree;
}

SetsLibrary::SetsLibrary() : m_persistence(m_temporary.path() / "Tavrel") {
    m_media = {{"audio-1.mp3", "first audio bytes"},
               {"image-2.png", "card image bytes"},
               {"loop-3.wav", "loop track bytes"}};
    m_persistence.prepareDirectories(disk());
    for (const auto& [name, bytes] : m_media)
        writeFile(m_persistence.mediaURL() / name, bytes);

    m_show = CueDocument::empty();
    m_show.masterVolume = 0.75;
    m_show.slots[0].title = "Opening";
    m_show.slots[0].audioFilename = "audio-1.mp3";
    m_show.slots[0].imageFilename = "image-2.png";
    m_show.slots[0].startSeconds = 2.5;
    m_show.slots[3].audioFilename = "audio-1.mp3";
    m_show.slots[3].gainDB = -6.0;
    writeFile(temporary() / "secret.mp3", "outside the library");
    m_show.slots[1].audioFilename = "../cues.json";
    m_show.slots[2].imageFilename = "../../secret.mp3";
    m_show.loopTracks = {LoopTrack{Uuid::random(), "Bed", "loop-3.wav"},
                         LoopTrack{Uuid::random(), "Reprise", "audio-1.mp3"}};
    m_persistence.save(m_show, disk());
}

void writeSetFolder(const fs::path& folder, const std::string& documentBytes,
                    const std::map<std::string, std::string>& media) {
    writeFile(folder / "cues.json", documentBytes);
    fs::create_directories(folder / "Media");
    for (const auto& [name, bytes] : media)
        writeFile(folder / "Media" / name, bytes);
}

bool isNewMediaName(const std::string& name, const std::string& kind,
                    const std::string& extension) {
    const std::string dotted = std::regex_replace(extension, std::regex("\\."), "\\.");
    return std::regex_match(
        name, std::regex(kind + "-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}" + dotted));
}

std::optional<CuePersistenceError> persistenceErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const CuePersistenceError& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace tavrel::test
