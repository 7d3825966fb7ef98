// TransferPixels: moves pixels between a work surface's drawn image and a PixelBuffer. It
// stands in for GetDIBits/SetDIBits with a 32-bit top-down BITMAPINFO, which is exactly the
// platform Bitmap's own layout, so a capture or a full-size write-back is a shared reference,
// not a copy.
#include "mix/PixelBuffer.h"

#include "platform/WorkSurface.h"

#include <algorithm>
#include <cstring>

namespace vantorell {

namespace {

void writeBack(WorkSurface& surface, const PixelBuffer& buffer)
{
    if (buffer.released() || buffer.byteCount() == 0)
        return;   // nothing of the frame's size to write
    const Bitmap& source = buffer.pixels();
    const int rows = -buffer.header.height;
    Bitmap& target = surface.drawing();
    if (target.width() == source.width() && target.height() == source.height() && rows == source.height()) {
        if (target.sharesPixelsWith(source))
            return;
        // Copied into the drawn image's own memory, so that the buffer keeps its block for the
        // next capture (see PixelBuffer::release).
        std::memcpy(target.mutableBits(), source.bits(), source.byteCount());
        return;
    }
    // SetDIBits semantics for a buffer of another size: the overlapping rows and columns.
    const int height = std::min({rows, source.height(), target.height()});
    const int width = std::min(source.width(), target.width());
    for (int y = 0; y < height; ++y)
        std::memcpy(target.mutableRow(y), source.row(y), std::size_t(width) * 4);
}

}  // namespace

void transferPixels(WorkSurface& surface, PixelBuffer& buffer, PixelTransfer transfer)
{
    switch (transfer) {
    case PixelTransfer::Capture:
        buffer.capture(surface.image());
        break;
    case PixelTransfer::WriteBack:
        writeBack(surface, buffer);
        break;
    case PixelTransfer::Release:
        buffer.release();
        break;
    default:
        break;
    }
}

}  // namespace vantorell
