// GifDocument: the GIF reader. A GIF87a or GIF89a file of any writer, read by loadFromFile /
// loadFromStream into memory: the logical screen, the global palette, the loop count and the
// frames numbered from 1, each an 8-bit Dib with a 1-bit transparency mask, its placement,
// timing, disposal, transparency, the palette it is shown with and how its data decoded.
//
// Frame numbers outside 1..framesCount raise RuntimeError(SubscriptOutOfRange), as do palette
// entries outside 0..255. The loads answer true or false and never throw; lastError() says why
// a load failed.
#pragma once

#include "dib/Dib.h"
#include "gif/GifFormat.h"
#include "gif/LzwDecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

class GifDocument {
public:
    static constexpr std::size_t kPaletteBytes = 1024;   // 256 entries: blue, green, red, reserved
    static constexpr int kMaxFrames = 32767;               // framesCount is a 16-bit signed number

    GifDocument();
    ~GifDocument();
    GifDocument(const GifDocument&) = delete;
    GifDocument& operator=(const GifDocument&) = delete;

    // ---- Reading ------------------------------------------------------------------------------

    // Reads a whole file. True when it was read completely; a missing, empty or bad file
    // empties the document (destroy) and gives false.
    bool loadFromFile(const std::filesystem::path& file);
    // Reads a GIF held in memory. True on success; false for a wrong signature or version, a
    // truncated block, a limit exceeded. A failed load leaves the document empty (destroy).
    // Damaged image data end only that image's decoding (frameDecodeResult tells).
    bool loadFromStream(std::span<const std::uint8_t> bytes);

    // Why the last load failed (None after a success) and the byte offset where it was noticed.
    GifError lastError() const { return m_lastError; }
    std::size_t lastErrorOffset() const { return m_lastErrorOffset; }
    // Bounds for what a file may make the reader allocate; tests and fuzzers lower them.
    void setDecodeLimits(const DecodeLimits& limits) { m_limits = limits; }
    const DecodeLimits& decodeLimits() const { return m_limits; }
    // "GIF" and "87a"/"89a" as read by the last load (empty after destroy).
    const std::string& signature() const { return m_signature; }
    const std::string& version() const { return m_version; }

    // Releases every frame and clears what the last load read: the screen descriptor, the
    // global palette, the loop count, the signature and version.
    void destroy();

    // ---- Document properties -------------------------------------------------------------

    int framesCount() const { return static_cast<int>(m_frames.size()); }
    int animationLoops() const { return m_animationLoops; }   // 0: loop for ever
    int screenWidth() const { return m_screenWidth; }
    int screenHeight() const { return m_screenHeight; }
    int screenBackgroundColorIndex() const { return m_background; }
    // The GIF aspect byte read as (byte + 15) / 64.
    float screenPixelAspectRatio() const;
    std::uint8_t screenPixelAspectByte() const { return m_aspect; }

    // The 1024 bytes of the global palette (blue, green, red, reserved per entry); entries
    // beyond globalPaletteEntries are zero.
    const std::uint8_t* globalPaletteData() const { return m_globalPalette.data(); }
    // Entry 0..255 as red + 256 x green + 65536 x blue.
    std::int32_t globalPaletteRGBEntry(int entry) const;
    bool globalPaletteExists() const { return m_globalExists; }
    bool globalPaletteSorted() const { return m_globalSorted; }
    int globalPaletteEntries() const { return m_globalEntries; }

    // ---- Frame properties (frameNumber 1..framesCount) --------------------------------------

    // The image, 8 bits per pixel, with the frame's palette as its colour table (the
    // transparent entry black); the mask, 1 bit per pixel, set where the image holds the
    // transparent index (all clear without one). Both empty for a frame of zero width or height.
    const Dib& frameImage(int frameNumber) const;
    const Dib& frameMask(int frameNumber) const;
    int frameDelay(int frameNumber) const;   // hundredths of a second
    bool frameInterlaced(int frameNumber) const;
    int frameLeft(int frameNumber) const;
    int frameTop(int frameNumber) const;
    int frameDisposalMethod(int frameNumber) const;   // 0..7 as stored
    bool frameUseTransparentColor(int frameNumber) const;
    int frameTransparentColorIndex(int frameNumber) const;
    bool frameUserInput(int frameNumber) const;
    // The palette the frame is shown with: its local table when it has one (localPaletteUsed),
    // else a copy of the global one. 1024 bytes, as globalPaletteData.
    const std::uint8_t* localPaletteData(int frameNumber) const;
    std::int32_t localPaletteRGBEntry(int frameNumber, int entry) const;
    bool localPaletteUsed(int frameNumber) const;
    bool localPaletteSorted(int frameNumber) const;
    int localPaletteEntries(int frameNumber) const;
    // How the frame's image data decoded: None when whole, otherwise why it ended early
    // (BadLzwCode, LzwDataEnded, BadLiteralWidth).
    GifError frameDecodeResult(int frameNumber) const;

private:
    struct Frame {
        Dib image;   // frameImage
        Dib mask;    // frameMask
        int left = 0;
        int top = 0;
        bool interlaced = false;
        bool useTransparent = false;
        int transparentIndex = 0;
        int delay = 0;
        int disposal = 0;
        bool userInput = false;
        bool localUsed = false;
        bool localSorted = false;
        int localEntries = 0;
        std::array<std::uint8_t, kPaletteBytes> localPalette{};
        GifError decodeResult = GifError::None;
    };

    const Frame& frame(int frameNumber) const;

    // Load (GifReader.cpp).
    class Reader;
    friend class Reader;

    std::string m_signature;
    std::string m_version;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    int m_background = 0;
    std::uint8_t m_aspect = 0;
    int m_animationLoops = 0;
    bool m_globalExists = false;
    bool m_globalSorted = false;
    int m_globalEntries = 0;
    std::array<std::uint8_t, kPaletteBytes> m_globalPalette{};
    std::vector<std::unique_ptr<Frame>> m_frames;

    DecodeLimits m_limits;
    GifError m_lastError = GifError::None;
    std::size_t m_lastErrorOffset = 0;

    // The decoder's table, built once per document.
    LzwDecoder m_decoder;
};

}  // namespace vantorell
