// Screenshots of the window for the documentation. Skipped unless VANTORELL_SCREENSHOT_DIR
// names the folder to write them to; scripts/screenshots.sh runs it under Xvfb with a window
// manager, so that the shots show the title bars.
#include "GuiHarness.h"
#include "gui/QtUiPort.h"
#include "job/ErrorReport.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QPixmap>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantorell::test {
namespace {

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window with its frame as the window manager draws it (the bare widget without one).
QPixmap shotOf(QWidget& widget)
{
    settle();
    const QRect frame = widget.frameGeometry();
    QScreen* screen = widget.screen();
    if (frame != widget.geometry() && screen)
        return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return widget.grab();
}

TEST(Screenshots, BlendFadeOverlayAndAnErrorBox)
{
    const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR");
    if (!folder)
        GTEST_SKIP() << "VANTORELL_SCREENSHOT_DIR is not set";
    const QString out = QString::fromLocal8Bit(folder) + u'/';

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

    const auto shoot = [&](const char* name) {
        ASSERT_TRUE(shotOf(window).save(out + name)) << name;
    };
    h.widget<QRadioButton>(f.blendTopOption)->click();
    f.blendSizeBar.setRange(0, 729);
    f.blendSizeBar.setValue(300);
    shoot("blend.png");

    h.widget<QRadioButton>(f.fadeOption)->click();
    h.widget<QRadioButton>(f.saveAsGifOption)->click();
    f.image1Box.setText("/opt/vantorell/share/vantorell/Samples/face1.jpg");
    f.image2Box.setText("/opt/vantorell/share/vantorell/Samples/face2.jpg");
    f.progressBar().setMax(10);
    f.progressBar().setValue(4);
    f.progressBar().setText("Frame 4 of 10");
    shoot("fade.png");

    h.widget<QRadioButton>(f.overlayOption)->click();
    h.widget<QRadioButton>(f.fixedQualityOption)->click();
    f.qualitySlider.setValue(92);
    f.image1Box.setText("/home/ana/Pictures/harbour-morning.jpg");
    f.image2Box.setText("/home/ana/Pictures/harbour-evening.jpg");
    f.progressBar().setValue(0);
    f.progressBar().setText("Progress Bar");
    shoot("overlay.png");

    const auto box = QtUiPort::makeMessageBox(
        ApplicationErrorText("PushButton2_Click", 124, "File not found: /home/ana/Pictures/harbour-morning.jpg"),
        MsgButtons::Ok, MsgIcon::Exclamation, "Application Error", &window);
    box->show();
    ASSERT_TRUE(shotOf(*box).save(out + "application-error.png"));
}

}  // namespace
}  // namespace vantorell::test
