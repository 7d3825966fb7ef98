// A frame rendered in bands of rows on up to four cores. The callers' pixels each depend only
// on their own position and read-only inputs, so the split changes no byte of the result.
#pragma once

#include <functional>

namespace vantorell {

// The most threads a frame is split over, this one included.
inline constexpr int kMaxRowBandThreads = 4;

// Runs band(firstRow, endRow) over the rows 0 .. rows - 1. With fewer than `minRowsToSplit` rows,
// or one thread allowed (`maxThreads`, at most kMaxRowBandThreads and the cores there are), it is
// one call on this thread. Otherwise the rows go in equal bands (the last may be shorter), the
// first on this thread and each other on a thread of its own (on this one when no thread can be
// had), all joined before it returns. `band` must not raise.
void runRowBands(int rows, int minRowsToSplit, int maxThreads, const std::function<void(int firstRow, int endRow)>& band);

}  // namespace vantorell
