#include <algorithm>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/persistence_internal.h"

namespace tavrel {

namespace fs = std::filesystem;

namespace {

// "a/b/" names the folder b, not an entry inside it: without this the staging
// folder would be made inside the destination.
fs::path withoutTrailingSeparator(const fs::path& url) {
    fs::path normal = url.lexically_normal();
    if (normal.filename().empty() && normal.has_parent_path())
        normal = normal.parent_path();
    return normal;
}

// Replacing the library root, or a folder holding it, would move the whole
// library aside and delete it, saved sets included. Inside the library only
// "SavedSets" is a home for sets; elsewhere a set would litter the library
// (the flat "Media" above all). Names are not identity (links, bind mounts,
// case-insensitive file systems): folders are compared by device and inode.
void refuseLibraryDestination(const fs::path& destination, const fs::path& rootURL,
                              FileSystem& fileManager) {
    const auto root = fileManager.identity(rootURL);
    const auto savedSets = fileManager.identity(rootURL / "SavedSets");
    const fs::path target = withoutTrailingSeparator(fs::absolute(destination));
    const auto refuse = [&] {
        throw CuePersistenceError::unsafeExportDestination(destination.filename().string());
    };
    // The destination and every folder above it: none may be the library
    // itself, unless the way down passes through "SavedSets" first.
    bool belowSavedSets = false;
    for (fs::path item = target;; item = item.parent_path()) {
        const auto identity = fileManager.identity(item);
        if (identity && identity == root && !belowSavedSets)
            refuse();
        if (identity && savedSets && identity == savedSets) {
            if (item == target)
                refuse();
            belowSavedSets = true;
        }
        if (!item.has_relative_path())
            break;
    }
    // The library and every folder above it: none may be the destination.
    if (const auto destinationIdentity = fileManager.identity(target)) {
        for (fs::path item = withoutTrailingSeparator(fs::absolute(rootURL));;
             item = item.parent_path()) {
            if (fileManager.identity(item) == destinationIdentity)
                refuse();
            if (!item.has_relative_path())
                break;
        }
    }
}

// A move can fail after its rename, while flushing a folder: put back what
// did move. Best effort; the move's own error is the one to report.
void undoMove(const fs::path& from, const fs::path& to, FileSystem& fileManager) {
    try {
        if (!fileManager.exists(from) && fileManager.exists(to))
            fileManager.move(to, from);
    } catch (const fs::filesystem_error&) {
        // Whatever could not be put back stays under its hidden name.
    }
}

}  // namespace

bool CuePersistence::isTavrelBackupDirectory(const path& url, FileSystem& fileManager) {
    try {
        const path document = url / "cues.json";
        return fileManager.exists(url) && fileManager.isDirectory(url) &&
               fileManager.exists(document) && fileManager.isRegularFile(document);
    } catch (const fs::filesystem_error&) {
        // An unreadable property is not proof of a set folder.
        return false;
    }
}

void CuePersistence::exportBackup(const CueDocument& document, const path& destinationURL,
                                  FileSystem& fileManager) const {
    const path destination = withoutTrailingSeparator(destinationURL);
    // Also refuses a linked "Media" or "SavedSets": nothing is copied through a link.
    prepareDirectories(fileManager);
    refuseLibraryDestination(destination, m_rootURL, fileManager);

    CueDocument normalized = document;
    normalized.normalize();
    const path staging = destination.parent_path() / (".Tavrel-export-" + Uuid::random().text());
    const path stagingMedia = staging / "Media";

    try {
        // Inside the clean-up: a creation that fails half-way leaves nothing behind.
        fileManager.createDirectories(stagingMedia);
        fileManager.writeAtomically(staging / "cues.json", encodeDocument(normalized));
        internal::requireMediaFiles(normalized, mediaURL(), fileManager);
        for (const auto& name : normalized.referencedMediaFilenames())
            fileManager.copyFile(mediaURL() / name, stagingMedia / name);
        replaceExistingBackupIfNeeded(destination, staging, fileManager);
    } catch (...) {
        internal::removeIgnoringErrors(staging, fileManager);
        throw;
    }
}

void CuePersistence::replaceExistingBackupIfNeeded(const path& destination, const path& staging,
                                                   FileSystem& fileManager) const {
    if (!fileManager.exists(destination)) {
        try {
            fileManager.move(staging, destination);
        } catch (...) {
            undoMove(staging, destination, fileManager);
            throw;
        }
        return;
    }
    if (!isTavrelBackupDirectory(destination, fileManager))
        throw CuePersistenceError::unsafeExportDestination(destination.filename().string());

    // One atomic swap where the file system offers it: a crash at any moment
    // leaves the old set or the new one under the destination's name.
    if (fileManager.exchange(staging, destination)) {
        internal::removeIgnoringErrors(staging, fileManager);
        return;
    }
    // The old set stays recoverable under this name until the new one is in
    // place; the name it came from lets a later clean-up put it back.
    const path previous = destination.parent_path() / (".Tavrel-previous-" + Uuid::random().text() +
                                                       "-" + destination.filename().string());
    try {
        fileManager.move(destination, previous);
    } catch (...) {
        undoMove(destination, previous, fileManager);
        throw;
    }
    try {
        fileManager.move(staging, destination);
    } catch (...) {
        // If putting the old set back fails, it survives as ".Tavrel-previous-".
        undoMove(staging, destination, fileManager);
        undoMove(destination, previous, fileManager);
        throw;
    }
    internal::removeIgnoringErrors(previous, fileManager);
}

std::set<std::string> CuePersistence::savedSetReferencedMediaFilenames(
    FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    std::set<std::string> names;
    for (const auto& entry : fileManager.list(savedSetsURL())) {
        // Staging folders are not sets (one kept aside while being replaced
        // is put back by removeStagingLeftovers).
        if (entry.filename().string().starts_with(".Tavrel-") || !fileManager.isDirectory(entry))
            continue;
        const path documentFile = entry / "cues.json";
        if (!fileManager.exists(documentFile))
            continue;
        const std::string setName = entry.filename().string();
        if (!fileManager.isRegularFile(documentFile))
            throw CuePersistenceError::invalidSavedSet(setName,
                                                       "설정 파일이 일반 파일이 아닙니다.");
        try {
            names.merge(readDocument(documentFile, fileManager).referencedMediaFilenames());
        } catch (const fs::filesystem_error& error) {
            throw CuePersistenceError::invalidSavedSet(setName, error.what());
        } catch (const DocumentDecodeError& error) {
            throw CuePersistenceError::invalidSavedSet(setName, error.what());
        }
    }
    return names;
}

}  // namespace tavrel
