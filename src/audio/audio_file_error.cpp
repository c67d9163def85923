#include "audio/audio_file_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace tavrel {

AudioFileError::AudioFileError(std::filesystem::path url, int ffmpegCode)
    : AudioFileError(std::move(url), ffmpegCode, ffmpegMessage(ffmpegCode)) {}

AudioFileError::AudioFileError(std::filesystem::path url, int ffmpegCode, const std::string& reason)
    : std::runtime_error(unplayableMessage(reason)),
      m_url(std::move(url)),
      m_ffmpegCode(ffmpegCode) {}

std::string ffmpegMessage(int ffmpegCode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ffmpegCode, text, sizeof text);
    return text;
}

std::string unplayableMessage(const std::string& reason) {
    return "음원 파일을 재생할 수 없습니다. (" + reason + ")";
}

}  // namespace tavrel
