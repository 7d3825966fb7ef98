// The memory a Fade needs for its pictures and frames, estimated from the pictures' headers,
// against the request's limit (MixRequest::memoryLimit).
#pragma once

#include "job/MixRequest.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vantorell {

// About what a Fade of these pictures holds at once: each decoded picture and its captured
// copy, and the frame being rendered with the frames on their way to the writer, all at the
// first picture's size. Nullopt when a picture's header cannot be read (its load step says why).
std::optional<std::int64_t> fadeMemoryNeed(const MixRequest& request);

// Why the job is refused ("this job needs about 7.20 GB of memory for its pictures and frames,
// more than the limit of 4.29 GB for one job."), or nullopt when it fits.
std::optional<std::string> memoryRefusal(const MixRequest& request);

}  // namespace vantorell
