#pragma once

#include <filesystem>
#include <vector>

namespace tavrel::test {

// The media a show must survive in other slots: a FIFO nobody writes to
// (opening it for reading would block), a 300 MB sparse all-zero ".mp3" and
// random bytes named ".mp3".
struct BadMedia {
    std::filesystem::path fifo;
    std::filesystem::path zeros;
    std::filesystem::path noise;

    std::vector<std::filesystem::path> all() const { return {fifo, zeros, noise}; }
};

BadMedia writeBadMedia(const std::filesystem::path& folder);

}  // namespace tavrel::test
