// The window's "Colour" choice: stored words come back into the request, anything else is keep,
// and a choice made is stored.
#include "app/WindowModelHarness.h"

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

TEST(ColourChoice, RoundTripsThroughTheSettings)
{
    const struct {
        const char* stored;   // nullptr: no key
        ColourChoice expected;
    } cases[] = {{nullptr, ColourChoice::Keep}, {"keep", ColourChoice::Keep}, {"srgb", ColourChoice::Srgb},
                 {"ignore", ColourChoice::Ignore}, {"Ignore", ColourChoice::Keep}, {"", ColourChoice::Keep}};
    for (const auto& c : cases) {
        WindowModelHarness h;
        if (c.stored)
            h.settings.put("Colour", c.stored);
        WindowModel& f = h.load();
        EXPECT_EQ(f.request().colour, c.expected) << (c.stored ? c.stored : "no key");
        EXPECT_EQ(h.settings.stored("Colour").has_value(), c.stored != nullptr);
    }
    WindowModelHarness h;
    WindowModel& f = h.load();
    f.setColourChoice(ColourChoice::Srgb);
    EXPECT_EQ(h.settings.stored("Colour"), std::optional<std::string>("srgb"));
    EXPECT_EQ(f.request().colour, ColourChoice::Srgb);
}

}  // namespace
}  // namespace vantorell::test
