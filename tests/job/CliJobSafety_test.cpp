// vantorell-mix used carelessly: a result or report that is one of the run's own inputs, a
// report that cannot be written, a job that reports an error while it makes its result, a batch
// resumed over files it did not finish. Every input stays byte for byte, the earlier result
// stays, and no temporary is left.
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

// Every file under the folder and its bytes (a link: where it points).
std::map<std::string, std::string> snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory() || entry.is_symlink())
            files[entry.path().string()] = entry.is_symlink() ? fs::read_symlink(entry).string() : readFile(entry.path());
    return files;
}

class CliJobSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMix))
            GTEST_SKIP() << "vantorell-mix is not built";
        for (const char* folder : {"p", "q", "out", "sub"})
            fs::create_directory(dir / folder);
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "p/x.bmp", "q/x.bmp"})
            test::writePicture(dir, name, 64, 48, name[0]);
        writeFile(dir / "pairs.csv", "image1,image2,output\na.bmp,b.bmp,r1\nb.bmp,c.bmp,r2\n");
        const std::string grid = R"({"width": 256, "height": 256, "points": [[0,0],[128,0],[256,0],[0,128],)"
                                 R"([128,128],[256,128],[0,256],[128,256],[256,256]]})";
        writeFile(dir / "mesh.json", R"({"columns": 2, "rows": 2, "mesh1": )" + grid + R"(, "mesh2": )" + grid + "}");
        writeFile(dir / "out/earlier.jpg", "the earlier result\n");
    }
    static test::ProgramRun mix(const std::string& arguments) { return test::RunProgram(kMix, arguments); }
    std::string at(const std::string& name) const { return quoted(dir / name); }
    std::string pair() const { return "--image1 " + at("a.bmp") + " --image2 " + at("b.bmp"); }

    test::TempDir dir;
};

// A result or report that would be an input, by whatever path, is refused before anything runs:
// exit status 2, both paths named, not a byte changed anywhere.
TEST_F(CliJobSafety, AnOutputThatIsAnInputIsRefused)
{
    fs::create_symlink(dir / "a.bmp", dir / "out/result.jpg");
    const std::string a = (dir / "a.bmp").string();
    struct Case {
        const char* what;
        std::string arguments;
        std::string named;   // in the message
    };
    const Case cases[] = {
        {"--output-file is Image #1", "--type blend " + pair() + " --output-file " + at("a.bmp"),
         "the result \"" + a + "\" is the input \"" + a + "\""},
        {"--output-file by another route", "--type overlay " + pair() + " --output-file " + at("sub/../b.bmp"),
         "sub/../b.bmp\" is the input \"" + (dir / "b.bmp").string()},
        {"result.jpg links to Image #1", "--type blend --image1 " + at("c.bmp") + " --image2 " + at("a.bmp") +
                                             " --output " + at("out"),
         "out/result.jpg\" is the input \"" + a + "\""},
        {"a sequence's third picture", "--type fade --sequence-files " + at("a.bmp") + " " + at("b.bmp") + " " +
                                           at("c.bmp") + " --output-file " + at("c.bmp"),
         "c.bmp\" is the input"},
        {"the mesh file", "--type fade " + pair() + " --mesh " + at("mesh.json") + " --output-file " + at("mesh.json"),
         "mesh.json\" is the input"},
        {"a batch's --name onto a picture", "batch --type blend --dir1 " + at("p") + " --dir2 " + at("q") +
                                                " --output " + at("p") + " --name '{stem1}.bmp'",
         "p/x.bmp\" is the input \"" + (dir / "p/x.bmp").string()},
        {"--report is the pairs file", "batch --type blend --pairs " + at("pairs.csv") + " --output " + at("out") +
                                           " --report " + at("pairs.csv"),
         "the report \"" + (dir / "pairs.csv").string() + "\" is the input"},
        {"--report is a result", "batch --type blend --pairs " + at("pairs.csv") + " --output " + at("out") +
                                     " --report " + at("out/r2.jpg"),
         "the report \"" + (dir / "out/r2.jpg").string() + "\" is a result of the batch"},
    };
    const auto before = snapshot(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::ProgramRun run = mix(c.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

// A report that cannot be written fails the batch, naming it. --skip-existing then skips a
// result only as the batch finished it: not one changed since, not an empty one, not a file of
// that name from elsewhere.
TEST_F(CliJobSafety, SkipExistingSkipsOnlyFinishedResults)
{
    writeFile(dir / "pairs.csv", "image1,image2,output\na.bmp,b.bmp,r1\nb.bmp,c.bmp,r2\na.bmp,c.bmp,r3\nc.bmp,a.bmp,r4\n");
    const std::string batch = "batch --type blend --jobs 2 --pairs " + at("pairs.csv") + " --output " + at("out");
    const test::ProgramRun first = mix(batch + " --report /dev/full");
    EXPECT_EQ(first.status, 1);
    EXPECT_NE(first.err.find("the report /dev/full could not be written: No space left on device"), std::string::npos)
        << first.err;
    const std::string r3 = readFile(dir / "out/r3.jpg");
    writeFile(dir / "out/r1.jpg", "changed since");
    writeFile(dir / "out/r2.jpg", "");
    fs::remove(dir / "out/r4.jpg");
    writeFile(dir / "out/r4.jpg", readFile(dir / "out/r3.jpg"));   // another tool's copy

    const test::ProgramRun resumed = mix(batch + " --skip-existing --report " + at("r.jsonl"));
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    std::map<std::string, std::string> statusOf;
    std::ifstream report(dir / "r.jsonl");
    for (std::string line; std::getline(report, line);) {
        const nlohmann::json json = nlohmann::json::parse(line);
        statusOf[fs::path(json["output"].get<std::string>()).filename().string()] = json["status"];
    }
    EXPECT_EQ(statusOf, (std::map<std::string, std::string>{
                            {"r1.jpg", "ok"}, {"r2.jpg", "ok"}, {"r3.jpg", "skipped"}, {"r4.jpg", "ok"}}));
    EXPECT_EQ(readFile(dir / "out/r3.jpg"), r3);
    EXPECT_TRUE(readFile(dir / "out/r1.jpg").starts_with("\xFF\xD8"));
    EXPECT_GT(fs::file_size(dir / "out/r2.jpg"), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Memory that runs out part-way: under every address-space limit from ample down to too little
// to load a picture, the job either writes its whole result (exit 0, "Done.") or writes nothing
// and keeps the earlier one (exit 1); a frame that ran out of memory is named.
TEST_F(CliJobSafety, AJobThatRanOutOfMemoryWritesNothing)
{
    if (kSanitized)
        GTEST_SKIP() << "a sanitizer's shadow memory makes address-space limits meaningless";
    const std::string pictures = "--image1 " + quoted(fs::path(test::writePicture(dir, "big1.bmp", 3000, 2000, 1))) +
                                 " --image2 " + quoted(fs::path(test::writePicture(dir, "big2.bmp", 3000, 2000, 90)));
    bool frameNamed = false;
    for (int megabytes = 512; megabytes >= 160; megabytes -= 16) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        const test::TempDir folder, work;
        writeFile(folder / "result.gif", "the earlier result\n");
        const test::ProgramRun run = test::RunScript(
            "ulimit -v " + std::to_string(megabytes * 1024) + "; exec env TEMP=" + quoted(work.path()) + " " + quoted(kMix) +
            " --type fade --format gif --frames 4 " + pictures + " --output " + quoted(folder.path()));
        ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << run.err;
        EXPECT_TRUE(fs::is_empty(work.path()));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
        if (run.status == 0) {
            EXPECT_EQ(run.out, "Done.\n");
            EXPECT_EQ(run.err.find("Application Error"), std::string::npos) << run.err;
            continue;
        }
        EXPECT_EQ(readFile(folder / "result.gif"), "the earlier result\n");
        EXPECT_NE(run.err.find("Vantorell: No result was written: "), std::string::npos) << run.err;
        frameNamed |= std::regex_search(run.err, std::regex("No result was written: frame \\d+ could not be "
                                                            "(rendered|written): Out of memory\\."));
        if (frameNamed || run.err.find("could not be read") != std::string::npos)
            break;   // lower limits fail earlier still, down to loading the pictures
    }
    EXPECT_TRUE(frameNamed) << "no limit ran out of memory in a frame";
}

}  // namespace
}  // namespace vantorell
