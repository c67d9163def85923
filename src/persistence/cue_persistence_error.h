#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tavrel {

// The persistence errors; what() is the Korean message shown to the user.
class CuePersistenceError : public std::runtime_error {
public:
    enum class Kind {
        unsupportedSchema,
        invalidDocument,
        documentNotRegularFile,
        invalidBackup,
        missingBackupMedia,
        unsafeExportDestination,
        invalidSavedSet,
        linkedLibraryFolder,
    };

    static CuePersistenceError unsupportedSchema(std::int64_t version);
    static CuePersistenceError invalidDocument(const std::filesystem::path& preservedURL,
                                               const std::string& reason);
    // "cues.json" is a folder, a link, a FIFO or a device: nothing was read or preserved.
    static CuePersistenceError documentNotRegularFile();
    static CuePersistenceError invalidBackup(const std::string& reason);
    static CuePersistenceError missingBackupMedia(const std::string& filename);
    static CuePersistenceError unsafeExportDestination(const std::string& name);
    static CuePersistenceError invalidSavedSet(const std::string& name, const std::string& reason);
    // "Media" or "SavedSets" of the library is a link (or not a folder).
    static CuePersistenceError linkedLibraryFolder(const std::string& name);

    Kind kind() const { return m_kind; }
    std::int64_t schemaVersion() const { return m_schemaVersion; }
    // The preserved copy of invalidDocument.
    const std::filesystem::path& url() const { return m_url; }
    const std::string& reason() const { return m_reason; }
    // The media filename, or the folder name of unsafeExportDestination,
    // invalidSavedSet and linkedLibraryFolder.
    const std::string& name() const { return m_name; }

private:
    CuePersistenceError(Kind kind, const std::string& message)
        : std::runtime_error(message), m_kind(kind) {}

    Kind m_kind;
    std::int64_t m_schemaVersion = 0;
    std::filesystem::path m_url;
    std::string m_reason;
    std::string m_name;
};

// The message of unsupportedSchema, also used as a reason inside other errors.
std::string unsupportedSchemaMessage(std::int64_t version);
// The warning of a write that took place but whose folder could not be
// flushed; `reason` is the platform's description.
std::string unconfirmedWriteMessage(const std::string& reason);

}  // namespace tavrel
