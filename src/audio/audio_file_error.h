#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tavrel {

// A file that cannot be played: what() is FFmpeg's own message for the failure.
class AudioFileError : public std::runtime_error {
public:
    AudioFileError(std::filesystem::path url, int ffmpegCode);

    const std::filesystem::path& url() const { return m_url; }
    // The negative AVERROR code behind the message.
    int ffmpegCode() const { return m_ffmpegCode; }

private:
    std::filesystem::path m_url;
    int m_ffmpegCode = 0;
};

// FFmpeg's text for an AVERROR code.
std::string ffmpegMessage(int ffmpegCode);

}  // namespace tavrel
