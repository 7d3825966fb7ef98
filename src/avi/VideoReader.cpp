#include "avi/VideoReader.h"

#include "platform/FrameMemory.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vantorell {

namespace {

constexpr int kMaxSide = 32767;   // as every picture of the program
constexpr const char* kUnconvertible = "its pictures could not be converted";
constexpr int kFewestDecoderThreads = 8;
constexpr int kMostDecoderThreads = 16;
// Once frames are read out of order, those converted are kept up to this many bytes, so that a
// caller sampling frames ahead of its pass in order (the GIF encoder's palette and knob, the
// encodings of a byte budget) decodes the video once.
constexpr std::size_t kKeptFrameBytes = std::size_t(512) << 20;

// Memory for kept frames, handed out in slices of large blocks and given back all at once.
// The blocks are FrameMemory: 2 MB pages, and no fill before the converter writes. The GIF
// maker keeps about 90 MB of a 10-second 720p clip: zeroed in vectors of their own on the
// decoding thread, they cost a seventh of the job's CPU time, most of it in page faults.
class KeptFrameMemory {
public:
    std::uint8_t* take(std::size_t bytes)
    {
        if (m_blocks.empty() || m_used + bytes > m_blocks.back().size()) {
            m_blocks.emplace_back(std::max(kBlockBytes, bytes));
            m_used = 0;
        }
        std::uint8_t* slice = m_blocks.back().data() + m_used;
        m_used += (bytes + 63) / 64 * 64;
        return slice;
    }
    void clear()
    {
        m_blocks.clear();
        m_used = 0;
    }

private:
    static constexpr std::size_t kBlockBytes = std::size_t(32) << 20;
    std::vector<FrameMemory> m_blocks;
    std::size_t m_used = 0;
};

// `rows` rows of `bytes` each, from rows `fromStride` apart to rows `toStride` apart.
void copyRows(const std::uint8_t* from, std::size_t fromStride, std::uint8_t* to, std::size_t toStride, int rows,
              std::size_t bytes)
{
    for (int y = 0; y < rows; ++y)
        std::memcpy(to + toStride * std::size_t(y), from + fromStride * std::size_t(y), bytes);
}

std::string ffmpegText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// Converts a decoded picture to `width` x `height` rows of blue, green, red, unused through
// `scaler` (made or remade as the picture needs).
bool convertPicture(const AVFrame& f, int width, int height, SwsContext*& scaler, std::uint8_t* pixels,
                    std::size_t stride)
{
    scaler = sws_getCachedContext(scaler, f.width, f.height, AVPixelFormat(f.format), width, height, AV_PIX_FMT_BGR0,
                                  SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (scaler == nullptr)
        return false;
    // YUV read with the matrix and range the stream is tagged with, as players read it
    // (swscale's own default is BT.601 in limited range; HD video is mostly BT.709).
    if (f.colorspace != AVCOL_SPC_UNSPECIFIED || f.color_range == AVCOL_RANGE_JPEG) {
        const int* matrix = sws_getCoefficients(f.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(f.colorspace));
        sws_setColorspaceDetails(scaler, matrix, f.color_range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16, 1 << 16);
    }
    std::uint8_t* planes[4] = {pixels, nullptr, nullptr, nullptr};
    const int strides[4] = {int(stride), 0, 0, 0};
    return sws_scale(scaler, f.data, f.linesize, 0, f.height, planes, strides) == height;
}

// Converts pictures on a thread of its own while the caller decodes the next ones (kept
// frames, read ahead of a pass): the decoder's threads are fed while pictures are scaled.
class BackgroundConverter {
public:
    BackgroundConverter(int width, int height) : m_width(width), m_height(height)
    {
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // no thread to be had: add() converts on the caller's
        }
    }
    ~BackgroundConverter()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        sws_freeContext(m_scaler);
    }
    BackgroundConverter(const BackgroundConverter&) = delete;
    BackgroundConverter& operator=(const BackgroundConverter&) = delete;

    // Converts `picture` (a reference is taken) into `pixels`, tightly packed rows; false when
    // a conversion failed (this one or an earlier one).
    bool add(const AVFrame& picture, std::uint8_t* pixels)
    {
        if (!m_thread.joinable())
            return convertPicture(picture, m_width, m_height, m_scaler, pixels, std::size_t(m_width) * 4);
        FramePtr copy(av_frame_alloc());
        if (!copy || av_frame_ref(copy.get(), &picture) < 0)
            throw std::bad_alloc();
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_jobs.size() < kQueued || m_failed; });
        m_jobs.push_back({std::move(copy), pixels});
        m_changed.notify_all();
        return !m_failed;
    }
    // Waits for every picture added; false when one could not be converted.
    bool finish()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
        return !m_failed;
    }

private:
    static constexpr std::size_t kQueued = 4;   // decoded pictures waiting at most
    struct Job {
        FramePtr picture;
        std::uint8_t* pixels;
    };

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (m_failed) {   // the caller drops what is converted
                m_changed.notify_all();
                continue;
            }
            m_busy = true;
            lock.unlock();
            const bool done = convertPicture(*job.picture, m_width, m_height, m_scaler, job.pixels,
                                             std::size_t(m_width) * 4);
            job.picture.reset();
            lock.lock();
            m_busy = false;
            m_failed = m_failed || !done;
            m_changed.notify_all();
        }
    }

    int m_width, m_height;
    SwsContext* m_scaler = nullptr;   // the thread's own
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false, m_failed = false, m_stopping = false;
    std::thread m_thread;
};

}  // namespace

struct VideoReader::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int stream = -1;
    double fps = 1;
    double start = 0;       // seconds of the stream's first picture
    double timeBase = 0;    // seconds per timestamp unit
    double frameTime = 0;   // seconds per picture, for pictures without a timestamp
    int width = 0, height = 0, frames = 0;
    // The picture shown now and the next one decoded, with their times.
    FramePtr current{av_frame_alloc()}, next{av_frame_alloc()};
    double currentTime = 0, nextTime = 0;
    bool haveCurrent = false, haveNext = false, ended = false, flushed = false;
    int lastIndex = -1;
    // Converted frames by index (nullptr: not kept), tightly packed rows in `keptMemory`.
    std::vector<std::uint8_t*> kept;
    KeptFrameMemory keptMemory;
    std::size_t keptBytes = 0, keptLimit = kKeptFrameBytes;
    bool revisits = false;   // frames were skipped or read again: a later pass may want them
    std::string error;

    ~State()
    {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }

    double duration() const
    {
        const AVStream* s = format->streams[stream];
        if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
            return double(s->duration) * timeBase;
        if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            return double(format->duration) / AV_TIME_BASE;
        return 0;
    }

    // Whether no frame shows the packet's picture, which then need not be decoded unless later
    // pictures refer to it: it is shown from its time until the next picture's, which in a stream
    // of steady rate is its duration later, and no frame's time falls in between (as advanceTo
    // picks). Never the first picture, nor the last ones, which stand in for frames past them.
    bool shownByNoFrame(const AVPacket& picture) const
    {
        if (!haveCurrent || picture.pts == AV_NOPTS_VALUE || picture.duration <= 0)
            return false;
        const double begin = double(picture.pts) * timeBase - start;
        const double length = double(picture.duration) * timeBase;
        const double end = begin + length;
        const double total = duration();
        if (std::abs(length - frameTime) > 0.01 * frameTime || total <= 0 || end > total - 2 * frameTime)
            return false;
        const int first = int(std::ceil((begin - 1e-6) * fps));
        for (int index = std::max(0, first - 1); index <= first + 1; ++index) {
            const double time = index / fps;
            if (begin <= time + 1e-6 && end > time + 1e-6)
                return false;
        }
        return true;
    }

    // The next decoded picture into `into`; false at the end or on an error (error set).
    bool decode(AVFrame* into, double& time)
    {
        for (;;) {
            const int received = avcodec_receive_frame(decoder, into);
            if (received == 0) {
                const std::int64_t stamp = into->best_effort_timestamp;
                time = stamp != AV_NOPTS_VALUE ? double(stamp) * timeBase - start
                                               : (haveCurrent ? currentTime + frameTime : 0);
                return true;
            }
            if (received == AVERROR_EOF)
                return false;
            if (received != AVERROR(EAGAIN)) {
                error = "its video could not be decoded: " + ffmpegText(received);
                return false;
            }
            if (flushed)
                return false;
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                flushed = true;
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (packet->stream_index == stream) {
                decoder->skip_frame = shownByNoFrame(*packet) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                const int sent = avcodec_send_packet(decoder, packet);
                // A damaged packet costs its picture; anything else ends the reading.
                if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                    av_packet_unref(packet);
                    error = "its video could not be decoded: " + ffmpegText(sent);
                    return false;
                }
            }
            av_packet_unref(packet);
        }
    }

    bool rewind()
    {
        if (av_seek_frame(format, stream, format->streams[stream]->start_time == AV_NOPTS_VALUE
                                              ? 0
                                              : format->streams[stream]->start_time,
                          AVSEEK_FLAG_BACKWARD) < 0) {
            error = "its video could not be read again from the start";
            return false;
        }
        avcodec_flush_buffers(decoder);
        haveCurrent = haveNext = ended = flushed = false;
        return true;
    }

    // Makes `current` the picture shown at `time`.
    bool advanceTo(double time)
    {
        if (!haveCurrent) {
            if (!decode(current.get(), currentTime)) {
                if (error.empty())
                    error = "its video has no picture that can be decoded";
                return false;
            }
            haveCurrent = true;
        }
        for (;;) {
            if (!haveNext) {
                if (ended || !decode(next.get(), nextTime)) {
                    ended = true;
                    return error.empty();
                }
                haveNext = true;
            }
            if (nextTime > time + 1e-6)
                return true;
            std::swap(current, next);
            currentTime = nextTime;
            haveNext = false;
        }
    }

    bool convert(std::uint8_t* pixels, std::size_t stride)
    {
        if (convertPicture(*current, width, height, scaler, pixels, stride))
            return true;
        error = kUnconvertible;
        return false;
    }
};

VideoReader::VideoReader() : m(std::make_unique<State>()) {}
VideoReader::~VideoReader() = default;

std::string VideoReader::open(const std::filesystem::path& file, double fps, int width, int maxFrames)
{
    if (av_log_get_level() > AV_LOG_ERROR)
        av_log_set_level(AV_LOG_ERROR);
    if (!(fps > 0))
        return "needs a frame rate above 0";
    m = std::make_unique<State>();
    State& s = *m;
    s.fps = fps;
    if (avformat_open_input(&s.format, file.c_str(), nullptr, nullptr) < 0)
        return "is not a picture, a GIF or a video this program can read";
    if (avformat_find_stream_info(s.format, nullptr) < 0)
        return "is not a video this program can read: its streams could not be found";
    const AVCodec* codec = nullptr;
    s.stream = av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (s.stream < 0 || codec == nullptr)
        return s.stream == AVERROR_DECODER_NOT_FOUND ? "has a video stream this build cannot decode"
                                                     : "has no video stream";
    const AVStream* stream = s.format->streams[s.stream];
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->width <= 0 && parameters->height <= 0)   // a name FFmpeg guessed from, with nothing behind it
        return "is not a picture, a GIF or a video this program can read";
    if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > kMaxSide ||
        parameters->height > kMaxSide)
        return "has a video of an unusable size (" + std::to_string(parameters->width) + " x " +
               std::to_string(parameters->height) + ")";
    s.decoder = avcodec_alloc_context3(codec);
    s.packet = av_packet_alloc();
    if (s.decoder == nullptr || s.packet == nullptr || !s.current || !s.next)
        throw std::bad_alloc();
    if (avcodec_parameters_to_context(s.decoder, parameters) < 0)
        return "has a video stream that could not be opened";
    // Decoding takes most of the GIF maker's time on one core; the decoder's own threads (frame
    // or slice) give the same pictures. A frame thread mostly waits for the rows its picture
    // refers to, so more pictures are decoded at once than there are cores: on 2 cores, with
    // the kept pictures converted beside the decoding, the GIF maker's job on a 10-second 720p
    // H.264 clip took about a tenth less time with 8 than with FFmpeg's own choice (3).
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    s.decoder->thread_count = std::clamp(2 * cores, kFewestDecoderThreads, kMostDecoderThreads);
    s.decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(s.decoder, codec, nullptr) < 0)
        return "has a video stream that could not be opened";
    s.timeBase = av_q2d(stream->time_base);
    s.start = stream->start_time != AV_NOPTS_VALUE ? double(stream->start_time) * s.timeBase : 0;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    s.frameTime = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 1 / fps;
    s.width = width > 0 ? width : parameters->width;
    s.height = width > 0 ? std::max(1, int(std::lround(double(parameters->height) * width / parameters->width)))
                         : parameters->height;
    if (s.height > kMaxSide)
        return "would make frames taller than " + std::to_string(kMaxSide) + " pixels at that width";
    const double seconds = s.duration();
    const double count = std::ceil(seconds * fps - 1e-6);
    if (count > maxFrames)
        return "is too long: " + std::to_string(std::llround(count)) + " frames at " + std::to_string(std::lround(fps)) +
               " frames per second, more than " + std::to_string(maxFrames);
    s.frames = std::max(1, int(count));
    return {};
}

int VideoReader::width() const { return m->width; }
int VideoReader::height() const { return m->height; }
int VideoReader::frameCount() const { return m->frames; }
int VideoReader::sourceWidth() const { return m->decoder ? m->decoder->width : 0; }
int VideoReader::sourceHeight() const { return m->decoder ? m->decoder->height : 0; }
const std::string& VideoReader::error() const { return m->error; }
void VideoReader::keepAtMost(std::size_t bytes) { m->keptLimit = std::min(bytes, kKeptFrameBytes); }

bool VideoReader::frame(int index, std::uint8_t* pixels, std::size_t stride)
{
    State& s = *m;
    if (s.format == nullptr || index < 0 || index >= s.frames)
        return false;
    const std::size_t row = std::size_t(s.width) * 4;
    if (s.kept.empty())
        s.kept.resize(std::size_t(s.frames));
    if (const std::uint8_t* const copy = s.kept[std::size_t(index)]; copy != nullptr) {
        copyRows(copy, row, pixels, stride, s.height, row);
        return true;
    }
    s.revisits = s.revisits || index != s.lastIndex + 1;
    if (index < s.lastIndex) {
        if (!s.rewind())
            return false;
        s.lastIndex = -1;
    }
    // The frames skipped on the way are converted (on a thread of their own) and kept while
    // they fit.
    const std::size_t frameBytes = row * std::size_t(s.height);
    std::optional<BackgroundConverter> converter;
    const auto fail = [&s, &converter](const char* why) {
        if (converter)
            converter->finish();
        if (s.error.empty())
            s.error = why;
        s.kept.assign(s.kept.size(), nullptr);   // some may be unfinished
        s.keptMemory.clear();
        s.keptBytes = 0;
        return false;
    };
    for (int skipped = s.lastIndex + 1; skipped < index && s.keptBytes + 2 * frameBytes <= s.keptLimit; ++skipped) {
        std::uint8_t*& copy = s.kept[std::size_t(skipped)];
        if (copy != nullptr)
            continue;
        if (!converter)
            converter.emplace(s.width, s.height);
        if (!s.advanceTo(skipped / s.fps))
            return fail("");
        copy = s.keptMemory.take(frameBytes);   // (left as it comes: the converter fills it)
        const bool added = converter->add(*s.current, copy);
        s.keptBytes += frameBytes;
        if (!added)
            return fail(kUnconvertible);
    }
    if (converter && !converter->finish())
        return fail(kUnconvertible);
    s.lastIndex = index;
    if (!s.advanceTo(index / s.fps) || !s.convert(pixels, stride))
        return false;
    if (s.revisits && s.keptBytes + frameBytes <= s.keptLimit) {
        std::uint8_t*& copy = s.kept[std::size_t(index)];
        copy = s.keptMemory.take(frameBytes);
        copyRows(pixels, stride, copy, row, s.height, row);
        s.keptBytes += frameBytes;
    }
    return true;
}

}  // namespace vantorell
