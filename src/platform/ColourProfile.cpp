#include "platform/ColourProfile.h"

#include "platform/CheckedBytes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

#include <zlib.h>

namespace vantorell {

namespace {

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

constexpr std::size_t kIccHeaderBytes = 128;

// A TIFF structure's checked bytes, with an IFD's entries found by tag.
class TiffBytes : public CheckedBytes {
public:
    using CheckedBytes::CheckedBytes;
    // The position of the tag's 12-byte entry in the IFD at `ifd`; nullopt when absent.
    std::optional<std::size_t> entry(std::uint32_t ifd, std::uint32_t tag) const
    {
        constexpr std::uint32_t kMaxEntries = 1000;
        std::uint32_t count = 0;
        if (!u16(ifd, count) || count > kMaxEntries)
            return std::nullopt;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = std::size_t(ifd) + 2 + std::size_t(i) * 12;
            std::uint32_t found = 0;
            if (!u16(at, found))
                return std::nullopt;
            if (found == tag)
                return at;
        }
        return std::nullopt;
    }
};

// EXIF's own way of saying Adobe RGB: ColorSpace (0xA001) "uncalibrated" (0xFFFF) in the Exif
// IFD, and the interoperability index (tag 1 of the interoperability IFD) "R03".
bool exifSaysAdobeRgb(std::span<const std::uint8_t> tiff)
{
    if (tiff.size() < 8 || !((tiff[0] == 'M' && tiff[1] == 'M') || (tiff[0] == 'I' && tiff[1] == 'I')))
        return false;
    const TiffBytes b(tiff, tiff[0] == 'M');
    std::uint32_t magic = 0, ifd0 = 0, exifIfd = 0, colourSpace = 0, interopIfd = 0;
    if (!b.u16(2, magic) || magic != 42 || !b.u32(4, ifd0))
        return false;
    const auto exifEntry = b.entry(ifd0, 0x8769);
    if (!exifEntry || !b.u32(*exifEntry + 8, exifIfd))
        return false;
    const auto colourEntry = b.entry(exifIfd, 0xA001);
    if (!colourEntry || !b.u16(*colourEntry + 8, colourSpace) || colourSpace != 0xFFFF)
        return false;
    const auto interopEntry = b.entry(exifIfd, 0xA005);
    if (!interopEntry || !b.u32(*interopEntry + 8, interopIfd))
        return false;
    const auto indexEntry = b.entry(interopIfd, 0x0001);
    const std::uint8_t* index = indexEntry ? b.at(*indexEntry + 8, 3) : nullptr;   // 4 ASCII bytes, inline
    return index && std::memcmp(index, "R03", 3) == 0;
}

struct JpegSegments {
    std::map<int, std::span<const std::uint8_t>> iccChunks;   // by sequence number
    int declaredChunks = 0;
    bool chunksDisagree = false;
    std::span<const std::uint8_t> exif;   // the TIFF structure after "Exif\0\0"
};

void takeIccChunk(JpegSegments& found, std::span<const std::uint8_t> data)
{
    const int sequence = data[12], count = data[13];
    if (sequence < 1 || count < 1 || sequence > count || (found.declaredChunks && count != found.declaredChunks) ||
        found.iccChunks.count(sequence))
        found.chunksDisagree = true;
    else
        found.iccChunks[sequence] = data.subspan(14);
    found.declaredChunks = count;
}

// The APP1 and APP2 segments before the image data; stops at the first malformed segment.
JpegSegments jpegSegments(std::span<const std::uint8_t> jpeg)
{
    static constexpr std::uint8_t kIcc[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    JpegSegments found;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return found;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {
            ++at;   // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || jpeg.size() - at - 2 < length)
            break;   // truncated
        const std::span<const std::uint8_t> data = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE2 && data.size() >= 14 && std::memcmp(data.data(), kIcc, 12) == 0)
            takeIccChunk(found, data);
        else if (marker == 0xE1 && found.exif.empty() && data.size() >= 6 && std::memcmp(data.data(), kExif, 6) == 0)
            found.exif = data.subspan(6);
        at += 2 + length;
    }
    return found;
}

}  // namespace

std::optional<std::string> iccProfileProblem(std::span<const std::uint8_t> icc)
{
    if (icc.size() < kIccHeaderBytes + 4)
        return "shorter than an ICC header (" + std::to_string(icc.size()) + " bytes)";
    if (icc.size() > kMaxIccProfileBytes)
        return "larger than " + std::to_string(kMaxIccProfileBytes >> 20) + " MB";
    const std::uint64_t declared = be32(icc.data());
    if (declared != icc.size())
        return "declares " + std::to_string(declared) + " bytes in " + std::to_string(icc.size());
    if (std::memcmp(icc.data() + 36, "acsp", 4) != 0)
        return "no ICC signature";
    const std::uint64_t tags = be32(icc.data() + kIccHeaderBytes);
    if (kIccHeaderBytes + 4 + tags * 12 > declared)
        return "declares " + std::to_string(tags) + " tags, more than its bytes hold";
    for (std::uint64_t i = 0; i < tags; ++i) {
        const std::uint8_t* tag = icc.data() + kIccHeaderBytes + 4 + i * 12;
        const std::uint64_t offset = be32(tag + 4), size = be32(tag + 8);
        if (offset < kIccHeaderBytes + 4 || offset + size > declared)
            return "a tag lies outside the profile";
    }
    return std::nullopt;
}

ColourProfile checkedIccProfile(std::vector<std::uint8_t> icc)
{
    ColourProfile profile;
    if (const auto problem = iccProfileProblem(icc)) {
        profile.problem = *problem;
        return profile;
    }
    profile.kind = ColourProfile::Kind::Embedded;
    profile.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(icc));
    return profile;
}

ColourProfile readJpegColourProfile(std::span<const std::uint8_t> jpeg)
{
    const JpegSegments found = jpegSegments(jpeg);
    if (found.chunksDisagree || (!found.iccChunks.empty() && int(found.iccChunks.size()) != found.declaredChunks)) {
        ColourProfile damaged;
        damaged.problem = "its ICC_PROFILE chunks are incomplete or out of order";
        return damaged;
    }
    if (!found.iccChunks.empty()) {
        std::vector<std::uint8_t> icc;
        for (const auto& [sequence, chunk] : found.iccChunks)
            icc.insert(icc.end(), chunk.begin(), chunk.end());
        return checkedIccProfile(std::move(icc));
    }
    ColourProfile profile;
    if (exifSaysAdobeRgb(found.exif))
        profile.kind = ColourProfile::Kind::AdobeRgbByExif;
    return profile;
}

namespace {

ColourProfile damagedProfile(std::string problem)
{
    ColourProfile damaged;
    damaged.problem = std::move(problem);
    return damaged;
}

// iCCP: a name of 1 to 79 bytes, a zero, the compression method (0) and zlib data.
ColourProfile pngIccChunk(std::span<const std::uint8_t> chunk)
{
    const auto* nameEnd = static_cast<const std::uint8_t*>(std::memchr(chunk.data(), 0, std::min<std::size_t>(chunk.size(), 80)));
    if (!nameEnd || std::size_t(nameEnd - chunk.data()) + 2 > chunk.size() || nameEnd[1] != 0)
        return damagedProfile("a malformed iCCP chunk");
    const std::span<const std::uint8_t> compressed = chunk.subspan(std::size_t(nameEnd - chunk.data()) + 2);
    // Inflated into a buffer that grows as needed, never beyond the limit.
    std::vector<std::uint8_t> icc(std::size_t(64) << 10);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return damagedProfile("its iCCP chunk cannot be inflated");
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = uInt(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.total_out == icc.size()) {
            if (icc.size() >= kMaxIccProfileBytes)
                break;
            icc.resize(std::min(icc.size() * 2, kMaxIccProfileBytes));
        }
        stream.next_out = icc.data() + stream.total_out;
        stream.avail_out = uInt(icc.size() - stream.total_out);
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const std::size_t produced = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        return damagedProfile(produced == kMaxIccProfileBytes ? "larger than " + std::to_string(kMaxIccProfileBytes >> 20) + " MB"
                                                              : "its iCCP chunk does not inflate");
    icc.resize(produced);
    icc.shrink_to_fit();
    return checkedIccProfile(std::move(icc));
}

ColourProfile readPngColourProfile(std::span<const std::uint8_t> png)
{
    std::size_t at = 8;   // after the signature
    while (at + 8 <= png.size()) {
        const std::size_t length = be32(png.data() + at);
        const std::uint8_t* type = png.data() + at + 4;
        if (length > png.size() - at - 8)
            return {};
        if (std::memcmp(type, "iCCP", 4) == 0)
            return pngIccChunk(png.subspan(at + 8, length));
        if (std::memcmp(type, "IDAT", 4) == 0)
            return {};
        at += 12 + length;
    }
    return {};
}

ColourProfile readWebpColourProfile(std::span<const std::uint8_t> webp)
{
    std::size_t at = 12;   // after "RIFF", the size and "WEBP"
    while (at + 8 <= webp.size()) {
        const std::uint8_t* c = webp.data() + at;
        const std::size_t length = std::uint32_t(c[4]) | std::uint32_t(c[5]) << 8 | std::uint32_t(c[6]) << 16 | std::uint32_t(c[7]) << 24;
        if (length > webp.size() - at - 8)
            return {};
        if (std::memcmp(c, "ICCP", 4) == 0)
            return checkedIccProfile({c + 8, c + 8 + length});
        at += 8 + length + (length & 1);
    }
    return {};
}

ColourProfile readTiffColourProfile(std::span<const std::uint8_t> tiff)
{
    const TiffBytes b(tiff, tiff[0] == 'M');
    std::uint32_t ifd0 = 0, count = 0, offset = 0;
    if (!b.u32(4, ifd0))
        return {};
    const auto entry = b.entry(ifd0, 34675);
    if (!entry)
        return {};
    if (!b.u32(*entry + 4, count) || !b.u32(*entry + 8, offset) || count > kMaxIccProfileBytes)
        return damagedProfile("a malformed ICC tag");
    const std::uint8_t* icc = b.at(offset, count);
    if (!icc)
        return damagedProfile("its ICC tag lies outside the file");
    return checkedIccProfile({icc, icc + count});
}

}  // namespace

ColourProfile readColourProfile(std::span<const std::uint8_t> file)
{
    const auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return file.size() >= at + magic.size() && std::memcmp(file.data() + at, magic.data(), magic.size()) == 0;
    };
    if (starts("\xFF\xD8"))
        return readJpegColourProfile(file);
    if (starts("\x89PNG\r\n\x1a\n"))
        return readPngColourProfile(file);
    if (starts("RIFF") && starts("WEBP", 8))
        return readWebpColourProfile(file);
    if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4)))
        return readTiffColourProfile(file);
    return {};
}

}  // namespace vantorell
