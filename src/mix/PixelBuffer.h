// The morph engine's working format: a bitmap information header (BITMAPINFOHEADER, 40 bytes)
// and 32-bit top-down pixels, blue, green, red and an unused fourth byte, rows of 4 x W bytes
// without padding. Channel c of pixel (x, y) is byte c + 4x + 4Wy.
//
// The pixels live in a platform Bitmap, which has exactly this layout, so a capture shares the
// surface's pixels until the engine writes into the buffer (copy on write): a 4000 x 3000
// picture is not duplicated just to be read.
#pragma once

#include "platform/Bitmap.h"
#include "platform/BitmapInfoHeader.h"

#include <cstddef>
#include <cstdint>

namespace vantorell {

class WorkSurface;

class PixelBuffer {
public:
    BitmapInfoHeader header;

    // Pixel count from the header (0 while empty or released).
    int width() const { return m_pixels.width(); }
    int height() const { return m_pixels.height(); }
    // Bytes in the pixel array: 4 x W x H, 1 after a release, 0 before the first capture.
    std::size_t byteCount() const;
    bool released() const { return m_released; }

    // Channel c (0 blue, 1 green, 2 red, 3 unused) of pixel (x, y); raises RuntimeError
    // SubscriptOutOfRange outside the array, as the array bounds do.
    std::uint8_t at(int channel, int x, int y) const;
    void set(int channel, int x, int y, std::uint8_t value);

    const std::uint8_t* data() const;
    std::uint8_t* mutableData();                  // detaches shared pixels first
    const Bitmap& pixels() const { return m_pixels; }

    // Sizes the header and the array to the bitmap's size and takes its pixels, with the fourth
    // byte of every pixel 0: shared with the bitmap, or copied into memory this buffer kept
    // from before its last release when that has the same size (the frame buffer of the fade
    // loop thus works in one block of memory instead of mapping a new one for every frame).
    void capture(const Bitmap& image);
    // Shrinks the array to the single element (0, 0, 0); the header stays. The memory is kept
    // for the next capture of the same size when no one else holds it; trim() gives it back.
    void release();
    void trim();

private:
    std::size_t index(int channel, int x, int y) const;

    Bitmap m_pixels;
    Bitmap m_spare;
    bool m_released = false;
    std::uint8_t m_single[4] = {0, 0, 0, 0};
};

// What TransferPixels does; any other value does nothing.
enum class PixelTransfer : std::int16_t {
    Capture = 1,     // the surface's drawn image into the buffer (PixelBuffer::capture)
    WriteBack = 2,   // the buffer's rows back into the drawn image
    Release = 3,     // the buffer gives up its pixels (PixelBuffer::release); the surface is untouched
};

// Moves pixels between the surface's drawn image and the buffer. Capturing a drawn image of
// width or height 0 raises SubscriptOutOfRange, as the empty array bounds do.
void transferPixels(WorkSurface& surface, PixelBuffer& buffer, PixelTransfer transfer);

}  // namespace vantorell
