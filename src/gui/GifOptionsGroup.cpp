#include "gui/GifOptionsGroup.h"

#include "app/WindowModel.h"
#include "gif/GifEncoder.h"
#include "gui/ElidedLabel.h"
#include "gui/PreviewPane.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QSpinBox>

namespace vantorell {
namespace {

// Keeps the box enabled exactly while the Fade's output options are and the GIF is chosen.
class EnabledForGif final : public QObject {
public:
    EnabledForGif(QWidget* leader, QAbstractButton* gif, QWidget* follower)
        : QObject(follower), m_leader(leader), m_gif(gif), m_follower(follower)
    {
        if (m_leader)
            m_leader->installEventFilter(this);
        if (m_gif)
            connect(m_gif, &QAbstractButton::toggled, this, [this] { update(); });
        update();
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            update();
        return false;
    }

private:
    void update()
    {
        m_follower->setEnabled((!m_leader || m_leader->isEnabled()) && m_gif && m_gif->isChecked());
    }
    QPointer<QWidget> m_leader;
    QPointer<QAbstractButton> m_gif;
    QWidget* m_follower;
};

}  // namespace

QGroupBox* gifOptionsGroup(WindowModel& model, QWidget* parent, QWidget* fadeLeader, QWidget* gifOption)
{
    GifOptionsModel& gif = model.gifOptions;
    auto* box = new QGroupBox(QObject::tr("GIF Options"), parent);
    box->setObjectName(QStringLiteral("gifOptionsGroup"));
    new EnabledForGif(fadeLeader, qobject_cast<QAbstractButton*>(gifOption), box);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(3);

    auto* palette = new QComboBox(box);
    palette->setObjectName(QStringLiteral("gifPaletteCombo"));
    palette->setAccessibleName(QObject::tr("GIF Palette"));
    palette->addItem(QObject::tr("Halftone"), int(GifPalette::Halftone));
    palette->addItem(QObject::tr("Optimal"), int(GifPalette::Optimal));
    palette->addItem(QObject::tr("Global"), int(GifPalette::Global));
    palette->addItem(QObject::tr("Per Frame"), int(GifPalette::PerFrame));
    palette->setToolTip(QObject::tr("The 216-colour cube, the first frame's colours, one palette for the whole "
                                    "animation, or one for each frame"));
    auto* dither = new QComboBox(box);
    dither->setObjectName(QStringLiteral("gifDitherCombo"));
    dither->setAccessibleName(QObject::tr("GIF Dither"));
    dither->setToolTip(QObject::tr("How colours the palette lacks are drawn: not at all, in ordered patterns, "
                                   "or by spreading the error"));
    dither->addItem(QObject::tr("No Dither"), int(GifDither::None));
    dither->addItem(QObject::tr("Ordered"), int(GifDither::Ordered));
    dither->addItem(QObject::tr("Ordered 8x8"), int(GifDither::Ordered8));
    dither->addItem(QObject::tr("Diffusion"), int(GifDither::Diffusion));
    auto* optimize = new QCheckBox(QObject::tr("Smaller File"), box);
    optimize->setObjectName(QStringLiteral("gifOptimizeCheck"));
    optimize->setToolTip(QObject::tr("Later frames store only what changed"));
    auto* lossyLabel = new QLabel(QObject::tr("Lossy"), box);
    auto* lossy = new QSpinBox(box);
    lossy->setObjectName(QStringLiteral("gifLossySpin"));
    lossy->setAccessibleName(QObject::tr("GIF Lossy"));
    lossy->setRange(0, kGifMaxLossy);
    lossy->setToolTip(QObject::tr("0 (exact) to 200: how far a colour may stray for a smaller file"));
    lossyLabel->setBuddy(lossy);
    auto* maxSizeLabel = new QLabel(QObject::tr("Target"), box);
    auto* maxSize = new QLineEdit(box);
    maxSize->setObjectName(QStringLiteral("gifMaxSizeEdit"));
    maxSize->setAccessibleName(QObject::tr("GIF Target Size"));
    maxSize->setPlaceholderText(QObject::tr("none"));
    maxSize->setToolTip(QObject::tr("The largest result.gif wanted, e.g. 2MB: the best choice that fits is "
                                    "picked. Empty: none"));
    maxSizeLabel->setBuddy(maxSize);
    auto* qualityLabel = new QLabel(QObject::tr("Quality"), box);
    auto* quality = new QSlider(Qt::Horizontal, box);
    quality->setObjectName(QStringLiteral("gifQualitySlider"));
    quality->setAccessibleName(QObject::tr("GIF Quality"));
    quality->setRange(0, 100);
    quality->setToolTip(QObject::tr("Off, or 1 (smallest) to 100 (best): picks the palette, dither, Smaller File "
                                    "and Lossy for you"));
    qualityLabel->setBuddy(quality);
    auto* qualityValue = new QLabel(QStringLiteral("100"), box);
    qualityValue->setMinimumWidth(qualityValue->sizeHint().width());
    // A row of two lines under the choices: "about 7.74 MB, over the target: smaller choices are
    // tried" wraps in it.
    auto* estimate = new ElidedLabel(QStringLiteral("about 000.00 MB, over the target"), 2, box);
    estimate->setObjectName(QStringLiteral("gifEstimateLabel"));
    estimate->setToolTip(QObject::tr("The estimated size of result.gif"));

    grid->addWidget(palette, 0, 0, 1, 2);
    grid->addWidget(dither, 0, 2, 1, 2);
    grid->addWidget(optimize, 1, 0, 1, 2);
    grid->addWidget(lossyLabel, 1, 2);
    grid->addWidget(lossy, 1, 3);
    grid->addWidget(maxSizeLabel, 2, 0);
    grid->addWidget(maxSize, 2, 1);
    grid->addWidget(qualityLabel, 3, 0);
    grid->addWidget(quality, 3, 1, 1, 2);
    grid->addWidget(qualityValue, 3, 3);
    grid->addWidget(estimate, 4, 0, 1, 4);

    const auto sync = [&gif, palette = QPointer<QComboBox>(palette), dither = QPointer<QComboBox>(dither),
                       optimize = QPointer<QCheckBox>(optimize), lossy = QPointer<QSpinBox>(lossy),
                       maxSize = QPointer<QLineEdit>(maxSize), estimate = QPointer<QLabel>(estimate),
                       quality = QPointer<QSlider>(quality), qualityValue = QPointer<QLabel>(qualityValue)] {
        if (!palette || !dither || !optimize || !lossy || !maxSize || !estimate || !quality || !qualityValue)
            return;
        const auto select = [](QComboBox* combo, int value) {
            const int index = combo->findData(value);
            if (index >= 0 && combo->currentIndex() != index)
                combo->setCurrentIndex(index);
        };
        select(palette, int(gif.palette()));
        select(dither, int(gif.dither()));
        optimize->setChecked(gif.optimize());
        if (lossy->value() != gif.lossy())
            lossy->setValue(gif.lossy());
        if (!maxSize->hasFocus())
            maxSize->setText(QString::fromStdString(gif.maxSizeText()));
        estimate->setText(QString::fromStdString(gif.estimateText()));
        if (quality->value() != gif.quality())
            quality->setValue(gif.quality());
        qualityValue->setText(gif.quality() > 0 ? QString::number(gif.quality()) : QObject::tr("Off"));
        for (QWidget* choice : {static_cast<QWidget*>(palette), static_cast<QWidget*>(dither),
                                static_cast<QWidget*>(optimize), static_cast<QWidget*>(lossy)})
            choice->setEnabled(gif.quality() == 0);   // the knob picks them
    };
    sync();
    gif.onChanged = sync;
    QObject::connect(palette, &QComboBox::currentIndexChanged, box, [&gif, palette](int index) {
        if (index >= 0)
            gif.setPalette(static_cast<GifPalette>(palette->itemData(index).toInt()));
    });
    QObject::connect(dither, &QComboBox::currentIndexChanged, box, [&gif, dither](int index) {
        if (index >= 0)
            gif.setDither(static_cast<GifDither>(dither->itemData(index).toInt()));
    });
    QObject::connect(optimize, &QCheckBox::toggled, box, [&gif](bool on) { gif.setOptimize(on); });
    QObject::connect(lossy, &QSpinBox::valueChanged, box, [&gif](int value) { gif.setLossy(value); });
    QObject::connect(quality, &QSlider::valueChanged, box, [&gif](int value) { gif.setQuality(value); });
    QObject::connect(maxSize, &QLineEdit::editingFinished, box, [&gif, maxSize] {
        if (!gif.setMaxSizeText(maxSize->text().toStdString()))
            maxSize->setText(QString::fromStdString(gif.maxSizeText()));   // not a size: the target stays
        else if (gif.maxSize())
            maxSize->setText(QString::fromStdString(gif.maxSizeText()));
    });
    return box;
}

void connectGifOptionsToPreview(WindowModel& model, PreviewPane& preview)
{
    GifOptionsModel& gif = model.gifOptions;
    std::function<void(const PreviewResult&)> shown = preview.onShown;
    preview.onShown = [&gif, shown = std::move(shown)](const PreviewResult& result) {
        if (shown) shown(result);
        const bool isGif = result.inputs.mixType == MixType::Fade && result.inputs.fadeOutput == FadeOutput::Gif;
        gif.setEstimate(isGif && !result.image.empty() ? result.resultBytes : std::nullopt);
    };
    std::function<void()> changed = gif.onChanged;
    gif.onChanged = [changed = std::move(changed), pane = QPointer<PreviewPane>(&preview)] {
        if (changed) changed();
        if (pane) pane->controlsChanged();
    };
}

}  // namespace vantorell
