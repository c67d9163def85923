#include "audio/audio_overview_reader.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>

#include "audio/audio_decoder.h"
#include "audio/audio_file_error.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tavrel {

namespace {

// Frames decoded per read, and per stored maximum before the final reduction.
constexpr std::size_t chunkFrames = 4096;
constexpr std::size_t blockFrames = 256;

struct FormatInput {
    AVFormatContext* context = nullptr;
    AudioDecoder::Clock::time_point deadline;
    ~FormatInput() { avformat_close_input(&context); }

    static int interrupted(void* opaque) {
        return AudioDecoder::Clock::now() >= static_cast<FormatInput*>(opaque)->deadline ? 1 : 0;
    }
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// What a user calls the format: the codec, except for raw samples, which are
// known by their container.
std::string formatName(const AVFormatContext& format, const AVCodecParameters& codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
    const std::string codecName = descriptor ? descriptor->name : "";
    if (codecName.rfind("pcm_", 0) == 0 || codecName.empty()) {
        std::string container = format.iformat ? format.iformat->name : "";
        return upper(container.substr(0, container.find(',')));
    }
    if (codecName == "vorbis")
        return "Vorbis";
    if (codecName == "opus")
        return "Opus";
    return upper(codecName);
}

// Maxima of `blocks` merged into `count` equal stretches.
std::vector<float> reduced(const std::vector<float>& blocks, std::size_t count) {
    count = std::min(count, blocks.size());
    std::vector<float> peaks(count, 0.0f);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t target = i * count / blocks.size();
        peaks[target] = std::max(peaks[target], blocks[i]);
    }
    return peaks;
}

}  // namespace

AudioOverview readAudioFormat(const std::filesystem::path& url) {
    // The decoder refuses what is not a playable regular file, within its timeout.
    const AudioDecoder decoder(url, 48000, AudioDecoder::warmingTimeout);
    AudioOverview overview;
    overview.durationSeconds = decoder.durationSeconds();

    FormatInput input;
    input.deadline = AudioDecoder::Clock::now() + AudioDecoder::warmingTimeout;
    input.context = avformat_alloc_context();
    if (!input.context)
        throw AudioFileError(url, AVERROR(ENOMEM));
    input.context->interrupt_callback = {&FormatInput::interrupted, &input};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", "65536", 0);
    av_dict_set(&options, "analyzeduration", "200000", 0);
    // On failure avformat_open_input frees the context and nulls the pointer.
    int result = avformat_open_input(&input.context, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result >= 0)
        result = avformat_find_stream_info(input.context, nullptr);
    if (result >= 0)
        result = av_find_best_stream(input.context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (result < 0)
        throw AudioFileError(url, result);
    const AVCodecParameters& codec = *input.context->streams[result]->codecpar;
    overview.formatName = formatName(*input.context, codec);
    overview.sampleRate = codec.sample_rate;
    overview.channels = codec.ch_layout.nb_channels;
    return overview;
}

std::vector<float> readAudioPeaks(const std::filesystem::path& url, int sampleRate,
                                  std::size_t peakCount, const std::function<bool()>& cancelled) {
    // At the file's own rate the resampler only converts the sample format.
    AudioDecoder decoder(url, sampleRate > 0 ? sampleRate : 48000, AudioDecoder::warmingTimeout);
    constexpr std::size_t channels = AudioDecoder::outputChannels;
    std::vector<float> chunk(chunkFrames * channels);
    std::vector<float> blocks;
    float blockPeak = 0.0f;
    std::size_t inBlock = 0;
    while (!decoder.atEnd() && !cancelled()) {
        const std::size_t frames = decoder.read(chunk.data(), chunkFrames);
        for (std::size_t i = 0; i < frames * channels; ++i) {
            blockPeak = std::max(blockPeak, std::fabs(chunk[i]));
            if ((i + 1) % channels == 0 && ++inBlock == blockFrames) {
                blocks.push_back(std::min(blockPeak, 1.0f));
                blockPeak = 0.0f;
                inBlock = 0;
            }
        }
    }
    if (inBlock > 0)
        blocks.push_back(std::min(blockPeak, 1.0f));
    return reduced(blocks, peakCount);
}

struct AudioOverviewThread::Request {
    Deliver deliver;
};

AudioOverviewThread::AudioOverviewThread(MainLoop& mainLoop) : m_mainLoop(mainLoop) {}

AudioOverviewThread::~AudioOverviewThread() {
    m_stopping = true;
}

std::shared_ptr<void> AudioOverviewThread::request(const std::filesystem::path& url,
                                                   std::size_t peakCount, Deliver deliver) {
    auto request = std::make_shared<Request>(Request{std::move(deliver)});
    // The worker only ever asks whether the request is gone: the callable is
    // made, called and destroyed on the main thread.
    m_worker.post([this, url, peakCount, weak = std::weak_ptr<Request>(request)] {
        read(url, peakCount, weak);
    });
    return request;
}

void AudioOverviewThread::read(const std::filesystem::path& url, std::size_t peakCount,
                               const std::weak_ptr<Request>& request) {
    const auto cancelled = [this, &request] { return m_stopping || request.expired(); };
    if (cancelled())
        return;
    try {
        AudioOverview overview = readAudioFormat(url);
        post(request, overview);
        overview.peaks = readAudioPeaks(url, overview.sampleRate, peakCount, cancelled);
        if (!cancelled())
            post(request, std::move(overview));
    } catch (const AudioFileError&) {
        // No format: the editor says the file cannot be read; playing it tells why.
        post(request, AudioOverview{});
    }
}

void AudioOverviewThread::post(const std::weak_ptr<Request>& request, AudioOverview overview) {
    m_mainLoop.post([request, overview = std::move(overview)] {
        if (const auto alive = request.lock())
            alive->deliver(overview);
    });
}

}  // namespace tavrel
