#include "audio/audio_file_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace tavrel {

AudioFileError::AudioFileError(std::filesystem::path url, int ffmpegCode)
    : std::runtime_error(ffmpegMessage(ffmpegCode)),
      m_url(std::move(url)),
      m_ffmpegCode(ffmpegCode) {}

std::string ffmpegMessage(int ffmpegCode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ffmpegCode, text, sizeof text);
    return text;
}

}  // namespace tavrel
