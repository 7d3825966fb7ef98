// The compressor dialog of the AVI output: the offered video encoders, a key-frame interval,
// a data-rate limit and a quality where the encoder takes them.
#pragma once

#include "avi/AviCodecs.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QSlider;
class QSpinBox;

namespace vantorell {

class CompressorDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CompressorDialog(std::vector<CompressorOption> offered, QWidget* parent = nullptr);

    // The encoder and settings as they stand in the dialog.
    CompressorChoice choice() const;

    // For tests: pick the encoder in row `row`.
    void selectRow(int row);

private:
    void updateFields();

    std::vector<CompressorOption> m_offered;
    QListWidget* m_list = nullptr;
    QLabel* m_keyFrames = nullptr;
    QSpinBox* m_keyFrameEvery = nullptr;
    QCheckBox* m_dataRate = nullptr;
    QSpinBox* m_dataRateKbps = nullptr;
    QLabel* m_qualityLabel = nullptr;
    QSlider* m_quality = nullptr;
    QLabel* m_qualityValue = nullptr;
};

}  // namespace vantorell
