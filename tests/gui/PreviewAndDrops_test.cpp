// The preview pane follows the controls (restored pictures at once, every input change), files
// dropped on the Image boxes, the preview and the output box fill them, and a job on its
// worker shows Cancel in Start's place and, after "Done.", the buttons for its result.
#include "GuiHarness.h"
#include "gui/PreviewPane.h"

#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include <gtest/gtest.h>

namespace vantorell::test {
namespace {

const std::string kFace1 = std::string(VANTORELL_SAMPLES_DIR) + "/face1.jpg";
const std::string kFace2 = std::string(VANTORELL_SAMPLES_DIR) + "/face2.jpg";

void drop(QWidget* target, const QStringList& files)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    data->setUrls(urls);
    // Without a platform drag in progress Qt delivers no drop, so the test hands the events to
    // the widget's drop filter, in the order a drag brings them.
    QObject* filter = target->findChild<QObject*>(QStringLiteral("dropTarget"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(filter, nullptr);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    filter->eventFilter(target, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    filter->eventFilter(target, &event);
    delete data;
}

TEST(PreviewPane, RestoredPicturesArePreviewedAtOnceAndEveryInputRendersAgain)
{
    GuiHarness h;
    h.settings.put("Image 1", kFace1);
    h.settings.put("Image 2", kFace2);
    h.open();
    WindowModel& f = *h.form;
    PreviewPane& pane = *h.window->previewPane();
    ASSERT_TRUE(waitUntil([&] { return !pane.image().isNull(); }));
    EXPECT_EQ(pane.shown().inputs.mixType, MixType::Blend);
    EXPECT_EQ(pane.image().size(), QSize(729, 425));
    EXPECT_FALSE(pane.frameSlider()->isVisible());
    // Each Image box shows its picture small, with the file's size in pixels.
    for (const TextBox* box : {&f.image1Box, &f.image2Box}) {
        auto* info = h.widget<QLineEdit>(*box)->parentWidget()->findChild<QLabel*>(QStringLiteral("pictureInfo"));
        ASSERT_NE(info, nullptr);
        EXPECT_FALSE(info->pixmap().isNull());
        EXPECT_TRUE(info->toolTip().endsWith(" pixels")) << info->toolTip().toStdString();
    }

    f.blendSizeBar.setValue(300);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.blendStart == 300; }));
    f.click(f.blendTopOption);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.blendDirection == BlendDirection::Top; }));

    f.click(f.fadeOption);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.mixType == MixType::Fade; }));
    EXPECT_TRUE(pane.frameSlider()->isVisible());
    EXPECT_EQ(pane.frameSlider()->maximum(), 9);
    EXPECT_TRUE(pane.caption()->text().contains("result.avi")) << pane.caption()->text().toStdString();
    pane.frameSlider()->setValue(7);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.frameIndex == 7; }));
    EXPECT_TRUE(pane.caption()->text().startsWith("Frame 8 of 10"));
    // The morph's hold frames are frames the job writes: the slider and the caption count them.
    f.morph.setTiming({Easing::Linear, Easing::InOut, 2, 3, false});
    f.morph.setEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.frameCount == 15; }));
    EXPECT_EQ(pane.frameSlider()->maximum(), 14);
    EXPECT_TRUE(pane.caption()->text().startsWith("Frame 8 of 15"));
    f.morph.setEnabled(false);
    f.click(f.saveAsGifOption);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.fadeOutput == FadeOutput::Gif; }));

    f.click(f.overlayOption);
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.mixType == MixType::Overlay; }));
    f.image2Box.setText("/nowhere/missing.jpg");
    ASSERT_TRUE(waitUntil([&] { return pane.shown().inputs.image2 == "/nowhere/missing.jpg"; }));
    EXPECT_TRUE(pane.image().isNull());
    EXPECT_EQ(pane.shown().message, "Image #2 (/nowhere/missing.jpg) could not be read: no such file.");
}

TEST(WindowDrops, PicturesFillTheImageBoxesAndAFolderTheOutputBox)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    const QString one = QString::fromStdString(kFace1), two = QString::fromStdString(kFace2);
    const QString folder = QString::fromStdString(h.dir.path().string());

    drop(h.widget<QLineEdit>(f.image2Box), {one});
    EXPECT_EQ(f.image2Box.text(), kFace1);
    drop(h.widget<QLineEdit>(f.image1Box), {two, one});   // two pictures: both boxes, in order
    EXPECT_EQ(f.image1Box.text(), kFace2);
    EXPECT_EQ(f.image2Box.text(), kFace1);
    f.image1Box.setText("");
    drop(h.window->previewPane(), {two});                 // on the preview: the empty box
    EXPECT_EQ(f.image1Box.text(), kFace2);
    drop(h.widget<QLineEdit>(f.outputFolderBox), {folder});
    EXPECT_EQ(f.outputFolderBox.text(), folder.toStdString());
    drop(h.widget<QLineEdit>(f.outputFolderBox), {one});   // a file is no folder: refused
    EXPECT_EQ(f.outputFolderBox.text(), folder.toStdString());
    drop(h.widget<QLineEdit>(f.image1Box), {folder});      // a folder is no picture: refused
    EXPECT_EQ(f.image1Box.text(), kFace2);
}

TEST(JobControls, CancelTakesStartsPlaceAndDoneOffersTheResult)
{
    GuiHarness h;
    h.settings.put("Image 1", kFace1);
    h.settings.put("Image 2", kFace2);
    h.settings.put("Text3", h.dir.path().string());
    h.open();
    WindowModel& f = *h.form;
    QPushButton* start = h.widget<QPushButton>(f.startButton);
    MainWindow& w = *h.window;

    start->click();
    ASSERT_TRUE(waitUntil([&] { return !f.jobRunning(); }));
    EXPECT_EQ(h.ui.texts().back(), "Done.");
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(w.cancelButton()->isVisible());
    EXPECT_TRUE(w.openResultButton()->isVisible());
    EXPECT_TRUE(w.showInFolderButton()->isVisible());

    f.click(f.fadeOption);
    f.frameCountBox.setText("400");
    start->click();
    EXPECT_TRUE(f.jobRunning());
    EXPECT_FALSE(start->isVisible());
    EXPECT_TRUE(w.cancelButton()->isVisible());
    EXPECT_FALSE(w.openResultButton()->isVisible());
    w.cancelButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !f.jobRunning(); }));
    EXPECT_EQ(h.ui.texts().back(), "Cancelled.");
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(w.openResultButton()->isVisible());
}

}  // namespace
}  // namespace vantorell::test

namespace vantorell::test {
namespace {

TEST(Keyboard, BlendSizeTakesFocusAndSingleStepsAndReturnInABoxPressesStart)
{
    GuiHarness h;
    h.open();
    WindowModel& f = *h.form;
    QWidget* seam = h.widget<QWidget>(f.blendSizeBar);
    ASSERT_NE(seam, nullptr);
    EXPECT_NE(seam->focusPolicy() & Qt::TabFocus, 0);
    EXPECT_TRUE(seam->isEnabled());
    static_cast<QScrollBar*>(seam)->triggerAction(QAbstractSlider::SliderSingleStepAdd);   // an arrow key
    EXPECT_EQ(f.blendSizeBar.value(), 1);

    auto* folder = h.widget<QLineEdit>(f.outputFolderBox);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(folder, &enter);
    ASSERT_TRUE(waitUntil([&] { return !f.jobRunning() && !h.ui.boxes.empty(); }));
    EXPECT_EQ(h.ui.texts().back(), "Please choose Image #1.");   // Start ran on the empty boxes
}

}  // namespace
}  // namespace vantorell::test
