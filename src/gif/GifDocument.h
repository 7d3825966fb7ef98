// GifDocument: an animated GIF held in memory (logical screen, optional global palette, loop count
// and frames numbered from 1, each an 8-bit Dib with a 1-bit mask, placement, timing,
// transparency and its own palette storage), written by Save in GIF89a layout and read back by
// LoadFromFile / LoadFromStream from GIF87a and GIF89a files of any writer.
//
// Frame numbers outside 1..FramesCount raise RuntimeError(SubscriptOutOfRange); a value that
// does not fit its field raises RuntimeError(Overflow). Save and the loads answer true or false
// and never throw; lastError() says why a load failed.
#pragma once

#include "dib/Dib.h"
#include "gif/GifFormat.h"
#include "gif/LzwDecoder.h"
#include "gif/LzwEncoder.h"
#include "platform/StepProgress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantorell {


// Whether FrameDraw clips a frame to the logical screen.
enum class FrameClip {
    None,     // the whole frame
    Screen,   // only the part inside the logical screen
};

class GifDocument {
public:
    static constexpr std::size_t kPaletteBytes = 1024;   // 256 entries: blue, green, red, reserved
    static constexpr int kMaxFrames = 32767;               // FramesCount is a 16-bit signed number

    GifDocument();
    ~GifDocument();
    GifDocument(const GifDocument&) = delete;
    GifDocument& operator=(const GifDocument&) = delete;

    // ---- Writing and reading -------------------------------------------------------------

    // Writes the document as GIF89a (GIF87a when it has no frames), replacing any file of that
    // name. The progress bar's maximum becomes FramesCount and its value the frame being
    // written; the window is yielded to once per frame. False on any failure (the file cannot
    // be written, a frame has no palette, a frame side above 32767, a pixel index beyond its
    // palette's code size); a failed save leaves no file behind.
    bool save(const std::filesystem::path& file, const StepProgress& progress = {});

    // Reads a whole file. True when it was read completely; a missing, empty or bad file
    // empties the document (Destroy) and gives false.
    bool loadFromFile(const std::filesystem::path& file);
    // Reads a GIF held in memory. True on success; false for a wrong signature or version, a
    // truncated block, a limit exceeded. A failed load leaves the document empty (Destroy).
    // Damaged image data end only that image's decoding (FrameDecodeResult tells).
    bool loadFromStream(std::span<const std::uint8_t> bytes);

    // Why the last load failed (None after a success) and the byte offset where it was noticed.
    GifError lastError() const { return m_lastError; }
    std::size_t lastErrorOffset() const { return m_lastErrorOffset; }
    // Bounds for what a file may make the reader allocate; tests and fuzzers lower them.
    void setDecodeLimits(const DecodeLimits& limits) { m_limits = limits; }
    const DecodeLimits& decodeLimits() const { return m_limits; }
    // "GIF" and "87a"/"89a" as read by the last load (empty after Destroy).
    const std::string& signature() const { return m_signature; }
    const std::string& version() const { return m_version; }

    // ---- Document operations -------------------------------------------------------------

    // Releases every frame, FramesCount 0, clears the screen descriptor (size, background,
    // aspect), the global palette bytes, AnimationLoops, GlobalPaletteSorted and
    // GlobalPaletteEntries. GlobalPaletteExists keeps its value.
    void destroy();
    // Inserts a frame of width x height (0..32767 each, else Overflow; 0 gives empty surfaces)
    // at position frameNumber (>= 1); beyond the last frame it is appended. A 32768th frame is
    // an Overflow. The image is all index 0, the mask all 0 with a black and white colour
    // table. The first frame sets the screen size.
    void frameInsert(int frameNumber, int width, int height);
    void frameRemove(int frameNumber);
    void frameMoveUp(int frameNumber);     // swaps frames frameNumber and frameNumber - 1
    void frameMoveDown(int frameNumber);   // swaps frames frameNumber and frameNumber + 1
    // Prepares the frame for drawing. With FrameUseTransparentColor: the mask becomes 1 where
    // the image holds transparentIndex (0..255) and the image's colour table the local palette
    // with that entry black. Without: the mask is cleared and the image gets the local palette
    // unchanged.
    void frameBuildMask(int frameNumber, int transparentIndex);
    // Draws the frame on target at (left, top) + its position, scaled by scale, clipped as
    // asked. Transparent frames are drawn through their mask (AND), then the image (OR).
    void frameDraw(const DibDC& target, int frameNumber, int left, int top, float scale, FrameClip clip);

    // ---- Document properties ---------------------------------------------------------------

    int framesCount() const { return static_cast<int>(m_frames.size()); }
    int animationLoops() const { return m_animationLoops; }   // 0: loop for ever
    void setAnimationLoops(int loops);                         // 0..65535
    int screenWidth() const { return m_screenWidth; }
    void setScreenWidth(int width);                            // 0..65535
    int screenHeight() const { return m_screenHeight; }
    void setScreenHeight(int height);                          // 0..65535
    int screenBackgroundColorIndex() const { return m_background; }
    void setScreenBackgroundColorIndex(int index);             // 0..255
    // The GIF aspect byte read as (byte + 15) / 64; written as value x 64 - 15 rounded to the
    // nearest integer, ties to even (1.0 is stored as 49). 0..255 after rounding, else Overflow.
    float screenPixelAspectRatio() const;
    void setScreenPixelAspectRatio(float ratio);
    std::uint8_t screenPixelAspectByte() const { return m_aspect; }

    // The 1024 bytes of the global palette (blue, green, red, reserved per entry). Writing a
    // count or a flag never touches them; callers copy palettes in here.
    std::uint8_t* globalPaletteData() { return m_globalPalette.data(); }
    const std::uint8_t* globalPaletteData() const { return m_globalPalette.data(); }
    // Entry 0..255 as red + 256 x green + 65536 x blue.
    std::int32_t globalPaletteRGBEntry(int entry) const;
    bool globalPaletteExists() const { return m_globalExists; }
    void setGlobalPaletteExists(bool exists) { m_globalExists = exists; }
    bool globalPaletteSorted() const { return m_globalSorted; }
    void setGlobalPaletteSorted(bool sorted) { m_globalSorted = sorted; }
    int globalPaletteEntries() const { return m_globalEntries; }
    void setGlobalPaletteEntries(int entries);                 // 0..256, else SubscriptOutOfRange

    // ---- Frame properties (frameNumber 1..FramesCount) ---------------------------------------

    Dib& frameImage(int frameNumber);                 // the image: 8 bits per pixel
    const Dib& frameImage(int frameNumber) const;
    Dib& frameMask(int frameNumber);                 // the transparency mask: 1 bit per pixel
    const Dib& frameMask(int frameNumber) const;
    int frameDelay(int frameNumber) const;              // hundredths of a second
    void setFrameDelay(int frameNumber, int delay);     // 0..65535
    bool frameInterlaced(int frameNumber) const;
    void setFrameInterlaced(int frameNumber, bool interlaced);
    int frameLeft(int frameNumber) const;
    void setFrameLeft(int frameNumber, int left);       // 0..65535
    int frameTop(int frameNumber) const;
    void setFrameTop(int frameNumber, int top);         // 0..65535
    int frameDisposalMethod(int frameNumber) const;
    void setFrameDisposalMethod(int frameNumber, int method);   // 0..7 (three bits in the file)
    bool frameUseTransparentColor(int frameNumber) const;
    void setFrameUseTransparentColor(int frameNumber, bool use);
    int frameTransparentColorIndex(int frameNumber) const;
    void setFrameTransparentColorIndex(int frameNumber, int index);   // 0..255
    bool frameUserInput(int frameNumber) const;
    void setFrameUserInput(int frameNumber, bool userInput);
    std::uint8_t* localPaletteData(int frameNumber);      // 1024 bytes, as globalPaletteData
    const std::uint8_t* localPaletteData(int frameNumber) const;
    std::int32_t localPaletteRGBEntry(int frameNumber, int entry) const;
    bool localPaletteUsed(int frameNumber) const;
    void setLocalPaletteUsed(int frameNumber, bool used);
    bool localPaletteSorted(int frameNumber) const;
    void setLocalPaletteSorted(int frameNumber, bool sorted);
    int localPaletteEntries(int frameNumber) const;
    void setLocalPaletteEntries(int frameNumber, int entries);   // 0..256, else SubscriptOutOfRange
    // How the last load decoded this frame's image data: None when whole, otherwise why it
    // ended early (BadLzwCode, LzwDataEnded, BadLiteralWidth). None for frames made here.
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

    Frame& frame(int frameNumber);
    const Frame& frame(int frameNumber) const;
    static void makeMaskSurface(Dib& mask, int width, int height);

    // Save: one frame block into `out`; false when the frame cannot be stored.
    bool appendFrameBlock(const Frame& record, int globalBits, std::vector<std::uint8_t>& out);
    bool writeDocument(const std::function<bool(const std::vector<std::uint8_t>&)>& write,
                       const StepProgress& progress);

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

    // The coders' tables, built once per document.
    LzwEncoder m_encoder;
    LzwDecoder m_decoder;
};

}  // namespace vantorell
