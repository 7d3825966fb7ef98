#include "avi/FrameBitmap.h"

#include "platform/PictureLimits.h"
#include "platform/UiPort.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace vantorell {

namespace {

std::uint16_t u16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void put16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v), p[1] = std::uint8_t(v >> 8); }
void put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

constexpr std::size_t kHeadersSize = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;   // 54

// A file read through a POSIX descriptor, closed on every path.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~InputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    bool open() const { return m_fd >= 0; }
    // Reads exactly size bytes at offset; false when the file ends first or a read fails.
    bool readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const
    {
        while (size > 0) {
            const ssize_t got = ::pread(m_fd, out, size, off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            offset += std::uint64_t(got);
            size -= std::size_t(got);
        }
        return true;
    }

private:
    int m_fd;
};

}  // namespace

const char* bmpErrorText(BmpError error)
{
    switch (error) {
    case BmpError::None: return "no error";
    case BmpError::NotBitmap: return "the file does not start with \"BM\"";
    case BmpError::TruncatedHeader: return "the file ends inside its headers";
    case BmpError::UnsupportedHeader: return "an information header of fewer than 40 bytes";
    case BmpError::BadDimensions: return "a width or height outside the picture limits";
    case BmpError::BadBitCount: return "a bit count other than 1, 4, 8, 16, 24 or 32";
    case BmpError::BadOffset: return "the pixel data offset lies inside the headers or beyond the file";
    case BmpError::BadImageSize: return "the image size is 0 or more than the file holds";
    }
    return "unknown";
}

void putBitmapInfoHeader(std::uint8_t* out, const BitmapInfoHeader& info)
{
    put32(out + 0, std::uint32_t(info.size));
    put32(out + 4, std::uint32_t(info.width));
    put32(out + 8, std::uint32_t(info.height));
    put16(out + 12, std::uint16_t(info.planes));
    put16(out + 14, std::uint16_t(info.bitCount));
    put32(out + 16, info.compression);
    put32(out + 20, info.sizeImage);
    put32(out + 24, std::uint32_t(info.xPelsPerMeter));
    put32(out + 28, std::uint32_t(info.yPelsPerMeter));
    put32(out + 32, info.clrUsed);
    put32(out + 36, info.clrImportant);
}

BitmapInfoHeader getBitmapInfoHeader(const std::uint8_t* in)
{
    BitmapInfoHeader info;
    info.size = std::int32_t(u32(in + 0));
    info.width = std::int32_t(u32(in + 4));
    info.height = std::int32_t(u32(in + 8));
    info.planes = std::int16_t(u16(in + 12));
    info.bitCount = std::int16_t(u16(in + 14));
    info.compression = u32(in + 16);
    info.sizeImage = u32(in + 20);
    info.xPelsPerMeter = std::int32_t(u32(in + 24));
    info.yPelsPerMeter = std::int32_t(u32(in + 28));
    info.clrUsed = u32(in + 32);
    info.clrImportant = u32(in + 36);
    return info;
}

FrameBitmap::FrameBitmap(UiPort* ui, std::string applicationTitle) : m_ui(ui), m_title(std::move(applicationTitle)) {}

void FrameBitmap::Destroy()
{
    std::vector<std::uint8_t>().swap(m_spareBits);
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_bitmapInfo.clear();
    m_bitmapInfo.shrink_to_fit();
    m_info = {};
    m_file = {};
}

// Checks the 54 header bytes against the file's size. The rules: "BM"; an information header
// of at least 40 bytes; a width of 1 ... the picture limit and a height of the same magnitude
// (negative: top-down); 1, 4, 8, 16, 24 or 32 bits per pixel; the pixel data between the end
// of the information header and the end of the file; and pixel bytes that the file holds.
// An uncompressed header with image size 0 (as BI_RGB allows) takes the rows' size.
BmpError FrameBitmap::parseHeaders(std::span<const std::uint8_t> first, std::uint64_t fileSize, Layout& layout)
{
    if (first.size() < 2 || u16(first.data()) != kBitmapFileType)
        return BmpError::NotBitmap;
    if (first.size() < kHeadersSize || fileSize < kHeadersSize)
        return BmpError::TruncatedHeader;
    const std::uint8_t* p = first.data();
    layout.file = {u16(p), u32(p + 2), u16(p + 6), u16(p + 8), u32(p + 10)};
    layout.info = getBitmapInfoHeader(p + kBitmapFileHeaderSize);
    const BitmapInfoHeader& info = layout.info;
    if (info.size < std::int32_t(kBitmapInfoHeaderSize))
        return BmpError::UnsupportedHeader;
    const std::int64_t height = info.height;
    const std::int64_t rows = height < 0 ? -height : height;
    if (info.width <= 0 || info.width > limits::kMaxPictureSide || rows == 0 || rows > limits::kMaxPictureSide ||
        std::uint64_t(info.width) * std::uint64_t(rows) > limits::kMaxPicturePixels)
        return BmpError::BadDimensions;
    switch (info.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return BmpError::BadBitCount;
    }
    const std::uint64_t offset = layout.file.offBits;
    if (offset < kBitmapFileHeaderSize + std::uint64_t(std::uint32_t(info.size)) || offset > fileSize)
        return BmpError::BadOffset;
    std::uint64_t pixelBytes = info.sizeImage;
    const bool uncompressed = info.compression == 0 || info.compression == 3;
    if (pixelBytes == 0 && uncompressed) {
        const std::uint64_t rowBytes = (std::uint64_t(info.width) * std::uint64_t(info.bitCount) + 31) / 32 * 4;
        pixelBytes = rowBytes * std::uint64_t(rows);
    }
    if (pixelBytes == 0 || pixelBytes > fileSize - offset)
        return BmpError::BadImageSize;
    layout.info.sizeImage = std::uint32_t(pixelBytes);
    layout.infoBytes = std::size_t(offset - kBitmapFileHeaderSize);
    layout.pixelBytes = std::size_t(pixelBytes);
    return BmpError::None;
}

bool FrameBitmap::fail(BmpError error, const std::filesystem::path& fileName)
{
    m_lastError = error;
    if (m_ui && !fileName.empty())
        m_ui->messageBox("File is not a supported bitmap format:\r\n" + fileName.string(), MsgButtons::Ok,
                         MsgIcon::Information, m_title);
    return false;
}

bool FrameBitmap::CreateFromFile(const std::filesystem::path& fileName)
{
    std::error_code ec;
    const std::uint64_t fileSize = std::filesystem::file_size(fileName, ec);
    if (ec) {
        m_lastError = BmpError::TruncatedHeader;
        if (m_ui)
            m_ui->messageBox("File does not exist:\r\n" + fileName.string(), MsgButtons::Ok, MsgIcon::Critical, m_title);
        return false;
    }
    InputFile file(fileName);
    if (!file.open()) {
        const int error = errno;
        m_lastError = BmpError::TruncatedHeader;
        if (m_ui) {
            if (error == EACCES || error == EPERM || error == ETXTBSY)
                m_ui->messageBox("File is locked - cannot access:\r\n" + fileName.string(), MsgButtons::Ok,
                                 MsgIcon::Critical, m_title);
            else
                m_ui->messageBox(std::generic_category().message(error), MsgButtons::Ok, MsgIcon::Information, m_title);
        }
        return false;
    }
    std::uint8_t head[kHeadersSize] = {};
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(fileSize, kHeadersSize));
    if (!file.readAt(0, head, headBytes))
        return fail(BmpError::TruncatedHeader, fileName);
    Layout layout;
    const BmpError error = parseHeaders({head, headBytes}, fileSize, layout);
    if (error != BmpError::None)
        return fail(error, fileName);
    // The pixels go to a spare array of the same object, so a frame of the same size as the last
    // reuses its memory, and a failed read leaves the previous frame in place.
    std::vector<std::uint8_t> bitmapInfo(layout.infoBytes);
    if (m_spareBits.capacity() > 2 * layout.pixelBytes + 4096)
        std::vector<std::uint8_t>().swap(m_spareBits);
    m_spareBits.resize(layout.pixelBytes);
    if (!file.readAt(layout.file.offBits, m_spareBits.data(), m_spareBits.size()) ||
        !file.readAt(kBitmapFileHeaderSize, bitmapInfo.data(), bitmapInfo.size()))
        return fail(BmpError::BadImageSize, fileName);   // the file shrank while being read
    m_bits.swap(m_spareBits);
    m_bitmapInfo = std::move(bitmapInfo);
    m_info = layout.info;
    m_file = layout.file;
    m_lastError = BmpError::None;
    return true;
}

BmpError FrameBitmap::CheckFile(const std::filesystem::path& fileName)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return BmpError::TruncatedHeader;
    const std::uint64_t fileSize = std::filesystem::file_size(fileName, ec);
    InputFile file(fileName);
    if (ec || !file.open())
        return BmpError::TruncatedHeader;
    std::uint8_t head[kHeadersSize] = {};
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(fileSize, kHeadersSize));
    if (!file.readAt(0, head, headBytes))
        return BmpError::TruncatedHeader;
    Layout layout;
    return parseHeaders({head, headBytes}, fileSize, layout);
}

bool FrameBitmap::CreateFromBytes(std::span<const std::uint8_t> file)
{
    Layout layout;
    const BmpError error = parseHeaders(file.first(std::min(file.size(), kHeadersSize)), file.size(), layout);
    if (error != BmpError::None)
        return fail(error, {});
    m_bits.assign(file.begin() + std::ptrdiff_t(layout.file.offBits),
                  file.begin() + std::ptrdiff_t(layout.file.offBits + layout.pixelBytes));
    m_bitmapInfo.assign(file.begin() + std::ptrdiff_t(kBitmapFileHeaderSize),
                        file.begin() + std::ptrdiff_t(kBitmapFileHeaderSize + layout.infoBytes));
    m_info = layout.info;
    m_file = layout.file;
    m_lastError = BmpError::None;
    return true;
}

bool FrameBitmap::CreateFromPackedDIBPointer(const std::uint8_t* pDIB, std::size_t size)
{
    if (!pDIB || size < kBitmapInfoHeaderSize)
        return false;
    const BitmapInfoHeader info = getBitmapInfoHeader(pDIB);
    if (info.bitCount <= 15 || info.sizeImage == 0 || info.sizeImage > size - kBitmapInfoHeaderSize)
        return false;
    m_info = info;
    m_bits.assign(pDIB + kBitmapInfoHeaderSize, pDIB + kBitmapInfoHeaderSize + info.sizeImage);
    m_bitmapInfo.assign(pDIB, pDIB + kBitmapInfoHeaderSize);
    m_file = {kBitmapFileType, std::uint32_t(kHeadersSize + info.sizeImage), 0, 0, std::uint32_t(kHeadersSize)};
    return true;
}

bool FrameBitmap::WriteToFile(const std::filesystem::path& fileName) const
{
    std::FILE* out = std::fopen(fileName.c_str(), "wb");
    if (!out)
        return false;
    std::uint8_t head[kBitmapFileHeaderSize];
    put16(head, m_file.type);
    put32(head + 2, m_file.size);
    put16(head + 6, m_file.reserved1);
    put16(head + 8, m_file.reserved2);
    put32(head + 10, m_file.offBits);
    bool ok = std::fwrite(head, 1, sizeof head, out) == sizeof head;
    ok = ok && std::fwrite(m_bitmapInfo.data(), 1, m_bitmapInfo.size(), out) == m_bitmapInfo.size();
    ok = ok && std::fwrite(m_bits.data(), 1, m_bits.size(), out) == m_bits.size();
    ok = (std::fclose(out) == 0) && ok;
    return ok;
}

}  // namespace vantorell
