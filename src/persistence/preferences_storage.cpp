#include "persistence/preferences_storage.h"

#include <cstdlib>

#include "base/uuid.h"

namespace tavrel {

namespace {

std::string problemMessage(const std::string& preservedName, const std::string& reason) {
    std::string message = "환경설정 파일을 읽지 못해 기본값을 사용합니다.";
    if (!preservedName.empty())
        message += " 원본을 " + preservedName + "에 보존했습니다.";
    return message + " (" + reason + ")";
}

}  // namespace

PreferencesStorage PreferencesStorage::standard() {
    if (const char* folder = std::getenv("TAVREL_CONFIG_DIR"); folder && *folder)
        return PreferencesStorage(std::filesystem::absolute(folder));
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return PreferencesStorage(path(config) / "Tavrel");
    const char* home = std::getenv("HOME");
    return PreferencesStorage(path(home && *home ? home : ".") / ".config" / "Tavrel");
}

PreferencesStorage::Loaded PreferencesStorage::load(FileSystem& fileManager) const {
    const path file = fileURL();
    try {
        if (!fileManager.exists(file))
            return {};
        // A FIFO or a device would block the read, and a link may lead anywhere.
        if (!fileManager.isRegularFile(file))
            return {Preferences{}, problemMessage({}, "일반 파일이 아닙니다")};
        const std::string bytes = fileManager.readFile(file);
        try {
            return {decodePreferences(bytes), std::nullopt};
        } catch (const PreferencesDecodeError& error) {
            const path preserved =
                m_folderURL / ("preferences.invalid-" + Uuid::random().text() + ".json");
            fileManager.copyFile(file, preserved);
            return {Preferences{}, problemMessage(preserved.filename().string(), error.what())};
        }
    } catch (const std::filesystem::filesystem_error& error) {
        return {Preferences{}, problemMessage({}, error.code().message())};
    }
}

void PreferencesStorage::save(const Preferences& preferences, FileSystem& fileManager) const {
    fileManager.createDirectories(m_folderURL);
    fileManager.writeAtomically(fileURL(), encodePreferences(preferences));
}

}  // namespace tavrel
