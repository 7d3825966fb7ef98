// Loads one picture from bytes through the loader the jobs use, with the same limits, and reads
// every decoded pixel; reads the colour profile of the bytes as a file and as a bare ICC profile.
// A RuntimeError is the loader's answer to bad input; anything else is a bug.
#include "platform/ColourProfile.h"
#include "platform/PictureLimits.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Inputs beyond a few megabytes only slow the search down; real pictures are tested elsewhere.
    if (size > (4u << 20))
        return 0;
    // Every profile kept is sound and within the limit; a dropped one says why.
    const vantorell::ColourProfile profile = vantorell::readColourProfile({data, size});
    if (profile.kind == vantorell::ColourProfile::Kind::Embedded &&
        (profile.iccBytes().size() > vantorell::kMaxIccProfileBytes || vantorell::iccProfileProblem(profile.iccBytes())))
        std::abort();
    if (profile.present() && !profile.problem.empty())
        std::abort();
    (void)vantorell::iccProfileProblem({data, size});
    try {
        // The loader's own limits allow 256 megapixels; a fuzzer that decodes that much per
        // input finds nothing faster. Headers are still checked in full.
        const vantorell::PictureHeader header = vantorell::readPictureHeader({data, size});
        if (std::uint64_t(header.width) * std::uint64_t(header.height) > (std::uint64_t(1) << 24))
            return 0;
        const vantorell::Picture picture = vantorell::loadPictureFromBytes({data, size});
        const vantorell::Bitmap& bitmap = picture.bitmap();
        if (bitmap.empty() || std::uint64_t(bitmap.width()) * std::uint64_t(bitmap.height()) >
                                  vantorell::limits::kMaxPicturePixels)
            std::abort();
        unsigned sum = 0;
        for (std::size_t i = 0; i < bitmap.byteCount(); ++i)
            sum += bitmap.bits()[i];
        if (picture.sourceWidth() < bitmap.width() || picture.sourceHeight() < bitmap.height())
            std::abort();
        volatile unsigned sink = sum;
        (void)sink;
    } catch (const vantorell::RuntimeError&) {
    }
    return 0;
}
