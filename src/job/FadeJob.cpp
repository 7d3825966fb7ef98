// The Fade branch of the Start command (job/FadeJob.h).
#include "job/FadeJob.h"
#include "job/FadeGif.h"

#include "avi/AviWriter.h"
#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/MixJob.h"
#include "job/ReportNames.h"
#include "job/StepRunner.h"
#include "mix/MorphEngine.h"
#include "mix/PixelBuffer.h"
#include "platform/PictureLoader.h"

#include <map>

namespace vantorell {

std::string frameFileName(const FadeWorkFolder& folder, int index)
{
    return folder.file(std::string(names::kFrameFilePrefix) + std::to_string(index) + ".bmp");
}

AviFrameSource fadeAviFrameSource(JobRun& run, const FadeWorkFolder& folder)
{
    MixJob& job = run.job;
    return AviFrameSource{run.ui,
                          job.applicationTitle(),
                          [&folder](int i) { return std::filesystem::path(frameFileName(folder, i)); },
                          folder.file(std::string(names::kResavedFrameFile)),
                          job.surfaces().frameResaver,
                          job.progressBar(),
                          [&run] { return int(run.frameCount()); }};
}

namespace {

// Each input file is decoded once per job: the surfaces that show the same picture share its
// pixels (a 4000 x 3000 picture is 48 MB). The fourth byte is cleared once here, so the pixel
// buffers captured from these surfaces share the pixels too. A failed load is not remembered:
// the next step that loads the file fails again and is reported at its own label.
class PictureCache {
public:
    Picture load(const std::string& file)
    {
        auto found = m_pictures.find(file);
        if (found != m_pictures.end())
            return found->second;
        Picture loaded = LoadPicture(file);
        Bitmap bits = loaded.bitmap();
        loaded = Picture();
        if (!bits.empty()) {
            std::uint8_t* p = bits.mutableBits();
            const std::size_t n = bits.byteCount();
            for (std::size_t i = 3; i < n; i += 4)
                p[i] = 0;
        }
        Picture picture(std::move(bits));
        m_pictures.emplace(file, picture);
        return picture;
    }

private:
    std::map<std::string, Picture> m_pictures;
};

void loadInto(WorkSurface& surface, PictureCache& cache, const std::string& file)
{
    surface.setPicture(file.empty() ? Picture() : cache.load(file));
}

}  // namespace

void runFadeSteps(JobRun& run, StepRunner& steps)
{
    const MixRequest& request = run.request;
    WorkSurfaces& surfaces = run.job.surfaces();
    WorkSurface& meshStart = surfaces.fadeMeshStart;
    WorkSurface& meshEnd = surfaces.fadeMeshEnd;
    WorkSurface& source1 = surfaces.fadeSource1;
    WorkSurface& source2 = surfaces.fadeSource2;
    WorkSurface& frame = surfaces.fadeFrame;
    ProgressBar& progress = run.job.progressBar();
    UiPort& ui = run.ui;
    FadeWorkFolder work;        // private to this job, removed at its end
    PictureCache pictures;
    MorphMesh mesh1, mesh2;
    TriangleList list1, list2;
    PixelBuffer buffer1, buffer2, frameBuffer;
    MorphFramePlan plan;
    auto frameFile = [&](int i) { return frameFileName(work, i); };
    auto frameCount = [&] { return run.frameCount(); };

    steps.run(290, [&] { ui.setBusyPointer(true); });
    steps.run(292, [&] { loadInto(meshStart, pictures, request.image1Path); });
    steps.run(294, [&] { loadInto(meshEnd, pictures, request.image2Path); });
    steps.run(296, [&] { source1.setAutoSize(true); loadInto(source1, pictures, request.image1Path); });
    steps.run(298, [&] { source2.setAutoSize(true); loadInto(source2, pictures, request.image2Path); });
    steps.run(300, [&] { meshStart.setAutoSize(true); });
    steps.run(302, [&] { meshEnd.setAutoSize(true); });
    if (steps.test(304, [&] { return !meshEnd.picture().empty() && !meshStart.picture().empty(); }))
        steps.run(306, [&] { SetupMorphMeshes(mesh1, mesh2, meshStart, meshEnd); });

    // A fresh private folder holds no frame files of an earlier run; the deletion stays for
    // the record of the steps and costs nothing.
    steps.run(310, [&] {
        work.create();
        DeleteFileForced(ui, work.file(std::string(names::kFrameFilePrefix) + "*.bmp"));
    });
    steps.run(312, [&] {
        frame.setPicture(Picture());
        frame.setBackColor(0x000000);   // the frame surface's background is black
    });
    steps.run(314, [&] { frame.setOuterWidth(source1.outerWidth()); });
    steps.run(316, [&] { frame.setOuterHeight(source1.outerHeight()); });
    steps.run(318, [&] { list1 = MeshToTriangles(mesh1); });
    steps.run(320, [&] { list2 = MeshToTriangles(mesh2); });
    steps.run(322, [&] { meshStart.clear(); });
    steps.run(324, [&] { meshEnd.clear(); });
    steps.run(326, [&] { TransferPixels(source1, buffer1, PixelTransfer::Capture); });
    steps.run(328, [&] { TransferPixels(source2, buffer2, PixelTransfer::Capture); });
    steps.run(330, [&] { progress.setMax(100); });

    int last = -1;
    steps.run(332, [&] { last = frameCount() - 1; });
    for (int i = 0; i <= last; ++i) {
        TriangleList frameList;
        steps.run(334, [&] { progress.setValue(double(i + 1) / double(frameCount()) * 100.0); });
        steps.run(336, [&] { frameList = InterpolateTriangles(list1, list2, i, frameCount() - 1); });
        steps.run(338, [&] { DrawTriangleMap(frame, frameList); });
        steps.run(340, [&] { TransferPixels(frame, frameBuffer, PixelTransfer::Capture); });
        steps.run(342, [&] {
            // One frame is the first picture: t = 0 rather than 0 / 0.
            const int n = frameCount();
            const float t = n == 1 ? 0.0f : float(double(i) / double(n - 1));
            RenderMorphFrame(buffer1, list1, buffer2, list2, frameBuffer, frameList, t, &plan);
        });
        steps.run(344, [&] { TransferPixels(frame, frameBuffer, PixelTransfer::WriteBack); });
        steps.run(358, [&] { frame.saveAsBitmapFile(frameFile(i)); });
        steps.run(360, [&] { TransferPixels(frame, frameBuffer, PixelTransfer::Release); });
        steps.run(362, [&] { frame.refresh(); });
    }

    steps.run(366, [&] { TransferPixels(source1, buffer1, PixelTransfer::Release); });
    steps.run(368, [&] {
        TransferPixels(source2, buffer2, PixelTransfer::Release);
        ui.setBusyPointer(false);
    });
    // The memory the buffers kept for another capture is not needed by the writer.
    buffer1.trim();
    buffer2.trim();
    frameBuffer.trim();
    plan.reset();
    steps.run(370, [&] {
        progress.setValue(0);
        progress.setText("Progress Bar");
    });

    if (steps.test(372, [&] { return request.fadeOutput == FadeOutput::Avi; })) {
        // 374 and 378 opened and closed the platform's AVI library; FFmpeg needs neither.
        steps.run(376, [&] {
            if (WriteAviFromFrames(run.outcome.outputPath, run.framesPerSecond(), fadeAviFrameSource(run, work)))
                run.outcome.writtenFile = run.outcome.outputPath;
        });
    } else if (steps.test(380, [&] { return request.fadeOutput == FadeOutput::Gif; })) {
        steps.run(384, [&] {
            WriteAviFromFrames(work.file(std::string(names::kTemporaryAviFile)), run.framesPerSecond(),
                               fadeAviFrameSource(run, work));
        });
        steps.run(386, [&] { ui.setBusyPointer(false); });
        runGifSteps(run, steps, work);   // 388 to 414: job/FadeGif.cpp
    }

    steps.run(416, [&] {
        if (work.exists())
            DeleteFileForced(ui, work.file(std::string(names::kFrameFilePrefix) + "*.bmp"));
        work.remove();
    });
    steps.run(426, [&] { ui.setBusyPointer(false); });
    steps.run(428, [&] {
        progress.setValue(0);
        progress.setText("Progress Bar");
    });
    if (steps.test(418, [&] { return run.gifFailed; }))
        return;
    steps.run(424, [&] { run.showMessage("Done."); });
}

}  // namespace vantorell
