// The window in its Blend, Fade (to a GIF and to a video) and Overlay states and one "Application Error" box, each
// rendered into a picture: every run checks that the pictures are drawn at the window's size,
// differ from state to state, and that each state enables its own controls. With
// VANTORELL_SCREENSHOT_DIR set the pictures are also saved there as the documentation's
// screenshots; scripts/screenshots.sh does that under Xvfb with a window manager, so that the
// shots show the title bars.
#include "GuiHarness.h"
#include "dib/Dib.h"
#include "gif/GifEncoder.h"
#include "gui/PreviewPane.h"
#include "gui/QtUiPort.h"
#include "gui/UserGuide.h"
#include "job/ErrorReport.h"
#include "job/SilentUi.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSlider>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWindow>
#include <QPixmap>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <fstream>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace vantorell::test {
namespace {

// Lets the window manager draw the frames before a shot is taken for the documentation.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window with its frame as the window manager draws it (the bare widget without one).
QPixmap shotOf(QWidget& widget)
{
    const QRect frame = widget.frameGeometry();
    QScreen* screen = widget.screen();
    if (frame != widget.geometry() && screen)
        return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return widget.grab();
}

// A shot covers the whole widget and shows more than a flat fill.
void expectDrawn(const QImage& shot, const QWidget& widget)
{
    ASSERT_FALSE(shot.isNull());
    const QSize size = shot.deviceIndependentSize().toSize();
    EXPECT_GE(size.width(), widget.width());
    EXPECT_GE(size.height(), widget.height());
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 16) << "a blank shot";
}

TEST(Screenshots, BlendFadeOverlayAndAnErrorBox)
{
    const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR");

    WindowEnvironment environment;
    environment.programFolder = "/opt/vantorell/bin";
    environment.desktopFolder = "/home/ana/Desktop";
    GuiHarness h(environment);
    h.settings.put("Image 1", "/home/ana/Pictures/harbour-morning.jpg");
    h.settings.put("Image 2", "/home/ana/Pictures/harbour-evening.jpg");
    h.settings.put("Text3", "/home/ana/Pictures/Mixed/");
    MainWindow& window = h.open();
    window.resize(window.sizeHint());
    WindowModel& f = *h.form;
    h.widget<QWidget>(f.startButton)->setFocus();

    // Takes the shot of a widget, checks it and saves it when asked.
    const auto shoot = [&](QWidget& widget, const char* name) {
        SCOPED_TRACE(name);
        if (folder)
            settle();
        QApplication::processEvents();
        const QPixmap shot = shotOf(widget);
        expectDrawn(shot.toImage(), widget);
        if (folder) {
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(folder) + u'/' + QLatin1String(name)));
        }
        return shot.toImage();
    };
    // Which of the mix controls a state leaves enabled: a blend side, the blend size, the
    // frame count, the frame rate, "Save As Animated GIF", the quality slider.
    const auto expectEnabled = [&](std::initializer_list<bool> enabled) {
        const std::pair<const Control*, const char*> controls[] = {
            {&f.blendLeftOption, "blendLeftOption"},       {&f.blendSizeBar, "blendSizeBar"},
            {&f.frameCountBox, "frameCountBox"},           {&f.framesPerSecondBox, "framesPerSecondBox"},
            {&f.saveAsGifOption, "saveAsGifOption"},       {&f.qualitySlider, "qualitySlider"}};
        const bool* expected = enabled.begin();
        for (const auto& [control, name] : controls)
            EXPECT_EQ(window.widgetFor(*control)->isEnabled(), *expected++) << name;
    };
    h.widget<QRadioButton>(f.blendTopOption)->click();
    f.blendSizeBar.setRange(0, 729);
    f.blendSizeBar.setValue(300);
    expectEnabled({true, true, false, false, false, false});
    const QImage blend = shoot(window, "blend.png");

    h.widget<QRadioButton>(f.fadeOption)->click();
    h.widget<QRadioButton>(f.saveAsGifOption)->click();
    f.image1Box.setText("/opt/vantorell/share/vantorell/Samples/face1.jpg");
    f.image2Box.setText("/opt/vantorell/share/vantorell/Samples/face2.jpg");
    f.progressBar().setMax(10);
    f.progressBar().setStep("Frame 4 of 10");
    f.progressBar().setValue(4);
    expectEnabled({true, true, true, true, true, false});
    const QImage fade = shoot(window, "fade.png");

    // The same Fade writing a video: "Save As Video" with a format and a quality.
    if (!f.videoOutput.formats().empty()) {
        window.findChild<QRadioButton*>(QStringLiteral("saveAsVideoOption"))->click();
        for (VideoFormat format : f.videoOutput.formats())
            if (format == VideoFormat::Webm)
                f.videoOutput.setFormat(format);
        f.videoOutput.setQuality(80);
        EXPECT_TRUE(shoot(window, "fade-video.png") != fade);
        h.widget<QRadioButton>(f.saveAsGifOption)->click();
    }

    h.widget<QRadioButton>(f.overlayOption)->click();
    h.widget<QRadioButton>(f.fixedQualityOption)->click();
    f.qualitySlider.setValue(92);
    f.image1Box.setText("/home/ana/Pictures/harbour-morning.jpg");
    f.image2Box.setText("/home/ana/Pictures/harbour-evening.jpg");
    f.progressBar().setStep({});
    f.progressBar().setValue(0);
    expectEnabled({false, false, false, false, false, true});
    const QImage overlay = shoot(window, "overlay.png");
    EXPECT_TRUE(blend != fade);
    EXPECT_TRUE(fade != overlay);
    EXPECT_TRUE(overlay != blend);

    const auto box = QtUiPort::makeMessageBox(
        applicationErrorText("PushButton2_Click", 124, "File not found: /home/ana/Pictures/harbour-morning.jpg"),
        MsgButtons::Ok, MsgIcon::Exclamation, "Application Error", &window);
    box->show();
    shoot(*box, "application-error.png");
    box->hide();

    // The box a job that could not give a result ends with, instead of "Done.".
    const auto noResult = QtUiPort::makeMessageBox("No result was written: Image #1 could not be read.",
                                                   MsgButtons::Ok, MsgIcon::None, "Vantorell", &window);
    noResult->show();
    shoot(*noResult, "no-result.png");
}

}  // namespace
}  // namespace vantorell::test


namespace vantorell::test {
namespace {

// Pictures of the window as frames for the GIF encoder.
class ImageFrames final : public GifFrameProvider {
public:
    explicit ImageFrames(const std::vector<QImage>& images) : m_images(images) {}
    int frameCount() const override { return int(m_images.size()); }
    int width() const override { return m_images.empty() ? 0 : m_images[0].width(); }
    int height() const override { return m_images.empty() ? 0 : m_images[0].height(); }
    bool frame(int index, Dib& surface) override
    {
        const QImage image = m_images[std::size_t(index)].convertToFormat(QImage::Format_RGB32);
        surface.create(image.width(), image.height(), 32);
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(surface.scanline(y), image.constScanLine(y), std::size_t(image.width()) * 4);
        return true;
    }

private:
    const std::vector<QImage>& m_images;
};

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The window with its preview in each mode, from the sample pictures, and a short animation of
// the Fade preview's slider moving (made with our own GIF writer) for the README.
TEST(Screenshots, EachModeWithItsPreview)
{
    const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR");
    GuiHarness h;
    h.settings.put("Image 1", std::string(VANTORELL_SAMPLES_DIR) + "/face1.jpg");
    h.settings.put("Image 2", std::string(VANTORELL_SAMPLES_DIR) + "/face2.jpg");
    h.settings.put("Text3", "/home/ana/Pictures/Mixed/");
    MainWindow& window = h.open();
    window.resize(window.sizeHint());
    WindowModel& f = *h.form;
    PreviewPane& pane = *window.previewPane();
    const auto shoot = [&](const char* name, const std::function<bool(const PreviewInputs&)>& ready) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(waitFor([&] { return !pane.image().isNull() && ready(pane.shown().inputs); }));
        if (folder)
            settle();
        QApplication::processEvents();
        const QPixmap shot = shotOf(window);
        expectDrawn(shot.toImage(), window);
        if (folder) {
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(folder) + u'/' + QLatin1String(name)));
        }
    };
    f.blendSizeBar.setValue(250);
    shoot("preview-blend.png", [](const PreviewInputs& in) { return in.blendStart == 250; });
    // A 1920 x 1080 canvas, the pictures cropped to it, the seam from the top.
    f.blendCanvas.setSize(1920, 1080);
    f.blendCanvas.setFit(BlendFit::Crop);
    f.click(f.blendTopOption);
    f.blendSizeBar.setValue(300);
    shoot("blend-canvas.png", [](const PreviewInputs& in) {
        return in.blendCanvas == BlendCanvas{1920, 1080, BlendFit::Crop} && in.blendStart == 300;
    });
    if (folder) {
        QWidget* guide = openUserGuide(&window);
        ASSERT_TRUE(waitFor([&] { return guide->windowHandle() && guide->windowHandle()->isExposed(); }));
        settle();
        QApplication::processEvents();
        const QPixmap guideShot = shotOf(*guide);
        expectDrawn(guideShot.toImage(), *guide);
        EXPECT_TRUE(guideShot.save(QString::fromLocal8Bit(folder) + QStringLiteral("/user-guide.png")));
        guide->close();
    }
    f.blendCanvas.setSize(kBlendCanvasWidth, kBlendCanvasHeight);
    f.blendCanvas.setFit(BlendFit::Stretch);
    f.click(f.blendLeftOption);
    f.click(f.overlayOption);
    shoot("preview-overlay.png", [](const PreviewInputs& in) { return in.mixType == MixType::Overlay; });
    f.click(f.fadeOption);
    f.click(f.saveAsGifOption);
    pane.frameSlider()->setValue(4);
    shoot("preview-fade-gif.png", [](const PreviewInputs& in) {
        return in.mixType == MixType::Fade && in.fadeOutput == FadeOutput::Gif && in.frameIndex == 4;
    });

    // The GIF choices with the estimated size of result.gif beside them and in the caption.
    f.gifOptions.setPalette(GifPalette::Global);
    f.gifOptions.setDither(GifDither::Diffusion);
    f.gifOptions.setOptimize(true);
    f.gifOptions.setLossy(40);
    shoot("fade-gif-options.png", [&](const PreviewInputs& in) {
        return in.gif.palette == GifPalette::Global && in.gif.lossy == 40 && pane.shown().resultBytes &&
               !f.gifOptions.estimateText().empty();
    });
    // A target far below the estimate: the longest estimate text, wrapped within its column.
    ASSERT_TRUE(f.gifOptions.setMaxSizeText("10KB"));
    shoot("fade-gif-long-estimate.png", [&](const PreviewInputs&) {
        return f.gifOptions.estimateText().find("over the target") != std::string::npos;
    });
    ASSERT_TRUE(f.gifOptions.setMaxSizeText(""));
    f.gifOptions.setPalette(GifPalette::Halftone);
    f.gifOptions.setDither(GifDither::Ordered);
    f.gifOptions.setOptimize(false);
    f.gifOptions.setLossy(0);

    // A morph (the second face's middle points moved), eased, with hold frames: the preview
    // shows the frame as it will be written and its slider counts every frame (15 here).
    f.click(f.saveAsAviOption);
    f.morph.setEnabled(true);
    const QImage face(QString::fromLocal8Bit(VANTORELL_SAMPLES_DIR) + QStringLiteral("/face1.jpg"));
    f.morph.fitTo(face.width(), face.height());
    ASSERT_TRUE(f.morph.hasMeshes());
    MorphMeshPair pair = f.morph.meshes();
    for (int row = 2; row <= 3; ++row)
        for (int column = 2; column <= 3; ++column)
            pair.mesh2.point(column, row).x += pair.mesh2.point(1, 1).x * 2 / 5;
    ASSERT_TRUE(f.morph.commit(pair));
    f.morph.setTiming({Easing::InOut, Easing::InOut, 2, 3, false});
    pane.frameSlider()->setValue(7);
    shoot("preview-fade-morph.png", [](const PreviewInputs& in) {
        return in.morphTiming.holdStart == 2 && in.morphMeshes && in.frameCount == 15 && in.frameIndex == 7;
    });
    f.morph.setTiming({});
    f.morph.setEnabled(false);

    // The pane while the slider runs through the frames, at half size.
    f.click(f.saveAsAviOption);
    std::vector<QImage> frames;
    for (int i = 0; i < 10; ++i) {
        pane.frameSlider()->setValue(i);
        ASSERT_TRUE(waitFor([&] { return pane.shown().inputs.frameIndex == i &&
                                         pane.shown().inputs.fadeOutput == FadeOutput::Avi; }));
        QApplication::processEvents();
        frames.push_back(pane.grab().toImage().scaledToWidth(pane.width() / 2, Qt::SmoothTransformation));
    }
    ImageFrames source(frames);
    GifOptions options;
    options.palette = GifPalette::Optimal;
    options.dither = GifDither::Diffusion;
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(encodeGifAnimation(source, options, bytes), GifEncodeStatus::Done);
    const std::filesystem::path animation =
        folder ? std::filesystem::path(folder) / "preview-fade.gif" : h.dir.path() / "preview-fade.gif";
    std::ofstream(animation, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     std::streamsize(bytes.size()));
    EXPECT_GT(std::filesystem::file_size(animation), 1000u);
}

}  // namespace
}  // namespace vantorell::test
