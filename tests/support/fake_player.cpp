#include "support/fake_player.h"

namespace tavrel::test {

bool FakePlayer::play() {
    ++playCount;
    if (refusePlay)
        return false;
    m_isPlaying = true;
    return true;
}

void FakePlayer::pause() {
    ++pauseCount;
    m_isPlaying = false;
}

void FakePlayer::stop() {
    ++stopCount;
    m_isPlaying = false;
}

void FakePlayer::complete() {
    m_isPlaying = false;
    if (auto handler = m_completion)
        handler();
}

void FakePlayer::fail() {
    m_failed = true;
    complete();
}

std::shared_ptr<AudioPlaying> FakePlayerFactory::makePlayer(const std::filesystem::path& url) {
    requestedURLs.push_back(url);
    const auto name = url.filename().string();
    if (failAll || failingFilenames.contains(name))
        throw FakePlayerError();
    auto player = std::make_shared<FakePlayer>(url, duration);
    player->refusePlay = refusingFilenames.contains(name);
    players.push_back(player);
    return player;
}

std::shared_ptr<FakePlayer> FakePlayerFactory::lastPlayer() const {
    return players.empty() ? nullptr : players.back();
}

}  // namespace tavrel::test
