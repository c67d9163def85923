#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::test {

// The media a show must survive in other slots: a FIFO nobody writes to
// (opening it for reading would block), a 300 MB sparse all-zero ".mp3" and
// random bytes named ".mp3".
struct BadMedia {
    std::filesystem::path fifo, zeros, noise;

    std::vector<std::filesystem::path> all() const { return {fifo, zeros, noise}; }
};

inline BadMedia writeBadMedia(const std::filesystem::path& folder) {
    BadMedia media{folder / "fifo.mp3", folder / "zeros.mp3", folder / "noise.mp3"};
    if (::mkfifo(media.fifo.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed: " + media.fifo.string());
    std::ofstream(media.zeros, std::ios::binary).close();
    std::filesystem::resize_file(media.zeros, 300u << 20);
    std::mt19937 random(20261207);
    std::string noise(4u << 20, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random());
    std::ofstream(media.noise, std::ios::binary).write(noise.data(), std::ssize(noise));
    return media;
}

}  // namespace tavrel::test
