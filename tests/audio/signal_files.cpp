#include "signal_files.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tavrel::test {

namespace {

void put16(std::ofstream& out, std::uint16_t value) {
    out.put(static_cast<char>(value & 0xff)).put(static_cast<char>(value >> 8));
}
void put32(std::ofstream& out, std::uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

void writeWavHeader(std::ofstream& out, int channels, int rate, int bits, bool isFloat,
                    std::uint32_t dataBytes) {
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, isFloat ? 3 : 1);
    put16(out, channels);
    put32(out, rate);
    put32(out, rate * channels * bits / 8);
    put16(out, channels * bits / 8);
    put16(out, bits);
    out.write("data", 4);
    put32(out, dataBytes);
}

void check(int result, const char* what) {
    if (result < 0)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
}

// Writes every packet the encoder has ready.
void drain(AVCodecContext* codec, AVFormatContext* format, AVStream* stream, AVPacket* packet) {
    while (avcodec_receive_packet(codec, packet) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(format, packet), "write frame");
    }
}

AVSampleFormat pickFormat(const AVCodec* encoder) {
    if (!encoder->sample_fmts)
        return AV_SAMPLE_FMT_FLT;
    for (const AVSampleFormat* f = encoder->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT)
            return *f;
    }
    return encoder->sample_fmts[0];
}

void encodeFrames(AVCodecContext* codec, AVFormatContext* format, AVStream* stream,
                  const Signal& signal) {
    SwrContext* convert = nullptr;
    check(swr_alloc_set_opts2(&convert, &codec->ch_layout, codec->sample_fmt, codec->sample_rate,
                              &codec->ch_layout, AV_SAMPLE_FMT_FLT, signal.sampleRate, 0, nullptr),
          "swr");
    check(swr_init(convert), "swr init");
    const int frameSize = codec->frame_size > 0 ? codec->frame_size : 1024;
    const bool padLast = !(codec->codec->capabilities &
                           (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME));
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<float> chunk;
    for (std::size_t at = 0; at < signal.frames(); at += frameSize) {
        const int count = static_cast<int>(std::min<std::size_t>(frameSize, signal.frames() - at));
        const int sent = padLast ? frameSize : count;
        chunk.assign(sent * signal.channels, 0.0f);
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
        check(avcodec_send_frame(codec, frame), "send frame");
        av_frame_unref(frame);
        drain(codec, format, stream, packet);
    }
    check(avcodec_send_frame(codec, nullptr), "flush");
    drain(codec, format, stream, packet);
    av_packet_free(&packet);
    av_frame_free(&frame);
    swr_free(&convert);
}

}  // namespace

Signal sines(const std::vector<std::pair<double, double>>& partials, double seconds, int sampleRate,
             int channels) {
    Signal signal{{}, channels, sampleRate};
    const auto frames = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    signal.samples.resize(frames * channels);
    for (std::size_t n = 0; n < frames; ++n) {
        double value = 0.0;
        for (const auto& [hz, amplitude] : partials)
            value += amplitude * std::sin(2.0 * std::numbers::pi * hz * n / sampleRate);
        for (int c = 0; c < channels; ++c)
            signal.samples[n * channels + c] = static_cast<float>(value);
    }
    return signal;
}

Signal constant(float level, double seconds, int sampleRate, int channels) {
    const auto frames = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    return Signal{std::vector<float>(frames * channels, level), channels, sampleRate};
}

Signal indexRamp(double seconds, int period, int sampleRate) {
    Signal signal{{}, 2, sampleRate};
    const auto frames = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    signal.samples.resize(frames * 2);
    const int step = 32768 / period;
    for (std::size_t n = 0; n < frames; ++n) {
        const float value =
            static_cast<float>(static_cast<int>(n % period) * step - 16384) / 32768.0f;
        signal.samples[n * 2] = value;
        signal.samples[n * 2 + 1] = -value;
    }
    return signal;
}

void writeWav(const std::filesystem::path& path, const Signal& signal, WavEncoding encoding) {
    const int bits = encoding == WavEncoding::pcm16 ? 16 : encoding == WavEncoding::pcm24 ? 24 : 32;
    std::ofstream out(path, std::ios::binary);
    writeWavHeader(out, signal.channels, signal.sampleRate, bits, encoding == WavEncoding::float32,
                   static_cast<std::uint32_t>(signal.samples.size() * bits / 8));
    for (const float sample : signal.samples) {
        if (encoding == WavEncoding::float32) {
            out.write(reinterpret_cast<const char*>(&sample), sizeof sample);
            continue;
        }
        const double scale = encoding == WavEncoding::pcm16 ? 32768.0 : 8388608.0;
        const auto value = static_cast<std::int32_t>(
            std::clamp(std::lround(sample * scale), -std::lround(scale), std::lround(scale) - 1));
        for (int byte = 0; byte < bits / 8; ++byte)
            out.put(static_cast<char>((value >> (8 * byte)) & 0xff));
    }
}

void writeSparseWav(const std::filesystem::path& path, double seconds, int sampleRate) {
    const auto dataBytes = static_cast<std::uint32_t>(std::llround(seconds * sampleRate) * 4);
    {
        std::ofstream out(path, std::ios::binary);
        writeWavHeader(out, 2, sampleRate, 16, false, dataBytes);
    }
    std::filesystem::resize_file(path, 44 + static_cast<std::uintmax_t>(dataBytes));
}

bool encodeAudio(const std::filesystem::path& path, const std::string& container,
                 const std::string& encoderName, const Signal& signal, std::int64_t bitRate) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName.c_str());
    if (!encoder)
        return false;
    AVFormatContext* format = nullptr;
    check(avformat_alloc_output_context2(&format, nullptr, container.c_str(), path.c_str()),
          "output context");
    AVStream* stream = avformat_new_stream(format, nullptr);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->sample_rate = signal.sampleRate;
    av_channel_layout_default(&codec->ch_layout, signal.channels);
    codec->sample_fmt = pickFormat(encoder);
    if (bitRate > 0) {
        codec->bit_rate = bitRate;
    } else {
        // Variable bit rate at a middling quality.
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
    encodeFrames(codec, format, stream, signal);
    check(av_write_trailer(format), "trailer");
    avio_closep(&format->pb);
    avcodec_free_context(&codec);
    avformat_free_context(format);
    return true;
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace tavrel::test
