// Conversions of numbers and text to the integer types the job and the window work in. Every
// conversion rounds to the nearest value with ties to the even one, and raises the run-time
// error a step reports: Overflow (6) beyond the type, Type mismatch (13) for text that is not
// a number.
#pragma once

#include "platform/RuntimeError.h"

#include <cstdint>
#include <string_view>

namespace vantorell {

[[noreturn]] void raiseOverflow();
[[noreturn]] void raiseTypeMismatch();

// The nearest whole number, ties to even; Overflow beyond the type (NaN included).
std::int16_t toInt16(double value);
std::int32_t toInt32(double value);
// 0..255 as it is; Overflow outside.
std::uint8_t toByte(double value);

enum class NumberParse { Ok, NotANumber, OutOfRange };

// A plain decimal number: blanks around it, a sign, digits with a decimal point and an
// exponent ("2.5", " -3 ", "1e3"), nothing else. No hexadecimal, no "inf" or "nan", and the
// same in every locale. OutOfRange for a number beyond a double.
NumberParse parseNumber(std::string_view text, double& out);

// Text that parseNumber reads as a number. The empty text is not numeric.
bool isNumeric(std::string_view text);

// The number a text box or a setting holds: Type mismatch for text that is not a number,
// Overflow for a number beyond a double.
double numberFromText(std::string_view text);

// A text's number as a 16-bit or 32-bit integer (numberFromText, then toInt16 or toInt32).
std::int16_t textToInt16(std::string_view text);
std::int32_t textToInt32(std::string_view text);

}  // namespace vantorell
