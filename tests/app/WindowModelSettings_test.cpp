// The window's settings: design state from an empty store, write-through of every change,
// restore at start-up, and stored values that are not what they should be.
#include "app/WindowModelHarness.h"
#include "job/ErrorReport.h"

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(WindowModelRestore, EmptyStoreGivesTheDesignStateWithoutMessages)
{
    WindowModelHarness h;
    WindowModel& f = h.load();

    EXPECT_TRUE(h.ui.boxes.empty()) << h.ui.boxes.front().text;
    EXPECT_EQ(f.caption, "Vantorell");
    EXPECT_EQ(f.applicationTitle(), "Vantorell");
    EXPECT_EQ(f.image1Box.text(), "");
    EXPECT_EQ(f.image2Box.text(), "");
    EXPECT_EQ(f.outputFolderBox.text(), h.desktop().string() + "/");
    EXPECT_EQ(f.frameCountBox.text(), "10");
    EXPECT_EQ(f.framesPerSecondBox.text(), "5");
    EXPECT_TRUE(f.blendLeftOption.value());
    EXPECT_FALSE(f.blendRightOption.value() || f.blendTopOption.value() || f.blendBottomOption.value());
    EXPECT_TRUE(f.blendOption.value());
    EXPECT_FALSE(f.fadeOption.value() || f.overlayOption.value());
    EXPECT_TRUE(f.saveAsAviOption.value());
    EXPECT_FALSE(f.saveAsGifOption.value());
    EXPECT_TRUE(f.smartDetectOption.value());
    EXPECT_FALSE(f.fixedQualityOption.value());
    EXPECT_EQ(f.qualitySlider.value(), 85);
    EXPECT_EQ(f.qualityValueFrame.caption(), "85%");
    EXPECT_FALSE(f.qualityValueFrame.enabled());
    EXPECT_FALSE(f.usable(f.qualitySlider));
    EXPECT_EQ(f.startButton.caption(), "Start Blending Two Image");
    EXPECT_EQ(outputExtension(f.request()), "jpg");
    EXPECT_EQ(f.progressBar().text(), "Progress Bar");

    // Blend: directions and blend size usable, the fade controls not.
    for (const Control* c : {static_cast<const Control*>(&f.blendLeftOption), static_cast<const Control*>(&f.blendSizeBar)})
        EXPECT_TRUE(f.usable(*c));
    for (const Control* c : {static_cast<const Control*>(&f.frameCountBox), static_cast<const Control*>(&f.framesPerSecondBox),
                             static_cast<const Control*>(&f.saveAsAviOption), static_cast<const Control*>(&f.saveAsGifOption)})
        EXPECT_FALSE(f.usable(*c));
    EXPECT_FALSE(f.framesPerSecondFrame.enabled() || f.frameCountFrame.enabled() || f.outputFrame.enabled());

    // The handlers fired during the restore wrote the settings back.
    EXPECT_EQ(h.settings.stored("Text3"), h.desktop().string() + "/");
    EXPECT_EQ(h.settings.stored("Option1"), "True");
    EXPECT_EQ(h.settings.stored("Option4"), "False");
    EXPECT_EQ(h.settings.stored("Option5"), "True");
    EXPECT_EQ(h.settings.stored("Option8"), "True");
    EXPECT_EQ(h.settings.stored("Option9"), "False");
    EXPECT_EQ(h.settings.stored("Option21"), "True");
    EXPECT_EQ(h.settings.stored("Option22"), "False");
    EXPECT_FALSE(h.settings.stored("LastFolderDot").has_value());
}

TEST(WindowModelRestore, DesignCaptionsOfEveryControl)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    const std::pair<const Control*, const char*> captions[] = {
        {&f.directionFrame, "Direction"},        {&f.blendSizeFrame, "Blend Size"},
        {&f.mixTypeFrame, "Mix Type"},         {&f.image1Frame, "Image #1"},
        {&f.image2Frame, "Image #2"},         {&f.outputFolderFrame, "Save Results To This Folder"},
        {&f.framesPerSecondFrame, "Frames Per Second"}, {&f.frameCountFrame, "Number Of Frames"},
        {&f.outputFrame, "Output"},           {&f.fadeOptionsFrame, "Fade Options"},
        {&f.blendOptionsFrame, "Blend Options"},   {&f.qualityFrame, "Output JPG Quality Option"},
        {&f.browseImage1Button, "..."},         {&f.browseImage2Button, "..."},
        {&f.helpButton, "Help"},        {&f.browseFolderButton, "..."},
        {&f.loadSamplesButton, "Load Sample/Example Files"}, {&f.qualityHelpButton, "?"},
        {&f.blendLeftOption, "Blend Left"},      {&f.blendRightOption, "Blend Right"},
        {&f.blendTopOption, "Blend Top"},       {&f.blendBottomOption, "Blend Bottom"},
        {&f.blendOption, "Blend"},           {&f.fadeOption, "Fade"},
        {&f.overlayOption, "Overlay"},         {&f.saveAsAviOption, "Save As AVI"},
        {&f.saveAsGifOption, "Save As Animated GIF"}, {&f.smartDetectOption, "Smart-Detect"},
        {&f.fixedQualityOption, "Fixed Quality:"},
    };
    for (const auto& [control, caption] : captions)
        EXPECT_EQ(control->caption(), caption);

    WindowModelHarness fresh;
    WindowModel design(fresh.ui, fresh.settings, fresh.environment());
    EXPECT_EQ(design.startButton.caption(), "Start Mixing Two Image");
    EXPECT_EQ(design.qualityValueFrame.caption(), "0%");
    EXPECT_EQ(design.qualitySlider.min(), 1);
    EXPECT_EQ(design.qualitySlider.max(), 100);
}

TEST(WindowModelRestore, FadeWithAnimatedGifComesBack)
{
    WindowModelHarness h;
    h.settings.put("Option5", "False");
    h.settings.put("Option6", "True");
    h.settings.put("Option7", "False");
    h.settings.put("Option8", "False");
    h.settings.put("Option9", "true");
    h.settings.put("Option3", "-1");
    h.settings.put("Option1", "0");
    h.settings.put("Option21", "FALSE");
    h.settings.put("Option22", "TRUE");
    h.settings.put("Slider1", "42");
    h.settings.put("Image 1", "/pics/a b.jpg");
    h.settings.put("Number Of Images", "24");
    WindowModel& f = h.load();

    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(f.startButton.caption(), "Start Fading Two Image");
    EXPECT_EQ(outputExtension(f.request()), "gif");
    EXPECT_TRUE(f.usable(f.frameCountBox));
    EXPECT_TRUE(f.usable(f.framesPerSecondBox));
    EXPECT_TRUE(f.usable(f.saveAsAviOption));
    EXPECT_TRUE(f.usable(f.saveAsGifOption));
    EXPECT_TRUE(f.usable(f.blendLeftOption));   // directions stay enabled under Fade
    EXPECT_TRUE(f.blendTopOption.value());
    EXPECT_FALSE(f.blendLeftOption.value());
    EXPECT_TRUE(f.fixedQualityOption.value());
    EXPECT_EQ(f.qualitySlider.value(), 42);
    EXPECT_EQ(f.qualityValueFrame.caption(), "42%");
    EXPECT_TRUE(f.usable(f.qualitySlider));
    EXPECT_EQ(f.image1Box.text(), "/pics/a b.jpg");
    EXPECT_EQ(f.frameCountBox.text(), "24");
    // The restore wrote the same choices back.
    EXPECT_EQ(h.settings.stored("Option6"), "True");
    EXPECT_EQ(h.settings.stored("Option5"), "False");
    EXPECT_EQ(h.settings.stored("Option9"), "True");
}

TEST(WindowModelRestore, OverlayComesBack)
{
    WindowModelHarness h;
    h.settings.put("Option5", "False");
    h.settings.put("Option7", "True");
    WindowModel& f = h.load();
    EXPECT_EQ(f.startButton.caption(), "Start Overlaying Two Image");
    EXPECT_FALSE(f.usable(f.blendLeftOption));
    EXPECT_FALSE(f.usable(f.blendSizeBar));
    EXPECT_EQ(outputExtension(f.request()), "jpg");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelRestore, AlignIsOffUnlessStoredOnAndIsWrittenThrough)
{
    for (const auto& [stored, expected] : {std::pair<const char*, bool>{nullptr, false}, {"False", false}, {"True", true}}) {
        WindowModelHarness h;
        if (stored)
            h.settings.put("Align", stored);
        WindowModel& f = h.load();
        EXPECT_EQ(f.request().align, expected) << (stored ? stored : "none");
        f.setAlign(!expected);
        EXPECT_EQ(h.settings.stored("Align"), expected ? "False" : "True");
        EXPECT_EQ(f.request().align, !expected);
    }
}

TEST(WindowModelRestore, EmptyNumberOfImagesStaysEmpty)
{
    WindowModelHarness h;
    h.settings.put("Number Of Images", "");
    WindowModel& f = h.load();
    EXPECT_EQ(f.frameCountBox.text(), "");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelRestore, SliderValuesAreRoundedToEven)
{
    const std::pair<const char*, int> cases[] = {{"84.5", 84}, {"85.5", 86}, {" 7 ", 7}, {"1", 1}, {"100", 100}, {"9.9e1", 99}};
    for (const auto& [stored, want] : cases) {
        WindowModelHarness h;
        h.settings.put("Slider1", stored);
        WindowModel& f = h.load();
        EXPECT_EQ(f.qualitySlider.value(), want) << stored;
        EXPECT_EQ(f.qualityValueFrame.caption(), std::to_string(want) + "%") << stored;
        EXPECT_TRUE(h.ui.boxes.empty()) << stored;
    }
}

TEST(WindowModelRestore, BadStoredValuesReportTheirStepAndTheWindowOpens)
{
    struct Case {
        const char* key;
        const char* value;
        int label;
        const char* description;
    };
    const Case cases[] = {
        {"Slider1", "abc", 164, "Type mismatch"},
        {"Slider1", "1e999", 164, "Overflow"},
        {"Slider1", "99999999999", 164, "Overflow"},
        {"Slider1", "250", 164, "Invalid property value"},
        {"Slider1", "0", 164, "Invalid property value"},
        {"Slider1", "", 164, "Type mismatch"},
        {"Option5", "maybe", 150, "Type mismatch"},
        {"Option1", "1e999", 142, "Overflow"},
        {"Option22", "Yes", 162, "Type mismatch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        WindowModelHarness h;
        h.settings.put(c.key, c.value);
        WindowModel& f = h.load();
        const auto errors = h.ui.applicationErrors();
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(errors[0].text, std::string(c.description) + "\r\nin Vantorell2021/08/31.Form1.Form_Load at line " +
                                      std::to_string(c.label) + "\r\rPlease email screenshot of this message to " +
                                      std::string(kSupportAddress));
        // The control kept its previous state and the rest of the restore ran.
        EXPECT_EQ(f.qualitySlider.value(), 85);
        EXPECT_EQ(f.qualityValueFrame.caption(), "85%");
        EXPECT_TRUE(f.blendOption.value());
        EXPECT_TRUE(f.blendLeftOption.value());
        EXPECT_TRUE(f.smartDetectOption.value());
        EXPECT_EQ(f.startButton.caption(), "Start Blending Two Image");
        EXPECT_EQ(outputExtension(f.request()), "jpg");
    }
}

TEST(WindowModelSettings, EveryChangeIsWrittenThrough)
{
    WindowModelHarness h;
    WindowModel& f = h.load();

    f.image1Box.setText("/pics/one.jpg");
    f.image2Box.setText("/pics/two.jpg");
    f.outputFolderBox.setText("/out");
    f.frameCountBox.setText("");
    f.framesPerSecondBox.setText("abc");
    EXPECT_EQ(h.settings.stored("Image 1"), "/pics/one.jpg");
    EXPECT_EQ(h.settings.stored("Image 2"), "/pics/two.jpg");
    EXPECT_EQ(h.settings.stored("Text3"), "/out");
    EXPECT_EQ(h.settings.stored("Number Of Images"), "");
    EXPECT_EQ(h.settings.stored("FPS"), "abc");

    f.click(f.blendBottomOption);
    EXPECT_EQ(h.settings.stored("Option1"), "False");
    EXPECT_EQ(h.settings.stored("Option4"), "True");
    f.click(f.fixedQualityOption);
    EXPECT_EQ(h.settings.stored("Option21"), "False");
    EXPECT_EQ(h.settings.stored("Option22"), "True");
    EXPECT_TRUE(f.usable(f.qualitySlider));
    f.click(f.smartDetectOption);
    EXPECT_FALSE(f.usable(f.qualitySlider));

    f.qualitySlider.setValue(1);
    EXPECT_EQ(f.qualityValueFrame.caption(), "1%");
    EXPECT_EQ(h.settings.stored("Slider1"), "1");
    EXPECT_TRUE(h.ui.boxes.empty());

    // The next start finds all of it again.
    WindowModelHarness next;
    next.settings = h.settings;
    WindowModel& g = next.load();
    EXPECT_EQ(g.frameCountBox.text(), "");
    EXPECT_EQ(g.framesPerSecondBox.text(), "abc");
    EXPECT_EQ(g.outputFolderBox.text(), "/out");
    EXPECT_TRUE(g.blendBottomOption.value());
    EXPECT_EQ(g.qualitySlider.value(), 1);
    EXPECT_EQ(g.qualityValueFrame.caption(), "1%");
}

TEST(WindowModelSettings, UnwritableStoreIsReportedOnceAndTheWindowWorks)
{
    WindowModelHarness h;
    h.settings.readOnly = true;
    WindowModel& f = h.load();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].title, "Vantorell");
    EXPECT_EQ(h.ui.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_NE(h.ui.boxes[0].text.find("Path/File access error"), std::string::npos);
    EXPECT_EQ(f.startButton.caption(), "Start Blending Two Image");
    EXPECT_EQ(f.qualityValueFrame.caption(), "85%");

    f.click(f.fadeOption);
    f.image1Box.setText("/a.jpg");
    EXPECT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(f.startButton.caption(), "Start Fading Two Image");
    EXPECT_EQ(outputExtension(f.request()), "avi");
}

TEST(WindowModelSettings, DamagedStoreSetAsideIsSaidOnceAndTheWindowStartsWithItsDefaults)
{
    WindowModelHarness h;
    h.settings.notice = "The settings file was damaged.";
    WindowModel& f = h.load();
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"The settings file was damaged."});
    EXPECT_EQ(f.startButton.caption(), "Start Blending Two Image");
    f.click(f.fadeOption);
    EXPECT_EQ(h.ui.boxes.size(), 1u);
}

TEST(WindowModelSettings, UnwritableStoreInsideAMixTypeHandlerNamesItsStep)
{
    WindowModelHarness h;
    h.settings.put("Text3", "");   // the restore changes no box, so blendChosen writes first
    h.settings.readOnly = true;
    h.load();
    const auto errors = h.ui.applicationErrors();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].text.find("Form1.Option5_Click at line 102"), std::string::npos);
}

}  // namespace
}  // namespace vantorell::test
