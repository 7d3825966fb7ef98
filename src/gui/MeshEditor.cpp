#include "gui/MeshEditor.h"

#include "gui/ControlHabits.h"
#include "gui/ElidedLabel.h"
#include "gui/EnabledWith.h"

#include "app/PreviewEngine.h"
#include "align/AutoMesh.h"
#include "app/WindowModel.h"
#include "job/PreviewRender.h"
#include "mix/MorphEngine.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace vantorell {

namespace {

constexpr int kPreviewWidth = 320, kPreviewHeight = 240;
constexpr double kGrabRadius = 9;
constexpr double kMinZoom = 0.05, kMaxZoom = 16;
constexpr int kMargin = 8;   // around the picture, so the points on its edges show whole

// The picture of a file as a QImage, or nothing when it cannot be read.
QImage imageOf(const Bitmap& bits)
{
    QImage image(bits.width(), bits.height(), QImage::Format_RGB32);
    for (int y = 0; y < bits.height(); ++y)
        std::memcpy(image.scanLine(y), bits.row(y), std::size_t(bits.width()) * 4);
    return image;
}

QImage loadImage(const std::string& file)
{
    if (file.empty())
        return {};
    try {
        const Picture picture = loadPicture(file);
        if (picture.empty())
            return {};
        return imageOf(picture.bitmap());
    } catch (...) {
        return {};
    }
}

Bitmap bitmapOf(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    Bitmap bits(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(bits.mutableRow(y), image.constScanLine(y), std::size_t(image.width()) * 4);
        for (int x = 0; x < image.width(); ++x)
            bits.mutableRow(y)[4 * x + 3] = 0;
    }
    return bits;
}

const std::pair<const char*, Easing> kEasings[] = {
    {"Linear", Easing::Linear}, {"Ease in", Easing::In}, {"Ease out", Easing::Out}, {"Ease in-out", Easing::InOut}};

QComboBox* easingBox(QWidget* parent)
{
    auto* box = new QComboBox(parent);
    for (const auto& [text, easing] : kEasings)
        box->addItem(QObject::tr(text), int(easing));
    return box;
}

}  // namespace

// ---- Canvas ---------------------------------------------------------------------------------

MeshCanvas::MeshCanvas(MeshEditor& editor, int which, const QImage& picture, QWidget* parent)
    : QWidget(parent), m_editor(editor), m_which(which), m_picture(picture)
{
    setMouseTracking(true);   // the point under the pointer is highlighted
    setCursor(Qt::CrossCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(which == 2 ? tr("Second picture's mesh") : tr("First picture's mesh"));
    setToolTip(tr("Drag a point to move it; Ctrl+wheel zooms; drag with the middle button or with Space "
                  "held to pan"));
    zoomChanged();
}

double MeshCanvas::scale() const { return m_editor.zoom(); }

QSize MeshCanvas::sizeHint() const
{
    return {std::max(1, int(std::lround(m_picture.width() * scale()))) + 2 * kMargin,
            std::max(1, int(std::lround(m_picture.height() * scale()))) + 2 * kMargin};
}

void MeshCanvas::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void MeshCanvas::zoomChanged()
{
    setFixedSize(sizeHint());
    update();
}

QPointF MeshCanvas::toWidget(MeshPoint p) const { return {p.x * scale() + kMargin, p.y * scale() + kMargin}; }

MeshPoint MeshCanvas::toFrame(QPointF p) const
{
    return {std::int32_t(std::lround((p.x() - kMargin) / scale())),
            std::int32_t(std::lround((p.y() - kMargin) / scale()))};
}

const MorphMesh& MeshCanvas::mesh() const
{
    const MorphMeshPair& pair = m_editor.dragged ? *m_editor.dragged : m_editor.morph().meshes();
    return m_which == 2 ? pair.mesh2 : pair.mesh1;
}

std::optional<std::size_t> MeshCanvas::pointAt(QPointF position) const
{
    const MorphMesh& m = mesh();
    double best = kGrabRadius * kGrabRadius;
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        const QPointF d = toWidget(m.points[i]) - position;
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance <= best) {
            best = distance;
            found = i;
        }
    }
    return found;
}

void MeshCanvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale() < 1);
    // Only the part in view is drawn: a zoomed canvas is many times the screen.
    const QRectF picture(kMargin, kMargin, width() - 2 * kMargin, height() - 2 * kMargin);
    const QRectF shown = QRectF(event->rect()).intersected(picture);
    const QRectF source((shown.x() - kMargin) / scale(), (shown.y() - kMargin) / scale(), shown.width() / scale(),
                        shown.height() / scale());
    painter.drawImage(shown, m_picture, source);
    painter.setRenderHint(QPainter::Antialiasing);
    const MorphMesh& m = mesh();
    if (m.points.empty())
        return;
    const TriangleList triangles = meshToTriangles(m);
    // Folded triangles in red: they are not rendered, and the move is undone on release.
    for (int k : foldedTriangles(m)) {
        const MeshTriangle& t = triangles[std::size_t(k) - 1];
        QPainterPath path(toWidget(t.p[0]));
        path.lineTo(toWidget(t.p[1]));
        path.lineTo(toWidget(t.p[2]));
        path.closeSubpath();
        painter.fillPath(path, QColor(230, 30, 30, 150));
    }
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1));
    for (const MeshTriangle& t : triangles)
        painter.drawPolygon(QPolygonF({toWidget(t.p[0]), toWidget(t.p[1]), toWidget(t.p[2])}));
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        const bool hovered = m_editor.hovered == i;
        painter.setPen(QPen(hovered ? Qt::white : Qt::black, hovered ? 2 : 1));
        painter.setBrush(m_grabbed == i ? QColor(255, 220, 0) : hovered ? QColor(0, 200, 255) : QColor(255, 40, 40));
        const double radius = hovered ? 6 : 4;
        painter.drawEllipse(toWidget(m.points[i]), radius, radius);
    }
}

void MeshCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_editor.spaceHeld())) {
        m_panFrom = event->globalPosition().toPoint();
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_grabbed = pointAt(event->position());
    update();
}

void MeshCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_panFrom) {
        const QPoint now = event->globalPosition().toPoint();
        m_editor.panBy(*m_panFrom - now);
        m_panFrom = now;
        return;
    }
    if (m_grabbed)
        m_editor.dragTo(m_which, *m_grabbed, toFrame(event->position()));
    else
        m_editor.setHovered(pointAt(event->position()));
}

void MeshCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panFrom) {
        m_panFrom.reset();
        setCursor(Qt::CrossCursor);
        return;
    }
    if (!m_grabbed)
        return;
    m_editor.dragTo(m_which, *m_grabbed, toFrame(event->position()));
    m_grabbed.reset();
    m_editor.dragEnd();
}

void MeshCanvas::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();   // the view scrolls
        return;
    }
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        m_editor.zoomBy(std::pow(1.25, steps), event->position(), m_which);
    event->accept();
}

void MeshCanvas::leaveEvent(QEvent*) { m_editor.setHovered(std::nullopt); }

// ---- Editor ---------------------------------------------------------------------------------

MeshEditor::MeshEditor(MorphModel& morph, const std::string& image1, const std::string& image2, QWidget* parent,
                       int frames)
    : QDialog(parent), m_morph(morph)
{
    setWindowTitle(tr("Morph Meshes"));
    m_picture1 = loadImage(image1);
    if (m_picture1.isNull()) {
        m_picture1 = QImage(320, 240, QImage::Format_RGB32);
        m_picture1.fill(QColor(200, 200, 200));
    }
    // The engine reads the second picture at the frame's positions, white where it ends.
    m_picture2 = QImage(m_picture1.size(), QImage::Format_RGB32);
    m_picture2.fill(Qt::white);
    const QImage second = loadImage(image2);
    m_second = second;
    if (!second.isNull()) {
        QPainter painter(&m_picture2);
        painter.drawImage(0, 0, second);
    } else {
        m_picture2.fill(QColor(200, 200, 200));
    }
    m_morph.fitTo(m_picture1.width(), m_picture1.height());

    auto* page = new QVBoxLayout(this);
    auto* canvases = new QHBoxLayout;
    const auto canvasArea = [this, canvases](int which, const QImage& picture) {
        auto* area = new QScrollArea(this);
        area->setAlignment(Qt::AlignCenter);
        area->setBackgroundRole(QPalette::Dark);
        auto* canvas = new MeshCanvas(*this, which, picture, area);
        area->setWidget(canvas);
        canvases->addWidget(area, 1);
        return std::pair(area, canvas);
    };
    std::tie(m_area1, m_canvas1) = canvasArea(1, m_picture1);
    std::tie(m_area2, m_canvas2) = canvasArea(2, m_picture2);
    // The two views show the same part of their pictures.
    for (auto [from, to] : {std::pair(m_area1, m_area2), std::pair(m_area2, m_area1)}) {
        connect(from->horizontalScrollBar(), &QScrollBar::valueChanged, to->horizontalScrollBar(), &QScrollBar::setValue);
        connect(from->verticalScrollBar(), &QScrollBar::valueChanged, to->verticalScrollBar(), &QScrollBar::setValue);
    }
    page->addLayout(canvases, 1);

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(tr("Grid:"), this));
    m_columns = new QSpinBox(this);
    m_rows = new QSpinBox(this);
    for (QSpinBox* box : {m_columns, m_rows})
        box->setRange(kMinMeshCells, kMaxMeshCells);
    m_columns->setAccessibleName(tr("Grid columns"));
    m_rows->setAccessibleName(tr("Grid rows"));
    m_columns->setToolTip(tr("Cells across, 2 to 16 (a new grid resets both meshes)"));
    m_rows->setToolTip(tr("Cells down, 2 to 16 (a new grid resets both meshes)"));
    tools->addWidget(m_columns);
    tools->addWidget(new QLabel(QStringLiteral("x"), this));
    tools->addWidget(m_rows);
    m_mirror = new QCheckBox(tr("Mirror moves"), this);
    tools->addWidget(m_mirror);
    m_undo = new QPushButton(tr("Undo"), this);
    m_redo = new QPushButton(tr("Redo"), this);
    auto* reset = new QPushButton(tr("Reset"), this);
    auto* load = new QPushButton(tr("Load..."), this);
    auto* save = new QPushButton(tr("Save..."), this);
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo->setShortcut(QKeySequence::Redo);
    m_autoPoints = new QPushButton(tr("Auto Points"), this);
    m_autoPoints->setToolTip(tr("Place mesh 2 by itself: the second picture aligned and followed point by point"));
    for (QPushButton* button : {m_undo, m_redo, reset, m_autoPoints, load, save})
        tools->addWidget(button);
    tools->addStretch(1);
    auto* zoomOut = new QPushButton(tr("Zoom Out"), this);
    auto* zoomIn = new QPushButton(tr("Zoom In"), this);
    auto* fit = new QPushButton(tr("Fit"), this);
    zoomOut->setToolTip(tr("Zoom out (-)"));
    zoomIn->setToolTip(tr("Zoom in (+, Ctrl+wheel)"));
    fit->setToolTip(tr("Show the whole pictures (0)"));
    m_zoomLabel = new QLabel(this);
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000%")));
    m_zoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QWidget* widget : {static_cast<QWidget*>(m_zoomLabel), static_cast<QWidget*>(zoomOut),
                            static_cast<QWidget*>(zoomIn), static_cast<QWidget*>(fit)})
        tools->addWidget(widget);
    page->addLayout(tools);
    const auto shortcut = [this](std::initializer_list<QKeySequence> keys, auto action) {
        auto* act = new QAction(this);
        act->setShortcuts(QList<QKeySequence>(keys));
        addAction(act);
        connect(act, &QAction::triggered, this, action);
    };
    shortcut({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn}, [this] { zoomBy(1.25); });
    shortcut({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut}, [this] { zoomBy(0.8); });
    shortcut({QKeySequence(Qt::Key_0)}, [this] { fitToView(); });
    connect(zoomIn, &QPushButton::clicked, this, [this] { zoomBy(1.25); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { zoomBy(0.8); });
    connect(fit, &QPushButton::clicked, this, &MeshEditor::fitToView);

    auto* lower = new QHBoxLayout;
    auto* timing = new QFormLayout;
    m_shapeEasing = easingBox(this);
    m_colourEasing = easingBox(this);
    m_holdStart = new QSpinBox(this);
    m_holdEnd = new QSpinBox(this);
    for (QSpinBox* box : {m_holdStart, m_holdEnd})
        box->setRange(0, 1000);
    m_pingPong = new QCheckBox(tr("There and back (loop)"), this);
    timing->addRow(tr("Shape easing:"), m_shapeEasing);
    timing->addRow(tr("Colour easing:"), m_colourEasing);
    timing->addRow(tr("Hold first frames:"), m_holdStart);
    timing->addRow(tr("Hold last frames:"), m_holdEnd);
    timing->addRow(QString(), m_pingPong);
    lower->addLayout(timing);
    auto* previewColumn = new QVBoxLayout;
    m_preview = new QLabel(this);
    m_preview->setMinimumSize(kPreviewWidth, kPreviewHeight);
    m_preview->setAlignment(Qt::AlignCenter);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, std::max(2, frames) - 1);
    m_slider->setValue(m_slider->maximum() / 2);
    m_slider->setToolTip(tr("The frame of the Fade shown"));
    m_frameLabel = new QLabel(this);
    m_frameLabel->setMinimumWidth(m_frameLabel->fontMetrics().horizontalAdvance(QStringLiteral("Frame 0000 of 0000")));
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(m_slider, 1);
    sliderRow->addWidget(m_frameLabel);
    previewColumn->addWidget(m_preview);
    previewColumn->addLayout(sliderRow);
    lower->addLayout(previewColumn, 1);
    page->addLayout(lower);

    m_status = new ElidedLabel(QStringLiteral("The move was undone: it would have folded the mesh."), 1, this);
    page->addWidget(m_status);
    auto* close = new QPushButton(tr("Close"), this);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(close);
    page->addLayout(closeRow);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    // A fold's message is about the last move: the next edit of any kind takes it away.
    connect(m_undo, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_morph.undo();
    });
    connect(m_redo, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_morph.redo();
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_morph.reset();
    });
    connect(m_autoPoints, &QPushButton::clicked, this, &MeshEditor::startAutoPoints);
    connect(load, &QPushButton::clicked, this, &MeshEditor::loadFile);
    connect(save, &QPushButton::clicked, this, &MeshEditor::saveFile);
    connect(m_mirror, &QCheckBox::toggled, this, [this](bool on) { m_morph.mirror = on; });
    const auto gridChanged = [this] {
        if (!m_syncing)
            m_morph.setGrid(m_columns->value(), m_rows->value());
    };
    connect(m_columns, &QSpinBox::valueChanged, this, gridChanged);
    connect(m_rows, &QSpinBox::valueChanged, this, gridChanged);
    const auto timingChanged = [this] {
        if (!m_syncing)
            m_morph.setTiming(timingFromControls());
    };
    connect(m_shapeEasing, &QComboBox::currentIndexChanged, this, timingChanged);
    connect(m_colourEasing, &QComboBox::currentIndexChanged, this, timingChanged);
    connect(m_holdStart, &QSpinBox::valueChanged, this, timingChanged);
    connect(m_holdEnd, &QSpinBox::valueChanged, this, timingChanged);
    connect(m_pingPong, &QCheckBox::toggled, this, timingChanged);
    connect(m_slider, &QSlider::valueChanged, this, [this] {
        showFrameNumber();
        renderPreview();
    });
    showFrameNumber();

    // The window's observer (its preview) keeps hearing of every edit while the editor is open.
    m_previousOnChanged = m_morph.onChanged;
    m_morph.onChanged = [this] {
        sync();
        if (m_previousOnChanged) m_previousOnChanged();
    };
    m_mirror->setChecked(m_morph.mirror);
    sync();
    settleControls(this);
    // Space held over a picture pans with the left button (and presses no focused button).
    qApp->installEventFilter(this);
    // Room for the pictures: most of the screen.
    if (const QScreen* shown = parent ? parent->screen() : screen())
        resize(shown->availableGeometry().size() * 0.9);
}

MeshEditor::~MeshEditor()
{
    if (m_autoCancel)
        *m_autoCancel = true;
    if (m_autoWorker.joinable())
        m_autoWorker.join();   // before the editor goes: the worker's result is posted to it
    m_morph.onChanged = std::move(m_previousOnChanged);
}

void MeshEditor::startAutoPoints()
{
    if (m_autoCancel) {   // Cancel: the worker's answer will be dropped
        *m_autoCancel = true;
        m_autoCancel.reset();
        m_autoPoints->setText(tr("Auto Points"));
        m_status->setText(tr("Auto Points was cancelled."));
        return;
    }
    if (m_second.isNull() || !m_morph.hasMeshes()) {
        m_status->setText(tr("Auto Points needs both pictures."));
        return;
    }
    if (m_autoWorker.joinable())
        m_autoWorker.join();   // a cancelled run still finishing
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_autoCancel = cancel;
    m_autoPoints->setText(tr("Cancel"));
    m_status->setText(tr("Placing the points of mesh 2..."));
    const bool inFrame = alignedFrame && alignedFrame();
    m_autoWorker = std::jthread([this, cancel, inFrame, first = Picture(bitmapOf(m_picture1)),
                                 second = Picture(bitmapOf(m_second)), mesh1 = m_morph.meshes().mesh1] {
        AutoMeshResult placed = autoMeshPair(first, second, mesh1, [cancel] { return cancel->load(); });
        QMetaObject::invokeMethod(this, [this, cancel, inFrame, placed = std::move(placed)] {
            if (*cancel || cancel != m_autoCancel)
                return;
            m_autoCancel.reset();
            m_autoPoints->setText(tr("Auto Points"));
            if (!placed.pair) {
                m_status->setText(QString::fromStdString(placed.messages.empty() ? kAutoMeshFailure : placed.messages.front()));
                return;
            }
            MorphMeshPair pair = m_morph.meshes();
            pair.mesh2.points = inFrame ? placed.inFrame.points : placed.pair->mesh2.points;
            if (m_morph.commit(pair))
                m_status->setText(QString::fromStdString(placed.messages.front() + ". " + placed.messages.back() + "."));
            else
                m_status->setText(QString::fromStdString(kAutoMeshFailure));
        }, Qt::QueuedConnection);
    });
}

void MeshEditor::showSecondAligned()
{
    if (m_second.isNull())
        return;
    const AlignedSecond aligned = alignSecondPicture(Picture(bitmapOf(m_picture1)), Picture(bitmapOf(m_second)));
    m_status->setText(QString::fromStdString(aligned.message));
    if (aligned.picture.empty())
        return;
    m_picture2 = imageOf(aligned.picture.bitmap());
    m_canvas2->setPicture(m_picture2);
    renderPreview();
}

void MeshEditor::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_fitted) {
        m_fitted = true;
        layout()->activate();
        fitToView();
    }
}

bool MeshEditor::eventFilter(QObject*, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || !isActiveWindow())
        return false;
    if (event->type() == QEvent::KeyRelease) {
        if (!key->isAutoRepeat())
            m_spaceHeld = false;
        return false;
    }
    if (!m_canvas1->underMouse() && !m_canvas2->underMouse() && !m_spaceHeld)
        return false;
    m_spaceHeld = true;
    return true;
}

void MeshEditor::setZoom(double zoom, std::optional<QPointF> anchor, int which)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    QScrollArea* area = canvasArea(which);
    // The anchor's picture point and where it sits in the view, kept across the zoom.
    const QPointF inView = anchor ? canvas(which)->mapTo(area->viewport(), *anchor)
                                  : QPointF(area->viewport()->rect().center());
    const QPointF onPicture = (canvas(which)->mapFrom(area->viewport(), inView) - QPointF(kMargin, kMargin)) / m_zoom;
    m_zoom = zoom;
    m_canvas1->zoomChanged();
    m_canvas2->zoomChanged();
    m_zoomLabel->setText(QStringLiteral("%1%").arg(std::lround(m_zoom * 100)));
    const QPoint target = (onPicture * m_zoom + QPointF(kMargin, kMargin) - inView).toPoint();
    const auto scroll = [area = QPointer<QScrollArea>(area), target] {
        if (!area)
            return;
        area->horizontalScrollBar()->setValue(target.x());
        area->verticalScrollBar()->setValue(target.y());
    };
    scroll();
    // Once more when a scroll bar that the zoom brought has taken its room from the view.
    QTimer::singleShot(0, area, scroll);
}

void MeshEditor::zoomBy(double factor, std::optional<QPointF> anchor, int which)
{
    setZoom(m_zoom * factor, anchor, which);
}

void MeshEditor::fitToView()
{
    const QSize room = m_area1->maximumViewportSize() - QSize(2 * kMargin, 2 * kMargin);
    const QSize picture = m_canvas1->pictureSize();
    if (picture.isEmpty() || room.isEmpty())
        return;
    setZoom(std::min(double(room.width()) / picture.width(), double(room.height()) / picture.height()));
}

void MeshEditor::panBy(QPoint distance)
{
    m_area1->horizontalScrollBar()->setValue(m_area1->horizontalScrollBar()->value() + distance.x());
    m_area1->verticalScrollBar()->setValue(m_area1->verticalScrollBar()->value() + distance.y());
}

void MeshEditor::setHovered(std::optional<std::size_t> index)
{
    if (hovered == index)
        return;
    hovered = index;
    m_canvas1->update();
    m_canvas2->update();
}

void MeshEditor::showFrameNumber()
{
    m_frameLabel->setText(tr("Frame %1 of %2").arg(m_slider->value() + 1).arg(m_slider->maximum() + 1));
}

MorphTiming MeshEditor::timingFromControls() const
{
    MorphTiming timing;
    timing.shapeEasing = Easing(m_shapeEasing->currentData().toInt());
    timing.colourEasing = Easing(m_colourEasing->currentData().toInt());
    timing.holdStart = m_holdStart->value();
    timing.holdEnd = m_holdEnd->value();
    timing.pingPong = m_pingPong->isChecked();
    return timing;
}

void MeshEditor::sync()
{
    m_syncing = true;
    const MorphMeshPair& pair = m_morph.meshes();
    if (!pair.mesh1.points.empty()) {
        m_columns->setValue(pair.mesh1.columns);
        m_rows->setValue(pair.mesh1.rows);
    }
    const MorphTiming& timing = m_morph.timing();
    m_shapeEasing->setCurrentIndex(m_shapeEasing->findData(int(timing.shapeEasing)));
    m_colourEasing->setCurrentIndex(m_colourEasing->findData(int(timing.colourEasing)));
    m_holdStart->setValue(std::min(timing.holdStart, m_holdStart->maximum()));
    m_holdEnd->setValue(std::min(timing.holdEnd, m_holdEnd->maximum()));
    m_pingPong->setChecked(timing.pingPong);
    m_undo->setEnabled(m_morph.canUndo());
    m_redo->setEnabled(m_morph.canRedo());
    m_syncing = false;
    m_canvas1->update();
    m_canvas2->update();
    renderPreview();
}

void MeshEditor::dragTo(int which, std::size_t index, MeshPoint to)
{
    dragged = m_morph.moved(which, index, to);
    const bool folds = !foldedTriangles(dragged->mesh1).empty() || !foldedTriangles(dragged->mesh2).empty();
    m_status->setText(folds ? tr("This move folds the mesh (red): it is undone when you let go.") : QString());
    m_canvas1->update();
    m_canvas2->update();
    if (!folds)
        renderPreview();
}

void MeshEditor::dragEnd()
{
    if (dragged && !m_morph.commit(*dragged))
        m_status->setText(tr("The move was undone: it would have folded the mesh."));
    else
        m_status->clear();
    dragged.reset();
    sync();
}

// The morph at the slider's progress, rendered by the Fade's own renderer at a preview size:
// the slider's 101 positions are the steps of a fade with the edited meshes and easing.
void MeshEditor::renderPreview()
{
    const MorphMeshPair& source = dragged ? *dragged : m_morph.meshes();
    if (source.mesh1.points.empty())
        return;
    const QSize size = m_picture1.size().scaled(kPreviewWidth, kPreviewHeight, Qt::KeepAspectRatio);
    const int width = std::max(1, size.width()), height = std::max(1, size.height());
    const Picture a(bitmapOf(m_picture1.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    const Picture b(bitmapOf(m_picture2.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    MixRequest request;
    request.morphMeshes = source;
    request.morphTiming.shapeEasing = m_morph.timing().shapeEasing;
    request.morphTiming.colourEasing = m_morph.timing().colourEasing;
    Bitmap out;
    try {
        out = makeFadeRenderer(request, m_slider->maximum() + 1, a, b)->render(m_slider->value());
    } catch (const RuntimeError&) {
        return;   // folds at this size: the last preview stays
    }
    QImage frame(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        std::memcpy(row, out.row(y), std::size_t(width) * 4);
        for (int x = 0; x < width; ++x)
            row[x] |= 0xFF000000u;
    }
    m_preview->setPixmap(QPixmap::fromImage(frame));
}

void MeshEditor::loadFile()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Load Meshes"), QString(), tr("Mesh files (*.json)"));
    if (file.isEmpty())
        return;
    std::string error;
    if (!m_morph.load(file.toStdString(), error))
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
}

void MeshEditor::saveFile()
{
    QString file = QFileDialog::getSaveFileName(this, tr("Save Meshes"), QStringLiteral("meshes.json"), tr("Mesh files (*.json)"));
    if (file.isEmpty())
        return;
    std::string error;
    if (!m_morph.save(file.toStdString(), error))
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
}

// ---- The Fade options' row --------------------------------------------------------------------

QWidget* morphOptionsRow(WindowModel& model, QWidget* parent, QWidget* enabledWith)
{
    auto* row = new QWidget(parent);
    if (enabledWith)
        new EnabledWith(enabledWith, row);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* enabled = new QCheckBox(QObject::tr("Morph"), row);
    enabled->setObjectName(QStringLiteral("morphOption"));
    enabled->setToolTip(QObject::tr("Use the edited meshes and timing: shapes move as the pictures fade"));
    enabled->setChecked(model.morph.enabled());
    auto* edit = new QPushButton(QObject::tr("Edit Meshes..."), row);
    edit->setObjectName(QStringLiteral("editMeshesButton"));
    edit->setToolTip(QObject::tr("Place the control points on both pictures and set the morph's timing"));
    // The meshes matter only to a morph: the button is usable while "Morph" is ticked (and,
    // with the row, while the Fade is chosen).
    edit->setEnabled(enabled->isChecked());
    layout->addWidget(enabled);
    layout->addWidget(edit, 1);
    QObject::connect(enabled, &QCheckBox::toggled, row, [&model, edit](bool on) {
        model.morph.setEnabled(on);
        edit->setEnabled(on);
    });
    model.morph.onEnabledChanged = [check = QPointer<QCheckBox>(enabled), &model] {
        if (check)
            check->setChecked(model.morph.enabled());
    };
    QObject::connect(edit, &QPushButton::clicked, row, [&model, enabled, row] {
        MeshEditor editor(model.morph, model.image1Box.text(), model.image2Box.text(), row->window(),
                          PreviewInputs::from(model.request(), 0).steps);
        editor.alignedFrame = [&model] { return model.align(); };
        if (model.align())
            editor.showSecondAligned();
        editor.exec();
        enabled->setChecked(model.morph.enabled());
    });
    return row;
}

}  // namespace vantorell
