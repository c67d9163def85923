#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tavrel {

// A file that cannot be played. what() is the message the user sees:
// "음원 파일을 재생할 수 없습니다. (<reason>)", the reason being FFmpeg's own text.
class AudioFileError : public std::runtime_error {
public:
    AudioFileError(std::filesystem::path url, int ffmpegCode);
    // For a refusal that has its own words (not a regular file).
    AudioFileError(std::filesystem::path url, int ffmpegCode, const std::string& reason);

    const std::filesystem::path& url() const { return m_url; }
    // The negative AVERROR code behind the message.
    int ffmpegCode() const { return m_ffmpegCode; }
    // The file gave no audio before the deadline: on a loaded machine a good
    // file can too, so this is not proof that the file is bad.
    bool timedOut() const { return m_timedOut; }
    void markTimedOut() { m_timedOut = true; }

private:
    std::filesystem::path m_url;
    int m_ffmpegCode = 0;
    bool m_timedOut = false;
};

// FFmpeg's text for an AVERROR code.
std::string ffmpegMessage(int ffmpegCode);
// The user's message for a file that cannot be played for this reason.
std::string unplayableMessage(const std::string& reason);

}  // namespace tavrel
