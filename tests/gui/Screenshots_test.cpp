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
    h.widget<QWidget>(f.PushButton2)->setFocus();

    const auto shoot = [&](const char* name) {
        ASSERT_TRUE(shotOf(window).save(out + name)) << name;
    };
    h.widget<QRadioButton>(f.Option3)->click();
    f.hStart.setRange(0, 729);
    f.hStart.setValue(300);
    shoot("blend.png");

    h.widget<QRadioButton>(f.Option6)->click();
    h.widget<QRadioButton>(f.Option9)->click();
    f.Text1.setText("/opt/vantorell/share/vantorell/Samples/face1.jpg");
    f.Text2.setText("/opt/vantorell/share/vantorell/Samples/face2.jpg");
    f.ProgressBar1.setMax(10);
    f.ProgressBar1.setValue(4);
    f.ProgressBar1.setText("Frame 4 of 10");
    shoot("fade.png");

    h.widget<QRadioButton>(f.Option7)->click();
    h.widget<QRadioButton>(f.Option22)->click();
    f.Slider1.setValue(92);
    f.Text1.setText("/home/ana/Pictures/harbour-morning.jpg");
    f.Text2.setText("/home/ana/Pictures/harbour-evening.jpg");
    f.ProgressBar1.setValue(0);
    f.ProgressBar1.setText("Progress Bar");
    shoot("overlay.png");

    const auto box = QtUiPort::makeMessageBox(
        ApplicationErrorText("PushButton2_Click", 124, "File not found: /home/ana/Pictures/harbour-morning.jpg"),
        MsgButtons::Ok, MsgIcon::Exclamation, "Application Error", &window);
    box->show();
    ASSERT_TRUE(shotOf(*box).save(out + "application-error.png"));
}

}  // namespace
}  // namespace vantorell::test
