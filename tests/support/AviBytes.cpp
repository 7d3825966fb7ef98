#include "support/AviBytes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vantorell::test {

namespace {

// Muxes the given packets into an AVI with one stream described by `par`.
bool muxAvi(const std::filesystem::path& path, const AVCodecParameters& par, AVRational timeBase,
            const std::vector<std::vector<std::uint8_t>>& packets)
{
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()) < 0 || !oc)
        return false;
    bool ok = false;
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (st && avcodec_parameters_copy(st->codecpar, &par) >= 0) {
        st->time_base = timeBase;
        if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0) {
            ok = avformat_write_header(oc, nullptr) >= 0;
            for (std::size_t i = 0; ok && i < packets.size(); ++i) {
                AVPacket* pkt = av_packet_alloc();
                ok = pkt && av_new_packet(pkt, int(packets[i].size())) >= 0;
                if (ok) {
                    if (!packets[i].empty())
                        std::memcpy(pkt->data, packets[i].data(), packets[i].size());
                    pkt->pts = pkt->dts = std::int64_t(i);
                    pkt->duration = 1;
                    pkt->stream_index = 0;
                    pkt->flags |= AV_PKT_FLAG_KEY;
                    ok = av_write_frame(oc, pkt) >= 0;
                }
                av_packet_free(&pkt);
            }
            ok = ok && av_write_trailer(oc) >= 0;
            avio_closep(&oc->pb);
        }
    }
    avformat_free_context(oc);
    return ok;
}

long findTag(const AviBytes& bytes, const char id[4], long from = 0)
{
    for (long i = from; i + 4 <= long(bytes.size()); ++i)
        if (std::memcmp(bytes.data() + i, id, 4) == 0)
            return i;
    return -1;
}

long strhBody(const AviBytes& bytes)
{
    for (long at = findTag(bytes, "strh"); at >= 0; at = findTag(bytes, "strh", at + 4))
        if (std::memcmp(bytes.data() + at + 8, "vids", 4) == 0)
            return at + 8;
    throw std::runtime_error("no video strh");
}

}  // namespace

RawFrame patternFrame(int width, int height, int seed)
{
    RawFrame f{width, height, std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height) * 4)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &f.bgrx[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4];
            p[0] = std::uint8_t(x * 31 + seed);
            p[1] = std::uint8_t(y * 41);
            p[2] = std::uint8_t(seed * 7);
            p[3] = std::uint8_t(17 * (x + y) + 3);
        }
    return f;
}

std::vector<RawFrame> patternFrames(int count, int width, int height)
{
    std::vector<RawFrame> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(patternFrame(width, height, 20 * i + 5));
    return frames;
}

RawFrame uniformFrame(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red)
{
    RawFrame f{width, height, {}};
    for (int i = 0; i < width * height; ++i)
        f.bgrx.insert(f.bgrx.end(), {blue, green, red, 0});
    return f;
}

AviBytes WriteRawAvi(const std::filesystem::path& path, const std::vector<RawFrame>& frames, int rate, int scale,
                     bool bottomUp)
{
    const int width = frames.empty() ? 8 : frames.front().width;
    const int height = frames.empty() ? 6 : frames.front().height;
    AVCodecParameters* par = avcodec_parameters_alloc();
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;   // BI_RGB
    par->width = width;
    par->height = height;
    par->bits_per_coded_sample = 32;
    par->format = AV_PIX_FMT_BGRA;
    if (bottomUp) {
        // FFmpeg's AVI muxer writes BI_RGB frames top-down (a negative biHeight) unless the
        // extradata end in "BottomUp", FFmpeg's mark for the classic bottom-up layout.
        static const char mark[] = "BottomUp";
        par->extradata = static_cast<std::uint8_t*>(av_mallocz(sizeof mark + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(par->extradata, mark, sizeof mark);
        par->extradata_size = int(sizeof mark);
    }
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const RawFrame& f = frames[i];
        std::vector<std::uint8_t> packet;
        const std::size_t row = std::size_t(f.width) * 4;
        for (int r = 0; r < f.height; ++r) {
            const int y = bottomUp ? f.height - 1 - r : r;
            packet.insert(packet.end(), f.bgrx.begin() + long(row * y), f.bgrx.begin() + long(row * (y + 1)));
        }
        packets.push_back(std::move(packet));
    }
    const bool ok = muxAvi(path, *par, AVRational{scale, rate}, packets);
    avcodec_parameters_free(&par);
    return ok ? LoadBytes(path) : AviBytes{};
}

AviBytes WriteAudioOnlyAvi(const std::filesystem::path& path)
{
    AVCodecParameters* par = avcodec_parameters_alloc();
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_PCM_S16LE;
    par->sample_rate = 8000;
    par->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&par->ch_layout, 1);
    par->bits_per_coded_sample = 16;
    par->block_align = 2;
    const std::vector<std::vector<std::uint8_t>> packets(3, std::vector<std::uint8_t>(160, 0x10));
    const bool ok = muxAvi(path, *par, AVRational{1, 8000}, packets);
    avcodec_parameters_free(&par);
    return ok ? LoadBytes(path) : AviBytes{};
}

void SaveBytes(const std::filesystem::path& path, const AviBytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

AviBytes LoadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return AviBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CutFramePacket(AviBytes& bytes, int index, std::uint32_t size)
{
    long at = findTag(bytes, "movi");
    for (int i = 0; at >= 0 && i <= index; ++i)
        at = findTag(bytes, "00dc", at + 4);   // FFmpeg's muxer names every video chunk "dc"
    if (at < 0)
        throw std::runtime_error("no such frame chunk");
    PutLe32(bytes, at + 4, size);
}

long ChunkBody(const AviBytes& bytes, const char id[4])
{
    const long at = findTag(bytes, id);
    return at < 0 ? -1 : at + 8;
}

void PutLe32(AviBytes& bytes, long offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(std::size_t(offset + i)) = std::uint8_t(value >> (8 * i));
}

void PutLe16(AviBytes& bytes, long offset, std::uint16_t value)
{
    bytes.at(std::size_t(offset)) = std::uint8_t(value);
    bytes.at(std::size_t(offset + 1)) = std::uint8_t(value >> 8);
}

void PatchRate(AviBytes& bytes, std::uint32_t rate) { PutLe32(bytes, strhBody(bytes) + 24, rate); }

void PatchLength(AviBytes& bytes, std::uint32_t length)
{
    PutLe32(bytes, strhBody(bytes) + 32, length);
    PutLe32(bytes, ChunkBody(bytes, "avih") + 16, length);
}

void PatchFrameRect(AviBytes& bytes, std::int16_t right, std::int16_t bottom)
{
    const long h = strhBody(bytes);
    PutLe16(bytes, h + 52, std::uint16_t(right));
    PutLe16(bytes, h + 54, std::uint16_t(bottom));
}

void PatchFrameSize(AviBytes& bytes, std::int32_t width, std::int32_t height)
{
    const long f = findTag(bytes, "strf", strhBody(bytes)) + 8;
    PutLe32(bytes, f + 4, std::uint32_t(width));
    PutLe32(bytes, f + 8, std::uint32_t(height));
}

}  // namespace vantorell::test
