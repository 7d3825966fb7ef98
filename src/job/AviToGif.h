// ImportAviToGif: the fade job's work AVI read back into the window's GIF document, AviReader's
// frames through framesToGif.
#pragma once

#include "avi/AviReader.h"
#include "gif/GifAnimation.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace vantorell {

class GifDocument;
class Ditherer;
class ProgressBar;
class UiPort;

// What an import found and why it ended.
struct AviToGifReport {
    AviReadError error = AviReadError::None;   // why the file could not be read, or a frame
    bool documentChanged = false;              // a handler changed the document during a yield
    std::int64_t frames = 0;                   // n: the frames the import set out to read
    int width = 0, height = 0;                 // W x H of every GIF frame
    int delay = 0;                             // FrameDelay of every frame, hundredths of a second
    bool direct = false;                       // uncompressed frames read straight from their chunks
};

// Reads the first video stream of the AVI at `path` into `gif` (which the caller has emptied):
// n frames of W x H, each dithered through `dither` with its current palette and dither modes,
// delay as aviFrameDelay, disposal 3, the palette as global palette and a copy in every frame's
// local palette storage (LocalPaletteUsed stays false). The progress bar runs from 1 to n with
// one yield per frame and ends at 0. True when every frame was read (n = 0 is true with no
// frames); false when the file cannot be opened or a frame cannot be read, in which case the
// document holds the frames read so far and, blank, the one that failed.
bool ImportAviToGif(const std::filesystem::path& path, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviToGifReport* report = nullptr, const AviReadLimits& limits = {});

// The same over an AVI held in memory.
bool ImportAviToGif(std::span<const std::uint8_t> bytes, GifDocument& gif, ProgressBar& progress, UiPort& ui,
                    Ditherer& dither, AviToGifReport* report = nullptr, const AviReadLimits& limits = {});

// The frames of an AVI file for GifAnimation: read in order, the file opened again when an
// earlier frame is asked for (the encoders ask mostly in order).
class AviGifFrames final : public GifFrameProvider {
public:
    explicit AviGifFrames(std::filesystem::path path, const AviReadLimits& limits = {});
    AviReadError openError() const { return m_error; }
    int delay() const { return m_delay; }
    int frameCount() const override { return m_frames; }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    bool frame(int index, Dib& surface) override;

private:
    bool reopen();

    std::filesystem::path m_path;
    AviReadLimits m_limits;
    std::unique_ptr<AviReader> m_reader;
    AviReadError m_error = AviReadError::None;
    int m_frames = 0, m_width = 0, m_height = 0, m_delay = 0;
    int m_next = 0;   // the frame the reader gives next
};

}  // namespace vantorell
