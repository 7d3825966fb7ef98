#include "support/AviDecode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vantorell::test {

DecodedAvi DecodeAvi(const std::filesystem::path& file)
{
    DecodedAvi out;
    AVFormatContext* fc = nullptr;
    if (avformat_open_input(&fc, file.c_str(), nullptr, nullptr) != 0)
        return out;
    out.opened = avformat_find_stream_info(fc, nullptr) >= 0;
    out.container = fc->iformat->name;
    out.streams = fc->nb_streams;
    if (fc->nb_streams < 1) {
        avformat_close_input(&fc);
        return out;
    }
    AVStream* st = fc->streams[0];
    out.timeBaseNum = st->time_base.num;
    out.timeBaseDen = st->time_base.den;
    out.codec = avcodec_get_name(st->codecpar->codec_id);
    out.width = st->codecpar->width;
    out.height = st->codecpar->height;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, st->codecpar);
    if (!codec || avcodec_open2(dec, codec, nullptr) != 0) {
        out.opened = false;
        avcodec_free_context(&dec);
        avformat_close_input(&fc);
        return out;
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            std::vector<std::uint8_t> bgr(std::size_t(frame->width) * frame->height * 3);
            SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                             frame->height, AV_PIX_FMT_BGR24, SWS_POINT | SWS_ACCURATE_RND, nullptr,
                                             nullptr, nullptr);
            if (frame->colorspace == AVCOL_SPC_BT709) {   // as players read a tagged stream
                const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
                sws_setColorspaceDetails(sws, bt709, frame->color_range == AVCOL_RANGE_JPEG, bt709, 1, 0, 1 << 16, 1 << 16);
            }
            std::uint8_t* dst[4] = {bgr.data(), nullptr, nullptr, nullptr};
            int dstStride[4] = {frame->width * 3, 0, 0, 0};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            sws_freeContext(sws);
            out.frames.push_back(std::move(bgr));
        }
    };
    while (av_read_frame(fc, pkt) == 0) {
        out.key.push_back(pkt->flags & AV_PKT_FLAG_KEY);
        avcodec_send_packet(dec, pkt);
        av_packet_unref(pkt);
        receive();
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fc);
    return out;
}

}  // namespace vantorell::test
