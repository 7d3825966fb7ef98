#include "gif/GifFormat.h"

namespace vantorell {

std::string_view gifErrorName(GifError error)
{
    switch (error) {
    case GifError::None: return "None";
    case GifError::NoFile: return "NoFile";
    case GifError::BadHeader: return "BadHeader";
    case GifError::TruncatedInput: return "TruncatedInput";
    case GifError::BadExtension: return "BadExtension";
    case GifError::FrameTooLarge: return "FrameTooLarge";
    case GifError::OverLimit: return "OverLimit";
    case GifError::NoMemory: return "NoMemory";
    case GifError::BadLiteralWidth: return "BadLiteralWidth";
    case GifError::BadLzwCode: return "BadLzwCode";
    case GifError::LzwDataEnded: return "LzwDataEnded";
    }
    return "?";
}

std::vector<int> gifRowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    if (height <= 0)
        return rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    // GIF89a appendix E: pass starts 0, 4, 2, 1 with steps 8, 8, 4, 2; a pass whose start
    // lies at or beyond the last row contributes nothing.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

int gifPaletteBits(int entries)
{
    int bits = 1;
    while (bits < 8 && (1 << bits) < entries)
        ++bits;
    return bits;
}

}  // namespace vantorell
