#include "job/MemoryNeed.h"

#include "gif/GifOptions.h"
#include "platform/PictureLoader.h"

namespace vantorell {

namespace {

constexpr std::int64_t kBytesPerPixel = 4;
constexpr std::int64_t kFramesHeld = 3;   // the frame rendered, and two on their way to the writer

std::optional<std::int64_t> pictureBytes(const std::string& file)
{
    const std::optional<PictureHeader> header = peekPictureHeader(file);
    if (!header)
        return std::nullopt;
    return std::int64_t(header->width) * header->height * kBytesPerPixel;
}

}  // namespace

std::optional<std::int64_t> fadeMemoryNeed(const MixRequest& request)
{
    const std::optional<std::int64_t> first = pictureBytes(request.image1Path);
    const std::optional<std::int64_t> second = pictureBytes(request.image2Path);
    if (!first || !second)
        return std::nullopt;
    return 2 * (*first + *second) + kFramesHeld * *first;
}

std::optional<std::string> memoryRefusal(const MixRequest& request)
{
    if (request.memoryLimit <= 0)
        return std::nullopt;
    const std::optional<std::int64_t> need = fadeMemoryNeed(request);
    if (!need || *need <= request.memoryLimit)
        return std::nullopt;
    return "this job needs about " + formatByteSize(*need) + " of memory for its pictures and frames, more than the limit of " +
           formatByteSize(request.memoryLimit) + " for one job.";
}

}  // namespace vantorell
