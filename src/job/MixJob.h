// The mixing job: runs one MixRequest through the Start command's labelled steps and answers a
// MixOutcome. The window model owns one job and the command line another; each builds requests
// from its own controls or options. A job keeps what lives between runs: its work surfaces,
// the progress bar it drives, and the GIF document and colour-reduction module of GIF output.
#pragma once

#include "align/Align.h"
#include "align/AutoMesh.h"
#include "job/JobProgress.h"
#include "job/MixRequest.h"
#include "platform/Cancellation.h"
#include "platform/Controls.h"
#include "platform/Picture.h"
#include "job/UiPort.h"
#include "platform/WorkSurface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantorell {

class StepRunner;
struct JobRun;
struct StreamedOverlay;

// The Fade branch (job/FadeJob.h: runFadeSteps). It sits on FFmpeg, whose libraries cost a
// program about 80 ms to load, so it is handed to the job where it is wanted (the window, the
// video build of the command line, tests) and stays unlinked elsewhere. A job without it
// does nothing for a Fade request, like an unmatched mix type.
using FadeSteps = void (*)(JobRun& run, StepRunner& steps);

// Align (align/Align.h: alignSecondPicture): picture 2 mapped onto picture 1's frame. It sits on
// OpenCV, so like the Fade branch it is handed to the job where it is wanted; a job without it
// refuses a request that asks to align.
using PictureAligner = AlignedSecond (*)(const Picture& first, const Picture& second);
// Auto Points (align/AutoMesh.h: autoMeshPair), handed to the job like the aligner; a job without
// it refuses a request that asks for it.
using MeshPlacer = AutoMeshResult (*)(const Picture& first, const Picture& second, const MorphMesh& mesh1,
                                      const GiveUp& giveUp);

// The hidden surfaces the steps draw on, kept from one run to the next.
struct WorkSurfaces {
    // Blend: the base picture, the picture faded in over it, and the result canvas.
    WorkSurface blendBase{kBlendCanvasWidth, kBlendCanvasHeight};
    WorkSurface blendFadedIn{kBlendCanvasWidth, kBlendCanvasHeight};
    WorkSurface blendCanvas{kBlendCanvasWidth, kBlendCanvasHeight};
    Picture blendSource1, blendSource2;   // the two decoded Blend inputs, kept until the next Blend
    // Overlay: the two pictures at their own sizes and their average.
    WorkSurface overlayFirst, overlaySecond, overlayResult;
    // Fade: the pictures the meshes are laid on, the pictures captured for the morph engine,
    // and the frame being rendered.
    WorkSurface fadeMeshStart, fadeMeshEnd, fadeSource1, fadeSource2, fadeFrame;
};

class MixJob {
public:
    explicit MixJob(UiPort& ui, FadeSteps fadeSteps = nullptr, PictureAligner aligner = nullptr);
    ~MixJob();
    MixJob(const MixJob&) = delete;
    MixJob& operator=(const MixJob&) = delete;

    // Runs the Start command on the request. A second call while one runs (from a handler
    // during a yield) returns at once with outcome.started false.
    // A run stopped by cancel() unwinds from its next checkpoint (a progress change, a yield, the
    // return of a box or dialog), its work folder and temporary result removed on the way, and
    // closes with "Cancelled."; the earlier result stays.
    MixOutcome run(const MixRequest& request);
    bool busy() const { return m_busy; }
    // Any thread: asks the running job to stop. Nothing happens when none runs.
    void cancel() { if (m_busy) m_cancel.request(); }
    // Marks the job busy for the run() a worker is about to make, so that a cancel made before
    // that worker gets going is kept (app/JobThread). False when a job is running.
    bool reserve()
    {
        if (m_busy.exchange(true))
            return false;
        m_cancel.reset();
        m_reserved = true;
        return true;
    }

    // Whether a run may start helper threads of its own (a JPEG second picture decoded while
    // the first decodes). On by default; a batch that runs one job per core turns it off.
    void setHelperThreads(bool on) { m_helperThreads = on; }
    bool helperThreads() const { return m_helperThreads; }
    // Whether an Overlay of two JPEG files is streamed into its result a band of rows at a time
    // (job/OverlayStream: the same bytes and boxes in a few megabytes) rather than held as three
    // whole pictures in the work surfaces. Off by default: the window keeps its surfaces and
    // its yield for every column; the command line turns it on.
    void setStreamOverlays(bool on) { m_streamOverlays = on; }
    PictureAligner aligner() const { return m_aligner; }
    void setMeshPlacer(MeshPlacer placer) { m_meshPlacer = placer; }
    MeshPlacer meshPlacer() const { return m_meshPlacer; }

    UiPort& ui() { return m_ui; }
    ProgressBar& progressBar() { return m_progress; }
    WorkSurfaces& surfaces() { return m_surfaces; }

    // The title of the job's untitled message boxes ("Vantorell" until the window sets its own).
    const std::string& applicationTitle() const { return m_applicationTitle; }
    void setApplicationTitle(std::string title) { m_applicationTitle = std::move(title); }

private:
    // Why the request cannot run at all (an empty picture box, no frames): the box's text.
    static std::optional<std::string> refusalOf(const MixRequest& request);
    void runSteps(JobRun& run, UiPort& ui);
    void blendSteps(JobRun& run, StepRunner& steps);
    void overlaySteps(JobRun& run, StepRunner& steps);
    void overlayAndSave(JobRun& run, StepRunner& steps);
    void streamedOverlaySteps(JobRun& run, StepRunner& steps, StreamedOverlay& streamed);

    UiPort& m_ui;
    FadeSteps m_fadeSteps;
    PictureAligner m_aligner;
    MeshPlacer m_meshPlacer = nullptr;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_reserved{false};
    CancelFlag m_cancel;
    const MixOutcome* m_runningOutcome = nullptr;   // the run's outcome, while one runs
    bool m_helperThreads = true;
    bool m_streamOverlays = false;
    ProgressBar m_progress;
    std::string m_applicationTitle = "Vantorell";
    WorkSurfaces m_surfaces;
};

// The text as a sentence of a closing box: with a full stop unless it ends with one.
std::string asSentence(std::string_view text);

// One run of the Start command: the request, the outcome being gathered, the UI port that
// records every box into it, and the values the steps pass along.
struct JobRun {
    JobRun(MixJob& job, const MixRequest& request, MixOutcome& outcome, UiPort& ui)
        : job(job), request(request), outcome(outcome), ui(ui)
    {
    }
    MixJob& job;
    const MixRequest& request;
    MixOutcome& outcome;
    UiPort& ui;
    std::int16_t jpegQuality = 0;
    ColourProfile resultProfile;   // the colour profile a JPEG result carries (none: nothing written)

    // A box titled with the application title and an OK button.
    void showMessage(std::string_view text);
    // The job cannot give a result; `reason` ends the closing box. The first reason stays.
    void fail(std::string reason);
    bool failed() const { return !outcome.failure.empty(); }
    // Picture 2 aligned to picture 1 when the request asks for it, its message shown; otherwise
    // picture 2 as it is. None (the job is failed with the reason) when it cannot be aligned.
    std::optional<Picture> alignedSecond(const Picture& first, const Picture& second);
    // The last box of every job: "Cancelled.", "Done." when the result was written, otherwise
    // why no result was written.
    void showClosingMessage();
    // Whether the result may be committed: no step has reported an error since the job began.
    // Otherwise the job fails naming the first report, and the result is not committed (its
    // temporary goes with its ResultFile, the earlier result stays).
    bool resultSound();
    // Why the input `what` ("Image #1") at `path` could not be used, from the report its load
    // step just made: "Image #1 (PATH) could not be read: no such file."
    std::string inputFailure(std::string_view what, const std::string& path) const;
    // "result.jpg could not be written.", for the request's result file; "... could not be
    // written: the disk holding FOLDER is full." when the write failed for want of space.
    std::string writeFailure() const;
    bool diskFull = false;   // a write of the result failed for want of space
    // Brings the pictures (Image #firstNumber's first) into the request's working space, in
    // place, and keeps what the result carries and the notes. Nothing happens for ignore.
    void bringIntoWorkingSpace(std::span<Picture* const> pictures, bool jpegResult, int firstNumber = 1);
    // The request's frame count and frames per second, converted the moment a step needs them.
    std::int16_t frameCount() const;
    std::int16_t framesPerSecond() const;
};

// Step `stepLabel` of a request that asks to align: the picture on `second` replaced by its
// alignment to the one on `first`. False when the job ends there (the reason is its failure).
bool alignStep(JobRun& run, StepRunner& steps, int stepLabel, WorkSurface& first, WorkSurface& second);

}  // namespace vantorell
