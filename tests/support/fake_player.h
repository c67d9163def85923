#pragma once

#include <memory>
#include <set>
#include <stdexcept>

#include "playback/audio_playing.h"

namespace tavrel::test {

// Records every call; the test finishes playback with complete().
class FakePlayer final : public AudioPlaying {
public:
    explicit FakePlayer(std::filesystem::path url, double duration)
        : url(std::move(url)), m_duration(duration) {}

    double duration() const override { return m_duration; }
    double currentTime() const override { return m_currentTime; }
    void setCurrentTime(double seconds) override { m_currentTime = seconds; }
    float volume() const override { return m_volume; }
    void setVolume(float volume) override { m_volume = volume; }
    bool isPlaying() const override { return m_isPlaying; }
    std::function<void()> completionHandler() const override { return m_completion; }
    void setCompletionHandler(std::function<void()> handler) override {
        m_completion = std::move(handler);
    }
    bool prepareToPlay() override { return true; }
    bool play() override {
        ++playCount;
        return m_isPlaying = !refusePlay;
    }
    void pause() override { m_isPlaying = !++pauseCount; }
    void stop() override { m_isPlaying = !++stopCount; }
    // Keeps playing until the test calls complete(), as a fade would.
    void fadeOut(double seconds) override { fadeSeconds.push_back(seconds); }

    // What the backend would do at the end of the file: call the handler (as a
    // main-thread task would, later).
    void complete() {
        m_isPlaying = false;
        if (auto handler = m_completion)
            handler();
    }
    // What the backend does when its output is lost while this plays.
    void fail() {
        m_failed = true;
        complete();
    }
    bool failed() const override { return m_failed; }

    std::filesystem::path url;
    bool refusePlay = false;  // play() returns false
    int playCount = 0, pauseCount = 0, stopCount = 0;
    std::vector<double> fadeSeconds;  // one entry per fadeOut()

private:
    double m_duration, m_currentTime = 0;
    float m_volume = 1;
    bool m_isPlaying = false, m_failed = false;
    std::function<void()> m_completion;
};

// What makePlayer throws: a backend error with its own message.
class FakePlayerError : public std::runtime_error {
public:
    FakePlayerError() : std::runtime_error("fake: cannot open audio file") {}
};

// Makes FakePlayers, remembers them, and fails on command.
class FakePlayerFactory final : public AudioPlayerMaking {
public:
    std::shared_ptr<AudioPlaying> makePlayer(const std::filesystem::path& url) override {
        requestedURLs.push_back(url);
        const auto name = url.filename().string();
        if (failAll || failingFilenames.contains(name))
            throw FakePlayerError();
        auto player = players.emplace_back(std::make_shared<FakePlayer>(url, duration));
        player->refusePlay = refusingFilenames.contains(name);
        return player;
    }
    // The most recently made player (empty before the first).
    std::shared_ptr<FakePlayer> lastPlayer() const {
        return players.empty() ? nullptr : players.back();
    }

    std::vector<std::shared_ptr<FakePlayer>> players;
    std::vector<std::filesystem::path> requestedURLs;
    double duration = 120.0;
    // makePlayer throws for these file names (last path component) / for every file.
    std::set<std::string> failingFilenames;
    bool failAll = false;
    // Players made for these file names refuse to play.
    std::set<std::string> refusingFilenames;
};

}  // namespace tavrel::test
