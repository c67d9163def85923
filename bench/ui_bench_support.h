#pragma once

// Shared by the window benchmarks: a silent player factory, a scratch library
// folder, statistics and the result file.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/uuid.h"
#include "playback/audio_playing.h"

namespace tavrel::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Plays nothing; tells when a player was asked for.
class SilentPlayer final : public AudioPlaying {
public:
    double duration() const override { return 600; }
    double currentTime() const override { return m_time; }
    void setCurrentTime(double seconds) override { m_time = seconds; }
    float volume() const override { return m_volume; }
    void setVolume(float volume) override { m_volume = volume; }
    bool isPlaying() const override { return m_playing; }
    std::function<void()> completionHandler() const override { return m_completion; }
    void setCompletionHandler(std::function<void()> handler) override {
        m_completion = std::move(handler);
    }
    bool prepareToPlay() override { return true; }
    bool play() override { return m_playing = true; }
    void pause() override { m_playing = false; }
    void stop() override { m_playing = false; }
    void fadeOut(double) override { m_playing = false; }

private:
    double m_time = 0;
    float m_volume = 1;
    bool m_playing = false;
    std::function<void()> m_completion;
};

class SilentPlayerFactory final : public AudioPlayerMaking {
public:
    std::shared_ptr<AudioPlaying> makePlayer(const std::filesystem::path&) override {
        lastRequest = Clock::now();
        ++requests;
        return std::make_shared<SilentPlayer>();
    }
    Clock::time_point lastRequest{};
    int requests = 0;
};

// A fresh folder under the temporary directory, removed at the end.
class ScratchFolder {
public:
    ScratchFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("tavrel-bench-" + Uuid::random().text())) {
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The value below which `fraction` of the samples lie (nearest rank).
inline double percentile(std::vector<double> samples, double fraction) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(fraction * double(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

// Prints the results and writes them as one flat JSON object.
inline void writeResults(const std::string& name, const std::map<std::string, double>& results,
                         int argc, char** argv) {
    const std::filesystem::path file =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::path("build/bench-results") / (name + ".json");
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream out(file);
    out << "{\n";
    std::size_t index = 0;
    for (const auto& [key, value] : results) {
        std::cout << name << " " << key << " = " << value << "\n";
        out << "  \"" << key << "\": " << value << (++index < results.size() ? ",\n" : "\n");
    }
    out << "}\n";
    std::cout << name << ": results in " << file.string() << "\n";
}

}  // namespace tavrel::bench

#ifdef QT_WIDGETS_LIB
#include "ui/cue_artwork_cache.h"
#include "ui/cue_editor_view.h"
#include "ui/loop_playback_view.h"
#include "ui/qt_file_chooser.h"
#include "ui/ui_services.h"

namespace tavrel::bench {

// The window's services with the real editor and loop panel, as the application gives them.
struct WindowParts {
    QtFileChooser chooser;
    CueArtworkWorkers artwork;

    UiServices services(const std::shared_ptr<CueStore>& store) {
        UiServices result;
        result.fileChooser = &chooser;
        result.artwork = &artwork;
        result.presentEditor = cueEditorPresenter(store, chooser);
        result.makeLoopPanel = [this, store](QWidget* parent) -> QWidget* {
            return new LoopPlaybackView(store, chooser, parent);
        };
        return result;
    }
};

}  // namespace tavrel::bench
#endif
