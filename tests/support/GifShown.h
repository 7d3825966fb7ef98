// The frames a viewer shows for a GIF our reader has loaded: each frame painted over the ones
// before (its transparent pixels leave them), looked up in its local or the global palette, as
// top-down packed blue, green, red, the screen's size.
#pragma once

#include "dib/Dib.h"
#include "gif/GifDocument.h"

#include <cstdint>
#include <vector>

namespace vantorell::test {

inline std::vector<std::vector<std::uint8_t>> shownFrames(const GifDocument& gif)
{
    const int width = gif.screenWidth(), height = gif.screenHeight();
    std::vector<std::uint8_t> canvas(std::size_t(width) * std::size_t(height) * 3, 0);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 1; i <= gif.framesCount(); ++i) {
        const Dib& image = gif.frameImage(i);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int index = image.scanline(y)[x];
                if (gif.frameUseTransparentColor(i) && index == gif.frameTransparentColorIndex(i))
                    continue;
                const std::int32_t rgb =
                    gif.localPaletteUsed(i) ? gif.localPaletteRGBEntry(i, index) : gif.globalPaletteRGBEntry(index);
                std::uint8_t* to =
                    &canvas[(std::size_t(y + gif.frameTop(i)) * std::size_t(width) + std::size_t(x + gif.frameLeft(i))) * 3];
                to[0] = std::uint8_t(rgb >> 16);
                to[1] = std::uint8_t(rgb >> 8);
                to[2] = std::uint8_t(rgb);
            }
        frames.push_back(canvas);
    }
    return frames;
}

}  // namespace vantorell::test
