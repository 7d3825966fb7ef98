#include "gui/MainWindow.h"

#include "app/WindowModel.h"
#include "gui/BlendCanvasGroup.h"
#include "gui/ControlHabits.h"
#include "gui/UserGuide.h"
#include "gui/MeshEditor.h"
#include "gui/PreviewPane.h"
#include "platform/PictureLoader.h"
#include "gui/GifOptionsGroup.h"
#include "gui/VideoOutputGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

// The window's icon lives in the static library's resources; they must be registered.
static void initResources() { Q_INIT_RESOURCE(vantorell); }

namespace vantorell {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

// The tooltip a control was given, kept apart from the text shown after it.
constexpr char kOwnToolTip[] = "vantorellOwnToolTip";

}  // namespace

MainWindow::MainWindow(WindowModel& model, QWidget* parent) : QMainWindow(parent), m_model(model)
{
    initResources();
    // Pictures that are not JPEGs decode through Qt's readers, on this thread only.
    setQtReaderThread([](const std::function<void()>& call) {
        if (QThread::currentThread() == qApp->thread())
            call();
        else
            QMetaObject::invokeMethod(qApp, [&call] { call(); }, Qt::BlockingQueuedConnection);
    });
    setWindowIcon(QIcon(QStringLiteral(":/vantorell/vantorell.png")));
    buildLayout();
    addToolTips();
    settleControls(m_central);   // wheel, names, tooltips, Tab order: every control alike

    m_model.onWindowChanged = [this] { syncWindow(); };
    m_model.onPointerChanged = [this] { syncPointer(); };
    m_model.onSetFocus = [this](Control& control) {
        if (QWidget* widget = widgetFor(control))
            widget->setFocus(Qt::OtherFocusReason);
    };
    m_model.onUnload = [] { QCoreApplication::quit(); };
    // Jobs run on a worker; what they show comes back to this thread as queued calls.
    m_model.setWindowThreadPost([](std::function<void()> call) {
        QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
    });
    m_model.onJobStateChanged = [this] { syncJobState(); };
    syncWindow();
    syncPointer();
}

MainWindow::~MainWindow()
{
    m_model.onWindowChanged = nullptr;
    m_model.onPointerChanged = nullptr;
    m_model.onSetFocus = nullptr;
    m_model.onUnload = nullptr;
    m_model.onJobStateChanged = nullptr;
    m_model.onJobStatusChanged = nullptr;
    m_model.morph.onChanged = nullptr;
    m_model.onAlignChanged = nullptr;
    delete m_preview;   // its worker ends while this thread can still serve it
    m_preview = nullptr;
    setQtReaderThread({});
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
    control.onChanged = [this, previous = std::move(previous), sync = std::move(sync)] {
        if (previous) previous();
        sync();
        if (m_preview) m_preview->controlsChanged();
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
    listen(box, [this, &box, edit] {
        const QString text = qt(box.text());
        if (edit->text() != text)
            edit->setText(text);
        edit->setEnabled(box.enabled());
        showTextInToolTip(edit);
    });
    connect(edit, &QLineEdit::textEdited, this, [this, &box, edit](const QString& text) {
        box.setText(text.toStdString());
        showTextInToolTip(edit);
    });
    // Return in any box presses Start (while no job runs).
    connect(edit, &QLineEdit::returnPressed, this, [this] {
        if (m_startButton && m_startButton->isVisible() && m_startButton->isEnabled())
            m_startButton->click();
    });
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
        m_model.click(option);
        button->setChecked(option.value());
    });
    return button;
}

QPushButton* MainWindow::pushButton(Control& control, QWidget* parent, void (WindowModel::*handler)())
{
    return pushButton(control, parent, [this, handler] { (m_model.*handler)(); });
}

QPushButton* MainWindow::pushButton(Control& control, QWidget* parent, std::function<void()> action)
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
    connect(button, &QPushButton::clicked, this, std::move(action));
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
    widget->setFocusPolicy(Qt::StrongFocus);   // reachable with Tab, moved with the arrow keys
    widget->setSingleStep(1);
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
    // The job drives the bar from its worker thread: the bar's state is copied where it
    // changes and shown on the window's thread. The job's status message ("Aligned: ...")
    // takes the place of the bar's resting text until the next Start.
    struct Shown {
        double value = 0, max = 0;
        QString text;
        bool enabled = true;
    };
    const auto last = std::make_shared<Shown>();
    const auto show = [this, widget, last](double value, double max, const QString& text, bool enabled) {
        *last = {value, max, text, enabled};
        const QString status = qt(m_model.jobStatus());
        const bool resting = text.isEmpty() || text == QStringLiteral("Progress Bar");
        const QString words = resting && !status.isEmpty() ? status : text;
        const double fraction = std::clamp(max > 0 ? value / max : 0.0, 0.0, 1.0);
        widget->setValue(static_cast<int>(fraction * 1000.0 + 0.5));
        widget->setShownText(value > 0 ? progressText(words, fraction) : words);
        widget->setToolTip(widget->text());   // a long message is cut in the bar, whole here
        widget->setEnabled(enabled);
    };
    m_model.onJobStatusChanged = [show, last] { show(last->value, last->max, last->text, last->enabled); };
    const auto sync = [&bar, widget, show] {
        const double value = bar.value(), max = bar.max();
        const QString text = qt(bar.step().empty() ? bar.text() : bar.step());   // "Frame 4 of 10"
        const bool enabled = bar.enabled();
        if (QThread::currentThread() == widget->thread())
            show(value, max, text, enabled);
        else
            QMetaObject::invokeMethod(widget, [=] { show(value, max, text, enabled); }, Qt::QueuedConnection);
    };
    listen(bar, sync);
    sync();
    return widget;
}

// ---- Layout --------------------------------------------------------------------------------

void MainWindow::buildLayout()
{
    // The controls scroll when the screen is smaller than they are (a 1920 x 1080 screen at
    // 200 % offers 960 x 540); on a bigger screen the window shows them whole.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_central = new QWidget(scroll);
    scroll->setWidget(m_central);
    setCentralWidget(scroll);
    watchPointer(m_central, nullptr);

    // The controls on the left, the preview of what Start would write on the right.
    auto* columns = new QHBoxLayout(m_central);
    columns->setContentsMargins(14, 12, 14, 12);
    columns->setSpacing(14);
    auto* page = new QVBoxLayout;
    columns->addLayout(page, 0);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(10);
    addFileRows(page);
    // Settings: the mix type with the blend and fade options beside it, then the quality.
    auto* settings = new QHBoxLayout;
    settings->setSpacing(10);
    page->addLayout(settings);
    settings->addWidget(mixTypeGroup(), 2);
    settings->addWidget(blendOptionsGroup(), 4);
    settings->addWidget(fadeOptionsGroup(), 4);
    page->addWidget(qualityGroup());
    page->addStretch(1);
    page->addWidget(progressBar(m_model.progressBar(), m_central));
    page->addLayout(commandRow());
    addPreviewPane(columns);
    connectGifOptionsToPreview(m_model, *m_preview);   // gui/GifOptionsGroup
    // The morph's meshes and timing change the frames and their number: the preview follows.
    m_model.morph.onChanged = [pane = QPointer<PreviewPane>(m_preview)] {
        if (pane) pane->controlsChanged();
    };
}

// The two pictures and the output folder, each a box with its "..." button.
void MainWindow::addFileRows(QVBoxLayout* page)
{
    WindowModel& f = m_model;
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
    QLineEdit* image1 = fileRow(f.image1Frame, f.image1Box, f.browseImage1Button, &WindowModel::browseImage1);
    QLineEdit* image2 = fileRow(f.image2Frame, f.image2Box, f.browseImage2Button, &WindowModel::browseImage2);
    QLineEdit* output = fileRow(f.outputFolderFrame, f.outputFolderBox, f.browseFolderButton, &WindowModel::browseOutputFolder);
    // The colour profiles' choice, for every result, beside the folder the result goes to.
    auto* colour = new QComboBox(output->parentWidget());
    colour->addItem(tr("Colour: keep profiles"), int(ColourChoice::Keep));
    colour->addItem(tr("Colour: sRGB"), int(ColourChoice::Srgb));
    colour->addItem(tr("Colour: ignore profiles"), int(ColourChoice::Ignore));
    colour->setToolTip(tr("Keep: a JPEG result in the first picture's colours with its profile, GIF and "
                          "video in sRGB. sRGB: every result in sRGB. Ignore: mix the numbers as they are."));
    static_cast<QHBoxLayout*>(output->parentWidget()->layout())->addWidget(colour);
    f.onColourChoiceChanged = [this, colour = QPointer<QComboBox>(colour)] {
        if (colour) colour->setCurrentIndex(colour->findData(int(m_model.colourChoice())));
    };
    connect(colour, &QComboBox::activated, this, [this, colour](int) {
        m_model.setColourChoice(ColourChoice(colour->currentData().toInt()));
        if (m_preview) m_preview->controlsChanged();   // the preview shows the result's colours
    });
    image1->setPlaceholderText(tr("First picture (JPEG)"));
    image2->setPlaceholderText(tr("Second picture (JPEG)"));
    watchPointer(image1, &f.image1Box);
    watchPointer(image2, &f.image2Box);
}

QGroupBox* MainWindow::mixTypeGroup()
{
    QGroupBox* mixType = frame(m_model.mixTypeFrame, m_central);
    auto* layout = new QVBoxLayout(mixType);
    layout->addWidget(option(m_model.blendOption, mixType));
    layout->addWidget(option(m_model.fadeOption, mixType));
    layout->addWidget(option(m_model.overlayOption, mixType));
    // Align: picture 2 turned, scaled and moved onto picture 1 before the mix (not previewed).
    auto* align = new QCheckBox(tr("Align"), mixType);
    align->setObjectName(QStringLiteral("alignCheck"));
    align->setToolTip(tr("Turn, scale and move Image #2 onto Image #1 by matching features before "
                         "mixing (not shown in the preview)"));
    align->setAccessibleName(tr("Align Image #2 to Image #1"));
    align->setChecked(m_model.align());
    m_model.onAlignChanged = [align = QPointer<QCheckBox>(align), this] {
        if (align) align->setChecked(m_model.align());
    };
    connect(align, &QCheckBox::toggled, this, [this](bool on) { m_model.setAlign(on); });
    layout->addWidget(align);
    layout->addStretch(1);
    return mixType;
}

QGroupBox* MainWindow::blendOptionsGroup()
{
    WindowModel& f = m_model;
    QGroupBox* blend = frame(f.blendOptionsFrame, m_central);
    auto* blendLayout = new QVBoxLayout(blend);
    QGroupBox* direction = frame(f.directionFrame, blend);
    auto* directionLayout = new QGridLayout(direction);
    OptionButton* directions[] = {&f.blendLeftOption, &f.blendRightOption, &f.blendTopOption, &f.blendBottomOption};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* button = option(*directions[i], direction);
        watchPointer(button, directions[i]);
        directionLayout->addWidget(button, i / 2, i % 2);
    }
    blendLayout->addWidget(direction);

    QGroupBox* size = frame(f.blendSizeFrame, blend);
    auto* sizeLayout = new QHBoxLayout(size);
    auto* seamValue = new QLabel(size);
    const auto showSeam = [this, seamValue, &f] {
        seamValue->setText(tr("%1 px").arg(f.blendSizeBar.value()));
        if (m_preview) m_preview->seamMoved();
    };
    QScrollBar* seam = scrollBar(f.blendSizeBar, size, showSeam);
    seamValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    seamValue->setMinimumWidth(seamValue->fontMetrics().horizontalAdvance(QStringLiteral("0000 px")));
    seamValue->setToolTip(tr("Where the seam starts, in pixels of the canvas"));
    showSeam();
    sizeLayout->addWidget(seam, 1);
    sizeLayout->addWidget(seamValue);
    blendLayout->addWidget(size);
    blendLayout->addWidget(blendCanvasRow(f, blend, seam));   // gui/BlendCanvasGroup
    blendLayout->addStretch(1);
    return blend;
}

QGroupBox* MainWindow::fadeOptionsGroup()
{
    WindowModel& f = m_model;
    QGroupBox* fade = frame(f.fadeOptionsFrame, m_central);
    auto* fadeLayout = new QVBoxLayout(fade);
    QGroupBox* output = frame(f.outputFrame, fade);
    auto* outputLayout = new QVBoxLayout(output);
    outputLayout->addWidget(option(f.saveAsAviOption, output));
    outputLayout->addWidget(option(f.saveAsGifOption, output));
    outputLayout->addWidget(videoOutputRow(f, output, widgetFor(f.saveAsAviOption)));   // gui/VideoOutputGroup
    fadeLayout->addWidget(output);
    fadeLayout->addWidget(gifOptionsGroup(f, fade, widgetFor(f.saveAsAviOption), widgetFor(f.saveAsGifOption)));
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
    numberBox(f.frameCountFrame, f.frameCountBox, &WindowModel::frameCountLostFocus);
    numberBox(f.framesPerSecondFrame, f.framesPerSecondBox, &WindowModel::framesPerSecondLostFocus);
    fadeLayout->addLayout(numbers);
    fadeLayout->addWidget(morphOptionsRow(f, fade, widgetFor(f.frameCountBox)));   // the morph: gui/MeshEditor
    fadeLayout->addStretch(1);
    return fade;
}

QGroupBox* MainWindow::qualityGroup()
{
    WindowModel& f = m_model;
    QGroupBox* quality = frame(f.qualityFrame, m_central);
    auto* qualityLayout = new QHBoxLayout(quality);
    qualityLayout->setSpacing(12);
    auto* modes = new QVBoxLayout;
    QRadioButton* smart = option(f.smartDetectOption, quality);
    QRadioButton* fixed = option(f.fixedQualityOption, quality);
    watchPointer(smart, &f.smartDetectOption);
    watchPointer(fixed, &f.fixedQualityOption);
    modes->addWidget(smart);
    modes->addWidget(fixed);
    qualityLayout->addLayout(modes);

    QGroupBox* sliderFrame = frame(f.qualityValueFrame, quality);
    auto* sliderLayout = new QHBoxLayout(sliderFrame);
    sliderLayout->addWidget(new QLabel(QStringLiteral("1"), sliderFrame));
    sliderLayout->addWidget(slider(f.qualitySlider, sliderFrame), 1);
    sliderLayout->addWidget(new QLabel(QStringLiteral("100"), sliderFrame));
    qualityLayout->addWidget(sliderFrame, 1);
    QPushButton* explain = pushButton(f.qualityHelpButton, quality, &WindowModel::showQualityHelp);
    explain->setFixedWidth(explain->sizeHint().height());
    explain->setToolTip(tr("What do these options mean?"));
    qualityLayout->addWidget(explain, 0, Qt::AlignTop);
    return quality;
}

// Help and the samples on the left, Start on the right.
QHBoxLayout* MainWindow::commandRow()
{
    auto* commands = new QHBoxLayout;
    commands->setSpacing(8);
    commands->addWidget(pushButton(m_model.helpButton, m_central, &WindowModel::showHelp));
    commands->addWidget(userGuideButton());
    commands->addWidget(pushButton(m_model.loadSamplesButton, m_central, &WindowModel::loadSamples));
    commands->addStretch(1);
    QPushButton* start = pushButton(m_model.startButton, m_central, [this] { m_model.startJob(); });
    m_startButton = start;
    start->setDefault(true);
    QFont bold = start->font();
    bold.setBold(true);
    start->setFont(bold);
    // Wide enough for the longest of the Start captions, so the row does not jump.
    start->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(QStringLiteral("Start Overlaying Two Image")) +
                           4 * start->fontMetrics().horizontalAdvance(u'M'));
    start->setMinimumHeight(start->sizeHint().height() * 5 / 4);
    commands->addWidget(start);
    addJobButtons(commands, start);
    return commands;
}

// "User Guide" beside Help, and F1 anywhere in the window: the guide's own window (gui/UserGuide).
QPushButton* MainWindow::userGuideButton()
{
    auto* button = new QPushButton(tr("User Guide"), m_central);
    button->setObjectName(QStringLiteral("userGuideButton"));
    button->setAutoDefault(false);
    button->setToolTip(tr("How to use Vantorell (F1)"));
    connect(button, &QPushButton::clicked, this, [this] { openUserGuide(this); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { openUserGuide(this); });
    return button;
}

// ---- Tooltips -------------------------------------------------------------------------------

void MainWindow::addToolTips()
{
    WindowModel& f = m_model;
    const std::pair<const Control*, QString> tips[] = {
        {&f.image1Box, tr("The first picture: the base of a blend, the start of a fade, the background of an overlay")},
        {&f.image2Box, tr("The second picture: blended in, faded to, or laid over the first")},
        {&f.outputFolderBox, tr("The folder result.jpg, result.avi or result.gif is written to")},
        {&f.browseImage1Button, tr("Choose the first picture")},
        {&f.browseImage2Button, tr("Choose the second picture")},
        {&f.browseFolderButton, tr("Choose the output folder")},
        {&f.blendOption, tr("One picture turns into the other across the frame, along a seam")},
        {&f.fadeOption, tr("An animation from the first picture to the second")},
        {&f.overlayOption, tr("The second picture laid over the first")},
        {&f.blendLeftOption, tr("The seam runs from the left edge")},
        {&f.blendRightOption, tr("The seam runs from the right edge")},
        {&f.blendTopOption, tr("The seam runs from the top edge")},
        {&f.blendBottomOption, tr("The seam runs from the bottom edge")},
        {&f.blendSizeBar, tr("Where the seam starts, in pixels")},
        {&f.saveAsAviOption, tr("Write the fade as result.avi")},
        {&f.saveAsGifOption, tr("Write the fade as result.gif")},
        {&f.frameCountBox, tr("How many pictures the fade has")},
        {&f.framesPerSecondBox, tr("How fast the fade plays")},
        {&f.smartDetectOption, tr("result.jpg takes a quality like that of the input pictures")},
        {&f.fixedQualityOption, tr("result.jpg is written at the quality of the slider")},
        {&f.qualitySlider, tr("The JPEG quality of result.jpg, 1 to 100")},
        {&f.helpButton, tr("How to use this window")},
        {&f.loadSamplesButton, tr("Fill in the sample pictures")},
        {&f.startButton, tr("Write the result into the output folder")},
    };
    for (const auto& [control, tip] : tips) {
        if (QWidget* widget = widgetFor(*control)) {
            widget->setProperty(kOwnToolTip, tip);
            widget->setToolTip(tip);
            if (auto* edit = qobject_cast<QLineEdit*>(widget))
                showTextInToolTip(edit);
        }
    }
    if (QWidget* quality = widgetFor(f.qualitySlider))
        quality->setAccessibleName(tr("JPEG Quality"));   // its frame's title is the value ("85%")
}

// A box's tooltip says what the box is for and holds its whole text (a long path is cut in
// the box).
void MainWindow::showTextInToolTip(QLineEdit* edit)
{
    const QString own = edit->property(kOwnToolTip).toString();
    const QString text = edit->text();
    edit->setToolTip(text.isEmpty() ? own : own.isEmpty() ? text : own + QStringLiteral(":\n") + text);
}

// ---- Window, pointer, focus, closing -------------------------------------------------------

QSize MainWindow::sizeHint() const
{
    // The whole content, as large as the screen allows (less room for the window's frame).
    QSize whole = m_central->sizeHint().expandedTo(m_central->minimumSizeHint());
    if (const QScreen* shown = screen()) {
        const QSize room = shown->availableGeometry().size() - QSize(16, 48);
        whole = whole.boundedTo(room);
    }
    return whole;
}

void MainWindow::syncWindow()
{
    setWindowTitle(qt(m_model.caption));
    if (m_model.skinned) {
        // The skinned window takes the platform's button-face colour behind its controls.
        QPalette palette = m_central->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Button));
        m_central->setPalette(palette);
        m_central->setAutoFillBackground(true);
    }
}

void MainWindow::syncPointer()
{
    switch (m_model.pointerShape()) {
    case WindowModel::PointerShape::Hourglass:
        break;   // the override cursor of the busy pointer is up
    case WindowModel::PointerShape::Hand: {
        const QPixmap hand(QString::fromStdString(m_model.customPointerFile.string()));
        if (!hand.isNull()) {
            m_central->setCursor(QCursor(hand, m_model.customPointerHotX, m_model.customPointerHotY));
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
                over = over ? m_model.container(*over) : nullptr;
            if (event->type() == QEvent::Enter || area->first != m_central)
                m_model.mouseMoved(over);
        }
    } else if (event->type() == QEvent::FocusOut) {
        const auto check = m_lostFocus.find(watched);
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // The user left the box (tab, click, shortcut). Switching windows, a popup or the
        // program moving the focus back to the other box is not leaving it.
        if (check != m_lostFocus.end() &&
            (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
             reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason)) {
            (m_model.*(check->second))();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running job is cancelled first; the window closes when it has cleaned up and ended.
    if (m_model.jobRunning()) {
        m_closeAfterJob = true;
        m_model.cancelJob();
        event->ignore();
        return;
    }
    bool cancel = false;
    m_model.queryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    m_model.unload();
}

}  // namespace vantorell
