// The Qt view mirrors the model and forwards the user's actions.
#include "GuiHarness.h"
#include "gui/CompressorDialog.h"
#include "gui/QtUiPort.h"
#include "platform/QtSettingsStore.h"

#include <QCloseEvent>
#include <QEnterEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell::test {
namespace {

TEST(MainWindow, ShowsTheModelsCaptionsAndState)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    EXPECT_EQ(w.windowTitle(), "Vantorell");
    EXPECT_EQ(h.widget<QGroupBox>(f.image1Frame)->title(), "Image #1");
    EXPECT_EQ(h.widget<QGroupBox>(f.outputFolderFrame)->title(), "Save Results To This Folder");
    EXPECT_EQ(h.widget<QGroupBox>(f.qualityFrame)->title(), "Output JPG Quality Option");
    EXPECT_EQ(h.widget<QGroupBox>(f.qualityValueFrame)->title(), "85%");
    EXPECT_FALSE(h.widget<QGroupBox>(f.qualityValueFrame)->isEnabled());
    EXPECT_FALSE(h.widget<QSlider>(f.qualitySlider)->isEnabled());   // inside a disabled frame
    EXPECT_EQ(h.widget<QRadioButton>(f.fixedQualityOption)->text(), "Fixed Quality:");
    EXPECT_TRUE(h.widget<QRadioButton>(f.blendOption)->isChecked());
    EXPECT_EQ(h.widget<QPushButton>(f.startButton)->text(), "Start Blending Two Image");
    EXPECT_EQ(h.widget<QPushButton>(f.loadSamplesButton)->text(), "Load Sample/Example Files");
    EXPECT_EQ(h.widget<QLineEdit>(f.outputFolderBox)->text().toStdString(), (h.dir.path() / "Desktop").string() + "/");
    EXPECT_EQ(h.widget<QProgressBar>(f.progressBar())->text(), "Progress Bar");
    EXPECT_FALSE(h.widget<QLineEdit>(f.frameCountBox)->isEnabled());
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(MainWindow, ClickingFadeEnablesTheFadeControlsAndChangesTheStartCaption)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    h.widget<QRadioButton>(f.fadeOption)->click();
    EXPECT_TRUE(f.fadeOption.value());
    EXPECT_FALSE(h.widget<QRadioButton>(f.blendOption)->isChecked());
    EXPECT_EQ(h.widget<QPushButton>(f.startButton)->text(), "Start Fading Two Image");
    EXPECT_TRUE(h.widget<QLineEdit>(f.frameCountBox)->isEnabled());
    EXPECT_TRUE(h.widget<QLineEdit>(f.framesPerSecondBox)->isEnabled());
    EXPECT_TRUE(h.widget<QRadioButton>(f.saveAsGifOption)->isEnabled());
    EXPECT_EQ(h.settings.stored("Option6"), "True");

    h.widget<QRadioButton>(f.overlayOption)->click();
    EXPECT_EQ(h.widget<QPushButton>(f.startButton)->text(), "Start Overlaying Two Image");
    EXPECT_FALSE(h.widget<QRadioButton>(f.blendLeftOption)->isEnabled());
    EXPECT_FALSE(h.widget<QScrollBar>(f.blendSizeBar)->isEnabled());

    // A click on the selected option keeps it selected.
    h.widget<QRadioButton>(f.overlayOption)->click();
    EXPECT_TRUE(h.widget<QRadioButton>(f.overlayOption)->isChecked());
    EXPECT_TRUE(f.overlayOption.value());
}

TEST(MainWindow, EditsAndSliderReachTheModelAndTheStore)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    QLineEdit* text1 = h.widget<QLineEdit>(f.image1Box);
    text1->setFocus();
    for (const char c : std::string("/p/a.jpg")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(text1, &press);
    }
    EXPECT_EQ(f.image1Box.text(), "/p/a.jpg");
    EXPECT_EQ(h.settings.stored("Image 1"), "/p/a.jpg");

    h.widget<QRadioButton>(f.fixedQualityOption)->click();
    EXPECT_TRUE(h.widget<QSlider>(f.qualitySlider)->isEnabled());
    h.widget<QSlider>(f.qualitySlider)->setValue(1);
    EXPECT_EQ(f.qualitySlider.value(), 1);
    EXPECT_EQ(h.widget<QGroupBox>(f.qualityValueFrame)->title(), "1%");
    EXPECT_EQ(h.settings.stored("Slider1"), "1");

    f.image2Box.setText("/set/by/code.jpg");
    EXPECT_EQ(h.widget<QLineEdit>(f.image2Box)->text(), "/set/by/code.jpg");
    h.widget<QPushButton>(f.loadSamplesButton)->click();
    EXPECT_EQ(h.widget<QLineEdit>(f.image1Box)->text().toStdString(), (h.dir.path() / "bin/Samples/sample1.jpg").string());
}

TEST(MainWindow, ProgressBarTextFollowsTheModel)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    QProgressBar* bar = h.widget<QProgressBar>(f.progressBar());
    f.progressBar().setMax(200);
    f.progressBar().setValue(50);
    f.progressBar().setText("25%");
    EXPECT_EQ(bar->value(), 250);
    EXPECT_EQ(bar->text(), "25%");
    f.progressBar().setValue(0);
    f.progressBar().setText("Progress Bar");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->text(), "Progress Bar");
}

TEST(MainWindow, ButtonsRunTheirHandlers)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    h.widget<QPushButton>(f.helpButton)->click();
    h.widget<QPushButton>(f.qualityHelpButton)->click();
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[0].text.rfind("To prevent images from being cropped:", 0), 0u);
    EXPECT_EQ(h.ui.boxes[1].text.rfind("Smart-Detect will", 0), 0u);
    h.ui.folderAnswers.push_back(std::filesystem::path("/srv/out"));
    h.widget<QPushButton>(f.browseFolderButton)->click();
    EXPECT_EQ(h.widget<QLineEdit>(f.outputFolderBox)->text(), "/srv/out/");
}

TEST(MainWindow, LeavingANumberBoxWithTextChecksItAndTakesTheFocusBack)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    h.widget<QRadioButton>(f.fadeOption)->click();
    QApplication::setActiveWindow(&w);
    w.activateWindow();
    QLineEdit* frames = h.widget<QLineEdit>(f.frameCountBox);
    QLineEdit* fps = h.widget<QLineEdit>(f.framesPerSecondBox);
    frames->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(frames->hasFocus());
    f.frameCountBox.setText("abc");

    fps->setFocus(Qt::TabFocusReason);   // the user tabs out
    QApplication::processEvents();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Must be a numeric entry.");
    EXPECT_TRUE(frames->hasFocus());

    // Focus moved by the program (or another window) is not the user leaving the box.
    fps->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(h.ui.boxes.size(), 1u);

    f.frameCountBox.setText("12");
    frames->setFocus(Qt::MouseFocusReason);
    fps->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(h.ui.boxes.size(), 1u);
}

TEST(MainWindow, PointerOverTheButtonsFollowsTheModel)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    QPushButton* start = h.widget<QPushButton>(f.startButton);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(start, &enter);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Custom);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(start, &leave);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Default);
    QApplication::sendEvent(h.widget<QPushButton>(f.browseImage1Button), &enter);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Custom);
    QApplication::sendEvent(h.widget<QGroupBox>(f.mixTypeFrame), &enter);
    EXPECT_EQ(f.pointer(), WindowModel::Pointer::Default);
}

TEST(MainWindow, ClosingRunsQueryUnloadAndUnload)
{
    GuiHarness h;
    MainWindow& w = h.open();
    const int yields = h.ui.yields;
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(h.form->unloaded());
    EXPECT_EQ(h.ui.yields, yields + 2);
}

TEST(MainWindow, OpensOnDamagedAndUnwritableSettingsFiles)
{
    guiApplication();
    TempDir dir;
    {
        // Not an INI file at all, holding letters for numbers.
        std::filesystem::create_directories(dir.path() / "cfg/Hedracor");
        std::ofstream(dir.path() / "cfg/Hedracor/Hedracor.ini", std::ios::binary)
            << "\x7f" "ELF\x02\x01\n[Vantorell]\nSlider1=abc\nOption5=xyz\n[[\n\0\0";
        QtSettingsStore store(dir.path() / "cfg");
        FakeUi ui;
        WindowEnvironment environment;
        environment.programFolder = dir.path();
        environment.random = [] { return 0.5; };
        WindowModel form(ui, store, environment);
        MainWindow window(form);
        form.load();
        window.show();
        QApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        // The damaged file is set aside unread, and said once.
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_NE(ui.boxes[0].text.find("damaged (not text)"), std::string::npos) << ui.boxes[0].text;
        EXPECT_EQ(form.qualityValueFrame.caption(), "85%");
        EXPECT_EQ(form.startButton.caption(), "Start Blending Two Image");
    }
    {
        std::ofstream(dir.path() / "blocker") << "x";
        QtSettingsStore store(dir.path() / "blocker");
        FakeUi ui;
        WindowEnvironment environment;
        environment.programFolder = dir.path();
        environment.desktopFolder = dir.path();
        environment.random = [] { return 0.5; };
        WindowModel form(ui, store, environment);
        MainWindow window(form);
        form.load();
        window.show();
        QApplication::processEvents();
        EXPECT_TRUE(window.isVisible());
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_NE(ui.boxes[0].text.find("cannot be written"), std::string::npos);
    }
}

TEST(QtUiPort, FiltersAndLineBreaks)
{
    EXPECT_EQ(QtUiPort::qtNameFilters("JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"), "JPG Files (*.jpg *.jpeg)");
    EXPECT_EQ(QtUiPort::qtNameFilters("JPG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|All Files (*.*)|*.*"),
              "JPG Files (*.jpg *.jpeg);;All Files (*.*)");
    EXPECT_EQ(QtUiPort::displayText("a\r\nb\r\rc"), "a\nb\n\nc");

    guiApplication();
    const auto box = QtUiPort::makeMessageBox("Bad\r\nin X at line 5", MsgButtons::Ok, MsgIcon::Exclamation,
                                              "Application Error", nullptr);
    EXPECT_EQ(box->windowTitle(), "Application Error");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->text(), "Bad\nin X at line 5");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
}

TEST(CompressorDialog, OffersTheEncodersAndAnswersTheChoice)
{
    guiApplication();
    std::vector<CompressorOption> offered = {
        {"uncompressed", "Full Frames (Uncompressed)", false, false, false},
        {"mjpeg", "Motion JPEG", true, true, true},
    };
    CompressorDialog dialog(offered);
    auto* list = dialog.findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Motion JPEG");
    EXPECT_EQ(dialog.choice().name, "uncompressed");
    EXPECT_EQ(dialog.choice().quality, -1);
    EXPECT_EQ(dialog.choice().dataRateKbps, 0);
    dialog.selectRow(1);
    const CompressorChoice choice = dialog.choice();
    EXPECT_EQ(choice.name, "mjpeg");
    EXPECT_EQ(choice.keyFrameEvery, 1);
    EXPECT_GE(choice.quality, 0);
    EXPECT_EQ(choice.dataRateKbps, 0);
}

}  // namespace
}  // namespace vantorell::test
