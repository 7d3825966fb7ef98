// AviReader: our own bounded read of the AVI stream headers, then FFmpeg's AVI demuxer and
// decoders over a custom I/O source, or a direct read of uncompressed frames.
#include "avi/AviReader.h"

#include "avi/AviCodecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantorell {

std::string_view aviReadErrorName(AviReadError error)
{
    switch (error) {
    case AviReadError::None: return "None";
    case AviReadError::NoFile: return "NoFile";
    case AviReadError::NotAvi: return "NotAvi";
    case AviReadError::NoVideoStream: return "NoVideoStream";
    case AviReadError::BadFrameRate: return "BadFrameRate";
    case AviReadError::NoFrameSize: return "NoFrameSize";
    case AviReadError::FrameTooLarge: return "FrameTooLarge";
    case AviReadError::OverLimit: return "OverLimit";
    case AviReadError::UnsupportedCodec: return "UnsupportedCodec";
    case AviReadError::DecoderFailed: return "DecoderFailed";
    case AviReadError::FrameUnreadable: return "FrameUnreadable";
    }
    return "?";
}

namespace {

// Rounds num / den (den > 0, num >= 0) to the nearest integer, ties to the even one.
std::int64_t divideHalfEven(std::int64_t num, std::int64_t den)
{
    const std::int64_t q = num / den;
    const std::int64_t r2 = (num % den) * 2;
    if (r2 > den || (r2 == den && (q & 1)))
        return q + 1;
    return q;
}

}  // namespace

int aviFrameDelay(std::int64_t start, std::int64_t n, std::uint32_t scale, std::uint32_t rate)
{
    if (n <= 0 || scale == 0 || rate == 0)
        return 0;
    // AVIStreamSampleToTime: whole milliseconds, truncated. 128-bit so that no header overflows.
    const __int128 wide = static_cast<__int128>(std::max<std::int64_t>(start + n, 0)) * 1000 * scale / rate;
    const std::int64_t T = wide > std::numeric_limits<std::int64_t>::max() / 2
                               ? std::numeric_limits<std::int64_t>::max() / 2
                               : static_cast<std::int64_t>(wide);
    const std::int64_t t = divideHalfEven(T, n);
    const std::int64_t delay = divideHalfEven(t, 10);
    return static_cast<int>(std::min<std::int64_t>(delay, 65535));
}

namespace {

// ---- The bytes of the file ---------------------------------------------------------------

// Random access to the AVI: a regular file read with pread, or bytes in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to n bytes at pos; answers the count read (0 at the end or on an error).
    virtual std::size_t readAt(std::uint64_t pos, std::uint8_t* out, std::size_t n) = 0;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& path)
    {
        // A FIFO or a device could block or never end; only regular files are AVIs here.
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat st {};
        if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_fd >= 0)
            m_size = static_cast<std::uint64_t>(st.st_size);
    }
    ~FileSource() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    std::uint64_t size() const override { return m_size; }
    std::size_t readAt(std::uint64_t pos, std::uint8_t* out, std::size_t n) override
    {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(m_fd, out + done, n - done, static_cast<off_t>(pos + done));
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    std::size_t readAt(std::uint64_t pos, std::uint8_t* out, std::size_t n) override
    {
        if (pos >= m_bytes.size())
            return 0;
        const std::size_t take = std::min<std::uint64_t>(n, m_bytes.size() - pos);
        std::memcpy(out, m_bytes.data() + pos, take);
        return take;
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

// ---- The stream headers (RIFF "AVI " / LIST "hdrl" / LIST "strl" / "strh") -------------------

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::int16_t le16s(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | p[1] << 8); }
bool isTag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

struct VideoStreamHeader {
    int ordinal = -1;              // stream number: the count of strh chunks before it
    std::uint32_t scale = 0, rate = 0, start = 0, length = 0;
    bool hasRect = false;          // a 56-byte strh carries rcFrame; older 48-byte ones do not
    int right = 0, bottom = 0;
    // From the stream's format (strf, a BITMAPINFOHEADER), when it has one.
    bool hasFormat = false;
    std::int32_t biWidth = 0, biHeight = 0;   // biHeight > 0: rows stored bottom to top
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
};

// Visits the chunks of data[begin, end): f(id, bodyOffset, bodySize) with every body clamped
// to the list it is in, odd sizes padded to even (RIFF).
template <class F>
void forEachChunk(const std::vector<std::uint8_t>& data, std::size_t begin, std::size_t end, F&& f)
{
    std::size_t pos = begin;
    while (end >= 8 && pos <= end - 8) {
        const std::uint8_t* id = data.data() + pos;
        const std::uint64_t declared = le32(id + 4);
        const std::size_t body = pos + 8;
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(declared, end - body));
        f(id, body, size);
        pos = body + size + (size & 1);
    }
}

// Finds the first video stream's header. Answers NotAvi for a file without the RIFF form and a
// whole hdrl list, NoVideoStream when no strh is of type "vids".
AviReadError readVideoStreamHeader(ByteSource& source, const AviReadLimits& limits, VideoStreamHeader& out)
{
    std::uint8_t head[24];
    if (source.size() < 24 || source.readAt(0, head, 24) != 24)
        return AviReadError::NotAvi;
    if (!isTag(head, "RIFF") || !isTag(head + 8, "AVI ") || !isTag(head + 12, "LIST") || !isTag(head + 20, "hdrl"))
        return AviReadError::NotAvi;
    // The hdrl list comes first in every AVI (AVI RIFF File Reference); it must be whole.
    const std::uint64_t hdrlSize = le32(head + 16);
    if (hdrlSize < 4 || hdrlSize > limits.maxHeaderBytes || 20 + hdrlSize > source.size())
        return AviReadError::NotAvi;
    std::vector<std::uint8_t> hdrl(static_cast<std::size_t>(hdrlSize) - 4);
    if (source.readAt(24, hdrl.data(), hdrl.size()) != hdrl.size())
        return AviReadError::NotAvi;

    int streams = 0;
    forEachChunk(hdrl, 0, hdrl.size(), [&](const std::uint8_t* id, std::size_t body, std::size_t size) {
        if (out.ordinal >= 0 || !isTag(id, "LIST") || size < 4 || !isTag(hdrl.data() + body, "strl"))
            return;
        bool thisList = false;
        forEachChunk(hdrl, body + 4, body + size, [&](const std::uint8_t* sid, std::size_t sbody, std::size_t ssize) {
            if (thisList && isTag(sid, "strf") && ssize >= 20 && !out.hasFormat) {
                const std::uint8_t* f = hdrl.data() + sbody;
                out.hasFormat = true;
                out.biWidth = static_cast<std::int32_t>(le32(f + 4));
                out.biHeight = static_cast<std::int32_t>(le32(f + 8));
                out.biBitCount = static_cast<std::uint16_t>(f[14] | f[15] << 8);
                out.biCompression = le32(f + 16);
                return;
            }
            if (!isTag(sid, "strh"))
                return;
            const int number = streams++;
            if (out.ordinal >= 0 || ssize < 48)
                return;
            const std::uint8_t* h = hdrl.data() + sbody;
            if (!isTag(h, "vids"))
                return;
            out.ordinal = number;
            thisList = true;
            out.scale = le32(h + 20);
            out.rate = le32(h + 24);
            out.start = le32(h + 28);
            out.length = le32(h + 32);
            if (ssize >= 56) {
                // rcFrame: four 16-bit signed numbers, left, top, right, bottom.
                out.hasRect = true;
                out.right = le16s(h + 52);
                out.bottom = le16s(h + 54);
            }
        });
    });
    return out.ordinal >= 0 ? AviReadError::None : AviReadError::NoVideoStream;
}

// ---- FFmpeg over the byte source -------------------------------------------------------------

struct IoState {
    ByteSource* source;
    std::uint64_t pos = 0;
};

int ioRead(void* opaque, std::uint8_t* buf, int size)
{
    auto* io = static_cast<IoState*>(opaque);
    if (size <= 0)
        return 0;
    const std::size_t got = io->source->readAt(io->pos, buf, static_cast<std::size_t>(size));
    if (got == 0)
        return AVERROR_EOF;
    io->pos += got;
    return static_cast<int>(got);
}

std::int64_t ioSeek(void* opaque, std::int64_t offset, int whence)
{
    auto* io = static_cast<IoState*>(opaque);
    const auto size = static_cast<std::int64_t>(io->source->size());
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = static_cast<std::int64_t>(io->pos) + offset; break;
    case SEEK_END: target = size + offset; break;
    default: return AVERROR(EINVAL);
    }
    if (target < 0)
        return AVERROR(EINVAL);
    io->pos = static_cast<std::uint64_t>(target);
    return target;
}

// The codecs of aviCodecs(): other decoders are never reached by a file's codec tag.
bool allowedCodec(AVCodecID id)
{
    const std::string_view name = avcodec_get_name(id);
    return std::ranges::any_of(aviCodecs(), [&](const AviCodec& codec) { return codec.codecName() == name; });
}

struct AvioDeleter {
    void operator()(AVIOContext* p) const
    {
        if (p) {
            av_freep(&p->buffer);
            avio_context_free(&p);
        }
    }
};
struct FormatDeleter {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

constexpr int kIoBufferBytes = 1 << 16;

// The demuxer and decoder of one video stream, yielding decoded frames in display order.
class VideoReader {
public:
    AviReadError open(ByteSource& source, int streamOrdinal, const AviReadLimits& limits)
    {
        m_io.source = &source;
        auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
        if (!buffer)
            return AviReadError::DecoderFailed;
        m_avio.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, &m_io, ioRead, nullptr, ioSeek));
        if (!m_avio) {
            av_free(buffer);
            return AviReadError::DecoderFailed;
        }
        AVFormatContext* fmt = avformat_alloc_context();
        if (!fmt)
            return AviReadError::DecoderFailed;
        fmt->pb = m_avio.get();
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        // The AVI demuxer only: a file is never probed, so no other demuxer sees these bytes.
        const AVInputFormat* avi = av_find_input_format("avi");
        if (!avi || avformat_open_input(&fmt, nullptr, avi, nullptr) < 0)
            return AviReadError::NotAvi;   // avformat_open_input frees fmt on failure
        m_format.reset(fmt);

        if (streamOrdinal >= static_cast<int>(fmt->nb_streams))
            return AviReadError::NoVideoStream;
        AVStream* stream = fmt->streams[streamOrdinal];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            return AviReadError::NoVideoStream;
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            fmt->streams[i]->discard = static_cast<int>(i) == streamOrdinal ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        m_stream = streamOrdinal;
        m_codedWidth = stream->codecpar->width;
        m_codedHeight = stream->codecpar->height;
        m_indexEntries = avformat_index_get_entries_count(stream);

        if (m_codedWidth <= 0 || m_codedHeight <= 0)
            return AviReadError::NoFrameSize;
        if (m_codedWidth > limits.maxFrameSide || m_codedHeight > limits.maxFrameSide ||
            std::uint64_t(m_codedWidth) * std::uint64_t(m_codedHeight) > limits.maxFramePixels)
            return AviReadError::FrameTooLarge;

        if (!allowedCodec(stream->codecpar->codec_id))
            return AviReadError::UnsupportedCodec;
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec)
            return AviReadError::UnsupportedCodec;
        m_codec.reset(avcodec_alloc_context3(codec));
        if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
            return AviReadError::DecoderFailed;
        // The decoder refuses frames beyond the pixel limit whatever the bitstream claims.
        m_codec->max_pixels = static_cast<std::int64_t>(limits.maxFramePixels);
        m_codec->thread_count = 1;
        if (avcodec_open2(m_codec.get(), codec, nullptr) < 0)
            return AviReadError::DecoderFailed;
        m_frame.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
        if (!m_frame || !m_packet)
            return AviReadError::DecoderFailed;
        return AviReadError::None;
    }

    AVStream* stream() const { return m_format->streams[m_stream]; }
    int codedWidth() const { return m_codedWidth; }
    int codedHeight() const { return m_codedHeight; }
    // Entries of FFmpeg's index (idx1 or OpenDML indx) for the stream: the frames the file
    // holds. 0 when the file has no index.
    int indexEntries() const { return m_indexEntries; }

    // The next decoded frame, or nullptr when there is none (end of data, a demuxer or a
    // decoder error).
    const AVFrame* next()
    {
        for (;;) {
            av_frame_unref(m_frame.get());
            const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
            if (received == 0)
                return m_frame.get();
            if (received != AVERROR(EAGAIN) || m_flushed)
                return nullptr;
            const int read = av_read_frame(m_format.get(), m_packet.get());
            if (read < 0) {
                // End of the data (or a read error): the decoder gives what it still holds.
                m_flushed = true;
                if (avcodec_send_packet(m_codec.get(), nullptr) < 0)
                    return nullptr;
                continue;
            }
            if (m_packet->stream_index != m_stream) {
                av_packet_unref(m_packet.get());
                continue;
            }
            const int sent = avcodec_send_packet(m_codec.get(), m_packet.get());
            av_packet_unref(m_packet.get());
            if (sent < 0)
                return nullptr;
        }
    }

private:
    IoState m_io{nullptr};
    std::unique_ptr<AVIOContext, AvioDeleter> m_avio;
    std::unique_ptr<AVFormatContext, FormatDeleter> m_format;
    std::unique_ptr<AVCodecContext, CodecDeleter> m_codec;
    std::unique_ptr<AVFrame, FrameDeleter> m_frame;
    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    int m_stream = -1;
    int m_codedWidth = 0, m_codedHeight = 0;
    int m_indexEntries = 0;
    bool m_flushed = false;
};

// Draws a decoded frame into the 32-bit frame, full frame to full frame, as the platform's
// DrawDibDraw does: a straight row copy when the decoded frame already is 32-bit blue, green,
// red and of the target's size, else FFmpeg's scaler (nearest pixel, which drops or repeats rows
// and columns). The fourth byte is never read as alpha: the frames are opaque.
class FrameDrawer {
public:
    bool draw(const AVFrame& decoded, const BgrxFrame& frame)
    {
        const int W = frame.width, H = frame.height;
        const auto format = static_cast<AVPixelFormat>(decoded.format);
        const std::size_t rowBytes = std::size_t(W) * 4;
        if ((format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0) && decoded.width == W && decoded.height == H &&
            decoded.data[0]) {
            // linesize is negative for bottom-up frames; FFmpeg points data[0] at the top row.
            for (int y = 0; y < H; ++y)
                std::memcpy(frame.pixels.data() + rowBytes * std::size_t(y),
                            decoded.data[0] + std::ptrdiff_t(y) * decoded.linesize[0], rowBytes);
            return true;
        }
        if (decoded.width <= 0 || decoded.height <= 0 || format == AV_PIX_FMT_NONE)
            return false;
        m_sws.reset(sws_getCachedContext(m_sws.release(), decoded.width, decoded.height, format, W, H,
                                         AV_PIX_FMT_BGR0, SWS_POINT, nullptr, nullptr, nullptr));
        if (!m_sws)
            return false;
        std::uint8_t* dst[4] = {frame.pixels.data(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {W * 4, 0, 0, 0};
        return sws_scale(m_sws.get(), decoded.data, decoded.linesize, 0, decoded.height, dst, dstStride) == H;
    }

private:
    std::unique_ptr<SwsContext, SwsDeleter> m_sws;
};

// Counts the whole chunks of stream `ordinal` ("NNdc" or "NNdb", NN its number in decimal) in
// the first movi list, reading only chunk headers and stopping after `limit`. For files
// without an index (a writer that never finished).
std::int64_t countFrameChunks(ByteSource& source, int ordinal, std::int64_t limit)
{
    const std::uint64_t size = source.size();
    const char tens = static_cast<char>('0' + ordinal / 10 % 10), ones = static_cast<char>('0' + ordinal % 10);
    std::uint8_t h[12];
    // Top level: RIFF "AVI " then chunks; find LIST "movi".
    std::uint64_t pos = 12, end = size, moviEnd = 0;
    while (pos + 12 <= end && source.readAt(pos, h, 12) == 12) {
        const std::uint64_t body = le32(h + 4);
        if (isTag(h, "LIST") && isTag(h + 8, "movi")) {
            moviEnd = std::min(size, pos + 8 + body);
            pos += 12;
            break;
        }
        pos += 8 + body + (body & 1);
    }
    std::int64_t count = 0;
    // Other chunks (JUNK, ix00, sound) may sit between frames; their number is bounded too, so
    // a file of a million empty chunks is not walked to its end.
    std::int64_t visits = 4 * limit + 4096;
    while (moviEnd && count < limit && visits-- > 0 && pos + 8 <= moviEnd && source.readAt(pos, h, 8) == 8) {
        const std::uint64_t body = le32(h + 4);
        if (isTag(h, "LIST")) {   // "rec " lists group a frame with its sound: step inside
            pos += 12;
            continue;
        }
        if (pos + 8 + body > moviEnd)
            break;   // a chunk cut off by the end of the file is no frame
        if (h[0] == tens && h[1] == ones && (h[2] == 'd' || h[2] == 'D') && (h[3] == 'c' || h[3] == 'b'))
            ++count;
        pos += 8 + body + (body & 1);
    }
    return count;
}

// Uncompressed 24- and 32-bit BI_RGB frames read straight from their chunks into the caller's
// frame, rows in blocks through one small buffer: the fade job's work AVI is written this way,
// and going through a demuxer packet and a decoder would copy every frame twice more into fresh
// memory. FFmpeg's index (idx1 or OpenDML indx) gives each frame's chunk; the chunk header is
// checked against the stream number and the frame's size before any row is read.
class RawFrameReader {
public:
    bool open(ByteSource& source, const VideoStreamHeader& h, const VideoReader& reader, int W, int H, std::int64_t n)
    {
        const std::int64_t height = h.biHeight < 0 ? -std::int64_t(h.biHeight) : std::int64_t(h.biHeight);
        if (reader.stream()->codecpar->codec_id != AV_CODEC_ID_RAWVIDEO || !h.hasFormat || h.biCompression != 0 ||
            (h.biBitCount != 24 && h.biBitCount != 32) || h.biWidth != W || height != H ||
            reader.codedWidth() != W || reader.codedHeight() != H || reader.indexEntries() < n)
            return false;
        m_source = &source;
        m_stream = reader.stream();
        m_ordinal = h.ordinal;
        m_bottomUp = h.biHeight > 0;
        m_bytesPerPixel = h.biBitCount / 8;
        m_stride = (std::uint64_t(W) * h.biBitCount + 31) / 32 * 4;   // rows padded to 4 bytes
        m_rowsPerBlock = static_cast<int>(std::clamp<std::uint64_t>((1u << 20) / m_stride, 1, std::uint64_t(H)));
        m_block.resize(static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(m_rowsPerBlock));
        return true;
    }

    // Frame `index` (0-based, in the index's order) into the 32-bit frame of the stream's size;
    // false when its chunk is not where the index says, is not this stream's, is too short or
    // cut off.
    bool read(int index, const BgrxFrame& frame)
    {
        const AVIndexEntry* entry = avformat_index_get_entry(m_stream, index);
        if (!entry || entry->pos < 0)
            return false;
        const int W = frame.width, H = frame.height;
        const std::uint64_t frameBytes = m_stride * std::uint64_t(H);
        std::uint8_t head[8];
        const auto pos = static_cast<std::uint64_t>(entry->pos);
        if (m_source->readAt(pos, head, 8) != 8 || head[0] != '0' + m_ordinal / 10 % 10 ||
            head[1] != '0' + m_ordinal % 10 || le32(head + 4) < frameBytes)
            return false;
        for (int row = 0; row < H; row += m_rowsPerBlock) {
            const int rows = std::min(m_rowsPerBlock, H - row);
            const std::size_t bytes = static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(rows);
            if (m_source->readAt(pos + 8 + m_stride * std::uint64_t(row), m_block.data(), bytes) != bytes)
                return false;
            for (int r = 0; r < rows; ++r) {
                const int y = m_bottomUp ? H - 1 - (row + r) : row + r;
                const std::uint8_t* src = m_block.data() + std::size_t(m_stride) * std::size_t(r);
                std::uint8_t* dst = frame.pixels.data() + std::size_t(W) * 4 * std::size_t(y);
                if (m_bytesPerPixel == 4) {
                    std::memcpy(dst, src, std::size_t(W) * 4);   // the fourth byte is never read
                } else {
                    for (int x = 0; x < W; ++x, src += 3, dst += 4) {
                        dst[0] = src[0];
                        dst[1] = src[1];
                        dst[2] = src[2];
                        dst[3] = 0;
                    }
                }
            }
        }
        return true;
    }

private:
    ByteSource* m_source = nullptr;
    AVStream* m_stream = nullptr;
    int m_ordinal = 0;
    bool m_bottomUp = true;
    int m_bytesPerPixel = 4;
    std::uint64_t m_stride = 0;
    int m_rowsPerBlock = 1;
    std::vector<std::uint8_t> m_block;
};

// The frame count to read: the header's dwLength (what the platform's AVIStreamLength answers),
// but never more than the frames the file holds: FFmpeg's index says how many, and a file
// without an index has its frame chunks counted.
std::int64_t frameCount(ByteSource& source, const VideoStreamHeader& header, const VideoReader& reader,
                        const AviReadLimits& limits)
{
    const std::int64_t n = header.length;
    if (n == 0)
        return 0;
    if (reader.indexEntries() > 0)
        return std::min<std::int64_t>(n, reader.indexEntries());
    return std::min<std::int64_t>(n, countFrameChunks(source, header.ordinal, limits.maxFrames + 1));
}

}  // namespace

struct AviReader::State {
    std::unique_ptr<ByteSource> source;
    VideoStreamHeader header;
    VideoReader reader;
    RawFrameReader raw;
    FrameDrawer drawer;
    AviStreamInfo info;
    bool opened = false;               // open answered None: frames may be read
    std::int64_t nextFrame = 0;        // frames read so far
    const AVFrame* held = nullptr;     // the decoded frame drawFrame puts in place

    AviReadError open(std::unique_ptr<ByteSource> from, const AviReadLimits& limits);
    AviReadError openStream(const AviReadLimits& limits);
    // A frame of the stream's size with room for its pixels (a stream with frames has W, H > 0).
    bool fits(const BgrxFrame& frame) const
    {
        return frame.width == info.width && frame.height == info.height && info.width > 0 &&
               frame.pixels.size() / 4 / std::size_t(info.width) >= std::size_t(info.height);
    }
};

AviReadError AviReader::State::open(std::unique_ptr<ByteSource> from, const AviReadLimits& limits)
{
    source = std::move(from);
    const AviReadError error = openStream(limits);
    opened = error == AviReadError::None;
    return error;
}

// The first video stream and its decoder, the frame count, the timing and the frame rectangle,
// checked against the limits before anything of the frames' size is made.
AviReadError AviReader::State::openStream(const AviReadLimits& limits)
{
    if (source->size() == 0)
        return AviReadError::NoFile;
    if (AviReadError e = readVideoStreamHeader(*source, limits, header); e != AviReadError::None)
        return e;
    if (header.rate == 0 || header.scale == 0)
        return AviReadError::BadFrameRate;
    info.rate = header.rate;
    info.scale = header.scale;
    info.start = header.start;
    if (AviReadError e = reader.open(*source, header.ordinal, limits); e != AviReadError::None)
        return e;

    // The frame rectangle's right and bottom edges; a stream header without one, or with an
    // empty one, gives the coded frame size.
    const std::int64_t n = frameCount(*source, header, reader, limits);
    int W = reader.codedWidth(), H = reader.codedHeight();
    if (header.hasRect && header.right > 0 && header.bottom > 0) {
        W = header.right;
        H = header.bottom;
    }
    info.frames = n;
    info.width = W;
    info.height = H;
    if (W > limits.maxFrameSide || H > limits.maxFrameSide ||
        std::uint64_t(W) * std::uint64_t(H) > limits.maxFramePixels)
        return AviReadError::FrameTooLarge;
    if (n > limits.maxFrames || std::uint64_t(n) * std::uint64_t(W) * std::uint64_t(H) > limits.maxTotalPixels)
        return AviReadError::OverLimit;
    // A stream without frames has nothing to time.
    if (n == 0)
        return AviReadError::None;
    info.delay = aviFrameDelay(header.start, n, header.scale, header.rate);
    info.direct = limits.directUncompressed && raw.open(*source, header, reader, W, H, n);
    return AviReadError::None;
}

AviReader::AviReader() : m(std::make_unique<State>()) {}
AviReader::~AviReader() = default;

AviReadError AviReader::open(const std::filesystem::path& path, const AviReadLimits& limits)
{
    m = std::make_unique<State>();
    auto file = std::make_unique<FileSource>(path);
    if (!file->ok())
        return AviReadError::NoFile;
    return m->open(std::move(file), limits);
}

AviReadError AviReader::open(std::span<const std::uint8_t> bytes, const AviReadLimits& limits)
{
    m = std::make_unique<State>();
    return m->open(std::make_unique<MemorySource>(bytes), limits);
}

const AviStreamInfo& AviReader::stream() const { return m->info; }

bool AviReader::readFrame(const BgrxFrame& frame)
{
    m->held = nullptr;
    if (!m->opened || m->nextFrame >= m->info.frames || !m->fits(frame))
        return false;
    const int index = static_cast<int>(m->nextFrame++);
    if (m->info.direct)
        return m->raw.read(index, frame);
    m->held = m->reader.next();
    return m->held != nullptr;
}

bool AviReader::drawFrame(const BgrxFrame& frame)
{
    if (!m->opened || !m->fits(frame))
        return false;
    if (m->info.direct)
        return true;   // read straight into the frame
    return m->held && m->drawer.draw(*m->held, frame);
}

}  // namespace vantorell
