#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "model/cue_document.h"
#include "persistence/cue_persistence_error.h"
#include "persistence/file_system.h"

namespace tavrel {

// A set restored into the library.
struct RestoredSet {
    CueDocument document;
    // Set when "cues.json" holds the set but its folder could not be flushed:
    // the restore has happened, its durability is not confirmed.
    std::optional<std::string> warning;
};

// The library folder: "cues.json", "Media" (copied media, flat), "SavedSets".
// Holds nothing but its root; every disk operation takes the file system last.
// Throws CuePersistenceError or the platform's own error.
class CuePersistence {
public:
    using path = std::filesystem::path;

    explicit CuePersistence(path rootURL) : m_rootURL(std::move(rootURL)) {}

    // "Tavrel" in the per-user data folder, or $TAVREL_LIBRARY_DIR when set.
    static CuePersistence applicationSupport(FileSystem& fileManager);

    const path& rootURL() const { return m_rootURL; }
    path mediaURL() const { return m_rootURL / "Media"; }
    path savedSetsURL() const { return m_rootURL / "SavedSets"; }
    path documentURL() const { return m_rootURL / "cues.json"; }

    // Library storage. Creates "Media" and "SavedSets"; throws linkedLibraryFolder
    // when either is a link or not a folder, so nothing is read, written or
    // deleted through a link.
    void prepareDirectories(FileSystem& fileManager) const;
    // A missing "cues.json" gives the empty document; an unusable one is
    // preserved as "cues.invalid-<UUID>.json" and reported as invalidDocument;
    // one that is not a regular file is neither read nor preserved.
    CueDocument load(FileSystem& fileManager) const;
    // Throws when "cues.json" still holds the previous document. Once the new
    // one is in place the save has happened: a failed flush after it returns
    // a warning instead (unconfirmedWriteMessage).
    std::optional<std::string> save(const CueDocument& document, FileSystem& fileManager) const;
    // Copies the file into "Media" as kind-<UUID>[.ext]; returns the new name.
    std::string importMedia(const path& url, const std::string& kind,
                            FileSystem& fileManager) const;
    std::optional<path> mediaFileURL(const std::optional<std::string>& filename) const;
    bool mediaExists(const std::optional<std::string>& filename, FileSystem& fileManager) const;
    // Deletes each regular file of `filenames` not in `excluding`; never a
    // folder, never a link's target, never a name outside "Media".
    void removeMedia(const std::set<std::string>& filenames, const std::set<std::string>& excluding,
                     FileSystem& fileManager) const;

    // Saved sets: a folder holding "cues.json" and "Media" with exactly the
    // referenced media. After a throw the destination is as it was.
    void exportBackup(const CueDocument& document, const path& destination,
                      FileSystem& fileManager) const;
    // The media names referenced by every set folder directly in "SavedSets";
    // throws invalidSavedSet rather than return a partial union.
    std::set<std::string> savedSetReferencedMediaFilenames(FileSystem& fileManager) const;
    // Validates the whole set, copies its media in under new names, writes
    // "cues.json"; rolls back on any failure before "cues.json" holds the set.
    // Never modifies the set folder; refuses a set whose "Media" is a link.
    RestoredSet restoreBackup(const path& url, FileSystem& fileManager) const;

    // Removes what interrupted imports, saves, set exports and restores of this
    // program left behind (hidden staging names with a UUID) in the library,
    // "Media" and "SavedSets", and nothing else. A set kept aside while being
    // replaced is put back when its set is missing. Only while no other
    // process uses the library: their staging would look the same.
    void removeStagingLeftovers(FileSystem& fileManager) const;

    bool operator==(const CuePersistence&) const = default;

private:
    path preserveInvalidDocument(FileSystem& fileManager) const;
    // The atomic write of "cues.json" with the promise of save().
    std::optional<std::string> writeDocument(const std::string& bytes,
                                             FileSystem& fileManager) const;
    void replaceExistingBackupIfNeeded(const path& destination, const path& staging,
                                       FileSystem& fileManager) const;
    static bool isTavrelBackupDirectory(const path& url, FileSystem& fileManager);

    path m_rootURL;
};

// Reads, decodes, refuses a newer schema and normalises: every reader of a
// "cues.json" takes it this way. Throws the file system's error when the file
// cannot be read, DocumentDecodeError when it is not a document this version can use.
CueDocument readDocument(const std::filesystem::path& file, FileSystem& fileManager);

// The extension rule of media names: the characters after the last dot, none
// when there is no dot, the only dot is the first character, or the name ends with a dot.
std::string mediaExtension(const std::string& filename);
// kind + "-" + new upper-case UUID + ("." + extension, if any).
std::string newMediaFilename(const std::string& kind, const std::string& extension);

}  // namespace tavrel
