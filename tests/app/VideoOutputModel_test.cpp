// The window's "Save As Video" output: the choices round-trip through the settings, a store
// without the keys gives the AVI/GIF requests unchanged, and damaged stored values fall back.
#include "app/WindowModelHarness.h"

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

// The stored keys the video output must never disturb when it is not chosen.
std::map<MemorySettings::Key, std::string> withoutVideoKeys(std::map<MemorySettings::Key, std::string> values)
{
    for (std::string_view key : {videokeys::kChosen, videokeys::kFormat, videokeys::kQuality})
        values.erase(MemorySettings::Key(kSettingsApplication, kSettingsSection, key));
    return values;
}

TEST(VideoOutputModel, StoreWithoutTheKeysGivesTodaysRequestAndWritesNone)
{
    for (const char* gif : {"False", "True"}) {
        WindowModelHarness h;
        h.settings.put("Option5", "False");
        h.settings.put("Option6", "True");   // Fade
        h.settings.put("Option9", gif);
        h.settings.put("Option8", gif == std::string("True") ? "False" : "True");
        WindowModel& f = h.load();
        EXPECT_FALSE(f.videoOutput.chosen());
        EXPECT_EQ(f.saveAsGifOption.value(), gif == std::string("True"));
        const MixRequest request = f.request();
        EXPECT_EQ(request.fadeOutput, gif == std::string("True") ? FadeOutput::Gif : FadeOutput::Avi);
        EXPECT_EQ(request.videoQuality, -1);
        for (std::string_view key : {videokeys::kChosen, videokeys::kFormat, videokeys::kQuality})
            EXPECT_FALSE(h.settings.stored(key).has_value()) << key;
        EXPECT_TRUE(h.ui.boxes.empty());

        // Keys of a video output that is not chosen change nothing else either.
        WindowModelHarness off;
        off.settings.values = h.settings.values;
        off.settings.put(videokeys::kChosen, "False");
        off.settings.put(videokeys::kFormat, "webm");
        off.settings.put(videokeys::kQuality, "30");
        WindowModel& g = off.load();
        EXPECT_EQ(withoutVideoKeys(off.settings.values), h.settings.values);
        EXPECT_EQ(g.request().fadeOutput, request.fadeOutput);
        EXPECT_EQ(g.request().videoQuality, -1);
    }
}

TEST(VideoOutputModel, ChoicesRoundTripThroughTheSettings)
{
    WindowModelHarness first;
    WindowModel& f = first.load();
    if (f.videoOutput.formats().empty())
        GTEST_SKIP() << "this FFmpeg offers no video encoder";
    const VideoFormat last = f.videoOutput.formats().back();
    f.click(f.fadeOption);
    f.videoOutput.setFormat(last);
    f.videoOutput.setQuality(40);
    f.videoOutput.setChosen(true);
    EXPECT_FALSE(f.saveAsAviOption.value() || f.saveAsGifOption.value());
    EXPECT_EQ(first.settings.stored("Option8"), "False");
    EXPECT_EQ(first.settings.stored(videokeys::kFormat), videoFormatInfo(last).name);
    EXPECT_EQ(first.settings.stored(videokeys::kQuality), "40");
    EXPECT_EQ(first.settings.stored(videokeys::kChosen), "True");

    WindowModelHarness second;
    second.settings.values = first.settings.values;
    WindowModel& g = second.load();
    EXPECT_TRUE(g.videoOutput.chosen());
    EXPECT_FALSE(g.saveAsAviOption.value() || g.saveAsGifOption.value());
    const MixRequest request = g.request();
    EXPECT_EQ(request.mixType, MixType::Fade);
    EXPECT_EQ(request.fadeOutput, static_cast<FadeOutput>(static_cast<int>(FadeOutput::Mp4) + static_cast<int>(last)));
    EXPECT_EQ(request.videoQuality, 40);

    // Back to GIF: the video output is off again and stays off at the next start.
    g.click(g.saveAsGifOption);
    EXPECT_FALSE(g.videoOutput.chosen());
    EXPECT_EQ(g.request().fadeOutput, FadeOutput::Gif);
    EXPECT_EQ(second.settings.stored(videokeys::kChosen), "False");
    g.videoOutput.setQuality(-1);
    EXPECT_EQ(second.settings.stored(videokeys::kQuality), "default");

    WindowModelHarness third;
    third.settings.values = second.settings.values;
    WindowModel& k = third.load();
    EXPECT_FALSE(k.videoOutput.chosen());
    EXPECT_EQ(k.request().fadeOutput, FadeOutput::Gif);
    EXPECT_EQ(k.videoOutput.quality(), -1);
    EXPECT_EQ(k.videoOutput.format(), last);
}

TEST(VideoOutputModel, BadStoredValuesFallBackToTheDefaults)
{
    const struct {
        const char* chosen;
        const char* format;
        const char* quality;
    } cases[] = {
        {"True", "mkv", "101"}, {"True", "MP4", "-1"}, {"True", "", "50x"},
        {"True", "gif", ""},    {"True", "avi", " 7"}, {"yes", "webm", "99999999999999999999"},
    };
    for (const auto& c : cases) {
        WindowModelHarness h;
        h.settings.put(videokeys::kChosen, c.chosen);
        h.settings.put(videokeys::kFormat, c.format);
        h.settings.put(videokeys::kQuality, c.quality);
        WindowModel& f = h.load();
        EXPECT_TRUE(h.ui.boxes.empty()) << c.format;
        EXPECT_EQ(f.videoOutput.quality(), -1) << c.quality;
        if (f.videoOutput.formats().empty()) {
            EXPECT_FALSE(f.videoOutput.chosen());
            continue;
        }
        if (std::string_view(c.format) == "webm" &&
            std::count(f.videoOutput.formats().begin(), f.videoOutput.formats().end(), VideoFormat::Webm))
            EXPECT_EQ(f.videoOutput.format(), VideoFormat::Webm);
        else
            EXPECT_EQ(f.videoOutput.format(), f.videoOutput.formats().front()) << c.format;
        EXPECT_EQ(f.videoOutput.chosen(), std::string_view(c.chosen) == "True");
    }
}

TEST(VideoOutputModel, QualityTextsAndClamping)
{
    EXPECT_EQ(videoQualityFromText("default"), -1);
    EXPECT_EQ(videoQualityFromText("0"), 0);
    EXPECT_EQ(videoQualityFromText("100"), 100);
    for (const char* bad : {"", "-1", "101", "+5", "5 ", "Default", "1e2"})
        EXPECT_FALSE(videoQualityFromText(bad).has_value()) << bad;
    MemorySettings settings;
    VideoOutputModel model(settings);
    model.setQuality(500);
    EXPECT_EQ(model.quality(), 100);
    model.setQuality(-7);
    EXPECT_EQ(model.quality(), -1);
    MixRequest request;
    model.applyTo(request);   // not chosen: untouched
    EXPECT_EQ(request.fadeOutput, FadeOutput::Avi);
}

}  // namespace
}  // namespace vantorell::test
