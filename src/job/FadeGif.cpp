#include "job/FadeGif.h"

#include "job/GifFrameSink.h"
#include "job/MixJob.h"
#include "job/ResultFile.h"
#include "job/StepLabels.h"
#include "job/StepRunner.h"
#include "platform/Controls.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vantorell {

namespace {

namespace label = labels::start;

// Steps kYieldBeforeSaveGif to kSaveGifFailed: the bytes written through result.gif's temporary
// and renamed over the result only when whole; a failed write is reported and leaves the earlier
// result.
void saveGifSteps(JobRun& run, StepRunner& steps, const std::vector<std::uint8_t>& bytes)
{
    UiPort& ui = run.ui;
    const std::string& output = run.outcome.outputPath;
    if (!run.resultSound())   // frames made while a step reported an error are not written
        return;
    steps.run(label::kYieldBeforeSaveGif, [&] { ui.yield(); });
    steps.run(label::kSaveGifBusyPointer, [&] { ui.setBusyPointer(true); });
    std::optional<ResultFile> result;
    if (steps.test(label::kSaveGif, [&] {
            result.emplace(output);
            if (!result->writeWhole(bytes)) {
                run.diskFull = result->diskFull();
                return true;
            }
            result->commit();
            run.outcome.writtenFile = output;
            return false;
        })) {
        steps.run(label::kSaveGifFailedPointer, [&] { ui.setBusyPointer(false); });
        steps.run(label::kSaveGifFailed, [&] { run.showMessage("Unexpected error saving GIF file."); });
        run.fail(run.writeFailure());
    }
}

// The search under a byte budget; false when nothing fits (said in the messages) or the GIF
// cannot be made.
GifEncodeStatus fitToBudget(JobRun& run, GifFrameSink& frames, std::int64_t maxBytes, const StepProgress& progress,
                            std::vector<std::uint8_t>& bytes, bool& tooLarge, std::int64_t& smallest)
{
    GifFitResult fit = frames.fit(maxBytes, progress);
    if (fit.status == GifEncodeStatus::Done && !fit.fits) {
        tooLarge = true;
        smallest = fit.smallest;
    } else if (fit.fits) {
        bytes = std::move(fit.bytes);
        run.showMessage("result.gif fits in " + formatByteSize(maxBytes) + " with " + describeGifOptions(fit.chosen) +
                        ": " + formatByteSize(std::int64_t(bytes.size())) + ".");
    }
    return fit.status;
}

}  // namespace

void runGifSteps(JobRun& run, StepRunner& steps, GifFrameSink& frames)
{
    ProgressBar& progress = run.job.progressBar();
    UiPort& ui = run.ui;
    steps.run(label::kStartGifProgress, [&] {
        progress.setStep("Writing GIF");
        progress.setValue(0);
        progress.setText("Progress Bar");
    });
    std::vector<std::uint8_t> bytes;
    bool tooLarge = false;
    std::int64_t smallest = 0;
    const StepProgress onFrame = [&](std::int64_t done, std::int64_t total) {
        progress.setMax(double(total));
        progress.setValue(double(done));
        ui.yield();
        return true;
    };
    const std::optional<std::int64_t> maxSize = run.request.gif.maxSize;
    if (steps.test(label::kMakeGif, [&] {
            const GifEncodeStatus status = maxSize ? fitToBudget(run, frames, *maxSize, onFrame, bytes, tooLarge, smallest)
                                                   : frames.encode(bytes, onFrame);
            progress.setValue(0);
            return status != GifEncodeStatus::Done && status != GifEncodeStatus::NoFrames;
        })) {
        steps.run(label::kShowMakeGifFailed, [&] { run.showMessage("Unexpected error creating GIF file."); });
        steps.run(label::kMakeGifFailed, [&] { run.fail("the GIF could not be made from the frames."); });
    } else if (tooLarge) {
        run.showMessage("result.gif cannot be made to fit in " + formatByteSize(*maxSize) +
                        ": the smallest choice gives about " + formatByteSize(smallest) + ".");
        run.fail("no GIF choice fits in " + formatByteSize(*maxSize) + ".");
    } else if (steps.test(label::kTestNothingToSave, [&] { return bytes.empty(); })) {
        steps.run(label::kShowNothingToSave, [&] { run.showMessage("Nothing to save"); });
        run.fail("there were no frames to save.");
    } else {
        saveGifSteps(run, steps, bytes);
    }
}

}  // namespace vantorell
