// The Blend's canvas in the window: "Blend Size", "Blend Canvas" and "Blend Fit" restore into the
// request (a store without them gives today's start), Blend Size's range follows the canvas and
// the direction, and changes are written through.
#include "app/WindowModelHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantorell::test {
namespace {

TEST(BlendCanvasModel, StoredKeysRestoreIntoTheRequest)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> stored;
        BlendCanvas canvas;
        int start, maximum;
    } cases[] = {
        {"none stored", {}, {}, 0, 729},
        {"size kept", {{"Blend Size", "72"}}, {}, 72, 729},
        {"top keeps 729 on the default canvas", {{"Blend Size", "700"}, {"Option1", "False"}, {"Option3", "True"}}, {}, 700, 729},
        {"canvas, fit and a clamped size", {{"Blend Size", "2000"}, {"Blend Canvas", "1920x1080"}, {"Blend Fit", "crop"},
                                            {"Option1", "False"}, {"Option3", "True"}},
         {1920, 1080, BlendFit::Crop}, 1080, 1080},
        {"damaged values", {{"Blend Size", "x"}, {"Blend Canvas", "9000x10"}, {"Blend Fit", "zoom"}}, {}, 0, 729},
        {"below the range", {{"Blend Size", "-4"}}, {}, 0, 729},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowModelHarness h;
        for (const auto& [key, value] : c.stored)
            h.settings.put(key, value);
        WindowModel& f = h.load();
        const MixRequest request = f.request();
        EXPECT_EQ(request.blendCanvas, c.canvas);
        EXPECT_EQ(request.blendStart, c.start);
        EXPECT_EQ(f.blendSizeBar.max(), c.maximum);
        EXPECT_TRUE(h.ui.boxes.empty());
        for (std::string_view key : {blendkeys::kSize, blendkeys::kCanvas, blendkeys::kFit})
            EXPECT_EQ(std::count(h.settings.writes.begin(), h.settings.writes.end(), std::string(key)), 0) << key;
    }
}

TEST(BlendCanvasModel, ChangesAreWrittenAndMoveTheRange)
{
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.blendSizeBar.setValue(72);
    EXPECT_EQ(h.settings.stored("Blend Size"), "72");
    f.blendCanvas.setSize(400, 300);
    f.blendCanvas.setFit(BlendFit::Crop);
    EXPECT_EQ(h.settings.stored("Blend Canvas"), "400x300");
    EXPECT_EQ(h.settings.stored("Blend Fit"), "crop");
    EXPECT_EQ(f.blendSizeBar.max(), 400);
    f.blendSizeBar.setValue(350);
    f.click(f.blendBottomOption);   // the height is the extent now: the start follows
    EXPECT_EQ(f.blendSizeBar.max(), 300);
    EXPECT_EQ(f.request().blendStart, 300);
    EXPECT_EQ(h.settings.stored("Blend Size"), "300");
    f.blendCanvas.setSize(5, 99999);   // clamped to the limits
    EXPECT_EQ(f.request().blendCanvas, (BlendCanvas{16, 8192, BlendFit::Crop}));
}

}  // namespace
}  // namespace vantorell::test
