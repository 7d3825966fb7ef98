// The Qt Widgets view over the WindowModel model: builds the controls, mirrors the model's state
// (texts, captions, checked and enabled states, values) and forwards the user's actions to
// the model's event handlers. It holds no state of its own.
#pragma once

#include <QMainWindow>

#include <functional>
#include <map>

class QFileInfo;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QVBoxLayout;

namespace vantorell {

class Control;
class WindowModel;
class OptionButton;
class PreviewPane;
class ProgressBar;
class RangeControl;
class TextBox;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The widget that shows a model control (tests and screenshots use it).
    QWidget* widgetFor(const Control& control) const;
    WindowModel& model() { return m_model; }
    QSize sizeHint() const override;
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* openResultButton() const { return m_openResultButton; }
    QPushButton* showInFolderButton() const { return m_showInFolderButton; }
    PreviewPane* previewPane() const { return m_preview; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* frame(Control& control, QWidget* parent);
    QLineEdit* textBox(TextBox& box, QWidget* parent);
    QRadioButton* option(OptionButton& option, QWidget* parent);
    QPushButton* pushButton(Control& button, QWidget* parent, void (WindowModel::*handler)());
    QPushButton* pushButton(Control& button, QWidget* parent, std::function<void()> action);
    QSlider* slider(RangeControl& range, QWidget* parent);
    QScrollBar* scrollBar(RangeControl& range, QWidget* parent, std::function<void()> synced);
    QProgressBar* progressBar(ProgressBar& bar, QWidget* parent);
    void bindEnabled(Control& control, QWidget* widget);
    void listen(Control& control, std::function<void()> sync);
    void watchPointer(QWidget* widget, const Control* control);
    void addToolTips();
    void showTextInToolTip(QLineEdit* edit);
    void syncWindow();
    void syncPointer();
    void buildLayout();
    void addFileRows(QVBoxLayout* page);
    QGroupBox* mixTypeGroup();
    QGroupBox* blendOptionsGroup();
    QGroupBox* fadeOptionsGroup();
    QGroupBox* qualityGroup();
    QHBoxLayout* commandRow();
    QPushButton* userGuideButton();

    // The job's own controls (gui/JobControls.cpp): Cancel in Start's place while a job runs,
    // and after "Done." the buttons that open the result and show it in its folder.
    void addJobButtons(QHBoxLayout* row, QPushButton* start);
    void syncJobState();
    void reportNotOpened(const QString& message, const QFileInfo& file);
    static QString progressText(const QString& text, double fraction);
    QPushButton* m_startButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_openResultButton = nullptr;
    QPushButton* m_showInFolderButton = nullptr;
    bool m_closeAfterJob = false;

    // The preview pane and drag and drop (gui/WindowDrops.cpp).
    void addPreviewPane(QHBoxLayout* columns);
    void fillFromDrop(const QStringList& files, TextBox* target);
    PreviewPane* m_preview = nullptr;

    WindowModel& m_model;
    std::map<const Control*, QWidget*> m_widgets;
    std::map<Control*, std::function<void()>> m_previousObservers;
    std::map<const QObject*, const Control*> m_pointerAreas;
    std::map<const QObject*, void (WindowModel::*)()> m_lostFocus;
    QWidget* m_central = nullptr;
};

}  // namespace vantorell
