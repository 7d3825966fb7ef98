// The mesh editor: dragging points with the mouse, folds refused, the live preview, and the
// "Morph" choice of the Fade options feeding the window's request. With VANTORELL_SCREENSHOT_DIR
// set the editor is saved there as mesh-editor.png (scripts/screenshots.sh).
#include "GuiHarness.h"
#include "gui/MeshEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstdlib>

namespace vantorell::test {
namespace {

void mouse(QWidget* widget, QEvent::Type type, QPointF at)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
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
        editor.frameSlider()->setValue(50);
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

}  // namespace vantorell::test
