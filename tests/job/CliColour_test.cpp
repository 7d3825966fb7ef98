// vantorell-mix --colour: a JPEG result carries the first picture's profile; pictures without
// profiles, and --colour ignore, give today's bytes.
#include "colour/ColourSpaces.h"
#include "platform/ColourProfile.h"

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;

std::vector<std::uint8_t> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The sample with an Adobe RGB profile in one APP2 chunk after its SOI: the same numbers, tagged.
fs::path taggedCopy(const fs::path& sample, const fs::path& folder)
{
    const std::vector<std::uint8_t> plain = bytesOf(sample), icc = *adobeRgbIccProfile();
    std::vector<std::uint8_t> tagged{0xFF, 0xD8, 0xFF, 0xE2, std::uint8_t((icc.size() + 16) >> 8), std::uint8_t(icc.size() + 16)};
    for (const char c : std::string_view("ICC_PROFILE\0\1\1", 14))
        tagged.push_back(std::uint8_t(c));
    tagged.insert(tagged.end(), icc.begin(), icc.end());
    tagged.insert(tagged.end(), plain.begin() + 2, plain.end());
    const fs::path file = folder / ("tagged-" + sample.filename().string());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(tagged.data()), std::streamsize(tagged.size()));
    return file;
}

TEST(CliColour, JpegResultsCarryTheFirstPicturesProfile)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const fs::path plain1 = kSamples / "sample1.jpg", plain2 = kSamples / "sample2.jpg";
    const fs::path tagged1 = taggedCopy(plain1, dir.path());
    const auto run = [&](const std::string& type, const fs::path& image1, const std::string& colour) {
        const fs::path out = dir / (type + colour + image1.filename().string());
        fs::create_directory(out);
        const test::ProgramRun r = test::RunProgram(kMix, "--type " + type + " --image1 '" + image1.string() + "' --image2 '" +
                                                              plain2.string() + "' --output '" + out.string() + "'" + colour);
        EXPECT_EQ(r.status, 0) << r.err;
        return bytesOf(out / "result.jpg");
    };
    for (const std::string type : {"overlay", "blend"}) {
        SCOPED_TRACE(type);
        const std::vector<std::uint8_t> untagged = run(type, plain1, "");
        EXPECT_EQ(readColourProfile(untagged).kind, ColourProfile::Kind::None);
        EXPECT_EQ(run(type, plain1, " --colour ignore"), untagged);
        EXPECT_EQ(run(type, tagged1, " --colour ignore"), untagged);
        const ColourProfile kept = readColourProfile(run(type, tagged1, ""));
        ASSERT_EQ(kept.kind, ColourProfile::Kind::Embedded);
        EXPECT_TRUE(std::ranges::equal(kept.iccBytes(), *adobeRgbIccProfile()));
        const ColourProfile srgb = readColourProfile(run(type, tagged1, " --colour srgb"));
        EXPECT_TRUE(std::ranges::equal(srgb.iccBytes(), *srgbIccProfile()));
    }
}

// Animations are sRGB: MP4 and WebM say so in their streams, as FFmpeg's own reader sees them;
// APNG in an sRGB chunk before its frames (FFmpeg 5.1's reader does not report one); WebP in an
// sRGB profile that our reader takes.
TEST(CliColour, VideoResultsAreTaggedSrgb)
{
    const fs::path probe = "/usr/bin/ffprobe";
    if (!fs::exists(kMix) || !fs::exists(probe))
        GTEST_SKIP() << "vantorell-mix or ffprobe is missing";
    const struct {
        const char* format;
        const char* file;
    } cases[] = {{"mp4", "result.mp4"}, {"webm", "result.webm"}, {"apng", "result.png"}, {"webp", "result.webp"}};
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const test::ProgramRun made = test::RunProgram(
            kMix, std::string("--type fade --frames 2 --format ") + c.format + " --image1 '" + (kSamples / "face1.jpg").string() +
                      "' --image2 '" + (kSamples / "face2.jpg").string() + "' --output '" + dir.path().string() + "'");
        ASSERT_EQ(made.status, 0) << made.err;
        if (std::string_view(c.format) == "apng") {
            const std::vector<std::uint8_t> png = bytesOf(dir / c.file);
            const std::string_view chunk("\0\0\0\1sRGB", 8);   // its length, then its name
            const auto found = std::search(png.begin(), png.end(), chunk.begin(), chunk.end());
            EXPECT_NE(found, png.end());
            EXPECT_LT(found - png.begin(), std::string_view(reinterpret_cast<const char*>(png.data()), png.size()).find("fcTL"));
            continue;
        }
        if (std::string_view(c.format) == "webp") {
            const ColourProfile profile = readColourProfile(bytesOf(dir / c.file));
            ASSERT_EQ(profile.kind, ColourProfile::Kind::Embedded) << profile.problem;
            EXPECT_EQ(*profile.bytes, *srgbIccProfile());
            continue;
        }
        const test::ProgramRun r = test::RunProgram(
            probe, "-v error -select_streams v:0 -show_entries stream=color_range,color_space,color_transfer,color_primaries "
                   "-of default=nw=1 '" + (dir / c.file).string() + "'");
        EXPECT_EQ(r.out, "color_range=tv\ncolor_space=bt709\ncolor_transfer=iec61966-2-1\ncolor_primaries=bt709\n") << r.err;
    }
}

}  // namespace
}  // namespace vantorell
