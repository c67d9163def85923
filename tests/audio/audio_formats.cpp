#include "audio_formats.h"

namespace tavrel::test {

const std::vector<AudioFormat>& audioFormats() {
    static const std::vector<AudioFormat> formats = {
        {"wav16", "wav", "", "", true},
        {"wav24", "wav", "", "", true, 0, WavEncoding::pcm24},
        {"wavfloat", "wav", "", "", true, 0, WavEncoding::float32},
        {"aiff", "aiff", "aiff", "pcm_s16be", true},
        {"flac", "flac", "flac", "flac", true},
        {"mp3", "mp3", "mp3", "libmp3lame", false},
        {"mp3vbr", "mp3", "mp3", "libmp3lame", false, 0},
        {"aac", "m4a", "ipod", "aac", false},
        {"vorbis", "ogg", "ogg", "libvorbis", false},
        {"opus", "opus", "ogg", "libopus", false},
    };
    return formats;
}

bool writeAudioFile(const AudioFormat& format, const std::filesystem::path& path,
                    const Signal& signal, std::string& why) {
    if (format.container.empty()) {
        writeWav(path, signal, format.wav);
        return true;
    }
    if (encodeAudio(path, format.container, format.encoder, signal, format.bitRate))
        return true;
    why = "this FFmpeg has no " + format.encoder + " encoder";
    return false;
}

}  // namespace tavrel::test
