#include "gui/BlendCanvasGroup.h"

#include "app/WindowModel.h"
#include "gui/EnabledWith.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSpinBox>

namespace vantorell {

namespace {

QSpinBox* sideSpin(QWidget* parent, const char* objectName, const QString& tip)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(objectName));
    spin->setRange(kBlendCanvasMinSide, kBlendCanvasMaxSide);
    spin->setKeyboardTracking(false);   // a size is taken when typed whole, not digit by digit
    spin->setToolTip(tip);
    spin->setAccessibleName(tip);
    return spin;
}

}  // namespace

QWidget* blendCanvasRow(WindowModel& model, QWidget* parent, QWidget* enabledWith)
{
    BlendCanvasModel& canvas = model.blendCanvas;
    auto* row = new QWidget(parent);
    if (enabledWith)
        new EnabledWith(enabledWith, row);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* label = new QLabel(QObject::tr("Canvas"), row);
    QSpinBox* width = sideSpin(row, "blendCanvasWidthSpin", QObject::tr("The result's width in pixels (16 to 8192)"));
    QSpinBox* height = sideSpin(row, "blendCanvasHeightSpin", QObject::tr("The result's height in pixels (16 to 8192)"));
    auto* fit = new QComboBox(row);
    fit->setObjectName(QStringLiteral("blendFitCombo"));
    fit->addItem(QObject::tr("Stretch"), static_cast<int>(BlendFit::Stretch));
    fit->addItem(QObject::tr("Crop"), static_cast<int>(BlendFit::Crop));
    fit->setToolTip(QObject::tr("Stretch each picture over the canvas, or fill it keeping the picture's "
                                "proportions, centred"));
    fit->setAccessibleName(QObject::tr("Blend fit"));
    label->setBuddy(width);
    layout->addWidget(label);
    layout->addWidget(width, 1);
    layout->addWidget(new QLabel(QStringLiteral("x"), row));
    layout->addWidget(height, 1);
    layout->addWidget(fit);

    const auto sync = [&canvas, width = QPointer<QSpinBox>(width), height = QPointer<QSpinBox>(height),
                       fit = QPointer<QComboBox>(fit)] {
        if (!width || !height || !fit)
            return;
        const QSignalBlocker blockWidth(width), blockHeight(height), blockFit(fit);
        width->setValue(canvas.canvas().width);
        height->setValue(canvas.canvas().height);
        fit->setCurrentIndex(fit->findData(static_cast<int>(canvas.canvas().fit)));
    };
    sync();
    canvas.onChanged = sync;
    QObject::connect(width, &QSpinBox::valueChanged, row,
                     [&canvas](int value) { canvas.setSize(value, canvas.canvas().height); });
    QObject::connect(height, &QSpinBox::valueChanged, row,
                     [&canvas](int value) { canvas.setSize(canvas.canvas().width, value); });
    QObject::connect(fit, &QComboBox::currentIndexChanged, row, [&canvas, fit](int index) {
        if (index >= 0)
            canvas.setFit(static_cast<BlendFit>(fit->itemData(index).toInt()));
    });
    return row;
}

}  // namespace vantorell
