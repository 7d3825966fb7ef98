// Fuzzes ImportAviToGif on one AVI held in memory, with small limits so that no input makes a
// large document. Invariants checked on every input: the document's frames all have the
// reported size, the progress bar ends at 0, a successful import holds exactly the frames it
// announced, a failed one at most that many, and every frame is readable end to end.
#include "colour/Ditherer.h"
#include "gif/GifDocument.h"
#include "gif/mAVIImp.h"
#include "platform/Controls.h"
#include "platform/SilentUi.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace vantorell;

namespace {

volatile std::uint32_t g_sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    av_log_set_level(AV_LOG_QUIET);
    SilentUi ui;
    ProgressBar progress;
    GifDocument gif;
    Ditherer dither;
    dither.SetDitherMode(DitherMode::Ordered);
    AviImportLimits limits;
    limits.maxFrameSide = 1024;
    limits.maxFramePixels = 1u << 18;
    limits.maxDocumentBytes = 1u << 22;
    limits.maxFrames = 64;
    AviImportReport report;
    const bool ok = ImportAviToGif(std::span<const std::uint8_t>(data, size), gif, progress, ui, dither, &report, limits);

    if (progress.value() != 0)
        std::abort();
    if (ok && (report.error != AviImportError::None || gif.FramesCount() != report.frames))
        std::abort();
    if (!ok && (report.error == AviImportError::None || gif.FramesCount() > report.frames))
        std::abort();
    std::uint32_t sum = 0;
    for (int i = 1; i <= gif.FramesCount(); ++i) {
        const Dib& img = gif.FrameDIBXOR(i);
        if (img.Width() != report.width || img.Height() != report.height || img.BPP() != 8)
            std::abort();
        for (std::int32_t k = 0; k < img.Size(); ++k)
            sum += img.lpBits()[k];
    }
    g_sink = sum;
    return 0;
}
