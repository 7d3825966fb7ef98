#include "gui/MeshEditor.h"

#include "gui/EnabledWith.h"

#include "app/WindowModel.h"
#include "job/PreviewRender.h"
#include "mix/MorphEngine.h"
#include "platform/PictureLoader.h"
#include "platform/RuntimeError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantorell {

namespace {

constexpr int kCanvasWidth = 420, kCanvasHeight = 360;
constexpr int kPreviewWidth = 320, kPreviewHeight = 240;
constexpr double kGrabRadius = 9;

// The picture of a file as a QImage, or nothing when it cannot be read.
QImage loadImage(const std::string& file)
{
    if (file.empty())
        return {};
    try {
        const Picture picture = loadPicture(file);
        if (picture.empty())
            return {};
        const Bitmap& bits = picture.bitmap();
        QImage image(bits.width(), bits.height(), QImage::Format_RGB32);
        for (int y = 0; y < bits.height(); ++y)
            std::memcpy(image.scanLine(y), bits.row(y), std::size_t(bits.width()) * 4);
        return image;
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
    setMouseTracking(false);
    setCursor(Qt::CrossCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
}

double MeshCanvas::scale() const
{
    return std::min({double(kCanvasWidth) / m_picture.width(), double(kCanvasHeight) / m_picture.height(), 2.0});
}

QSize MeshCanvas::sizeHint() const
{
    return {int(std::lround(m_picture.width() * scale())), int(std::lround(m_picture.height() * scale()))};
}

QPointF MeshCanvas::toWidget(MeshPoint p) const { return {p.x * scale(), p.y * scale()}; }

MeshPoint MeshCanvas::toFrame(QPointF p) const
{
    return {std::int32_t(std::lround(p.x() / scale())), std::int32_t(std::lround(p.y() / scale()))};
}

const MorphMesh& MeshCanvas::mesh() const
{
    const MorphMeshPair& pair = m_editor.dragged ? *m_editor.dragged : m_editor.morph().meshes();
    return m_which == 2 ? pair.mesh2 : pair.mesh1;
}

void MeshCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(rect(), m_picture);
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
    painter.setPen(QPen(Qt::black, 1));
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        painter.setBrush(m_grabbed == i ? QColor(255, 220, 0) : QColor(255, 40, 40));
        painter.drawEllipse(toWidget(m.points[i]), 4, 4);
    }
}

void MeshCanvas::mousePressEvent(QMouseEvent* event)
{
    const MorphMesh& m = mesh();
    double best = kGrabRadius * kGrabRadius;
    m_grabbed.reset();
    for (std::size_t i = 0; i < m.points.size(); ++i) {
        const QPointF d = toWidget(m.points[i]) - event->position();
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance <= best) {
            best = distance;
            m_grabbed = i;
        }
    }
    update();
}

void MeshCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabbed)
        m_editor.dragTo(m_which, *m_grabbed, toFrame(event->position()));
}

void MeshCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_grabbed)
        return;
    m_editor.dragTo(m_which, *m_grabbed, toFrame(event->position()));
    m_grabbed.reset();
    m_editor.dragEnd();
}

// ---- Editor ---------------------------------------------------------------------------------

MeshEditor::MeshEditor(MorphModel& morph, const std::string& image1, const std::string& image2, QWidget* parent)
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
    if (!second.isNull()) {
        QPainter painter(&m_picture2);
        painter.drawImage(0, 0, second);
    } else {
        m_picture2.fill(QColor(200, 200, 200));
    }
    m_morph.fitTo(m_picture1.width(), m_picture1.height());

    auto* page = new QVBoxLayout(this);
    auto* canvases = new QHBoxLayout;
    m_canvas1 = new MeshCanvas(*this, 1, m_picture1, this);
    m_canvas2 = new MeshCanvas(*this, 2, m_picture2, this);
    canvases->addWidget(m_canvas1);
    canvases->addWidget(m_canvas2);
    page->addLayout(canvases);

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(tr("Grid:"), this));
    m_columns = new QSpinBox(this);
    m_rows = new QSpinBox(this);
    for (QSpinBox* box : {m_columns, m_rows})
        box->setRange(kMinMeshCells, kMaxMeshCells);
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
    for (QPushButton* button : {m_undo, m_redo, reset, load, save})
        tools->addWidget(button);
    tools->addStretch(1);
    page->addLayout(tools);

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
    m_slider->setRange(0, 100);
    m_slider->setValue(50);
    m_slider->setToolTip(tr("The morph's progress"));
    previewColumn->addWidget(m_preview);
    previewColumn->addWidget(m_slider);
    lower->addLayout(previewColumn, 1);
    page->addLayout(lower);

    m_status = new QLabel(this);
    page->addWidget(m_status);
    auto* close = new QPushButton(tr("Close"), this);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(close);
    page->addLayout(closeRow);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_undo, &QPushButton::clicked, this, [this] { m_morph.undo(); });
    connect(m_redo, &QPushButton::clicked, this, [this] { m_morph.redo(); });
    connect(reset, &QPushButton::clicked, this, [this] { m_morph.reset(); });
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
    connect(m_slider, &QSlider::valueChanged, this, [this] { renderPreview(); });

    // The window's observer (its preview) keeps hearing of every edit while the editor is open.
    m_previousOnChanged = m_morph.onChanged;
    m_morph.onChanged = [this] {
        sync();
        if (m_previousOnChanged) m_previousOnChanged();
    };
    m_mirror->setChecked(m_morph.mirror);
    sync();
}

MeshEditor::~MeshEditor() { m_morph.onChanged = std::move(m_previousOnChanged); }

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
    layout->addWidget(enabled);
    layout->addWidget(edit, 1);
    QObject::connect(enabled, &QCheckBox::toggled, row, [&model](bool on) { model.morph.setEnabled(on); });
    model.morph.onEnabledChanged = [check = QPointer<QCheckBox>(enabled), &model] {
        if (check)
            check->setChecked(model.morph.enabled());
    };
    QObject::connect(edit, &QPushButton::clicked, row, [&model, enabled, row] {
        MeshEditor editor(model.morph, model.image1Box.text(), model.image2Box.text(), row->window());
        editor.exec();
        enabled->setChecked(model.morph.enabled());
    });
    return row;
}

}  // namespace vantorell
