#include "job/FadeGif.h"

#include "colour/Ditherer.h"
#include "gif/GifDocument.h"
#include "job/AviToGif.h"
#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/MixJob.h"
#include "job/ReportNames.h"
#include "job/ResultFile.h"
#include "job/StepRunner.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace vantorell {

namespace {

PaletteMode paletteModeOf(GifPalette palette)
{
    return palette == GifPalette::Halftone ? PaletteMode::Halftone : PaletteMode::Optimal;
}

// The choices only GifAnimation offers; without them the document path below runs as always.
bool usesAnimationEncoder(const MixRequest& request)
{
    return request.gifPalette == GifPalette::Global || request.gifPalette == GifPalette::PerFrame ||
           request.gifDither == GifDither::Ordered8 || request.gifOptimize || request.gifLossy > 0 ||
           request.gifMaxSize.has_value();
}

DitherMode ditherModeOf(GifDither dither)
{
    switch (dither) {
    case GifDither::None: return DitherMode::None;
    case GifDither::Ordered: return DitherMode::Ordered;
    case GifDither::Diffusion: return DitherMode::Diffusion;
    case GifDither::Ordered8: return DitherMode::Ordered;
    }
    return DitherMode::Ordered;
}

}  // namespace

GifEncodeOptions gifEncodeOptionsOf(const MixRequest& request)
{
    GifEncodeOptions options;
    switch (request.gifPalette) {
    case GifPalette::Halftone: options.palette = AnimationPalette::Halftone; break;
    case GifPalette::Optimal: options.palette = AnimationPalette::Optimal; break;
    case GifPalette::Global: options.palette = AnimationPalette::Global; break;
    case GifPalette::PerFrame: options.palette = AnimationPalette::PerFrame; break;
    }
    switch (request.gifDither) {
    case GifDither::None: options.dither = AnimationDither::None; break;
    case GifDither::Ordered: options.dither = AnimationDither::Ordered; break;
    case GifDither::Ordered8: options.dither = AnimationDither::Ordered8; break;
    case GifDither::Diffusion: options.dither = AnimationDither::Diffusion; break;
    }
    options.optimize = request.gifOptimize;
    options.lossy = request.gifLossy;
    return options;
}

namespace {

// Steps 404 to 412: result.gif written by `write` under a temporary name and renamed over
// the result only when whole; a failed write is reported and leaves the earlier result.
void saveGifSteps(JobRun& run, StepRunner& steps, const std::function<bool(const std::string& path)>& write)
{
    UiPort& ui = run.ui;
    const std::string& output = run.outcome.outputPath;
    steps.run(404, [&] { ui.yield(); });
    steps.run(406, [&] { ui.setBusyPointer(true); });
    std::optional<ResultFile> result;
    if (steps.test(408, [&] {
            result.emplace(output);
            if (!write(result->temporaryPath()))
                return true;
            result->commit();
            run.outcome.writtenFile = output;
            return false;
        })) {
        steps.run(410, [&] { ui.setBusyPointer(false); });
        steps.run(412, [&] { run.showMessage("Unexpected error saving GIF file."); });
        run.fail(run.writeFailure());
    }
}

// The GifAnimation path: the temporary AVI's frames encoded straight into result.gif's bytes,
// with the same messages as the document path for the same failures.
void runAnimationSteps(JobRun& run, StepRunner& steps, const FadeWorkFolder& work)
{
    MixJob& job = run.job;
    ProgressBar& progress = job.progressBar();
    UiPort& ui = run.ui;
    auto tempAvi = [&] { return work.file(std::string(names::kTemporaryAviFile)); };

    steps.run(388, [&] {
        progress.setStep("Writing GIF");
        progress.setValue(0);
        progress.setText("Progress Bar");
    });
    std::vector<std::uint8_t> bytes;
    bool tooLarge = false;
    std::int64_t smallest = 0;
    const GifProgress onFrame = [&](int done, int total) {
        progress.setMax(total);
        progress.setValue(done);
        ui.yield();
        return true;
    };
    if (steps.test(394, [&] {
            AviGifFrames frames(tempAvi());
            if (frames.openError() != AviReadError::None)
                return true;
            if (frames.frameCount() == 0)
                return false;
            GifEncodeStatus status = GifEncodeStatus::Done;
            if (run.request.gifMaxSize) {
                GifFitResult fit = fitGifToSize(frames, *run.request.gifMaxSize, frames.delay(), onFrame);
                status = fit.status;
                if (status == GifEncodeStatus::Done && !fit.fits) {
                    tooLarge = true;
                    smallest = fit.smallest;
                } else if (fit.fits) {
                    bytes = std::move(fit.bytes);
                    run.showMessage("result.gif fits in " + formatByteSize(*run.request.gifMaxSize) + " with " +
                                    describeGifOptions(fit.chosen) + ": " +
                                    formatByteSize(std::int64_t(bytes.size())) + ".");
                }
            } else {
                GifEncodeOptions options = gifEncodeOptionsOf(run.request);
                options.delay = frames.delay();
                status = encodeGifAnimation(frames, options, bytes, onFrame);
            }
            progress.setValue(0);
            return status != GifEncodeStatus::Done;
        })) {
        steps.run(396, [&] { run.showMessage("Unexpected error creating GIF file."); });
        steps.run(398, [&] { run.fail("the frames could not be read back for the GIF."); });
    } else if (tooLarge) {
        run.showMessage("result.gif cannot be made to fit in " + formatByteSize(*run.request.gifMaxSize) +
                        ": the smallest choice gives about " + formatByteSize(smallest) + ".");
        run.fail("no GIF choice fits in " + formatByteSize(*run.request.gifMaxSize) + ".");
    } else if (steps.test(400, [&] { return bytes.empty(); })) {
        steps.run(402, [&] { run.showMessage("Nothing to save"); });
        run.fail("there were no frames to save.");
    } else {
        saveGifSteps(run, steps, [&](const std::string& path) {
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr)
                return false;
            const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            return std::fclose(file) == 0 && written;
        });
    }
    steps.run(414, [&] { DeleteFileForced(ui, tempAvi()); });
}

}  // namespace

void runGifSteps(JobRun& run, StepRunner& steps, const FadeWorkFolder& work)
{
    MixJob& job = run.job;
    ProgressBar& progress = job.progressBar();
    UiPort& ui = run.ui;
    auto tempAvi = [&] { return work.file(std::string(names::kTemporaryAviFile)); };

    if (usesAnimationEncoder(run.request)) {
        runAnimationSteps(run, steps, work);
        return;
    }
    steps.run(388, [&] {
        progress.setStep("Writing GIF");
        progress.setValue(0);
        progress.setText("Progress Bar");
    });
    steps.run(390, [&] {
        const auto ditherer = job.ditherer();
        ditherer->SetPaletteMode(paletteModeOf(run.request.gifPalette));
        ditherer->SetDitherMode(ditherModeOf(run.request.gifDither));
    });
    steps.run(392, [&] { job.gifDocument()->Destroy(); });
    // Each test below takes its own branch when it fails (an error inside the import gives
    // "Unexpected error creating GIF file.", one inside Save "Unexpected error saving GIF file.").
    // The document and the ditherer are held while they work: a handler that runs during a
    // yield (the window closing) may release the job's reference.
    if (steps.test(394, [&] {
            const auto document = job.gifDocument();
            const auto ditherer = job.ditherer();
            return !ImportAviToGif(tempAvi(), *document, progress, ui, *ditherer);
        })) {
        steps.run(396, [&] { run.showMessage("Unexpected error creating GIF file."); });
        steps.run(398, [&] { run.fail("the frames could not be read back for the GIF."); });
    } else if (steps.test(400, [&] { return job.gifDocument()->FramesCount() == 0; })) {
        steps.run(402, [&] { run.showMessage("Nothing to save"); });
        run.fail("there were no frames to save.");
    } else {
        steps.run(404, [&] { ui.yield(); });
        steps.run(406, [&] { ui.setBusyPointer(true); });
        saveGifSteps(run, steps, [&](const std::string& path) {
            const auto document = job.gifDocument();
            return document->Save(path, progress, ui);
        });
    }
    steps.run(414, [&] { DeleteFileForced(ui, tempAvi()); });
}

}  // namespace vantorell
