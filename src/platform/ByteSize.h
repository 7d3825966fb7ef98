// Byte sizes as users read and type them, one set of rules for the whole program: powers of
// 1000 for KB, MB, GB and TB (the units the options take), three significant digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell {

// A byte size as the user types it: a whole or decimal number with an optional unit B, KB, MB,
// GB (powers of 1000) or KiB, MiB, GiB (powers of 1024), case-insensitive for the unit letters;
// "5MB", "1.5 MiB", "800000". Nullopt for anything else, a size below 1 byte or above 2^53.
std::optional<std::int64_t> parseByteSize(std::string_view text);

// Which way a size is rounded to its three digits: to the nearest (what is shown), or down and
// up (free space against a need, so the two never read as the same number).
enum class SizeRounding { Nearest, Down, Up };

// "999 bytes", "1 byte", "246 KB", "1.23 MB", "12.0 MB", "123 MB", "4.00 GB": below 1000 the
// exact count; above, three significant digits (trailing zeros kept) of the largest unit that
// keeps the number below 1000.
std::string formatByteSize(std::uint64_t bytes, SizeRounding rounding = SizeRounding::Nearest);

}  // namespace vantorell
