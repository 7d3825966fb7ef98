// Small AVI files for import tests, written with FFmpeg's own AVI muxer, and the byte patches
// that turn a valid file into a damaged one (a zero rate, a lying frame count, a frame
// rectangle or frame size the data do not have).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vantorell::test {

using AviBytes = std::vector<std::uint8_t>;

// 32-bit top-down pixels, blue, green, red, fourth byte.
struct RawFrame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgrx;
};

// A frame whose pixel (x, y) is blue x * 31 + seed, green y * 41, red seed * 7, with a fourth
// byte that is not 0 or 255, so a reader that took it for alpha would blend or drop pixels.
RawFrame patternFrame(int width, int height, int seed);
// `count` pattern frames, seeds 5, 25, 45 ...
std::vector<RawFrame> patternFrames(int count, int width = 8, int height = 6);
// One colour everywhere, fourth byte 0.
RawFrame uniformFrame(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red);

// Writes an uncompressed 32-bit (BI_RGB) AVI, one packet per frame, top-down (the negative
// biHeight FFmpeg's muxer writes) or bottom-up (a positive biHeight, the classic layout). The
// stream's time base is scale / rate. Answers the file's bytes (empty on failure).
AviBytes WriteRawAvi(const std::filesystem::path& path, const std::vector<RawFrame>& frames, int rate, int scale = 1,
                     bool bottomUp = false);
// An AVI holding one PCM audio stream and no video.
AviBytes WriteAudioOnlyAvi(const std::filesystem::path& path);

void SaveBytes(const std::filesystem::path& path, const AviBytes& bytes);
AviBytes LoadBytes(const std::filesystem::path& path);

// Offset of the body of the first chunk with this id (after its 8-byte header); -1 if none.
long ChunkBody(const AviBytes& bytes, const char id[4]);
void PutLe32(AviBytes& bytes, long offset, std::uint32_t value);
void PutLe16(AviBytes& bytes, long offset, std::uint16_t value);

// Patches of the first video stream header (strh) and its format (strf).
void PatchRate(AviBytes& bytes, std::uint32_t rate);
void PatchLength(AviBytes& bytes, std::uint32_t length);              // strh dwLength and avih dwTotalFrames
void PatchFrameRect(AviBytes& bytes, std::int16_t right, std::int16_t bottom);
// Makes the chunk of frame `index` (0-based) declare `size` bytes: the demuxer returns a short
// packet and resynchronises on the next chunk.
void CutFramePacket(AviBytes& bytes, int index, std::uint32_t size);
void PatchFrameSize(AviBytes& bytes, std::int32_t width, std::int32_t height);   // strf biWidth, biHeight

}  // namespace vantorell::test
