// vantorell-mix given pictures it cannot use: cut short, claiming far more than they hold, a
// FIFO, a missing file. Each fails at once with its name and the reason, and leaves nothing.
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;
const fs::path kData = fs::path(VANTORELL_SOURCE_DIR) / "tests/data/picture";

std::string bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path write(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

std::string le32(std::int32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A BMP with a 40-byte header and `pixels` after it.
std::string bmp(std::int32_t width, std::int32_t height, int bits, const std::string& pixels, std::size_t fileSize = 0)
{
    const std::string size = le32(std::int32_t(fileSize ? fileSize : 54 + pixels.size()));
    return "BM" + size + le32(0) + le32(54) + le32(40) + le32(width) + le32(height) + std::string{1, 0, char(bits), 0} +
           le32(0) + le32(std::int32_t(pixels.size())) + le32(2835) + le32(2835) + le32(0) + le32(0) + pixels;
}

// The same 3 x 2 picture bottom up (24 bits) and top down (24 and 32 bits).
std::string bottomUp24() { return bmp(3, 2, 24, std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90\0\0\0" "\xA0\xB0\xC0\xD0\xE0\xF0\x11\x22\x33\0\0\0", 24)); }
std::string topDown24() { return bmp(3, -2, 24, std::string("\xA0\xB0\xC0\xD0\xE0\xF0\x11\x22\x33\0\0\0" "\x10\x20\x30\x40\x50\x60\x70\x80\x90\0\0\0", 24)); }
std::string topDown32()
{
    return bmp(3, -2, 32, std::string("\xA0\xB0\xC0\0\xD0\xE0\xF0\0\x11\x22\x33\0" "\x10\x20\x30\0\x40\x50\x60\0\x70\x80\x90\0", 24));
}

// A baseline JPEG header claiming 16000 x 16000 with a few bytes of scan data: 162 bytes.
std::string tinyJpegClaimingHuge()
{
    std::string jpeg = "\xFF\xD8\xFF\xDB" + std::string{0, 67, 0} + std::string(64, '\x01');
    jpeg += "\xFF\xC0" + std::string{0, 17, 8, '\x3E', '\x80', '\x3E', '\x80', 3, 1, '\x22', 0, 2, '\x11', 0, 3, '\x11', 0};
    jpeg += "\xFF\xDA" + std::string{0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0};
    return jpeg + std::string(162 - jpeg.size(), '\x55');
}

TEST(CliDamagedInput, EachFailsAtOnceNamingTheFileAndLeavesNothing)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const fs::path in = dir / "in", out = dir / "out";
    fs::create_directories(in);
    fs::create_directories(out);
    const auto cut = [&](const char* name, std::size_t keep) {
        return write(in / ("cut-" + std::string(name)), bytesOf(kData / name).substr(0, keep));
    };
    const fs::path fifo = in / "fifo.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string endsEarly = "is damaged: its data ends early.";

    const struct {
        std::string what;
        fs::path picture;
        std::string problem;
    } cases[] = {
        {"truncated JPEG", kData / "truncated.jpg", endsEarly},
        {"truncated BMP", cut("small.bmp", 4000), endsEarly},
        {"truncated GIF", cut("small-two-frames.gif", 300), endsEarly},
        {"GIF cut in its first frame", cut("small-two-frames.gif", 900), endsEarly},
        {"truncated PNG", cut("small.png", 3000), endsEarly},
        {"162-byte JPEG claiming 16000 x 16000", write(in / "huge.jpg", tinyJpegClaimingHuge()), endsEarly},
        {"354-byte BMP claiming 16000 x 16000", write(in / "huge.bmp", bmp(16000, 16000, 24, std::string(300, 'x'), 354)),
         endsEarly},
        {"FIFO", fifo, "could not be read: it is a FIFO, not a file."},
        {"folder", in, "could not be read: it is a folder."},
        {"missing", in / "missing.jpg", "could not be read: no such file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path result = out / "result.jpg";
        const test::ProgramRun run = test::RunProgram(
            kMix, "--type overlay --image1 '" + c.picture.string() + "' --image2 '" + (kSamples / "sample2.jpg").string() +
                      "' --output-file '" + result.string() + "'");
        EXPECT_EQ(run.status, 1);
        const std::string closing = "Vantorell: No result was written: Image #1 (" + c.picture.string() + ") " + c.problem + "\n";
        EXPECT_TRUE(run.err.ends_with(closing)) << run.err;
        EXPECT_TRUE(fs::is_empty(out)) << "a result or temporary was left";
    }
}

TEST(CliDamagedInput, TopDownBmpsLoadAsTheirBottomUpTwin)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const auto overlay = [&](const std::string& name, const std::string& bytes) {
        const fs::path picture = write(dir / (name + ".bmp"), bytes), result = dir / (name + ".jpg");
        const test::ProgramRun run = test::RunProgram(kMix, "--type overlay --quality 90 --image1 '" + picture.string() +
                                                                "' --image2 '" + picture.string() + "' --output-file '" +
                                                                result.string() + "'");
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        return bytesOf(result);
    };
    const std::string reference = overlay("bottom-up", bottomUp24());
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(overlay("top-down-24", topDown24()), reference);
    EXPECT_EQ(overlay("top-down-32", topDown32()), reference);
}

TEST(CliDamagedInput, AFadeOverTheMemoryLimitIsRefusedNamingTheNeed)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir out, temp;
    const test::ProgramRun run = test::RunProgram(
        kMix, "--type fade --frames 2 --memory-limit 1MB --image1 '" + (kSamples / "sample1.jpg").string() + "' --image2 '" +
                  (kSamples / "sample2.jpg").string() + "' --output '" + out.path().string() + "'",
        "TEMP='" + temp.path().string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Vantorell: No result was written: this job needs about "), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.ends_with(" of memory for its pictures and frames, more than the limit of 1.00 MB for one job.\n"))
        << run.err;
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

}  // namespace
}  // namespace vantorell
