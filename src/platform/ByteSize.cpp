#include "platform/ByteSize.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vantorell {

std::optional<std::int64_t> parseByteSize(std::string_view text)
{
    std::size_t i = 0;
    double whole = 0;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        whole = whole * 10 + (text[i++] - '0');
        digits = true;
        if (whole > 1e16)
            return std::nullopt;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            whole += (text[i++] - '0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string unit;
    for (; i < text.size(); ++i)
        unit += char(std::tolower(static_cast<unsigned char>(text[i])));
    double factor = 0;
    if (unit.empty() || unit == "b")
        factor = 1;
    else if (unit == "kb")
        factor = 1e3;
    else if (unit == "mb")
        factor = 1e6;
    else if (unit == "gb")
        factor = 1e9;
    else if (unit == "kib")
        factor = 1024.0;
    else if (unit == "mib")
        factor = 1024.0 * 1024.0;
    else if (unit == "gib")
        factor = 1024.0 * 1024.0 * 1024.0;
    else
        return std::nullopt;
    const double bytes = std::floor(whole * factor);
    if (bytes < 1 || bytes > 9007199254740992.0)
        return std::nullopt;
    return std::int64_t(bytes);
}

namespace {

std::uint64_t divided(std::uint64_t value, std::uint64_t by, SizeRounding rounding)
{
    const std::uint64_t quotient = value / by, remainder = value % by;
    switch (rounding) {
    case SizeRounding::Down: return quotient;
    case SizeRounding::Up: return quotient + (remainder > 0 ? 1 : 0);
    case SizeRounding::Nearest: break;
    }
    return quotient + (remainder >= by - remainder ? 1 : 0);   // halves go up
}

}  // namespace

std::string formatByteSize(std::uint64_t bytes, SizeRounding rounding)
{
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    std::uint64_t unit = 1000;
    for (const char* name : units) {
        // Two decimals below 10, one below 100, none below 1000; the rounded number decides,
        // so 9.996 MB reads "10.0 MB" and 999.6 KB "1.00 MB".
        std::uint64_t step = unit / 100;
        for (int decimals = 2; decimals >= 0; --decimals, step *= 10) {
            const std::uint64_t shown = divided(bytes, step, rounding);
            if (shown >= 1000)
                continue;
            std::string digits = std::to_string(shown);
            if (decimals > 0) {
                digits.insert(0, std::size_t(decimals + 1) - std::min(digits.size(), std::size_t(decimals + 1)), '0');
                digits.insert(digits.size() - std::size_t(decimals), ".");
            }
            return digits + " " + name;
        }
        if (unit > UINT64_MAX / 1000)
            break;
        unit *= 1000;
    }
    return std::to_string(bytes) + " bytes";   // not reached: 2^64 bytes are 18.4 EB
}

}  // namespace vantorell
