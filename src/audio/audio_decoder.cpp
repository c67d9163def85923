#include "audio/audio_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

#include "audio/audio_file_error.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tavrel {

namespace {

// AAC and MP3 need frames before the target to decode it right; 0.1 s is
// the least that held for VBR MP3, so leave a margin.
constexpr double prerollSeconds = 0.2;
// Garbage that a demuxer accepts yields packets no decoder takes: give up
// rather than read a whole large file of it.
constexpr int maxRejectedPacketsBeforeAudio = 64;

// Opening a FIFO blocks until a writer comes, a device may never end:
// only regular files (or links to them) are media.
void refuseUnlessRegularFile(const std::filesystem::path& url) {
    struct stat status = {};
    if (::stat(url.c_str(), &status) != 0)
        throw AudioFileError(url, AVERROR(errno));
    if (S_ISDIR(status.st_mode))
        throw AudioFileError(url, AVERROR(EISDIR));
    if (!S_ISREG(status.st_mode))
        throw AudioFileError(url, AVERROR(EINVAL), "Not a regular file");
}

}  // namespace

AudioDecoder::AudioDecoder(const std::filesystem::path& url, int outputRate,
                           Clock::duration timeout)
    : m_outputRate(outputRate), m_deadline(Clock::now() + timeout) {
    ++s_openAttempts;
    // What is opened so far is owned by the members: a throw frees it.
    refuseUnlessRegularFile(url);
    open(url);
    openCodec(url);
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame)
        fail(url, AVERROR(ENOMEM));
    if (!decodeMore())
        fail(url, m_lastError < 0 ? m_lastError : AVERROR_INVALIDDATA);
    m_readLimit.reset();
    m_deadline.reset();
}

int AudioDecoder::interrupted(void* opaque) {
    auto* decoder = static_cast<AudioDecoder*>(opaque);
    if (decoder->m_deadline && Clock::now() >= *decoder->m_deadline)
        decoder->m_interrupted = true;
    const AVIOContext* input = decoder->m_format ? decoder->m_format->pb : nullptr;
    if (decoder->m_readLimit && input && input->bytes_read > *decoder->m_readLimit)
        decoder->m_noAudioNear = true;
    return decoder->m_interrupted || decoder->m_noAudioNear ? 1 : 0;
}

void AudioDecoder::fail(const std::filesystem::path& url, int result) const {
    // "Immediate exit requested" tells the user nothing: a file that yields no
    // audio before the deadline is, as far as a show goes, invalid data.
    if (m_interrupted || m_noAudioNear || result == AVERROR_EXIT)
        result = AVERROR_INVALIDDATA;
    AudioFileError error(url, result);
    if (m_interrupted)
        error.markTimedOut();
    throw error;
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::FFmpegDeleter::operator()(AVFormatContext* format) const {
    avformat_close_input(&format);
}
void AudioDecoder::FFmpegDeleter::operator()(AVCodecContext* codec) const {
    avcodec_free_context(&codec);
}
void AudioDecoder::FFmpegDeleter::operator()(SwrContext* resampler) const {
    swr_free(&resampler);
}
void AudioDecoder::FFmpegDeleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}
void AudioDecoder::FFmpegDeleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

void AudioDecoder::open(const std::filesystem::path& url) {
    // Probing is the whole cost of opening a WAV: bound it, the demuxer
    // knows the codec long before the defaults stop looking.
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        fail(url, AVERROR(ENOMEM));
    format->interrupt_callback = {&AudioDecoder::interrupted, this};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", "65536", 0);
    av_dict_set(&options, "analyzeduration", "200000", 0);
    // On failure avformat_open_input frees the context and nulls the pointer.
    const int opened = avformat_open_input(&format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        fail(url, opened);
    m_format.reset(format);
    // Gigabytes of zeros or noise would cost a core until the deadline, while
    // a real file's first frame lies right after its header.
    if (m_format->pb)
        m_readLimit = m_format->pb->bytes_read + firstFrameWithinBytes;
    if (const int found = avformat_find_stream_info(m_format.get(), nullptr); found < 0)
        fail(url, found);
}

void AudioDecoder::openCodec(const std::filesystem::path& url) {
    const AVCodec* decoder = nullptr;
    m_streamIndex = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m_streamIndex < 0)
        fail(url, m_streamIndex);
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex)
            m_format->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = m_format->streams[m_streamIndex];
    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec)
        fail(url, AVERROR(ENOMEM));
    if (const int copied = avcodec_parameters_to_context(m_codec.get(), stream->codecpar);
        copied < 0)
        fail(url, copied);
    m_codec->pkt_timebase = stream->time_base;
    m_codec->thread_count = 1;  // a dozen warm decoders must not mean a dozen thread pools
    if (const int opened = avcodec_open2(m_codec.get(), decoder, nullptr); opened < 0)
        fail(url, opened);

    m_startTime = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        m_durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    } else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        m_durationSeconds = static_cast<double>(m_format->duration) / AV_TIME_BASE;
    }
}

void AudioDecoder::seek(double seconds) {
    const int rate = m_codec->sample_rate > 0 ? m_codec->sample_rate : m_outputRate;
    const std::int64_t target = std::llround(std::max(seconds, 0.0) * rate);
    if (target == 0 && m_atOpenPosition)
        return;
    m_atOpenPosition = false;

    const AVRational timeBase = m_format->streams[m_streamIndex]->time_base;
    const std::int64_t preroll = std::llround(prerollSeconds * rate);
    const std::int64_t seekTo =
        m_startTime +
        av_rescale_q(std::max<std::int64_t>(target - preroll, 0), {1, rate}, timeBase);
    if (av_seek_frame(m_format.get(), m_streamIndex, seekTo, AVSEEK_FLAG_BACKWARD) < 0) {
        const int result =
            avformat_seek_file(m_format.get(), m_streamIndex, INT64_MIN, seekTo, seekTo, 0);
        if (result < 0)
            m_lastError = result;
    }
    avcodec_flush_buffers(m_codec.get());
    if (m_resampler)
        swr_init(m_resampler.get());  // drops what it buffered, keeps its filter
    m_pendingRead = m_pendingFrames = 0;
    m_dropBeforeSample = target;
    m_dropping = true;
    m_nextSample = 0;
    m_packetsEnded = m_drained = m_inputEnded = m_failed = false;
}

std::size_t AudioDecoder::read(float* frames, std::size_t maxFrames) {
    std::size_t written = 0;
    while (written < maxFrames) {
        if (m_pendingRead < m_pendingFrames) {
            const std::size_t count =
                std::min(maxFrames - written, m_pendingFrames - m_pendingRead);
            std::memcpy(frames + written * outputChannels,
                        m_pending.data() + m_pendingRead * outputChannels,
                        count * outputChannels * sizeof(float));
            written += count;
            m_pendingRead += count;
            m_atOpenPosition = false;
            continue;
        }
        m_pendingRead = m_pendingFrames = 0;
        if (m_inputEnded || !decodeMore()) {
            m_inputEnded = true;
            break;
        }
    }
    return written;
}

bool AudioDecoder::decodeMore() {
    while (true) {
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0) {
            const bool converted = convertFrame();
            av_frame_unref(m_frame.get());
            if (converted)
                return true;
            continue;
        }
        if (received == AVERROR_EOF || m_drained)
            return flushResampler();
        if (received != AVERROR(EAGAIN)) {
            // The decoder cannot go on: play what was decoded, then end.
            m_lastError = received;
            m_failed = true;
            return flushResampler();
        }
        if (!feedPacket())
            return flushResampler();
    }
}

// False when decoding must stop here.
bool AudioDecoder::feedPacket() {
    if (m_packetsEnded) {
        m_drained = true;
        return true;
    }
    const int read = av_read_frame(m_format.get(), m_packet.get());
    if (read < 0) {
        if (read != AVERROR_EOF) {
            m_lastError = read;
            m_failed = true;
        }
        m_packetsEnded = true;
        avcodec_send_packet(m_codec.get(), nullptr);
        return true;
    }
    if (m_packet->stream_index == m_streamIndex) {
        const int sent = avcodec_send_packet(m_codec.get(), m_packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            m_lastError = sent;
            if (!m_anyFrame && ++m_rejectedPackets > maxRejectedPacketsBeforeAudio) {
                av_packet_unref(m_packet.get());
                return false;
            }
        }
    }
    av_packet_unref(m_packet.get());
    return true;
}

std::int64_t AudioDecoder::frameStartSample() const {
    const std::int64_t timestamp = m_frame->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        return m_nextSample;
    const AVRational timeBase = m_format->streams[m_streamIndex]->time_base;
    return av_rescale_q(timestamp - m_startTime, timeBase, {1, m_frame->sample_rate});
}

bool AudioDecoder::convertFrame() {
    if (m_frame->nb_samples <= 0 || m_frame->sample_rate <= 0)
        return false;
    ensureResampler();
    if (!m_resampler)
        return false;
    m_anyFrame = true;
    const std::int64_t first = frameStartSample();
    m_nextSample = first + m_frame->nb_samples;
    const std::int64_t skip =
        m_dropping ? std::clamp<std::int64_t>(m_dropBeforeSample - first, 0, m_frame->nb_samples)
                   : 0;
    if (skip == m_frame->nb_samples)
        return false;
    m_dropping = false;

    const auto format = static_cast<AVSampleFormat>(m_frame->format);
    const int channels = m_frame->ch_layout.nb_channels;
    const int bytesPerSample = av_get_bytes_per_sample(format);
    const bool planar = av_sample_fmt_is_planar(format);
    m_planes.assign(planar ? channels : 1, nullptr);
    for (std::size_t p = 0; p < m_planes.size(); ++p) {
        const std::size_t stride = planar ? bytesPerSample : bytesPerSample * channels;
        m_planes[p] = m_frame->extended_data[p] + skip * stride;
    }
    return appendConverted(m_planes.data(), m_frame->nb_samples - static_cast<int>(skip));
}

bool AudioDecoder::appendConverted(const std::uint8_t** input, int inputFrames) {
    if (m_pendingRead == m_pendingFrames)
        m_pendingRead = m_pendingFrames = 0;
    const int capacity = swr_get_out_samples(m_resampler.get(), inputFrames);
    if (capacity <= 0)
        return false;
    m_pending.resize((m_pendingFrames + capacity) * outputChannels);
    auto* out =
        reinterpret_cast<std::uint8_t*>(m_pending.data() + m_pendingFrames * outputChannels);
    const int converted = swr_convert(m_resampler.get(), &out, capacity, input, inputFrames);
    if (converted < 0) {
        m_lastError = converted;
        m_failed = true;
        return false;
    }
    m_pendingFrames += converted;
    return converted > 0;
}

bool AudioDecoder::flushResampler() {
    m_drained = true;
    if (!m_resampler)
        return false;
    return appendConverted(nullptr, 0);
}

void AudioDecoder::ensureResampler() {
    const int channels = m_frame->ch_layout.nb_channels;
    if (m_resampler && m_resamplerFormat == m_frame->format &&
        m_resamplerRate == m_frame->sample_rate && m_resamplerChannels == channels)
        return;
    m_resampler.reset();
    AVChannelLayout input = {};
    if (m_frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&input, channels);
    else
        av_channel_layout_copy(&input, &m_frame->ch_layout);
    AVChannelLayout output = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* resampler = nullptr;
    int result = swr_alloc_set_opts2(&resampler, &output, AV_SAMPLE_FMT_FLT, m_outputRate, &input,
                                     static_cast<AVSampleFormat>(m_frame->format),
                                     m_frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&input);
    m_resampler.reset(resampler);
    if (result >= 0 && channels == 1) {
        // A mono cue is meant at full level on both sides, not 3 dB down.
        const double both[2] = {1.0, 1.0};
        result = swr_set_matrix(m_resampler.get(), both, 1);
    } else if (result >= 0 && channels > 2) {
        // Folded down, every channel at full scale must not clip.
        result = av_opt_set_double(m_resampler.get(), "rematrix_maxval", 1.0, 0);
    }
    if (result >= 0)
        result = swr_init(m_resampler.get());
    if (result < 0) {
        m_lastError = result;
        m_failed = true;
        m_resampler.reset();
        return;
    }
    m_resamplerFormat = m_frame->format;
    m_resamplerRate = m_frame->sample_rate;
    m_resamplerChannels = channels;
}

std::optional<std::string> checkPlayable(const std::filesystem::path& url) {
    av_log_set_level(AV_LOG_FATAL);  // the message says what matters
    try {
        constexpr int rate = 48000;
        AudioDecoder decoder(url, rate);
        decoder.setDeadline(AudioDecoder::Clock::now() + AudioDecoder::openTimeout);
        std::vector<float> frames(rate / 10 * AudioDecoder::outputChannels);
        decoder.read(frames.data(), rate / 10);
        if (decoder.failed() && decoder.atEnd())
            return unplayableMessage(ffmpegMessage(AVERROR_INVALIDDATA));
    } catch (const AudioFileError& error) {
        return error.what();
    }
    return std::nullopt;
}

}  // namespace tavrel
