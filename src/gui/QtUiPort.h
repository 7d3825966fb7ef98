// The UI port on Qt Widgets: message boxes, yields to the event loop, the wait cursor, the
// open-file dialog, the folder chooser, the compressor dialog and the desktop shell.
#pragma once

#include "avi/AviCodecs.h"
#include "job/UiPort.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QMessageBox;

namespace vantorell {

class QtUiPort final : public UiPort {
public:
    QtUiPort() = default;
    ~QtUiPort() override;

    // The window that owns the dialogs (none until the window exists).
    void setWindow(QWidget* window) { m_window = window; }

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override;
    void yield() override;
    void setBusyPointer(bool busy) override;
    void progressChanged(const ProgressBar& bar) override;
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) override;
    std::optional<std::filesystem::path> browseFolder(std::string_view title,
                                                      const std::filesystem::path& start) override;
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override;
    bool shellStart(std::string_view target) override;

    // "Description (*.a;*.b)|*.a;*.b|..." pairs as a Qt name-filter list ("Description (*.a *.b)").
    static QString qtNameFilters(std::string_view filter);
    // The box that messageBox shows (exposed for screenshots and tests).
    static std::unique_ptr<QMessageBox> makeMessageBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                                                       std::string_view title, QWidget* parent);
    // The core's texts break lines with CR LF or a lone CR; a Qt label wants LF.
    static QString displayText(std::string_view text);

private:
    QPointer<QWidget> m_window;
    int m_busyDepth = 0;
};

}  // namespace vantorell
