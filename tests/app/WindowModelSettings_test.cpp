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
    EXPECT_EQ(f.Caption, "Vantorell");
    EXPECT_EQ(f.ApplicationTitle, "Vantorell");
    EXPECT_EQ(f.Text1.text(), "");
    EXPECT_EQ(f.Text2.text(), "");
    EXPECT_EQ(f.Text3.text(), h.desktop().string() + "/");
    EXPECT_EQ(f.Text4.text(), "10");
    EXPECT_EQ(f.txtFPS.text(), "5");
    EXPECT_TRUE(f.Option1.value());
    EXPECT_FALSE(f.Option2.value() || f.Option3.value() || f.Option4.value());
    EXPECT_TRUE(f.Option5.value());
    EXPECT_FALSE(f.Option6.value() || f.Option7.value());
    EXPECT_TRUE(f.Option8.value());
    EXPECT_FALSE(f.Option9.value());
    EXPECT_TRUE(f.Option21.value());
    EXPECT_FALSE(f.Option22.value());
    EXPECT_EQ(f.Slider1.value(), 85);
    EXPECT_EQ(f.Frame13.caption(), "85%");
    EXPECT_FALSE(f.Frame13.enabled());
    EXPECT_FALSE(f.usable(f.Slider1));
    EXPECT_EQ(f.PushButton2.caption(), "Start Blending Two Image");
    EXPECT_EQ(f.OutputExtension, "jpg");
    EXPECT_EQ(f.ProgressBar1.text(), "Progress Bar");

    // Blend: directions and blend size usable, the fade controls not.
    for (const Control* c : {static_cast<const Control*>(&f.Option1), static_cast<const Control*>(&f.hStart)})
        EXPECT_TRUE(f.usable(*c));
    for (const Control* c : {static_cast<const Control*>(&f.Text4), static_cast<const Control*>(&f.txtFPS),
                             static_cast<const Control*>(&f.Option8), static_cast<const Control*>(&f.Option9)})
        EXPECT_FALSE(f.usable(*c));
    EXPECT_FALSE(f.Frame7.enabled() || f.Frame8.enabled() || f.Frame9.enabled());

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
        {&f.Frame1, "Direction"},        {&f.Frame2, "Blend Size"},
        {&f.Frame3, "Mix Type"},         {&f.Frame4, "Image #1"},
        {&f.Frame5, "Image #2"},         {&f.Frame6, "Save Results To This Folder"},
        {&f.Frame7, "Frames Per Second"}, {&f.Frame8, "Number Of Frames"},
        {&f.Frame9, "Output"},           {&f.Frame10, "Fade Options"},
        {&f.Frame11, "Blend Options"},   {&f.Frame12, "Output JPG Quality Option"},
        {&f.PushButton1, "..."},         {&f.PushButton3, "..."},
        {&f.PushButton4, "Help"},        {&f.PushButton5, "..."},
        {&f.PushButton7, "Load Sample/Example Files"}, {&f.PushButton8, "?"},
        {&f.Option1, "Blend Left"},      {&f.Option2, "Blend Right"},
        {&f.Option3, "Blend Top"},       {&f.Option4, "Blend Bottom"},
        {&f.Option5, "Blend"},           {&f.Option6, "Fade"},
        {&f.Option7, "Overlay"},         {&f.Option8, "Save As AVI"},
        {&f.Option9, "Save As Animated GIF"}, {&f.Option21, "Smart-Detect"},
        {&f.Option22, "Fixed Quality:"},
    };
    for (const auto& [control, caption] : captions)
        EXPECT_EQ(control->caption(), caption);

    WindowModelHarness fresh;
    WindowModel design(fresh.ui, fresh.settings, fresh.environment());
    EXPECT_EQ(design.PushButton2.caption(), "Start Mixing Two Image");
    EXPECT_EQ(design.Frame13.caption(), "0%");
    EXPECT_EQ(design.Slider1.min(), 1);
    EXPECT_EQ(design.Slider1.max(), 100);
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
    EXPECT_EQ(f.PushButton2.caption(), "Start Fading Two Image");
    EXPECT_EQ(f.OutputExtension, "gif");
    EXPECT_TRUE(f.usable(f.Text4));
    EXPECT_TRUE(f.usable(f.txtFPS));
    EXPECT_TRUE(f.usable(f.Option8));
    EXPECT_TRUE(f.usable(f.Option9));
    EXPECT_TRUE(f.usable(f.Option1));   // directions stay enabled under Fade
    EXPECT_TRUE(f.Option3.value());
    EXPECT_FALSE(f.Option1.value());
    EXPECT_TRUE(f.Option22.value());
    EXPECT_EQ(f.Slider1.value(), 42);
    EXPECT_EQ(f.Frame13.caption(), "42%");
    EXPECT_TRUE(f.usable(f.Slider1));
    EXPECT_EQ(f.Text1.text(), "/pics/a b.jpg");
    EXPECT_EQ(f.Text4.text(), "24");
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
    EXPECT_EQ(f.PushButton2.caption(), "Start Overlaying Two Image");
    EXPECT_FALSE(f.usable(f.Option1));
    EXPECT_FALSE(f.usable(f.hStart));
    EXPECT_EQ(f.OutputExtension, "jpg");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelRestore, EmptyNumberOfImagesStaysEmpty)
{
    WindowModelHarness h;
    h.settings.put("Number Of Images", "");
    WindowModel& f = h.load();
    EXPECT_EQ(f.Text4.text(), "");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(WindowModelRestore, SliderValuesAreRoundedToEven)
{
    const std::pair<const char*, int> cases[] = {{"84.5", 84}, {"85.5", 86}, {" 7 ", 7}, {"1", 1}, {"100", 100}, {"9.9e1", 99}};
    for (const auto& [stored, want] : cases) {
        WindowModelHarness h;
        h.settings.put("Slider1", stored);
        WindowModel& f = h.load();
        EXPECT_EQ(f.Slider1.value(), want) << stored;
        EXPECT_EQ(f.Frame13.caption(), std::to_string(want) + "%") << stored;
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
        EXPECT_EQ(f.Slider1.value(), 85);
        EXPECT_EQ(f.Frame13.caption(), "85%");
        EXPECT_TRUE(f.Option5.value());
        EXPECT_TRUE(f.Option1.value());
        EXPECT_TRUE(f.Option21.value());
        EXPECT_EQ(f.PushButton2.caption(), "Start Blending Two Image");
        EXPECT_EQ(f.OutputExtension, "jpg");
    }
}

TEST(WindowModelSettings, EveryChangeIsWrittenThrough)
{
    WindowModelHarness h;
    WindowModel& f = h.load();

    f.Text1.setText("/pics/one.jpg");
    f.Text2.setText("/pics/two.jpg");
    f.Text3.setText("/out");
    f.Text4.setText("");
    f.txtFPS.setText("abc");
    EXPECT_EQ(h.settings.stored("Image 1"), "/pics/one.jpg");
    EXPECT_EQ(h.settings.stored("Image 2"), "/pics/two.jpg");
    EXPECT_EQ(h.settings.stored("Text3"), "/out");
    EXPECT_EQ(h.settings.stored("Number Of Images"), "");
    EXPECT_EQ(h.settings.stored("FPS"), "abc");

    f.click(f.Option4);
    EXPECT_EQ(h.settings.stored("Option1"), "False");
    EXPECT_EQ(h.settings.stored("Option4"), "True");
    f.click(f.Option22);
    EXPECT_EQ(h.settings.stored("Option21"), "False");
    EXPECT_EQ(h.settings.stored("Option22"), "True");
    EXPECT_TRUE(f.usable(f.Slider1));
    f.click(f.Option21);
    EXPECT_FALSE(f.usable(f.Slider1));

    f.Slider1.setValue(1);
    EXPECT_EQ(f.Frame13.caption(), "1%");
    EXPECT_EQ(h.settings.stored("Slider1"), "1");
    EXPECT_TRUE(h.ui.boxes.empty());

    // The next start finds all of it again.
    WindowModelHarness next;
    next.settings = h.settings;
    WindowModel& g = next.load();
    EXPECT_EQ(g.Text4.text(), "");
    EXPECT_EQ(g.txtFPS.text(), "abc");
    EXPECT_EQ(g.Text3.text(), "/out");
    EXPECT_TRUE(g.Option4.value());
    EXPECT_EQ(g.Slider1.value(), 1);
    EXPECT_EQ(g.Frame13.caption(), "1%");
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
    EXPECT_EQ(f.PushButton2.caption(), "Start Blending Two Image");
    EXPECT_EQ(f.Frame13.caption(), "85%");

    f.click(f.Option6);
    f.Text1.setText("/a.jpg");
    EXPECT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(f.PushButton2.caption(), "Start Fading Two Image");
    EXPECT_EQ(f.OutputExtension, "avi");
}

TEST(WindowModelSettings, UnwritableStoreInsideAMixTypeHandlerNamesItsStep)
{
    WindowModelHarness h;
    h.settings.put("Text3", "");   // the restore changes no box, so Option5_Click writes first
    h.settings.readOnly = true;
    h.load();
    const auto errors = h.ui.applicationErrors();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].text.find("Form1.Option5_Click at line 102"), std::string::npos);
}

}  // namespace
}  // namespace vantorell::test
