// ImportAviToGif: the fade job's work AVI read back into the window's GIF document, AviReader's
// frames through framesToGif.
#pragma once

#include "avi/AviReader.h"

#include <cstdint>
#include <filesystem>
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

}  // namespace vantorell
