#include "gui/QtUiPort.h"

#include "gui/CompressorDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

namespace vantorell {
namespace {

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::filesystem::path toPath(const QString& text) { return std::filesystem::path(text.toStdString()); }

}  // namespace

QtUiPort::~QtUiPort()
{
    while (m_busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_busyDepth;
    }
}

QString QtUiPort::displayText(std::string_view text)
{
    QString shown = qt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

QString QtUiPort::qtNameFilters(std::string_view filter)
{
    const QStringList parts = qt(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const qsizetype bracket = description.indexOf(u'(');
        if (bracket > 0)
            description = description.left(bracket).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        if (!description.isEmpty() || !patterns.trimmed().isEmpty())
            filters << description + QStringLiteral(" (") + patterns.trimmed() + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

std::unique_ptr<QMessageBox> QtUiPort::makeMessageBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                                                      std::string_view title, QWidget* parent)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::None: qtIcon = QMessageBox::NoIcon; break;
    case MsgIcon::Critical: qtIcon = QMessageBox::Critical; break;
    case MsgIcon::Question: qtIcon = QMessageBox::Question; break;
    case MsgIcon::Exclamation: qtIcon = QMessageBox::Warning; break;
    case MsgIcon::Information: qtIcon = QMessageBox::Information; break;
    }
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    switch (buttons) {
    case MsgButtons::Ok: qtButtons = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: qtButtons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: qtButtons = QMessageBox::Yes | QMessageBox::No; break;
    case MsgButtons::YesNoCancel: qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    auto box = std::make_unique<QMessageBox>(qtIcon, qt(title), displayText(text), qtButtons, parent);
    box->setTextFormat(Qt::PlainText);
    // A short text ("Done.") makes a box narrower than its title; keep the title readable.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        const int width = box->fontMetrics().horizontalAdvance(box->windowTitle()) +
                          12 * box->fontMetrics().averageCharWidth();
        grid->addItem(new QSpacerItem(std::max(width, 24 * box->fontMetrics().averageCharWidth()), 0,
                                      QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

MsgResult QtUiPort::messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title)
{
    const auto box = makeMessageBox(text, buttons, icon, title, m_window);
    // A box raised during a job shows the normal pointer, not the hourglass.
    if (m_busyDepth > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box->exec();
    if (m_busyDepth > 0)
        QApplication::restoreOverrideCursor();
    switch (answer) {
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: return MsgResult::Ok;
    }
}

void QtUiPort::yield()
{
    QCoreApplication::processEvents();
}

void QtUiPort::setBusyPointer(bool busy)
{
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_busyDepth;
    } else if (m_busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_busyDepth;
    }
}

void QtUiPort::progressChanged(const ProgressBar&)
{
    // The window mirrors the progress bar's state as it changes; it repaints at the next yield.
}

std::vector<std::filesystem::path> QtUiPort::openFiles(const OpenFileRequest& request)
{
    const QString folder = qt(request.initialFolder.string());
    const QString filters = qtNameFilters(request.filter);
    std::vector<std::filesystem::path> chosen;
    if (request.multiSelect) {
        for (const QString& file : QFileDialog::getOpenFileNames(m_window, qt(request.title), folder, filters))
            chosen.push_back(toPath(file));
    } else if (const QString file = QFileDialog::getOpenFileName(m_window, qt(request.title), folder, filters);
               !file.isEmpty()) {
        chosen.push_back(toPath(file));
    }
    return chosen;
}

std::optional<std::filesystem::path> QtUiPort::browseFolder(std::string_view title, const std::filesystem::path& start)
{
    const QString folder = QFileDialog::getExistingDirectory(m_window, qt(title), qt(start.string()),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return toPath(folder);
}

std::optional<CompressorChoice> QtUiPort::chooseCompressor(const std::vector<CompressorOption>& offered)
{
    CompressorDialog dialog(offered, m_window);
    if (m_busyDepth > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (m_busyDepth > 0)
        QApplication::restoreOverrideCursor();
    if (!accepted)
        return std::nullopt;
    return dialog.choice();
}

bool QtUiPort::shellStart(std::string_view target)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(qt(target)));
}

}  // namespace vantorell
