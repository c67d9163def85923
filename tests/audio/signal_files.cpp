#include "signal_files.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace tavrel::test {

namespace {

void check(int result, const char* what) {
    if (result < 0)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

// Sends the signal (nothing: the flush) and writes every packet the encoder has ready.
void encode(AVCodecContext* codec, AVFormatContext* format, const AVFrame* frame) {
    check(avcodec_send_frame(codec, frame), "send frame");
    AVPacket* packet = av_packet_alloc();
    while (avcodec_receive_packet(codec, packet) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, format->streams[0]->time_base);
        check(av_interleaved_write_frame(format, packet), "write frame");
    }
    av_packet_free(&packet);
}

void encodeFrames(AVCodecContext* codec, AVFormatContext* format, const Signal& signal) {
    SwrContext* convert = nullptr;
    check(swr_alloc_set_opts2(&convert, &codec->ch_layout, codec->sample_fmt, codec->sample_rate,
                              &codec->ch_layout, AV_SAMPLE_FMT_FLT, signal.sampleRate, 0, nullptr),
          "swr");
    check(swr_init(convert), "swr init");
    const int frameSize = codec->frame_size > 0 ? codec->frame_size : 1024;
    const bool padLast = !(codec->codec->capabilities &
                           (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME));
    AVFrame* frame = av_frame_alloc();
    for (std::size_t at = 0; at < signal.frames(); at += frameSize) {
        const int count = static_cast<int>(std::min<std::size_t>(frameSize, signal.frames() - at));
        const int sent = padLast ? frameSize : count;
        std::vector<float> chunk(sent * signal.channels, 0.0f);
        std::copy_n(signal.samples.begin() + at * signal.channels, count * signal.channels,
                    chunk.begin());
        frame->nb_samples = sent;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        check(av_frame_get_buffer(frame, 0), "frame buffer");
        const auto* input = reinterpret_cast<const std::uint8_t*>(chunk.data());
        check(swr_convert(convert, frame->data, sent, &input, sent), "convert");
        frame->pts = static_cast<std::int64_t>(at);
        encode(codec, format, frame);
        av_frame_unref(frame);
    }
    encode(codec, format, nullptr);
    av_frame_free(&frame);
    swr_free(&convert);
}

}  // namespace

bool writeAudioFile(const AudioFormat& target, const std::filesystem::path& path,
                    const Signal& signal) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(target.encoder.c_str());
    if (!encoder)
        return false;
    AVFormatContext* format = nullptr;
    check(avformat_alloc_output_context2(&format, nullptr, target.container.c_str(), path.c_str()),
          "output context");
    AVStream* stream = avformat_new_stream(format, nullptr);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->sample_rate = signal.sampleRate;
    av_channel_layout_default(&codec->ch_layout, signal.channels);
    // Float when the encoder takes it, else its first format.
    codec->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLT;
    for (auto* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
        codec->sample_fmt =
            *f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT ? *f : codec->sample_fmt;
    codec->bit_rate = target.bitRate;
    if (target.bitRate == 0) {  // variable, at a middling quality
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * 4;
    }
    codec->time_base = {1, signal.sampleRate};
    codec->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(codec, encoder, nullptr), "open encoder");
    check(avcodec_parameters_from_context(stream->codecpar, codec), "parameters");
    stream->time_base = codec->time_base;
    check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "avio_open");
    check(avformat_write_header(format, nullptr), "header");
    encodeFrames(codec, format, signal);
    check(av_write_trailer(format), "trailer");
    avio_closep(&format->pb);
    avcodec_free_context(&codec);
    avformat_free_context(format);
    return true;
}

Signal sines(const std::vector<std::pair<double, double>>& partials, double seconds, int sampleRate,
             int channels) {
    Signal signal = constant(0.0f, seconds, sampleRate, channels);
    for (std::size_t n = 0; n < signal.frames(); ++n) {
        double value = 0.0;
        for (const auto& [hz, amplitude] : partials)
            value += amplitude * std::sin(2.0 * std::numbers::pi * hz * n / sampleRate);
        std::fill_n(signal.samples.begin() + n * channels, channels, static_cast<float>(value));
    }
    return signal;
}

Signal constant(float level, double seconds, int sampleRate, int channels) {
    const auto frames = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    return Signal{std::vector<float>(frames * channels, level), channels, sampleRate};
}

void writeWav(const std::filesystem::path& path, const Signal& signal) {
    writeAudioFile(audioFormats()[0], path, signal);
}

const std::vector<AudioFormat>& audioFormats() {
    static const std::vector<AudioFormat> formats = {
        {"wav16", "wav", "wav", "pcm_s16le", true},
        {"wav24", "wav", "wav", "pcm_s24le", true},
        {"wavfloat", "wav", "wav", "pcm_f32le", true},
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

}  // namespace tavrel::test
