#include "gui/VideoOutputGroup.h"

#include "gui/EnabledWith.h"

#include "app/WindowModel.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantorell {

QWidget* videoOutputRow(WindowModel& model, QWidget* parent, QWidget* enabledWith)
{
    VideoOutputModel& video = model.videoOutput;
    auto* row = new QWidget(parent);
    if (enabledWith)
        new EnabledWith(enabledWith, row);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* choice = new QRadioButton(QObject::tr("Save As Video"), row);
    choice->setObjectName(QStringLiteral("saveAsVideoOption"));
    choice->setAutoExclusive(false);   // the model keeps the group exclusive
    choice->setToolTip(QObject::tr("MP4, WebM, animated WebP or APNG, as this build's FFmpeg offers"));
    layout->addWidget(choice);

    auto* settingsRow = new QHBoxLayout;
    settingsRow->setContentsMargins(20, 0, 0, 0);   // under the option's caption
    auto* format = new QComboBox(row);
    format->setObjectName(QStringLiteral("videoFormatCombo"));
    format->setAccessibleName(QObject::tr("Video Format"));
    format->setToolTip(QObject::tr("The video's format and encoder"));
    for (VideoFormat each : video.formats())
        format->addItem(QString::fromUtf8(videoFormatInfo(each).description), static_cast<int>(each));
    auto* qualityLabel = new QLabel(QObject::tr("Quality"), row);
    auto* quality = new QSpinBox(row);
    quality->setObjectName(QStringLiteral("videoQualitySpin"));
    quality->setAccessibleName(QObject::tr("Video Quality"));
    quality->setRange(VideoOutputModel::kDefaultQuality, 100);
    quality->setSpecialValueText(QObject::tr("Default"));   // -1: each encoder's own default
    quality->setToolTip(QObject::tr("0 (smallest) to 100 (best; lossless for WebP); APNG is always lossless"));
    qualityLabel->setBuddy(quality);
    settingsRow->addWidget(format, 1);
    settingsRow->addWidget(qualityLabel);
    settingsRow->addWidget(quality);
    layout->addLayout(settingsRow);

    if (video.formats().empty()) {
        // Nothing to choose from: the row stays, disabled for good (an explicitly disabled
        // child stays so when the row is enabled), and says why.
        choice->setToolTip(QObject::tr("This build's FFmpeg offers none of the video encoders"));
        for (QWidget* widget : {static_cast<QWidget*>(choice), static_cast<QWidget*>(format),
                                static_cast<QWidget*>(quality)})
            widget->setEnabled(false);
    }

    const auto sync = [&video, choice = QPointer<QRadioButton>(choice), format = QPointer<QComboBox>(format),
                       quality = QPointer<QSpinBox>(quality), qualityLabel = QPointer<QLabel>(qualityLabel)] {
        if (!choice || !format || !quality || !qualityLabel)
            return;
        choice->setChecked(video.chosen());
        // The format and quality apply only to a video: usable while "Save As Video" is chosen.
        for (QWidget* setting : {static_cast<QWidget*>(format), static_cast<QWidget*>(qualityLabel),
                                 static_cast<QWidget*>(quality)})
            setting->setEnabled(video.chosen());
        const int index = format->findData(static_cast<int>(video.format()));
        if (index >= 0 && format->currentIndex() != index)
            format->setCurrentIndex(index);
        if (quality->value() != video.quality())
            quality->setValue(video.quality());
    };
    sync();
    video.onChanged = sync;
    QObject::connect(choice, &QRadioButton::clicked, row, [&video, choice] {
        video.setChosen(true);
        choice->setChecked(video.chosen());
    });
    QObject::connect(format, &QComboBox::currentIndexChanged, row, [&video, format](int index) {
        if (index >= 0)
            video.setFormat(static_cast<VideoFormat>(format->itemData(index).toInt()));
    });
    QObject::connect(quality, &QSpinBox::valueChanged, row, [&video](int value) { video.setQuality(value); });
    return row;
}

}  // namespace vantorell
