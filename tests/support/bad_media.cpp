#include "support/bad_media.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include <sys/stat.h>

namespace tavrel::test {

BadMedia writeBadMedia(const std::filesystem::path& folder) {
    BadMedia media{folder / "fifo.mp3", folder / "zeros.mp3", folder / "noise.mp3"};
    if (::mkfifo(media.fifo.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed: " + media.fifo.string());
    { std::ofstream(media.zeros, std::ios::binary); }
    std::filesystem::resize_file(media.zeros, 300u << 20);
    std::mt19937 random(20261207);
    std::string noise(4u << 20, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random());
    std::ofstream(media.noise, std::ios::binary).write(noise.data(), std::ssize(noise));
    return media;
}

}  // namespace tavrel::test
