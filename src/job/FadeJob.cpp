// The Fade branch of the Start command: N frames that cross-fade from Image #1 to Image #2,
// rendered by the morph engine into frame files in the job's private work folder, then written
// as the output AVI (or, for GIF output, as a temporary AVI that the GIF import reads).
#include "job/FadeJob.h"
#include "job/FadeGif.h"

#include "avi/AviWriter.h"
#include "job/FadeWorkFolder.h"
#include "job/FileHelpers.h"
#include "job/MixJob.h"
#include "job/StepRunner.h"
#include "mix/PixelBuffer.h"
#include "mix/MorphEngine.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

namespace vantorell {

std::int16_t TextToInt16(const std::string& text)
{
    // A number in the C locale, spaces around it allowed; rounded to the nearest, ties to even.
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (end == begin || !end || *end != '\0' || text.find_first_not_of(" \t") == std::string::npos ||
        std::isnan(value))
        throw RuntimeError(errnum::TypeMismatch, "Type mismatch");
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        throw RuntimeError(errnum::Overflow, "Overflow");
    return std::int16_t(rounded);
}

AviFrameSource FadeAviFrameSource(MixJob& job, const FadeWorkFolder& folder)
{
    return AviFrameSource{job.ui(), job.ApplicationTitle, folder.path(), job.picSave, job.ProgressBar1,
                          [&job] { return int(TextToInt16(job.Text4.text())); }};
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

void MixJob::EnableFadeJob()
{
    s_fadeBranch = [](MixJob& job, StepRunner& steps) { job.FadeJob(steps); };
}

void MixJob::FadeJob(StepRunner& steps)
{
    FadeWorkFolder work;        // FrameFolder: private to this job, removed at its end
    PictureCache pictures;
    MorphMesh mesh1, mesh2;
    TriangleList list1, list2;
    PixelBuffer buffer1, buffer2, frameBuffer;
    MorphFramePlan plan;
    auto frameFile = [&](int i) { return work.file("Morph_" + std::to_string(i) + ".bmp"); };
    auto frameCount = [&] { return TextToInt16(Text4.text()); };

    steps.run(290, [&] { m_ui.setBusyPointer(true); });
    steps.run(292, [&] { loadInto(PicOrgStart, pictures, Text1.text()); });
    steps.run(294, [&] { loadInto(PicOrgEnd, pictures, Text2.text()); });
    steps.run(296, [&] { Poriginal1.setAutoSize(true); loadInto(Poriginal1, pictures, Text1.text()); });
    steps.run(298, [&] { Poriginal2.setAutoSize(true); loadInto(Poriginal2, pictures, Text2.text()); });
    steps.run(300, [&] { PicOrgStart.setAutoSize(true); });
    steps.run(302, [&] { PicOrgEnd.setAutoSize(true); });
    if (steps.test(304, [&] { return !PicOrgEnd.picture().empty() && !PicOrgStart.picture().empty(); }))
        steps.run(306, [&] { SetupMorphMeshes(mesh1, mesh2, PicOrgStart, PicOrgEnd); });

    // A fresh private folder holds no frame files of an earlier run; the deletion stays for
    // the record of the steps and costs nothing.
    steps.run(310, [&] {
        work.create();
        DeleteFileForced(m_ui, work.file("Morph_*.bmp"));
    });
    steps.run(312, [&] {
        MorphT.setPicture(Picture());
        MorphT.setBackColor(0x000000);   // the frame surface's background is black
    });
    steps.run(314, [&] { MorphT.setOuterWidth(Poriginal1.outerWidth()); });
    steps.run(316, [&] { MorphT.setOuterHeight(Poriginal1.outerHeight()); });
    steps.run(318, [&] { list1 = MeshToTriangles(mesh1); });
    steps.run(320, [&] { list2 = MeshToTriangles(mesh2); });
    steps.run(322, [&] { PicOrgStart.clear(); });
    steps.run(324, [&] { PicOrgEnd.clear(); });
    steps.run(326, [&] { TransferPixels(Poriginal1, buffer1, PixelTransfer::Capture); });
    steps.run(328, [&] { TransferPixels(Poriginal2, buffer2, PixelTransfer::Capture); });
    steps.run(330, [&] { ProgressBar1.setMax(100); });

    int last = -1;
    steps.run(332, [&] { last = frameCount() - 1; });
    for (int i = 0; i <= last; ++i) {
        TriangleList frameList;
        steps.run(334, [&] { ProgressBar1.setValue(double(i + 1) / double(frameCount()) * 100.0); });
        steps.run(336, [&] { frameList = InterpolateTriangles(list1, list2, i, frameCount() - 1); });
        steps.run(338, [&] { DrawTriangleMap(MorphT, frameList); });
        steps.run(340, [&] { TransferPixels(MorphT, frameBuffer, PixelTransfer::Capture); });
        steps.run(342, [&] {
            // One frame is the first picture: t = 0 rather than 0 / 0.
            const int n = frameCount();
            const float t = n == 1 ? 0.0f : float(double(i) / double(n - 1));
            RenderMorphFrame(buffer1, list1, buffer2, list2, frameBuffer, frameList, t, &plan);
        });
        steps.run(344, [&] { TransferPixels(MorphT, frameBuffer, PixelTransfer::WriteBack); });
        steps.run(358, [&] { MorphT.saveAsBitmapFile(frameFile(i)); });
        steps.run(360, [&] { TransferPixels(MorphT, frameBuffer, PixelTransfer::Release); });
        steps.run(362, [&] { MorphT.refresh(); });
    }

    steps.run(366, [&] { TransferPixels(Poriginal1, buffer1, PixelTransfer::Release); });
    steps.run(368, [&] {
        TransferPixels(Poriginal2, buffer2, PixelTransfer::Release);
        m_ui.setBusyPointer(false);
    });
    // The memory the buffers kept for another capture is not needed by the writer.
    buffer1.trim();
    buffer2.trim();
    frameBuffer.trim();
    plan.reset();
    steps.run(370, [&] {
        ProgressBar1.setValue(0);
        ProgressBar1.setText("Progress Bar");
    });

    if (steps.test(372, [&] { return Option8.value(); })) {
        // 374 and 378 opened and closed the platform's AVI library; FFmpeg needs neither.
        steps.run(376, [&] {
            WriteAviFromFrames(OutputPath, TextToInt16(txtFPS.text()), FadeAviFrameSource(*this, work));
        });
    } else if (steps.test(380, [&] { return Option9.value(); })) {
        steps.run(384, [&] {
            WriteAviFromFrames(work.file("temp.avi"), TextToInt16(txtFPS.text()), FadeAviFrameSource(*this, work));
        });
        steps.run(386, [&] { m_ui.setBusyPointer(false); });
        FadeGifSteps(*this, steps, work);   // 388 to 414: job/FadeGif.cpp
    }

    steps.run(416, [&] {
        if (work.exists())
            DeleteFileForced(m_ui, work.file("Morph_*.bmp"));
        work.remove();
    });
    steps.run(426, [&] { m_ui.setBusyPointer(false); });
    steps.run(428, [&] {
        ProgressBar1.setValue(0);
        ProgressBar1.setText("Progress Bar");
    });
    if (steps.test(418, [&] { return GifFailed; }))
        return;
    steps.run(424, [&] { showMessage("Done."); });
}

}  // namespace vantorell
