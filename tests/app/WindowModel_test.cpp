// The window's interlocks, dialogs, explanations, numeric checks, start-up files, pointer
// feedback and closing, driven as a user would.
#include "app/WindowModelHarness.h"
#include "colour/Ditherer.h"


#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

std::vector<const Control*> mixControls(WindowModel& f)
{
    return {&f.Option1, &f.Option2, &f.Option3, &f.Option4, &f.hStart, &f.txtFPS, &f.Text4, &f.Option8, &f.Option9};
}

TEST(WindowModelInterlocks, MixTypesSetCaptionEnabledStatesAndExtension)
{
    WindowModelHarness h;
    WindowModel& f = h.load();

    f.click(f.Option6);
    EXPECT_EQ(f.PushButton2.caption(), "Start Fading Two Image");
    for (const Control* c : mixControls(f))
        EXPECT_TRUE(f.usable(*c));
    EXPECT_TRUE(f.Frame7.enabled() && f.Frame8.enabled() && f.Frame9.enabled());
    EXPECT_EQ(f.OutputExtension, "avi");
    EXPECT_EQ(h.settings.stored("Option6"), "True");
    EXPECT_EQ(h.settings.stored("Option5"), "False");

    f.click(f.Option9);
    EXPECT_EQ(f.OutputExtension, "gif");
    EXPECT_EQ(h.settings.stored("Option9"), "True");
    f.click(f.Option8);
    EXPECT_EQ(f.OutputExtension, "avi");

    f.click(f.Option7);
    EXPECT_EQ(f.PushButton2.caption(), "Start Overlaying Two Image");
    for (const Control* c : mixControls(f))
        EXPECT_FALSE(f.usable(*c));
    EXPECT_TRUE(f.Frame7.enabled() && f.Frame8.enabled() && f.Frame9.enabled());   // left as they were
    EXPECT_EQ(f.OutputExtension, "jpg");
    EXPECT_EQ(h.settings.stored("Option7"), "True");

    f.click(f.Option6);
    for (const Control* c : mixControls(f))
        EXPECT_TRUE(f.usable(*c));

    f.click(f.Option9);
    f.click(f.Option5);
    EXPECT_EQ(f.PushButton2.caption(), "Start Blending Two Image");
    EXPECT_EQ(f.OutputExtension, "jpg");
    EXPECT_TRUE(f.usable(f.Option1));
    EXPECT_TRUE(f.usable(f.hStart));
    EXPECT_FALSE(f.usable(f.Text4));
    EXPECT_FALSE(f.usable(f.Option9));
    EXPECT_FALSE(f.Frame9.enabled());
    EXPECT_TRUE(f.Option9.value());   // the fade output choice is kept
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelInterlocks, OptionGroupsAreExclusiveAndContainersDisableTheirControls)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.click(f.Option3);
    EXPECT_FALSE(f.Option1.value());
    EXPECT_TRUE(f.Option3.value());
    EXPECT_TRUE(f.Option5.value());   // another group is untouched

    f.Frame11.setEnabled(false);
    EXPECT_TRUE(f.Option1.enabled());
    EXPECT_FALSE(f.usable(f.Option1));
    EXPECT_FALSE(f.usable(f.hStart));
    EXPECT_EQ(f.container(f.Option1), &f.Frame1);
    EXPECT_EQ(f.container(f.Frame1), &f.Frame11);
    EXPECT_EQ(f.container(f.Slider1), &f.Frame13);
    EXPECT_EQ(f.container(f.PushButton2), nullptr);
}

TEST(WindowModelInterlocks, UpdateOutputExtensionLeavesItWhenNothingDecides)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.click(f.Option6);
    f.click(f.Option9);
    f.setOptionValue(f.Option9, false);
    f.UpdateOutputExtension();
    EXPECT_EQ(f.OutputExtension, "gif");
    f.setOptionValue(f.Option6, false);
    f.UpdateOutputExtension();
    EXPECT_EQ(f.OutputExtension, "gif");
}

TEST(WindowModelFiles, OpenFileDialogFillsTheBoxOrChangesNothing)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    h.ui.fileAnswers.push_back({"/pics/a.jpg"});
    f.PushButton1_Click();
    ASSERT_EQ(h.ui.fileRequests.size(), 1u);
    EXPECT_EQ(h.ui.fileRequests[0].title, "Add File(s) - Hold Ctrl or Shift to select multiple files");
    EXPECT_EQ(h.ui.fileRequests[0].filter, "JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|");
    EXPECT_EQ(f.Text1.text(), "/pics/a.jpg");
    EXPECT_EQ(h.settings.stored("Image 1"), "/pics/a.jpg");

    f.PushButton1_Click();   // cancelled
    EXPECT_EQ(f.Text1.text(), "/pics/a.jpg");
    f.PushButton3_Click();   // cancelled, box stays empty
    EXPECT_EQ(f.Text2.text(), "");
    h.ui.fileAnswers.push_back({"/pics/b c.jpeg"});
    f.PushButton3_Click();
    EXPECT_EQ(f.Text2.text(), "/pics/b c.jpeg");
    EXPECT_EQ(h.settings.stored("Image 2"), "/pics/b c.jpeg");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelFiles, SamplesFollowTheMixTypeAndTheProgramFolder)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    const std::string beside = h.programFolder().string() + "/Samples/";
    f.PushButton7_Click();
    EXPECT_EQ(f.Text1.text(), beside + "sample1.jpg");
    EXPECT_EQ(f.Text2.text(), beside + "sample2.jpg");
    EXPECT_EQ(h.settings.stored("Image 1"), beside + "sample1.jpg");
    f.click(f.Option6);
    f.PushButton7_Click();
    EXPECT_EQ(f.Text1.text(), beside + "face1.jpg");
    EXPECT_EQ(f.Text2.text(), beside + "face2.jpg");
    f.click(f.Option7);
    f.PushButton7_Click();
    EXPECT_EQ(f.Text1.text(), beside + "sample1.jpg");

    // No mix type selected: nothing changes.
    f.setOptionValue(f.Option7, false);
    f.Text1.setText("keep");
    f.PushButton7_Click();
    EXPECT_EQ(f.Text1.text(), "keep");

    // An installed program finds its samples in the data folder.
    std::filesystem::create_directories(h.dir.path() / "share/vantorell/Samples");
    EXPECT_EQ(f.samplesFolder(), h.dir.path() / "share/vantorell/Samples");
    std::filesystem::create_directories(h.programFolder() / "Samples");
    EXPECT_EQ(f.samplesFolder(), h.programFolder() / "Samples");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelFiles, HelpAndQualityExplanations)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.PushButton4_Click();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].title, "Vantorell");
    EXPECT_EQ(h.ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(h.ui.boxes[0].text,
              "To prevent images from being cropped:\n\n1. All images must be the same pixel dimension (height and "
              "width)\n\n2. The first image must be larger than the second image.");

    f.PushButton8_Click();
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[1].text,
              "Smart-Detect will automatically detect the image quality of each input JPG file and use this "
              "information to create a similar quality output JPG file.\n\nFixed Quality will use the same image "
              "quality for every output JPG file.");

    f.Option21.setCaption("Auto");
    f.Option22.setCaption("Fi:xed:");
    f.PushButton8_Click();
    EXPECT_EQ(h.ui.boxes[2].text.substr(0, 5), "Auto ");
    EXPECT_NE(h.ui.boxes[2].text.find("\n\nFixed will use"), std::string::npos);
}

TEST(WindowModelFiles, NumericChecksOnLeavingTheNumberBoxes)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    std::vector<const Control*> focused;
    f.onSetFocus = [&](Control& c) { focused.push_back(&c); };

    f.txtFPS.setText("abc");
    f.txtFPS_LostFocus();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Must be a numeric entry.");
    EXPECT_EQ(h.ui.boxes[0].title, "Vantorell");
    ASSERT_EQ(focused.size(), 1u);
    EXPECT_EQ(focused[0], &f.txtFPS);
    EXPECT_EQ(h.settings.stored("FPS"), "abc");
    EXPECT_EQ(f.txtFPS.text(), "abc");

    f.Text4.setText("");
    f.Text4_LostFocus();
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(focused.back(), &f.Text4);

    for (const char* number : {"0", "-3", "2.5", " 12 ", "1e3", "+4", ".5"}) {
        f.Text4.setText(number);
        f.Text4_LostFocus();
        EXPECT_EQ(h.ui.boxes.size(), 2u) << number;
    }
}

TEST(WindowModelFiles, NumberRecognition)
{
    for (const char* yes : {"0", "-3", "2.5", " 7 ", "1e3", "1E-3", "+4", ".5", "5."})
        EXPECT_TRUE(IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", "abc", "1x", "inf", "nan", "0x10", "--1", "1e", "1 2", "1e999"})
        EXPECT_FALSE(IsNumeric(no)) << no;
    EXPECT_TRUE(BooleanFromSetting("tRuE"));
    EXPECT_FALSE(BooleanFromSetting("false"));
    EXPECT_TRUE(BooleanFromSetting("-1"));
    EXPECT_TRUE(BooleanFromSetting("0.5"));
    EXPECT_FALSE(BooleanFromSetting("0"));
    EXPECT_THROW(BooleanFromSetting(""), RuntimeError);
    EXPECT_EQ(WholeNumberFromSetting("2.5"), 2);
    EXPECT_EQ(WholeNumberFromSetting("-2.5"), -2);
    EXPECT_EQ(WholeNumberFromSetting("3.5"), 4);
    EXPECT_THROW(WholeNumberFromSetting("2147483648"), RuntimeError);
}

TEST(WindowModelFolder, BrowserSetsTheOutputFolderWithOneTrailingSeparator)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    h.ui.folderAnswers.push_back(std::filesystem::path("/srv/out"));
    f.PushButton5_Click();
    ASSERT_EQ(h.ui.folderTitles.size(), 1u);
    EXPECT_EQ(h.ui.folderTitles[0], "Save To This Folder");
    EXPECT_EQ(f.Text3.text(), "/srv/out/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/srv/out");
    EXPECT_EQ(h.settings.stored("Text3"), "/srv/out/");

    h.ui.folderAnswers.push_back(std::filesystem::path("/"));
    f.PushButton5_Click();
    EXPECT_EQ(f.Text3.text(), "/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/");

    f.PushButton5_Click();   // cancelled
    h.ui.folderAnswers.push_back(std::filesystem::path());
    f.PushButton5_Click();   // no path
    EXPECT_EQ(f.Text3.text(), "/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelStartup, ApplicationTitle)
{
    EXPECT_EQ(ApplicationTitleFor("Vantorell"), "Vantorell");
    EXPECT_EQ(ApplicationTitleFor("Hedracor Vantorell"), "Hedracor");
    EXPECT_EQ(ApplicationTitleFor("A B C"), "A B");
    // Five words, 45 characters, the first four take 35: one word goes.
    const std::string name = "Aaaaaaaa Bbbbbbbb Cccccccc Dddddddd Eeeeeeeee";
    ASSERT_EQ(name.size(), 45u);
    EXPECT_EQ(ApplicationTitleFor(name), "Aaaaaaaa Bbbbbbbb Cccccccc Dddddddd");
    const std::string longer = std::string(30, 'a') + " " + std::string(15, 'b') + " c";
    EXPECT_EQ(ApplicationTitleFor(longer), std::string(30, 'a'));
    EXPECT_EQ(ApplicationTitleFor(std::string(50, 'x')), std::string(50, 'x'));
}

TEST(WindowModelStartup, HomePageOnlyOnADrawOfSeven)
{
    for (const auto& [draw, starts] : {std::pair{0.06, true}, {0.0699, true}, {0.07, false}, {0.05999, false}}) {
        WindowModelHarness h;
        h.randomDraw = draw;
        h.load();
        EXPECT_EQ(h.ui.shellStarts.size(), starts ? 1u : 0u) << draw;
        if (starts) {
            EXPECT_EQ(h.ui.shellStarts[0], "https://vantorell.app/");
        }
    }
}

TEST(WindowModelStartup, DitheringModuleIsSetUpForHalftoneWithoutDither)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    ASSERT_NE(f.Dither, nullptr);
    EXPECT_EQ(f.Dither->paletteMode(), PaletteMode::Halftone);
    EXPECT_EQ(f.Dither->ditherMode(), DitherMode::None);
}

TEST(WindowModelStartup, SkinFileSwitchesToButtonFaceColours)
{
    WindowModelHarness plain;
    EXPECT_FALSE(plain.load().Skinned);
    EXPECT_EQ(plain.form->BackColor, 0u);

    WindowModelHarness h;
    h.writeFile(h.programFolder() / "x" / "o.cjs", "skin");
    WindowModel& f = h.load();
    EXPECT_TRUE(f.Skinned);
    EXPECT_EQ(f.BackColor, 0x8000000Fu);
    EXPECT_TRUE(h.ui.boxes.empty());
}

std::string cursorFile(int hotX, int hotY)
{
    std::string bytes = {0, 0, 2, 0, 1, 0, 32, 32, 0, 0};
    bytes += static_cast<char>(hotX);
    bytes += '\0';
    bytes += static_cast<char>(hotY);
    bytes += '\0';
    bytes += std::string(8, '\0');
    return bytes;
}

TEST(WindowModelStartup, HandPointerOverThePushButtons)
{
    WindowModelHarness h;
    h.writeFile(h.programFolder() / "HAND-M.CUR", cursorFile(5, 1));
    WindowModel& f = h.load();
    EXPECT_EQ(f.MouseIcon, h.programFolder() / "HAND-M.CUR");
    EXPECT_EQ(f.MouseIconHotX, 5);
    EXPECT_EQ(f.MouseIconHotY, 1);

    f.MouseMove(&f.PushButton2);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
    f.MouseMove(&f.Option5);   // not a pointer area: no change
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
    f.MouseMove(&f.Frame3);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);
    f.MouseMove(&f.PushButton8);
    EXPECT_EQ(f.MousePointer(), WindowModel::Pointer::Custom);
    f.MouseMove(nullptr);
    EXPECT_EQ(f.MousePointer(), WindowModel::Pointer::Default);
    f.MouseMove(&f.Text1);
    EXPECT_EQ(f.MousePointer(), WindowModel::Pointer::Default);
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelStartup, NoOrBadHandPointer)
{
    WindowModelHarness none;
    WindowModel& f = none.load();
    f.MouseMove(&f.PushButton1);
    EXPECT_EQ(f.MousePointer(), WindowModel::Pointer::Custom);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);   // no file: the default arrow
    EXPECT_TRUE(none.ui.boxes.empty());

    WindowModelHarness bad;
    bad.writeFile(bad.programFolder() / "HAND-M.CUR", "not a cursor");
    WindowModel& g = bad.load();
    ASSERT_EQ(bad.ui.applicationErrors().size(), 1u);
    EXPECT_NE(bad.ui.boxes[0].text.find("Form1.Form_Load at line 106"), std::string::npos);
    EXPECT_TRUE(g.MouseIcon.empty());
    EXPECT_EQ(g.PushButton2.caption(), "Start Blending Two Image");   // start-up went on
}

TEST(WindowModelStartup, PointerFeedbackWaitsWhileBusy)
{
    WindowModelHarness h;
    h.writeFile(h.programFolder() / "HAND-M.CUR", cursorFile(0, 0));
    WindowModel& f = h.load();
    f.ui().setBusyPointer(true);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hourglass);
    f.MouseMove(&f.PushButton2);
    EXPECT_EQ(f.MousePointer(), WindowModel::Pointer::Default);
    f.ui().setBusyPointer(false);
    ASSERT_EQ(h.ui.busyPointer.size(), 2u);
    f.MouseMove(&f.PushButton2);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
}

TEST(WindowModelClosing, QueryUnloadReleasesTheGifDocumentAndYieldsTwice)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    bool released = false;
    f.gifDocument = std::shared_ptr<GifDocument>(static_cast<GifDocument*>(nullptr), [&](GifDocument*) { released = true; });
    const int yields = h.ui.yields;
    bool cancel = true;
    f.Form_QueryUnload(cancel, 0);
    EXPECT_FALSE(cancel);
    EXPECT_TRUE(released);
    EXPECT_EQ(h.ui.yields, yields + 2);

    bool ended = false;
    f.onUnload = [&] { ended = true; };
    f.Form_Unload();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(f.unloaded());
    EXPECT_TRUE(h.ui.boxes.empty());
}

}  // namespace
}  // namespace vantorell::test
