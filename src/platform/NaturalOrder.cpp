#include "platform/NaturalOrder.h"

#include <cctype>
#include <cstddef>

namespace vantorell {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The run of digits at `at`, without its leading zeros (one zero stays for a run of zeros).
std::string_view digitRun(std::string_view text, std::size_t at, std::size_t& end)
{
    end = at;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    std::string_view run = text.substr(at, end - at);
    while (run.size() > 1 && run.front() == '0')
        run.remove_prefix(1);
    return run;
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = 0, endB = 0;
            const std::string_view runA = digitRun(a, i, endA), runB = digitRun(b, j, endB);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (runA != runB)
                return runA < runB;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

}  // namespace vantorell
