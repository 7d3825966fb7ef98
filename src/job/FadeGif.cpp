#include "job/FadeGif.h"

#include "colour/Ditherer.h"
#include "gif/GifDocument.h"
#include "gif/mAVIImp.h"
#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/MixJob.h"
#include "job/StepRunner.h"

#include <memory>

namespace vantorell {

namespace {

// The window's document and colour-reduction module, made at their first use. Callers hold the
// pointer while they work: a handler that runs during a yield (the window closing) may release
// the window's reference, and the document must outlive the import or the save using it.
std::shared_ptr<GifDocument> gifDocument(MixJob& job)
{
    if (!job.gifDocument)
        job.gifDocument = std::make_shared<GifDocument>();
    return job.gifDocument;
}

std::shared_ptr<Ditherer> ditherModule(MixJob& job)
{
    if (!job.Dither)
        job.Dither = std::make_shared<Ditherer>();
    return job.Dither;
}

}  // namespace

void FadeGifSteps(MixJob& job, StepRunner& steps, const FadeWorkFolder& work)
{
    UiPort& ui = job.ui();
    auto message = [&](const char* text) { ui.messageBox(text, MsgButtons::Ok, MsgIcon::None, job.ApplicationTitle); };
    auto tempAvi = [&] { return work.file("temp.avi"); };

    steps.run(388, [&] {
        job.ProgressBar1.setValue(0);
        job.ProgressBar1.setText("Progress Bar");
    });
    steps.run(390, [&] { ditherModule(job)->SetDitherMode(DitherMode(job.GifDitherMode)); });
    steps.run(392, [&] { gifDocument(job)->Destroy(); });
    // Each test below takes its own branch when it fails (an error inside the import gives
    // "Unexpected error creating GIF file.", one inside Save "Unexpected error saving GIF file.").
    if (steps.test(394, [&] {
            const auto document = gifDocument(job);
            const auto dither = ditherModule(job);
            return !ImportAviToGif(tempAvi(), *document, job.ProgressBar1, ui, *dither);
        })) {
        steps.run(396, [&] { message("Unexpected error creating GIF file."); });
        steps.run(398, [&] { job.GifFailed = true; });
    } else if (steps.test(400, [&] { return gifDocument(job)->FramesCount() == 0; })) {
        steps.run(402, [&] { message("Nothing to save"); });
    } else {
        steps.run(404, [&] { ui.yield(); });
        steps.run(406, [&] { ui.setBusyPointer(true); });
        if (steps.test(408, [&] {
                const auto document = gifDocument(job);
                return !document->Save(job.OutputPath, job.ProgressBar1, ui);
            })) {
            steps.run(410, [&] { ui.setBusyPointer(false); });
            steps.run(412, [&] { message("Unexpected error saving GIF file."); });
        }
    }
    steps.run(414, [&] { DeleteFileForced(ui, tempAvi()); });
}

}  // namespace vantorell
