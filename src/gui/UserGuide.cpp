#include "gui/UserGuide.h"

#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <vector>

// The guide lives in the static library's resources; they must be registered.
static void initGuideResources() { Q_INIT_RESOURCE(guide); }

namespace vantorell {

namespace {

constexpr const char* kGuideFolder = ":/vantorell/guide";

// The screenshots are shown at most this wide, so the guide reads without scrolling sideways.
constexpr int kMaxPictureWidth = 900;

void fitPictures(QTextBrowser& text)
{
    // Found first, changed after: a changed format may merge or split the fragments walked.
    struct Found {
        int position;
        QTextImageFormat format;
    };
    std::vector<Found> pictures;
    for (QTextBlock block = text.document()->begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (const QTextImageFormat format = fragment.fragment().charFormat().toImageFormat(); format.isValid())
                pictures.push_back({fragment.fragment().position(), format});
    QTextCursor cursor(text.document());
    for (Found& picture : pictures) {
        const QImage image = QImage::fromData(
            text.loadResource(QTextDocument::ImageResource, QUrl(picture.format.name())).toByteArray());
        if (image.isNull() || image.width() <= kMaxPictureWidth)
            continue;
        picture.format.setWidth(kMaxPictureWidth);
        picture.format.setHeight(double(image.height()) * kMaxPictureWidth / image.width());
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + 1, QTextCursor::KeepAnchor);   // an image is one character
        cursor.setCharFormat(picture.format);
    }
}

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
    fitPictures(*text);
    layout->addWidget(text);
    // Wide enough for the screenshots at their size, within the screen.
    QSize size(kMaxPictureWidth + 80, 860);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 80));
    window->resize(size);
    window->show();
    return window;
}

}  // namespace vantorell
