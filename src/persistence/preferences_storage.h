#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/preferences.h"
#include "persistence/file_system.h"

namespace tavrel {

// "preferences.json" in this machine's configuration folder.
class PreferencesStorage {
public:
    using path = std::filesystem::path;

    struct Loaded {
        Preferences preferences;
        // Set when the file could not be used: the defaults apply, the file
        // was preserved beside it, and this says so in the user's words.
        std::optional<std::string> problem;
    };

    explicit PreferencesStorage(path folderURL) : m_folderURL(std::move(folderURL)) {}

    // $TAVREL_CONFIG_DIR, else $XDG_CONFIG_HOME/Tavrel, else ~/.config/Tavrel.
    static PreferencesStorage standard();

    const path& folderURL() const { return m_folderURL; }
    path fileURL() const { return m_folderURL / "preferences.json"; }

    // A missing file gives the defaults; never throws for a bad file.
    Loaded load(FileSystem& fileManager) const;
    // Atomic; throws the platform's error.
    void save(const Preferences& preferences, FileSystem& fileManager) const;

private:
    path m_folderURL;
};

}  // namespace tavrel
