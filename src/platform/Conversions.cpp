#include "platform/Conversions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace vantorell {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

template <class Int>
Int nearestWithin(double value)
{
    const double rounded = std::nearbyint(value);   // ties to even, the default rounding mode
    if (!(rounded >= double(std::numeric_limits<Int>::min()) && rounded <= double(std::numeric_limits<Int>::max())))
        raiseOverflow();
    return static_cast<Int>(rounded);
}

}  // namespace

void raiseOverflow() { throw RuntimeError(errnum::Overflow, "Overflow"); }
void raiseTypeMismatch() { throw RuntimeError(errnum::TypeMismatch, "Type mismatch"); }

std::int16_t toInt16(double value) { return nearestWithin<std::int16_t>(value); }
std::int32_t toInt32(double value) { return nearestWithin<std::int32_t>(value); }
std::uint8_t toByte(double value) { return nearestWithin<std::uint8_t>(value); }

NumberParse parseNumber(std::string_view text, double& out)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const std::string_view digits = !text.empty() && text.front() == '-' ? text.substr(1) : text;
    if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '.'))
        return NumberParse::NotANumber;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
    if (end != text.data() + text.size())
        return NumberParse::NotANumber;
    if (error == std::errc::result_out_of_range)
        return NumberParse::OutOfRange;
    return error == std::errc() ? NumberParse::Ok : NumberParse::NotANumber;
}

bool isNumeric(std::string_view text)
{
    double value = 0;
    return parseNumber(text, value) == NumberParse::Ok;
}

double numberFromText(std::string_view text)
{
    double value = 0;
    switch (parseNumber(text, value)) {
    case NumberParse::Ok: return value;
    case NumberParse::OutOfRange: raiseOverflow();
    case NumberParse::NotANumber: break;
    }
    raiseTypeMismatch();
}

std::int16_t textToInt16(std::string_view text) { return toInt16(numberFromText(text)); }
std::int32_t textToInt32(std::string_view text) { return toInt32(numberFromText(text)); }

}  // namespace vantorell
