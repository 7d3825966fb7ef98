// The window's controls for a running job and its result: Cancel in Start's place while the
// job runs, the progress bar's percentage, and after "Done." the buttons that open the result
// and show it in its folder through the desktop's default handlers.
#include "gui/MainWindow.h"

#include "app/WindowModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace vantorell {

QString MainWindow::progressText(const QString& text, double fraction)
{
    const QString percent = QString::number(static_cast<int>(fraction * 100.0 + 0.5)) + u'%';
    if (text.contains(u'%'))
        return text;   // the text says it already
    if (text.isEmpty() || text == QStringLiteral("Progress Bar"))
        return percent;
    return text + QStringLiteral(" \u2014 ") + percent;   // "Frame 4 of 10 — 40%"
}

void MainWindow::addJobButtons(QHBoxLayout* row, QPushButton* start)
{
    m_openResultButton = new QPushButton(tr("Open Result"), m_central);
    m_showInFolderButton = new QPushButton(tr("Show In Folder"), m_central);
    m_cancelButton = new QPushButton(tr("Cancel"), m_central);
    for (QPushButton* button : {m_openResultButton, m_showInFolderButton, m_cancelButton}) {
        button->setAutoDefault(false);
        button->hide();
    }
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setMinimumSize(start->minimumSize());
    m_cancelButton->setFont(start->font());
    // Cancel takes Start's place while a job runs; the result's buttons go under the preview,
    // beside its caption (addPreviewPane), where the command row leaves no room for them.
    row->addWidget(m_cancelButton);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        m_cancelButton->setEnabled(false);   // once is enough; the job ends within a frame
        m_model.cancelJob();
    });
    m_openResultButton->setToolTip(tr("Open the result with the desktop's program for it"));
    m_showInFolderButton->setToolTip(tr("Show the output folder in the file manager"));
    m_cancelButton->setToolTip(tr("Stop the job; the earlier result stays as it was"));
    connect(m_openResultButton, &QPushButton::clicked, this, [this] {
        if (const auto& file = m_model.lastOutcome().writtenFile) {
            const QFileInfo result(QString::fromStdString(*file));
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(result.absoluteFilePath())))
                reportNotOpened(tr("%1 could not be opened: this desktop has no program set for it."), result);
        }
    });
    connect(m_showInFolderButton, &QPushButton::clicked, this, [this] {
        if (const auto& file = m_model.lastOutcome().writtenFile) {
            const QFileInfo result(QString::fromStdString(*file));
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(result.absolutePath())))
                reportNotOpened(tr("The folder of %1 could not be shown: this desktop has no file manager set."),
                                result);
        }
    });
}

// The desktop refused: a box names the file, so the user can open it another way. It is shown
// with open(), without an event loop of its own.
void MainWindow::reportNotOpened(const QString& message, const QFileInfo& file)
{
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                message.arg(QDir::toNativeSeparators(file.absoluteFilePath())), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("notOpenedBox"));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::syncJobState()
{
    const bool running = m_model.jobRunning();
    m_startButton->setVisible(!running);
    m_cancelButton->setVisible(running);
    m_cancelButton->setEnabled(running);
    if (running)
        m_cancelButton->setFocus(Qt::OtherFocusReason);
    const bool done = !running && m_model.lastOutcome().wroteResult() && !m_model.lastOutcome().cancelled;
    m_openResultButton->setVisible(done);
    m_showInFolderButton->setVisible(done);
    if (!running && m_closeAfterJob) {
        m_closeAfterJob = false;
        close();
    }
}

}  // namespace vantorell
