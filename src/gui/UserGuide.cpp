#include "gui/UserGuide.h"

#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

// The guide lives in the static library's resources; they must be registered.
static void initGuideResources() { Q_INIT_RESOURCE(guide); }

namespace vantorell {

namespace {

constexpr const char* kGuideFolder = ":/vantorell/guide";

QString guideText()
{
    QFile file(QString::fromLatin1(kGuideFolder) + QStringLiteral("/user-guide.md"));
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("The user guide is missing from this build.");
    return QString::fromUtf8(file.readAll());
}

}  // namespace

QWidget* openUserGuide(QWidget* parent)
{
    initGuideResources();
    if (parent)
        if (auto* open = parent->findChild<QDialog*>(QStringLiteral("userGuideWindow"), Qt::FindDirectChildrenOnly)) {
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    auto* window = new QDialog(parent);
    window->setObjectName(QStringLiteral("userGuideWindow"));
    window->setWindowTitle(QObject::tr("Vantorell User Guide"));
    window->setModal(false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QTextBrowser(window);
    text->setObjectName(QStringLiteral("userGuideText"));
    text->setAccessibleName(QObject::tr("User guide"));
    text->setOpenExternalLinks(true);
    // The guide's relative image links ("screenshots/blend.png") resolve in its resource folder.
    text->setSearchPaths({QString::fromLatin1(kGuideFolder)});
    text->setMarkdown(guideText());
    layout->addWidget(text);
    // Wide enough for the screenshots at their size, within the screen.
    QSize size(980, 860);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 80));
    window->resize(size);
    window->show();
    return window;
}

}  // namespace vantorell
