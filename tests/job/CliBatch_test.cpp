// vantorell-mix batch end to end: the three sources of pairs, the names, refusals before
// anything runs, failing pairs, the JSON report, resuming after Ctrl+C, and shards.
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace vantorell {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

void writeFile(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (!entry.path().filename().string().starts_with(".vantorell-finished"))   // the record of finished results
            names.insert(entry.path().filename().string());
    return names;
}

std::vector<Json> reportLines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<Json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(Json::parse(line));   // throws on anything that is not one JSON object a line
    return lines;
}

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMix))
            GTEST_SKIP() << "vantorell-mix is not built";
        // Pictures with spaces and non-ASCII letters in their names, and a file that is none.
        for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
                 {"sample1.jpg", "a/sun set.jpg"}, {"sample2.jpg", "b/sun set.jpg"}, {"face1.jpg", "a/Ærø 2.jpg"},
                 {"face2.jpg", "b/Ærø 2.jpg"}, {"face1.jpg", "a/only here.jpg"}, {"face1.jpg", "seq/frame10.jpg"},
                 {"face2.jpg", "seq/frame2.jpg"}, {"sample1.jpg", "seq/frame1.jpg"}}) {
            fs::create_directories((dir / to).parent_path());
            fs::copy_file(kSamples / from, dir / to);
        }
        for (const char* folder : {"a", "b", "seq"})
            writeFile(dir / folder / "notes.txt", "not a picture");
    }
    test::ProgramRun batch(const std::string& arguments)
    {
        return test::RunProgram(kMix, "batch --type overlay --jobs 2 --output " + quoted(dir / "out") + " " + arguments);
    }
    test::TempDir dir;
};

TEST_F(CliBatch, EachSourceOfPairsNamesItsResults)
{
    writeFile(dir / "list" / "pairs.csv", "\xEF\xBB\xBF"
                                          "Image1 , image2,output\r\n"
                                          "../a/sun set.jpg,\"../b/sun set.jpg\",\"first, \"\"quoted\"\".jpg\"\r\n"
                                          "\r\n"
                                          "\"" + (dir / "a/Ærø 2.jpg").string() + "\",../b/Ærø 2.jpg,\r\n");
    struct Case {
        std::string source;
        std::set<std::string> outputs;
        std::string err;   // a line stderr holds
    };
    const Case cases[] = {
        {"--pairs " + quoted(dir / "list/pairs.csv"), {"first, \"quoted\".jpg", "Ærø 2-Ærø 2.jpg"}, "[2/2] ok"},
        {"--dir1 " + quoted(dir / "a") + " --dir2 " + quoted(dir / "b"), {"sun set-sun set.jpg", "Ærø 2-Ærø 2.jpg"},
         "1 picture without a namesake in the other folder left out"},
        {"--sequence " + quoted(dir / "seq") + " --name 'step {index} {stem2}'", {"1 frame2.jpg", "2 frame10.jpg"},
         "2 pairs: 2 written, 0 skipped, 0 failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        fs::remove_all(dir / "out");
        const test::ProgramRun r = batch(c.source + " --report " + quoted(dir / "report.jsonl"));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        std::set<std::string> expected;
        for (const std::string& name : c.outputs)
            expected.insert(name.starts_with("1 ") || name.starts_with("2 ") ? "step " + name : name);
        EXPECT_EQ(namesIn(dir / "out"), expected);
        const std::vector<Json> lines = reportLines(dir / "report.jsonl");
        ASSERT_EQ(lines.size(), 2u);
        for (const Json& line : lines) {
            EXPECT_EQ(line["status"], "ok");
            EXPECT_EQ(line["messages"], Json::array({"Done."}));
            EXPECT_TRUE(fs::exists(line["output"].get<std::string>()));
            EXPECT_TRUE(fs::exists(line["image1"].get<std::string>()));
            EXPECT_GE(line["seconds"].get<double>(), 0.0);
        }
    }
}

TEST_F(CliBatch, RefusesBeforeAnythingRuns)
{
    const std::string header = "image1,image2,output\n";
    struct Case {
        std::string csv;        // written as pairs.csv when not empty
        std::string arguments;  // empty: --pairs pairs.csv
        std::string err;
    };
    const Case cases[] = {
        {"image1,picture\nx.jpg,y.jpg\n", "", "must be a header naming the columns image1 and image2"},
        {"x.jpg,y.jpg\n", "", "must be a header naming the columns image1 and image2"},
        {header + "\"x.jpg,y.jpg,z\n", "", "unbalanced quotes: the quoted field opened on line 2 never closes"},
        {header + "x\"y.jpg,b.jpg,\n", "", "a quote inside an unquoted field (line 2)"},
        {header + std::string("x.jpg,y\0.jpg,\n", 14), "", "it holds a NUL byte (line 2)"},
        {header + "x.jpg,y.jpg\n", "", "a row has 2 fields where the header has 3 (line 2)"},
        {header + "x.jpg,y.jpg,../escape.jpg\n", "", "which is not a file name inside the output folder"},
        {header + "x.jpg,y.jpg,same\nz.jpg,w.jpg,same.jpg\n", "", "pairs 1 and 2 would both be written as \"same.jpg\""},
        {header + std::string(4100, 'x') + ",y.jpg,\n", "", "a field is longer than 4096 bytes (line 2)"},
        {"\xFF\xFEi\0m\0", "", "it is UTF-16 text"},
        {"", "--dir1 " + quoted(dir / "a") + " --dir2 " + quoted(dir / "b") + " --name fixed.jpg",
         "pairs 1 and 2 would both be written as \"fixed.jpg\""},
        {"", "--sequence " + quoted(dir / "seq") + " --name '{stem}.jpg'", "unknown field \"{stem}\""},
        {"", "--sequence " + quoted(dir / "a") + " --dir1 x --dir2 y", "exactly one source of pairs"},
        {"", "--dir1 " + quoted(dir / "a"), "--dir1 and --dir2 go together"},
        {"", "--sequence " + quoted(dir / "nothing"), "is not a folder"},
        {"", "--sequence " + quoted(dir / "seq") + " --jobs 0", "--jobs takes a whole number"},
        {"", "--sequence " + quoted(dir / "seq") + " --shard 3/2", "--shard takes K/N"},
        {"", "--sequence " + quoted(dir / "seq") + " --image1 x.jpg", "unknown option \"--image1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? c.csv.substr(0, 60) : c.arguments);
        fs::remove_all(dir / "out");
        if (!c.csv.empty())
            writeFile(dir / "pairs.csv", c.csv);
        const test::ProgramRun r = batch(c.arguments.empty() ? "--pairs " + quoted(dir / "pairs.csv") : c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST_F(CliBatch, AFailingPairDoesNotStopTheOthers)
{
    writeFile(dir / "pairs.csv", "image1,image2\n"
                                 "a/sun set.jpg,b/sun set.jpg\n"
                                 "a/missing.jpg,b/sun set.jpg\n"
                                 "a/notes.txt,b/sun set.jpg\n"
                                 "a/Ærø 2.jpg,b/Ærø 2.jpg\n");
    const test::ProgramRun r = batch("--pairs " + quoted(dir / "pairs.csv") + " --report " + quoted(dir / "r.jsonl"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(namesIn(dir / "out"), (std::set<std::string>{"sun set-sun set.jpg", "Ærø 2-Ærø 2.jpg"}));
    std::map<std::string, std::string> statusOf;
    for (const Json& line : reportLines(dir / "r.jsonl")) {
        statusOf[fs::path(line["image1"].get<std::string>()).filename().string()] = line["status"];
        if (line["status"] == "failed") {
            const auto messages = line["messages"].get<std::vector<std::string>>();
            ASSERT_FALSE(messages.empty());
            EXPECT_TRUE(messages.back().starts_with("No result was written: Image #1 (" + line["image1"].get<std::string>() +
                                                    ") could not be read: "))
                << messages.back();
        }
    }
    EXPECT_EQ(statusOf, (std::map<std::string, std::string>{
                            {"sun set.jpg", "ok"}, {"missing.jpg", "failed"}, {"notes.txt", "failed"}, {"Ærø 2.jpg", "ok"}}));
    EXPECT_NE(r.err.find("failed"), std::string::npos);
    EXPECT_NE(r.err.find("4 pairs: 2 written, 0 skipped, 2 failed"), std::string::npos) << r.err;
}

// A pair whose picture carries a damaged colour profile gets the single job's note, named.
TEST_F(CliBatch, ColourNotesNameTheirPair)
{
    std::ifstream sample(kSamples / "sample1.jpg", std::ios::binary);
    const std::string plain{std::istreambuf_iterator<char>(sample), {}};
    writeFile(dir / "a/damaged.jpg", plain.substr(0, 2) + std::string("\xFF\xE2\x00\x90ICC_PROFILE\0\1\1", 18) +
                                         std::string(128, '\0') + plain.substr(2));
    fs::copy_file(kSamples / "sample2.jpg", dir / "b/damaged.jpg");
    writeFile(dir / "pairs.csv", "image1,image2\na/damaged.jpg,b/damaged.jpg\na/sun set.jpg,b/sun set.jpg\n");
    const test::ProgramRun r = batch("--pairs " + quoted(dir / "pairs.csv") + " --report " + quoted(dir / "r.jsonl"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("vantorell-mix batch: note: damaged.jpg + damaged.jpg -> " + (dir / "out").string() +
                         "/damaged-damaged.jpg: Image #1's colour profile was ignored: "),
              std::string::npos)
        << r.err;
    for (const Json& line : reportLines(dir / "r.jsonl"))
        EXPECT_EQ(line.contains("notes"), line["image1"].get<std::string>().ends_with("damaged.jpg")) << line.dump();
}

TEST_F(CliBatch, SkipExistingResumesAfterCtrlC)
{
    // Pairs slow enough to interrupt: two big lossless pictures, many times over.
    const std::string first = test::writePicture(dir, "big1.bmp", 2400, 1600, 1);
    const std::string second = test::writePicture(dir, "big2.bmp", 2400, 1600, 2);
    std::string csv = "image1,image2,output\n";
    constexpr int kPairs = 40;
    for (int i = 0; i < kPairs; ++i)
        csv += first + "," + second + ",r" + std::to_string(i) + "\n";
    writeFile(dir / "pairs.csv", csv);
    const std::string arguments =
        "batch --type overlay --quality 80 --jobs 2 --pairs " + quoted(dir / "pairs.csv") + " --output " + quoted(dir / "out");
    {
        test::StartedProgram running(kMix, arguments);
        const auto finished = [&] {
            std::size_t n = 0;
            for (const std::string& name : namesIn(dir / "out"))
                n += name.find(".vantorell-") == std::string::npos;
            return n;
        };
        for (int i = 0; i < 2000 && finished() < 3; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        running.signal(SIGINT);
        const auto ended = running.wait(std::chrono::seconds(20));
        ASSERT_TRUE(ended);
        EXPECT_EQ(ended->status, 130) << ended->err;
    }
    // Only whole results are left: each is a picture, and nothing else is there.
    const std::set<std::string> left = namesIn(dir / "out");
    ASSERT_GE(left.size(), 3u);
    ASSERT_LT(left.size(), std::size_t(kPairs));
    for (const std::string& name : left) {
        EXPECT_EQ(name.find(".vantorell-"), std::string::npos) << name;
        std::ifstream in(dir / "out" / name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(bytes.starts_with("\xFF\xD8") && bytes.ends_with("\xFF\xD9")) << name;
    }

    const test::ProgramRun resumed =
        test::RunProgram(kMix, arguments + " --skip-existing --report " + quoted(dir / "r.jsonl"));
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(namesIn(dir / "out").size(), std::size_t(kPairs));
    std::size_t skipped = 0;
    for (const Json& line : reportLines(dir / "r.jsonl"))
        skipped += line["status"] == "skipped";
    EXPECT_EQ(skipped, left.size());
}

TEST_F(CliBatch, ShardsSplitTheListWithoutCollisions)
{
    std::set<std::string> all;
    std::size_t reported = 0;
    for (const char* shard : {"1/2", "2/2"}) {
        const test::ProgramRun r = batch("--sequence " + quoted(dir / "seq") + " --shard " + shard + " --name '{index}' --report " +
                                         quoted(dir / "r.jsonl"));
        EXPECT_EQ(r.status, 0) << r.err;
    }
    for (const char* report : {"r.1-of-2.jsonl", "r.2-of-2.jsonl"}) {
        const std::vector<Json> lines = reportLines(dir / report);
        ASSERT_EQ(lines.size(), 1u) << report;
        all.insert(fs::path(lines[0]["output"].get<std::string>()).filename().string());
        reported += lines.size();
    }
    EXPECT_EQ(all, (std::set<std::string>{"1.jpg", "2.jpg"}));
    EXPECT_EQ(namesIn(dir / "out"), all);
    EXPECT_FALSE(fs::exists(dir / "r.jsonl"));
}

}  // namespace
}  // namespace vantorell
