// vantorell-mix batch: many pairs in one run, several at a time, with progress, a report and
// resumable runs. The pairs come from BatchPairs; each runs as one MixJob on a worker thread.
#pragma once

#include "job/MixJob.h"

#include <string>
#include <vector>

namespace vantorell::cli {

// Runs `vantorell-mix batch` with the arguments after "batch"; answers the exit status: 0 when
// every pair succeeded (or was skipped), 1 when any failed, 2 for a bad command line or a
// batch that cannot start. Ctrl+C ends it with 130 (SIGTERM 143).
int runBatch(const std::vector<std::string>& arguments, FadeSteps fadeSteps);

std::string batchUsageText();

}  // namespace vantorell::cli
