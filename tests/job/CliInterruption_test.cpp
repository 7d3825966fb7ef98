// vantorell-mix ended or hindered by its surroundings: a file-size limit (SIGXFSZ), a closed pipe
// (SIGPIPE), a closed terminal (SIGHUP), SIGKILL and the next start's sweep, a live job's files
// left alone; and names with control characters in what it prints and reports.
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::map<std::string, std::string> contentsOf(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_directory())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), folder).string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return files;
}

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A file held as a running job holds its own: open, with an exclusive flock.
struct LiveHolder {
    explicit LiveHolder(const fs::path& file)
    {
        fs::create_directories(file.parent_path());
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    }
    ~LiveHolder() { ::close(fd); }
    int fd = -1;
};

TEST(CliInterruption, SignalsLeaveNothingBehindAndTheNextStartSweeps)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    const test::TempDir inputs;
    for (const char* side : {"A", "B"})
        for (const char* name : {"x.jpg", "y.jpg", "z.jpg"})
            fs::create_directories(inputs / side),
                fs::copy_file(kSamples / (side[0] == 'A' ? "face1.jpg" : "face2.jpg"), inputs / side / name);
    test::writePicture(inputs, "a.bmp", 320, 180, 1);
    test::writePicture(inputs, "b.bmp", 320, 180, 90);
    const auto before = contentsOf(inputs.path());
    // {MIX} stands for the program and its TEMP, {OUT} for the output folder, {IN} for the inputs.
    const std::string blend = "{MIX} --type blend --image1 {IN}/A/x.jpg --image2 {IN}/B/x.jpg --output {OUT}";
    const std::string batch = "{MIX} batch --type blend --dir1 {IN}/A --dir2 {IN}/B --output {OUT} --jobs 1 --report {OUT}/r.jsonl";
    const std::string fade = "{MIX} --type fade --frames 400 --image1 {IN}/a.bmp --image2 {IN}/b.bmp --output {OUT} & pid=$!\n"
                             "until ls {OUT} | grep -q avi.vantorell-; do sleep 0.01; done\n";
    const struct Case {
        const char* what;
        std::string script;
        int status;
        const char* message;                  // part of stderr
        std::vector<std::string> written;     // what OUT holds after
    } cases[] = {
        {"file-size limit, one job", "ulimit -f 30; exec " + blend, 1, "No result was written", {}},
        {"file-size limit, a batch", "ulimit -f 30; exec " + batch, 1, "3 pairs: 0 written, 0 skipped, 3 failed",
         {"r.jsonl"}},
        {"closed pipe, one job", "(sleep 0.3; exec " + blend + ") | true; exit ${PIPESTATUS[0]}", 1,
         "the job's messages could not be printed: Broken pipe", {"result.jpg"}},
        {"closed pipe, a batch", "(sleep 0.3; exec " + batch + " 2>&1) | true; exit ${PIPESTATUS[0]}", 1, "",
         {"r.jsonl", "x-x.jpg"}},
        {"SIGHUP", fade + "kill -HUP $pid; wait $pid", 129, "", {}},
        {"SIGTERM, progress as JSON", std::string(fade).replace(fade.find(" &"), 0, " --progress json") + "kill -TERM $pid; wait $pid",
         143, "\"exit\":143,\"failure\":\"interrupted by SIGTERM\",\"written\":null}\n", {}},
        {"SIGKILL, then the next start", fade + "kill -KILL $pid; wait $pid\necho left: $(ls {OUT} {TEMP} | grep -c 'vantorell-[0-9l]\\|^vantorell-fade-') >&2\n" + blend,
         0, "left: 4\n", {"result.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir out, temp;
        // A running job's work folder and temporary, and a killed job's folder: only that goes.
        const LiveHolder liveFolder(temp / "vantorell-fade-live01" / "vantorell.lock");
        const LiveHolder liveResult(out / "result.jpg.vantorell-1-live01");
        fs::create_directory(temp / "vantorell-fade-dead01");
        std::ofstream(temp / "vantorell-fade-dead01" / "vantorell.lock");
        std::string script = c.script;
        for (const auto& [mark, text] : std::map<std::string, std::string>{
                 {"{MIX}", "env TEMP=" + quoted(temp.path()) + " " + quoted(kMix)}, {"{OUT}", quoted(out.path())},
                 {"{TEMP}", quoted(temp.path())}, {"{IN}", quoted(inputs.path())}})
            for (std::size_t at; (at = script.find(mark)) != std::string::npos;)
                script.replace(at, mark.size(), text);
        const test::ProgramRun run = test::RunScript(script);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        std::set<std::string> written(c.written.begin(), c.written.end());
        written.insert("result.jpg.vantorell-1-live01");
        std::set<std::string> left = namesIn(out.path());
        left.erase(".vantorell-finished");   // a batch's record of finished results
        EXPECT_EQ(left, written);
        EXPECT_EQ(namesIn(temp.path()), std::set<std::string>{"vantorell-fade-live01"}) << "the dead one goes at a start";
        EXPECT_EQ(contentsOf(inputs.path()), before);
    }
}

TEST(CliInterruption, ControlCharactersInNamesArePrintedEscaped)
{
    if (!fs::exists(kMix))
        GTEST_SKIP() << "vantorell-mix is not built";
    const test::TempDir inputs, out;
    const std::string esc = "a\x1b[31m\x7f";
    fs::copy_file(kSamples / "face1.jpg", inputs / (esc + ".jpg"));
    fs::copy_file(kSamples / "face2.jpg", inputs / "b.jpg");
    std::ofstream(inputs / "pairs.csv") << "image1,image2\n" << esc << ".jpg,b.jpg\nmissing" << esc << ".jpg,b.jpg\n";
    const struct Case {
        const char* what;
        std::string arguments;
        int status;
        std::vector<std::string> printed;   // parts of stderr
    } cases[] = {
        {"a batch", "batch --type blend --pairs " + quoted(inputs / "pairs.csv") + " --output " + quoted(out.path()) +
                        " --report " + quoted(out / "r.jsonl"),
         1, {"a\\x1b[31m\\x7f.jpg + b.jpg -> ", "failed 0.", "missinga\\x1b[31m\\x7f.jpg + b.jpg"}},
        {"a bad option", "--type blend '--" + esc + "'", 2, {"unknown option \"--a\\x1b[31m\\x7f\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::ProgramRun run = test::RunProgram(kMix, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err.find_first_of("\x1b\x7f"), std::string::npos) << run.err;
        for (const std::string& part : c.printed)
            EXPECT_NE(run.err.find(part), std::string::npos) << part << " in " << run.err;
    }
    std::ifstream report(out / "r.jsonl");
    const std::string lines{std::istreambuf_iterator<char>(report), {}};
    EXPECT_EQ(lines.find_first_of("\x1b\x7f"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\"image1_escaped\":\"" + (inputs / "a").string() + "\\\\x1b[31m\\\\x7f.jpg\""), std::string::npos)
        << lines;
    EXPECT_EQ(lines.find("image2_escaped"), std::string::npos) << lines;
}

}  // namespace
}  // namespace vantorell
