// The Start command and the state it works on: the controls it reads, the job state, the
// window's hidden work surfaces and documents. The window model (app/WindowModel) is a MixJob plus
// the rest of the window; the batch command line drives a MixJob directly.
#pragma once

#include "platform/Controls.h"
#include "platform/Picture.h"
#include "platform/UiPort.h"
#include "platform/WorkSurface.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vantorell {

class StepRunner;
class GifDocument;
class Ditherer;

inline constexpr int kBlendCanvasWidth = 729;
inline constexpr int kBlendCanvasHeight = 425;

class MixJob {
public:
    explicit MixJob(UiPort& ui);
    virtual ~MixJob();
    MixJob(const MixJob&) = delete;
    MixJob& operator=(const MixJob&) = delete;

    // The Start button.
    void PushButton2_Click();

    // The Fade branch (job/FadeJob.cpp) sits on FFmpeg, whose libraries cost a program about
    // 80 ms to load. It is linked in only where EnableFadeJob() is called (the window, the
    // video build of the command line, the tests); without it the Fade option does nothing,
    // like an unmatched mix type.
    static void EnableFadeJob();

    UiPort& ui() { return m_ui; }

    // Controls the job reads, with their design values (set by the constructor).
    TextBox Text1, Text2, Text3, Text4, txtFPS;
    OptionButton Option1, Option2, Option3, Option4;      // Blend Left, Right, Top, Bottom
    OptionButton Option5, Option6, Option7;               // Blend, Fade, Overlay
    OptionButton Option8, Option9;                        // Save As AVI, Save As Animated GIF
    OptionButton Option21, Option22;                      // Smart-Detect, Fixed Quality:
    RangeControl Slider1;                                 // 1..100, 85
    RangeControl hStart;                                  // blend size 0..729
    ProgressBar ProgressBar1;
    std::string OutputExtension;                          // "jpg", "avi" or "gif"
    std::string ApplicationTitle = "Vantorell";           // title of untitled message boxes

    // Job state.
    bool JobBusy = false;
    std::string OutputPath;
    std::int16_t JpegQuality = 0;
    bool GifFailed = false;
    Picture BlendSource1, BlendSource2;

    // Hidden work surfaces.
    WorkSurface pic1{kBlendCanvasWidth, kBlendCanvasHeight};
    WorkSurface pic2{kBlendCanvasWidth, kBlendCanvasHeight};
    WorkSurface picDest{kBlendCanvasWidth, kBlendCanvasHeight};
    WorkSurface P, P2, P3;
    WorkSurface PicOrgStart, PicOrgEnd, Poriginal1, Poriginal2, MorphT, picSave;

    // The window's animated GIF document, made at the first GIF job and kept until closing,
    // and the window's colour-reduction module (palette and dither modes).
    std::shared_ptr<GifDocument> gifDocument;
    std::shared_ptr<Ditherer> Dither;
    // The dither mode the Fade job sets before a GIF import: 1 (ordered) in the window; the
    // batch command line lets users choose.
    std::int32_t GifDitherMode = 1;

protected:
    // Shows a box titled with the application title and an OK button.
    void showMessage(const std::string& text);

private:
    void BlendSteps(StepRunner& steps);
    void OverlaySteps(StepRunner& steps);
    void FadeJob(StepRunner& steps);     // job/FadeJob.cpp

    static void (*s_fadeBranch)(MixJob& job, StepRunner& steps);

    UiPort& m_ui;
};

}  // namespace vantorell
