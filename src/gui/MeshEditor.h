// The Fade's mesh editor: both pictures side by side, each with its mesh of control points.
// Drag a point to move it (kept inside the picture; with "Mirror moves" the same point of the
// other mesh follows); a move that would fold a triangle shows the folded triangles in red
// while dragging and is undone when the point is let go. The point under the pointer is
// highlighted on both pictures. Both pictures zoom together (Ctrl+wheel, +/-, Fit) and pan
// together (scroll bars, the wheel, a drag with the middle button or with Space held). A frame
// slider ("Frame k of N") shows the morph live. The edits live in the window model's
// MorphModel, which keeps them in the settings.
#pragma once

#include "app/MorphModel.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;

namespace vantorell {

class WindowModel;
class MeshCanvas;

class MeshEditor final : public QDialog {
    Q_OBJECT
public:
    // `frames`: the Fade's frame count, the slider's steps (at least 2).
    MeshEditor(MorphModel& morph, const std::string& image1, const std::string& image2, QWidget* parent = nullptr,
               int frames = 10);
    ~MeshEditor() override;

    MeshCanvas* canvas(int which) const { return which == 2 ? m_canvas2 : m_canvas1; }
    QScrollArea* canvasArea(int which) const { return which == 2 ? m_area2 : m_area1; }
    QSlider* frameSlider() const { return m_slider; }
    QLabel* frameLabel() const { return m_frameLabel; }
    QLabel* preview() const { return m_preview; }
    QLabel* status() const { return m_status; }
    QPushButton* autoPointsButton() const { return m_autoPoints; }

    // Auto Points: mesh 2 placed for mesh 1 on a worker (align/AutoMesh), taken as one undoable
    // edit; pressed again while it works, Cancel (the result is dropped). With `alignedFrame`
    // answering true the job reads picture 2 aligned, so mesh 2 is placed in the aligned frame.
    void startAutoPoints();
    bool autoPointsRunning() const { return m_autoCancel != nullptr; }
    std::function<bool()> alignedFrame;
    // Picture 2 drawn as the job reads it with Align: aligned to picture 1, the message in the
    // status line (or why it cannot be, picture 2 then as it is).
    void showSecondAligned();

    // Canvas pixels per picture pixel, the same for both pictures.
    double zoom() const { return m_zoom; }
    // Zooms keeping the picture point under `anchor` (a canvas position) where it is on screen;
    // without an anchor, the middle of the view stays.
    void setZoom(double zoom, std::optional<QPointF> anchor = std::nullopt, int which = 1);
    void zoomBy(double factor, std::optional<QPointF> anchor = std::nullopt, int which = 1);
    void fitToView();
    // Moves both views by a distance in screen pixels.
    void panBy(QPoint distance);
    bool spaceHeld() const { return m_spaceHeld; }
    // The point under the pointer, shown on both pictures.
    std::optional<std::size_t> hovered;
    void setHovered(std::optional<std::size_t> index);
    // The pair being dragged (shown instead of the model's), folded triangles and all.
    std::optional<MorphMeshPair> dragged;
    void dragTo(int which, std::size_t index, MeshPoint to);
    void dragEnd();
    MorphModel& morph() { return m_morph; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void sync();
    void showFrameNumber();
    void renderPreview();
    void loadFile();
    void saveFile();
    MorphTiming timingFromControls() const;

    MorphModel& m_morph;
    std::function<void()> m_previousOnChanged;   // the observer the model had before the editor
    QImage m_picture1, m_picture2;   // the second laid on the first's frame, white beyond it
    MeshCanvas* m_canvas1 = nullptr;
    MeshCanvas* m_canvas2 = nullptr;
    QScrollArea* m_area1 = nullptr;
    QScrollArea* m_area2 = nullptr;
    QLabel* m_zoomLabel = nullptr;
    QLabel* m_frameLabel = nullptr;
    double m_zoom = 1;
    bool m_fitted = false;
    bool m_spaceHeld = false;
    QSpinBox* m_columns = nullptr;
    QSpinBox* m_rows = nullptr;
    QCheckBox* m_mirror = nullptr;
    QPushButton* m_undo = nullptr;
    QPushButton* m_redo = nullptr;
    QComboBox* m_shapeEasing = nullptr;
    QComboBox* m_colourEasing = nullptr;
    QSpinBox* m_holdStart = nullptr;
    QSpinBox* m_holdEnd = nullptr;
    QCheckBox* m_pingPong = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_autoPoints = nullptr;
    QImage m_second;   // picture 2 as its file holds it, for Auto Points
    std::shared_ptr<std::atomic<bool>> m_autoCancel;   // set while Auto Points works
    std::jthread m_autoWorker;
    bool m_syncing = false;
};

// One picture with its mesh; the editor draws the pair it is given.
class MeshCanvas final : public QWidget {
    Q_OBJECT
public:
    MeshCanvas(MeshEditor& editor, int which, const QImage& picture, QWidget* parent);
    QSize sizeHint() const override;
    QSize pictureSize() const { return m_picture.size(); }
    void setPicture(const QImage& picture);
    void zoomChanged();
    // Widget position of a frame point and back.
    QPointF toWidget(MeshPoint p) const;
    MeshPoint toFrame(QPointF p) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const MorphMesh& mesh() const;
    double scale() const;
    std::optional<std::size_t> pointAt(QPointF position) const;

    MeshEditor& m_editor;
    int m_which;
    QImage m_picture;
    std::optional<std::size_t> m_grabbed;
    std::optional<QPoint> m_panFrom;   // screen position of the last pan step
};

// The Fade options' row: the "Morph" choice and the button that opens the mesh editor,
// enabled while `enabledWith` (the frame count box) is.
QWidget* morphOptionsRow(WindowModel& model, QWidget* parent, QWidget* enabledWith);

}  // namespace vantorell
