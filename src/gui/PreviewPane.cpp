#include "gui/PreviewPane.h"

#include "gui/ElidedLabel.h"

#include "app/WindowModel.h"
#include "platform/ByteSize.h"
#include "platform/Conversions.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

namespace vantorell {

namespace {

constexpr int kSeamShownMs = 900;   // how long the start line stays after Blend Size moved

}  // namespace

QImage PreviewPane::toImage(const Bitmap& bits)
{
    if (bits.empty())
        return {};
    // Bitmap rows are blue, green, red, unused: Qt's RGB32 in memory, once the unused byte is
    // 0xFF as Qt requires (painters that scale or grab read it as alpha). The engine gives sRGB
    // numbers: Qt 6.4 has no API for a screen's colour profile, so sRGB is the display's space
    // and the image is drawn as it is.
    QImage image = QImage(bits.bits(), bits.width(), bits.height(), qsizetype(bits.stride()), QImage::Format_RGB32).copy();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
    return image;
}

namespace {

QString byteSize(std::uint64_t bytes) { return QString::fromStdString(formatByteSize(bytes)); }

}  // namespace

// The picture, scaled to fit and centred, and the seam's start line over it.
class PreviewPane::Canvas final : public QWidget {
public:
    explicit Canvas(PreviewPane& pane) : QWidget(&pane), m_pane(pane)
    {
        setMinimumSize(320, 190);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Dark));
        const QImage& image = m_pane.m_image;
        if (image.isNull()) {
            p.setPen(palette().color(QPalette::BrightText));
            p.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                       QString::fromStdString(m_pane.m_shown.message.empty() ? "Preview" : m_pane.m_shown.message));
            return;
        }
        const QSize fitted = image.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(target, image);
        const PreviewInputs& in = m_pane.m_shown.inputs;
        if (in.mixType == MixType::Blend && m_pane.m_seamMoved.isValid() &&
            m_pane.m_seamMoved.elapsed() < kSeamShownMs) {
            const int start = m_pane.m_model.blendSizeBar.value();
            const bool vertical = in.blendDirection == BlendDirection::Top || in.blendDirection == BlendDirection::Bottom;
            QPen pen(QColor(255, 210, 0), 2, Qt::DashLine);
            p.setPen(pen);
            // The start line is in pixels of the full canvas, which may be shown reduced.
            if (vertical) {
                const int y = target.top() + int(std::lround(double(start) * target.height() / in.blendCanvas.height));
                if (y <= target.bottom())
                    p.drawLine(target.left(), y, target.right(), y);
            } else {
                const int x = target.left() + int(std::lround(double(start) * target.width() / in.blendCanvas.width));
                p.drawLine(x, target.top(), x, target.bottom());
            }
        }
    }

private:
    PreviewPane& m_pane;
};

PreviewPane::PreviewPane(WindowModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("previewPane"));
    m_engine = std::make_unique<PreviewEngine>(
        [](std::function<void()> call) { QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection); },
        [] { QCoreApplication::processEvents(); });
    m_engine->onReady = [this](const PreviewResult& result) { show(result); };
    m_engine->setGifSizeEstimator(makePreviewGifSizeEstimator());   // before any request

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_canvas = new Canvas(*this);
    layout->addWidget(m_canvas, 1);
    auto* fadeRow = new QHBoxLayout;
    m_playButton = new QPushButton(this);
    m_playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_playButton->setToolTip(tr("Play the fade at the chosen frames per second"));
    m_playButton->setAutoDefault(false);
    m_frameSlider = new QSlider(Qt::Horizontal, this);
    m_frameSlider->setRange(0, 0);
    m_frameSlider->setToolTip(tr("The frame shown"));
    fadeRow->addWidget(m_playButton);
    fadeRow->addWidget(m_frameSlider, 1);
    layout->addLayout(fadeRow);
    m_caption = new ElidedLabel(QStringLiteral("Frame 1000 of 1000, result.gif about 000.00 MB"), 2, this);
    m_captionRow = new QHBoxLayout;
    m_captionRow->addWidget(m_caption, 1);
    layout->addLayout(m_captionRow);

    m_playTimer = new QTimer(this);
    connect(m_playTimer, &QTimer::timeout, this, [this] { advanceFrame(); });
    connect(m_playButton, &QPushButton::clicked, this, [this] { togglePlay(); });
    connect(m_frameSlider, &QSlider::valueChanged, this, [this] { controlsChanged(); });
    controlsChanged();
}

PreviewPane::~PreviewPane()
{
    m_engine->onReady = nullptr;
    m_engine.reset();
}

void PreviewPane::addBesideCaption(QWidget* widget) { m_captionRow->addWidget(widget); }

void PreviewPane::controlsChanged()
{
    if (QThread::currentThread() != thread())
        return;   // the job's progress bar, from its worker: no input of the preview
    const PreviewInputs inputs = PreviewInputs::from(m_model.request(), m_frameSlider->value());
    const bool fade = inputs.mixType == MixType::Fade;
    m_frameSlider->setVisible(fade);
    m_playButton->setVisible(fade);
    if (m_frameSlider->maximum() != inputs.frameCount - 1) {
        const QSignalBlocker block(m_frameSlider);
        m_frameSlider->setRange(0, inputs.frameCount - 1);
    }
    if (!fade && m_playTimer->isActive())
        togglePlay();
    m_engine->request(inputs);
}

void PreviewPane::seamMoved()
{
    m_seamMoved.start();
    m_canvas->update();
    QTimer::singleShot(kSeamShownMs + 20, m_canvas, [canvas = m_canvas] { canvas->update(); });
}

void PreviewPane::show(const PreviewResult& result)
{
    m_shown = result;
    m_image = toImage(result.image);
    const PreviewInputs& in = result.inputs;
    QString text;
    if (!result.image.empty()) {
        switch (in.mixType) {
        case MixType::Blend:
            text = tr("result.jpg, %1 x %2").arg(in.blendCanvas.width).arg(in.blendCanvas.height);
            break;
        case MixType::Overlay:
            text = tr("result.jpg, %1 x %2").arg(result.sourceWidth).arg(result.sourceHeight);
            break;
        case MixType::Fade: {
            text = tr("Frame %1 of %2").arg(in.frameIndex + 1).arg(in.frameCount);
            if (in.fadeOutput == FadeOutput::Avi && result.resultBytes)
                text += tr(", result.avi %1 uncompressed").arg(byteSize(*result.resultBytes));
            else if (in.fadeOutput == FadeOutput::Gif)
                text += result.resultBytes ? tr(", result.gif about %1").arg(byteSize(*result.resultBytes))
                                           : tr(", in the GIF's colours");
            break;
        }
        }
    }
    m_caption->setText(text);
    m_canvas->update();
    if (onShown) onShown(result);
}

int PreviewPane::framesPerSecond() const
{
    double fps = 0;
    if (parseNumber(m_model.framesPerSecondBox.text(), fps) != NumberParse::Ok || !(fps >= 1))
        return 5;
    return int(std::min(fps, 60.0));
}

void PreviewPane::togglePlay()
{
    if (m_playTimer->isActive()) {
        m_playTimer->stop();
        m_playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    } else {
        m_playTimer->start(1000 / framesPerSecond());
        m_playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    }
}

void PreviewPane::advanceFrame()
{
    m_playTimer->setInterval(1000 / framesPerSecond());
    const int next = m_frameSlider->value() >= m_frameSlider->maximum() ? 0 : m_frameSlider->value() + 1;
    m_frameSlider->setValue(next);
}

}  // namespace vantorell
