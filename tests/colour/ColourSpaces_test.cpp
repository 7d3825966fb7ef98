// The working space: which pictures are converted and what a JPEG result carries, for every
// choice; and the conversion itself against Little CMS's own floating-point numbers.
#include "colour/ColourSpaces.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <cmath>

using namespace vantorell;

namespace {

ColourProfile embedded(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
{
    ColourProfile profile;
    profile.kind = ColourProfile::Kind::Embedded;
    profile.bytes = std::move(bytes);
    return profile;
}

ColourProfile byExif()
{
    ColourProfile profile;
    profile.kind = ColourProfile::Kind::AdobeRgbByExif;
    return profile;
}

ColourProfile damaged()
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(*adobeRgbIccProfile());
    (*bytes)[80] ^= 0xFF;   // no longer what Little CMS can use: its tag table is broken below
    std::fill(bytes->begin() + 132, bytes->end(), 0xEE);
    return embedded(std::move(bytes));
}

TEST(WorkingSpace, ConvertsOnlyWhatDiffersFromTheTarget)
{
    const ColourProfile none, adobe = embedded(adobeRgbIccProfile()), srgb = embedded(srgbIccProfile());
    enum Embeds { Nothing, First, Srgb };
    const struct {
        const char* name;
        ColourProfile first, second;
        ColourChoice choice;
        bool jpeg;
        bool convert1, convert2;
        Embeds embeds;
        std::size_t notes;
    } cases[] = {
        {"no profiles", none, none, ColourChoice::Keep, true, false, false, Nothing, 0},
        {"the same profile", adobe, adobe, ColourChoice::Keep, true, false, false, First, 0},
        {"sRGB into Adobe RGB", adobe, none, ColourChoice::Keep, true, false, true, First, 0},
        {"Adobe RGB into sRGB", none, adobe, ColourChoice::Keep, true, false, true, Nothing, 0},
        {"EXIF Adobe RGB first", byExif(), none, ColourChoice::Keep, true, false, true, First, 0},
        {"GIF or video: sRGB", adobe, adobe, ColourChoice::Keep, false, true, true, Nothing, 0},
        {"srgb choice", adobe, none, ColourChoice::Srgb, true, true, false, Srgb, 0},
        {"srgb choice, no profiles", none, none, ColourChoice::Srgb, true, false, false, Srgb, 0},
        {"ignore", adobe, srgb, ColourChoice::Ignore, true, false, false, Nothing, 0},
        {"damaged first counts as sRGB", damaged(), adobe, ColourChoice::Keep, true, false, true, Nothing, 1},
    };
    for (const auto& c : cases) {
        const ColourProfile profiles[] = {c.first, c.second};
        const WorkingSpace space = planWorkingSpace(profiles, c.choice, c.jpeg);
        ASSERT_EQ(space.conversions.size(), 2u) << c.name;
        EXPECT_EQ(bool(space.conversions[0]), c.convert1) << c.name;
        EXPECT_EQ(bool(space.conversions[1]), c.convert2) << c.name;
        EXPECT_EQ(space.notes.size(), c.notes) << c.name;
        const std::span<const std::uint8_t> written = space.resultProfile.iccBytes();
        switch (c.embeds) {
        case Nothing: EXPECT_TRUE(written.empty()) << c.name; break;
        case Srgb: EXPECT_TRUE(std::equal(written.begin(), written.end(), srgbIccProfile()->begin(), srgbIccProfile()->end())) << c.name; break;
        case First: EXPECT_TRUE(std::equal(written.begin(), written.end(), adobeRgbIccProfile()->begin(), adobeRgbIccProfile()->end())) << c.name; break;
        }
    }
}

// Every level of each channel and a spread of colours, Adobe RGB to sRGB and back, against Little
// CMS's floating-point transform: within one level (out-of-gamut colours clip alike).
TEST(WorkingSpace, ConvertsAsLittleCmsDoes)
{
    const ColourProfile adobe = embedded(adobeRgbIccProfile()), none;
    cmsHPROFILE adobeProfile = cmsOpenProfileFromMem(adobeRgbIccProfile()->data(), cmsUInt32Number(adobeRgbIccProfile()->size()));
    cmsHPROFILE srgbProfile = cmsCreate_sRGBProfile();
    for (const bool toSrgb : {true, false}) {
        const ColourProfile profiles[] = {toSrgb ? none : adobe, toSrgb ? adobe : none};
        const ColourConversion conversion = planWorkingSpace(profiles, ColourChoice::Keep, true).conversions[1];
        ASSERT_TRUE(conversion);
        cmsHTRANSFORM reference = cmsCreateTransform(toSrgb ? adobeProfile : srgbProfile, TYPE_RGB_DBL,
                                                     toSrgb ? srgbProfile : adobeProfile, TYPE_RGB_DBL, INTENT_PERCEPTUAL, 0);
        std::vector<std::uint8_t> pixels;   // each level on each channel alone, and mixed
        for (int i = 0; i < 256 * 4; ++i)
            for (int c = 0; c < 4; ++c)
                pixels.push_back(c == 3 ? 0x5A : i / 256 == 3 ? std::uint8_t(i * (c * 6 + 1) + c) : i / 256 == c ? std::uint8_t(i) : 40);
        const std::vector<std::uint8_t> before = pixels;
        conversion.convertRows(pixels.data(), pixels.size(), int(pixels.size() / 4), 1);
        for (std::size_t p = 0; p < before.size(); p += 4) {
            const double in[3] = {before[p + 2] / 255.0, before[p + 1] / 255.0, before[p] / 255.0};
            double out[3];
            cmsDoTransform(reference, in, out, 1);
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(pixels[p + 2 - std::size_t(c)], std::clamp(out[c], 0.0, 1.0) * 255.0, 1.0)
                    << (toSrgb ? "to sRGB" : "to Adobe RGB") << " pixel " << p / 4 << " channel " << c;
            ASSERT_EQ(pixels[p + 3], 0x5A);
        }
        cmsDeleteTransform(reference);
    }
    cmsCloseProfile(adobeProfile);
    cmsCloseProfile(srgbProfile);
}

}  // namespace
