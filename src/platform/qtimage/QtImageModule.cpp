// Qt's image readers behind a C interface, built as a module the picture loader loads on demand.
#include "QtImageModule.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

namespace {

// The format a file's first bytes name, for the formats whose signature is unambiguous. Telling
// Qt the format spares it from loading every image plugin to probe the content.
QByteArray formatFromSignature(const unsigned char* data, size_t size)
{
    const auto starts = [&](std::string_view magic, size_t at = 0) {
        return size >= at + magic.size() && std::memcmp(data + at, magic.data(), magic.size()) == 0;
    };
    if (starts("\xFF\xD8\xFF"))
        return "jpeg";
    if (starts("\x89PNG\r\n\x1a\n"))
        return "png";
    if (starts("GIF87a") || starts("GIF89a"))
        return "gif";
    if (starts("RIFF") && starts("WEBP", 8))
        return "webp";
    if (starts("BM"))
        return "bmp";
    return {};
}

// Whether a WebP keeps alpha, from its first chunk (Qt's reader tells only after decoding): an
// extended file's alpha flag, or a lossless bitstream's alpha bit.
bool webpHasAlpha(const unsigned char* data, size_t size)
{
    if (size < 25 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WEBP", 4) != 0)
        return false;
    if (std::memcmp(data + 12, "VP8X", 4) == 0)
        return (data[20] & 0x10) != 0;
    if (std::memcmp(data + 12, "VP8L", 4) == 0 && data[20] == 0x2F)
        return (data[24] & 0x10) != 0;   // bit 28 of the 32 after the signature byte
    return false;
}

struct Reader {
    QByteArray data;
    QBuffer buffer;
    QImageReader reader;

    bool open(const unsigned char* bytes, size_t size)
    {
        // Qt's decoders report damage they decode around as warnings of the image I/O logging
        // categories; the loader's caller gets our own answer instead. Only those categories
        // are quietened, so a window's other messages stay as they are.
        static const bool quiet = [] {
            if (!qEnvironmentVariableIsSet("VANTORELL_QT_MESSAGES"))
                QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
            return true;
        }();
        (void)quiet;
        if (size == 0 || size > size_t(std::numeric_limits<int>::max()))
            return false;
        data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), qsizetype(size));
        buffer.setData(data);
        if (!buffer.open(QIODevice::ReadOnly))
            return false;
        reader.setDevice(&buffer);
        if (const QByteArray format = formatFromSignature(bytes, size); !format.isEmpty())
            reader.setFormat(format);
        reader.setAutoTransform(false);
        return reader.canRead();
    }

    // `alpha`: also whether the format keeps alpha (the handler may read more of the file).
    bool header(VantorellQtImage* image, bool alpha = false)
    {
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return false;
        std::memset(image, 0, sizeof *image);
        const QByteArray format = reader.format().left(int(sizeof image->format) - 1);
        std::memcpy(image->format, format.constData(), size_t(format.size()));
        image->width = size.width();
        image->height = size.height();
        const QImage::Format kind = alpha ? reader.imageFormat() : QImage::Format_Invalid;
        image->hasAlpha = kind != QImage::Format_Invalid
                              ? QImage::toPixelFormat(kind).alphaUsage() == QPixelFormat::UsesAlpha
                              : alpha && format == "webp" &&
                                    webpHasAlpha(reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()));
        return true;
    }
};

// The reader of an animation, over its own copy of the data.
struct Animation {
    QByteArray owned;
    Reader reader;
    QImage frame;   // the frame handed out last
};

}  // namespace

extern "C" {

Q_DECL_EXPORT int vantorell_qt_read_header(const unsigned char* data, size_t size, VantorellQtImage* image)
{
    Reader r;
    if (!r.open(data, size) || !r.header(image, true))
        return VANTORELL_QT_INVALID;
    return VANTORELL_QT_OK;
}

Q_DECL_EXPORT int vantorell_qt_decode(const unsigned char* data, size_t size, int allocationLimitMiB,
                                      VantorellQtImage* image)
{
    QImageReader::setAllocationLimit(allocationLimitMiB);
    Reader r;
    if (!r.open(data, size) || !r.header(image))
        return VANTORELL_QT_INVALID;
    auto decoded = std::make_unique<QImage>();
    if (!r.reader.read(decoded.get()) || decoded->isNull())
        return VANTORELL_QT_INVALID;
    if (decoded->format() != QImage::Format_RGB32) {
        *decoded = decoded->convertToFormat(QImage::Format_RGB32);
        if (decoded->isNull())
            return VANTORELL_QT_OUT_OF_MEMORY;
    }
    if (decoded->bytesPerLine() != qsizetype(decoded->width()) * 4)
        return VANTORELL_QT_INVALID;   // RGB32 rows are always 4 x width; never expected
    image->width = decoded->width();
    image->height = decoded->height();
    image->pixels = decoded->bits();
    image->handle = decoded.release();
    return VANTORELL_QT_OK;
}

Q_DECL_EXPORT void vantorell_qt_release(void* handle)
{
    delete static_cast<QImage*>(handle);
}

Q_DECL_EXPORT int vantorell_qt_open_animation(const unsigned char* data, size_t size, int allocationLimitMiB,
                                              void** animation, VantorellQtImage* header, int* frames)
{
    QImageReader::setAllocationLimit(allocationLimitMiB);
    auto opened = std::make_unique<Animation>();
    if (size == 0 || size > size_t(std::numeric_limits<int>::max()))
        return VANTORELL_QT_INVALID;
    opened->owned = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto* bytes = reinterpret_cast<const unsigned char*>(opened->owned.constData());
    if (!opened->reader.open(bytes, size) || !opened->reader.header(header))
        return VANTORELL_QT_INVALID;
    *frames = std::max(1, opened->reader.reader.imageCount());
    *animation = opened.release();
    return VANTORELL_QT_OK;
}

Q_DECL_EXPORT int vantorell_qt_next_frame(void* animation, VantorellQtImage* image, int* delayMs)
{
    auto* a = static_cast<Animation*>(animation);
    QImage decoded;
    if (!a->reader.reader.read(&decoded) || decoded.isNull())
        return VANTORELL_QT_INVALID;
    *delayMs = a->reader.reader.nextImageDelay();
    a->frame = decoded.convertToFormat(QImage::Format_ARGB32);
    if (a->frame.isNull())
        return VANTORELL_QT_OUT_OF_MEMORY;
    if (a->frame.bytesPerLine() != qsizetype(a->frame.width()) * 4)
        return VANTORELL_QT_INVALID;
    image->width = a->frame.width();
    image->height = a->frame.height();
    image->pixels = a->frame.bits();
    image->handle = nullptr;
    return VANTORELL_QT_OK;
}

Q_DECL_EXPORT void vantorell_qt_close_animation(void* animation)
{
    delete static_cast<Animation*>(animation);
}

}
