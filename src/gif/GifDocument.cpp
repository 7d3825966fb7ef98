// GifDocument: the document's frame list and properties, and Save, which writes the GIF89a byte
// sequence (header, screen descriptor, global colour table, NETSCAPE2.0 loop extension, one
// graphic control extension and image per frame, trailer). The reader is in GifReader.cpp.
#include "gif/GifDocument.h"

#include "platform/Conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>
#include <utility>

namespace vantorell {

namespace {

[[noreturn]] void raiseSubscript() { throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range"); }

int checkedRange(int value, int low, int high)
{
    if (value < low || value > high)
        raiseOverflow();
    return value;
}

int checkedEntries(int entries)
{
    if (entries < 0 || entries > 256)
        raiseSubscript();
    return entries;
}

std::int32_t rgbEntry(const std::uint8_t* palette, int entry)
{
    if (entry < 0 || entry > 255)
        raiseSubscript();
    const std::uint8_t* bgr = palette + std::size_t(entry) * 4;   // blue, green, red, reserved
    return std::int32_t(bgr[2]) + 256 * std::int32_t(bgr[1]) + 65536 * std::int32_t(bgr[0]);
}

// A 16-bit number, little-endian.
void put16(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// A colour table of 2^bits red, green, blue triples: the palette's first `entries` entries,
// zero bytes for the rest.
void putColourTable(std::vector<std::uint8_t>& out, const std::uint8_t* palette, int entries, int bits)
{
    const int slots = 1 << bits;
    for (int i = 0; i < slots; ++i) {
        if (i < entries) {
            const std::uint8_t* bgr = palette + std::size_t(i) * 4;
            out.push_back(bgr[2]);
            out.push_back(bgr[1]);
            out.push_back(bgr[0]);
        } else {
            out.insert(out.end(), 3, 0);
        }
    }
}

// The writer's stream: a failure anywhere makes the whole save fail.
class OutFile {
public:
    explicit OutFile(const std::filesystem::path& path) : m_file(std::fopen(path.c_str(), "wb")) {}
    ~OutFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    bool write(const std::vector<std::uint8_t>& bytes)
    {
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
    }
    bool close()
    {
        const bool ok = std::fclose(m_file) == 0;
        m_file = nullptr;
        return ok;
    }

private:
    std::FILE* m_file;
};

// Removes a file (or a link) of that name, never a folder; errors are ignored.
void removeFile(const std::filesystem::path& path)
{
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_directory(status))
        std::filesystem::remove(path, error);
}

}  // namespace

GifDocument::GifDocument() = default;
GifDocument::~GifDocument() = default;

// ---- Frame list --------------------------------------------------------------------------------

GifDocument::Frame& GifDocument::frame(int frameNumber)
{
    if (frameNumber < 1 || frameNumber > framesCount())
        raiseSubscript();
    return *m_frames[std::size_t(frameNumber - 1)];
}

const GifDocument::Frame& GifDocument::frame(int frameNumber) const
{
    if (frameNumber < 1 || frameNumber > framesCount())
        raiseSubscript();
    return *m_frames[std::size_t(frameNumber - 1)];
}

void GifDocument::makeMaskSurface(Dib& mask, int width, int height)
{
    if (!mask.create(width, height, 1))
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    static const std::vector<std::uint8_t> kBlackWhite{0, 0, 0, 0, 255, 255, 255, 0};
    mask.setPalette(kBlackWhite);
}

void GifDocument::destroy()
{
    m_frames.clear();
    m_signature.clear();
    m_version.clear();
    m_screenWidth = 0;
    m_screenHeight = 0;
    m_background = 0;
    m_aspect = 0;
    m_globalPalette.fill(0);
    m_animationLoops = 0;
    m_globalSorted = false;
    m_globalEntries = 0;
}

void GifDocument::frameInsert(int frameNumber, int width, int height)
{
    if (frameNumber < 1)
        raiseSubscript();
    if (framesCount() >= kMaxFrames)
        raiseOverflow();   // FramesCount is a 16-bit signed number
    checkedRange(width, 0, 32767);
    checkedRange(height, 0, 32767);
    auto record = std::make_unique<Frame>();
    // New pixel memory is zero: the image is all index 0 and the mask all black, which is
    // what clearing them to colour 0 gives. A zero side leaves both surfaces empty.
    if (width > 0 && height > 0) {
        if (!record->image.create(width, height, 8))
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
        makeMaskSurface(record->mask, width, height);
    }
    if (frameNumber > framesCount())
        m_frames.push_back(std::move(record));
    else
        m_frames.insert(m_frames.begin() + (frameNumber - 1), std::move(record));
    if (framesCount() == 1) {
        m_screenWidth = width;
        m_screenHeight = height;
    }
}

void GifDocument::frameRemove(int frameNumber)
{
    frame(frameNumber);
    m_frames.erase(m_frames.begin() + (frameNumber - 1));
}

void GifDocument::frameMoveUp(int frameNumber)
{
    frame(frameNumber);
    frame(frameNumber - 1);
    std::swap(m_frames[std::size_t(frameNumber - 1)], m_frames[std::size_t(frameNumber - 2)]);
}

void GifDocument::frameMoveDown(int frameNumber)
{
    frame(frameNumber);
    frame(frameNumber + 1);
    std::swap(m_frames[std::size_t(frameNumber - 1)], m_frames[std::size_t(frameNumber)]);
}

void GifDocument::frameBuildMask(int frameNumber, int transparentIndex)
{
    Frame& record = frame(frameNumber);
    if (transparentIndex < 0 || transparentIndex > 255)
        raiseSubscript();
    if (!record.useTransparent) {
        record.mask.clear(0);
        record.image.setPalette(record.localPalette.data(), record.localPalette.size());
        return;
    }
    // Drawing the image with a palette that is white at the transparent index and black
    // elsewhere into the black-and-white mask gives 1 bits exactly where the image holds that
    // index; done here directly on the pixels.
    const Dib& image = record.image;
    Dib& mask = record.mask;
    if (!image.empty() && !mask.empty() && image.BPP() == 8) {
        const int width = std::min(image.width(), mask.width());
        const int height = std::min(image.height(), mask.height());
        const auto transparent = static_cast<std::uint8_t>(transparentIndex);
        std::fill_n(mask.bits(), mask.size(), 0);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* src = image.scanline(y);
            std::uint8_t* dst = mask.scanline(y);
            for (int x = 0; x < width; ++x)
                if (src[x] == transparent)
                    dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
    std::array<std::uint8_t, kPaletteBytes> display = record.localPalette;
    std::fill_n(display.begin() + transparentIndex * 4, 4, 0);
    record.image.setPalette(display.data(), display.size());
}

void GifDocument::frameDraw(const DibDC& target, int frameNumber, int left, int top, float scale, FrameClip clip)
{
    const Frame& record = frame(frameNumber);
    int srcWidth = record.image.width();
    int srcHeight = record.image.height();
    if (clip == FrameClip::Screen) {
        srcWidth = std::max(0, std::min(srcWidth, m_screenWidth - record.left));
        srcHeight = std::max(0, std::min(srcHeight, m_screenHeight - record.top));
    }
    // Nothing of the frame lies on the screen: draw nothing (a zero source size would
    // otherwise mean "the whole surface" to Stretch).
    if (srcWidth <= 0 || srcHeight <= 0)
        return;
    // Whole-number results are rounded to the nearest integer, ties to even (the default
    // rounding mode of nearbyint).
    const auto round = [](double v) { return static_cast<std::int32_t>(std::nearbyint(v)); };
    const std::int32_t x = round(double(left) + double(float(record.left) * scale));
    const std::int32_t y = round(double(top) + double(float(record.top) * scale));
    const std::int32_t width = round(double(srcWidth) * double(scale));
    const std::int32_t height = round(double(srcHeight) * double(scale));
    if (record.useTransparent) {
        record.mask.stretch(target, x, y, width, height, 0, 0, srcWidth, srcHeight, RasterOp::And);
        record.image.stretch(target, x, y, width, height, 0, 0, srcWidth, srcHeight, RasterOp::Or);
    } else {
        record.image.stretch(target, x, y, width, height, 0, 0, srcWidth, srcHeight, RasterOp::Copy);
    }
}

// ---- Properties --------------------------------------------------------------------------------

void GifDocument::setAnimationLoops(int loops) { m_animationLoops = checkedRange(loops, 0, 65535); }
void GifDocument::setScreenWidth(int width) { m_screenWidth = checkedRange(width, 0, 65535); }
void GifDocument::setScreenHeight(int height) { m_screenHeight = checkedRange(height, 0, 65535); }
void GifDocument::setScreenBackgroundColorIndex(int index) { m_background = checkedRange(index, 0, 255); }

float GifDocument::screenPixelAspectRatio() const { return (float(m_aspect) + 15.0f) / 64.0f; }

void GifDocument::setScreenPixelAspectRatio(float ratio)
{
    const float stored = std::nearbyint(ratio * 64.0f - 15.0f);
    if (!(stored >= 0.0f && stored <= 255.0f))
        raiseOverflow();
    m_aspect = static_cast<std::uint8_t>(stored);
}

std::int32_t GifDocument::globalPaletteRGBEntry(int entry) const { return rgbEntry(m_globalPalette.data(), entry); }
void GifDocument::setGlobalPaletteEntries(int entries) { m_globalEntries = checkedEntries(entries); }

Dib& GifDocument::frameImage(int frameNumber) { return frame(frameNumber).image; }
const Dib& GifDocument::frameImage(int frameNumber) const { return frame(frameNumber).image; }
Dib& GifDocument::frameMask(int frameNumber) { return frame(frameNumber).mask; }
const Dib& GifDocument::frameMask(int frameNumber) const { return frame(frameNumber).mask; }
int GifDocument::frameDelay(int frameNumber) const { return frame(frameNumber).delay; }
void GifDocument::setFrameDelay(int frameNumber, int delay)
{
    frame(frameNumber).delay = checkedRange(delay, 0, 65535);
}
bool GifDocument::frameInterlaced(int frameNumber) const { return frame(frameNumber).interlaced; }
void GifDocument::setFrameInterlaced(int frameNumber, bool interlaced) { frame(frameNumber).interlaced = interlaced; }
int GifDocument::frameLeft(int frameNumber) const { return frame(frameNumber).left; }
void GifDocument::setFrameLeft(int frameNumber, int left) { frame(frameNumber).left = checkedRange(left, 0, 65535); }
int GifDocument::frameTop(int frameNumber) const { return frame(frameNumber).top; }
void GifDocument::setFrameTop(int frameNumber, int top) { frame(frameNumber).top = checkedRange(top, 0, 65535); }
int GifDocument::frameDisposalMethod(int frameNumber) const { return frame(frameNumber).disposal; }
void GifDocument::setFrameDisposalMethod(int frameNumber, int method)
{
    frame(frameNumber).disposal = checkedRange(method, 0, 7);
}
bool GifDocument::frameUseTransparentColor(int frameNumber) const { return frame(frameNumber).useTransparent; }
void GifDocument::setFrameUseTransparentColor(int frameNumber, bool use) { frame(frameNumber).useTransparent = use; }
int GifDocument::frameTransparentColorIndex(int frameNumber) const { return frame(frameNumber).transparentIndex; }
void GifDocument::setFrameTransparentColorIndex(int frameNumber, int index)
{
    frame(frameNumber).transparentIndex = checkedRange(index, 0, 255);
}
bool GifDocument::frameUserInput(int frameNumber) const { return frame(frameNumber).userInput; }
void GifDocument::setFrameUserInput(int frameNumber, bool userInput) { frame(frameNumber).userInput = userInput; }
std::uint8_t* GifDocument::localPaletteData(int frameNumber) { return frame(frameNumber).localPalette.data(); }
const std::uint8_t* GifDocument::localPaletteData(int frameNumber) const
{
    return frame(frameNumber).localPalette.data();
}
std::int32_t GifDocument::localPaletteRGBEntry(int frameNumber, int entry) const
{
    return rgbEntry(frame(frameNumber).localPalette.data(), entry);
}
bool GifDocument::localPaletteUsed(int frameNumber) const { return frame(frameNumber).localUsed; }
void GifDocument::setLocalPaletteUsed(int frameNumber, bool used) { frame(frameNumber).localUsed = used; }
bool GifDocument::localPaletteSorted(int frameNumber) const { return frame(frameNumber).localSorted; }
void GifDocument::setLocalPaletteSorted(int frameNumber, bool sorted) { frame(frameNumber).localSorted = sorted; }
int GifDocument::localPaletteEntries(int frameNumber) const { return frame(frameNumber).localEntries; }
void GifDocument::setLocalPaletteEntries(int frameNumber, int entries)
{
    frame(frameNumber).localEntries = checkedEntries(entries);
}
GifError GifDocument::frameDecodeResult(int frameNumber) const { return frame(frameNumber).decodeResult; }

// ---- Save --------------------------------------------------------------------------------------

bool GifDocument::save(const std::filesystem::path& file, const StepProgress& progress)
{
    bool created = false;
    bool ok = false;
    try {
        removeFile(file);
        OutFile out(file);
        if (out.isOpen()) {
            created = true;
            ok = writeDocument([&](const std::vector<std::uint8_t>& bytes) { return out.write(bytes); }, progress) &&
                 out.close();
        }
    } catch (...) {
        // Every failure (a write error, a run-time error raised while yielding, no memory)
        // is the same false answer.
        ok = false;
    }
    // A partly written GIF would look like a result; leave nothing behind.
    if (!ok && created)
        removeFile(file);
    return ok;
}

bool GifDocument::writeDocument(const std::function<bool(const std::vector<std::uint8_t>&)>& write,
                                const StepProgress& progress)
{
    const int frames = framesCount();
    if (m_globalExists && m_globalEntries > 256)
        return false;
    const int globalBits = m_globalExists ? gifPaletteBits(m_globalEntries) : 0;

    std::vector<std::uint8_t> out;
    out.reserve(2048);
    out.insert(out.end(), {'G', 'I', 'F'});
    if (frames >= 1)
        out.insert(out.end(), {'8', '9', 'a'});
    else
        out.insert(out.end(), {'8', '7', 'a'});
    put16(out, m_screenWidth);
    put16(out, m_screenHeight);
    out.push_back(m_globalExists ? static_cast<std::uint8_t>(0x80 + (globalBits - 1) * 16 + (m_globalSorted ? 8 : 0) +
                                                            (globalBits - 1))
                                 : 0);
    out.push_back(static_cast<std::uint8_t>(m_background));
    out.push_back(m_aspect);
    if (m_globalExists)
        putColourTable(out, m_globalPalette.data(), m_globalEntries, globalBits);
    if (frames >= 1) {
        // NETSCAPE2.0 application extension: sub-block id 1, loop count (0 = for ever).
        out.insert(out.end(), {kGifExtensionIntroducer, kGifApplicationLabel, 0x0B});
        out.insert(out.end(), {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
        out.insert(out.end(), {0x03, 0x01});
        put16(out, m_animationLoops);
        out.push_back(0x00);
    }
    if (!write(out))
        return false;

    for (int i = 1; i <= frames; ++i) {
        if (!reportStep(progress, i, frames))
            return false;
        out.clear();
        if (!appendFrameBlock(*m_frames[std::size_t(i - 1)], globalBits, out) || !write(out))
            return false;
    }
    out.assign(1, kGifTrailer);
    return write(out);
}

bool GifDocument::appendFrameBlock(const Frame& record, int globalBits, std::vector<std::uint8_t>& out)
{
    const Dib& image = record.image;
    // The descriptor's sizes are 16-bit; frames keep to the 16-bit signed range of the document.
    if (image.width() > 32767 || image.height() > 32767)
        return false;
    if (record.localUsed && record.localEntries > 256)
        return false;
    const int localBits = record.localUsed ? gifPaletteBits(record.localEntries) : 0;
    const int paletteBits = record.localUsed ? localBits : globalBits;
    if (paletteBits == 0)
        return false;   // no local palette and no global one: nothing to index

    // Graphic control extension, also when the frame has no delay and no transparency.
    out.insert(out.end(), {kGifExtensionIntroducer, kGifGraphicControlLabel, 0x04});
    out.push_back(
        static_cast<std::uint8_t>(record.disposal * 4 + (record.userInput ? 2 : 0) + (record.useTransparent ? 1 : 0)));
    put16(out, record.delay);
    out.push_back(record.useTransparent ? static_cast<std::uint8_t>(record.transparentIndex) : 0);
    out.push_back(0x00);

    out.push_back(kGifImageSeparator);
    put16(out, record.left);
    put16(out, record.top);
    put16(out, image.width());
    put16(out, image.height());
    out.push_back(static_cast<std::uint8_t>((record.localUsed ? 0x80 : 0) + (record.interlaced ? 0x40 : 0) +
                                            (record.localSorted ? 0x20 : 0) + (paletteBits - 1)));
    if (record.localUsed)
        putColourTable(out, record.localPalette.data(), record.localEntries, localBits);

    const int minCodeSize = paletteBits < 2 ? 2 : paletteBits;
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    // Only 8-bit pixel memory is encoded; any other surface gives no data sub-blocks.
    if (image.BPP() == 8 && !image.empty()) {
        const IndexedPixels pixels{image.bits(), image.bytesPerScanline(), image.width(), image.height()};
        if (!m_encoder.encodeFrame(pixels, record.interlaced, minCodeSize + 1, out))
            return false;
    }
    out.push_back(0x00);
    return true;
}

}  // namespace vantorell
