// The colour profile a picture file carries: the bytes of an embedded ICC profile (JPEG APP2
// "ICC_PROFILE" chunks, PNG iCCP, WebP ICCP, TIFF), or the EXIF mark of a camera that shot in
// Adobe RGB without embedding one. Readers take untrusted bytes: every length is checked, and a
// profile that fails a check is dropped with the reason kept, for the job's notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantorell {

// No profile we take is larger: 255 JPEG chunks hold at most 255 x 65519 bytes.
inline constexpr std::size_t kMaxIccProfileBytes = 16u << 20;

struct ColourProfile {
    enum class Kind { None, Embedded, AdobeRgbByExif };
    Kind kind = Kind::None;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;   // the ICC profile when Embedded
    std::string problem;   // why a profile the file carries was dropped (Kind::None then)

    bool present() const { return kind != Kind::None; }
    std::span<const std::uint8_t> iccBytes() const
    {
        return bytes ? std::span<const std::uint8_t>(*bytes) : std::span<const std::uint8_t>();
    }
};

// Why the bytes are not a sound ICC profile (too short or long, a declared size other than the
// bytes', no "acsp", a tag table or tag beyond the bytes); nullopt when they are.
std::optional<std::string> iccProfileProblem(std::span<const std::uint8_t> icc);

// An Embedded profile of the bytes when they are sound, otherwise none with the problem kept.
ColourProfile checkedIccProfile(std::vector<std::uint8_t> icc);

// The profile of a JPEG: its APP2 "ICC_PROFILE" chunks put together in their numbered order,
// else Adobe RGB when its EXIF says so (ColorSpace "uncalibrated", 0xFFFF, with the
// interoperability index "R03"), else none.
ColourProfile readJpegColourProfile(std::span<const std::uint8_t> jpeg);

// The profile of any picture file we read: a JPEG's as above, a PNG's iCCP chunk (inflated to
// at most kMaxIccProfileBytes; gAMA, cHRM or sRGB chunks alone are no embedded profile), a
// WebP's ICCP chunk, a TIFF's first IFD's ICC tag (34675). None for other formats.
ColourProfile readColourProfile(std::span<const std::uint8_t> file);

}  // namespace vantorell
