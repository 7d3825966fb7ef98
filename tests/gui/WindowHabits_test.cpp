// What the window is like to use beyond its model: Open Result opens the real file (or a box
// says it could not), long texts leave the layout as it is, the wheel changes only the focused
// control, every control is named and explained, Tab follows the layout, and the added
// controls are usable only where they apply.
#include "GuiHarness.h"
#include "gui/ControlHabits.h"
#include "gui/ElidedLabel.h"
#include "gui/PreviewPane.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>

namespace vantorell::test {

// Takes the URLs the desktop would be asked to open.
class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

namespace {

TEST(JobControls, OpenResultAndShowInFolderUseTheRealPathOrSayWhichFileFailed)
{
    GuiHarness h;
    h.settings.put("Image 1", std::string(VANTORELL_SAMPLES_DIR) + "/face1.jpg");
    h.settings.put("Image 2", std::string(VANTORELL_SAMPLES_DIR) + "/face2.jpg");
    h.settings.put("Text3", "/" + h.dir.path().string());   // typed with a doubled separator
    MainWindow& w = h.open();
    h.widget<QPushButton>(h.form->startButton)->click();
    ASSERT_TRUE(waitUntil([&] { return !h.form->jobRunning(); }));
    const std::string result = (h.dir.path() / "result.jpg").string();
    ASSERT_EQ(h.form->lastOutcome().writtenFile, result);

    const struct {
        QPushButton* button;
        bool handled;
        std::string opened;   // the local file the URL names, or the file the box names
    } cases[] = {
        {w.openResultButton(), true, result},
        {w.showInFolderButton(), true, h.dir.path().string()},
        {w.openResultButton(), false, result},   // offscreen: no desktop program opens it
        {w.showInFolderButton(), false, result},
    };
    for (const auto& c : cases) {
        UrlCatcher catcher;
        if (c.handled)
            QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        c.button->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        auto* box = w.findChild<QMessageBox*>(QStringLiteral("notOpenedBox"));
        ASSERT_EQ(catcher.urls.size(), c.handled ? 1 : 0);
        ASSERT_EQ(box != nullptr, !c.handled);
        // The real path, of a file that exists; or a box that names it.
        const QString named = c.handled ? catcher.urls[0].toLocalFile() : box->text();
        const QString opened = QString::fromStdString(c.opened);
        EXPECT_TRUE(std::filesystem::exists(c.opened) && (c.handled ? named == opened : named.contains(opened)))
            << named.toStdString();
        delete box;
    }
}

// The sizes that make up the window's layout: the window, its left column, the preview, the GIF box.
QList<QSize> layoutSizes(MainWindow& w)
{
    QApplication::processEvents();
    QWidget* central = qobject_cast<QScrollArea*>(w.centralWidget())->widget();
    central->layout()->activate();
    return {w.sizeHint(), central->layout()->itemAt(0)->geometry().size(), w.previewPane()->size(),
            w.findChild<QWidget*>(QStringLiteral("gifOptionsGroup"))->size()};
}

TEST(WindowLayout, TheLongestTextsChangeNoSizeAndAreWholeInTheirTooltips)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    h.widget<QRadioButton>(f.fadeOption)->click();
    h.widget<QRadioButton>(f.saveAsGifOption)->click();
    const QList<QSize> before = layoutSizes(w);
    const std::string longPath = "/home/someone/" + std::string(40, 'x') + "/holiday pictures/2025/" +
                                 std::string(60, 'y') + ".jpg";
    auto* estimate = w.findChild<ElidedLabel*>(QStringLiteral("gifEstimateLabel"));
    ASSERT_NE(estimate, nullptr);
    const std::function<void()> longTexts[] = {
        [&] {
            f.gifOptions.setMaxSizeText("1KB");
            f.gifOptions.setEstimate(7'740'000);
            EXPECT_EQ(estimate->text(), "about 7.74 MB, over the target: smaller choices are tried");
            EXPECT_TRUE(!estimate->cut() || estimate->fullToolTip().contains(estimate->text()));
        },
        [&] { f.image1Box.setText(longPath); },
        [&] { f.outputFolderBox.setText(longPath); },
        [&] { f.progressBar().setText("No result was written: " + longPath + " could not be written."); },
        [&] { w.previewPane()->caption()->setText(QString::fromStdString("Frame 1 of 10, " + longPath)); },
    };
    for (const auto& apply : longTexts) {
        apply();
        EXPECT_EQ(layoutSizes(w), before);
    }
    EXPECT_TRUE(h.widget<QWidget>(f.image1Box)->toolTip().contains(QString::fromStdString(longPath)));
    EXPECT_TRUE(h.widget<QWidget>(f.progressBar())->toolTip().contains(QString::fromStdString(longPath)));
}

void wheel(QWidget* widget, int delta)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &event);
}

TEST(WindowControls, TheWheelChangesOnlyTheFocusedControlAndScrollsThePanelOtherwise)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    h.widget<QRadioButton>(f.fadeOption)->click();
    h.widget<QRadioButton>(f.saveAsGifOption)->click();
    h.widget<QRadioButton>(f.fixedQualityOption)->click();
    w.resize(420, 320);   // the panel scrolls
    QApplication::processEvents();
    QScrollBar* panel = qobject_cast<QScrollArea*>(w.centralWidget())->verticalScrollBar();
    ASSERT_GT(panel->maximum(), 0);

    const struct {
        QWidget* widget;
        std::function<int()> value;
        int wheelDelta;   // away from where the control starts
    } controls[] = {
        {w.findChild<QComboBox*>("gifPaletteCombo"), [&] { return int(f.gifOptions.palette()); }, -120},
        {w.findChild<QSpinBox*>("gifLossySpin"), [&] { return f.gifOptions.lossy(); }, 120},
        {h.widget<QWidget>(f.qualitySlider), [&] { return f.qualitySlider.value(); }, -120},
        {h.widget<QWidget>(f.blendSizeBar), [&] { return f.blendSizeBar.value(); }, -120},
    };
    for (const auto& c : controls) {
        ASSERT_NE(c.widget, nullptr);
        EXPECT_EQ(c.widget->focusPolicy(), Qt::StrongFocus);
        const int value = c.value();
        panel->setValue(panel->maximum() / 2);
        c.widget->clearFocus();
        wheel(c.widget, c.wheelDelta);
        EXPECT_EQ(c.value(), value) << c.widget->accessibleName().toStdString();
        EXPECT_NE(panel->value(), panel->maximum() / 2) << c.widget->accessibleName().toStdString();
        c.widget->setFocus();
        wheel(c.widget, c.wheelDelta);
        EXPECT_NE(c.value(), value) << c.widget->accessibleName().toStdString();
    }
}

TEST(WindowControls, EveryControlIsNamedAndExplainedAndTabFollowsTheLayout)
{
    GuiHarness h;
    MainWindow& w = h.open();
    h.widget<QRadioButton>(h.form->fadeOption)->click();
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        if (!isControl(widget))
            continue;
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
        EXPECT_FALSE(widget->toolTip().isEmpty()) << widget->accessibleName().toStdString();
    }

    // From each control Tab goes down, right within a row, or up into the next column (the
    // result's buttons shown, as after "Done.").
    w.openResultButton()->show();
    w.showInFolderButton()->show();
    QList<QWidget*> chain;
    QWidget* first = h.widget<QWidget>(h.form->image1Box);
    for (QWidget* at = first; at && (chain.isEmpty() || at != first); at = at->nextInFocusChain())
        if (isControl(at) && at->isVisibleTo(&w) && (at->focusPolicy() & Qt::TabFocus))
            chain << at;
    ASSERT_GT(chain.size(), 20);
    for (qsizetype i = 1; i < chain.size(); ++i) {
        const QRect a(chain[i - 1]->mapTo(&w, QPoint()), chain[i - 1]->size());
        const QRect b(chain[i]->mapTo(&w, QPoint()), chain[i]->size());
        const bool below = b.top() >= a.top() + a.height() / 2;
        const bool rightInRow = b.left() >= a.right() && b.top() < a.bottom() && b.bottom() > a.top();
        const bool nextColumn = b.left() >= a.right();
        EXPECT_TRUE(below || rightInRow || nextColumn)
            << chain[i - 1]->accessibleName().toStdString() << " -> " << chain[i]->accessibleName().toStdString()
            << " (" << a.x() << "," << a.y() << " " << a.width() << "x" << a.height() << " / " << b.x() << ","
            << b.y() << " " << b.width() << "x" << b.height() << ")";
    }
}

TEST(AddedControls, UsableOnlyWhereTheyApply)
{
    GuiHarness h;
    MainWindow& w = h.open();
    WindowModel& f = *h.form;
    auto* editMeshes = w.findChild<QWidget*>("editMeshesButton");
    auto* morph = w.findChild<QCheckBox*>("morphOption");
    auto* videoQuality = w.findChild<QWidget*>("videoQualitySpin");
    auto* video = w.findChild<QRadioButton*>("saveAsVideoOption");
    ASSERT_TRUE(editMeshes && morph && videoQuality && video);
    const bool videos = !f.videoOutput.formats().empty();   // a build without encoders offers none

    const struct {
        std::function<void()> step;
        bool meshes, videoSettings;
    } steps[] = {
        {[] {}, false, false},   // Blend
        {[&] { h.widget<QRadioButton>(f.fadeOption)->click(); }, false, false},
        {[&] { morph->click(); }, true, false},
        {[&] { video->click(); }, true, videos},
        {[&] { h.widget<QRadioButton>(f.blendOption)->click(); }, false, false},
        {[&] { h.widget<QRadioButton>(f.fadeOption)->click(); }, true, videos},
        {[&] { h.widget<QRadioButton>(f.saveAsGifOption)->click(); }, true, false},
        {[&] { morph->click(); }, false, false},
    };
    for (const auto& s : steps) {
        s.step();
        EXPECT_EQ(editMeshes->isEnabledTo(&w), s.meshes) << "step " << &s - steps;
        EXPECT_EQ(videoQuality->isEnabledTo(&w), s.videoSettings) << "step " << &s - steps;
    }
}

}  // namespace
}  // namespace vantorell::test

#include "WindowHabits_test.moc"
