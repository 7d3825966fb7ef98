// GifDocument: the document's frame list and properties, and Save, which writes the GIF89a byte
// sequence (header, screen descriptor, global colour table, NETSCAPE2.0 loop extension, one
// graphic control extension and image per frame, trailer). The reader is in GifReader.cpp.
#include "gif/GifDocument.h"

#include "platform/Controls.h"
#include "platform/Conversions.h"
#include "platform/UiPort.h"

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

std::int32_t rgbEntry(const std::uint8_t* palette, int nEntry)
{
    if (nEntry < 0 || nEntry > 255)
        raiseSubscript();
    const std::uint8_t* e = palette + std::size_t(nEntry) * 4;   // blue, green, red, reserved
    return std::int32_t(e[2]) + 256 * std::int32_t(e[1]) + 65536 * std::int32_t(e[0]);
}

void put16(std::vector<std::uint8_t>& out, int v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

// A colour table of 2^bits red, green, blue triples: the palette's first `entries` entries,
// zero bytes for the rest.
void putColourTable(std::vector<std::uint8_t>& out, const std::uint8_t* palette, int entries, int bits)
{
    const int slots = 1 << bits;
    for (int i = 0; i < slots; ++i) {
        if (i < entries) {
            const std::uint8_t* e = palette + std::size_t(i) * 4;
            out.push_back(e[2]);
            out.push_back(e[1]);
            out.push_back(e[0]);
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

GifDocument::Frame& GifDocument::frame(int nFrame)
{
    if (nFrame < 1 || nFrame > FramesCount())
        raiseSubscript();
    return *m_frames[std::size_t(nFrame - 1)];
}

const GifDocument::Frame& GifDocument::frame(int nFrame) const
{
    if (nFrame < 1 || nFrame > FramesCount())
        raiseSubscript();
    return *m_frames[std::size_t(nFrame - 1)];
}

void GifDocument::makeMaskSurface(Dib& mask, int width, int height)
{
    if (!mask.Create(width, height, 1))
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");
    static const std::vector<std::uint8_t> kBlackWhite{0, 0, 0, 0, 255, 255, 255, 0};
    mask.SetPalette(kBlackWhite);
}

void GifDocument::Destroy()
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

void GifDocument::FrameInsert(int nFrame, int Width, int Height)
{
    if (nFrame < 1)
        raiseSubscript();
    if (FramesCount() >= kMaxFrames)
        raiseOverflow();   // FramesCount is a 16-bit signed number
    checkedRange(Width, 0, 32767);
    checkedRange(Height, 0, 32767);
    auto record = std::make_unique<Frame>();
    // New pixel memory is zero: the image is all index 0 and the mask all black, which is
    // what clearing them to colour 0 gives. A zero side leaves both surfaces empty.
    if (Width > 0 && Height > 0) {
        if (!record->xorImage.Create(Width, Height, 8))
            throw RuntimeError(errnum::OutOfMemory, "Out of memory");
        makeMaskSurface(record->andMask, Width, Height);
    }
    if (nFrame > FramesCount())
        m_frames.push_back(std::move(record));
    else
        m_frames.insert(m_frames.begin() + (nFrame - 1), std::move(record));
    if (FramesCount() == 1) {
        m_screenWidth = Width;
        m_screenHeight = Height;
    }
}

void GifDocument::FrameRemove(int nFrame)
{
    frame(nFrame);
    m_frames.erase(m_frames.begin() + (nFrame - 1));
}

void GifDocument::FrameMoveUp(int nFrame)
{
    frame(nFrame);
    frame(nFrame - 1);
    std::swap(m_frames[std::size_t(nFrame - 1)], m_frames[std::size_t(nFrame - 2)]);
}

void GifDocument::FrameMoveDown(int nFrame)
{
    frame(nFrame);
    frame(nFrame + 1);
    std::swap(m_frames[std::size_t(nFrame - 1)], m_frames[std::size_t(nFrame)]);
}

void GifDocument::FrameMask(int nFrame, int TransparentColorIndex)
{
    Frame& f = frame(nFrame);
    if (TransparentColorIndex < 0 || TransparentColorIndex > 255)
        raiseSubscript();
    if (!f.useTransparent) {
        f.andMask.Clear(0);
        f.xorImage.SetPalette(f.localPalette.data(), f.localPalette.size());
        return;
    }
    // Drawing the image with a palette that is white at the transparent index and black
    // elsewhere into the black-and-white mask gives 1 bits exactly where the image holds that
    // index; done here directly on the pixels.
    const Dib& img = f.xorImage;
    Dib& mask = f.andMask;
    if (!img.empty() && !mask.empty() && img.BPP() == 8) {
        const int w = std::min(img.Width(), mask.Width());
        const int h = std::min(img.Height(), mask.Height());
        const auto t = static_cast<std::uint8_t>(TransparentColorIndex);
        std::fill_n(mask.lpBits(), mask.Size(), 0);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* src = img.scanline(y);
            std::uint8_t* dst = mask.scanline(y);
            for (int x = 0; x < w; ++x)
                if (src[x] == t)
                    dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
    std::array<std::uint8_t, kPaletteBytes> display = f.localPalette;
    std::fill_n(display.begin() + TransparentColorIndex * 4, 4, 0);
    f.xorImage.SetPalette(display.data(), display.size());
}

void GifDocument::FrameDraw(const DibDC& hDC, int nFrame, int Left, int Top, float ScaleFactor, bool ScreenCrop)
{
    const Frame& f = frame(nFrame);
    int srcW = f.xorImage.Width();
    int srcH = f.xorImage.Height();
    if (ScreenCrop) {
        srcW = std::max(0, std::min(srcW, m_screenWidth - f.left));
        srcH = std::max(0, std::min(srcH, m_screenHeight - f.top));
    }
    // Nothing of the frame lies on the screen: draw nothing (a zero source size would
    // otherwise mean "the whole surface" to Stretch).
    if (srcW <= 0 || srcH <= 0)
        return;
    // Whole-number results are rounded to the nearest integer, ties to even (the default
    // rounding mode of nearbyint).
    const auto round = [](double v) { return static_cast<std::int32_t>(std::nearbyint(v)); };
    const std::int32_t x = round(double(Left) + double(float(f.left) * ScaleFactor));
    const std::int32_t y = round(double(Top) + double(float(f.top) * ScaleFactor));
    const std::int32_t w = round(double(srcW) * double(ScaleFactor));
    const std::int32_t h = round(double(srcH) * double(ScaleFactor));
    if (f.useTransparent) {
        f.andMask.Stretch(hDC, x, y, w, h, 0, 0, srcW, srcH, RasterOp::And);
        f.xorImage.Stretch(hDC, x, y, w, h, 0, 0, srcW, srcH, RasterOp::Or);
    } else {
        f.xorImage.Stretch(hDC, x, y, w, h, 0, 0, srcW, srcH, RasterOp::Copy);
    }
}

// ---- Properties --------------------------------------------------------------------------------

void GifDocument::setAnimationLoops(int loops) { m_animationLoops = checkedRange(loops, 0, 65535); }
void GifDocument::setScreenWidth(int width) { m_screenWidth = checkedRange(width, 0, 65535); }
void GifDocument::setScreenHeight(int height) { m_screenHeight = checkedRange(height, 0, 65535); }
void GifDocument::setScreenBackgroundColorIndex(int index) { m_background = checkedRange(index, 0, 255); }

float GifDocument::ScreenPixelAspectRatio() const { return (float(m_aspect) + 15.0f) / 64.0f; }

void GifDocument::setScreenPixelAspectRatio(float ratio)
{
    const float stored = std::nearbyint(ratio * 64.0f - 15.0f);
    if (!(stored >= 0.0f && stored <= 255.0f))
        raiseOverflow();
    m_aspect = static_cast<std::uint8_t>(stored);
}

std::int32_t GifDocument::GlobalPaletteRGBEntry(int nEntry) const { return rgbEntry(m_globalPalette.data(), nEntry); }
void GifDocument::setGlobalPaletteEntries(int entries) { m_globalEntries = checkedEntries(entries); }

Dib& GifDocument::FrameDIBXOR(int nFrame) { return frame(nFrame).xorImage; }
const Dib& GifDocument::FrameDIBXOR(int nFrame) const { return frame(nFrame).xorImage; }
Dib& GifDocument::FrameDIBAND(int nFrame) { return frame(nFrame).andMask; }
const Dib& GifDocument::FrameDIBAND(int nFrame) const { return frame(nFrame).andMask; }
int GifDocument::FrameDelay(int nFrame) const { return frame(nFrame).delay; }
void GifDocument::setFrameDelay(int nFrame, int delay) { frame(nFrame).delay = checkedRange(delay, 0, 65535); }
bool GifDocument::FrameInterlaced(int nFrame) const { return frame(nFrame).interlaced; }
void GifDocument::setFrameInterlaced(int nFrame, bool interlaced) { frame(nFrame).interlaced = interlaced; }
int GifDocument::FrameLeft(int nFrame) const { return frame(nFrame).left; }
void GifDocument::setFrameLeft(int nFrame, int left) { frame(nFrame).left = checkedRange(left, 0, 65535); }
int GifDocument::FrameTop(int nFrame) const { return frame(nFrame).top; }
void GifDocument::setFrameTop(int nFrame, int top) { frame(nFrame).top = checkedRange(top, 0, 65535); }
int GifDocument::FrameDisposalMethod(int nFrame) const { return frame(nFrame).disposal; }
void GifDocument::setFrameDisposalMethod(int nFrame, int method) { frame(nFrame).disposal = checkedRange(method, 0, 7); }
bool GifDocument::FrameUseTransparentColor(int nFrame) const { return frame(nFrame).useTransparent; }
void GifDocument::setFrameUseTransparentColor(int nFrame, bool use) { frame(nFrame).useTransparent = use; }
int GifDocument::FrameTransparentColorIndex(int nFrame) const { return frame(nFrame).transparentIndex; }
void GifDocument::setFrameTransparentColorIndex(int nFrame, int index)
{
    frame(nFrame).transparentIndex = checkedRange(index, 0, 255);
}
bool GifDocument::FrameUserInput(int nFrame) const { return frame(nFrame).userInput; }
void GifDocument::setFrameUserInput(int nFrame, bool userInput) { frame(nFrame).userInput = userInput; }
std::uint8_t* GifDocument::lpLocalPalette(int nFrame) { return frame(nFrame).localPalette.data(); }
const std::uint8_t* GifDocument::lpLocalPalette(int nFrame) const { return frame(nFrame).localPalette.data(); }
std::int32_t GifDocument::LocalPaletteRGBEntry(int nFrame, int nEntry) const
{
    return rgbEntry(frame(nFrame).localPalette.data(), nEntry);
}
bool GifDocument::LocalPaletteUsed(int nFrame) const { return frame(nFrame).localUsed; }
void GifDocument::setLocalPaletteUsed(int nFrame, bool used) { frame(nFrame).localUsed = used; }
bool GifDocument::LocalPaletteSorted(int nFrame) const { return frame(nFrame).localSorted; }
void GifDocument::setLocalPaletteSorted(int nFrame, bool sorted) { frame(nFrame).localSorted = sorted; }
int GifDocument::LocalPaletteEntries(int nFrame) const { return frame(nFrame).localEntries; }
void GifDocument::setLocalPaletteEntries(int nFrame, int entries) { frame(nFrame).localEntries = checkedEntries(entries); }
GifError GifDocument::FrameDecodeResult(int nFrame) const { return frame(nFrame).decodeResult; }

// ---- Save --------------------------------------------------------------------------------------

bool GifDocument::Save(const std::filesystem::path& filename, ProgressBar& oProgress, UiPort& ui)
{
    bool created = false;
    bool ok = false;
    try {
        removeFile(filename);
        OutFile out(filename);
        if (out.isOpen()) {
            created = true;
            ok = writeDocument([&](const std::vector<std::uint8_t>& bytes) { return out.write(bytes); }, oProgress,
                               ui) &&
                 out.close();
        }
    } catch (...) {
        // Every failure (a write error, a run-time error raised while yielding, no memory)
        // is the same false answer.
        ok = false;
    }
    // A partly written GIF would look like a result; leave nothing behind.
    if (!ok && created)
        removeFile(filename);
    return ok;
}

bool GifDocument::writeDocument(const std::function<bool(const std::vector<std::uint8_t>&)>& write, ProgressBar& oProgress,
                         UiPort& ui)
{
    const int framesCount = FramesCount();
    if (m_globalExists && m_globalEntries > 256)
        return false;
    const int globalBits = m_globalExists ? gifPaletteBits(m_globalEntries) : 0;

    std::vector<std::uint8_t> out;
    out.reserve(2048);
    out.insert(out.end(), {'G', 'I', 'F'});
    if (framesCount >= 1)
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
    if (framesCount >= 1) {
        // NETSCAPE2.0 application extension: sub-block id 1, loop count (0 = for ever).
        out.insert(out.end(), {kGifExtensionIntroducer, kGifApplicationLabel, 0x0B});
        out.insert(out.end(), {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
        out.insert(out.end(), {0x03, 0x01});
        put16(out, m_animationLoops);
        out.push_back(0x00);
    }
    if (!write(out))
        return false;

    oProgress.setMax(framesCount);
    for (int i = 1; i <= framesCount; ++i) {
        oProgress.setValue(i);
        ui.progressChanged(oProgress);
        ui.yield();
        // The document must not change while it is saved; a yield that emptied it ends the save.
        if (i > FramesCount())
            return false;
        out.clear();
        if (!appendFrameBlock(*m_frames[std::size_t(i - 1)], globalBits, out) || !write(out))
            return false;
    }
    out.assign(1, kGifTrailer);
    return write(out);
}

bool GifDocument::appendFrameBlock(const Frame& f, int globalBits, std::vector<std::uint8_t>& out)
{
    const Dib& image = f.xorImage;
    // The descriptor's sizes are 16-bit; frames keep to the 16-bit signed range of the document.
    if (image.Width() > 32767 || image.Height() > 32767)
        return false;
    if (f.localUsed && f.localEntries > 256)
        return false;
    const int localBits = f.localUsed ? gifPaletteBits(f.localEntries) : 0;
    const int paletteBits = f.localUsed ? localBits : globalBits;
    if (paletteBits == 0)
        return false;   // no local palette and no global one: nothing to index

    // Graphic control extension, also when the frame has no delay and no transparency.
    out.insert(out.end(), {kGifExtensionIntroducer, kGifGraphicControlLabel, 0x04});
    out.push_back(static_cast<std::uint8_t>(f.disposal * 4 + (f.userInput ? 2 : 0) + (f.useTransparent ? 1 : 0)));
    put16(out, f.delay);
    out.push_back(f.useTransparent ? static_cast<std::uint8_t>(f.transparentIndex) : 0);
    out.push_back(0x00);

    out.push_back(kGifImageSeparator);
    put16(out, f.left);
    put16(out, f.top);
    put16(out, image.Width());
    put16(out, image.Height());
    out.push_back(static_cast<std::uint8_t>((f.localUsed ? 0x80 : 0) + (f.interlaced ? 0x40 : 0) +
                                            (f.localSorted ? 0x20 : 0) + (paletteBits - 1)));
    if (f.localUsed)
        putColourTable(out, f.localPalette.data(), f.localEntries, localBits);

    const int minCodeSize = paletteBits < 2 ? 2 : paletteBits;
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    // Only 8-bit pixel memory is encoded; any other surface gives no data sub-blocks.
    if (image.BPP() == 8 && !image.empty()) {
        const IndexedPixels pixels{image.lpBits(), image.BytesPerScanline(), image.Width(), image.Height()};
        if (!m_encoder.EncodeFrame(pixels, f.interlaced, minCodeSize + 1, out))
            return false;
    }
    out.push_back(0x00);
    return true;
}

}  // namespace vantorell
