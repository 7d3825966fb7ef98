// The preview pane beside the controls, and pictures and folders dropped on the window: one
// picture on an Image box (or on the preview) fills it, two fill both in order, a folder on the
// output box fills it.
#include "gui/MainWindow.h"

#include "app/WindowModel.h"
#include "gui/PreviewPane.h"

#include <QPushButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace vantorell {

namespace {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files << url.toLocalFile();
    return files;
}

// Lets a widget take dropped pictures (or one folder) and hands them on. It is the widget's
// child "dropTarget", and its filter takes the drag and drop events before the widget does.
class DropTarget final : public QObject {
public:
    DropTarget(QWidget* widget, bool folders, std::function<void(const QStringList&)> dropped)
        : QObject(widget), m_folders(folders), m_dropped(std::move(dropped))
    {
        setObjectName(QStringLiteral("dropTarget"));
        widget->setAcceptDrops(true);
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (accepts(localFiles(drag->mimeData()))) {
                drag->acceptProposedAction();
                return true;
            }
            return false;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = localFiles(drop->mimeData());
            if (!accepts(files))
                return false;
            drop->acceptProposedAction();
            m_dropped(files);
            return true;   // not the line edit's own text drop
        }
        return false;
    }

private:
    bool accepts(const QStringList& files) const
    {
        if (files.isEmpty())
            return false;
        return m_folders ? files.size() == 1 && QFileInfo(files.front()).isDir() : !QFileInfo(files.front()).isDir();
    }

    bool m_folders;
    std::function<void(const QStringList&)> m_dropped;
};

}  // namespace

void MainWindow::addPreviewPane(QHBoxLayout* columns)
{
    m_preview = new PreviewPane(m_model, m_central);
    m_preview->setMinimumWidth(480);
    columns->addWidget(m_preview, 1);
    m_preview->addBesideCaption(m_openResultButton);
    m_preview->addBesideCaption(m_showInFolderButton);
    new DropTarget(m_preview, false, [this](const QStringList& files) { fillFromDrop(files, nullptr); });

    WindowModel& f = m_model;
    // Each Image box shows a small picture of its file and the file's size in pixels.
    const auto pictureLabel = [this](TextBox& box) -> QLabel* {
        QWidget* edit = widgetFor(box);
        auto* row = edit ? qobject_cast<QHBoxLayout*>(edit->parentWidget()->layout()) : nullptr;
        if (!row)
            return nullptr;
        auto* label = new QLabel(edit->parentWidget());
        label->setObjectName(QStringLiteral("pictureInfo"));
        // Its room is kept from the start, so the window does not grow when a picture arrives.
        label->setMinimumSize(label->fontMetrics().horizontalAdvance(QStringLiteral("0000 x 0000")) + 56, 36);
        row->insertWidget(0, label);
        return label;
    };
    QLabel* info1 = pictureLabel(f.image1Box);
    QLabel* info2 = pictureLabel(f.image2Box);
    m_preview->onShown = [info1, info2](const PreviewResult& result) {
        const auto show = [](QLabel* label, const Bitmap& thumbnail, int width, int height) {
            if (!label)
                return;
            if (thumbnail.empty()) {
                label->clear();
                return;
            }
            // The thumbnail with the size beside it, as one rich label.
            QImage image = PreviewPane::toImage(thumbnail);
            label->setPixmap(QPixmap());
            label->setText(QString());
            label->setToolTip(QStringLiteral("%1 x %2 pixels").arg(width).arg(height));
            QPixmap both(image.width() + 8 + label->fontMetrics().horizontalAdvance(QStringLiteral("0000 x 0000")),
                         std::max(image.height(), label->fontMetrics().height()));
            both.fill(Qt::transparent);
            QPainter p(&both);
            p.drawImage(0, (both.height() - image.height()) / 2, image);
            p.setPen(label->palette().color(QPalette::WindowText));
            p.setFont(label->font());
            p.drawText(QRect(image.width() + 8, 0, both.width() - image.width() - 8, both.height()),
                       Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("%1 x %2").arg(width).arg(height));
            p.end();
            label->setPixmap(both);
        };
        show(info1, result.thumbnail1, result.width1, result.height1);
        show(info2, result.thumbnail2, result.width2, result.height2);
    };
    if (auto* image1 = qobject_cast<QLineEdit*>(widgetFor(f.image1Box)))
        new DropTarget(image1, false, [this, &f](const QStringList& files) { fillFromDrop(files, &f.image1Box); });
    if (auto* image2 = qobject_cast<QLineEdit*>(widgetFor(f.image2Box)))
        new DropTarget(image2, false, [this, &f](const QStringList& files) { fillFromDrop(files, &f.image2Box); });
    if (auto* folder = qobject_cast<QLineEdit*>(widgetFor(f.outputFolderBox)))
        new DropTarget(folder, true, [&f](const QStringList& files) { f.outputFolderBox.setText(files.front().toStdString()); });
    m_preview->controlsChanged();
}

void MainWindow::fillFromDrop(const QStringList& files, TextBox* target)
{
    WindowModel& f = m_model;
    if (files.size() >= 2) {   // two pictures: both boxes, in order
        f.image1Box.setText(files[0].toStdString());
        f.image2Box.setText(files[1].toStdString());
        return;
    }
    if (!target)   // one picture on the preview: the first empty box, else Image #2
        target = f.image1Box.text().empty() ? &f.image1Box : &f.image2Box;
    target->setText(files.front().toStdString());
}

}  // namespace vantorell
