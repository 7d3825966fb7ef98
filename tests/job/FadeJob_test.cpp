#include "job/FadeJob.h"
#include "job/FadeWorkFolder.h"
#include "job/MixJob.h"

#include "job/ForwardingUi.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"
#include "platform/WorkSurface.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sys/stat.h>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::ScopedEnv;
using vantorell::test::TempDir;
using vantorell::test::writePicture;

namespace {

// The expected frame i of n: the exact single-precision cross-fade, white where the second
// picture does not reach, at the first picture's size; top-down packed BGR24.
std::vector<std::uint8_t> expectedFrame(const Picture& a, const Picture& b, int i, int n)
{
    const float t = n == 1 ? 0.0f : float(double(i) / (n - 1)), u = 1.0f - t;
    std::vector<std::uint8_t> out(std::size_t(a.width()) * a.height() * 3);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t va = a.bitmap().row(y)[4 * x + c];
                const std::uint8_t vb = (x < b.width() && y < b.height()) ? b.bitmap().row(y)[4 * x + c] : 255;
                const float bt = float(vb) * t;
                const float au = float(va) * u;
                const float sum = bt + au;
                out[(std::size_t(y) * a.width() + x) * 3 + c] = std::uint8_t(std::lrint(sum));
            }
    return out;
}

std::size_t entriesIn(const std::filesystem::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

struct FadeFixture {
    TempDir dir;
    TempDir temp;
    ScopedEnv env{"TEMP", temp.path().string()};
    FakeUi ui;
    MixJob job{ui, &runFadeSteps};
    MixRequest request;
    MixOutcome outcome;
    std::string first, second;

    FadeFixture(int w1 = 37, int h1 = 23, int w2 = 37, int h2 = 23)
    {
        first = writePicture(dir, "one.bmp", w1, h1, 10);
        second = writePicture(dir, "two.bmp", w2, h2, 80);
        request.image1Path = first;
        request.image2Path = second;
        request.outputFolder = dir.path().string();
        request.mixType = MixType::Fade;
            }
    std::filesystem::path result() const { return dir / "result.avi"; }
    void run() { outcome = job.run(request); }
    void expectFramesMatch(int n)
    {
        const Picture a = loadPicture(first), b = loadPicture(second);
        const test::DecodedAvi avi = test::DecodeAvi(result());
        ASSERT_TRUE(avi.opened);
        ASSERT_EQ(avi.frames.size(), std::size_t(n));
        EXPECT_EQ(avi.width, a.width());
        EXPECT_EQ(avi.height, a.height());
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(avi.frames[std::size_t(i)], expectedFrame(a, b, i, n)) << "frame " << i << " of " << n;
    }
};

}  // namespace

TEST(FadeJob, WritesTheCrossFadeAsAnAviAndCleansUp)
{
    for (int n : {2, 3, 10}) {
        FadeFixture f;
        f.request.frameCountText = std::to_string(n);
        f.run();
        ASSERT_EQ(f.ui.texts(), std::vector<std::string>{"Done."}) << "N = " << n;
        EXPECT_EQ(f.ui.boxes[0].title, "Vantorell");
        f.expectFramesMatch(n);
        const test::DecodedAvi avi = test::DecodeAvi(f.result());
        EXPECT_EQ(avi.codec, "rawvideo");
        EXPECT_EQ(avi.timeBaseNum, 1);
        EXPECT_EQ(avi.timeBaseDen, 5);
        for (bool key : avi.key)
            EXPECT_TRUE(key);
        ASSERT_EQ(f.ui.compressorOffers.size(), 1u);
        EXPECT_EQ(f.ui.compressorOffers[0][0].description, "Full Frames (Uncompressed)");
        EXPECT_EQ(entriesIn(f.temp.path()), 0u) << "work files left in TEMP";
        EXPECT_FALSE(f.job.busy());
        EXPECT_EQ(f.job.progressBar().text(), "Progress Bar");
        EXPECT_EQ(f.job.progressBar().value(), 0);
        EXPECT_EQ(f.job.surfaces().fadeFrame.drawableWidth(), 37);
    }
}

TEST(FadeJob, ProgressRunsTenToHundredForTenFrames)
{
    FadeFixture f;
    f.run();
    std::vector<double> frameProgress;
    for (double v : f.ui.progressValues)
        if (v >= 10 && std::fmod(v, 10.0) == 0 && (frameProgress.empty() || v > frameProgress.back()))
            frameProgress.push_back(v);
    EXPECT_EQ(frameProgress, (std::vector<double>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

TEST(FadeJob, OneFrameIsTheFirstPicture)
{
    FadeFixture f;
    f.request.frameCountText = "1";
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    f.expectFramesMatch(1);
}

TEST(FadeJob, SmallerSecondPictureFadesIntoWhite)
{
    FadeFixture f(40, 30, 21, 9);
    f.request.frameCountText = "3";
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    f.expectFramesMatch(3);
    // The last frame outside the second picture is white.
    const test::DecodedAvi avi = test::DecodeAvi(f.result());
    ASSERT_EQ(avi.frames.size(), 3u);
    EXPECT_EQ(avi.frames[2][(std::size_t(29) * 40 + 39) * 3], 255);
}

TEST(FadeJob, LargerSecondPictureGivesItsTopLeftPart)
{
    FadeFixture f(20, 10, 50, 40);
    f.request.frameCountText = "2";
    f.run();
    f.expectFramesMatch(2);
}

// A fade that cannot give a result leaves no result, keeps the earlier one byte for byte,
// leaves no work file and says why in its last box.
TEST(FadeJob, FailuresAndCancelKeepTheEarlierResult)
{
    const struct {
        const char* name;
        std::function<void(FadeFixture&)> set;
        std::vector<std::string> reportLabels;   // "at line N" of each report, in order
        std::string last;
    } cases[] = {
        {"no frames", [](FadeFixture& f) { f.request.frameCountText = "0"; }, {},
         "Number Of Frames must be a whole number from 1 to 32767."},
        {"frame count not a number", [](FadeFixture& f) { f.request.frameCountText = "ten"; }, {"332", "376"},
         "No result was written: result.avi could not be written."},
        {"rate not a number", [](FadeFixture& f) { f.request.framesPerSecondText = "fast"; }, {"376"},
         "No result was written: result.avi could not be written."},
        {"missing first picture", [](FadeFixture& f) { f.request.image1Path = (f.dir / "missing.jpg").string(); },
         {"292"}, "No result was written: Image #1 (DIR/missing.jpg) could not be read: no such file."},
        {"compressor dialog cancelled", [](FadeFixture& f) { f.ui.compressorAnswers.push_back(std::nullopt); }, {},
         "Cancelled."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FadeFixture f;
        std::ofstream(f.result()) << "earlier result";
        c.set(f);
        f.run();
        const auto errors = f.ui.applicationErrors();
        ASSERT_EQ(errors.size(), c.reportLabels.size());
        for (std::size_t i = 0; i < errors.size(); ++i)
            EXPECT_NE(errors[i].text.find("at line " + c.reportLabels[i]), std::string::npos) << errors[i].text;
        ASSERT_FALSE(f.ui.boxes.empty());
        std::string last = c.last;
        if (const std::size_t dir = last.find("DIR/"); dir != std::string::npos)
            last.replace(dir, 3, f.dir.path().string());
        EXPECT_EQ(f.ui.boxes.back().text, last);
        EXPECT_FALSE(f.outcome.wroteResult());
        EXPECT_FALSE(f.job.busy());
        std::ifstream earlier(f.result());
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier result");
        EXPECT_EQ(entriesIn(f.dir.path()), 3u);   // one.bmp, two.bmp, result.avi: no temporary
        EXPECT_EQ(entriesIn(f.temp.path()), 0u);
    }
}

TEST(FadeJob, LosslessCompressorsKeepEveryFrame)
{
    for (const char* codec : {"ffv1", "huffyuv"}) {
        FadeFixture f;
        f.request.frameCountText = "4";
        f.request.framesPerSecondText = "45";
        f.ui.compressorAnswers.push_back(CompressorChoice{codec});
        f.run();
        EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
        f.expectFramesMatch(4);
        EXPECT_EQ(test::DecodeAvi(f.result()).timeBaseDen, 30);   // 45 per second: rate 30
    }
}

TEST(FadeJob, PlantedLinksAndWildcardTempNamesAreNeverTouched)
{
    TempDir outside;
    const auto victim = outside / "victim.bmp";
    std::ofstream(victim) << "precious";
    for (const char* tempName : {"plain", "wild*card?[x]"}) {
        FadeFixture f;
        const auto temp = f.temp / tempName;
        std::filesystem::create_directory(temp);
        ScopedEnv env("TEMP", temp.string());
        // Links named like every work file, pointing at a file of another user's.
        for (const char* name : {"Morph_0.bmp", "Morph_1.bmp", "temp.bmp", "temp.avi"})
            std::filesystem::create_symlink(victim, temp / name);
        // A sibling that a wildcard TEMP would match if it were expanded.
        const auto sibling = f.temp / "wildXcardY";
        std::filesystem::create_directory(sibling);
        std::ofstream(sibling / "Morph_0.bmp") << "sibling";
        f.request.frameCountText = "2";
        f.run();
        EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."}) << tempName;
        f.expectFramesMatch(2);
        std::string text;
        std::getline(std::ifstream(victim), text);
        EXPECT_EQ(text, "precious") << tempName;
        EXPECT_EQ(entriesIn(temp), 4u) << tempName;   // the links stay, nothing else is left
        for (const char* name : {"Morph_0.bmp", "Morph_1.bmp", "temp.bmp", "temp.avi"})
            EXPECT_TRUE(std::filesystem::is_symlink(temp / name)) << name;
        std::getline(std::ifstream(sibling / "Morph_0.bmp"), text);
        EXPECT_EQ(text, "sibling");
    }
}

TEST(FadeJob, WithoutTempTheSystemTemporaryFolderServes)
{
    FadeFixture f;
    TempDir system;
    ScopedEnv noTemp("TEMP", std::nullopt);
    ScopedEnv tmpdir("TMPDIR", system.path().string());
    f.request.frameCountText = "2";
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    f.expectFramesMatch(2);
    EXPECT_EQ(entriesIn(system.path()), 0u);
}

TEST(FadeJob, GifOutputWritesTheGifThroughATemporaryAviAndCleansUp)
{
    FadeFixture f;
    f.request.fadeOutput = FadeOutput::Gif;
        f.request.frameCountText = "2";
    f.run();
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_TRUE(f.ui.compressorOffers.empty());   // the temporary AVI is uncompressed, no dialog
    EXPECT_EQ(f.outcome.writtenFile, f.outcome.outputPath);
    EXPECT_TRUE(std::filesystem::exists(f.dir / "result.gif"));
    EXPECT_FALSE(std::filesystem::exists(f.dir / "result.avi"));
    EXPECT_EQ(entriesIn(f.temp.path()), 0u);
}

TEST(FadeWorkFolder, IsPrivateAndRemovedWithItsContents)
{
    TempDir temp;
    ScopedEnv env("TEMP", temp.path().string());
    std::filesystem::path made;
    {
        FadeWorkFolder folder;
        EXPECT_THROW(folder.path(), RuntimeError);
        folder.create();
        made = folder.path();
        EXPECT_EQ(made.parent_path(), temp.path());
        struct stat st {};
        ASSERT_EQ(::stat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        std::ofstream(folder.file("Morph_0.bmp")) << "x";
        EXPECT_EQ(folder.file("Morph_0.bmp"), made.string() + "/Morph_0.bmp");
    }
    EXPECT_FALSE(std::filesystem::exists(made));
}

namespace {

// Notes how far the frames had got when the compressor dialog was shown.
struct DialogWatchingUi : ForwardingUi {
    FakeUi fake;
    std::vector<std::size_t> progressChangesAtDialog;
    DialogWatchingUi() : ForwardingUi(fake) {}
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        progressChangesAtDialog.push_back(fake.progressValues.size());
        return ForwardingUi::chooseCompressor(offered);
    }
};

}  // namespace

// The compressor is chosen before the first frame renders; a cancelled dialog renders no frame
// at all. The GIF's temporary AVI asks nothing: a cancelled answer waiting for it is not used.
TEST(FadeJob, TheCompressorIsChosenBeforeAnyFrameRenders)
{
    for (FadeOutput output : {FadeOutput::Avi, FadeOutput::Gif}) {
        for (bool cancel : {false, true}) {
            SCOPED_TRACE(testing::Message() << (output == FadeOutput::Gif ? "gif" : "avi") << " cancel " << cancel);
            FadeFixture f;
            DialogWatchingUi ui;
            MixJob job(ui, &runFadeSteps);
            f.request.fadeOutput = output;
            f.request.frameCountText = "3";
            if (cancel)
                ui.fake.compressorAnswers.push_back(std::nullopt);
            const MixOutcome outcome = job.run(f.request);
            const bool asks = output == FadeOutput::Avi;
            const bool cancelled = cancel && asks;
            ASSERT_EQ(ui.progressChangesAtDialog.size(), asks ? 1u : 0u);
            if (asks) {
                const std::vector<double> before(ui.fake.progressValues.begin(),
                                                 ui.fake.progressValues.begin() + std::ptrdiff_t(ui.progressChangesAtDialog[0]));
                for (double v : before)
                    EXPECT_EQ(v, 0.0);   // no frame's progress before the dialog
            }
            const bool rendered = std::find(ui.fake.progressValues.begin(), ui.fake.progressValues.end(), 100.0) != ui.fake.progressValues.end();
            EXPECT_EQ(rendered, !cancelled);
            EXPECT_EQ(ui.fake.texts().back(), cancelled ? "Cancelled." : "Done.");
            EXPECT_EQ(outcome.wroteResult(), !cancelled);
        }
    }
}

namespace vantorell {
namespace {

// The progress bar's step at each change, each new one once.
struct StepRecordingUi : ForwardingUi {
    FakeUi fake;
    std::vector<std::string> steps;
    StepRecordingUi() : ForwardingUi(fake) {}
    void progressChanged(const ProgressBar& bar) override
    {
        if (steps.empty() || steps.back() != bar.step())
            steps.push_back(bar.step());
        ForwardingUi::progressChanged(bar);
    }
};

}  // namespace

// The step the window shows with the percentage: each frame as it renders, then the writing;
// the values the job reports are those of a bar without steps.
TEST(FadeJob, TheProgressBarSaysWhichStepRuns)
{
    for (FadeOutput output : {FadeOutput::Avi, FadeOutput::Gif}) {
        FadeFixture f;
        StepRecordingUi ui;
        MixJob job(ui, &runFadeSteps);
        f.request.fadeOutput = output;
        f.request.frameCountText = "3";
        job.run(f.request);
        std::vector<std::string> expected = {"", "Frame 1 of 3", "Frame 2 of 3", "Frame 3 of 3", ""};
        if (output == FadeOutput::Gif)
            expected.insert(expected.end(), {"Writing GIF", ""});
        EXPECT_EQ(ui.steps, expected);
        EXPECT_EQ(job.progressBar().step(), "");
        EXPECT_EQ(job.progressBar().text(), "Progress Bar");
        EXPECT_EQ(ui.fake.texts().back(), "Done.");
    }
}

}  // namespace vantorell
