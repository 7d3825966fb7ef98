#include "job/MixJob.h"

#include "job/FileHelpers.h"
#include "job/JpegOutput.h"
#include "job/StepRunner.h"
#include "mix/Blend.h"
#include "mix/Overlay.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <cmath>
#include <future>

namespace vantorell {

namespace {

std::int16_t toInt16(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= -32768.0 && r <= 32767.0))
        throw RuntimeError(errnum::Overflow, "Overflow");
    return std::int16_t(r);
}

std::uint8_t toByte(std::int16_t v)
{
    if (v < 0 || v > 255)
        throw RuntimeError(errnum::Overflow, "Overflow");
    return std::uint8_t(v);
}

// One blend direction: which option selects it, where its test and steps are labelled, which
// input becomes the base picture and which way the ramp runs.
struct BlendDirection {
    OptionButton MixJob::*option;
    int testLabel;
    bool exchanged;       // pic1 gets Text2's picture, pic2 Text1's
    BlendOrientation orientation;
    int labelOffset;      // added to the Left branch's labels
};

constexpr BlendDirection kBlendDirections[] = {
    {&MixJob::Option1, 122, false, BlendOrientation::Horizontal, 0},     // Left
    {&MixJob::Option2, 160, true, BlendOrientation::Horizontal, 38},     // Right
    {&MixJob::Option3, 198, false, BlendOrientation::Vertical, 76},      // Top
    {&MixJob::Option4, 236, true, BlendOrientation::Vertical, 114},      // Bottom
};

// Starts decoding a JPEG file on a helper thread; no future for anything else (other formats
// go through Qt, which should stay on the window's thread).
std::future<Picture> decodeAhead(const std::string& file, DecodeRequest request)
{
    if (file.empty() || !IsJpegFile(file))
        return {};
    return std::async(std::launch::async, [file, request] { return LoadPicture(file, request); });
}

}  // namespace

void (*MixJob::s_fadeBranch)(MixJob&, StepRunner&) = nullptr;

MixJob::MixJob(UiPort& ui) : m_ui(ui)
{
    Text4.setText("10");
    txtFPS.setText("5");
    Option1.setValue(true);
    Option5.setValue(true);
    Option8.setValue(true);
    Option21.setValue(true);
    Slider1.setRange(1, 100);
    Slider1.setValue(85);
    hStart.setRange(0, kBlendCanvasWidth);
    hStart.setValue(0);
    OutputExtension = "jpg";
    ProgressBar1.onChanged = [this] { m_ui.progressChanged(ProgressBar1); };
    // The overlay's input surfaces take the size of the pictures loaded into them.
    P.setAutoSize(true);
    P2.setAutoSize(true);
}

MixJob::~MixJob() = default;

void MixJob::showMessage(const std::string& text)
{
    m_ui.messageBox(text, MsgButtons::Ok, MsgIcon::None, ApplicationTitle);
}

void MixJob::PushButton2_Click()
{
    StepRunner steps(m_ui, "PushButton2_Click");
    if (JobBusy)                                                             // 100
        return;
    JobBusy = true;                                                          // 102
    GifFailed = false;                                                       // 104
    JpegQuality = 0;

    if (!steps.test(106, [&] { return FolderExists(Text3.text()); })) {
        steps.run(456, [&] { showMessage("Folder does not exist. Please select another folder."); });
        JobBusy = false;                                                     // 458
        return;
    }
    steps.run(108, [&] { OutputPath = Text3.text() + kPathSeparator + "result." + OutputExtension; });
    steps.run(110, [&] { OutputPath = NormalizePath(OutputPath); });
    steps.run(112, [&] { DeleteFileForced(m_ui, OutputPath); });
    if (steps.test(114, [&] { return Option22.value(); }))
        steps.run(116, [&] { JpegQuality = toInt16(Slider1.value()); });

    if (steps.test(118, [&] { return Option5.value(); }))
        BlendSteps(steps);
    else if (steps.test(288, [&] { return Option6.value(); })) {
        if (s_fadeBranch)
            s_fadeBranch(*this, steps);
    } else if (steps.test(430, [&] { return Option7.value(); }))
        OverlaySteps(steps);

    JobBusy = false;                                                         // 458
}

void MixJob::BlendSteps(StepRunner& steps)
{
    steps.run(120, [&] { m_ui.setBusyPointer(true); });

    for (const BlendDirection& direction : kBlendDirections) {
        if (!steps.test(direction.testLabel, [&] { return (this->*direction.option).value(); }))
            continue;
        const int o = direction.labelOffset;
        const std::string base = direction.exchanged ? Text2.text() : Text1.text();
        const std::string faded = direction.exchanged ? Text1.text() : Text2.text();
        // Both inputs are only ever shown stretched to the canvas: a big JPEG may be decoded at
        // a reduced scale that still covers it. A JPEG second input decodes on a helper thread
        // while the first decodes here; its picture (or its error) arrives at its own step.
        std::future<Picture> second = decodeAhead(faded, DecodeRequest{kBlendCanvasWidth, kBlendCanvasHeight});
        steps.run(124 + o, [&] { pic1.loadPicture(base, kBlendCanvasWidth, kBlendCanvasHeight); });
        steps.run(126 + o, [&] {
            if (second.valid())
                pic2.setPicture(second.get());
            else
                pic2.loadPicture(faded, kBlendCanvasWidth, kBlendCanvasHeight);
        });

        if (steps.test(128 + o, [&] { return Option21.value(); })) {
            WorkSurface& first = direction.exchanged ? pic2 : pic1;    // holds Text1's picture
            WorkSurface& second = direction.exchanged ? pic1 : pic2;   // holds Text2's picture
            steps.run(130 + o, [&] { JpegQuality = EstimateJpegQuality(first, Text1.text()); });
            if (steps.test(132 + o, [&] { return JpegQuality < EstimateJpegQuality(second, Text2.text()); }))
                steps.run(134 + o, [&] { JpegQuality = EstimateJpegQuality(second, Text2.text()); });
        }

        steps.run(136 + o, [&] { BlendSource1 = pic1.picture(); });
        steps.run(138 + o, [&] { BlendSource2 = pic2.picture(); });
        steps.run(140 + o, [&] { StretchToBox(pic1, pic1.picture()); });
        steps.run(142 + o, [&] { StretchToBox(pic2, pic2.picture()); });
        steps.run(144 + o, [&] { StretchToBox(picDest, pic1.picture()); });
        steps.run(154 + o, [&] { hStart.setRange(hStart.min(), toInt16(picDest.drawableWidth())); });
        steps.run(158 + o, [&] {
            BlendPictures(picDest, pic1, pic2, BlendSource1, BlendSource2, hStart.value(), direction.orientation);
        });
        break;
    }

    steps.run(274, [&] { SavePictureAsJpeg(picDest.imageAsPicture(), OutputPath, toByte(JpegQuality)); });
    steps.run(278, [&] { m_ui.setBusyPointer(false); });
    steps.run(286, [&] { showMessage("Done."); });
}

void MixJob::OverlaySteps(StepRunner& steps)
{
    steps.run(432, [&] { m_ui.setBusyPointer(true); });
    // A JPEG second picture decodes on a helper thread while the first decodes here; its
    // picture (or its error) arrives at its own step.
    std::future<Picture> second = decodeAhead(Text2.text(), DecodeRequest{});
    steps.run(434, [&] { P.loadPicture(Text1.text()); });
    steps.run(436, [&] {
        if (second.valid())
            P2.setPicture(second.get());
        else
            P2.loadPicture(Text2.text());
    });
    if (steps.test(438, [&] { return Option21.value(); })) {
        steps.run(440, [&] { JpegQuality = EstimateJpegQuality(P, Text1.text()); });
        if (steps.test(442, [&] { return JpegQuality < EstimateJpegQuality(P2, Text2.text()); }))
            steps.run(444, [&] { JpegQuality = EstimateJpegQuality(P2, Text2.text()); });
    }
    steps.run(446, [&] { OverlayPictures(P, P2, P3, ProgressBar1, m_ui); });
    steps.run(448, [&] { SavePictureAsJpeg(P3.imageAsPicture(), OutputPath, toByte(JpegQuality)); });
    steps.run(450, [&] { m_ui.setBusyPointer(false); });
    steps.run(452, [&] {
        ProgressBar1.setValue(0);
        ProgressBar1.setText("Progress Bar");
    });
    steps.run(454, [&] { showMessage("Done."); });
}

}  // namespace vantorell
