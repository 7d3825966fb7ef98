#include "job/MixJob.h"

#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/JobProgress.h"
#include "job/JpegOutput.h"
#include "job/OverlayStream.h"
#include "job/RecordingUi.h"
#include "job/ResultFile.h"
#include "job/ReportNames.h"
#include "job/StepLabels.h"
#include "job/StepRunner.h"
#include "mix/Blend.h"
#include "mix/Overlay.h"
#include "platform/Conversions.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <future>

namespace vantorell {

namespace {

namespace label = labels::start;

// The steps of one blend direction: where its test and steps are labelled, which input becomes
// the base picture and which way the ramp runs.
struct DirectionSteps {
    BlendDirection direction;
    int testLabel;
    bool exchanged;       // the base surface gets Image #2, the faded-in one Image #1
    BlendOrientation orientation;
    int labelOffset;      // added to the Left branch's labels
};

constexpr DirectionSteps kDirectionSteps[] = {
    {BlendDirection::Left, label::kTestBlendLeft, false, BlendOrientation::Horizontal, 0},
    {BlendDirection::Right, label::kTestBlendRight, true, BlendOrientation::Horizontal,
     label::kTestBlendRight - label::kTestBlendLeft},
    {BlendDirection::Top, label::kTestBlendTop, false, BlendOrientation::Vertical,
     label::kTestBlendTop - label::kTestBlendLeft},
    {BlendDirection::Bottom, label::kTestBlendBottom, true, BlendOrientation::Vertical,
     label::kTestBlendBottom - label::kTestBlendLeft},
};

// Starts decoding a JPEG file on a helper thread; no future for anything else (other formats
// go through Qt, which should stay on the window's thread).
std::future<Picture> decodeAhead(bool enabled, const std::string& file, DecodeRequest request)
{
    if (!enabled || file.empty() || !isJpegFile(file))
        return {};
    return std::async(std::launch::async, [file, request] { return loadPicture(file, request); });
}

// The pictures of the two surfaces (Image #1's first) in the working space of a JPEG result.
void bringSurfacesIntoWorkingSpace(JobRun& run, WorkSurface& holds1, WorkSurface& holds2)
{
    if (run.request.colour == ColourChoice::Ignore)
        return;
    Picture first = holds1.picture(), second = holds2.picture();
    Picture* const pictures[] = {&first, &second};
    run.bringIntoWorkingSpace(pictures, true);
    if (!first.bitmap().sharesPixelsWith(holds1.picture().bitmap()))
        holds1.setPicture(std::move(first));
    if (!second.bitmap().sharesPixelsWith(holds2.picture().bitmap()))
        holds2.setPicture(std::move(second));
}

std::string unreadable(const JobRun& run, int image)
{
    return run.inputFailure("Image #" + std::to_string(image), image == 1 ? run.request.image1Path : run.request.image2Path);
}

// Writes the surface's image as the JPEG result, whole or not at all.
void saveJpegResult(JobRun& run, WorkSurface& surface)
{
    ResultFile result(run.outcome.outputPath);
    Picture image = surface.imageAsPicture();
    image.setColourProfile(run.resultProfile);
    try {
        savePictureAsJpeg(image, result.temporaryPath().string(), toByte(run.jpegQuality));
    } catch (const RuntimeError&) {
        run.diskFull = result.diskFull();   // asked while the temporary still holds its bytes
        throw;
    }
    result.commit();
    run.outcome.writtenFile = run.outcome.outputPath;
}

}  // namespace

std::string outputExtension(const MixRequest& request)
{
    if (request.mixType != MixType::Fade)
        return "jpg";
    switch (request.fadeOutput) {
    case FadeOutput::Avi: return "avi";
    case FadeOutput::Gif: return "gif";
    case FadeOutput::Mp4: return "mp4";
    case FadeOutput::Webm: return "webm";
    case FadeOutput::Webp: return "webp";
    case FadeOutput::Apng: return "png";
    }
    return "avi";
}

std::string resultFileName(const MixRequest& request)
{
    if (request.outputFile.empty())
        return "result." + outputExtension(request);
    std::filesystem::path file(request.outputFile);
    if (!file.has_extension())
        file += "." + outputExtension(request);
    return file.filename().string();
}

namespace {

// The folder the result goes to: the output folder, or the explicit output file's folder.
std::string resultFolder(const MixRequest& request)
{
    if (request.outputFile.empty())
        return request.outputFolder;
    const std::filesystem::path folder = std::filesystem::path(request.outputFile).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

}  // namespace

std::string resultPath(const MixRequest& request)
{
    return resultFolder(request) + kPathSeparator + resultFileName(request);
}

std::string asSentence(std::string_view text)
{
    std::string sentence(text);
    if (sentence.empty() || (sentence.back() != '.' && sentence.back() != '!' && sentence.back() != '?'))
        sentence += '.';
    return sentence;
}

void JobRun::showMessage(std::string_view text)
{
    ui.messageBox(text, MsgButtons::Ok, MsgIcon::None, job.applicationTitle());
}

void JobRun::fail(std::string reason)
{
    if (outcome.failure.empty())
        outcome.failure = std::move(reason);
}

void JobRun::showClosingMessage()
{
    if (outcome.cancelled)
        showMessage("Cancelled.");
    else if (outcome.wroteResult())
        showMessage("Done.");
    else
        showMessage(std::string(kNoResultPrefix) + (failed() ? outcome.failure : "a step of the job failed."));
}

bool JobRun::resultSound()
{
    if (outcome.errors.empty())
        return true;
    const StepError& first = outcome.errors.front();
    fail("an error was reported at line " + std::to_string(first.label) + ": " + asSentence(first.description));
    return false;
}

std::string JobRun::inputFailure(std::string_view what, const std::string& path) const
{
    if (outcome.errors.empty())
        return vantorell::inputFailure(what, path, {});
    const StepError& last = outcome.errors.back();
    return vantorell::inputFailure(what, path, last.inputProblem, last.description);
}

std::string JobRun::writeFailure() const
{
    if (!diskFull)
        return resultFileName(request) + " could not be written.";
    return resultFileName(request) + " could not be written: the disk holding " + resultFolder(request) + " is full.";
}

std::optional<std::string> MixJob::refusalOf(const MixRequest& request)
{
    if (request.image1Path.empty())
        return "Please choose Image #1.";
    if (request.image2Path.empty())
        return "Please choose Image #2.";
    if (request.mixType == MixType::Fade) {
        double frames = 0;
        if (parseNumber(request.frameCountText, frames) == NumberParse::Ok && std::nearbyint(frames) < 1)
            return "Number Of Frames must be a whole number from 1 to 32767.";
    }
    return std::nullopt;
}

std::optional<Picture> JobRun::alignedSecond(const Picture& first, const Picture& second)
{
    if (!request.align)
        return second;
    if (!job.aligner()) {
        fail("this program cannot align pictures.");
        return std::nullopt;
    }
    AlignedSecond aligned = job.aligner()(first, second);
    if (aligned.picture.empty()) {
        fail(aligned.message);
        return std::nullopt;
    }
    ui.statusMessage(aligned.message, job.applicationTitle());
    return std::move(aligned.picture);
}

bool alignStep(JobRun& run, StepRunner& steps, int stepLabel, WorkSurface& first, WorkSurface& second)
{
    if (!run.request.align)
        return true;
    const bool ran = steps.run(stepLabel, [&] {
        if (std::optional<Picture> aligned = run.alignedSecond(first.picture(), second.picture()))
            second.setPicture(std::move(*aligned));
    });
    if (!ran)
        run.fail(kAlignFailure);
    return !run.failed();
}

void JobRun::bringIntoWorkingSpace(std::span<Picture* const> pictures, bool jpegResult, int firstNumber)
{
    if (request.colour == ColourChoice::Ignore)
        return;
    std::vector<ColourProfile> profiles;
    for (const Picture* picture : pictures)
        profiles.push_back(picture->colourProfile());
    try {
        WorkingSpace space = planWorkingSpace(profiles, request.colour, jpegResult, firstNumber);
        for (std::size_t i = 0; i < pictures.size(); ++i)
            *pictures[i] = space.conversions[i].converted(*pictures[i]);
        resultProfile = space.resultProfile;
        outcome.notes.insert(outcome.notes.end(), space.notes.begin(), space.notes.end());
    } catch (const std::exception&) {
        outcome.notes.push_back("The pictures' colours could not be converted; their numbers were mixed as they are.");
    }
}

std::int16_t JobRun::frameCount() const { return textToInt16(request.frameCountText); }
std::int16_t JobRun::framesPerSecond() const { return textToInt16(request.framesPerSecondText); }

MixJob::MixJob(UiPort& ui, FadeSteps fadeSteps, PictureAligner aligner)
    : m_ui(ui), m_fadeSteps(fadeSteps), m_aligner(aligner)
{
    m_progress.onChanged = [this] {
        if (m_runningOutcome && !m_runningOutcome->wroteResult())
            m_cancel.checkpoint();
        m_ui.progressChanged(m_progress);
    };
    // The overlay's input surfaces take the size of the pictures loaded into them.
    m_surfaces.overlayFirst.setAutoSize(true);
    m_surfaces.overlaySecond.setAutoSize(true);
}

MixJob::~MixJob() = default;

MixOutcome MixJob::run(const MixRequest& request)
{
    MixOutcome outcome;
    RecordingUi ui(m_ui, request, outcome, &m_cancel);
    const bool reserved = m_reserved.exchange(false);
    if (!reserved && m_busy.exchange(true))                                  // kTestBusy, kMarkBusy
        return outcome;
    outcome.started = true;
    if (!reserved)
        m_cancel.reset();
    m_runningOutcome = &outcome;
    JobRun run(*this, request, outcome, ui);                                 // kBeginRun
    try {
        runSteps(run, ui);
    } catch (const JobCancelled&) {
        // Everything the run made has gone with the objects that owned it; what remains is
        // the closing of a job: the pointer, the progress bar and the one box.
        m_cancel.disarm();
        outcome.cancelled = true;
        ui.setBusyPointer(false);
        m_progress.setStep({});
        m_progress.setValue(0);
        m_progress.setText("Progress Bar");
        run.showClosingMessage();
    }
    outcome.jpegQuality = run.jpegQuality;
    m_runningOutcome = nullptr;
    m_busy = false;                                                          // kClearBusy
    return outcome;
}

void MixJob::runSteps(JobRun& run, UiPort& ui)
{
    const MixRequest& request = run.request;
    MixOutcome& outcome = run.outcome;
    StepRunner steps(ui, names::kStartButton.reportName, &outcome.errors);
    if (const auto refusal = refusalOf(request)) {
        run.showMessage(*refusal);
        outcome.failure = *refusal;
        return;
    }

    if (!steps.test(label::kTestOutputFolder, [&] { return folderExists(resultFolder(request)); })) {
        steps.run(label::kShowNoOutputFolder, [&] {
            run.showMessage("Folder does not exist. Please select another folder.");
        });
        outcome.failure = "the output folder does not exist.";
        return;                                                              // kClearBusy
    }
    steps.run(label::kComposeOutputPath, [&] {
        outcome.outputPath = resultPath(request);
    });
    steps.run(label::kNormalizeOutputPath, [&] { outcome.outputPath = normalizePath(outcome.outputPath); });
    // The earlier result stays until the new one replaces it whole (job/ResultFile); here only
    // temporaries and work folders of killed jobs go, and a result that could never be replaced
    // is reported.
    if (!steps.run(label::kClearStaleResult, [&] {
            ui.yield();
            ResultFile::removeStale(outcome.outputPath);
            FadeWorkFolder::removeAbandoned();
            ResultFile::checkReplaceable(outcome.outputPath);
        }))
        run.fail(resultFileName(request) + " cannot replace what stands at its name.");
    if (steps.test(label::kTestFixedQuality, [&] { return request.qualityChoice == JpegQualityChoice::Fixed; }))
        steps.run(label::kTakeFixedQuality, [&] { run.jpegQuality = toInt16(request.fixedQuality); });

    if (run.failed())
        run.showClosingMessage();
    else if (steps.test(label::kTestBlend, [&] { return request.mixType == MixType::Blend; }))
        blendSteps(run, steps);
    else if (steps.test(label::kTestFade, [&] { return request.mixType == MixType::Fade; })) {
        if (m_fadeSteps)
            m_fadeSteps(run, steps);
    } else if (steps.test(label::kTestOverlay, [&] { return request.mixType == MixType::Overlay; }))
        overlaySteps(run, steps);
}

void MixJob::blendSteps(JobRun& run, StepRunner& steps)
{
    const MixRequest& request = run.request;
    WorkSurface& base = m_surfaces.blendBase;
    WorkSurface& fadedIn = m_surfaces.blendFadedIn;
    WorkSurface& canvas = m_surfaces.blendCanvas;
    steps.run(label::kBlendBusyPointer, [&] { run.ui.setBusyPointer(true); });
    // The surfaces take the request's canvas (the default leaves them as they were made).
    const BlendCanvas blend = clampedCanvas(request.blendCanvas);
    for (WorkSurface* surface : {&base, &fadedIn, &canvas})
        if (surface->drawableWidth() != blend.width || surface->drawableHeight() != blend.height)
            *surface = WorkSurface(blend.width, blend.height);   // the old pixels go now, not at the next load

    for (const DirectionSteps& direction : kDirectionSteps) {
        if (!steps.test(direction.testLabel, [&] { return request.blendDirection == direction.direction; }))
            continue;
        const int o = direction.labelOffset;
        const std::string& baseFile = direction.exchanged ? request.image2Path : request.image1Path;
        const std::string& fadedInFile = direction.exchanged ? request.image1Path : request.image2Path;
        // Both inputs are only ever shown stretched to the canvas: a big JPEG may be decoded at
        // a reduced scale that still covers it. A JPEG second input decodes on a helper thread
        // while the first decodes here; its picture (or its error) arrives at its own step.
        // A picture covering the canvas also covers it once cropped (the crop keeps at least
        // the canvas's pixels), so one request serves both fits.
        std::future<Picture> second = decodeAhead(m_helperThreads, fadedInFile, DecodeRequest{blend.width, blend.height});
        // A picture that cannot be read ends the job: its report, then no result.
        if (!steps.run(label::kBlendLoadBase + o, [&] {
                base.loadPicture(baseFile, blend.width, blend.height);
            })) {
            run.fail(unreadable(run, direction.exchanged ? 2 : 1));
            break;
        }
        if (!steps.run(label::kBlendLoadFadedIn + o, [&] {
                if (second.valid())
                    fadedIn.setPicture(second.get());
                else
                    fadedIn.loadPicture(fadedInFile, blend.width, blend.height);
            })) {
            run.fail(unreadable(run, direction.exchanged ? 1 : 2));
            break;
        }
        // Colours first: the aligned picture is made anew, in the working space already.
        bringSurfacesIntoWorkingSpace(run, direction.exchanged ? fadedIn : base, direction.exchanged ? base : fadedIn);
        if (!alignStep(run, steps, label::kAlignBlend, direction.exchanged ? fadedIn : base,
                       direction.exchanged ? base : fadedIn))
            break;

        if (steps.test(label::kBlendTestSmartDetect + o, [&] {
                return request.qualityChoice == JpegQualityChoice::SmartDetect;
            })) {
            WorkSurface& holds1 = direction.exchanged ? fadedIn : base;   // holds Image #1
            WorkSurface& holds2 = direction.exchanged ? base : fadedIn;   // holds Image #2
            steps.run(label::kBlendEstimateQuality1 + o, [&] {
                run.jpegQuality = estimateJpegQuality(holds1, request.image1Path);
            });
            if (steps.test(label::kBlendTestQuality2Higher + o, [&] {
                    return run.jpegQuality < estimateJpegQuality(holds2, request.image2Path);
                }))
                steps.run(label::kBlendEstimateQuality2 + o, [&] {
                    run.jpegQuality = estimateJpegQuality(holds2, request.image2Path);
                });
        }

        int blendStartLimit = kBlendCanvasWidth;
        steps.run(label::kBlendKeepSource1 + o, [&] { m_surfaces.blendSource1 = base.picture(); });
        steps.run(label::kBlendKeepSource2 + o, [&] { m_surfaces.blendSource2 = fadedIn.picture(); });
        steps.run(label::kBlendStretchBase + o, [&] { layOnBox(base, base.picture(), blend.fit); });
        steps.run(label::kBlendStretchFadedIn + o, [&] { layOnBox(fadedIn, fadedIn.picture(), blend.fit); });
        steps.run(label::kBlendStretchCanvas + o, [&] { stretchToBox(canvas, base.picture()); });
        steps.run(label::kBlendMeasureCanvas + o, [&] {
            blendStartLimit = toInt16(
                blendSeamExtent(canvas.drawableWidth(), canvas.drawableHeight(), direction.orientation));
        });
        steps.run(label::kBlendPictures + o, [&] {
            const int start = std::clamp(request.blendStart, 0, std::max(0, blendStartLimit));
            blendPictures(canvas, base, fadedIn, m_surfaces.blendSource1, m_surfaces.blendSource2, start,
                          direction.orientation, blend.fit,
                          blendSeam(canvas.drawableWidth(), canvas.drawableHeight(), direction.orientation));
        });
        break;
    }

    if (!run.failed() && run.resultSound())
        if (!steps.run(label::kSaveBlendResult, [&] { saveJpegResult(run, canvas); }))
            run.fail(run.writeFailure());
    steps.run(label::kBlendNormalPointer, [&] { run.ui.setBusyPointer(false); });
    steps.run(label::kBlendClosingMessage, [&] { run.showClosingMessage(); });
}

void MixJob::overlaySteps(JobRun& run, StepRunner& steps)
{
    const MixRequest& request = run.request;
    WorkSurface& first = m_surfaces.overlayFirst;
    WorkSurface& second = m_surfaces.overlaySecond;
    steps.run(label::kOverlayBusyPointer, [&] { run.ui.setBusyPointer(true); });
    if (m_streamOverlays && !request.align) {
        const std::optional<int> fixed =
            request.qualityChoice == JpegQualityChoice::Fixed ? std::optional<int>(toByte(run.jpegQuality)) : std::nullopt;
        if (std::optional<StreamedOverlay> streamed =
                streamOverlay(request.image1Path, request.image2Path, run.outcome.outputPath, fixed, request.colour)) {
            run.outcome.notes.insert(run.outcome.notes.end(), streamed->notes.begin(), streamed->notes.end());
            streamedOverlaySteps(run, steps, *streamed);
            return;
        }
    }
    // A JPEG second picture decodes on a helper thread while the first decodes here; its
    // picture (or its error) arrives at its own step.
    std::future<Picture> secondPicture = decodeAhead(m_helperThreads, request.image2Path, DecodeRequest{});
    if (!steps.run(label::kLoadOverlay1, [&] { first.loadPicture(request.image1Path); }))
        run.fail(unreadable(run, 1));
    else if (!steps.run(label::kLoadOverlay2, [&] {
                 if (secondPicture.valid())
                     second.setPicture(secondPicture.get());
                 else
                     second.loadPicture(request.image2Path);
             }))
        run.fail(unreadable(run, 2));
    if (!run.failed()) {
        bringSurfacesIntoWorkingSpace(run, first, second);
        if (alignStep(run, steps, label::kAlignOverlay, first, second))
            overlayAndSave(run, steps);
    }
    steps.run(label::kOverlayNormalPointer, [&] { run.ui.setBusyPointer(false); });
    steps.run(label::kOverlayResetProgress, [&] {
        m_progress.setValue(0);
        m_progress.setText("Progress Bar");
    });
    steps.run(label::kOverlayClosingMessage, [&] { run.showClosingMessage(); });
}

// The overlay's steps when the result was streamed before them (job/OverlayStream): the same
// labels, quality choice, progress and boxes, with the result already written and only to be
// committed.
void MixJob::streamedOverlaySteps(JobRun& run, StepRunner& steps, StreamedOverlay& streamed)
{
    const MixRequest& request = run.request;
    steps.run(label::kLoadOverlay1, [] {});
    steps.run(label::kLoadOverlay2, [] {});
    if (steps.test(label::kOverlayTestSmartDetect, [&] {
            return request.qualityChoice == JpegQualityChoice::SmartDetect;
        })) {
        steps.run(label::kOverlayEstimateQuality1, [&] { run.jpegQuality = streamed.quality1; });
        if (steps.test(label::kOverlayTestQuality2Higher, [&] { return run.jpegQuality < streamed.quality2; }))
            steps.run(label::kOverlayEstimateQuality2, [&] { run.jpegQuality = streamed.quality2; });
    }
    steps.run(label::kOverlayPictures, [&] {
        reportOverlayProgress(streamed.width, overlayColumnProgress(m_surfaces.overlayResult, m_progress, run.ui));
    });
    if (run.resultSound() && !steps.run(label::kSaveOverlayResult, [&] {
            streamed.result->commit();
            run.outcome.writtenFile = run.outcome.outputPath;
        }))
        run.fail(run.writeFailure());
    steps.run(label::kOverlayNormalPointer, [&] { run.ui.setBusyPointer(false); });
    steps.run(label::kOverlayResetProgress, [&] {
        m_progress.setValue(0);
        m_progress.setText("Progress Bar");
    });
    steps.run(label::kOverlayClosingMessage, [&] { run.showClosingMessage(); });
}

void MixJob::overlayAndSave(JobRun& run, StepRunner& steps)
{
    const MixRequest& request = run.request;
    WorkSurface& first = m_surfaces.overlayFirst;
    WorkSurface& second = m_surfaces.overlaySecond;
    if (steps.test(label::kOverlayTestSmartDetect, [&] {
            return request.qualityChoice == JpegQualityChoice::SmartDetect;
        })) {
        steps.run(label::kOverlayEstimateQuality1, [&] {
            run.jpegQuality = estimateJpegQuality(first, request.image1Path);
        });
        if (steps.test(label::kOverlayTestQuality2Higher, [&] {
                return run.jpegQuality < estimateJpegQuality(second, request.image2Path);
            }))
            steps.run(label::kOverlayEstimateQuality2, [&] {
                run.jpegQuality = estimateJpegQuality(second, request.image2Path);
            });
    }
    WorkSurface& result = m_surfaces.overlayResult;
    steps.run(label::kOverlayPictures, [&] {
        overlayPictures(first, second, result, overlayColumnProgress(result, m_progress, run.ui));
    });
    if (run.resultSound() && !steps.run(label::kSaveOverlayResult, [&] { saveJpegResult(run, result); }))
        run.fail(run.writeFailure());
}

}  // namespace vantorell
