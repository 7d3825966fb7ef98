// The preview pane beside the window's controls: what Start would write for the current
// controls (app/PreviewEngine renders it on a worker), with the Blend's seam start line while
// Blend Size moves, and for a Fade a frame slider and a play/pause button at the chosen frames
// per second.
#pragma once

#include "app/PreviewEngine.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;
class QHBoxLayout;
class QSlider;
class QTimer;

namespace vantorell {

class WindowModel;

class PreviewPane final : public QWidget {
    Q_OBJECT
public:
    PreviewPane(WindowModel& model, QWidget* parent);
    ~PreviewPane() override;

    // The controls may have changed: asks for a new preview when what it shows would change.
    void controlsChanged();
    // Blend Size is being moved: the seam's start line shows for a moment.
    void seamMoved();

    QSlider* frameSlider() const { return m_frameSlider; }
    QPushButton* playButton() const { return m_playButton; }
    QLabel* caption() const { return m_caption; }
    // Puts a button after the caption, in the room the caption leaves (the result's buttons).
    void addBesideCaption(QWidget* widget);
    const QImage& image() const { return m_image; }
    PreviewEngine& engine() { return *m_engine; }
    // The last preview shown (its inputs say what it is of).
    const PreviewResult& shown() const { return m_shown; }
    // A bitmap as an opaque QImage.
    static QImage toImage(const Bitmap& bits);
    // Every preview shown (the window shows the pictures' thumbnails and sizes from it).
    std::function<void(const PreviewResult&)> onShown;

private:
    class Canvas;
    void show(const PreviewResult& result);
    void togglePlay();
    void advanceFrame();
    int framesPerSecond() const;

    WindowModel& m_model;
    std::unique_ptr<PreviewEngine> m_engine;
    Canvas* m_canvas = nullptr;
    QSlider* m_frameSlider = nullptr;
    QPushButton* m_playButton = nullptr;
    QLabel* m_caption = nullptr;
    QHBoxLayout* m_captionRow = nullptr;
    QTimer* m_playTimer = nullptr;
    QImage m_image;
    PreviewResult m_shown;
    QElapsedTimer m_seamMoved;
};

}  // namespace vantorell
