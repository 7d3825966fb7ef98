// Colour management through Little CMS: the pictures of one job brought into one working space
// before they are mixed, so that the numbers averaged mean the same colours. A JPEG result keeps
// the first picture's space (and carries its profile); GIF and video results are sRGB, which
// they are shown as. A picture without a profile is sRGB, and pictures already in the working
// space are left as they are: two pictures without profiles cost nothing and change nothing.
#pragma once

#include "platform/ColourProfile.h"
#include "platform/Picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

// keep: the working space above; srgb: sRGB for every result, a JPEG result tagged sRGB;
// ignore: the numbers as they are, no profile written.
enum class ColourChoice { Keep, Srgb, Ignore };

class RowConverter;

// The conversion of one picture's numbers into the working space; empty when they stay.
class ColourConversion {
public:
    ColourConversion() = default;
    explicit operator bool() const { return m_converter != nullptr; }
    // Converts rows of 32-bit blue, green, red, X pixels in place, over two threads when they
    // hold half a megapixel or more; the fourth byte stays.
    void convertRows(std::uint8_t* pixels, std::size_t stride, int width, int rows) const;
    // The picture converted (the picture itself when nothing is to be done).
    Picture converted(const Picture& picture) const;

private:
    friend struct ColourConversionMaker;
    std::shared_ptr<const RowConverter> m_converter;
};

struct WorkingSpace {
    std::vector<ColourConversion> conversions;   // one a picture, in the order given
    ColourProfile resultProfile;                 // what a JPEG result carries (none: nothing)
    std::vector<std::string> notes;              // profiles that were ignored, and why
};

// Plans the working space of pictures with these profiles (Image #firstNumber first, as the
// notes number them) for a JPEG result (jpegResult) or an sRGB one.
WorkingSpace planWorkingSpace(std::span<const ColourProfile> profiles, ColourChoice choice, bool jpegResult,
                              int firstNumber = 1);

// The conversion that shows numbers in `profile`'s space as sRGB (a window's preview); empty for
// none, for our own sRGB profile, and for a profile that cannot be used.
ColourConversion conversionToSrgb(const ColourProfile& profile);

// The bytes of Little CMS's sRGB profile, and of an Adobe RGB (1998) compatible one.
std::shared_ptr<const std::vector<std::uint8_t>> srgbIccProfile();
std::shared_ptr<const std::vector<std::uint8_t>> adobeRgbIccProfile();

}  // namespace vantorell
