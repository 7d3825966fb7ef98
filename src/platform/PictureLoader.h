// The platform's picture loader: decodes a picture file (JPEG, BMP, PNG, the first frame of a
// GIF, WebP, TIFF ... whatever Qt's image readers take) into a Picture. Every picture is checked
// against the limits of PictureLimits.h from its header, before any large allocation.
#pragma once

#include "platform/Picture.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace vantorell {

// What a caller can ask of the decoder beyond the plain picture.
struct DecodeRequest {
    // When both are above 0, a JPEG may be decoded at a reduced DCT scale (1/2, 1/4, 1/8) as
    // long as the result still covers coverWidth x coverHeight; the Picture then keeps the
    // file's own pixel size as its source size. Other formats decode at full size.
    int coverWidth = 0;
    int coverHeight = 0;
};

// The header facts of a picture, read without decoding its pixels.
struct PictureHeader {
    std::string format;      // Qt's format name: "jpeg", "bmp", "png", "gif", "webp" ...
    int width = 0;
    int height = 0;
    int jpegScans = 0;       // start-of-scan markers of a JPEG (1 for baseline)
    bool hasAlpha = false;   // the file keeps alpha (as Qt's reader tells from the header)
};

// Raises RuntimeError: errnum::FileNotFound "File not found" for a missing file,
// errnum::FileAccessError for a path that cannot be read (a folder, no permission),
// errnum::InvalidPicture "Invalid picture" for anything that does not decode, and
// errnum::InvalidPicture with a "too large" description for a picture beyond the limits.
Picture loadPicture(const std::filesystem::path& file, const DecodeRequest& request = {});
Picture loadPictureFromBytes(std::span<const std::uint8_t> bytes, const DecodeRequest& request = {});

// True when the file starts with a JPEG signature: it decodes through libjpeg alone, with no Qt
// (callers may then decode it on a thread of their own; Qt keeps per-thread data for a
// foreign thread that it never frees).
bool isJpegFile(const std::filesystem::path& file);

// Qt's image readers keep data for the thread they run on, which must outlive them: a program
// that loads pictures from worker threads (the window's job and preview) sets a runner that
// takes the call to one thread that lives as long as Qt (the window's) and waits for it.
// Empty (the default): the readers run on the calling thread. JPEGs never go through Qt.
using QtReaderThread = std::function<void(const std::function<void()>& call)>;
void setQtReaderThread(QtReaderThread runner);

// Reads and checks the header only (the same checks LoadPicture makes before decoding).
PictureHeader readPictureHeader(std::span<const std::uint8_t> bytes);

// The header of a picture file, read and checked as loadPicture reads it; nullopt for anything
// loadPicture would refuse (it then says why).
std::optional<PictureHeader> peekPictureHeader(const std::filesystem::path& file);

// An animated picture (an animated WebP; any other picture Qt's readers take is one frame) read
// one frame at a time: each frame the whole canvas as a viewer shows it, blue, green, red and
// alpha (not premultiplied), with its delay. Sizes are checked against PictureLimits.h.
class AnimationReader {
public:
    AnimationReader() = default;
    ~AnimationReader();
    AnimationReader(const AnimationReader&) = delete;
    AnimationReader& operator=(const AnimationReader&) = delete;

    // Raises RuntimeError as loadPicture does, and before anything is decoded for an animation
    // whose canvas times its frames claims more than maxPixelsInAll.
    void open(const std::filesystem::path& file, std::uint64_t maxPixelsInAll = UINT64_MAX);
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The next frame's rows (4 x width bytes each, valid until the next call) and its delay in
    // milliseconds. False past the last frame or where a frame does not decode.
    bool next(const std::uint8_t*& pixels, int& delayMs);
    // Back before the first frame (the file is opened again).
    void rewind();

private:
    void close();

    std::filesystem::path m_file;
    std::uint64_t m_maxPixelsInAll = UINT64_MAX;
    void* m_animation = nullptr;
    int m_width = 0, m_height = 0;
};

// Counts the start-of-scan markers of a JPEG by walking its marker segments and skipping the
// entropy-coded data between them; stops counting once the count passes stopAfter.
int countJpegScans(std::span<const std::uint8_t> bytes, int stopAfter);

}  // namespace vantorell
