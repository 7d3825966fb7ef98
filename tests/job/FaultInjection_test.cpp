// vantorell-mix when the world fails it: a file-size limit, a read-only or full output folder,
// a TEMP without room, SIGINT and SIGTERM in the middle of a fade, temporaries left by a killed
// job. Whatever happens, the earlier result stays byte for byte, and no temporary result or
// work folder is left behind.
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"
#include "platform/ByteSize.h"
#include "platform/WorkSurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace vantorell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kMix = test::MixProgram();
const fs::path kSamples = VANTORELL_SAMPLES_DIR;
const std::string kEarlierBytes = "the earlier result\n";

std::string shellQuoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool holdsNameWith(const fs::path& folder, const std::string& part, bool nonEmptyFolder = false)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename().string().find(part) != std::string::npos &&
            (!nonEmptyFolder || (entry.is_directory(ec) && !fs::is_empty(entry.path(), ec))))
            return true;
    return false;
}

// Polls until the folder holds a name with `part` (a folder with something in it, when asked),
// for at most 10 s; false when the program ends first or the time is up.
bool waitForName(test::StartedProgram& program, const fs::path& folder, const std::string& part, bool nonEmptyFolder,
                 std::optional<test::ProgramRun>& ended)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        if (holdsNameWith(folder, part, nonEmptyFolder))
            return true;
        if ((ended = program.wait(0ms)))
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kMix))
            GTEST_SKIP() << "vantorell-mix is not built";
    }

    // "--image1 a.bmp --image2 b.bmp": two 96 x 72 pictures made for the test.
    // 12 x 12 pictures of scattered colours: every GIF frame needs a 256-colour palette.
    std::string scatteredPair() const
    {
        std::string files;
        for (int picture = 0; picture < 2; ++picture) {
            WorkSurface s(12, 12);
            std::uint32_t state = 12345u + std::uint32_t(picture);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    state = state * 1664525u + 1013904223u;
                    s.setPixel(x, y, std::int32_t(state >> 8) & 0xFFFFFF);
                }
            const fs::path path = inputs.path() / (picture == 0 ? "c.bmp" : "d.bmp");
            s.saveAsBitmapFile(path);
            files += (picture == 0 ? "--image1 " : " --image2 ") + shellQuoted(path);
        }
        return files;
    }

    std::string smallPair() const
    {
        return "--image1 " + shellQuoted(test::writePicture(inputs, "a.bmp", 96, 72, 1)) + " --image2 " +
               shellQuoted(test::writePicture(inputs, "b.bmp", 96, 72, 90));
    }

    // The earlier result the job must leave alone.
    void placeEarlier(const fs::path& folder, const std::string& name) const
    {
        std::ofstream(folder / name, std::ios::binary) << kEarlierBytes;
    }

    // A failed or interrupted job changed nothing: `folder` holds the earlier result alone, as
    // it was, and `temp` holds nothing (no work folder).
    static void expectUntouched(const fs::path& folder, const std::string& earlier, const fs::path& temp)
    {
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{earlier});
        EXPECT_EQ(readFile(folder / earlier), kEarlierBytes);
        EXPECT_EQ(namesIn(temp), std::vector<std::string>{});
    }

    std::string jobArguments(const std::string& job, const fs::path& folder) const
    {
        return job + " --output " + shellQuoted(folder);
    }

    std::string faces = "--image1 " + shellQuoted(kSamples / "face1.jpg") + " --image2 " + shellQuoted(kSamples / "face2.jpg");
    test::TempDir out, temp, inputs;
};

// EFBIG at each file the job writes: the JPEG, the AVI and the GIF results. SIGXFSZ is ignored,
// so the write fails instead of the process.
TEST_F(FaultInjection, FileSizeLimitWritesNothingAndKeepsTheEarlierResult)
{
    // 96 x 72 frames: a frame file is 20790 bytes, 20 frames make an uncompressed AVI of
    // 411 KiB. The GIF has 12 x 12 frames, each with its own 256-colour palette: 40 frames make
    // a GIF of about 38 KB.
    const std::string small = smallPair();
    const std::string tiny = scatteredPair();
    struct Case {
        const char* what;
        std::string job;
        const char* result;
        int limitKiB;
        const char* failedAt;   // part of stderr that shows where the write failed
    };
    const Case cases[] = {
        {"blend JPEG", "--type blend " + faces, "result.jpg", 30, "at line 274"},
        {"overlay JPEG", "--type overlay " + faces, "result.jpg", 8, "at line 448"},
        {"uncompressed AVI", "--type fade --frames 20 " + small, "result.avi", 100, "result.avi could not be written."},
        {"GIF", "--type fade --frames 40 --format gif --gif-palette per-frame " + tiny, "result.gif", 30,
         "Unexpected error saving GIF file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir folder, work;
        placeEarlier(folder.path(), c.result);
        const std::string command =
            "TEMP=" + shellQuoted(work.path()) + " " + shellQuoted(kMix) + " " + jobArguments(c.job, folder.path());
        const test::ProgramRun limited =
            test::RunScript("trap '' XFSZ; ulimit -f " + std::to_string(c.limitKiB) + "; exec env " + command);
        EXPECT_EQ(limited.status, 1) << limited.err;
        EXPECT_EQ(limited.out, "");
        EXPECT_NE(limited.err.find(c.failedAt), std::string::npos) << limited.err;
        EXPECT_NE(limited.err.find("Vantorell: No result was written: "), std::string::npos) << limited.err;
        expectUntouched(folder.path(), c.result, work.path());

        const test::ProgramRun unlimited = test::RunScript("exec env " + command);
        EXPECT_EQ(unlimited.status, 0) << unlimited.err;
        EXPECT_EQ(unlimited.out, "Done.\n");
        EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{c.result});
        EXPECT_GT(fs::file_size(folder / c.result), std::uintmax_t(c.limitKiB) * 1024 / 2);
        EXPECT_EQ(namesIn(work.path()), std::vector<std::string>{});
    }
}

TEST_F(FaultInjection, ReadOnlyOutputFolderWritesNothing)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    placeEarlier(out.path(), "result.jpg");
    fs::permissions(out.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const test::ProgramRun run =
        test::RunProgram(kMix, jobArguments("--type blend " + faces, out.path()), "TEMP=" + shellQuoted(temp.path()));
    fs::permissions(out.path(), fs::perms::owner_all);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Vantorell: No result was written: result.jpg could not be written."), std::string::npos)
        << run.err;
    expectUntouched(out.path(), "result.jpg", temp.path());
}

// A tmpfs of `kib` KiB mounted over a fresh folder for one case, unmounted at its end.
class SmallTmpfs {
public:
    explicit SmallTmpfs(int kib)
        : m_mounted(std::system(("mount -t tmpfs -o size=" + std::to_string(kib) + "k tmpfs " + shellQuoted(m_folder.path()) +
                                 " 2>/dev/null")
                                    .c_str()) == 0)
    {
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            std::system(("umount " + shellQuoted(m_folder.path())).c_str());
    }
    bool mounted() const { return m_mounted; }
    const fs::path& path() const { return m_folder.path(); }

private:
    test::TempDir m_folder;
    bool m_mounted;
};

// ENOSPC while the JPEG or the GIF is written: the closing box says the disk is full and names
// the folder. A fade whose uncompressed AVI cannot fit is refused before a frame is rendered,
// naming the folder without room; a GIF needs no room in TEMP.
TEST_F(FaultInjection, FullFileSystemWritesNothingAndFadesAreRefusedUpFront)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string small = smallPair();
    struct Case {
        const char* what;
        std::string job;
        const char* result;
        int tmpfsKiB;
        bool tmpfsIsTemp;   // the tmpfs is TEMP (else the output folder)
        bool refusedUpFront;
    };
    const Case cases[] = {
        {"blend JPEG into a full folder", "--type blend " + faces, "result.jpg", 32, false, false},
        {"GIF into a full folder", "--type fade --frames 40 --format gif --gif-palette per-frame " + scatteredPair(),
         "result.gif", 16, false, false},
        {"uncompressed AVI", "--type fade --frames 4 " + small, "result.avi", 64, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SmallTmpfs tmpfs(c.tmpfsKiB);
        if (!tmpfs.mounted())
            GTEST_SKIP() << "mount -t tmpfs failed";
        const test::TempDir other;
        const fs::path folder = c.tmpfsIsTemp ? other.path() : tmpfs.path();
        const fs::path work = c.tmpfsIsTemp ? tmpfs.path() : other.path();
        placeEarlier(folder, c.result);
        const test::ProgramRun run = test::RunProgram(kMix, jobArguments(c.job, folder), "TEMP=" + shellQuoted(work));
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "");
        if (c.refusedUpFront) {
            // The folder without room is named by its real path.
            const std::string named = tmpfs.path().string() + (c.tmpfsIsTemp ? "/vantorell-fade-" : " has ");
            EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
            std::smatch amounts;
            // Sizes as platform/ByteSize writes them ("65.5 KB", "1.23 MB", "999 bytes").
            ASSERT_TRUE(std::regex_search(run.err, amounts,
                                          std::regex(" has ([\\d.]+) (bytes|KB|MB|GB) free, and this job needs "
                                                     "([\\d.]+) (bytes|KB|MB|GB) there")))
                << run.err;
            const auto bytes = [&](int at) {
                const std::string unit = amounts[std::size_t(at) + 1].str() == "bytes" ? "B" : amounts[std::size_t(at) + 1].str();
                return parseByteSize(amounts[std::size_t(at)].str() + unit).value_or(0);
            };
            EXPECT_LT(bytes(1), bytes(3)) << run.err;
            EXPECT_EQ(run.err.find("Application Error"), std::string::npos) << run.err;
        } else {
            // The folder without room is named.
            EXPECT_NE(run.err.find("No result was written: " + std::string(c.result) +
                                   " could not be written: the disk holding " + folder.string() + " is full."),
                      std::string::npos)
                << run.err;
        }
        expectUntouched(folder, c.result, work);
    }
    // A GIF keeps its frames in memory: a TEMP with no room left is no obstacle.
    const SmallTmpfs tmpfs(16);
    if (!tmpfs.mounted())
        GTEST_SKIP() << "mount -t tmpfs failed";
    const test::TempDir folder;
    const test::ProgramRun gif = test::RunProgram(kMix, jobArguments("--type fade --frames 4 --format gif " + small, folder.path()),
                                                  "TEMP=" + shellQuoted(tmpfs.path()));
    EXPECT_EQ(gif.status, 0) << gif.err;
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"result.gif"});
    EXPECT_TRUE(fs::is_empty(tmpfs.path()));
}

// SIGINT or SIGTERM while the frames are rendered and written: the status tells
// the signal, the work folder and the temporary result are gone.
TEST_F(FaultInjection, SignalsRemoveTheWorkFolderAndTheTemporaryResult)
{
    const std::string pictures = "--image1 " + shellQuoted(test::writePicture(inputs, "a.bmp", 320, 180, 1)) +
                                 " --image2 " + shellQuoted(test::writePicture(inputs, "b.bmp", 320, 180, 90));
    struct Case {
        const char* what;
        int signal;
        const char* frames;   // rendering and writing 400 takes about a second; 60 with FFV1 a few tenths
    };
    // The temporary result is made before the first frame renders: the signal comes while the
    // frames render and stream into it.
    const Case cases[] = {
        {"SIGINT while rendering", SIGINT, "400"},
        {"SIGTERM while writing the AVI", SIGTERM, "60 --codec ffv1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir folder, work;
        placeEarlier(folder.path(), "result.avi");
        test::StartedProgram mix(kMix, jobArguments("--type fade --frames " + std::string(c.frames) + " " + pictures,
                                                    folder.path()),
                                 "TEMP=" + shellQuoted(work.path()));
        std::optional<test::ProgramRun> ended;
        const bool midRun = waitForName(mix, folder.path(), ".vantorell-", false, ended);
        ASSERT_TRUE(midRun) << (ended ? "ended first: " + ended->out + ended->err : "nothing appeared in 10 s");
        mix.signal(c.signal);
        ended = mix.wait(10s);
        ASSERT_TRUE(ended) << "still running 10 s after the signal";
        EXPECT_EQ(ended->status, 128 + c.signal) << ended->err;
        EXPECT_EQ(ended->out.find("Done."), std::string::npos);
        expectUntouched(folder.path(), "result.avi", work.path());
    }
}

// A temporary whose process has ended is removed by the next job; one of a running process
// (here this test, holding its lock) is left alone.
TEST_F(FaultInjection, NextJobRemovesTemporariesOfEndedProcessesOnly)
{
    const std::string dead = "result.jpg.vantorell-" + std::to_string(::getpid()) + "-abcdef";
    const std::string live = "result.jpg.vantorell-999999999-abcdef";   // no process id tells
    placeEarlier(out.path(), dead);
    placeEarlier(out.path(), live);
    const int lock = ::open((out / live).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const test::ProgramRun run =
        test::RunProgram(kMix, jobArguments("--type blend " + faces, out.path()), "TEMP=" + shellQuoted(temp.path()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Done.\n");
    EXPECT_EQ(namesIn(out.path()), (std::vector<std::string>{"result.jpg", live}));
    EXPECT_EQ(readFile(out / live), kEarlierBytes);
    EXPECT_GT(fs::file_size(out / "result.jpg"), kEarlierBytes.size());
    ::close(lock);
}

}  // namespace
}  // namespace vantorell
