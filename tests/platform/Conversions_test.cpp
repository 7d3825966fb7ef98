#include "platform/Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vantorell {
namespace {

int errorOf(auto&& convert)
{
    try {
        convert();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(Conversions, TextToWholeNumbersRoundsTiesToEven)
{
    const struct {
        const char* text;
        int value;
    } good[] = {{"10", 10}, {" 7 ", 7}, {"2.5", 2}, {"3.5", 4}, {"-4", -4}, {"+6", 6}, {"1e3", 1000}, {".5", 0}};
    for (const auto& c : good)
        EXPECT_EQ(textToInt16(c.text), c.value) << c.text;

    // Hexadecimal, "inf" and "nan" are text, whatever strtod would make of them.
    for (const char* text : {"", " ", "abc", "10x", "nan", "inf", "0x10", "1,5", "--1"})
        EXPECT_EQ(errorOf([&] { textToInt16(text); }), errnum::TypeMismatch) << text;
    for (const char* text : {"40000", "-32769", "1e400"})
        EXPECT_EQ(errorOf([&] { textToInt16(text); }), errnum::Overflow) << text;
    EXPECT_EQ(textToInt32("40000"), 40000);
    EXPECT_EQ(errorOf([] { textToInt32("3e9"); }), errnum::Overflow);
}

TEST(Conversions, NumbersToIntegerTypesRaiseOverflowOutsideTheType)
{
    EXPECT_EQ(toInt16(-32768.4), -32768);
    EXPECT_EQ(toByte(254.5), 254);
    EXPECT_EQ(toByte(-0.4), 0);
    for (double bad : {-32768.6, 32767.5, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(errorOf([&] { toInt16(bad); }), errnum::Overflow) << bad;
    for (double bad : {-0.6, 255.5, std::numeric_limits<double>::infinity()})
        EXPECT_EQ(errorOf([&] { toByte(bad); }), errnum::Overflow) << bad;
}

}  // namespace
}  // namespace vantorell
