#include "job/MixJob.h"

#include "job/ErrorReport.h"
#include "platform/PictureLoader.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = VANTORELL_SAMPLES_DIR;
const fs::path kData = fs::path(VANTORELL_SOURCE_DIR) / "tests/data/picture";

std::string errorText(const std::string& description, int label)
{
    return ApplicationErrorText("PushButton2_Click", label, description);
}

// A job on the given pictures with its output in a fresh folder.
struct Job {
    test::FakeUi ui;
    test::TempDir out;
    MixJob job{ui};

    Job(const fs::path& first, const fs::path& second)
    {
        job.Text1.setText(first.string());
        job.Text2.setText(second.string());
        job.Text3.setText(out.path().string());
    }
    fs::path result() const { return out / "result.jpg"; }
    void selectOverlay()
    {
        job.Option5.setValue(false);
        job.Option7.setValue(true);
    }
    void selectDirection(int n)
    {
        OptionButton* options[] = {&job.Option1, &job.Option2, &job.Option3, &job.Option4};
        for (int i = 0; i < 4; ++i)
            options[i]->setValue(i == n);
    }
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

TEST(MixJob, DesignValues)
{
    test::FakeUi ui;
    MixJob job(ui);
    EXPECT_EQ(job.Text4.text(), "10");
    EXPECT_EQ(job.txtFPS.text(), "5");
    EXPECT_TRUE(job.Option1.value());
    EXPECT_TRUE(job.Option5.value());
    EXPECT_TRUE(job.Option8.value());
    EXPECT_TRUE(job.Option21.value());
    EXPECT_FALSE(job.Option22.value());
    EXPECT_EQ(job.Slider1.min(), 1);
    EXPECT_EQ(job.Slider1.max(), 100);
    EXPECT_EQ(job.Slider1.value(), 85);
    EXPECT_EQ(job.hStart.min(), 0);
    EXPECT_EQ(job.hStart.max(), 729);
    EXPECT_EQ(job.OutputExtension, "jpg");
    EXPECT_FALSE(job.JobBusy);
    EXPECT_EQ(job.ProgressBar1.text(), "Progress Bar");
    job.ProgressBar1.setValue(42);
    ASSERT_EQ(ui.progressValues.size(), 1u);
    EXPECT_EQ(ui.progressValues[0], 42);
}

TEST(MixJob, BlendWritesTheCanvasAsJpegAndSaysDone)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.job.PushButton2_Click();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(j.ui.boxes[0].title, "Vantorell");
    EXPECT_FALSE(j.job.JobBusy);
    EXPECT_EQ(j.ui.busyPointer, (std::vector<bool>{true, false}));
    EXPECT_TRUE(j.ui.progressValues.empty());   // the blend leaves the progress bar alone
    const Picture result = LoadPicture(j.result());
    EXPECT_EQ(result.width(), 729);
    EXPECT_EQ(result.height(), 425);
    EXPECT_EQ(j.job.OutputPath, "/" + (j.out / "result.jpg").string());   // leading run made two
    EXPECT_GE(j.job.JpegQuality, 1);
    EXPECT_LE(j.job.JpegQuality, 100);
    EXPECT_EQ(j.job.hStart.max(), 729);
}

TEST(MixJob, RightAndBottomAreLeftAndTopWithTheInputsExchanged)
{
    for (int pair : {0, 2}) {
        Job forward(kSamples / "sample1.jpg", kSamples / "face1.jpg");
        forward.selectDirection(pair);
        forward.job.hStart.setValue(100);
        forward.job.PushButton2_Click();
        Job backward(kSamples / "face1.jpg", kSamples / "sample1.jpg");
        backward.selectDirection(pair + 1);
        backward.job.hStart.setValue(100);
        backward.job.PushButton2_Click();
        EXPECT_TRUE(samePixels(forward.job.picDest.image(), backward.job.picDest.image())) << "direction " << pair;
        EXPECT_EQ(forward.job.JpegQuality, backward.job.JpegQuality);
    }
}

TEST(MixJob, SmartDetectTakesTheLargerEstimateFixedQualityTheSlider)
{
    Job j(kSamples / "sample1.jpg", kSamples / "face1.jpg");
    WorkSurface s1, s2;
    s1.loadPicture(kSamples / "sample1.jpg");
    s2.loadPicture(kSamples / "face1.jpg");
    j.job.PushButton2_Click();
    const auto q1 = 101.0 - double(s1.picture().width()) * s1.picture().height() * 3 / fs::file_size(kSamples / "sample1.jpg");
    const auto q2 = 101.0 - double(s2.picture().width()) * s2.picture().height() * 3 / fs::file_size(kSamples / "face1.jpg");
    EXPECT_EQ(j.job.JpegQuality, std::clamp(int(std::nearbyint(std::max(q1, q2))), 1, 100));

    j.job.Option21.setValue(false);
    j.job.Option22.setValue(true);
    j.job.Slider1.setValue(33);
    j.job.PushButton2_Click();
    EXPECT_EQ(j.job.JpegQuality, 33);

    j.job.Option22.setValue(false);   // neither: quality 0 goes to the writer
    j.job.PushButton2_Click();
    EXPECT_EQ(j.job.JpegQuality, 0);
    EXPECT_TRUE(fs::exists(j.result()));
    EXPECT_TRUE(j.ui.applicationErrors().empty());
}

TEST(MixJob, MissingFirstPictureReportsLines124And130ThenBlendsAnyway)
{
    Job j(kSamples / "missing.jpg", kSamples / "sample2.jpg");
    std::ofstream(j.result()) << "old result";
    j.job.PushButton2_Click();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{errorText("File not found", 124),
                                                      errorText("File not found", 130), "Done."}));
    EXPECT_EQ(j.ui.boxes[0].title, "Application Error");
    EXPECT_EQ(j.ui.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(j.job.JobBusy);
    EXPECT_EQ(LoadPicture(j.result()).width(), 729);   // the old result is gone, the blend written
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
        const auto start = std::chrono::steady_clock::now();
        {   // Blend Right: the second picture is loaded into pic1 at 162
            Job j(kSamples / "sample1.jpg", kData / c.file);
            j.selectDirection(1);
            j.job.PushButton2_Click();
            ASSERT_GE(j.ui.boxes.size(), 2u);
            EXPECT_EQ(j.ui.boxes[0].text, errorText(c.description, 162));
            EXPECT_EQ(j.ui.boxes.back().text, "Done.");
            EXPECT_FALSE(j.job.JobBusy);
        }
        {   // Overlay: the first picture is loaded into P at 434
            Job j(kData / c.file, kSamples / "sample2.jpg");
            j.selectOverlay();
            j.job.PushButton2_Click();
            ASSERT_GE(j.ui.boxes.size(), 2u);
            EXPECT_EQ(j.ui.boxes[0].text, errorText(c.description, 434));
            EXPECT_EQ(j.ui.boxes.back().text, "Done.");
            EXPECT_FALSE(j.job.JobBusy);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

TEST(MixJob, JpegNamedBmpAndTruncatedJpegStillMix)
{
    for (const char* name : {"jpeg-named.bmp", "truncated.jpg"}) {
        SCOPED_TRACE(name);
        Job j(kData / name, kSamples / "sample2.jpg");
        j.job.PushButton2_Click();
        EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
        EXPECT_TRUE(fs::exists(j.result()));
    }
}

TEST(MixJob, MissingOrEmptyOutputFolderIsRefusedBeforeAnythingIsTouched)
{
    for (const std::string& folder : {std::string("/no/such/folder"), std::string()}) {
        test::FakeUi ui;
        MixJob job(ui);
        job.Text1.setText((kSamples / "sample1.jpg").string());
        job.Text2.setText((kSamples / "sample2.jpg").string());
        job.Text3.setText(folder);
        job.PushButton2_Click();
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Folder does not exist. Please select another folder.");
        EXPECT_EQ(ui.boxes[0].title, "Vantorell");
        EXPECT_FALSE(job.JobBusy);
        EXPECT_TRUE(job.OutputPath.empty());
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
    test::FakeUi ui;
    MixJob job(ui);
    job.Text1.setText((kSamples / "sample1.jpg").string());
    job.Text2.setText((kSamples / "sample2.jpg").string());
    job.Text3.setText(folder);
    job.PushButton2_Click();
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{errorText("Cannot save the image. GDI+ Error:7", 274), "Done."}));
    EXPECT_FALSE(job.JobBusy);
}

TEST(MixJob, ReadOnlyResultIsReplaced)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    std::ofstream(j.result()) << "old";
    fs::permissions(j.result(), fs::perms::owner_read);
    j.selectOverlay();
    j.job.PushButton2_Click();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(LoadPicture(j.result()).width(), 600);
}

TEST(MixJob, NoMixTypeWritesNothingAndSaysNothing)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.job.Option5.setValue(false);
    j.job.PushButton2_Click();
    EXPECT_TRUE(j.ui.boxes.empty());
    EXPECT_FALSE(fs::exists(j.result()));
    EXPECT_FALSE(j.job.JobBusy);
}

TEST(MixJob, FadeBranchIsReachedAndTheJobEnds)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.job.Option5.setValue(false);
    j.job.Option6.setValue(true);
    j.job.OutputExtension = "avi";
    j.job.PushButton2_Click();
    EXPECT_FALSE(j.job.JobBusy);
    EXPECT_TRUE(j.ui.applicationErrors().empty());
}

TEST(MixJob, BlendWithNoDirectionWritesWhatPicDestHolds)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    for (OptionButton* o : {&j.job.Option1, &j.job.Option2, &j.job.Option3, &j.job.Option4})
        o->setValue(false);
    j.job.PushButton2_Click();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    const Picture result = LoadPicture(j.result());
    EXPECT_EQ(result.width(), 729);
    EXPECT_EQ(result.bitmap().pixel(300, 200), 0xFFFFFF);   // a fresh canvas is white
}

TEST(MixJob, ASecondPressWhileBusyReturnsAtOnce)
{
    Job j(kSamples / "sample1.jpg", kSamples / "sample2.jpg");
    j.job.JobBusy = true;
    j.job.PushButton2_Click();
    EXPECT_TRUE(j.ui.boxes.empty());
    EXPECT_TRUE(j.job.JobBusy);
    EXPECT_FALSE(fs::exists(j.result()));
}

TEST(MixJob, OverlayAveragesAtTheFirstPicturesSizeWithProgress)
{
    Job j(kSamples / "face1.jpg", kSamples / "sample1.jpg");
    j.selectOverlay();
    j.job.PushButton2_Click();
    EXPECT_EQ(j.ui.texts(), (std::vector<std::string>{"Done."}));
    const int width = j.job.P.drawableWidth();
    EXPECT_EQ(j.job.P3.drawableWidth(), width);
    EXPECT_EQ(j.job.P3.drawableHeight(), j.job.P.drawableHeight());
    EXPECT_EQ(j.ui.yields, 1 + width + 1);   // the deletion's yield, then one per column
    // one value per column, then the reset: value 0 and the text, each a change of the bar
    ASSERT_EQ(j.ui.progressValues.size(), std::size_t(width + 1 + 2));
    EXPECT_EQ(j.ui.progressValues[std::size_t(width)], 100.0);
    EXPECT_EQ(j.ui.progressValues.back(), 0.0);
    EXPECT_EQ(j.job.ProgressBar1.value(), 0.0);
    EXPECT_EQ(j.job.ProgressBar1.text(), "Progress Bar");
    const Picture result = LoadPicture(j.result());
    EXPECT_EQ(result.width(), width);
    EXPECT_FALSE(j.job.JobBusy);
}

}  // namespace
}  // namespace vantorell
