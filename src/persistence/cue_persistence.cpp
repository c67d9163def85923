#include "persistence/cue_persistence.h"

#include <cstdlib>
#include <utility>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/persistence_internal.h"

namespace tavrel {

std::string mediaExtension(const std::string& filename) {
    const auto dot = filename.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == filename.size())
        return {};
    return filename.substr(dot + 1);
}

std::string newMediaFilename(const std::string& kind, const std::string& extension) {
    std::string name = kind + "-" + Uuid::random().text();
    if (!extension.empty())
        name += "." + extension;
    return name;
}

namespace internal {

void removeIgnoringErrors(const std::filesystem::path& item, FileSystem& fileManager) {
    try {
        fileManager.remove(item);
    } catch (const std::filesystem::filesystem_error&) {
        // As promised above: nothing to report.
    }
}

void requireMediaFiles(const CueDocument& document, const std::filesystem::path& folder,
                       FileSystem& fileManager) {
    for (const auto& name : document.referencedMediaFilenames()) {
        const auto item = folder / name;
        if (!CueDocument::isSafeMediaFilename(name) || !fileManager.exists(item) ||
            !fileManager.isRegularFile(item)) {
            throw CuePersistenceError::missingBackupMedia(name);
        }
    }
}

}  // namespace internal

CueDocument readDocument(const std::filesystem::path& file, FileSystem& fileManager) {
    CueDocument document = decodeDocument(fileManager.readFile(file));
    if (document.schemaVersion > CueDocument::currentSchemaVersion)
        throw DocumentDecodeError(unsupportedSchemaMessage(document.schemaVersion));
    document.normalize();
    return document;
}

CuePersistence CuePersistence::applicationSupport(FileSystem& fileManager) {
    if (const char* override = std::getenv("TAVREL_LIBRARY_DIR"); override && *override) {
        return CuePersistence(std::filesystem::absolute(override));
    }
    return CuePersistence(fileManager.applicationDataDirectory() / "Tavrel");
}

void CuePersistence::prepareDirectories(FileSystem& fileManager) const {
    for (const auto& [folder, name] :
         {std::pair{mediaURL(), "Media"}, std::pair{savedSetsURL(), "SavedSets"}}) {
        // A link here would let a clean-up delete, or an export copy, files
        // outside the library.
        if (fileManager.isDirectory(folder))
            continue;
        if (fileManager.exists(folder))
            throw CuePersistenceError::linkedLibraryFolder(name);
        fileManager.createDirectories(folder);
    }
}

CueDocument CuePersistence::load(FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    if (!fileManager.exists(documentURL())) {
        return CueDocument::empty();
    }
    // A FIFO would block the start; a link would read from outside the library.
    if (!fileManager.isRegularFile(documentURL()))
        throw CuePersistenceError::documentNotRegularFile();
    try {
        return readDocument(documentURL(), fileManager);
    } catch (const DocumentDecodeError& error) {
        const auto preserved = preserveInvalidDocument(fileManager);
        throw CuePersistenceError::invalidDocument(preserved, error.what());
    }
}

std::filesystem::path CuePersistence::preserveInvalidDocument(FileSystem& fileManager) const {
    const auto copy = m_rootURL / ("cues.invalid-" + Uuid::random().text() + ".json");
    fileManager.copyFile(documentURL(), copy);
    return copy;
}

std::optional<std::string> CuePersistence::save(const CueDocument& document,
                                                FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    CueDocument normalized = document;
    normalized.normalize();
    return writeDocument(encodeDocument(normalized), fileManager);
}

std::optional<std::string> CuePersistence::writeDocument(const std::string& bytes,
                                                         FileSystem& fileManager) const {
    try {
        fileManager.writeAtomically(documentURL(), bytes);
        return std::nullopt;
    } catch (const std::filesystem::filesystem_error& error) {
        // The rename may have happened before a flush failed: then the file
        // names the new media, and the caller must treat it as saved. When it
        // cannot be read back, assume so too: an unused file costs space, a
        // missing one loses a cue.
        bool replaced = true;
        try {
            replaced =
                fileManager.exists(documentURL()) && fileManager.readFile(documentURL()) == bytes;
        } catch (const std::filesystem::filesystem_error&) {
            // Unknown: counted as replaced, as said above.
        }
        if (!replaced)
            throw;
        return unconfirmedWriteMessage(error.what());
    }
}

std::string CuePersistence::importMedia(const path& url, const std::string& kind,
                                        FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    const std::string name = newMediaFilename(kind, mediaExtension(url.filename().string()));
    // Copy under a hidden name and rename into place: an interrupted copy never
    // leaves a partial file under a media name.
    const auto temporary = mediaURL() / (".Tavrel-import-" + Uuid::random().text());
    const auto destination = mediaURL() / name;
    try {
        fileManager.copyFile(url, temporary);
        fileManager.move(temporary, destination);
    } catch (...) {
        // A move can fail after its rename (flushing the folder): the new name is
        // ours alone, and no caller will ever learn it, so it goes too.
        internal::removeIgnoringErrors(temporary, fileManager);
        internal::removeIgnoringErrors(destination, fileManager);
        throw;
    }
    return name;
}

std::optional<std::filesystem::path> CuePersistence::mediaFileURL(
    const std::optional<std::string>& filename) const {
    if (!filename || !CueDocument::isSafeMediaFilename(*filename))
        return std::nullopt;
    return mediaURL() / *filename;
}

bool CuePersistence::mediaExists(const std::optional<std::string>& filename,
                                 FileSystem& fileManager) const {
    const auto url = mediaFileURL(filename);
    return url && fileManager.exists(*url);
}

void CuePersistence::removeMedia(const std::set<std::string>& filenames,
                                 const std::set<std::string>& excluding,
                                 FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    for (const auto& name : filenames) {
        if (excluding.contains(name) || !CueDocument::isSafeMediaFilename(name))
            continue;
        const auto item = mediaURL() / name;
        if (!fileManager.exists(item))
            continue;
        if (fileManager.isRegularFile(item))
            fileManager.remove(item);
    }
}

}  // namespace tavrel
