// vantorell-mix --output-file: the result under exactly the name given, the same bytes and
// messages as DIR/result.<ext>.
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

std::string bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

TEST(CliOutputFile, WritesExactlyTheNamedFile)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const std::string pair = "--image1 " + quoted(kSamples / "sample1.jpg") + " --image2 " + quoted(kSamples / "sample2.jpg");
    const test::ProgramRun reference = test::RunProgram(kMix, "--type blend " + pair + " --output " + quoted(dir.path()));
    ASSERT_EQ(reference.status, 0) << reference.err;
    const std::string expected = bytesOf(dir / "result.jpg");
    fs::remove(dir / "result.jpg");

    struct Case {
        std::string name;     // --output-file, under the test folder
        std::string written;  // what appears there; empty: nothing
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"mixed.jpg", "mixed.jpg", 0, ""},
        {"photo.JPEG", "photo.JPEG", 0, ""},
        {"no extension", "no extension.jpg", 0, ""},
        {"Ünïcode name.jpg", "Ünïcode name.jpg", 0, ""},
        {"missing/x.jpg", "", 1, "Vantorell: Folder does not exist. Please select another folder.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ProgramRun r = test::RunProgram(kMix, "--type blend " + pair + " --output-file " + quoted(dir / c.name));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.status == 0 ? "Done.\n" : "");
        if (!c.written.empty()) {
            EXPECT_EQ(bytesOf(dir / c.written), expected);
            fs::remove(dir / c.written);
        }
        // Nothing else is left: no temporary, no result.jpg.
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }

    for (const std::string& bad : {"--output . --output-file x.jpg", "--output-file ''", "--output-file dir/"}) {
        SCOPED_TRACE(bad);
        const test::ProgramRun r = test::RunProgram(kMix, "--type blend " + pair + " " + bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("vantorell-mix: "), std::string::npos);
    }
}

}  // namespace
}  // namespace vantorell
