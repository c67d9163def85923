#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace tavrel {

// One audio file decoded to interleaved float stereo at the output rate.
// Not thread-safe: one thread at a time uses it (ownership is handed over).
class AudioDecoder {
public:
    static constexpr int outputChannels = 2;
    using Clock = std::chrono::steady_clock;
    // Long enough for any sound file on a loaded machine; a pathological one
    // (gigabytes of zeros, random bytes) gives up by then.
    static constexpr std::chrono::milliseconds openTimeout{400};
    // How much may be read past the header before the first audio frame.
    static constexpr std::int64_t firstFrameWithinBytes = 8 << 20;
    // Warming runs at low priority off the main thread: a loaded machine must
    // not make a good file look bad there, and a pathological one still ends.
    static constexpr std::chrono::milliseconds warmingTimeout{1500};

    // Opens the best audio stream and decodes its first frame, so a file with
    // no decodable audio fails here, within the timeout. Only a regular file
    // is opened: a FIFO, device or folder is refused at once. Throws AudioFileError.
    AudioDecoder(const std::filesystem::path& url, int outputRate,
                 Clock::duration timeout = openTimeout);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    double durationSeconds() const { return m_durationSeconds; }
    int outputRate() const { return m_outputRate; }

    // Positions so that the next frame read is the sample at that time.
    void seek(double seconds);
    // Writes up to maxFrames frames; fewer only at the end, 0 once it is reached.
    std::size_t read(float* frames, std::size_t maxFrames);
    // Everything has been read: end of file, or decoding gave up on an error.
    bool atEnd() const { return m_inputEnded && m_pendingRead == m_pendingFrames; }
    // Decoding stopped on a read or decode error rather than at the end of the file.
    bool failed() const { return m_failed; }
    // The last operation ran into its deadline.
    bool timedOut() const { return m_interrupted; }
    // Reads after this time fail as a read error would; none by default after opening.
    void setDeadline(std::optional<Clock::time_point> deadline) {
        m_deadline = deadline;
        m_interrupted = false;
    }

    // Decoders constructed so far in this process, refused ones included (tests).
    static std::uint64_t openAttempts() { return s_openAttempts.load(); }

private:
    static int interrupted(void* decoder);
    [[noreturn]] void fail(const std::filesystem::path& url, int result) const;
    void open(const std::filesystem::path& url);
    void openCodec(const std::filesystem::path& url);
    bool decodeMore();
    bool feedPacket();
    bool convertFrame();
    bool flushResampler();
    void ensureResampler();
    std::int64_t frameStartSample() const;
    bool appendConverted(const std::uint8_t** input, int inputFrames);

    static inline std::atomic<std::uint64_t> s_openAttempts{0};

    int m_outputRate = 0;
    std::optional<Clock::time_point> m_deadline;
    bool m_interrupted = false;
    // While the first frame is sought: how far into the file it may lie.
    std::optional<std::int64_t> m_readLimit;
    bool m_noAudioNear = false;
    // FFmpeg's own free functions: no way out of the constructor or a read
    // leaks what was opened.
    struct FFmpegDeleter {
        void operator()(AVFormatContext* format) const;
        void operator()(AVCodecContext* codec) const;
        void operator()(SwrContext* resampler) const;
        void operator()(AVFrame* frame) const;
        void operator()(AVPacket* packet) const;
    };
    template <typename T>
    using Owned = std::unique_ptr<T, FFmpegDeleter>;

    Owned<AVFormatContext> m_format;
    Owned<AVCodecContext> m_codec;
    Owned<SwrContext> m_resampler;
    Owned<AVPacket> m_packet;
    Owned<AVFrame> m_frame;
    int m_streamIndex = -1;
    std::int64_t m_startTime = 0;  // stream time base
    double m_durationSeconds = 0.0;

    // What the resampler was made for, to remake it when a frame differs.
    int m_resamplerFormat = -1;
    int m_resamplerRate = 0;
    int m_resamplerChannels = 0;

    std::vector<float> m_pending;  // converted frames not yet read
    std::size_t m_pendingRead = 0;
    std::size_t m_pendingFrames = 0;
    std::vector<const std::uint8_t*> m_planes;

    std::int64_t m_dropBeforeSample = 0;  // decoder-rate samples before this are dropped
    bool m_dropping = true;
    std::int64_t m_nextSample = 0;  // for frames without a timestamp
    int m_lastError = 0;
    int m_rejectedPackets = 0;
    bool m_anyFrame = false;
    bool m_atOpenPosition = true;  // nothing read or seeked since opening
    bool m_packetsEnded = false;
    bool m_drained = false;
    bool m_inputEnded = false;
    bool m_failed = false;
};

// Opens the file and decodes its first frames within the open timeout, as a
// start would: nothing when it plays, else the user's message
// ("음원 파일을 재생할 수 없습니다. (…)"). Any thread.
std::optional<std::string> checkPlayable(const std::filesystem::path& url);

}  // namespace tavrel
