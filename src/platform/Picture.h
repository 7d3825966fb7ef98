// A decoded picture: a shared, read-only 32-bit bitmap, or none. Loading one from a file is
// the platform's picture loader (PictureLoader.h).
#pragma once

#include "platform/Bitmap.h"

namespace vantorell {

class Picture {
public:
    Picture() = default;
    explicit Picture(Bitmap bitmap) : m_bitmap(std::move(bitmap)) {}

    bool empty() const { return m_bitmap.empty(); }        // "no picture" (a zero handle)
    int width() const { return m_bitmap.width(); }
    int height() const { return m_bitmap.height(); }
    const Bitmap& bitmap() const { return m_bitmap; }

private:
    Bitmap m_bitmap;
};

}  // namespace vantorell
