// --progress json end to end: every stderr line is one JSON object, the last one the outcome.
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace vantorell {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const fs::path kMix = test::MixProgram();
const std::string kSamples = VANTORELL_SAMPLES_DIR;

std::vector<Json> jsonLines(const std::string& text)
{
    std::vector<Json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(Json::parse(line));   // throws on a line that is not JSON
    return lines;
}

TEST(CliProgressJson, EveryLineParsesAndTheLastIsTheOutcome)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    test::TempDir dir;
    const std::string pair = " --image1 " + kSamples + "/sample1.jpg --image2 " + kSamples + "/sample2.jpg";
    const std::string out = " --output '" + dir.path().string() + "'";
    struct Case {
        std::string arguments;
        int exit;
        bool written;
        std::string kind;   // a kind some line must have
    } cases[] = {
        {"--type overlay" + pair + out, 0, true, "message"},
        {"--type fade --frames 3 --format gif" + pair + out, 0, true, "message"},
        {"--type blend --image1 " + kSamples + "/sample1.jpg --image2 '/none\x1b\x01\xff.jpg'" + out, 1, false, "report"},
        {"--type blend --bogus", 2, false, "usage"},
        {"gif " + kSamples + "/sample1.jpg " + kSamples + "/sample2.jpg --output-file '" + (dir / "a.gif").string() + "'",
         0, true, "message"},
        {"gif " + kSamples + "/sample1.jpg /none.png --output-file '" + (dir / "b.gif").string() + "'", 1, false, "error"},
        {"batch --type overlay --dir1 " + kSamples + out, 2, false, "usage"},
        {"batch --type overlay --dir1 " + kSamples + " --dir2 " + kSamples + " --output '" + (dir / "o").string() + "'",
         0, false, "pair"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const test::ProgramRun run = test::RunProgram(kMix, c.arguments + " --progress json");
        EXPECT_EQ(run.status, c.exit);
        const std::vector<Json> lines = jsonLines(run.err);
        ASSERT_FALSE(lines.empty());
        const Json& end = lines.back();
        EXPECT_EQ(end.value("end", false), true);
        EXPECT_EQ(end["exit"], c.exit);
        EXPECT_EQ(end.contains("failure"), c.exit != 0);
        if (end.contains("written") && !end.contains("total")) {
            EXPECT_EQ(end["written"].is_string(), c.written);
        }
        bool kindSeen = false;
        for (const Json& line : lines) {
            kindSeen |= line.value("kind", "") == c.kind;
            if (line.contains("percent")) {
                EXPECT_TRUE(line.contains("step") && line.contains("done") && line.contains("total") &&
                            line.contains("elapsed"));
            }
        }
        EXPECT_TRUE(kindSeen);
    }
    // A name's control characters come through JSON's escapes, a byte that is not UTF-8 as \xHH.
    const test::ProgramRun failed = test::RunProgram(kMix, cases[2].arguments + " --progress json");
    EXPECT_NE(failed.err.find("\\u001b\\u0001"), std::string::npos);
    EXPECT_NE(jsonLines(failed.err).back()["failure"].get<std::string>().find("/none\x1b\x01\\xff.jpg"), std::string::npos);
}

}  // namespace
}  // namespace vantorell
