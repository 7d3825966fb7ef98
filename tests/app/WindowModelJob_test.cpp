// The window's Start button on the shipped samples: the whole path from the samples button to
// the result file, as a user would take it.
#include "app/WindowModelHarness.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(WindowModelJob, SamplesBlendAndOverlayToResultJpg)
{
    WindowModelHarness h;
    std::filesystem::create_directory_symlink(VANTORELL_SAMPLES_DIR, h.programFolder() / "Samples");
    WindowModel& f = h.load();
    const auto out = h.dir.path() / "out";
    std::filesystem::create_directories(out);
    h.ui.folderAnswers.push_back(out);
    f.browseOutputFolder();
    f.loadSamples();
    ASSERT_TRUE(std::filesystem::exists(f.image1Box.text())) << f.image1Box.text();

    f.start();
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(h.ui.boxes.back().title, "Vantorell");
    EXPECT_TRUE(std::filesystem::file_size(out / "result.jpg") > 0);
    ASSERT_GE(h.ui.busyPointer.size(), 2u);
    EXPECT_TRUE(h.ui.busyPointer.front());
    EXPECT_FALSE(h.ui.busyPointer.back());
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);
    EXPECT_FALSE(f.busy());

    std::filesystem::remove(out / "result.jpg");
    f.click(f.overlayOption);
    f.start();
    EXPECT_EQ(h.ui.texts().back(), "Done.");
    EXPECT_TRUE(h.ui.applicationErrors().empty());
    EXPECT_TRUE(std::filesystem::exists(out / "result.jpg"));
    EXPECT_EQ(f.progressBar().text(), "Progress Bar");
}

// What Align found is a status, not a box: the job goes on to "Done." without a click, and the
// window keeps the status until the next Start. A pair that cannot be aligned is still a box.
TEST(WindowModelJob, AlignSaysWhatItFoundWithoutABox)
{
    WindowModelHarness h;
    std::filesystem::create_directory_symlink(VANTORELL_SAMPLES_DIR, h.programFolder() / "Samples");
    WindowModel& f = h.load();
    f.outputFolderBox.setText(h.dir.path().string());
    f.loadSamples();   // two different scenes
    f.click(f.overlayOption);
    f.setAlign(true);
    f.image2Box.setText(f.image1Box.text());
    const MixOutcome aligned = f.start();
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(f.jobStatus(), "Aligned: turned 0.0 degrees, scaled 1.00, moved 0, 0 pixels");
    EXPECT_EQ(aligned.messages.front().text, f.jobStatus());

    f.loadSamples();
    f.startJob();
    EXPECT_EQ(f.jobStatus(), "");
    EXPECT_EQ(h.ui.texts().back(), "No result was written: Image #2 could not be aligned to Image #1: too few matching features");
}

TEST(WindowModelJob, ClosingTheWindowDuringAGifFadeLeavesNoWorkFolderOrTemporary)
{
    WindowModelHarness h;
    std::filesystem::create_directory_symlink(VANTORELL_SAMPLES_DIR, h.programFolder() / "Samples");
    const auto out = h.dir.path() / "out";
    const auto temp = h.dir.path() / "temp";
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(temp);
    ScopedEnv env("TEMP", temp.string());
    WindowModel& f = h.load();
    f.outputFolderBox.setText(out.string());
    f.click(f.fadeOption);
    f.click(f.saveAsGifOption);
    f.loadSamples();
    f.frameCountBox.setText("3");
    bool closed = false;
    h.ui.onYield = [&] {   // the user closes the window while the GIF is imported
        if (closed || std::filesystem::is_empty(temp))
            return;
        closed = true;
        bool cancel = true;
        f.queryUnload(cancel, 0);
        f.unload();
    };
    f.start();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(f.unloaded());
    EXPECT_FALSE(f.busy());
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    for (const auto& entry : std::filesystem::directory_iterator(out))
        EXPECT_EQ(entry.path().filename(), "result.gif");   // whole, or nothing: no temporary
}

TEST(WindowModelJob, MissingFolderIsReportedWithTheApplicationTitle)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.outputFolderBox.setText((h.dir.path() / "nowhere").string());
    f.start();   // the picture boxes are empty: refused before anything runs
    f.loadSamples();
    f.start();
    EXPECT_EQ(h.ui.texts(), (std::vector<std::string>{"Please choose Image #1.",
                                                      "Folder does not exist. Please select another folder."}));
    for (const auto& box : h.ui.boxes)
        EXPECT_EQ(box.title, "Vantorell");
}

}  // namespace
}  // namespace vantorell::test
