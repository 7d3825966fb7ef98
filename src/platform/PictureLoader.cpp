#include "platform/PictureLoader.h"

#include "platform/JpegCodec.h"
#include "platform/PictureLimits.h"
#include "platform/RuntimeError.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The format a file's first bytes name, for the formats whose signature is unambiguous. Telling
// Qt the format spares it from loading every image plugin (TIFF, SVG, MNG ... and their
// libraries) to probe the content; anything else is still probed.
QByteArray formatFromSignature(std::span<const std::uint8_t> bytes)
{
    const auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return bytes.size() >= at + magic.size() &&
               std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
    };
    if (isJpeg(bytes))
        return "jpeg";
    if (starts("\x89PNG\r\n\x1a\n"))
        return "png";
    if (starts("GIF87a") || starts("GIF89a"))
        return "gif";
    if (starts("RIFF") && starts("WEBP", 8))
        return "webp";
    if (isBmp(bytes))
        return "bmp";
    return {};
}

struct OpenReader {
    QByteArray data;
    QBuffer buffer;
    QImageReader reader;
};

void checkLimits(const PictureHeader& header)
{
    const std::uint64_t pixels = std::uint64_t(header.width) * std::uint64_t(header.height);
    if (header.width > limits::kMaxPictureSide || header.height > limits::kMaxPictureSide ||
        pixels > limits::kMaxPicturePixels)
        tooLarge(header.width, header.height);
}

// A JPEG's header, read by libjpeg, and its scans counted.
PictureHeader jpegHeader(std::span<const std::uint8_t> bytes)
{
    PictureHeader header;
    header.format = "jpeg";
    // A progressive JPEG decodes every scan over the whole coefficient buffer; a small file
    // with thousands of scans would keep the decoder busy for minutes. Count them first.
    header.jpegScans = CountJpegScans(bytes, limits::kMaxJpegScans);
    if (header.jpegScans > limits::kMaxJpegScans)
        invalidPicture("more than " + std::to_string(limits::kMaxJpegScans) + " scans in a progressive JPEG");
    const std::optional<JpegHeader> frame = ReadJpegHeader(bytes);
    if (!frame || frame->width <= 0 || frame->height <= 0)
        invalidPicture();
    header.width = frame->width;
    header.height = frame->height;
    checkLimits(header);
    return header;
}

// Sets up a Qt reader on the bytes and checks the header it reads against the limits.
PictureHeader qtHeader(std::span<const std::uint8_t> bytes, OpenReader& open)
{
    raiseQtAllocationLimit();
    if (isBmp(bytes))
        checkBmpDeclaredSize(bytes);

    open.data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    open.buffer.setData(open.data);
    if (!open.buffer.open(QIODevice::ReadOnly))
        invalidPicture();
    open.reader.setDevice(&open.buffer);
    if (const QByteArray format = formatFromSignature(bytes); !format.isEmpty())
        open.reader.setFormat(format);
    open.reader.setAutoTransform(false);
    if (!open.reader.canRead())
        invalidPicture();

    PictureHeader header;
    header.format = open.reader.format().toStdString();
    const QSize size = open.reader.size();
    if (!size.isValid() || size.isEmpty())
        invalidPicture();
    header.width = size.width();
    header.height = size.height();
    checkLimits(header);
    return header;
}

void checkInput(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        invalidPicture();
    if (bytes.size() > std::size_t(std::numeric_limits<int>::max()))
        invalidPicture("file too large");
}

Picture decodeWithQt(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    OpenReader open;
    const PictureHeader header = qtHeader(bytes, open);
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

Picture decode(std::span<const std::uint8_t> bytes, const DecodeRequest& request)
{
    checkInput(bytes);
    if (isJpeg(bytes)) {
        const PictureHeader header = jpegHeader(bytes);
        const int s = jpegScaleDenominator(header.width, header.height, request);
        if (std::optional<Bitmap> bitmap = DecodeJpeg(bytes, s))
            return Picture(std::move(*bitmap), header.width, header.height);
        // libjpeg gives no blue, green, red for CMYK and refuses some damage; Qt's reader
        // converts CMYK itself, and refuses the same damage with the same answer.
    }
    return decodeWithQt(bytes, request);
}

}  // namespace

int CountJpegScans(std::span<const std::uint8_t> bytes, int stopAfter)
{
    const std::size_t n = bytes.size();
    std::size_t i = 2;   // after SOI
    int scans = 0;
    while (i + 1 < n) {
        if (bytes[i] != 0xFF) {   // not at a marker: damaged, let the decoder judge it
            const void* next = std::memchr(bytes.data() + i, 0xFF, n - i);
            if (!next)
                break;
            i = std::size_t(static_cast<const std::uint8_t*>(next) - bytes.data());
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
            // In entropy-coded data 0xFF is followed by a stuffed 0x00, a restart marker or fill.
            while (i + 1 < n) {
                const void* next = std::memchr(bytes.data() + i, 0xFF, n - 1 - i);
                if (!next) {
                    i = n;
                    break;
                }
                i = std::size_t(static_cast<const std::uint8_t*>(next) - bytes.data());
                const std::uint8_t follower = bytes[i + 1];
                if (follower != 0x00 && follower != 0xFF && !(follower >= 0xD0 && follower <= 0xD7))
                    break;
                ++i;
            }
        }
    }
    return scans;
}

PictureHeader ReadPictureHeader(std::span<const std::uint8_t> bytes)
{
    checkInput(bytes);
    if (isJpeg(bytes))
        return jpegHeader(bytes);
    OpenReader open;
    return qtHeader(bytes, open);
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

    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    }
    if (st.st_size <= 0) {
        ::close(fd);
        invalidPicture();
    }
    // The decoder reads the file in place. MAP_POPULATE maps every page of it at once, which
    // costs far less than one page fault per 4 KB of a photograph of several megabytes.
    const std::size_t size = std::size_t(st.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        throw RuntimeError(errnum::FileAccessError, "Path/File access error");
    struct Unmap {
        void* p;
        std::size_t n;
        ~Unmap() { ::munmap(p, n); }
    } unmap{mapped, size};
    return decode({static_cast<const std::uint8_t*>(mapped), size}, request);
}

}  // namespace vantorell
