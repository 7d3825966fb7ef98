#include "platform/PictureLoader.h"

#include "platform/PictureLimits.h"
#include "platform/RuntimeError.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

namespace vantorell {

namespace {

[[noreturn]] void invalidPicture(const std::string& why = {})
{
    throw RuntimeError(errnum::InvalidPicture, why.empty() ? "Invalid picture" : "Invalid picture: " + why);
}

[[noreturn]] void tooLarge(int width, int height)
{
    throw RuntimeError(errnum::InvalidPicture,
                       "Picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
                           " pixels (the limit is " + std::to_string(limits::kMaxPictureSide) +
                           " pixels a side and " + std::to_string(limits::kMaxPicturePixels / 1000000) +
                           " megapixels)");
}

// Qt refuses any image above its allocation limit (128 MB in Qt 6.4, which stops at about 32
// megapixels). Our own limits are checked from the header first, so Qt's limit is raised to
// just above the largest picture we accept: a 256-megapixel photograph decodes, nothing larger
// reaches the decoder.
void raiseQtAllocationLimit()
{
    static const bool done = [] {
        const std::uint64_t mib = (limits::kMaxPictureBytes >> 20) + 64;
        QImageReader::setAllocationLimit(int(mib));
        return true;
    }();
    (void)done;
}

bool isJpeg(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// The largest DCT scale 1/s (s = 8, 4, 2) whose output of ceil(w / s) x ceil(h / s) pixels still
// covers the requested size; 1 when only the full size does.
int jpegScaleDenominator(int width, int height, const DecodeRequest& request)
{
    if (request.coverWidth <= 0 || request.coverHeight <= 0)
        return 1;
    for (int s : {8, 4, 2}) {
        const int w = (width + s - 1) / s;
        const int h = (height + s - 1) / s;
        if (w >= request.coverWidth && h >= request.coverHeight)
            return s;
    }
    return 1;
}

bool isBmp(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 26 && bytes[0] == 'B' && bytes[1] == 'M';
}

std::int32_t le32(const std::uint8_t* p)
{
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

// Qt's BMP reader turns a header it will not allocate for into a plain failure; the sizes are
// read here first so that an oversized bitmap is named as such. BITMAPCOREHEADER (12 bytes)
// holds 16-bit sizes, the later headers 32-bit ones, a negative height meaning top-down rows.
void checkBmpDeclaredSize(std::span<const std::uint8_t> bytes)
{
    const std::int32_t headerSize = le32(&bytes[14]);
    std::int64_t width = 0, height = 0;
    if (headerSize == 12) {
        width = bytes[18] | bytes[19] << 8;
        height = bytes[20] | bytes[21] << 8;
    } else {
        width = le32(&bytes[18]);
        height = le32(&bytes[22]);
        if (height < 0)
            height = -height;
    }
    if (width > limits::kMaxPictureSide || height > limits::kMaxPictureSide ||
        std::uint64_t(width) * std::uint64_t(height) > limits::kMaxPicturePixels)
        tooLarge(int(std::min<std::int64_t>(width, INT32_MAX)), int(std::min<std::int64_t>(height, INT32_MAX)));
}

struct OpenReader {
    QByteArray data;
    QBuffer buffer;
    QImageReader reader;
};

// Sets up a reader on the bytes and checks the header against the limits.
PictureHeader checkHeader(std::span<const std::uint8_t> bytes, OpenReader& open)
{
    raiseQtAllocationLimit();
    if (bytes.empty())
        invalidPicture();
    if (bytes.size() > std::size_t(std::numeric_limits<int>::max()))
        invalidPicture("file too large");

    PictureHeader header;
    if (isJpeg(bytes)) {
        // A progressive JPEG decodes every scan over the whole coefficient buffer; a small file
        // with thousands of scans would keep the decoder busy for minutes. Count them first.
        header.jpegScans = CountJpegScans(bytes, limits::kMaxJpegScans);
        if (header.jpegScans > limits::kMaxJpegScans)
            invalidPicture("more than " + std::to_string(limits::kMaxJpegScans) + " scans in a progressive JPEG");
    }

    if (isBmp(bytes))
        checkBmpDeclaredSize(bytes);

    open.data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    open.buffer.setData(open.data);
    if (!open.buffer.open(QIODevice::ReadOnly))
        invalidPicture();
    open.reader.setDevice(&open.buffer);
    open.reader.setAutoTransform(false);
    if (!open.reader.canRead())
        invalidPicture();
    header.format = open.reader.format().toStdString();

    const QSize size = open.reader.size();
    if (!size.isValid() || size.isEmpty())
        invalidPicture();
    header.width = size.width();
    header.height = size.height();
    const std::uint64_t pixels = std::uint64_t(header.width) * std::uint64_t(header.height);
    if (header.width > limits::kMaxPictureSide || header.height > limits::kMaxPictureSide ||
        pixels > limits::kMaxPicturePixels)
        tooLarge(header.width, header.height);
    return header;
}

Picture decode(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    OpenReader open;
    const PictureHeader header = checkHeader(bytes, open);

    if (header.format == "jpeg") {
        const int s = jpegScaleDenominator(header.width, header.height, request);
        if (s > 1)   // libjpeg scales by 1/s inside the IDCT: this size needs no further resampling
            open.reader.setScaledSize(QSize((header.width + s - 1) / s, (header.height + s - 1) / s));
    }

    QImage image;
    if (!open.reader.read(&image) || image.isNull())
        invalidPicture();
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        throw RuntimeError(errnum::OutOfMemory, "Out of memory");

    const int width = image.width();
    const int height = image.height();
    if (image.bytesPerLine() != qsizetype(width) * 4) {
        Bitmap copy = Bitmap::uninitialized(width, height);
        std::uint8_t* out = copy.mutableBits();
        for (int y = 0; y < height; ++y)
            std::memcpy(out + copy.stride() * std::size_t(y), image.constScanLine(y), copy.stride());
        return Picture(std::move(copy), header.width, header.height);
    }
    // Qt's RGB32 is 0xFFRRGGBB in native order: blue, green, red, 0xFF in memory, as Bitmap
    // wants. Take the decoder's buffer over instead of copying it.
    std::uint8_t* pixels = image.bits();
    std::shared_ptr<std::uint8_t[]> owner(pixels, [keep = std::move(image)](std::uint8_t*) mutable { keep = QImage(); });
    return Picture(Bitmap::adopt(width, height, std::move(owner)), header.width, header.height);
}

}  // namespace

int CountJpegScans(std::span<const std::uint8_t> bytes, int stopAfter)
{
    const std::size_t n = bytes.size();
    std::size_t i = 2;   // after SOI
    int scans = 0;
    while (i + 1 < n) {
        if (bytes[i] != 0xFF) {   // not at a marker: damaged, let the decoder judge it
            ++i;
            continue;
        }
        const std::uint8_t marker = bytes[i + 1];
        if (marker == 0xFF) {     // fill byte before a marker
            ++i;
            continue;
        }
        if (marker == 0xD9)       // EOI
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x00) {   // no length
            i += 2;
            continue;
        }
        if (i + 3 >= n)
            break;
        const std::size_t length = std::size_t(bytes[i + 2]) << 8 | bytes[i + 3];
        i += 2 + length;
        if (marker == 0xDA) {     // SOS: entropy-coded data follows up to the next real marker
            if (++scans > stopAfter)
                break;
            while (i + 1 < n && !(bytes[i] == 0xFF && bytes[i + 1] != 0x00 &&
                                  !(bytes[i + 1] >= 0xD0 && bytes[i + 1] <= 0xD7) && bytes[i + 1] != 0xFF))
                ++i;
        }
    }
    return scans;
}

PictureHeader ReadPictureHeader(std::span<const std::uint8_t> bytes)
{
    OpenReader open;
    return checkHeader(bytes, open);
}

Picture LoadPictureFromBytes(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    return decode(bytes, request);
}

Picture LoadPicture(const std::filesystem::path& file, const DecodeRequest& request)
{
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (file.empty() || status.type() == std::filesystem::file_type::not_found)
        throw RuntimeError(errnum::FileNotFound, "File not found");
    if (ec || status.type() == std::filesystem::file_type::directory)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");

    QFile qfile(QString::fromStdString(file.string()));
    if (!qfile.open(QIODevice::ReadOnly))
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    const qint64 size = qfile.size();
    if (size <= 0)
        invalidPicture();
    // Mapping the file lets the decoder read it in place: a big photograph is not copied.
    if (uchar* mapped = qfile.map(0, size)) {
        const std::span<const std::uint8_t> bytes(mapped, std::size_t(size));
        Picture picture = decode(bytes, request);
        qfile.unmap(mapped);
        return picture;
    }
    const QByteArray all = qfile.readAll();
    if (all.size() != size)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    return decode({reinterpret_cast<const std::uint8_t*>(all.constData()), std::size_t(all.size())}, request);
}

}  // namespace vantorell
