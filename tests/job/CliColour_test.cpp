// vantorell-mix --colour: a JPEG result carries the first picture's profile; pictures without
// profiles, and --colour ignore, give today's bytes.
#include "colour/ColourSpaces.h"
#include "platform/ColourProfile.h"

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantorell
