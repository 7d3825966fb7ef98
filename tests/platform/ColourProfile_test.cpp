// Colour profiles read from files: every container's profile is found, and hostile profiles and
// containers (truncated, oversized, wrong tag counts, chunks missing) are dropped with a reason.
#include "platform/ColourProfile.h"
#include "platform/JpegCodec.h"
#include "platform/PictureLoader.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <zlib.h>

namespace vantorell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (24 - 8 * i));
}

// A structurally sound profile of `size` bytes with one tag of 20 bytes at the end.
Bytes icc(std::uint32_t size = 200)
{
    Bytes b(size, 0);
    put32(b, 0, size);
    std::copy_n("acsp", 4, b.begin() + 36);
    put32(b, 128, 1);
    put32(b, 136, size - 20);
    put32(b, 140, 20);
    return b;
}

Bytes withChange(Bytes b, std::size_t at, std::uint32_t value)
{
    put32(b, at, value);
    return b;
}

TEST(IccProfile, ChecksEveryLength)
{
    const struct {
        const char* name;
        Bytes bytes;
        bool sound;
    } cases[] = {
        {"sound", icc(), true},
        {"truncated to its header", Bytes(100, 0), false},
        {"truncated after its header", withChange(icc(150), 0, 200), false},
        {"100 MB declared in 30 bytes", withChange(Bytes(30, 0), 0, 100u << 20), false},
        {"declares more than it has", withChange(icc(), 0, 4000), false},
        {"larger than the limit", withChange(Bytes(kMaxIccProfileBytes + 1, 0), 0, std::uint32_t(kMaxIccProfileBytes + 1)), false},
        {"no signature", withChange(icc(), 36, 0), false},
        {"a billion tags", withChange(icc(), 128, 1000000000), false},
        {"a tag beyond the end", withChange(icc(), 140, 0xFFFFFFF0), false},
        {"a tag inside the header", withChange(icc(), 136, 8), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!iccProfileProblem(c.bytes).has_value(), c.sound) << c.name;
        EXPECT_EQ(checkedIccProfile(c.bytes).present(), c.sound) << c.name;
    }
}

// A small JPEG with the given segments right after its SOI.
Bytes jpegWith(const std::vector<Bytes>& segments)
{
    TempDir dir;
    const std::string file = (dir.path() / "p.jpg").string();
    EXPECT_TRUE(encodeJpeg(Bitmap(16, 8), file, 90));
    std::ifstream in(file, std::ios::binary);
    const Bytes plain((std::istreambuf_iterator<char>(in)), {});
    Bytes out{0xFF, 0xD8};
    for (const Bytes& s : segments)
        out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), plain.begin() + 2, plain.end());
    return out;
}

Bytes segment(std::uint8_t marker, const Bytes& payload)
{
    const std::size_t length = payload.size() + 2;
    Bytes s{0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

Bytes iccChunk(int sequence, int count, const Bytes& part)
{
    Bytes p{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, std::uint8_t(sequence), std::uint8_t(count)};
    p.insert(p.end(), part.begin(), part.end());
    return segment(0xE2, p);
}

// "Exif\0\0", a big-endian TIFF: IFD0 -> Exif IFD (ColorSpace, interoperability) -> index.
Bytes exifColourSpace(std::uint16_t colourSpace, const char* index)
{
    Bytes t{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        t.insert(t.end(), {std::uint8_t(tag >> 8), std::uint8_t(tag), 0, std::uint8_t(type), 0, 0, 0, std::uint8_t(count),
                           std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value)});
    };
    t.insert(t.end(), {0, 1});
    entry(0x8769, 4, 1, 26);   // IFD0 at 8: one entry, then the Exif IFD at 8 + 2 + 12 + 4 = 26
    t.insert(t.end(), {0, 0, 0, 0});
    t.insert(t.end(), {0, 2});
    entry(0xA001, 3, 1, std::uint32_t(colourSpace) << 16);
    entry(0xA005, 4, 1, 26 + 2 + 24 + 4);
    t.insert(t.end(), {0, 0, 0, 0});
    t.insert(t.end(), {0, 1});
    entry(0x0001, 2, 4, std::uint32_t(index[0]) << 24 | std::uint32_t(index[1]) << 16 | std::uint32_t(index[2]) << 8);
    return t;
}

// A PNG of IHDR and one more chunk (CRCs are not ours to check: zero).
Bytes png(const Bytes& type, const Bytes& body)
{
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    b.resize(b.size() + 17, 0);
    b.resize(b.size() + 4);
    put32(b, b.size() - 4, std::uint32_t(body.size()));
    b.insert(b.end(), type.begin(), type.end());
    b.insert(b.end(), body.begin(), body.end());
    b.resize(b.size() + 4, 0);
    return b;
}

Bytes iccpBody(const Bytes& profile)
{
    Bytes body{'p', 0, 0};
    uLongf size = compressBound(uLong(profile.size()));
    Bytes packed(size);
    compress(packed.data(), &size, profile.data(), uLong(profile.size()));
    body.insert(body.end(), packed.begin(), packed.begin() + long(size));
    return body;
}

TEST(ColourProfileReader, FindsTheProfileOfEveryContainer)
{
    const Bytes profile = icc(300);
    const Bytes first(profile.begin(), profile.begin() + 120), rest(profile.begin() + 120, profile.end());
    const Bytes zeros(kMaxIccProfileBytes + 1, 0);
    const Bytes bomb = iccpBody(withChange(zeros, 0, std::uint32_t(zeros.size())));
    Bytes webp{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'I', 'C', 'C', 'P', 44, 1, 0, 0};
    webp.insert(webp.end(), profile.begin(), profile.end());
    using K = ColourProfile::Kind;
    const struct {
        const char* name;
        Bytes file;
        K kind;
        bool problem;
    } cases[] = {
        {"JPEG without profile", jpegWith({}), K::None, false},
        {"JPEG, two chunks", jpegWith({iccChunk(1, 2, first), iccChunk(2, 2, rest)}), K::Embedded, false},
        {"JPEG, chunks out of order", jpegWith({iccChunk(2, 2, rest), iccChunk(1, 2, first)}), K::Embedded, false},
        {"JPEG, a chunk missing", jpegWith({iccChunk(1, 2, first)}), K::None, true},
        {"JPEG, a chunk twice", jpegWith({iccChunk(1, 2, first), iccChunk(1, 2, first)}), K::None, true},
        {"JPEG, counts disagree", jpegWith({iccChunk(1, 2, first), iccChunk(2, 3, rest)}), K::None, true},
        {"JPEG, sequence zero", jpegWith({iccChunk(0, 1, profile)}), K::None, true},
        {"JPEG, a truncated profile", jpegWith({iccChunk(1, 1, first)}), K::None, true},
        {"JPEG, EXIF Adobe RGB", jpegWith({segment(0xE1, exifColourSpace(0xFFFF, "R03"))}), K::AdobeRgbByExif, false},
        {"JPEG, EXIF sRGB", jpegWith({segment(0xE1, exifColourSpace(1, "R98"))}), K::None, false},
        {"JPEG, EXIF uncalibrated R98", jpegWith({segment(0xE1, exifColourSpace(0xFFFF, "R98"))}), K::None, false},
        {"PNG iCCP", png({'i', 'C', 'C', 'P'}, iccpBody(profile)), K::Embedded, false},
        {"PNG gAMA only", png({'g', 'A', 'M', 'A'}, {0, 0, 0xB1, 0x8F}), K::None, false},
        {"PNG iCCP that does not inflate", png({'i', 'C', 'C', 'P'}, {'p', 0, 0, 1, 2, 3}), K::None, true},
        {"PNG iCCP inflating beyond the limit", png({'i', 'C', 'C', 'P'}, bomb), K::None, true},
        {"WebP ICCP", webp, K::Embedded, false},
        {"WebP ICCP longer than the file", Bytes(webp.begin(), webp.end() - 1), K::None, false},
    };
    for (const auto& c : cases) {
        const ColourProfile read = readColourProfile(c.file);
        EXPECT_EQ(read.kind, c.kind) << c.name;
        EXPECT_EQ(!read.problem.empty(), c.problem) << c.name << ": " << read.problem;
        if (c.kind == K::Embedded) {
            EXPECT_EQ(Bytes(read.iccBytes().begin(), read.iccBytes().end()), profile) << c.name;
        }
    }
    // The loader carries the profile on the picture.
    EXPECT_EQ(loadPictureFromBytes(jpegWith({iccChunk(1, 1, profile)})).colourProfile().kind, K::Embedded);
}

}  // namespace
}  // namespace vantorell::test
