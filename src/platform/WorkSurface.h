// A hidden picture surface of the window: a picture (its background) and a drawn image of the
// surface's drawable size that persists until cleared. The mixing code keeps its pictures here.
// The drawn image shares the picture's pixels until something is drawn on it.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Picture.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace vantorell {

class WorkSurface {
public:
    WorkSurface() = default;
    WorkSurface(int width, int height);

    // Decodes a JPEG, bitmap or any picture file the loader reads into the surface's picture;
    // an empty path gives an empty picture. Raises RuntimeError for a missing or bad file.
    void loadPicture(const std::filesystem::path& file);
    // As above, for a caller that only needs the picture to cover coverWidth x coverHeight
    // pixels (it stretches it to that size): a big JPEG may be decoded at reduced scale. The
    // picture keeps the file's pixel size as its source size.
    void loadPicture(const std::filesystem::path& file, int coverWidth, int coverHeight);
    void setPicture(Picture picture);              // also clears the drawing
    const Picture& picture() const { return m_picture; }

    // With auto-size on, the surface takes its picture's size whenever the picture changes.
    void setAutoSize(bool on);
    bool autoSize() const { return m_autoSize; }

    // The window's surfaces have no border: the outer size is the drawable size.
    void setOuterSize(int width, int height);
    void setOuterWidth(int width) { setOuterSize(width, m_height); }
    void setOuterHeight(int height) { setOuterSize(m_width, height); }
    int outerWidth() const { return m_width; }
    int outerHeight() const { return m_height; }
    int drawableWidth() const { return m_width; }
    int drawableHeight() const { return m_height; }

    void setBackColor(std::int32_t colour);        // 0x00BBGGRR; shows where there is no picture
    std::int32_t backColor() const { return m_backColor; }

    // Paints the picture scaled over the rectangle of the drawn image (a plain copy).
    void paintPicture(const Picture& picture, int x, int y, int width, int height);
    // The drawn image shows the picture again (the background colour where it has none).
    void clear();

    // The drawn image: what the surface shows. Writing it is drawing on the surface.
    const Bitmap& image() const;
    Bitmap& drawing();
    // The drawn image for a caller that overwrites every pixel of it: when it has to be made
    // afresh, it is not filled first.
    Bitmap& drawingToOverwrite();
    Picture imageAsPicture() const { return Picture(image()); }

    std::int32_t pixel(int x, int y) const;        // 0x00BBGGRR, -1 outside the drawn image
    void setPixel(int x, int y, std::int32_t colour);  // ignored outside

    // Writes the drawn image as a 24-bit bitmap file ("BM"). Raises RuntimeError on failure.
    void saveAsBitmapFile(const std::filesystem::path& file) const;

    void refresh();
    std::function<void()> onRefresh;               // a view may repaint

private:
    void rebuildDrawing() const;

    Picture m_picture;
    int m_width = 0;
    int m_height = 0;
    bool m_autoSize = false;
    std::int32_t m_backColor = 0x00FFFFFF;
    mutable Bitmap m_drawing;
    mutable bool m_drawingValid = false;
};

}  // namespace vantorell
