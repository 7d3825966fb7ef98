#include "avi/AviWriter.h"

#include "avi/AviCodecs.h"
#include "avi/EncodedOutput.h"

#include "platform/RuntimeError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

namespace vantorell {

namespace {

// The table lives beside the writer, whose compressor dialog lists its first rows.
constexpr AviCodec kCodecs[] = {
    {"uncompressed", "rawvideo", "Full Frames (Uncompressed)", true, false},
    {"mjpeg", "mjpeg", "Motion JPEG", true, true},
    {"mpeg4", "mpeg4", "MPEG-4 Part 2", false, true},
    {"ffv1", "ffv1", "FFV1 (lossless)", true, false},
    {"huffyuv", "huffyuv", "HuffYUV (lossless)", true, false},
    {"h264", "libx264", "H.264", false, true},
};

const AviCodec* findOffer(std::string_view name)
{
    for (const AviCodec& codec : kCodecs)
        if (name == codec.name)
            return &codec;
    return nullptr;
}

bool aviCarries(const AVCodec* codec)
{
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    return avi && avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) == 1;
}

// The pixel formats to try per encoder, best first: lossless RGB where the encoder has it.
std::vector<AVPixelFormat> preferredFormats(const AviCodec& offer, const BitmapInfoHeader& format)
{
    const std::string_view name = offer.name;
    const bool evenSize = format.width % 2 == 0 && format.height % 2 == 0;
    if (name == "uncompressed") {
        if (format.bitCount == 32)
            return {AV_PIX_FMT_BGRA};
        if (format.bitCount == 16)
            return {AV_PIX_FMT_RGB555LE};
        return {AV_PIX_FMT_BGR24};
    }
    if (name == "mjpeg")
        return {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P};
    if (name == "mpeg4")
        return {AV_PIX_FMT_YUV420P};
    if (name == "ffv1")
        return {AV_PIX_FMT_BGR0, AV_PIX_FMT_GBRP};
    if (name == "huffyuv")
        return {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA};
    if (name == "h264")
        return evenSize ? std::vector{AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV444P} : std::vector{AV_PIX_FMT_YUV444P};
    return {};
}

AVPixelFormat pickFormat(const AVCodec* codec, const std::vector<AVPixelFormat>& wanted)
{
    if (!codec->pix_fmts)
        return wanted.empty() ? AV_PIX_FMT_NONE : wanted.front();
    for (AVPixelFormat want : wanted)
        for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (*f == want)
                return want;
    return codec->pix_fmts[0];
}

std::size_t rowBytes(const BitmapInfoHeader& format)
{
    return (std::size_t(format.width) * std::size_t(format.bitCount) + 31) / 32 * 4;
}

std::size_t absHeight(const BitmapInfoHeader& format)
{
    return std::size_t(format.height < 0 ? -std::int64_t(format.height) : std::int64_t(format.height));
}

}  // namespace

std::span<const AviCodec> aviCodecs() { return kCodecs; }

int aviDefaultKeyFrameEvery(int streamRate) { return 2 * std::max(1, streamRate); }

std::vector<CompressorOption> aviCompressors(int framesPerSecond)
{
    const int keyFrames = aviDefaultKeyFrameEvery(aviStreamRate(framesPerSecond));
    std::vector<CompressorOption> offered;
    for (const AviCodec& offer : kCodecs) {
        const AVCodec* codec = avcodec_find_encoder_by_name(offer.encoder);
        if (!codec || !aviCarries(codec))
            continue;
        offered.push_back(
            {offer.name, offer.description, !offer.intraOnly, offer.lossy, offer.lossy, offer.intraOnly ? 1 : keyFrames});
    }
    return offered;
}

int aviStreamRate(int framesPerSecond) { return std::clamp(framesPerSecond, 1, 30); }

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
    // The stream time of start + n frames in whole milliseconds, truncated; 128-bit so that no
    // rate overflows.
    const __int128 wide = static_cast<__int128>(std::max<std::int64_t>(start + n, 0)) * 1000 * scale / rate;
    const std::int64_t T = wide > std::numeric_limits<std::int64_t>::max() / 2
                               ? std::numeric_limits<std::int64_t>::max() / 2
                               : static_cast<std::int64_t>(wide);
    const std::int64_t t = divideHalfEven(T, n);
    const std::int64_t delay = divideHalfEven(t, 10);
    return static_cast<int>(std::min<std::int64_t>(delay, 65535));
}

std::string aviErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct AviStreamWriter::State : EncodedOutput {
    std::filesystem::path path;
    BitmapInfoHeader format;
    std::vector<std::uint8_t> palette;     // BGRX entries for 1, 4 and 8 bits per pixel
    std::vector<std::uint8_t> scratch;     // a frame padded or expanded to 24 bits
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
    int rate = 1;
    bool direct = false;                   // 24-bit frames to uncompressed: packets without an encoder
};

AviStreamWriter::AviStreamWriter() : m(std::make_unique<State>()) {}

AviStreamWriter::~AviStreamWriter()
{
    if (m->headerWritten && !m->finished) {
        finish();
    } else if (m->oc && !m->headerWritten) {
        // Nothing but an empty file was made: do not leave it looking like a video.
        avio_closep(&m->oc->pb);
        std::error_code ec;
        std::filesystem::remove(m->path, ec);
    }
}

int AviStreamWriter::open(const std::filesystem::path& path)
{
    m->path = path;
    int rc = avformat_alloc_output_context2(&m->oc, nullptr, "avi", path.c_str());
    if (rc < 0)
        return rc;
    rc = openOutputFile(m->oc, path.c_str());
    return rc < 0 ? rc : 0;
}

int AviStreamWriter::createStream(const BitmapInfoHeader& format, std::span<const std::uint8_t> bitmapInfo, int rate)
{
    if (!m->oc)
        return AVERROR(EINVAL);
    const bool uncompressed = format.compression == 0 || format.compression == 3;
    if (!uncompressed || format.width <= 0 || format.height == 0)
        return AVERROR(EINVAL);
    switch (format.bitCount) {
    case 32: m->sourceFormat = AV_PIX_FMT_BGR0; break;
    case 24: m->sourceFormat = AV_PIX_FMT_BGR24; break;
    case 16: m->sourceFormat = AV_PIX_FMT_RGB555LE; break;
    case 8: case 4: case 1: m->sourceFormat = AV_PIX_FMT_BGR24; break;
    default: return AVERROR(EINVAL);
    }
    if (format.bitCount <= 8) {
        // The colour table follows the information header in the bitmap info bytes.
        const std::size_t entries = std::size_t(1) << format.bitCount;
        m->palette.assign(entries * 4, 0);
        const std::size_t headerSize = std::size_t(std::max<std::int32_t>(format.size, 40));
        if (bitmapInfo.size() > headerSize)
            std::memcpy(m->palette.data(), bitmapInfo.data() + headerSize,
                        std::min(m->palette.size(), bitmapInfo.size() - headerSize));
    }
    m->format = format;
    m->rate = rate;
    m->stream = avformat_new_stream(m->oc, nullptr);
    if (!m->stream)
        return AVERROR(ENOMEM);
    m->stream->time_base = {1, rate};
    m->stream->avg_frame_rate = {rate, 1};
    m->stream->r_frame_rate = {rate, 1};
    return 0;
}

namespace {

// The stream parameters of uncompressed 24-bit frames: BI_RGB rows, which FFmpeg's AVI muxer
// stores top-down with rows padded to 4 bytes.
void setRawBgr24(AVCodecParameters* par, const BitmapInfoHeader& format)
{
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;
    par->format = AV_PIX_FMT_BGR24;
    par->width = format.width;
    par->height = int(absHeight(format));
    par->bits_per_coded_sample = 24;
}

}  // namespace

int AviStreamWriter::writeEmpty()
{
    if (!m->stream)
        return AVERROR(EINVAL);
    setRawBgr24(m->stream->codecpar, m->format);
    const int rc = avformat_write_header(m->oc, nullptr);
    if (rc < 0)
        return rc;
    m->headerWritten = true;
    return 0;
}

int AviStreamWriter::makeCompressed(const CompressorChoice& choice)
{
    if (!m->stream)
        return AVERROR(EINVAL);
    const AviCodec* offer = findOffer(choice.name);
    if (!offer)
        return AVERROR_ENCODER_NOT_FOUND;
    const AVCodec* codec = avcodec_find_encoder_by_name(offer->encoder);
    QuietEncoderReports();
    if (!codec)
        return AVERROR_ENCODER_NOT_FOUND;
    if (std::string_view(offer->name) == "uncompressed" && m->format.bitCount == 24) {
        // The frame's rows are already the stream's samples: only their order may change.
        setRawBgr24(m->stream->codecpar, m->format);
        m->packet = av_packet_alloc();
        if (!m->packet)
            return AVERROR(ENOMEM);
        const int rc = avformat_write_header(m->oc, nullptr);
        if (rc < 0)
            return rc;
        m->direct = true;
        m->headerWritten = true;
        return 0;
    }
    m->encoder = avcodec_alloc_context3(codec);
    if (!m->encoder)
        return AVERROR(ENOMEM);
    AVCodecContext* enc = m->encoder;
    enc->width = m->format.width;
    enc->height = int(absHeight(m->format));
    enc->pix_fmt = pickFormat(codec, preferredFormats(*offer, m->format));
    enc->time_base = {1, m->rate};
    enc->framerate = {m->rate, 1};
    enc->gop_size = offer->intraOnly ? 1
                    : choice.keyFrameEvery > 0 ? choice.keyFrameEvery
                                               : aviDefaultKeyFrameEvery(m->rate);
    enc->max_b_frames = 0;   // AVI keeps one frame per sample, in order
    if (enc->pix_fmt == AV_PIX_FMT_YUVJ420P)
        enc->color_range = AVCOL_RANGE_JPEG;
    if (offer->lossy) {
        if (choice.dataRateKbps > 0) {
            enc->bit_rate = std::int64_t(choice.dataRateKbps) * 1000;
        } else if (std::string_view(offer->name) == "h264") {
            const int quality = choice.quality >= 0 ? std::clamp(choice.quality, 0, 100) : 80;
            av_opt_set_int(enc->priv_data, "crf", 51 - quality * 51 / 100, 0);
        } else {
            // A fixed quantiser: 2 (best) ... 31; the default 3 is near transparent.
            const int q = choice.quality >= 0 ? 2 + (100 - std::clamp(choice.quality, 0, 100)) * 29 / 100 : 3;
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = FF_QP2LAMBDA * q;
        }
    }
    if (m->oc->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(enc, codec, nullptr);
    if (rc < 0)
        return rc;
    rc = avcodec_parameters_from_context(m->stream->codecpar, enc);
    if (rc < 0)
        return rc;
    m->frame = av_frame_alloc();
    m->packet = av_packet_alloc();
    if (!m->frame || !m->packet)
        return AVERROR(ENOMEM);
    m->frame->format = enc->pix_fmt;
    m->frame->width = enc->width;
    m->frame->height = enc->height;
    rc = av_frame_get_buffer(m->frame, 0);
    if (rc < 0)
        return rc;
    m->sws = sws_getContext(enc->width, enc->height, m->sourceFormat, enc->width, enc->height, enc->pix_fmt,
                            SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!m->sws)
        return AVERROR(EINVAL);
    rc = avformat_write_header(m->oc, nullptr);
    if (rc < 0)
        return rc;
    m->headerWritten = true;
    return 0;
}

int AviStreamWriter::writeFrame(std::span<const std::uint8_t> bits, std::int64_t index)
{
    if (!m->headerWritten || m->finished || (!m->encoder && !m->direct))
        return AVERROR(EINVAL);
    const BitmapInfoHeader& format = m->format;
    const std::size_t height = absHeight(format);
    const std::size_t stride = rowBytes(format);
    const std::size_t needed = stride * height;
    if (m->direct) {
        // Top-down rows padded to 4 bytes, as the muxer stores BI_RGB; missing bytes are black.
        const std::uint8_t* top = bits.data();
        if (format.height > 0 || bits.size() < needed) {
            m->scratch.resize(needed);
            for (std::size_t y = 0; y < height; ++y) {
                const std::size_t from = (format.height > 0 ? height - 1 - y : y) * stride;
                const std::size_t have = from < bits.size() ? std::min(stride, bits.size() - from) : 0;
                std::uint8_t* to = m->scratch.data() + y * stride;
                if (have)
                    std::memcpy(to, bits.data() + from, have);
                std::memset(to + have, 0, stride - have);
            }
            top = m->scratch.data();
        }
        AVPacket* pkt = m->packet;
        av_packet_unref(pkt);
        pkt->data = const_cast<std::uint8_t*>(top);
        pkt->size = int(needed);
        pkt->pts = pkt->dts = av_rescale_q(index, AVRational{1, m->rate}, m->stream->time_base);
        pkt->duration = av_rescale_q(1, AVRational{1, m->rate}, m->stream->time_base);
        pkt->flags = AV_PKT_FLAG_KEY;
        pkt->stream_index = m->stream->index;
        const int rc = av_write_frame(m->oc, pkt);
        pkt->data = nullptr;
        pkt->size = 0;
        return rc;
    }
    const std::uint8_t* source = bits.data();
    std::size_t sourceStride = stride;
    if (format.bitCount <= 8) {
        // Expand palette indices to 24 bits, row by row; missing bytes read as index 0.
        sourceStride = std::size_t(format.width) * 3;
        m->scratch.assign(sourceStride * height, 0);
        const unsigned bpp = unsigned(format.bitCount), mask = (1u << bpp) - 1;
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < std::size_t(format.width); ++x) {
                const std::size_t bit = x * bpp, at = y * stride + bit / 8;
                const unsigned byte = at < bits.size() ? bits[at] : 0;
                const unsigned indexValue = (byte >> (8 - bpp - bit % 8)) & mask;
                std::memcpy(&m->scratch[y * sourceStride + x * 3], &m->palette[indexValue * 4], 3);
            }
        }
        source = m->scratch.data();
    } else if (bits.size() < needed) {
        // A later frame of another size: its bytes as they come, the rest black.
        m->scratch.assign(needed, 0);
        std::memcpy(m->scratch.data(), bits.data(), bits.size());
        source = m->scratch.data();
    }
    // Bitmap rows run bottom to top unless the height is negative.
    const std::uint8_t* first = source;
    int linesize = int(sourceStride);
    if (format.height > 0) {
        first = source + sourceStride * (height - 1);
        linesize = -linesize;
    }
    return m->encode(first, linesize, int(height), index, true);
}

int AviStreamWriter::finish() { return m->finish(); }

}  // namespace vantorell
