// A decoded picture: a shared, read-only 32-bit bitmap, or none. Loading one from a file is
// the platform's picture loader (PictureLoader.h).
#pragma once

#include "platform/Bitmap.h"
#include "platform/ColourProfile.h"

namespace vantorell {

class Picture {
public:
    Picture() = default;
    explicit Picture(Bitmap bitmap) : m_bitmap(std::move(bitmap))
    {
        m_sourceWidth = m_bitmap.width();
        m_sourceHeight = m_bitmap.height();
    }
    // A picture decoded at reduced scale keeps the pixel size of the file it came from.
    Picture(Bitmap bitmap, int sourceWidth, int sourceHeight)
        : m_bitmap(std::move(bitmap)), m_sourceWidth(sourceWidth), m_sourceHeight(sourceHeight) {}

    bool empty() const { return m_bitmap.empty(); }        // "no picture" (a zero handle)
    int width() const { return m_bitmap.width(); }
    int height() const { return m_bitmap.height(); }
    const Bitmap& bitmap() const { return m_bitmap; }
    // The pixel size of the file the picture was decoded from (the bitmap's size otherwise).
    int sourceWidth() const { return m_sourceWidth; }
    int sourceHeight() const { return m_sourceHeight; }
    // The colour profile the file carried (none: its numbers are sRGB).
    const ColourProfile& colourProfile() const { return m_colourProfile; }
    void setColourProfile(ColourProfile profile) { m_colourProfile = std::move(profile); }

private:
    Bitmap m_bitmap;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    ColourProfile m_colourProfile;
};

}  // namespace vantorell
