// The mesh editor: dragging points with the mouse, folds refused, the live preview, and the
// "Morph" choice of the Fade options feeding the window's request. With VANTORELL_SCREENSHOT_DIR
// set the editor is saved there as mesh-editor.png (scripts/screenshots.sh).
#include "GuiHarness.h"
#include "gui/ControlHabits.h"
#include "gui/MeshEditor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantorell::test {
namespace {

void mouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, widget->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget& editor, const QString& caption)
{
    for (auto* button : editor.findChildren<QPushButton*>())
        if (button->text() == caption)
            button->click();
}

void triggerShortcut(QWidget& widget, const QKeySequence& key)
{
    for (QAction* action : widget.actions())
        if (action->shortcuts().contains(key))
            action->trigger();
}

void drag(MeshCanvas* canvas, MeshPoint from, MeshPoint to)
{
    mouse(canvas, QEvent::MouseButtonPress, canvas->toWidget(from));
    mouse(canvas, QEvent::MouseMove, canvas->toWidget(to));
    mouse(canvas, QEvent::MouseButtonRelease, canvas->toWidget(to));
}

}  // namespace

TEST(MeshEditor, DragsPointsRefusesFoldsAndPreviewsTheMorph)
{
    GuiHarness h;
    MainWindow& window = h.open();
    WindowModel& f = *h.form;
    h.widget<QRadioButton>(f.fadeOption)->click();
    const std::string samples = VANTORELL_SAMPLES_DIR;
    f.image1Box.setText(samples + "/face1.jpg");
    f.image2Box.setText(samples + "/face2.jpg");
    MeshEditor editor(f.morph, f.image1Box.text(), f.image2Box.text(), &window);
    editor.show();
    QApplication::processEvents();
    ASSERT_EQ(f.morph.meshes().mesh1.width, 256);
    ASSERT_EQ(f.morph.meshes().mesh1.columns, 5);
    const MorphMeshPair regular = f.morph.meshes();

    // Point (2, 2) of mesh 2 sits at (51, 51); a short drag moves it.
    drag(editor.canvas(2), {51, 51}, {60, 44});
    EXPECT_EQ(f.morph.meshes().mesh2.points[7], (MeshPoint{60, 44}));
    EXPECT_EQ(f.morph.meshes().mesh1.points[7], (MeshPoint{51, 51}));
    // Past its diagonal neighbour at (102, 102) the mesh would fold: the move is refused.
    drag(editor.canvas(1), {51, 51}, {120, 120});
    EXPECT_EQ(f.morph.meshes().mesh1.points[7], (MeshPoint{51, 51}));
    ASSERT_FALSE(editor.preview()->pixmap().isNull());
    const QImage before = editor.preview()->pixmap().toImage();
    editor.frameSlider()->setValue(90);
    EXPECT_NE(editor.preview()->pixmap().toImage(), before);

    if (const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR")) {
        drag(editor.canvas(1), {102, 102}, {110, 92});
        editor.frameSlider()->setValue(editor.frameSlider()->maximum() / 2);
        // Shown while a fold is being dragged: the folded triangles in red.
        editor.dragTo(1, 14, {215, 60});
        QApplication::processEvents();
        EXPECT_TRUE(editor.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/mesh-editor.png")));
        editor.dragEnd();
    }

    // Undo takes the moves back; the "Morph" choice hands the meshes to the request.
    while (f.morph.canUndo())
        f.morph.undo();
    EXPECT_EQ(f.morph.meshes(), regular);
    EXPECT_FALSE(f.request().morphMeshes);
    auto* morphOption = window.findChild<QCheckBox*>(QStringLiteral("morphOption"));
    ASSERT_NE(morphOption, nullptr);
    // The row follows the Fade options: usable with Fade chosen, greyed with Blend.
    EXPECT_TRUE(morphOption->isEnabledTo(&window));
    h.widget<QRadioButton>(f.blendOption)->click();
    EXPECT_FALSE(morphOption->isEnabledTo(&window));
    h.widget<QRadioButton>(f.fadeOption)->click();
    EXPECT_TRUE(morphOption->isEnabledTo(&window));
    morphOption->setChecked(true);
    EXPECT_TRUE(f.morph.enabled());
    EXPECT_TRUE(f.request().morphMeshes);
    EXPECT_EQ(h.settings.value(kSettingsApplication, kSettingsSection, "Morph"), "True");
    morphOption->setChecked(false);
    EXPECT_FALSE(f.request().morphMeshes);
}

TEST(MeshEditor, ZoomsAndPansBothPicturesHighlightsThePointAndNumbersTheFrames)
{
    GuiHarness h;
    MainWindow& window = h.open();
    WindowModel& f = *h.form;
    const std::string samples = VANTORELL_SAMPLES_DIR;
    MeshEditor editor(f.morph, samples + "/sample1.jpg", samples + "/sample2.jpg", &window, 12);
    editor.show();
    QApplication::processEvents();
    const QSize screen = window.screen()->availableGeometry().size();
    EXPECT_GE(editor.width(), screen.width() * 85 / 100);
    EXPECT_GE(editor.height(), screen.height() * 85 / 100);
    // Opened fitted: the whole picture in view, touching two sides.
    MeshCanvas* canvas = editor.canvas(1);
    const QSize view = editor.canvasArea(1)->maximumViewportSize();
    EXPECT_TRUE(view.expandedTo(canvas->size()) == view && (canvas->width() >= view.width() - 1 ||
                                                            canvas->height() >= view.height() - 1));
    const double fitted = editor.zoom();
    for (QWidget* control : editor.findChildren<QWidget*>())
        EXPECT_TRUE(!isControl(control) || !(control->accessibleName().isEmpty() || control->toolTip().isEmpty()))
            << control->metaObject()->className() << " " << control->accessibleName().toStdString();

    // Each way of zooming: the factor it zooms by.
    const QPointF anchor(canvas->width() * 0.3, canvas->height() * 0.6);
    const struct {
        const char* how;
        std::function<void()> zoom;
        double factor;
    } zooms[] = {
        {"Ctrl+wheel", [&] {
             QWheelEvent event(anchor, canvas->mapToGlobal(anchor), QPoint(), QPoint(0, 240), Qt::NoButton,
                               Qt::ControlModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(canvas, &event);
         }, 1.5625},
        {"+", [&] { triggerShortcut(editor, QKeySequence(Qt::Key_Plus)); }, 1.25},
        {"-", [&] { triggerShortcut(editor, QKeySequence(Qt::Key_Minus)); }, 0.8},
        {"Zoom In", [&] { press(editor, "Zoom In"); }, 1.25},   // and then Fit, below
    };
    QWidget* viewport = editor.canvasArea(1)->viewport();
    const QPointF anchorInView = canvas->mapTo(viewport, anchor);
    const QPointF anchorOnPicture = anchor - canvas->toWidget({0, 0});   // at the fitted zoom
    for (const auto& z : zooms) {
        const double before = editor.zoom();
        z.zoom();
        QApplication::processEvents();
        EXPECT_NEAR(editor.zoom(), before * z.factor, 1e-9) << z.how;
        EXPECT_EQ(editor.canvas(2)->size(), canvas->size()) << z.how;   // both pictures alike
        if (z.how == std::string("Ctrl+wheel")) {
            // About the pointer: its picture point stays, wherever the view can scroll to keep it.
            const QPointF now =
                canvas->mapTo(viewport, anchorOnPicture * (editor.zoom() / fitted) + canvas->toWidget({0, 0}));
            const auto inside = [](const QScrollBar* bar) { return bar->value() > 0 && bar->value() < bar->maximum(); };
            if (inside(editor.canvasArea(1)->horizontalScrollBar())) {
                EXPECT_NEAR(now.x(), anchorInView.x(), 1.5);
            }
            if (inside(editor.canvasArea(1)->verticalScrollBar())) {
                EXPECT_NEAR(now.y(), anchorInView.y(), 1.5);
            }
        }
    }
    if (const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR")) {
        editor.setHovered(std::size_t(f.morph.meshes().mesh1.columns + 2));
        QApplication::processEvents();
        EXPECT_TRUE(editor.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/mesh-editor-zoomed.png")));
    }
    // Panning with the middle button moves both views.
    QScrollBar* across1 = editor.canvasArea(1)->horizontalScrollBar();
    ASSERT_GT(across1->maximum(), 40);
    across1->setValue(across1->maximum() / 2);
    const int was = across1->value();
    const QPointF grab(canvas->mapFrom(editor.canvasArea(1)->viewport(), QPoint(100, 100)));
    mouse(canvas, QEvent::MouseButtonPress, grab, Qt::MiddleButton);
    mouse(canvas, QEvent::MouseMove, grab + QPointF(-30, 0), Qt::MiddleButton);
    mouse(canvas, QEvent::MouseButtonRelease, grab + QPointF(-30, 0), Qt::MiddleButton);
    EXPECT_EQ(across1->value(), was + 30);
    EXPECT_EQ(editor.canvasArea(2)->horizontalScrollBar()->value(), was + 30);
    press(editor, "Fit");
    EXPECT_DOUBLE_EQ(editor.zoom(), fitted);

    // The point under the pointer is highlighted; the slider names its frame.
    const MeshPoint corner = f.morph.meshes().mesh1.points[0];
    mouse(canvas, QEvent::MouseMove, canvas->toWidget(corner) + QPointF(2, 1), Qt::NoButton);
    EXPECT_EQ(editor.hovered, std::optional<std::size_t>(0));
    editor.frameSlider()->setValue(11);
    EXPECT_EQ(editor.frameLabel()->text(), "Frame 12 of 12");

    // A refused fold leaves its message until the next move or Undo.
    const std::size_t inner = std::size_t(f.morph.meshes().mesh1.columns + 2);   // point (1, 1)
    const MeshPoint at = f.morph.meshes().mesh1.points[inner];
    for (const bool undo : {false, true}) {
        editor.dragTo(1, inner, {at.x + 4, at.y + 4});
        editor.dragEnd();
        editor.dragTo(1, inner, f.morph.meshes().mesh1.points[0]);
        editor.dragEnd();
        EXPECT_FALSE(editor.status()->text().isEmpty());
        if (undo)
            press(editor, "Undo");
        else
            editor.dragTo(1, inner, {at.x + 2, at.y + 2});
        EXPECT_TRUE(editor.status()->text().isEmpty()) << (undo ? "Undo" : "a move");
        editor.dragEnd();
    }
}

// Auto Points: a shifted copy is followed in one undoable step; a flat pair is refused with the
// reason; a Cancel drops the answer. The window never waits: the work runs on a worker.
TEST(MeshEditor, AutoPointsPlacesMeshTwoOnAWorker)
{
    GuiHarness h;
    MainWindow& window = h.open();
    WindowModel& f = *h.form;
    const QImage photo(QString::fromStdString(std::string(VANTORELL_SAMPLES_DIR) + "/sample1.jpg"));
    QImage grey(photo.size(), QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    photo.save(QString::fromStdString((h.dir / "photo.png").string()));
    photo.copy(12, 8, photo.width() - 12, photo.height() - 8).save(QString::fromStdString((h.dir / "shifted.png").string()));
    grey.save(QString::fromStdString((h.dir / "grey.png").string()));
    struct Case {
        const char* first;
        const char* second;
        bool cancel;
        const char* status;   // what the status line starts with
        bool placed;
        bool aligned = false;   // the window's Align: picture 2 drawn and placed in the aligned frame
    };
    const Case cases[] = {
        {"photo.png", "shifted.png", false, "Aligned:", true},
        {"grey.png", "grey.png", false, "Image #2 could not be aligned", false},
        {"photo.png", "shifted.png", true, "Auto Points was cancelled.", false},
        {"photo.png", "shifted.png", false, "Aligned:", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        f.morph.setGrid(5, 5);
        MeshEditor editor(f.morph, (h.dir / c.first).string(), (h.dir / c.second).string(), &window);
        const MorphMeshPair before = f.morph.meshes();   // fitted to the picture by the editor
        if (c.aligned) {
            editor.alignedFrame = [] { return true; };
            editor.showSecondAligned();
            EXPECT_TRUE(editor.status()->text().startsWith("Aligned:"));
        }
        editor.show();
        editor.autoPointsButton()->click();
        EXPECT_TRUE(editor.autoPointsRunning());
        EXPECT_EQ(editor.autoPointsButton()->text(), "Cancel");
        if (c.cancel)
            editor.autoPointsButton()->click();
        QElapsedTimer waited;
        waited.start();
        while ((editor.autoPointsRunning() || (c.cancel && waited.elapsed() < 3000)) && waited.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(editor.autoPointsRunning());
        EXPECT_TRUE(editor.status()->text().startsWith(c.status)) << editor.status()->text().toStdString();
        EXPECT_EQ(f.morph.meshes() != before, c.placed);
        if (!c.placed)
            continue;
        // The copy starts 12, 8 pixels into the photo: an inner point p of mesh 1 shows at p - (12, 8),
        // and at p itself once aligned.
        const MeshPoint p = f.morph.meshes().mesh1.point(3, 3), q = f.morph.meshes().mesh2.point(3, 3);
        EXPECT_NEAR(q.x, p.x - (c.aligned ? 0 : 12), 2);
        EXPECT_NEAR(q.y, p.y - (c.aligned ? 0 : 8), 2);
        if (const char* folder = std::getenv("VANTORELL_SCREENSHOT_DIR"); folder && c.aligned) {
            EXPECT_TRUE(editor.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/mesh-editor-auto-points.png")));
        }
        EXPECT_TRUE(f.morph.canUndo());
        f.morph.undo();
        EXPECT_EQ(f.morph.meshes(), before);
    }
}

}  // namespace vantorell::test
