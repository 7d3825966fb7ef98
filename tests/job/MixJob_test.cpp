#include "job/MixJob.h"

#include "job/ErrorReport.h"
#include "job/FadeJob.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = VANTORELL_SAMPLES_DIR;
const fs::path kData = fs::path(VANTORELL_SOURCE_DIR) / "tests/data/picture";

std::string errorText(const std::string& description, int label)
{
    return applicationErrorText("PushButton2_Click", label, description);
}

// A job on the given pictures with its output in a fresh folder.
struct Job {
    test::FakeUi ui;
    test::TempDir out;
    MixJob job{ui, &runFadeSteps};
    MixRequest request;
    MixOutcome outcome;

    Job(const fs::path& first, const fs::path& second)
    {
        request.image1Path = first.string();
        request.image2Path = second.string();
        request.outputFolder = out.path().string();
    }
    fs::path result() const { return out / "result.jpg"; }
    void run() { outcome = job.run(request); }
};

bool samePixels(const Bitmap& a, const Bitmap& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), a.stride()) != 0) {
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    return false;
        }
    return true;
}

TEST(MixJob, DesignValuesAndOutputExtensions)
{
    const MixRequest request;
    EXPECT_EQ(request.mixType, MixType::Blend);
    EXPECT_EQ(request.blendDirection, BlendDirection::Left);
    EXPECT_EQ(request.qualityChoice, JpegQualityChoice::SmartDetect);
    EXPECT_EQ(request.fixedQuality, 85);
    EXPECT_EQ(request.frameCountText, "10");
    EXPECT_EQ(request.framesPerSecondText, "5");
    EXPECT_EQ(request.fadeOutput, FadeOutput::Avi);
    EXPECT_EQ(outputExtension(request), "jpg");
    MixRequest fade;
    fade.mixType = MixType::Fade;
    EXPECT_EQ(outputExtension(fade), "avi");
    fade.fadeOutput = FadeOutput::Gif;
    EXPECT_EQ(outputExtension(fade), "gif");

    test::FakeUi ui;
    MixJob job(ui);
    EXPECT_FALSE(job.busy());
    EXPECT_EQ(job.progressBar().text(), "Progress Bar");
    job.progressBar().setValue(42);
    ASSERT_EQ(ui.progressValues.size(), 1u);
    EXPECT_EQ(ui.progressValues[0], 42);
}

TEST(MixJob, BlendWritesTheCanvasAsJpegAndSaysDone)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.run();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(j.ui.boxes[0].title, "Vantorell");
    EXPECT_FALSE(j.job.busy());
    EXPECT_EQ(j.ui.busyPointer, (std::vector<bool>{true, false}));
    EXPECT_TRUE(j.ui.progressValues.empty());   // the blend leaves the progress bar alone
    const Picture result = loadPicture(j.result());
    EXPECT_EQ(result.width(), 729);
    EXPECT_EQ(result.height(), 425);
    EXPECT_EQ(j.outcome.outputPath, (j.out / "result.jpg").string());   // the real path
    EXPECT_GE(j.outcome.jpegQuality, 1);
    EXPECT_LE(j.outcome.jpegQuality, 100);
    EXPECT_EQ(j.outcome.writtenFile, j.outcome.outputPath);
    EXPECT_EQ(j.outcome.messages.size(), 1u);
    EXPECT_TRUE(j.outcome.errors.empty());
}

TEST(MixJob, RightAndBottomAreLeftAndTopWithTheInputsExchanged)
{
    for (int pair : {0, 2}) {
        Job forward(kSamples / "sample1.jpg", kSamples / "face1.jpg");
        forward.request.blendDirection = BlendDirection(pair);
        forward.request.blendStart = 100;
        forward.run();
        Job backward(kSamples / "face1.jpg", kSamples / "sample1.jpg");
        backward.request.blendDirection = BlendDirection(pair + 1);
        backward.request.blendStart = 100;
        backward.run();
        EXPECT_TRUE(samePixels(forward.job.surfaces().blendCanvas.image(), backward.job.surfaces().blendCanvas.image()))
            << "direction " << pair;
        EXPECT_EQ(forward.outcome.jpegQuality, backward.outcome.jpegQuality);
    }
}

TEST(MixJob, SmartDetectTakesTheLargerEstimateFixedQualityTheSlider)
{
    Job j(kSamples / "sample1.jpg", kSamples / "face1.jpg");
    WorkSurface s1, s2;
    s1.loadPicture(kSamples / "sample1.jpg");
    s2.loadPicture(kSamples / "face1.jpg");
    j.run();
    const auto q1 = 101.0 - double(s1.picture().width()) * s1.picture().height() * 3 / fs::file_size(kSamples / "sample1.jpg");
    const auto q2 = 101.0 - double(s2.picture().width()) * s2.picture().height() * 3 / fs::file_size(kSamples / "face1.jpg");
    EXPECT_EQ(j.outcome.jpegQuality, std::clamp(int(std::nearbyint(std::max(q1, q2))), 1, 100));

    j.request.qualityChoice = JpegQualityChoice::Fixed;
    j.request.fixedQuality = 33;
    j.run();
    EXPECT_EQ(j.outcome.jpegQuality, 33);
    EXPECT_TRUE(fs::exists(j.result()));
    EXPECT_TRUE(j.ui.applicationErrors().empty());
}

TEST(MixJob, MissingFirstPictureEndsTheJobAndKeepsTheEarlierResult)
{
    Job j(kSamples / "missing.jpg", kSamples / "sample2.jpg");
    std::ofstream(j.result()) << "old result";
    j.run();
    const std::string failure = "Image #1 (" + (kSamples / "missing.jpg").string() + ") could not be read: no such file.";
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{errorText("File not found", 124), "No result was written: " + failure}));
    EXPECT_EQ(j.ui.boxes[0].title, "Application Error");
    EXPECT_EQ(j.ui.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(j.ui.boxes[1].title, "Vantorell");
    EXPECT_FALSE(j.job.busy());
    std::ifstream earlier(j.result());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "old result");
    ASSERT_EQ(j.outcome.errors.size(), 1u);   // the outcome names each report's step
    EXPECT_EQ(j.outcome.errors[0].number, errnum::FileNotFound);
    EXPECT_EQ(j.outcome.errors[0].routine, "PushButton2_Click");
    EXPECT_EQ(j.outcome.errors[0].label, 124);
    EXPECT_EQ(j.outcome.messages.size(), 2u);
    EXPECT_FALSE(j.outcome.wroteResult());
    EXPECT_EQ(j.outcome.failure, failure);
}

TEST(MixJob, EmptyPictureBoxesAreRefusedBeforeAnythingRuns)
{
    for (int empty : {1, 2}) {
        Job j(empty == 1 ? fs::path() : kSamples / "sample1.jpg", empty == 2 ? fs::path() : kSamples / "sample2.jpg");
        j.request.outputFolder = "/no/such/folder";   // not even the folder is looked at
        j.run();
        EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Please choose Image #" + std::to_string(empty) + "."}));
        EXPECT_TRUE(j.ui.busyPointer.empty());
        EXPECT_FALSE(j.outcome.succeeded());
    }
}

TEST(MixJob, BadPicturesAreReportedAtTheirLoadStepAndTheJobEnds)
{
    struct Case {
        const char* file;
        std::string description;
    };
    const Case cases[] = {
        {"empty.jpg", "Invalid picture"},
        {"text-named.jpg", "Invalid picture"},
        {"broken-huffman.jpg", "Invalid picture"},
        {"declares-65500x65500.jpg",
         "Picture too large: 65500 x 65500 pixels (the limit is 32767 pixels a side and 256 megapixels)"},
        {"bmp-declares-30000x30000.bmp",
         "Picture too large: 30000 x 30000 pixels (the limit is 32767 pixels a side and 256 megapixels)"},
        {"thousands-of-scans.jpg", "Invalid picture: more than 256 scans in a progressive JPEG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        {   // Blend Right: the second picture is loaded into pic1 at 162
            Job j(kSamples / "sample1.jpg", kData / c.file);
            j.request.blendDirection = BlendDirection::Right;
            j.run();
            ASSERT_GE(j.ui.boxes.size(), 2u);
            EXPECT_EQ(j.ui.boxes[0].text, errorText(c.description, 162));
            EXPECT_TRUE(j.ui.boxes.back().text.starts_with("No result was written: Image #2 (" + (kData / c.file).string() + ") "))
                << j.ui.boxes.back().text;
            EXPECT_FALSE(j.job.busy());
        }
        {   // Overlay: the first picture is loaded into P at 434
            Job j(kData / c.file, kSamples / "sample2.jpg");
            j.request.mixType = MixType::Overlay;
            j.run();
            ASSERT_GE(j.ui.boxes.size(), 2u);
            EXPECT_EQ(j.ui.boxes[0].text, errorText(c.description, 434));
            EXPECT_TRUE(j.ui.boxes.back().text.starts_with("No result was written: Image #1 (" + (kData / c.file).string() + ") "))
                << j.ui.boxes.back().text;
            EXPECT_FALSE(j.job.busy());
        }
    }
}

TEST(MixJob, JpegNamedBmpStillMixes)
{
    Job j(kData / "jpeg-named.bmp", kSamples / "sample2.jpg");
    j.run();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_TRUE(fs::exists(j.result()));
}

TEST(MixJob, MissingOrEmptyOutputFolderIsRefusedBeforeAnythingIsTouched)
{
    for (const std::string& folder : {std::string("/no/such/folder"), std::string()}) {
        test::FakeUi ui;
        MixJob job(ui);
        MixRequest request;
        request.image1Path = (kSamples / "sample1.jpg").string();
        request.image2Path = (kSamples / "sample2.jpg").string();
        request.outputFolder = folder;
        const MixOutcome outcome = job.run(request);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Folder does not exist. Please select another folder.");
        EXPECT_EQ(ui.boxes[0].title, "Vantorell");
        EXPECT_FALSE(job.busy());
        EXPECT_TRUE(outcome.started);
        EXPECT_TRUE(outcome.outputPath.empty());
        EXPECT_FALSE(outcome.wroteResult());
        EXPECT_TRUE(ui.busyPointer.empty());
    }
}

TEST(MixJob, UnwritableOutputFolderReportsTheWritersError)
{
    test::TempDir dir;
    std::string folder = dir.path().string();
    if (geteuid() == 0)
        folder = "/proc";   // root writes anywhere; nothing can create a file in /proc
    else
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.request.outputFolder = folder;
    j.run();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{errorText("Cannot save the image. GDI+ Error:7", 274),
                                                      "No result was written: result.jpg could not be written."}));
    EXPECT_FALSE(j.job.busy());
    EXPECT_FALSE(j.outcome.wroteResult());
    ASSERT_EQ(j.outcome.errors.size(), 1u);
    EXPECT_EQ(j.outcome.errors[0].number, errnum::CannotSaveImage);
}

TEST(MixJob, ReadOnlyResultIsReplaced)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    std::ofstream(j.result()) << "old";
    fs::permissions(j.result(), fs::perms::owner_read);
    j.request.mixType = MixType::Overlay;
    j.run();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(loadPicture(j.result()).width(), 600);
}

TEST(MixJob, FadeRunsOnlyWhereTheFadeBranchWasGiven)
{
    Job withFade(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    withFade.request.mixType = MixType::Fade;
    withFade.request.frameCountText = "2";
    withFade.run();
    EXPECT_EQ(withFade.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(withFade.outcome.writtenFile, withFade.outcome.outputPath);
    EXPECT_GT(fs::file_size(withFade.out / "result.avi"), 0u);

    test::FakeUi ui;
    test::TempDir out;
    MixJob withoutFade(ui);   // like the plain command line: the branch is not linked in
    MixRequest request = withFade.request;
    request.outputFolder = out.path().string();
    const MixOutcome outcome = withoutFade.run(request);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(outcome.wroteResult());
    EXPECT_FALSE(fs::exists(out / "result.avi"));
    EXPECT_FALSE(withoutFade.busy());
}

TEST(MixJob, ASecondRunWhileBusyReturnsAtOnce)
{
    Job j(kSamples / "face1.jpg", kSamples / "sample1.jpg");
    j.request.mixType = MixType::Overlay;
    std::optional<MixOutcome> inner;
    j.ui.onYield = [&] {   // the overlay yields once per column: press Start again
        if (!inner)
            inner = j.job.run(j.request);
    };
    j.run();
    ASSERT_TRUE(inner);
    EXPECT_FALSE(inner->started);
    EXPECT_TRUE(inner->messages.empty());
    EXPECT_TRUE(j.outcome.started);
    EXPECT_TRUE(j.outcome.wroteResult());
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
}

TEST(MixJob, OverlayAveragesAtTheFirstPicturesSizeWithProgress)
{
    Job j(kSamples / "face1.jpg", kSamples / "sample1.jpg");
    j.request.mixType = MixType::Overlay;
    j.run();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    const int width = j.job.surfaces().overlayFirst.drawableWidth();
    EXPECT_EQ(j.job.surfaces().overlayResult.drawableWidth(), width);
    EXPECT_EQ(j.job.surfaces().overlayResult.drawableHeight(), j.job.surfaces().overlayFirst.drawableHeight());
    EXPECT_EQ(j.ui.yields, 1 + width + 1);   // the deletion's yield, then one per column
    // one value per column, then the reset: value 0 and the text, each a change of the bar
    ASSERT_EQ(j.ui.progressValues.size(), std::size_t(width + 1 + 2));
    EXPECT_EQ(j.ui.progressValues[std::size_t(width)], 100.0);
    EXPECT_EQ(j.ui.progressValues.back(), 0.0);
    EXPECT_EQ(j.job.progressBar().value(), 0.0);
    EXPECT_EQ(j.job.progressBar().text(), "Progress Bar");
    const Picture result = loadPicture(j.result());
    EXPECT_EQ(result.width(), width);
    EXPECT_FALSE(j.job.busy());
}

}  // namespace
}  // namespace vantorell
