#include <map>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/persistence_internal.h"

namespace tavrel {

namespace fs = std::filesystem;

namespace {

// Reads only: nothing in the library may change before the whole set is known good.
CueDocument readSetDocument(const fs::path& documentFile, FileSystem& fileManager) {
    try {
        return readDocument(documentFile, fileManager);
    } catch (const fs::filesystem_error& error) {
        throw CuePersistenceError::invalidBackup(error.what());
    } catch (const DocumentDecodeError& error) {
        throw CuePersistenceError::invalidBackup(error.what());
    }
}

// Copies each file once per role ("audio", "image", "loop") into staging and
// points the document at the new names.
class StagingCopier {
public:
    StagingCopier(fs::path setMedia, fs::path staging, std::set<std::string>& imported,
                  FileSystem& fileManager)
        : m_setMedia(std::move(setMedia)),
          m_staging(std::move(staging)),
          m_imported(imported),
          m_fileManager(fileManager) {}

    std::string copy(const std::string& kind, const std::string& old) {
        const std::string key = kind + ":" + old;
        if (const auto found = m_nameMap.find(key); found != m_nameMap.end())
            return found->second;
        const std::string name = newMediaFilename(kind, mediaExtension(old));
        m_fileManager.copyFile(m_setMedia / old, m_staging / name);
        m_nameMap.emplace(key, name);
        m_imported.insert(name);
        return name;
    }

    void rewrite(CueDocument& document) {
        for (auto& slot : document.slots) {
            if (slot.audioFilename)
                slot.audioFilename = copy("audio", *slot.audioFilename);
            if (slot.imageFilename)
                slot.imageFilename = copy("image", *slot.imageFilename);
        }
        for (auto& track : document.loopTracks)
            track.audioFilename = copy("loop", track.audioFilename);
    }

private:
    fs::path m_setMedia;
    fs::path m_staging;
    std::set<std::string>& m_imported;
    FileSystem& m_fileManager;
    std::map<std::string, std::string> m_nameMap;
};

}  // namespace

RestoredSet CuePersistence::restoreBackup(const path& url, FileSystem& fileManager) const {
    const path setMedia = url / "Media";
    if (!isTavrelBackupDirectory(url, fileManager))
        throw CuePersistenceError::invalidBackup("Tavrel 세트 폴더가 아닙니다.");
    // Through a linked "Media" the set would bring in files from elsewhere.
    if (fileManager.exists(setMedia) && !fileManager.isDirectory(setMedia))
        throw CuePersistenceError::invalidBackup("세트의 Media가 링크이거나 폴더가 아닙니다.");
    CueDocument document = readSetDocument(url / "cues.json", fileManager);
    internal::requireMediaFiles(document, setMedia, fileManager);

    prepareDirectories(fileManager);
    // Staged inside "Media", so the moves into place never cross file systems
    // ("Media" may be a mount of its own).
    const path staging = mediaURL() / (".Tavrel-restore-" + Uuid::random().text());
    std::set<std::string> imported;
    std::optional<std::string> warning;
    try {
        fileManager.createDirectories(staging);
        StagingCopier(setMedia, staging, imported, fileManager).rewrite(document);
        for (const auto& name : imported)
            fileManager.move(staging / name, mediaURL() / name);
        prepareDirectories(fileManager);
        document.normalize();
        // Every new file was flushed by its copy and its folder by the move:
        // the new "cues.json" never names a file a power cut could leave empty.
        warning = writeDocument(encodeDocument(document), fileManager);
    } catch (...) {
        try {
            removeMedia(imported, {}, fileManager);
        } catch (const std::exception&) {
            // Unreferenced leftovers in "Media"; a later clean-up removes them.
        }
        internal::removeIgnoringErrors(staging, fileManager);
        throw;
    }
    internal::removeIgnoringErrors(staging, fileManager);
    return {std::move(document), std::move(warning)};
}

}  // namespace tavrel
