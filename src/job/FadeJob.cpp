// The Fade branch of the Start command (job/FadeJob.h).
#include "job/FadeJob.h"
#include "job/FadeGif.h"
#include "job/FadeMorph.h"
#include "job/FadeSequence.h"

#include "avi/AviWriter.h"
#include "job/FadeFrameOutput.h"
#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/MemoryNeed.h"
#include "job/MixJob.h"
#include "job/ReportNames.h"
#include "job/StepLabels.h"
#include "job/StepRunner.h"
#include "mix/FadeRenderer.h"
#include "mix/PixelBuffer.h"
#include "platform/ByteSize.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <sys/statvfs.h>
#include <system_error>

namespace vantorell {

namespace {

namespace label = labels::start;

// Each input file is decoded once per job: the surfaces that show the same picture share its
// pixels (a 4000 x 3000 picture is 48 MB). The fourth byte is cleared once here, so the pixel
// buffers captured from these surfaces share the pixels too. A failed load is not remembered:
// the next step that loads the file fails again and is reported at its own label.
class PictureCache {
public:
    // Starts decoding a JPEG on a thread of its own, for a load() to come: the Fade decodes its
    // second picture while the first decodes here. Other formats are left to load(): their
    // readers must stay on one long-lived thread.
    void prefetch(const std::string& file)
    {
        if (file.empty() || m_pictures.contains(file) || m_decoding.contains(file) || !isJpegFile(file))
            return;
        try {
            m_decoding.emplace(file, std::async(std::launch::async, [file] { return decode(file); }));
        } catch (const std::system_error&) {
            // no thread to be had: load() decodes it
        }
    }

    Picture load(const std::string& file)
    {
        auto found = m_pictures.find(file);
        if (found != m_pictures.end())
            return found->second;
        Picture picture;
        if (auto decoding = m_decoding.find(file); decoding != m_decoding.end()) {
            std::future<Picture> result = std::move(decoding->second);
            m_decoding.erase(decoding);
            picture = result.get();   // its error is raised here, at this load's step
        } else {
            picture = decode(file);
        }
        if (m_toWorkingSpace)
            picture = m_toWorkingSpace(std::move(picture), file);
        m_pictures.emplace(file, picture);
        return picture;
    }

    // What each picture goes through once decoded (its colours into the working space).
    void setToWorkingSpace(std::function<Picture(Picture, const std::string&)> convert)
    {
        m_toWorkingSpace = std::move(convert);
    }

    // A sequence: forgets every picture but these two, so memory stays at one pair's.
    void keepOnly(const std::string& a, const std::string& b)
    {
        std::erase_if(m_pictures, [&](const auto& entry) { return entry.first != a && entry.first != b; });
    }

private:
    static Picture decode(const std::string& file)
    {
        Picture loaded = loadPicture(file);
        const ColourProfile profile = loaded.colourProfile();
        Bitmap bits = loaded.bitmap();
        loaded = Picture();
        bits.clearFourthBytes();
        Picture cleared(std::move(bits));
        cleared.setColourProfile(profile);
        return cleared;
    }

    std::map<std::string, Picture> m_pictures;
    std::map<std::string, std::future<Picture>> m_decoding;   // joined when the cache goes
    std::function<Picture(Picture, const std::string&)> m_toWorkingSpace;
};

void loadInto(WorkSurface& surface, PictureCache& cache, const std::string& file)
{
    surface.setPicture(file.empty() ? Picture() : cache.load(file));
}

// One Fade run's working state: the private work folder, the decoded pictures, the meshes and
// the renderer of the frames (its pictures' pixel buffers, the triangle lists and the frames).
struct FadeRun {
    explicit FadeRun(JobRun& run)
        : run(run), surfaces(run.job.surfaces()), progress(run.job.progressBar()), ui(run.ui)
    {
        // Frames are shown without colour management (GIF, most players): every picture is
        // brought into sRGB on its own.
        pictures.setToWorkingSpace([&run](Picture picture, const std::string& file) {
            Picture* const one[] = {&picture};
            run.bringIntoWorkingSpace(one, false, imageNumber(run.request, file));
            return picture;
        });
    }
    // The number the job's notes give the file: its place in the sequence, else 1 or 2.
    static int imageNumber(const MixRequest& request, const std::string& file)
    {
        const auto found = std::find(request.sequenceFiles.begin(), request.sequenceFiles.end(), file);
        if (found != request.sequenceFiles.end())
            return int(found - request.sequenceFiles.begin()) + 1;
        return file == request.image1Path ? 1 : 2;
    }
    JobRun& run;
    WorkSurfaces& surfaces;
    ProgressBar& progress;
    UiPort& ui;
    FadeWorkFolder work;   // private to this job, removed at its end
    PictureCache pictures;
    MorphMesh mesh1, mesh2;
    FadeRenderer renderer;
    bool sequenceFailed = false;   // a sequence's picture failed to load: the output is dropped
    bool frameFailed = false;      // a frame's step reported an error: the output is dropped
};

// A sequence: checked before anything is loaded, so a missing picture costs nothing. True for
// a two-picture fade, and when a bad frame count is left to the steps to report.
bool sequenceReady(FadeRun& fade)
{
    const MixRequest& request = fade.run.request;
    if (!isSequenceFade(request))
        return true;
    std::optional<std::string> why;
    if (request.image1Path != request.sequenceFiles[0] || request.image2Path != request.sequenceFiles[1])
        why = "the sequence does not start with Image #1 and Image #2.";
    else
        try {
            why = checkSequence(request, fade.run.frameCount());
        } catch (const RuntimeError&) {
            return true;
        }
    if (why)
        fade.run.fail(*why);
    return !why;
}

// A Fade whose pictures and frames cannot fit in the request's memory limit is refused before
// its frames are made. Its pictures are decoded first: a damaged one, however big its header
// says it is, costs only the rows it holds and is reported as damaged.
bool memoryFits(FadeRun& fade)
{
    if (std::optional<std::string> why = memoryRefusal(fade.run.request)) {
        fade.run.fail(*why);
        return false;
    }
    return true;
}

// A sequence: the pair of frame `pair` decoded into the source surfaces and captured, at the
// labels of the first pair's loads (kLoadSource1, kLoadSource2) and captures (kCaptureSource1,
// kCaptureSource2). False when a picture cannot be read: the job ends there and writes nothing.
bool loadSequencePair(FadeRun& fade, StepRunner& steps, int pair)
{
    WorkSurfaces& s = fade.surfaces;
    const std::vector<std::string>& files = fade.run.request.sequenceFiles;
    transferPixels(s.fadeSource1, fade.renderer.source(0), PixelTransfer::Release);
    transferPixels(s.fadeSource2, fade.renderer.source(1), PixelTransfer::Release);
    fade.pictures.keepOnly(files[std::size_t(pair)], files[std::size_t(pair) + 1]);
    for (int side = 0; side < 2; ++side) {
        const std::string& file = files[std::size_t(pair + side)];
        const int loadLabel = side == 0 ? label::kLoadSource1 : label::kLoadSource2;
        if (!steps.run(loadLabel, [&] { loadInto(side == 0 ? s.fadeSource1 : s.fadeSource2, fade.pictures, file); })) {
            fade.run.fail(fade.run.inputFailure("picture " + std::to_string(pair + side + 1) + " of the sequence", file));
            fade.sequenceFailed = true;
            return false;
        }
    }
    steps.run(label::kCaptureSource1, [&] {
        transferPixels(s.fadeSource1, fade.renderer.source(0), PixelTransfer::Capture);
    });
    steps.run(label::kCaptureSource2, [&] {
        transferPixels(s.fadeSource2, fade.renderer.source(1), PixelTransfer::Capture);
    });
    return true;
}

std::string frameFilePattern(const FadeWorkFolder& work)
{
    return work.file(std::string(names::kFrameFilePrefix) + "*.bmp");
}

// Auto Points (a request that asks for it): mesh 2 placed for mesh 1 by the job's MeshPlacer, its
// messages shown, the mesh file written where the request names one. False when it fails.
bool autoMeshStep(FadeRun& fade, StepRunner& steps)
{
    JobRun& run = fade.run;
    if (!run.request.autoMesh)
        return true;
    if (!run.job.meshPlacer()) {
        run.fail("this program cannot place mesh points.");
        return false;
    }
    const bool ran = steps.run(label::kAutoMeshFade, [&] {
        const WorkSurfaces& s = fade.surfaces;
        // Without a mesh of the user's, the finest regular mesh: its points cost nothing to
        // place, and the finer the grid the closer the morph follows the scene.
        MorphMesh mesh1 = fade.mesh1;
        if (!run.request.morphMeshes) {
            const MorphMesh fine = regularMesh(kMaxMeshCells, kMaxMeshCells, mesh1.width, mesh1.height);
            mesh1.columns = fine.columns;
            mesh1.rows = fine.rows;
            mesh1.points = fine.points;
        }
        AutoMeshResult placed = run.job.meshPlacer()(s.fadeMeshStart.picture(), s.fadeMeshEnd.picture(), mesh1, {});
        if (!placed.pair) {
            run.fail(placed.messages.empty() ? kAutoMeshFailure : placed.messages.front());
            return;
        }
        // What was found goes where the job's progress shows; the job goes on.
        for (const std::string& message : placed.messages)
            run.ui.statusMessage(message, run.job.applicationTitle());
        std::string error;
        if (!run.request.saveMeshFile.empty() && !writeMeshFile(run.request.saveMeshFile, *placed.pair, error))
            run.fail(error);
        fade.mesh1 = std::move(mesh1);
        fade.mesh2.columns = fade.mesh1.columns;
        fade.mesh2.rows = fade.mesh1.rows;
        fade.mesh2.points = std::move(placed.pair->mesh2.points);
    });
    if (!ran)
        run.fail(kAutoMeshFailure);
    return !run.failed();
}

// Steps kLoadImage1 to kSetUpMeshes: both pictures decoded once and the meshes laid on them. False
// when a picture cannot be read: the job ends there.
bool loadPictures(FadeRun& fade, StepRunner& steps)
{
    const MixRequest& request = fade.run.request;
    WorkSurfaces& s = fade.surfaces;
    if (request.image2Path != request.image1Path)
        fade.pictures.prefetch(request.image2Path);
    if (!steps.run(label::kLoadImage1, [&] { loadInto(s.fadeMeshStart, fade.pictures, request.image1Path); })) {
        fade.run.fail(fade.run.inputFailure("Image #1", request.image1Path));
        return false;
    }
    if (!steps.run(label::kLoadImage2, [&] { loadInto(s.fadeMeshEnd, fade.pictures, request.image2Path); })) {
        fade.run.fail(fade.run.inputFailure("Image #2", request.image2Path));
        return false;
    }
    if (!alignStep(fade.run, steps, label::kAlignFade, s.fadeMeshStart, s.fadeMeshEnd))
        return false;
    steps.run(label::kLoadSource1, [&] {
        s.fadeSource1.setAutoSize(true);
        loadInto(s.fadeSource1, fade.pictures, request.image1Path);
    });
    steps.run(label::kLoadSource2, [&] {
        s.fadeSource2.setAutoSize(true);
        if (request.align)
            s.fadeSource2.setPicture(s.fadeMeshEnd.picture());   // picture 2 as aligned
        else
            loadInto(s.fadeSource2, fade.pictures, request.image2Path);
    });
    steps.run(label::kAutoSizeMeshStart, [&] { s.fadeMeshStart.setAutoSize(true); });
    steps.run(label::kAutoSizeMeshEnd, [&] { s.fadeMeshEnd.setAutoSize(true); });
    if (steps.test(label::kTestBothLoaded, [&] {
            return !s.fadeMeshEnd.picture().empty() && !s.fadeMeshStart.picture().empty();
        }))
        steps.run(label::kSetUpMeshes, [&] {
            setupMorphMeshes(fade.mesh1, fade.mesh2, s.fadeMeshStart, s.fadeMeshEnd);
        });
    // Morph: the request's meshes, if any, replace the regular ones (job/FadeMorph).
    if (auto why = layRequestMeshes(request, fade.mesh1, fade.mesh2)) {
        fade.run.fail(*why);
        return false;
    }
    return autoMeshStep(fade, steps);
}

// Steps kClearWorkFolder to kSetProgressMax: the work folder, the frame surface and the captured
// pixel buffers.
void prepareFrames(FadeRun& fade, StepRunner& steps)
{
    WorkSurfaces& s = fade.surfaces;
    // A fresh private folder holds no frame files of an earlier run; the deletion stays for
    // the record of the steps and costs nothing.
    steps.run(label::kClearWorkFolder, [&] {
        fade.work.create();
        deleteFileForced(fade.ui, frameFilePattern(fade.work));
    });
    steps.run(label::kClearFrame, [&] {
        s.fadeFrame.setPicture(Picture());
        s.fadeFrame.setBackColor(0x000000);   // the frame surface's background is black
    });
    steps.run(label::kSetFrameWidth, [&] { s.fadeFrame.setOuterWidth(s.fadeSource1.outerWidth()); });
    steps.run(label::kSetFrameHeight, [&] { s.fadeFrame.setOuterHeight(s.fadeSource1.outerHeight()); });
    steps.run(label::kSetTriangles1, [&] { fade.renderer.setTriangles(0, meshToTriangles(fade.mesh1)); });
    steps.run(label::kSetTriangles2, [&] { fade.renderer.setTriangles(1, meshToTriangles(fade.mesh2)); });
    steps.run(label::kClearMeshStart, [&] { s.fadeMeshStart.clear(); });
    steps.run(label::kClearMeshEnd, [&] { s.fadeMeshEnd.clear(); });
    steps.run(label::kCaptureSource1, [&] {
        transferPixels(s.fadeSource1, fade.renderer.source(0), PixelTransfer::Capture);
    });
    steps.run(label::kCaptureSource2, [&] {
        transferPixels(s.fadeSource2, fade.renderer.source(1), PixelTransfer::Capture);
    });
    steps.run(label::kSetProgressMax, [&] { fade.progress.setMax(100); });
}

// The frames' size: the frame surface's.
FrameLayout frameLayout(const FadeRun& fade)
{
    const WorkSurface& frame = fade.surfaces.fadeFrame;
    return {std::max(0, frame.drawableWidth()), std::max(0, frame.drawableHeight())};
}

std::uint64_t freeBytes(const std::filesystem::path& folder)
{
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        return UINT64_MAX;   // unknown: the writes themselves will tell
    return std::uint64_t(fs.f_bavail) * fs.f_frsize;
}

// Before any frame is rendered: the frames a GIF keeps beyond memory must fit in the work
// folder, and an uncompressed AVI in the output folder (frames stream to the writer: no frame
// files). False, with the reason recorded, when they do not.
bool enoughSpace(FadeRun& fade)
{
    int frames = 0;
    try {
        frames = fade.run.frameCount();
        if (auto why = checkFadeFrameTotal(fade.run.request, frames)) {   // morph: holds
            fade.run.fail(*why);
            return false;
        }
        frames = int(fadeFrameTotal(fade.run.request, frames));
    } catch (const RuntimeError&) {
        return true;   // the steps report it at their own labels
    }
    const FrameLayout layout = frameLayout(fade);
    const std::uint64_t uncompressedAvi = std::uint64_t(std::max(0, frames)) * (layout.bytes() + 24) + 64 * 1024;
    const MixRequest& request = fade.run.request;
    const std::uint64_t workBytes =
        request.fadeOutput == FadeOutput::Gif ? GifFrameSink::spillBytes(request.gif, layout, frames) : 0;
    const auto check = [&](const std::filesystem::path& folder, std::uint64_t needed) {
        const std::uint64_t available = freeBytes(folder);
        if (available >= needed)
            return true;
        // Free space rounded down and the need rounded up, so the two never read as the same.
        fade.run.fail(folder.string() + " has " + formatByteSize(available, SizeRounding::Down) +
                      " free, and this job needs " + formatByteSize(needed, SizeRounding::Up) + " there.");
        return false;
    };
    if (workBytes > 0 && fade.work.exists() && !check(fade.work.path(), workBytes))
        return false;
    const bool uncompressedOutput = request.fadeOutput == FadeOutput::Avi && request.codec == "uncompressed";
    return !uncompressedOutput || check(std::filesystem::path(fade.run.outcome.outputPath).parent_path(), uncompressedAvi);
}

std::optional<VideoFormat> videoFormatOf(FadeOutput output)
{
    switch (output) {
    case FadeOutput::Mp4: return VideoFormat::Mp4;
    case FadeOutput::Webm: return VideoFormat::Webm;
    case FadeOutput::Webp: return VideoFormat::Webp;
    case FadeOutput::Apng: return VideoFormat::Apng;
    default: return std::nullopt;
    }
}

// The output the frames stream to, opened before the first frame is rendered.
std::unique_ptr<FadeFrameOutput> openOutput(FadeRun& fade)
{
    auto output = std::make_unique<FadeFrameOutput>(fade.run, frameLayout(fade));
    const MixRequest& request = fade.run.request;
    if (request.fadeOutput == FadeOutput::Avi)
        output->openAvi();
    else if (request.fadeOutput == FadeOutput::Gif)
        output->openGif(request.gif, fade.work.file(std::string(names::kGifFramesFile)),
                        fade.run.job.helperThreads());
    else if (const std::optional<VideoFormat> video = videoFormatOf(request.fadeOutput))
        output->openVideo(*video, request.videoQuality);
    return output;
}

// Steps kPlanFrames to kReleaseSource2: every frame rendered by the fade renderer, each stage of a
// frame at its own step, and each frame handed to the output as it is ready (none when the output
// takes no frames: a cancelled dialog, an output that failed).
void renderFrames(FadeRun& fade, StepRunner& steps, FadeFrameOutput& output)
{
    WorkSurfaces& s = fade.surfaces;
    WorkSurface& frame = s.fadeFrame;
    FadeRenderer& renderer = fade.renderer;
    int last = -1;
    // Frame i's pair and times: holds, easing and ping-pong, or a sequence's steps.
    steps.run(label::kPlanFrames, [&] {
        renderer.setFrames(fadeFrames(fade.run.request, fade.run.frameCount()),
                           [&](int pair, PixelBuffer&, PixelBuffer&) { return loadSequencePair(fade, steps, pair); });
        last = renderer.frameCount() - 1;
    });
    if (!output.wantsFrames())
        last = -1;
    const std::vector<StepError>& errors = fade.run.outcome.errors;
    std::size_t reported = errors.size();   // the reports before the frame being rendered
    const FadeRenderer::StageRunner stages = [&](FadeRenderer::Stage stage, const std::function<void()>& work) {
        // In the order of FadeRenderer::Stage: path, map, capture, render, write-back.
        static constexpr int kLabels[] = {label::kFramePath, label::kFrameMap, label::kFrameCapture,
                                          label::kRenderFrame, label::kFrameWriteBack};
        if (errors.size() == reported)   // a stage that failed leaves the next nothing sound to work on
            steps.run(kLabels[int(stage)], work);
    };
    for (int i = 0; i <= last; ++i) {
        if (!renderer.loadPairOf(i))   // a sequence's next pair that cannot be read
            break;
        steps.run(label::kShowFrameProgress, [&] {
            fade.progress.setStep("Frame " + std::to_string(i + 1) + " of " + std::to_string(last + 1));
            fade.progress.setValue(double(i + 1) / double(last + 1) * 100.0);
        });
        reported = errors.size();
        renderer.render(i, frame, stages);
        const bool rendered = errors.size() == reported;
        if (rendered)
            steps.run(label::kDeliverFrame, [&] { output.deliver(frame.image(), i); });
        steps.run(label::kFinishFrame, [&] { renderer.finishFrame(); });
        steps.run(label::kRefreshFrame, [&] { frame.refresh(); });
        // A frame that a step reported on is wrong, and so would be the output: it ends here.
        if (errors.size() != reported) {
            const std::string what = rendered ? " could not be written: " : " could not be rendered: ";
            fade.run.fail("frame " + std::to_string(i + 1) + what + asSentence(errors[reported].description));
            fade.frameFailed = true;
            break;
        }
    }
    steps.run(label::kReleaseSource1, [&] {
        transferPixels(s.fadeSource1, renderer.source(0), PixelTransfer::Release);
    });
    steps.run(label::kReleaseSource2, [&] {
        transferPixels(s.fadeSource2, renderer.source(1), PixelTransfer::Release);
        fade.ui.setBusyPointer(false);
    });
    renderer.trim();   // the writer needs none of the memory kept for further frames
}

// Closes the output; the outcome learns a cancelled dialog.
AviWriteResult closeOutput(FadeRun& fade, FadeFrameOutput& output)
{
    const AviWriteResult written = output.close();
    if (written == AviWriteResult::Cancelled)
        fade.run.outcome.cancelled = true;
    return written;
}

// Steps kResetFrameProgress to kSaveGifFailed: the frames written as the result AVI or video, or
// encoded as the GIF.
void writeOutput(FadeRun& fade, StepRunner& steps, FadeFrameOutput& output)
{
    JobRun& run = fade.run;
    steps.run(label::kResetFrameProgress, [&] {
        fade.progress.setStep({});
        fade.progress.setValue(0);
        fade.progress.setText("Progress Bar");
    });
    // The video formats are written like the AVI: straight to the result.
    if (steps.test(label::kTestVideoOutput, [&] { return run.request.fadeOutput != FadeOutput::Gif; })) {
        // kOpenAviLibrary and kCloseAviLibrary opened and closed the platform's AVI library;
        // FFmpeg needs neither.
        bool sound = true;
        const bool done = steps.run(label::kWriteVideo, [&] {
            const AviWriteResult written = closeOutput(fade, output);
            if (written == AviWriteResult::Failed)
                run.diskFull = output.diskFull();
            if (written != AviWriteResult::Written || !(sound = run.resultSound()))
                return;
            output.commit();
            run.outcome.writtenFile = run.outcome.outputPath;
        });
        if (!done || (!run.outcome.wroteResult() && !run.outcome.cancelled && sound))
            run.fail(run.writeFailure());
    } else if (steps.test(label::kTestGifOutput, [&] { return run.request.fadeOutput == FadeOutput::Gif; })) {
        AviWriteResult frames = AviWriteResult::Failed;
        steps.run(label::kCloseGifFrames, [&] { frames = closeOutput(fade, output); });
        steps.run(label::kGifFramesNormalPointer, [&] { fade.ui.setBusyPointer(false); });
        if (frames == AviWriteResult::Written)
            runGifSteps(run, steps, output.gif());   // kStartGifProgress to kSaveGifFailed: job/FadeGif.cpp
        else if (frames == AviWriteResult::Failed)
            run.fail(fade.work.exists() && diskFull(fade.work.path().string())
                         ? "the frames could not be written for the GIF: the disk holding " + fade.work.path().string() +
                               " is full."
                         : "the frames could not be written for the GIF.");
    }
}

}  // namespace

void runFadeSteps(JobRun& run, StepRunner& steps)
{
    FadeRun fade(run);
    steps.run(label::kFadeBusyPointer, [&] { fade.ui.setBusyPointer(true); });
    if (sequenceReady(fade) && loadPictures(fade, steps) && memoryFits(fade)) {
        prepareFrames(fade, steps);
        // A step reported on while the pictures were prepared: no frame could be right.
        if (run.resultSound() && enoughSpace(fade)) {
            const std::unique_ptr<FadeFrameOutput> output = openOutput(fade);
            renderFrames(fade, steps, *output);
            if (!fade.sequenceFailed && !fade.frameFailed)   // an output that broke off is dropped
                writeOutput(fade, steps, *output);
        }
    }
    steps.run(label::kRemoveWorkFolder, [&] {
        if (fade.work.exists())
            deleteFileForced(fade.ui, frameFilePattern(fade.work));
        fade.work.remove();
    });
    steps.run(label::kFadeNormalPointer, [&] { fade.ui.setBusyPointer(false); });
    steps.run(label::kFadeResetProgress, [&] {
        fade.progress.setStep({});
        fade.progress.setValue(0);
        fade.progress.setText("Progress Bar");
    });
    steps.run(label::kFadeClosingMessage, [&] { run.showClosingMessage(); });
}

}  // namespace vantorell
