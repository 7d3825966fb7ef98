// GifDocument: what the last load read, frame by frame. The reader itself is in GifReader.cpp.
#include "gif/GifDocument.h"

#include "platform/Conversions.h"

namespace vantorell {

namespace {

[[noreturn]] void raiseSubscript() { throw RuntimeError(errnum::SubscriptOutOfRange, "Subscript out of range"); }

std::int32_t rgbEntry(const std::uint8_t* palette, int entry)
{
    if (entry < 0 || entry > 255)
        raiseSubscript();
    const std::uint8_t* bgr = palette + std::size_t(entry) * 4;   // blue, green, red, reserved
    return std::int32_t(bgr[2]) + 256 * std::int32_t(bgr[1]) + 65536 * std::int32_t(bgr[0]);
}

}  // namespace

GifDocument::GifDocument() = default;
GifDocument::~GifDocument() = default;

// ---- Frame list --------------------------------------------------------------------------------

const GifDocument::Frame& GifDocument::frame(int frameNumber) const
{
    if (frameNumber < 1 || frameNumber > framesCount())
        raiseSubscript();
    return *m_frames[std::size_t(frameNumber - 1)];
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
    m_globalExists = false;
    m_globalSorted = false;
    m_globalEntries = 0;
}

// ---- Properties --------------------------------------------------------------------------------

float GifDocument::screenPixelAspectRatio() const { return (float(m_aspect) + 15.0f) / 64.0f; }
std::int32_t GifDocument::globalPaletteRGBEntry(int entry) const { return rgbEntry(m_globalPalette.data(), entry); }

const Dib& GifDocument::frameImage(int frameNumber) const { return frame(frameNumber).image; }
const Dib& GifDocument::frameMask(int frameNumber) const { return frame(frameNumber).mask; }
int GifDocument::frameDelay(int frameNumber) const { return frame(frameNumber).delay; }
bool GifDocument::frameInterlaced(int frameNumber) const { return frame(frameNumber).interlaced; }
int GifDocument::frameLeft(int frameNumber) const { return frame(frameNumber).left; }
int GifDocument::frameTop(int frameNumber) const { return frame(frameNumber).top; }
int GifDocument::frameDisposalMethod(int frameNumber) const { return frame(frameNumber).disposal; }
bool GifDocument::frameUseTransparentColor(int frameNumber) const { return frame(frameNumber).useTransparent; }
int GifDocument::frameTransparentColorIndex(int frameNumber) const { return frame(frameNumber).transparentIndex; }
bool GifDocument::frameUserInput(int frameNumber) const { return frame(frameNumber).userInput; }
const std::uint8_t* GifDocument::localPaletteData(int frameNumber) const
{
    return frame(frameNumber).localPalette.data();
}
std::int32_t GifDocument::localPaletteRGBEntry(int frameNumber, int entry) const
{
    return rgbEntry(frame(frameNumber).localPalette.data(), entry);
}
bool GifDocument::localPaletteUsed(int frameNumber) const { return frame(frameNumber).localUsed; }
bool GifDocument::localPaletteSorted(int frameNumber) const { return frame(frameNumber).localSorted; }
int GifDocument::localPaletteEntries(int frameNumber) const { return frame(frameNumber).localEntries; }
GifError GifDocument::frameDecodeResult(int frameNumber) const { return frame(frameNumber).decodeResult; }

}  // namespace vantorell
