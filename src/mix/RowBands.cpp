#include "mix/RowBands.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace vantorell {

void runRowBands(int rows, int minRowsToSplit, int maxThreads, const std::function<void(int firstRow, int endRow)>& band)
{
    const unsigned cores = std::thread::hardware_concurrency();
    const int workers = std::min(int(std::clamp(cores, 1u, unsigned(kMaxRowBandThreads))), std::max(1, maxThreads));
    if (workers == 1 || rows < minRowsToSplit) {
        band(0, rows);
        return;
    }
    const int bandRows = (rows + workers - 1) / workers;
    std::vector<std::thread> threads;
    for (int worker = 1; worker < workers; ++worker) {
        const int first = worker * bandRows, end = std::min(rows, first + bandRows);
        if (first >= end)
            break;
        try {
            threads.emplace_back([&band, first, end] { band(first, end); });
        } catch (const std::system_error&) {
            band(first, end);   // no thread to be had: this band runs here
        }
    }
    band(0, std::min(rows, bandRows));
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace vantorell
