#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "model/cue_document.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::test {

inline FileSystem& disk() {
    return LocalFileSystem::shared();
}

// Every entry below a folder, by relative path: "dir", "file:" + bytes or
// "link:" + target. Links are recorded, never followed.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshotTree(const std::filesystem::path& folder);

// A library in a temporary folder holding a show: slot 0 plays "audio-1.mp3"
// with card "image-2.png", slot 3 plays "audio-1.mp3" too, loop tracks
// "loop-3.wav" and "audio-1.mp3"; slots 1 and 2 name files outside "Media"
// (one exists: "secret.mp3" beside the library). "cues.json" is saved.
class SetsLibrary {
public:
    SetsLibrary();

    const std::filesystem::path& temporary() const { return m_temporary.path(); }
    const CuePersistence& persistence() const { return m_persistence; }
    const CueDocument& show() const { return m_show; }
    // The bytes of each media file of the show.
    const std::map<std::string, std::string>& media() const { return m_media; }

private:
    TemporaryDirectory m_temporary;
    CuePersistence m_persistence;
    CueDocument m_show;
    std::map<std::string, std::string> m_media;
};

// Writes a set folder by hand: "cues.json" with exactly these bytes and the
// given files in "Media".
void writeSetFolder(const std::filesystem::path& folder, const std::string& documentBytes,
                    const std::map<std::string, std::string>& media);

// A name the library gives a copy: kind, "-", an upper-case UUID, then the
// extension with its dot.
bool isNewMediaName(const std::string& name, const std::string& kind, const std::string& extension);

// The CuePersistenceError that `operation` throws; absent when it returns
// normally. Any other exception escapes and fails the test.
std::optional<CuePersistenceError> persistenceErrorOf(const std::function<void()>& operation);

}  // namespace tavrel::test
