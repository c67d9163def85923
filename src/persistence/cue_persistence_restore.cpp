#include <map>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"

namespace tavrel {

namespace fs = std::filesystem;

namespace {

// Reads only: nothing in the library may change before the whole set is known good.
CueDocument readSetDocument(const fs::path& documentFile, FileSystem& fileManager) {
    std::string bytes;
    try {
        bytes = fileManager.readFile(documentFile);
    } catch (const fs::filesystem_error& error) {
        throw CuePersistenceError::invalidBackup(error.what());
    }
    CueDocument document;
    try {
        document = decodeDocument(bytes);
    } catch (const DocumentDecodeError& error) {
        throw CuePersistenceError::invalidBackup(error.what());
    }
    if (document.schemaVersion > CueDocument::currentSchemaVersion)
        throw CuePersistenceError::invalidBackup(unsupportedSchemaMessage(document.schemaVersion));
    document.normalize();
    return document;
}

// A link is not a regular file, so a set cannot make the library copy in a
// file from elsewhere on the machine.
void checkSetMedia(const CueDocument& document, const fs::path& setMedia, FileSystem& fileManager) {
    for (const auto& name : document.referencedMediaFilenames()) {
        const fs::path item = setMedia / name;
        if (!CueDocument::isSafeMediaFilename(name) || !fileManager.exists(item) ||
            !fileManager.isRegularFile(item)) {
            throw CuePersistenceError::missingBackupMedia(name);
        }
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

// After a failed atomic write: whether `file` holds the new bytes all the
// same (the rename happened, flushing its folder failed). When that cannot be
// read, assume it does: an unreferenced file is harmless, a missing one is not.
bool holdsBytes(const fs::path& file, const std::string& bytes, FileSystem& fileManager) {
    try {
        return fileManager.exists(file) && fileManager.readFile(file) == bytes;
    } catch (const fs::filesystem_error&) {
        return true;
    }
}

void removeIgnoringErrors(const fs::path& item, FileSystem& fileManager) {
    try {
        fileManager.remove(item);
    } catch (const fs::filesystem_error&) {
        // A hidden ".Tavrel-restore-" folder left in the root is harmless.
    }
}

}  // namespace

CueDocument CuePersistence::restoreBackup(const path& url, FileSystem& fileManager) const {
    const path setMedia = url / "Media";
    if (!isTavrelBackupDirectory(url, fileManager))
        throw CuePersistenceError::invalidBackup("Tavrel 세트 폴더가 아닙니다.");
    CueDocument document = readSetDocument(url / "cues.json", fileManager);
    checkSetMedia(document, setMedia, fileManager);

    prepareDirectories(fileManager);
    const path staging = m_rootURL / (".Tavrel-restore-" + Uuid::random().text());
    std::set<std::string> imported;
    bool documentReplaced = false;
    try {
        fileManager.createDirectories(staging);
        StagingCopier(setMedia, staging, imported, fileManager).rewrite(document);
        for (const auto& name : imported)
            fileManager.move(staging / name, mediaURL() / name);
        prepareDirectories(fileManager);
        document.normalize();
        // Every new file was flushed by its copy and its folder by the move:
        // the new "cues.json" never names a file a power cut could leave empty.
        const std::string bytes = encodeDocument(document);
        try {
            fileManager.writeAtomically(documentURL(), bytes);
        } catch (const fs::filesystem_error&) {
            documentReplaced = holdsBytes(documentURL(), bytes, fileManager);
            throw;
        }
    } catch (...) {
        // A "cues.json" that names the new files keeps them.
        if (!documentReplaced) {
            try {
                removeMedia(imported, {}, fileManager);
            } catch (const fs::filesystem_error&) {
                // Unreferenced leftovers in "Media"; a later clean-up removes them.
            }
        }
        removeIgnoringErrors(staging, fileManager);
        throw;
    }
    removeIgnoringErrors(staging, fileManager);
    return document;
}

}  // namespace tavrel
