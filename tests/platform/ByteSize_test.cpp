// One way to write a byte size everywhere: the exact count below 1000, then three significant
// digits of KB, MB, GB ... (powers of 1000), rounded to the nearest, down or up.
#include "platform/ByteSize.h"

#include <gtest/gtest.h>

namespace vantorell {
namespace {

TEST(ByteSize, FormatsWithThreeDigitsInPowersOf1000)
{
    const struct {
        std::uint64_t bytes;
        SizeRounding rounding;
        const char* text;
    } cases[] = {
        {0, SizeRounding::Nearest, "0 bytes"},          {1, SizeRounding::Nearest, "1 byte"},
        {999, SizeRounding::Nearest, "999 bytes"},      {1000, SizeRounding::Nearest, "1.00 KB"},
        {1234, SizeRounding::Nearest, "1.23 KB"},       {246'000, SizeRounding::Nearest, "246 KB"},
        {250'000, SizeRounding::Nearest, "250 KB"},     {999'499, SizeRounding::Nearest, "999 KB"},
        {999'500, SizeRounding::Nearest, "1.00 MB"},    {9'995'000, SizeRounding::Nearest, "10.0 MB"},
        {12'000'000, SizeRounding::Nearest, "12.0 MB"}, {7'740'000, SizeRounding::Nearest, "7.74 MB"},
        {262'144, SizeRounding::Nearest, "262 KB"},     {4'000'000'000, SizeRounding::Nearest, "4.00 GB"},
        {1'239'999, SizeRounding::Down, "1.23 MB"},     {1'230'001, SizeRounding::Up, "1.24 MB"},
        {999'999, SizeRounding::Down, "999 KB"},        {999'001, SizeRounding::Up, "1.00 MB"},
        {2'500'000'000'000, SizeRounding::Nearest, "2.50 TB"},
        {UINT64_MAX, SizeRounding::Nearest, "18.4 EB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatByteSize(c.bytes, c.rounding), c.text) << c.bytes;
    // What the options take reads back as the same size.
    EXPECT_EQ(parseByteSize(formatByteSize(2'000'000)), std::optional<std::int64_t>(2'000'000));
}

}  // namespace
}  // namespace vantorell
