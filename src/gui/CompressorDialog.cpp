#include "gui/CompressorDialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantorell {

CompressorDialog::CompressorDialog(std::vector<CompressorOption> offered, QWidget* parent)
    : QDialog(parent), m_offered(std::move(offered))
{
    setWindowTitle(tr("Video Compression"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Compressor:"), this));
    m_list = new QListWidget(this);
    for (const CompressorOption& option : m_offered)
        m_list->addItem(QString::fromStdString(option.description.empty() ? option.name : option.description));
    m_list->setMinimumHeight(m_list->sizeHintForRow(0) * 6 + 2 * m_list->frameWidth());
    layout->addWidget(m_list);

    auto* settings = new QGroupBox(tr("Settings"), this);
    auto* grid = new QGridLayout(settings);
    m_keyFrames = new QLabel(tr("Key frame every"), settings);
    m_keyFrameEvery = new QSpinBox(settings);
    m_keyFrameEvery->setRange(1, 9999);
    m_keyFrameEvery->setValue(1);
    m_keyFrameEvery->setSuffix(tr(" frames"));
    m_dataRate = new QCheckBox(tr("Data rate"), settings);
    m_dataRateKbps = new QSpinBox(settings);
    m_dataRateKbps->setRange(1, 1000000);
    m_dataRateKbps->setValue(2000);
    m_dataRateKbps->setSuffix(tr(" kbit/s"));
    m_qualityLabel = new QLabel(tr("Quality"), settings);
    m_quality = new QSlider(Qt::Horizontal, settings);
    m_quality->setRange(0, 100);
    m_quality->setValue(75);
    m_qualityValue = new QLabel(settings);
    m_qualityValue->setMinimumWidth(m_qualityValue->fontMetrics().horizontalAdvance(QStringLiteral("100")));
    grid->addWidget(m_keyFrames, 0, 0);
    grid->addWidget(m_keyFrameEvery, 0, 1, 1, 2);
    grid->addWidget(m_dataRate, 1, 0);
    grid->addWidget(m_dataRateKbps, 1, 1, 1, 2);
    grid->addWidget(m_qualityLabel, 2, 0);
    grid->addWidget(m_quality, 2, 1);
    grid->addWidget(m_qualityValue, 2, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(settings);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        // Each codec starts at its own key-frame interval (two seconds of frames for
        // MPEG-4 and H.264).
        if (row >= 0 && row < static_cast<int>(m_offered.size()))
            m_keyFrameEvery->setValue(std::max(1, m_offered[static_cast<std::size_t>(row)].keyFrameEvery));
        updateFields();
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_dataRate, &QCheckBox::toggled, this, [this] { updateFields(); });
    connect(m_quality, &QSlider::valueChanged, this, [this](int value) { m_qualityValue->setNum(value); });
    m_qualityValue->setNum(m_quality->value());

    buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_offered.empty());
    if (!m_offered.empty())
        m_list->setCurrentRow(0);
    updateFields();
}

void CompressorDialog::selectRow(int row)
{
    m_list->setCurrentRow(row);
}

void CompressorDialog::updateFields()
{
    const int row = m_list->currentRow();
    const CompressorOption* option =
        row >= 0 && row < static_cast<int>(m_offered.size()) ? &m_offered[static_cast<std::size_t>(row)] : nullptr;
    const bool keyFrames = option && option->supportsKeyFrames;
    const bool dataRate = option && option->supportsDataRate;
    const bool quality = option && option->supportsQuality;
    m_keyFrames->setEnabled(keyFrames);
    m_keyFrameEvery->setEnabled(keyFrames);
    m_dataRate->setEnabled(dataRate);
    m_dataRateKbps->setEnabled(dataRate && m_dataRate->isChecked());
    m_qualityLabel->setEnabled(quality);
    m_quality->setEnabled(quality);
    m_qualityValue->setEnabled(quality);
}

CompressorChoice CompressorDialog::choice() const
{
    CompressorChoice choice;
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_offered.size()))
        return choice;
    const CompressorOption& option = m_offered[static_cast<std::size_t>(row)];
    choice.name = option.name;
    choice.keyFrameEvery = option.supportsKeyFrames ? m_keyFrameEvery->value() : 1;
    choice.dataRateKbps = option.supportsDataRate && m_dataRate->isChecked() ? m_dataRateKbps->value() : 0;
    choice.quality = option.supportsQuality ? m_quality->value() : -1;
    return choice;
}

}  // namespace vantorell
