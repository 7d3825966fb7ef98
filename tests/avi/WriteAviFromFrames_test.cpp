#include "avi/AviWriter.h"

#include "platform/Controls.h"
#include "platform/RuntimeError.h"
#include "platform/WorkSurface.h"
#include "support/AviDecode.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QImage>

#include <fstream>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::TempDir;

namespace {

struct Frames {
    TempDir folder;
    TempDir out;
    FakeUi ui;
    WorkSurface resaver;
    ProgressBar progress;
    int count = 3;
    AviFrameSource source{ui,
                          "Vantorell",
                          [this](int i) { return folder / ("Morph_" + std::to_string(i) + ".bmp"); },
                          folder / "temp.bmp",
                          resaver,
                          progress,
                          [this] { return count; }};

    // Frame i: a 12 x 8 bitmap file whose every pixel is grey 40 * i.
    void write(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            WorkSurface s(12, 8);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 12; ++x)
                    s.setPixel(x, y, 0x010101 * (40 * i));
            s.saveAsBitmapFile(folder / ("Morph_" + std::to_string(i) + ".bmp"));
        }
    }
};

}  // namespace

TEST(WriteAviFromFrames, WritesEveryFrameAndDrivesTheProgressBar)
{
    Frames f;
    f.write(3);
    std::vector<double> values;
    f.progress.onChanged = [&] { values.push_back(f.progress.value()); };
    WriteAviFromFrames(f.out / "result.avi", 5, f.source);
    EXPECT_TRUE(f.ui.boxes.empty());
    EXPECT_EQ(f.progress.max(), 2);
    EXPECT_EQ(f.progress.value(), 2);
    const test::DecodedAvi avi = test::DecodeAvi(f.out / "result.avi");
    ASSERT_EQ(avi.frames.size(), 3u);
    EXPECT_EQ(avi.frames[2][0], 80);
    EXPECT_FALSE(std::filesystem::exists(f.folder / "temp.bmp"));
}

TEST(WriteAviFromFrames, OutputThatCannotBeCreatedGivesTheWritingMessage)
{
    Frames f;
    f.write(1);
    WriteAviFromFrames(f.out / "missing" / "result.avi", 5, f.source);
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{"There was an error writing to file"});
    EXPECT_EQ(f.ui.boxes[0].title, "Vantorell");
    EXPECT_TRUE(f.ui.compressorOffers.empty());
}

TEST(WriteAviFromFrames, AFrameThatIsAnotherPictureFormatIsReSavedAsABitmap)
{
    Frames f;
    f.write(2);
    QImage png(12, 8, QImage::Format_RGB32);
    png.fill(qRgb(200, 200, 200));
    ASSERT_TRUE(png.save(QString::fromStdString((f.folder / "Morph_1.bmp").string()), "PNG"));
    f.count = 2;
    WriteAviFromFrames(f.out / "result.avi", 5, f.source);
    EXPECT_TRUE(f.ui.boxes.empty());
    const test::DecodedAvi avi = test::DecodeAvi(f.out / "result.avi");
    ASSERT_EQ(avi.frames.size(), 2u);
    EXPECT_EQ(avi.frames[1][0], 200);
}

TEST(WriteAviFromFrames, AMissingOrDamagedFrameRaisesTheLoaderErrorAndKeepsAValidFile)
{
    {
        Frames f;   // no frame at all: the first frame's load fails
        f.count = 0;
        EXPECT_THROW(WriteAviFromFrames(f.out / "result.avi", 5, f.source), RuntimeError);
        EXPECT_TRUE(f.ui.boxes.empty());
        EXPECT_FALSE(std::filesystem::exists(f.out / "result.avi"));
    }
    {
        Frames f;
        f.write(3);
        std::ofstream(f.folder / "Morph_2.bmp", std::ios::trunc) << "BM but nothing else";
        try {
            WriteAviFromFrames(f.out / "result.avi", 5, f.source);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), errnum::InvalidPicture);
        }
        const test::DecodedAvi avi = test::DecodeAvi(f.out / "result.avi");
        EXPECT_TRUE(avi.opened);
        EXPECT_EQ(avi.frames.size(), 2u);
    }
}

TEST(WriteAviFromFrames, CancelledDialogWritesNoFramesAndNoMessage)
{
    Frames f;
    f.write(3);
    f.ui.compressorAnswers.push_back(std::nullopt);
    WriteAviFromFrames(f.out / "result.avi", 0, f.source);
    EXPECT_TRUE(f.ui.boxes.empty());
    const test::DecodedAvi avi = test::DecodeAvi(f.out / "result.avi");
    EXPECT_TRUE(avi.opened);
    EXPECT_EQ(avi.frames.size(), 0u);
    EXPECT_EQ(avi.timeBaseDen, 1);   // 0 per second: rate 1
}
