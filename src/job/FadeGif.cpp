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

#include <memory>
#include <optional>

namespace vantorell {

namespace {

PaletteMode paletteModeOf(GifPalette palette)
{
    return palette == GifPalette::Halftone ? PaletteMode::Halftone : PaletteMode::Optimal;
}

DitherMode ditherModeOf(GifDither dither)
{
    switch (dither) {
    case GifDither::None: return DitherMode::None;
    case GifDither::Ordered: return DitherMode::Ordered;
    case GifDither::Diffusion: return DitherMode::Diffusion;
    }
    return DitherMode::Ordered;
}

}  // namespace

void runGifSteps(JobRun& run, StepRunner& steps, const FadeWorkFolder& work)
{
    MixJob& job = run.job;
    ProgressBar& progress = job.progressBar();
    UiPort& ui = run.ui;
    const std::string& output = run.outcome.outputPath;
    auto tempAvi = [&] { return work.file(std::string(names::kTemporaryAviFile)); };

    steps.run(388, [&] {
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
        // Saved under a temporary name, renamed over result.gif only when whole.
        std::optional<ResultFile> result;
        if (steps.test(408, [&] {
                const auto document = job.gifDocument();
                result.emplace(output);
                if (!document->Save(result->temporaryPath(), progress, ui))
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
    steps.run(414, [&] { DeleteFileForced(ui, tempAvi()); });
}

}  // namespace vantorell
