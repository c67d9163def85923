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
        invalidBackup,
        missingBackupMedia,
        unsafeExportDestination,
        invalidSavedSet,
    };

    static CuePersistenceError unsupportedSchema(std::int64_t version);
    static CuePersistenceError invalidDocument(const std::filesystem::path& preservedURL,
                                               const std::string& reason);
    static CuePersistenceError invalidBackup(const std::string& reason);
    static CuePersistenceError missingBackupMedia(const std::string& filename);
    static CuePersistenceError unsafeExportDestination(const std::string& name);
    static CuePersistenceError invalidSavedSet(const std::string& name, const std::string& reason);

    Kind kind() const { return m_kind; }
    std::int64_t schemaVersion() const { return m_schemaVersion; }
    // The preserved copy of invalidDocument.
    const std::filesystem::path& url() const { return m_url; }
    const std::string& reason() const { return m_reason; }
    // The media filename, or the folder name of unsafeExportDestination and invalidSavedSet.
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

}  // namespace tavrel
