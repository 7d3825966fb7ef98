#include "gui/MainWindow.h"

#include "app/WindowModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>

// The window's icon lives in the static library's resources; they must be registered.
static void initResources() { Q_INIT_RESOURCE(vantorell); }

namespace vantorell {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindow::MainWindow(WindowModel& form, QWidget* parent) : QMainWindow(parent), m_form(form)
{
    initResources();
    setWindowIcon(QIcon(QStringLiteral(":/vantorell/vantorell.png")));
    buildLayout();

    m_form.onWindowChanged = [this] { syncWindow(); };
    m_form.onPointerChanged = [this] { syncPointer(); };
    m_form.onSetFocus = [this](Control& control) {
        if (QWidget* widget = widgetFor(control))
            widget->setFocus(Qt::OtherFocusReason);
    };
    m_form.onUnload = [] { QCoreApplication::quit(); };
    syncWindow();
    syncPointer();
}

MainWindow::~MainWindow()
{
    m_form.onWindowChanged = nullptr;
    m_form.onPointerChanged = nullptr;
    m_form.onSetFocus = nullptr;
    m_form.onUnload = nullptr;
    for (auto& [control, previous] : m_previousObservers)
        control->onChanged = std::move(previous);
}

QWidget* MainWindow::widgetFor(const Control& control) const
{
    const auto found = m_widgets.find(&control);
    return found == m_widgets.end() ? nullptr : found->second;
}

// ---- Bindings ------------------------------------------------------------------------------

void MainWindow::listen(Control& control, std::function<void()> sync)
{
    // An observer the model already had (the job tells the UI port about its progress bar)
    // keeps working beside the view's, and gets its place back when the view goes.
    std::function<void()> previous = control.onChanged;
    m_previousObservers.emplace(&control, previous);
    control.onChanged = [previous = std::move(previous), sync = std::move(sync)] {
        if (previous) previous();
        sync();
    };
}

void MainWindow::bindEnabled(Control& control, QWidget* widget)
{
    m_widgets[&control] = widget;
    widget->setEnabled(control.enabled());
}

QGroupBox* MainWindow::frame(Control& control, QWidget* parent)
{
    auto* box = new QGroupBox(qt(control.caption()), parent);
    bindEnabled(control, box);
    listen(control, [&control, box] {
        box->setTitle(qt(control.caption()));
        box->setEnabled(control.enabled());
    });
    watchPointer(box, &control);
    return box;
}

QLineEdit* MainWindow::textBox(TextBox& box, QWidget* parent)
{
    auto* edit = new QLineEdit(qt(box.text()), parent);
    bindEnabled(box, edit);
    listen(box, [&box, edit] {
        const QString text = qt(box.text());
        if (edit->text() != text)
            edit->setText(text);
        edit->setEnabled(box.enabled());
    });
    connect(edit, &QLineEdit::textEdited, this, [&box](const QString& text) { box.setText(text.toStdString()); });
    return edit;
}

QRadioButton* MainWindow::option(OptionButton& option, QWidget* parent)
{
    auto* button = new QRadioButton(qt(option.caption()), parent);
    // The model keeps each group exclusive (it may also clear every member of a group).
    button->setAutoExclusive(false);
    button->setChecked(option.value());
    bindEnabled(option, button);
    listen(option, [&option, button] {
        button->setText(qt(option.caption()));
        button->setChecked(option.value());
        button->setEnabled(option.enabled());
    });
    connect(button, &QRadioButton::clicked, this, [this, &option, button] {
        m_form.click(option);
        button->setChecked(option.value());
    });
    return button;
}

QPushButton* MainWindow::pushButton(Control& control, QWidget* parent, void (WindowModel::*handler)())
{
    auto* button = new QPushButton(qt(control.caption()), parent);
    button->setAutoDefault(false);
    // Room around the caption: the default padding is tight for the wider captions.
    const QFontMetrics metrics = button->fontMetrics();
    button->setMinimumWidth(std::max(button->sizeHint().width(),
                                     metrics.horizontalAdvance(button->text()) + 4 * metrics.averageCharWidth()));
    bindEnabled(control, button);
    listen(control, [&control, button] {
        button->setText(qt(control.caption()));
        button->setEnabled(control.enabled());
    });
    connect(button, &QPushButton::clicked, this, [this, handler] { (m_form.*handler)(); });
    watchPointer(button, &control);
    return button;
}

QSlider* MainWindow::slider(RangeControl& range, QWidget* parent)
{
    auto* widget = new QSlider(Qt::Horizontal, parent);
    widget->setRange(range.min(), range.max());
    widget->setValue(range.value());
    widget->setTickPosition(QSlider::TicksBelow);
    widget->setTickInterval(10);
    widget->setPageStep(10);
    bindEnabled(range, widget);
    listen(range, [&range, widget] {
        const QSignalBlocker block(widget);
        widget->setRange(range.min(), range.max());
        widget->setValue(range.value());
        widget->setEnabled(range.enabled());
    });
    connect(widget, &QSlider::valueChanged, this, [&range](int value) { range.setValue(value); });
    return widget;
}

QScrollBar* MainWindow::scrollBar(RangeControl& range, QWidget* parent, std::function<void()> synced)
{
    auto* widget = new QScrollBar(Qt::Horizontal, parent);
    widget->setRange(range.min(), range.max());
    widget->setValue(range.value());
    widget->setPageStep(std::max(1, (range.max() - range.min()) / 10));
    bindEnabled(range, widget);
    listen(range, [&range, widget, synced] {
        const QSignalBlocker block(widget);
        widget->setRange(range.min(), range.max());
        widget->setPageStep(std::max(1, (range.max() - range.min()) / 10));
        widget->setValue(range.value());
        widget->setEnabled(range.enabled());
        if (synced) synced();
    });
    connect(widget, &QScrollBar::valueChanged, this, [&range](int value) { range.setValue(value); });
    return widget;
}

namespace {

// Shows the model's text as it is: QProgressBar's own format would read "%p" or "%v" in it.
class TextProgressBar final : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    QString text() const override { return m_text; }
    void setShownText(const QString& text)
    {
        if (m_text == text)
            return;
        m_text = text;
        update();
    }

private:
    QString m_text;
};

}  // namespace

QProgressBar* MainWindow::progressBar(ProgressBar& bar, QWidget* parent)
{
    auto* widget = new TextProgressBar(parent);
    widget->setRange(0, 1000);
    widget->setAlignment(Qt::AlignCenter);
    widget->setTextVisible(true);
    bindEnabled(bar, widget);
    const auto sync = [&bar, widget] {
        const double fraction = bar.max() > 0 ? bar.value() / bar.max() : 0.0;
        widget->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000.0 + 0.5));
        widget->setShownText(qt(bar.text()));
        widget->setEnabled(bar.enabled());
    };
    listen(bar, sync);
    sync();
    return widget;
}

// ---- Layout --------------------------------------------------------------------------------

void MainWindow::buildLayout()
{
    WindowModel& f = m_form;
    m_central = new QWidget(this);
    setCentralWidget(m_central);
    watchPointer(m_central, nullptr);

    auto* page = new QVBoxLayout(m_central);
    page->setContentsMargins(14, 12, 14, 12);
    page->setSpacing(10);

    // Files: the two pictures and the output folder, each a box with its "..." button.
    const auto fileRow = [&](Frame& frameControl, TextBox& box, PushButton& browse, void (WindowModel::*handler)()) {
        QGroupBox* group = frame(frameControl, m_central);
        auto* row = new QHBoxLayout(group);
        QLineEdit* edit = textBox(box, group);
        QPushButton* button = pushButton(browse, group, handler);
        button->setToolTip(tr("Browse..."));
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 3);
        row->addWidget(edit, 1);
        row->addWidget(button);
        page->addWidget(group);
        return edit;
    };
    QLineEdit* text1 = fileRow(f.Frame4, f.Text1, f.PushButton1, &WindowModel::PushButton1_Click);
    QLineEdit* text2 = fileRow(f.Frame5, f.Text2, f.PushButton3, &WindowModel::PushButton3_Click);
    fileRow(f.Frame6, f.Text3, f.PushButton5, &WindowModel::PushButton5_Click);
    text1->setPlaceholderText(tr("First picture (JPEG)"));
    text2->setPlaceholderText(tr("Second picture (JPEG)"));
    watchPointer(text1, &f.Text1);
    watchPointer(text2, &f.Text2);

    // Settings: the mix type with the blend and fade options beside it, then the quality.
    auto* settings = new QHBoxLayout;
    settings->setSpacing(10);
    page->addLayout(settings);

    QGroupBox* mixType = frame(f.Frame3, m_central);
    auto* mixLayout = new QVBoxLayout(mixType);
    mixLayout->addWidget(option(f.Option5, mixType));
    mixLayout->addWidget(option(f.Option6, mixType));
    mixLayout->addWidget(option(f.Option7, mixType));
    mixLayout->addStretch(1);
    settings->addWidget(mixType, 2);

    QGroupBox* blend = frame(f.Frame11, m_central);
    auto* blendLayout = new QVBoxLayout(blend);
    QGroupBox* direction = frame(f.Frame1, blend);
    auto* directionLayout = new QGridLayout(direction);
    OptionButton* directions[] = {&f.Option1, &f.Option2, &f.Option3, &f.Option4};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* button = option(*directions[i], direction);
        watchPointer(button, directions[i]);
        directionLayout->addWidget(button, i / 2, i % 2);
    }
    blendLayout->addWidget(direction);
    QGroupBox* size = frame(f.Frame2, blend);
    auto* sizeLayout = new QHBoxLayout(size);
    auto* seamValue = new QLabel(size);
    QScrollBar* seam = scrollBar(f.hStart, size, [seamValue, &f] { seamValue->setText(tr("%1 px").arg(f.hStart.value())); });
    seamValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    seamValue->setMinimumWidth(seamValue->fontMetrics().horizontalAdvance(QStringLiteral("0000 px")));
    seamValue->setToolTip(tr("Where the seam starts, in pixels of the 729 x 425 canvas"));
    seamValue->setText(tr("%1 px").arg(f.hStart.value()));
    sizeLayout->addWidget(seam, 1);
    sizeLayout->addWidget(seamValue);
    blendLayout->addWidget(size);
    blendLayout->addStretch(1);
    settings->addWidget(blend, 4);

    QGroupBox* fade = frame(f.Frame10, m_central);
    auto* fadeLayout = new QVBoxLayout(fade);
    QGroupBox* output = frame(f.Frame9, fade);
    auto* outputLayout = new QVBoxLayout(output);
    outputLayout->addWidget(option(f.Option8, output));
    outputLayout->addWidget(option(f.Option9, output));
    fadeLayout->addWidget(output);
    auto* numbers = new QHBoxLayout;
    const auto numberBox = [&](Frame& frameControl, TextBox& box, void (WindowModel::*lostFocus)()) {
        QGroupBox* group = frame(frameControl, fade);
        auto* layout = new QVBoxLayout(group);
        QLineEdit* edit = textBox(box, group);
        edit->setAlignment(Qt::AlignRight);
        edit->installEventFilter(this);
        layout->addWidget(edit);
        numbers->addWidget(group);
        m_lostFocus[edit] = lostFocus;
    };
    numberBox(f.Frame8, f.Text4, &WindowModel::Text4_LostFocus);
    numberBox(f.Frame7, f.txtFPS, &WindowModel::txtFPS_LostFocus);
    fadeLayout->addLayout(numbers);
    fadeLayout->addStretch(1);
    settings->addWidget(fade, 4);

    QGroupBox* quality = frame(f.Frame12, m_central);
    auto* qualityLayout = new QHBoxLayout(quality);
    qualityLayout->setSpacing(12);
    auto* modes = new QVBoxLayout;
    QRadioButton* smart = option(f.Option21, quality);
    QRadioButton* fixed = option(f.Option22, quality);
    watchPointer(smart, &f.Option21);
    watchPointer(fixed, &f.Option22);
    modes->addWidget(smart);
    modes->addWidget(fixed);
    qualityLayout->addLayout(modes);
    QGroupBox* sliderFrame = frame(f.Frame13, quality);
    auto* sliderLayout = new QHBoxLayout(sliderFrame);
    auto* low = new QLabel(QStringLiteral("1"), sliderFrame);
    auto* high = new QLabel(QStringLiteral("100"), sliderFrame);
    sliderLayout->addWidget(low);
    sliderLayout->addWidget(slider(f.Slider1, sliderFrame), 1);
    sliderLayout->addWidget(high);
    qualityLayout->addWidget(sliderFrame, 1);
    QPushButton* explain = pushButton(f.PushButton8, quality, &WindowModel::PushButton8_Click);
    explain->setFixedWidth(explain->sizeHint().height());
    explain->setToolTip(tr("What do these options mean?"));
    qualityLayout->addWidget(explain, 0, Qt::AlignTop);
    page->addWidget(quality);
    page->addStretch(1);

    // Progress and commands.
    page->addWidget(progressBar(f.ProgressBar1, m_central));
    auto* commands = new QHBoxLayout;
    commands->setSpacing(8);
    commands->addWidget(pushButton(f.PushButton4, m_central, &WindowModel::PushButton4_Click));
    commands->addWidget(pushButton(f.PushButton7, m_central, &WindowModel::PushButton7_Click));
    commands->addStretch(1);
    QPushButton* start = pushButton(f.PushButton2, m_central, &WindowModel::PushButton2_Click);
    start->setDefault(true);
    QFont bold = start->font();
    bold.setBold(true);
    start->setFont(bold);
    // Wide enough for the longest of the Start captions, so the row does not jump.
    start->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(QStringLiteral("Start Overlaying Two Image")) +
                           4 * start->fontMetrics().horizontalAdvance(u'M'));
    start->setMinimumHeight(start->sizeHint().height() * 5 / 4);
    commands->addWidget(start);
    page->addLayout(commands);
}

// ---- Window, pointer, focus, closing -------------------------------------------------------

void MainWindow::syncWindow()
{
    setWindowTitle(qt(m_form.Caption));
    if (m_form.Skinned) {
        // The skinned window takes the platform's button-face colour behind its controls.
        QPalette palette = m_central->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Button));
        m_central->setPalette(palette);
        m_central->setAutoFillBackground(true);
    }
}

void MainWindow::syncPointer()
{
    switch (m_form.pointerShape()) {
    case WindowModel::PointerShape::Hourglass:
        break;   // the override cursor of the busy pointer is up
    case WindowModel::PointerShape::Hand: {
        const QPixmap hand(QString::fromStdString(m_form.MouseIcon.string()));
        if (!hand.isNull()) {
            m_central->setCursor(QCursor(hand, m_form.MouseIconHotX, m_form.MouseIconHotY));
            break;
        }
        m_central->unsetCursor();
        break;
    }
    case WindowModel::PointerShape::Arrow:
        m_central->unsetCursor();
        break;
    }
}

void MainWindow::watchPointer(QWidget* widget, const Control* control)
{
    m_pointerAreas[widget] = control;
    widget->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        const auto area = m_pointerAreas.find(watched);
        if (area != m_pointerAreas.end()) {
            // Leaving a control puts the pointer over its container again.
            const Control* over = area->second;
            if (event->type() == QEvent::Leave)
                over = over ? m_form.container(*over) : nullptr;
            if (event->type() == QEvent::Enter || area->first != m_central)
                m_form.MouseMove(over);
        }
    } else if (event->type() == QEvent::FocusOut) {
        const auto check = m_lostFocus.find(watched);
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // The user left the box (tab, click, shortcut). Switching windows, a popup or the
        // program moving the focus back to the other box is not leaving it.
        if (check != m_lostFocus.end() &&
            (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
             reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason)) {
            (m_form.*(check->second))();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    m_form.Form_QueryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    m_form.Form_Unload();
}

}  // namespace vantorell
