// The order people count in: runs of digits compare by their value ("frame2" before "frame10"),
// everything else byte by byte. Used for the batch's folder pairs and the GIF maker's --sort.
#pragma once

#include <string_view>

namespace vantorell {

// Whether `a` comes before `b`. Names equal but for leading zeros ("frame02", "frame2") still
// have a fixed order, their bytes', so a sort never depends on the order it was given.
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace vantorell
