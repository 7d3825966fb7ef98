#include "avi/VideoFile.h"

#include "avi/EncodedOutput.h"
#include "avi/WebpIccChunk.h"
#include "colour/ColourSpaces.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

namespace vantorell {

namespace {

constexpr VideoFormatInfo kFormats[] = {
    {VideoFormat::Mp4, "mp4", "mp4", "libx264", "mp4", "MP4 video (H.264)"},
    {VideoFormat::Webm, "webm", "webm", "libvpx-vp9", "webm", "WebM video (VP9)"},
    {VideoFormat::Webp, "webp", "webp", "libwebp_anim", "webp", "Animated WebP"},
    {VideoFormat::Apng, "apng", "png", "apng", "apng", "Animated PNG (lossless)"},
};

bool evenSides(VideoFormat format) { return format == VideoFormat::Mp4 || format == VideoFormat::Webm; }

AVPixelFormat encoderFormat(VideoFormat format)
{
    switch (format) {
    case VideoFormat::Mp4:
    case VideoFormat::Webm: return AV_PIX_FMT_YUV420P;
    case VideoFormat::Webp: return AV_PIX_FMT_BGRA;
    case VideoFormat::Apng: return AV_PIX_FMT_RGB24;
    }
    return AV_PIX_FMT_NONE;
}

// The frames reach the encoder in sRGB (the job brings animations' pictures into sRGB): BT.709
// primaries with sRGB's transfer (IEC 61966-2-1), and for YUV the BT.709 matrix in limited
// range. The MP4 and WebM muxers write these tags, the APNG encoder an sRGB chunk; FFmpeg's
// animated WebP writer has no place for colour, so a WebP result gets an sRGB profile after it
// is finished (addWebpIccProfile).
void tagSrgb(AVCodecContext* enc)
{
    enc->color_primaries = AVCOL_PRI_BT709;
    enc->color_trc = AVCOL_TRC_IEC61966_2_1;
    if (enc->pix_fmt == AV_PIX_FMT_YUV420P) {
        enc->colorspace = AVCOL_SPC_BT709;
        enc->color_range = AVCOL_RANGE_MPEG;
    }
}

}  // namespace

std::span<const VideoFormatInfo> videoFormats() { return kFormats; }

const VideoFormatInfo& videoFormatInfo(VideoFormat format)
{
    for (const VideoFormatInfo& info : kFormats)
        if (info.format == format)
            return info;
    return kFormats[0];
}

bool videoFormatAvailable(VideoFormat format)
{
    const VideoFormatInfo& info = videoFormatInfo(format);
    return avcodec_find_encoder_by_name(info.encoder) && av_guess_format(info.muxer, nullptr, nullptr);
}

FrameLayout videoCodedSize(VideoFormat format, FrameLayout layout)
{
    if (evenSides(format))
        return {(layout.width + 1) & ~1, (layout.height + 1) & ~1};
    return layout;
}

struct VideoFile::State : EncodedOutput {
    std::filesystem::path path;
    VideoFormat format = VideoFormat::Mp4;
    FrameLayout layout;   // the frames as they come
    FrameLayout coded;    // the encoder's size
    std::vector<std::uint8_t> padded;   // a frame of odd size with its black column or row
};

VideoFile::VideoFile() : m(std::make_unique<State>()) {}

VideoFile::~VideoFile()
{
    if (m->headerWritten && !m->finished)
        finish();
}

int VideoFile::open(const std::filesystem::path& path, VideoFormat format, FrameLayout layout, int rate, int quality)
{
    if (m->oc || layout.width <= 0 || layout.height <= 0 || rate <= 0)
        return AVERROR(EINVAL);
    const VideoFormatInfo& info = videoFormatInfo(format);
    const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
    if (!codec)
        return AVERROR_ENCODER_NOT_FOUND;
    QuietEncoderReports();
    m->path = path;
    m->format = format;
    m->layout = layout;
    m->coded = videoCodedSize(format, layout);
    int rc = avformat_alloc_output_context2(&m->oc, nullptr, info.muxer, path.c_str());
    if (rc < 0)
        return rc;
    m->stream = avformat_new_stream(m->oc, nullptr);
    m->encoder = avcodec_alloc_context3(codec);
    m->frame = av_frame_alloc();
    m->packet = av_packet_alloc();
    if (!m->stream || !m->encoder || !m->frame || !m->packet)
        return AVERROR(ENOMEM);
    AVCodecContext* enc = m->encoder;
    enc->width = m->coded.width;
    enc->height = m->coded.height;
    enc->pix_fmt = encoderFormat(format);
    enc->time_base = {1, rate};
    enc->framerate = {rate, 1};
    enc->sample_aspect_ratio = {1, 1};
    enc->thread_count = 0;   // as many as the encoder likes
    const bool given = quality >= 0;
    const int q = std::clamp(quality, 0, 100);
    switch (format) {
    case VideoFormat::Mp4:
        av_opt_set_int(enc->priv_data, "crf", given ? 51 - q * 51 / 100 : 23, 0);
        break;
    case VideoFormat::Webm:
        enc->bit_rate = 0;
        av_opt_set_int(enc->priv_data, "crf", given ? 63 - q * 63 / 100 : 31, 0);
        // libvpx's own speed (cpu-used 1, one row at a time) takes seconds per 1080p frame;
        // speed 4 with row threads is several times faster at nearly the same size.
        av_opt_set_int(enc->priv_data, "cpu-used", 4, 0);
        av_opt_set_int(enc->priv_data, "row-mt", 1, 0);
        break;
    case VideoFormat::Webp:
        if (given && q == 100)
            av_opt_set_int(enc->priv_data, "lossless", 1, 0);
        else
            av_opt_set_double(enc->priv_data, "quality", given ? q : 75, 0);
        break;
    case VideoFormat::Apng:
        break;
    }
    tagSrgb(enc);
    if (m->oc->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(enc, codec, nullptr);
    if (rc < 0)
        return rc;
    rc = avcodec_parameters_from_context(m->stream->codecpar, enc);
    if (rc < 0)
        return rc;
    m->stream->time_base = enc->time_base;
    m->stream->avg_frame_rate = {rate, 1};
    m->frame->format = enc->pix_fmt;
    m->frame->width = enc->width;
    m->frame->height = enc->height;
    m->frame->color_primaries = enc->color_primaries;   // the APNG encoder's sRGB chunk reads them here
    m->frame->color_trc = enc->color_trc;
    m->frame->colorspace = enc->colorspace;
    m->frame->color_range = enc->color_range;
    rc = av_frame_get_buffer(m->frame, 0);
    if (rc < 0)
        return rc;
    m->sws = sws_getContext(enc->width, enc->height, AV_PIX_FMT_BGR24, enc->width, enc->height, enc->pix_fmt,
                            SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!m->sws)
        return AVERROR(EINVAL);
    if (enc->colorspace == AVCOL_SPC_BT709) {
        // The luma and chroma numbers made with the BT.709 matrix the stream is tagged with
        // (swscale's own default is BT.601); full-range RGB in, limited-range YUV out.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(m->sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    rc = openOutputFile(m->oc, path.c_str());
    if (rc < 0)
        return rc;
    AVDictionary* options = nullptr;
    if (format == VideoFormat::Mp4)
        av_dict_set(&options, "movflags", "+faststart", 0);
    if (format == VideoFormat::Webp)
        av_dict_set(&options, "loop", "0", 0);
    if (format == VideoFormat::Apng)
        av_dict_set(&options, "plays", "0", 0);
    rc = avformat_write_header(m->oc, &options);
    av_dict_free(&options);
    if (rc < 0)
        return rc;
    m->headerWritten = true;
    return 0;
}

int VideoFile::writeFrame(std::span<const std::uint8_t> frame, std::int64_t index)
{
    if (!m->headerWritten || m->finished || frame.size() < m->layout.bytes())
        return AVERROR(EINVAL);
    const std::uint8_t* source = frame.data();
    std::size_t stride = m->layout.stride();
    if (m->coded.width != m->layout.width || m->coded.height != m->layout.height) {
        // The black column and row that make the sides even.
        const std::size_t codedStride = m->coded.stride();
        m->padded.assign(codedStride * std::size_t(m->coded.height), 0);
        for (int y = 0; y < m->layout.height; ++y)
            std::memcpy(&m->padded[std::size_t(y) * codedStride], source + std::size_t(y) * stride,
                        std::size_t(m->layout.width) * 3);
        source = m->padded.data();
        stride = codedStride;
    }
    return m->encode(source, int(stride), m->coded.height, index, false);
}

int VideoFile::finish()
{
    const bool wasOpen = m->headerWritten && !m->finished;
    const int rc = m->finish();
    if (rc < 0 || !wasOpen || m->format != VideoFormat::Webp)
        return rc;
    const int error = addWebpIccProfile(m->path, *srgbIccProfile());
    return error != 0 ? AVERROR(error) : rc;
}

}  // namespace vantorell
