// The window's interlocks, dialogs, explanations, numeric checks, start-up files, pointer
// feedback and closing, driven as a user would.
#include "app/WindowModelHarness.h"
#include "platform/Conversions.h"


#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

std::vector<const Control*> mixControls(WindowModel& f)
{
    return {&f.blendLeftOption, &f.blendRightOption, &f.blendTopOption,    &f.blendBottomOption, &f.blendSizeBar,
            &f.framesPerSecondBox, &f.frameCountBox, &f.saveAsAviOption, &f.saveAsGifOption};
}

TEST(WindowModelInterlocks, MixTypesSetCaptionEnabledStatesAndExtension)
{
    WindowModelHarness h;
    WindowModel& f = h.load();

    f.click(f.fadeOption);
    EXPECT_EQ(f.startButton.caption(), "Start Fading Two Image");
    for (const Control* c : mixControls(f))
        EXPECT_TRUE(f.usable(*c));
    EXPECT_TRUE(f.framesPerSecondFrame.enabled() && f.frameCountFrame.enabled() && f.outputFrame.enabled());
    EXPECT_EQ(outputExtension(f.request()), "avi");
    EXPECT_EQ(h.settings.stored("Option6"), "True");
    EXPECT_EQ(h.settings.stored("Option5"), "False");

    f.click(f.saveAsGifOption);
    EXPECT_EQ(outputExtension(f.request()), "gif");
    EXPECT_EQ(h.settings.stored("Option9"), "True");
    f.click(f.saveAsAviOption);
    EXPECT_EQ(outputExtension(f.request()), "avi");

    f.click(f.overlayOption);
    EXPECT_EQ(f.startButton.caption(), "Start Overlaying Two Image");
    for (const Control* c : mixControls(f))
        EXPECT_FALSE(f.usable(*c));
    EXPECT_TRUE(f.framesPerSecondFrame.enabled() && f.frameCountFrame.enabled() && f.outputFrame.enabled());   // left as they were
    EXPECT_EQ(outputExtension(f.request()), "jpg");
    EXPECT_EQ(h.settings.stored("Option7"), "True");

    f.click(f.fadeOption);
    for (const Control* c : mixControls(f))
        EXPECT_TRUE(f.usable(*c));

    f.click(f.saveAsGifOption);
    f.click(f.blendOption);
    EXPECT_EQ(f.startButton.caption(), "Start Blending Two Image");
    EXPECT_EQ(outputExtension(f.request()), "jpg");
    EXPECT_TRUE(f.usable(f.blendLeftOption));
    EXPECT_TRUE(f.usable(f.blendSizeBar));
    EXPECT_FALSE(f.usable(f.frameCountBox));
    EXPECT_FALSE(f.usable(f.saveAsGifOption));
    EXPECT_FALSE(f.outputFrame.enabled());
    EXPECT_TRUE(f.saveAsGifOption.value());   // the fade output choice is kept
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelInterlocks, OptionGroupsAreExclusiveAndContainersDisableTheirControls)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.click(f.blendTopOption);
    EXPECT_FALSE(f.blendLeftOption.value());
    EXPECT_TRUE(f.blendTopOption.value());
    EXPECT_TRUE(f.blendOption.value());   // another group is untouched

    f.blendOptionsFrame.setEnabled(false);
    EXPECT_TRUE(f.blendLeftOption.enabled());
    EXPECT_FALSE(f.usable(f.blendLeftOption));
    EXPECT_FALSE(f.usable(f.blendSizeBar));
    EXPECT_EQ(f.container(f.blendLeftOption), &f.directionFrame);
    EXPECT_EQ(f.container(f.directionFrame), &f.blendOptionsFrame);
    EXPECT_EQ(f.container(f.qualitySlider), &f.qualityValueFrame);
    EXPECT_EQ(f.container(f.startButton), nullptr);
}

TEST(WindowModelInterlocks, TheRequestFollowsTheControls)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.image1Box.setText("a.jpg");
    f.image2Box.setText("b.jpg");
    f.outputFolderBox.setText("/out/");
    f.click(f.blendBottomOption);
    f.blendSizeBar.setValue(120);
    f.click(f.fixedQualityOption);
    f.qualitySlider.setValue(40);
    f.frameCountBox.setText("x7");   // text travels as typed: the job reports it at its step
    f.framesPerSecondBox.setText("12");
    f.click(f.saveAsGifOption);
    MixRequest r = f.request();
    EXPECT_EQ(r.mixType, MixType::Blend);
    EXPECT_EQ(r.image1Path, "a.jpg");
    EXPECT_EQ(r.image2Path, "b.jpg");
    EXPECT_EQ(r.outputFolder, "/out/");
    EXPECT_EQ(r.blendDirection, BlendDirection::Bottom);
    EXPECT_EQ(r.blendStart, 120);
    EXPECT_EQ(r.qualityChoice, JpegQualityChoice::Fixed);
    EXPECT_EQ(r.fixedQuality, 40);
    EXPECT_EQ(r.frameCountText, "x7");
    EXPECT_EQ(r.framesPerSecondText, "12");
    EXPECT_EQ(r.fadeOutput, FadeOutput::Gif);
    EXPECT_EQ(r.gif.palette, GifPalette::Halftone);   // the window's GIF: the halftone cube, ordered
    EXPECT_EQ(r.gif.dither, GifDither::Ordered);
    EXPECT_FALSE(r.codec);                           // the compressor dialog asks
    f.click(f.overlayOption);
    EXPECT_EQ(f.request().mixType, MixType::Overlay);
    f.click(f.fadeOption);
    EXPECT_EQ(f.request().mixType, MixType::Fade);
}

TEST(WindowModelFiles, OpenFileDialogFillsTheBoxOrChangesNothing)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    h.ui.fileAnswers.push_back({"/pics/a.jpg"});
    f.browseImage1();
    ASSERT_EQ(h.ui.fileRequests.size(), 1u);
    EXPECT_EQ(h.ui.fileRequests[0].title, "Choose One Picture");
    EXPECT_EQ(h.ui.fileRequests[0].filter, "JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|");
    EXPECT_EQ(f.image1Box.text(), "/pics/a.jpg");
    EXPECT_EQ(h.settings.stored("Image 1"), "/pics/a.jpg");

    f.browseImage1();   // cancelled
    EXPECT_EQ(f.image1Box.text(), "/pics/a.jpg");
    f.browseImage2();   // cancelled, box stays empty
    EXPECT_EQ(f.image2Box.text(), "");
    h.ui.fileAnswers.push_back({"/pics/b c.jpeg"});
    f.browseImage2();
    EXPECT_EQ(f.image2Box.text(), "/pics/b c.jpeg");
    EXPECT_EQ(h.settings.stored("Image 2"), "/pics/b c.jpeg");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelFiles, SamplesFollowTheMixTypeAndTheProgramFolder)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    const std::string beside = h.programFolder().string() + "/Samples/";
    f.loadSamples();
    EXPECT_EQ(f.image1Box.text(), beside + "sample1.jpg");
    EXPECT_EQ(f.image2Box.text(), beside + "sample2.jpg");
    EXPECT_EQ(h.settings.stored("Image 1"), beside + "sample1.jpg");
    f.click(f.fadeOption);
    f.loadSamples();
    EXPECT_EQ(f.image1Box.text(), beside + "face1.jpg");
    EXPECT_EQ(f.image2Box.text(), beside + "face2.jpg");
    f.click(f.overlayOption);
    f.loadSamples();
    EXPECT_EQ(f.image1Box.text(), beside + "sample1.jpg");

    // No mix type selected: nothing changes.
    f.setOptionValue(f.overlayOption, false);
    f.image1Box.setText("keep");
    f.loadSamples();
    EXPECT_EQ(f.image1Box.text(), "keep");

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
    f.showHelp();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].title, "Vantorell");
    EXPECT_EQ(h.ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(h.ui.boxes[0].text,
              "To prevent images from being cropped:\n\n1. All images must be the same pixel dimension (height and "
              "width)\n\n2. The first image must be larger than the second image.");

    f.showQualityHelp();
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[1].text,
              "Smart-Detect will automatically detect the image quality of each input JPG file and use this "
              "information to create a similar quality output JPG file.\n\nFixed Quality will use the same image "
              "quality for every output JPG file.");

    f.smartDetectOption.setCaption("Auto");
    f.fixedQualityOption.setCaption("Fi:xed:");
    f.showQualityHelp();
    EXPECT_EQ(h.ui.boxes[2].text.substr(0, 5), "Auto ");
    EXPECT_NE(h.ui.boxes[2].text.find("\n\nFixed will use"), std::string::npos);
}

TEST(WindowModelFiles, NumericChecksOnLeavingTheNumberBoxes)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    std::vector<const Control*> focused;
    f.onSetFocus = [&](Control& c) { focused.push_back(&c); };

    f.framesPerSecondBox.setText("abc");
    f.framesPerSecondLostFocus();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Must be a numeric entry.");
    EXPECT_EQ(h.ui.boxes[0].title, "Vantorell");
    ASSERT_EQ(focused.size(), 1u);
    EXPECT_EQ(focused[0], &f.framesPerSecondBox);
    EXPECT_EQ(h.settings.stored("FPS"), "abc");
    EXPECT_EQ(f.framesPerSecondBox.text(), "abc");

    f.frameCountBox.setText("");
    f.frameCountLostFocus();
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(focused.back(), &f.frameCountBox);

    for (const char* number : {"0", "-3", "2.5", " 12 ", "1e3", "+4", ".5"}) {
        f.frameCountBox.setText(number);
        f.frameCountLostFocus();
        EXPECT_EQ(h.ui.boxes.size(), 2u) << number;
    }
}

TEST(WindowModelFiles, NumberRecognition)
{
    for (const char* yes : {"0", "-3", "2.5", " 7 ", "1e3", "1E-3", "+4", ".5", "5."})
        EXPECT_TRUE(isNumeric(yes)) << yes;
    for (const char* no : {"", " ", "abc", "1x", "inf", "nan", "0x10", "--1", "1e", "1 2", "1e999"})
        EXPECT_FALSE(isNumeric(no)) << no;
    EXPECT_TRUE(booleanFromSetting("tRuE"));
    EXPECT_FALSE(booleanFromSetting("false"));
    EXPECT_TRUE(booleanFromSetting("-1"));
    EXPECT_TRUE(booleanFromSetting("0.5"));
    EXPECT_FALSE(booleanFromSetting("0"));
    EXPECT_THROW(booleanFromSetting(""), RuntimeError);
    EXPECT_EQ(textToInt32("2.5"), 2);
    EXPECT_EQ(textToInt32("-2.5"), -2);
    EXPECT_EQ(textToInt32("3.5"), 4);
    EXPECT_THROW(textToInt32("2147483648"), RuntimeError);
}

TEST(WindowModelFolder, BrowserSetsTheOutputFolderWithOneTrailingSeparator)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    h.ui.folderAnswers.push_back(std::filesystem::path("/srv/out"));
    f.browseOutputFolder();
    ASSERT_EQ(h.ui.folderTitles.size(), 1u);
    EXPECT_EQ(h.ui.folderTitles[0], "Save To This Folder");
    EXPECT_EQ(f.outputFolderBox.text(), "/srv/out/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/srv/out");
    EXPECT_EQ(h.settings.stored("Text3"), "/srv/out/");

    h.ui.folderAnswers.push_back(std::filesystem::path("/"));
    f.browseOutputFolder();
    EXPECT_EQ(f.outputFolderBox.text(), "/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/");

    f.browseOutputFolder();   // cancelled
    h.ui.folderAnswers.push_back(std::filesystem::path());
    f.browseOutputFolder();   // no path
    EXPECT_EQ(f.outputFolderBox.text(), "/");
    EXPECT_EQ(h.settings.stored("LastFolderDot"), "/");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelStartup, ApplicationTitle)
{
    EXPECT_EQ(applicationTitleFor("Vantorell"), "Vantorell");
    EXPECT_EQ(applicationTitleFor("Hedracor Vantorell"), "Hedracor");
    EXPECT_EQ(applicationTitleFor("A B C"), "A B");
    // Five words, 45 characters, the first four take 35: one word goes.
    const std::string name = "Aaaaaaaa Bbbbbbbb Cccccccc Dddddddd Eeeeeeeee";
    ASSERT_EQ(name.size(), 45u);
    EXPECT_EQ(applicationTitleFor(name), "Aaaaaaaa Bbbbbbbb Cccccccc Dddddddd");
    const std::string longer = std::string(30, 'a') + " " + std::string(15, 'b') + " c";
    EXPECT_EQ(applicationTitleFor(longer), std::string(30, 'a'));
    EXPECT_EQ(applicationTitleFor(std::string(50, 'x')), std::string(50, 'x'));
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

TEST(WindowModelStartup, SkinFileSwitchesToButtonFaceColours)
{
    WindowModelHarness plain;
    EXPECT_FALSE(plain.load().skinned);
    EXPECT_EQ(plain.form->backColour, 0u);

    WindowModelHarness h;
    h.writeFile(h.programFolder() / "x" / "o.cjs", "skin");
    WindowModel& f = h.load();
    EXPECT_TRUE(f.skinned);
    EXPECT_EQ(f.backColour, 0x8000000Fu);
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
    EXPECT_EQ(f.customPointerFile, h.programFolder() / "HAND-M.CUR");
    EXPECT_EQ(f.customPointerHotX, 5);
    EXPECT_EQ(f.customPointerHotY, 1);

    f.mouseMoved(&f.startButton);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
    f.mouseMoved(&f.blendOption);   // not a pointer area: no change
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
    f.mouseMoved(&f.mixTypeFrame);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);
    f.mouseMoved(&f.qualityHelpButton);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Custom);
    f.mouseMoved(nullptr);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Default);
    f.mouseMoved(&f.image1Box);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Default);
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelStartup, NoOrBadHandPointer)
{
    WindowModelHarness none;
    WindowModel& f = none.load();
    f.mouseMoved(&f.browseImage1Button);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Custom);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);   // no file: the default arrow
    EXPECT_TRUE(none.ui.boxes.empty());

    WindowModelHarness bad;
    bad.writeFile(bad.programFolder() / "HAND-M.CUR", "not a cursor");
    WindowModel& g = bad.load();
    ASSERT_EQ(bad.ui.applicationErrors().size(), 1u);
    EXPECT_NE(bad.ui.boxes[0].text.find("Form1.Form_Load at line 106"), std::string::npos);
    EXPECT_TRUE(g.customPointerFile.empty());
    EXPECT_EQ(g.startButton.caption(), "Start Blending Two Image");   // start-up went on
}

TEST(WindowModelStartup, PointerFeedbackWaitsWhileBusy)
{
    WindowModelHarness h;
    h.writeFile(h.programFolder() / "HAND-M.CUR", cursorFile(0, 0));
    WindowModel& f = h.load();
    f.ui().setBusyPointer(true);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hourglass);
    f.mouseMoved(&f.startButton);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Default);
    f.ui().setBusyPointer(false);
    ASSERT_EQ(h.ui.busyPointer.size(), 2u);
    f.mouseMoved(&f.startButton);
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Hand);
}

TEST(WindowModelClosing, QueryUnloadYieldsTwice)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    const int yields = h.ui.yields;
    bool cancel = true;
    f.queryUnload(cancel, 0);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(h.ui.yields, yields + 2);

    bool ended = false;
    f.onUnload = [&] { ended = true; };
    f.unload();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(f.unloaded());
    EXPECT_TRUE(h.ui.boxes.empty());
}

}  // namespace
}  // namespace vantorell::test
