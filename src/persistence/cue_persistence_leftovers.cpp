#include <string_view>

#include "base/uuid.h"
#include "persistence/cue_persistence.h"
#include "persistence/persistence_internal.h"

namespace tavrel {

namespace fs = std::filesystem;

namespace {

// `name` is `prefix` followed by one of our upper-case UUIDs (and, with
// `suffix`, "-" and a set's name): nobody else's file looks like that.
bool isStagingName(std::string_view name, std::string_view prefix, std::string* suffix = nullptr) {
    constexpr std::size_t uuidLength = 36;
    if (!name.starts_with(prefix) || name.size() < prefix.size() + uuidLength)
        return false;
    const auto uuid = name.substr(prefix.size(), uuidLength);
    if (!Uuid::parse(uuid) || Uuid::parse(uuid)->text() != uuid)
        return false;
    const auto rest = name.substr(prefix.size() + uuidLength);
    if (!suffix)
        return rest.empty();
    if (rest.size() < 2 || rest.front() != '-' || rest == "-.." || rest == "-.")
        return false;
    *suffix = std::string(rest.substr(1));
    return true;
}

}  // namespace

// One leftover at a time: a failure costs only that leftover, and the next
// start tries again.
void CuePersistence::removeStagingLeftovers(FileSystem& fileManager) const {
    prepareDirectories(fileManager);
    for (const auto& item : fileManager.list(m_rootURL)) {
        const std::string name = item.filename().string();
        // ".Tavrel-restore-" lived here before it moved into "Media".
        if (isStagingName(name, ".cues.json.tmp-") || isStagingName(name, ".Tavrel-restore-"))
            internal::removeIgnoringErrors(item, fileManager);
    }
    for (const auto& item : fileManager.list(mediaURL())) {
        const std::string name = item.filename().string();
        if (isStagingName(name, ".Tavrel-import-") || isStagingName(name, ".Tavrel-restore-"))
            internal::removeIgnoringErrors(item, fileManager);
    }
    for (const auto& item : fileManager.list(savedSetsURL())) {
        const std::string name = item.filename().string();
        std::string setName;
        if (isStagingName(name, ".Tavrel-export-")) {
            internal::removeIgnoringErrors(item, fileManager);
        } else if (isStagingName(name, ".Tavrel-previous-", &setName)) {
            // The old set, moved aside while a new one took its name: the
            // only copy unless the new one made it into place.
            const fs::path set = savedSetsURL() / setName;
            try {
                if (fileManager.exists(set))
                    fileManager.remove(item);
                else
                    fileManager.move(item, set);
            } catch (const fs::filesystem_error&) {
                // Left as it is: never deleted without its set in place.
            }
        }
    }
}

}  // namespace tavrel
