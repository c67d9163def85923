#include "app/check_command.h"

#include <filesystem>
#include <optional>
#include <string>

#include "audio/audio_decoder.h"
#include "audio/pulse_audio_output.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "persistence/preferences_storage.h"

namespace tavrel {

namespace {

struct LoadedLibrary {
    CueDocument document = CueDocument::empty();
    std::string status;
    bool readable = true;
};

// load() would create folders and preserve a bad file; the check only reads.
LoadedLibrary readLibrary(const CuePersistence& persistence) {
    LoadedLibrary library;
    FileSystem& fileSystem = LocalFileSystem::shared();
    const auto documentURL = persistence.documentURL();
    if (!fileSystem.exists(documentURL)) {
        library.status = "cues.json 없음: 빈 문서로 시작합니다.";
        return library;
    }
    try {
        library.document = readDocument(documentURL, fileSystem);
        library.status = "정상적으로 읽었습니다.";
    } catch (const std::exception& error) {
        library.readable = false;
        library.status = std::string("설정 파일을 읽지 못했습니다. (") + error.what() + ")";
    }
    return library;
}

// "재생 가능", "파일 없음", or why the file cannot be played; counts every problem.
class MediaCheck {
public:
    explicit MediaCheck(const CuePersistence& persistence) : m_persistence(persistence) {}

    std::string audio(const std::string& filename) {
        if (!m_persistence.mediaExists(filename, LocalFileSystem::shared())) {
            ++m_problems;
            return "파일 없음";
        }
        // Opens and decodes the first frames, within a deadline: a file that is
        // there but cannot play fails the show just the same.
        if (const auto problem = checkPlayable(m_persistence.mediaURL() / filename)) {
            ++m_problems;
            return *problem;
        }
        return "재생 가능";
    }
    bool imageMissing(const std::optional<std::string>& filename) {
        const bool missing =
            filename && !m_persistence.mediaExists(filename, LocalFileSystem::shared());
        m_problems += missing ? 1 : 0;
        return missing;
    }
    int problems() const { return m_problems; }

private:
    const CuePersistence& m_persistence;
    int m_problems = 0;
};

constexpr std::chrono::seconds serverTimeout{2};

// Which output the window would play through, as far as can be told without opening it.
std::string outputLine() {
    const Preferences preferences =
        PreferencesStorage::standard().load(LocalFileSystem::shared()).preferences;
    const std::string latency =
        preferences.latencyPreset == LatencyPreset::low ? "저지연 (약 10 ms)" : "안정 (약 20 ms)";
    const auto outputs = listOutputDevices(serverTimeout);
    if (!outputs)
        return "사운드 서버가 응답하지 않습니다. 기본 오디오 장치를 사용합니다. 지연: " + latency;
    if (preferences.outputDevice.empty())
        return "사운드 서버의 기본 출력, 지연: " + latency;
    for (const auto& output : *outputs) {
        if (output.name == preferences.outputDevice)
            return output.description + " (" + output.name + "), 지연: " + latency;
    }
    return "선택한 출력 " + preferences.outputDevice +
           "이(가) 없어 기본 출력을 사용합니다. 지연: " + latency;
}

}  // namespace

int runOutputsCommand(std::ostream& out, std::ostream& err) {
    const auto outputs = listOutputDevices(serverTimeout);
    if (!outputs) {
        err << "tavrel: 사운드 서버가 응답하지 않습니다.\n";
        return 1;
    }
    for (const auto& output : *outputs)
        out << output.name << "\t" << output.description << "\n";
    return 0;
}

int runCheckCommand(std::ostream& out) {
    std::optional<CuePersistence> persistence;
    try {
        persistence = CuePersistence::applicationSupport(LocalFileSystem::shared());
    } catch (const std::exception& error) {
        out << "라이브러리를 찾을 수 없습니다: " << error.what() << "\n";
        return 2;
    }
    out << "Tavrel 공연 전 점검\n";
    out << "라이브러리: " << persistence->rootURL().string() << "\n";
    const LoadedLibrary library = readLibrary(*persistence);
    out << "문서: " << library.status << "\n";
    out << "출력: " << outputLine() << "\n\n";

    MediaCheck media(*persistence);
    out << "큐 슬롯 (키 | 제목 | 음원 | 상태)\n";
    for (const auto& slot : library.document.slots) {
        out << "  " << slotKeyCharacter(slot.id) << " | " << slot.displayTitle() << " | ";
        if (!slot.audioFilename) {
            out << "- | 음원 없음\n";
            continue;
        }
        out << *slot.audioFilename << " | " << media.audio(*slot.audioFilename) << "\n";
        if (media.imageMissing(slot.imageFilename))
            out << "      이미지 파일 없음: " << *slot.imageFilename << "\n";
    }
    out << "\n반복 재생 곡 " << library.document.loopTracks.size() << "개\n";
    for (const auto& track : library.document.loopTracks) {
        out << "  " << track.title << " | " << track.audioFilename << " | "
            << media.audio(track.audioFilename) << "\n";
    }
    out << "\n";
    if (!library.readable) {
        out << "결과: 설정 파일을 읽을 수 없습니다.\n";
        return 2;
    }
    if (media.problems() > 0) {
        out << "결과: 없거나 재생할 수 없는 미디어 파일 " << media.problems() << "개\n";
        return 1;
    }
    out << "결과: 모든 미디어 파일이 있고 재생할 수 있습니다.\n";
    return 0;
}

}  // namespace tavrel
