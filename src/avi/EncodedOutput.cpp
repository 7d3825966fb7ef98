#include "avi/EncodedOutput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace vantorell {

int openOutputFile(AVFormatContext* oc, const char* path)
{
    struct stat status {};
    AVDictionary* options = nullptr;
    if (::stat(path, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0)
        av_dict_set(&options, "truncate", "0", 0);
    const int rc = avio_open2(&oc->pb, path, AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    return rc;
}

void QuietEncoderReports()
{
    if (av_log_get_level() > AV_LOG_ERROR)
        av_log_set_level(AV_LOG_ERROR);
}

EncodedOutput::~EncodedOutput()
{
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    if (oc) {
        if (oc->pb)
            avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
}

int EncodedOutput::drain()
{
    for (;;) {
        int rc = avcodec_receive_packet(encoder, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return 0;
        if (rc < 0)
            return rc;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(oc, packet);
        av_packet_unref(packet);
        if (rc < 0)
            return rc;
    }
}

// swscale's vector readers load a row's pixels a register at a time and may read up to a
// register's width past the row's end: past the picture's last byte, which faults where that
// byte ends a page and the next is not mapped (a 256 x 256 frame, exactly 48 pages, did).
constexpr std::size_t kSwscaleOverread = 256;

const std::uint8_t* EncodedOutput::readablePastTheEnd(const std::uint8_t* first, int linesize, int rows)
{
    const std::size_t stride = std::size_t(linesize < 0 ? -std::int64_t(linesize) : linesize);
    const std::size_t bytes = stride * std::size_t(rows);
    const std::uint8_t* lowest = linesize < 0 ? first - stride * std::size_t(rows - 1) : first;
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(lowest) + bytes;
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096);
    if (end % page != 0 && end % page <= page - kSwscaleOverread)
        return first;   // what it reads past the end lies in the picture's last page
    roomy.resize(bytes + kSwscaleOverread);
    std::memcpy(roomy.data(), lowest, bytes);
    return roomy.data() + (first - lowest);
}

int EncodedOutput::encode(const std::uint8_t* first, int linesize, int rows, std::int64_t index, bool keyFramesByGroup)
{
    int rc = av_frame_make_writable(frame);
    if (rc < 0)
        return rc;
    if (rows > 0)
        first = readablePastTheEnd(first, linesize, rows);
    const std::uint8_t* planes[4] = {first, nullptr, nullptr, nullptr};
    const int linesizes[4] = {linesize, 0, 0, 0};
    sws_scale(sws, planes, linesizes, 0, rows, frame->data, frame->linesize);
    frame->pts = index;
    if (keyFramesByGroup) {
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        if (encoder->gop_size <= 1 || index % encoder->gop_size == 0) {
            frame->pict_type = AV_PICTURE_TYPE_I;
            frame->key_frame = 1;
        }
    }
    rc = avcodec_send_frame(encoder, frame);
    if (rc < 0)
        return rc;
    return drain();
}

int EncodedOutput::finish()
{
    if (finished || !headerWritten)
        return 0;
    finished = true;
    int rc = 0;
    if (encoder) {
        rc = avcodec_send_frame(encoder, nullptr);
        if (rc >= 0)
            rc = drain();
    }
    const int trailer = av_write_trailer(oc);
    const int close = avio_closep(&oc->pb);
    if (rc < 0)
        return rc;
    if (trailer < 0)
        return trailer;
    return close < 0 ? close : 0;
}

}  // namespace vantorell
