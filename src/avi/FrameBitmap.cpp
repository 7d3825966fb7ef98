#include "avi/FrameBitmap.h"

#include "platform/PictureLimits.h"
#include "platform/UiPort.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace vantorell {

namespace {

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

const char* frameBitmapErrorText(FrameBitmapError error)
{
    switch (error) {
    case FrameBitmapError::None: return "no error";
    case FrameBitmapError::NotBitmap: return "the file does not start with \"BM\"";
    case FrameBitmapError::TruncatedHeader: return "the file ends inside its headers";
    case FrameBitmapError::UnsupportedHeader: return "an information header of fewer than 40 bytes";
    case FrameBitmapError::BadDimensions: return "a width or height outside the picture limits";
    case FrameBitmapError::BadBitCount: return "a bit count other than 1, 4, 8, 16, 24 or 32";
    case FrameBitmapError::BadOffset: return "the pixel data offset lies inside the headers or beyond the file";
    case FrameBitmapError::BadImageSize: return "the image size is 0 or more than the file holds";
    }
    return "unknown";
}

FrameBitmap::FrameBitmap(UiPort* ui, std::string applicationTitle) : m_ui(ui), m_title(std::move(applicationTitle)) {}

void FrameBitmap::clear()
{
    std::vector<std::uint8_t>().swap(m_spareBits);
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_bitmapInfo.clear();
    m_bitmapInfo.shrink_to_fit();
    m_info = {};
    m_file = {};
}

// The headers of the file's first bytes, decoded by dib/BitmapFile, then judged.
FrameBitmapError FrameBitmap::parseHeaders(std::span<const std::uint8_t> head, std::uint64_t fileSize, Layout& layout)
{
    switch (readStoredBitmapHeaders(head, fileSize, layout.headers)) {
    case StoredBitmapStatus::Ok: return accept(layout);
    case StoredBitmapStatus::NotBitmap: return FrameBitmapError::NotBitmap;
    case StoredBitmapStatus::Truncated: return FrameBitmapError::TruncatedHeader;
    }
    return FrameBitmapError::TruncatedHeader;
}

// The frame rules: an information header of at least 40 bytes; a width of 1 ... the picture
// limit and a height of the same magnitude (negative: top-down); 1, 4, 8, 16, 24 or 32 bits
// per pixel; the pixel data between the end of the information header and the end of the file;
// and pixel bytes that the file holds. An uncompressed header with image size 0 (as BI_RGB
// allows) takes the rows' size.
FrameBitmapError FrameBitmap::accept(Layout& layout)
{
    StoredBitmapHeaders& headers = layout.headers;
    const BitmapInfoHeader& info = headers.info;
    if (info.size < std::int32_t(kBitmapInfoHeaderSize))
        return FrameBitmapError::UnsupportedHeader;
    const std::int64_t height = info.height;
    const std::int64_t rows = height < 0 ? -height : height;
    if (info.width <= 0 || info.width > limits::kMaxPictureSide || rows == 0 || rows > limits::kMaxPictureSide ||
        std::uint64_t(info.width) * std::uint64_t(rows) > limits::kMaxPicturePixels)
        return FrameBitmapError::BadDimensions;
    switch (info.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return FrameBitmapError::BadBitCount;
    }
    const std::uint64_t offset = headers.file.offBits;
    if (offset < kBitmapFileHeaderSize + std::uint64_t(std::uint32_t(info.size)) || offset > headers.fileBytes)
        return FrameBitmapError::BadOffset;
    const std::uint64_t pixelBytes = headers.pixelBytes();
    if (pixelBytes == 0 || pixelBytes > headers.fileBytes - offset)
        return FrameBitmapError::BadImageSize;
    headers.info.sizeImage = std::uint32_t(pixelBytes);
    layout.infoBytes = std::size_t(offset - kBitmapFileHeaderSize);
    layout.pixelBytes = std::size_t(pixelBytes);
    return FrameBitmapError::None;
}

bool FrameBitmap::fail(FrameBitmapError error, const std::filesystem::path& fileName)
{
    m_lastError = error;
    if (m_ui && !fileName.empty())
        m_ui->messageBox("File is not a supported bitmap format:\r\n" + fileName.string(), MsgButtons::Ok,
                         MsgIcon::Information, m_title);
    return false;
}

bool FrameBitmap::createFromFile(const std::filesystem::path& fileName)
{
    std::error_code ec;
    const std::uint64_t fileSize = std::filesystem::file_size(fileName, ec);
    if (ec) {
        m_lastError = FrameBitmapError::TruncatedHeader;
        if (m_ui)
            m_ui->messageBox("File does not exist:\r\n" + fileName.string(), MsgButtons::Ok, MsgIcon::Critical, m_title);
        return false;
    }
    InputFile file(fileName);
    if (!file.open()) {
        const int error = errno;
        m_lastError = FrameBitmapError::TruncatedHeader;
        if (m_ui) {
            if (error == EACCES || error == EPERM || error == ETXTBSY)
                m_ui->messageBox("File is locked - cannot access:\r\n" + fileName.string(), MsgButtons::Ok,
                                 MsgIcon::Critical, m_title);
            else
                m_ui->messageBox(std::generic_category().message(error), MsgButtons::Ok, MsgIcon::Information, m_title);
        }
        return false;
    }
    std::uint8_t head[kStoredBitmapHeadersSize] = {};
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(fileSize, kStoredBitmapHeadersSize));
    if (!file.readAt(0, head, headBytes))
        return fail(FrameBitmapError::TruncatedHeader, fileName);
    Layout layout;
    const FrameBitmapError error = parseHeaders({head, headBytes}, fileSize, layout);
    if (error != FrameBitmapError::None)
        return fail(error, fileName);
    // The pixels go to a spare array of the same object, so a frame of the same size as the last
    // reuses its memory, and a failed read leaves the previous frame in place.
    std::vector<std::uint8_t> bitmapInfo(layout.infoBytes);
    if (m_spareBits.capacity() > 2 * layout.pixelBytes + 4096)
        std::vector<std::uint8_t>().swap(m_spareBits);
    m_spareBits.resize(layout.pixelBytes);
    if (!file.readAt(layout.headers.file.offBits, m_spareBits.data(), m_spareBits.size()) ||
        !file.readAt(kBitmapFileHeaderSize, bitmapInfo.data(), bitmapInfo.size()))
        return fail(FrameBitmapError::BadImageSize, fileName);   // the file shrank while being read
    m_bits.swap(m_spareBits);
    m_bitmapInfo = std::move(bitmapInfo);
    m_info = layout.headers.info;
    m_file = layout.headers.file;
    m_lastError = FrameBitmapError::None;
    return true;
}

FrameBitmapError FrameBitmap::checkFile(const std::filesystem::path& fileName)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return FrameBitmapError::TruncatedHeader;
    const std::uint64_t fileSize = std::filesystem::file_size(fileName, ec);
    InputFile file(fileName);
    if (ec || !file.open())
        return FrameBitmapError::TruncatedHeader;
    std::uint8_t head[kStoredBitmapHeadersSize] = {};
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(fileSize, kStoredBitmapHeadersSize));
    if (!file.readAt(0, head, headBytes))
        return FrameBitmapError::TruncatedHeader;
    Layout layout;
    return parseHeaders({head, headBytes}, fileSize, layout);
}

bool FrameBitmap::createFromBytes(std::span<const std::uint8_t> file)
{
    Layout layout;
    const FrameBitmapError error = parseHeaders(file.first(std::min(file.size(), kStoredBitmapHeadersSize)),
                                                file.size(), layout);
    if (error != FrameBitmapError::None)
        return fail(error, {});
    const auto pixels = storedPixels(file, layout.headers);
    const auto bitmapInfo = storedBitmapInfo(file, layout.headers);
    m_bits.assign(pixels.begin(), pixels.end());
    m_bitmapInfo.assign(bitmapInfo.begin(), bitmapInfo.end());
    m_info = layout.headers.info;
    m_file = layout.headers.file;
    m_lastError = FrameBitmapError::None;
    return true;
}

bool FrameBitmap::createFromPackedDib(std::span<const std::uint8_t> packedDib)
{
    const std::optional<BitmapInfoHeader> info = readBitmapInfoHeader(packedDib);
    if (!info || info->bitCount <= 15 || info->sizeImage == 0 || info->sizeImage > packedDib.size() - kBitmapInfoHeaderSize)
        return false;
    m_info = *info;
    const auto pixels = packedDib.subspan(kBitmapInfoHeaderSize, info->sizeImage);
    m_bits.assign(pixels.begin(), pixels.end());
    m_bitmapInfo.assign(packedDib.begin(), packedDib.begin() + std::ptrdiff_t(kBitmapInfoHeaderSize));
    m_file = {kBitmapFileType, std::uint32_t(kStoredBitmapHeadersSize + info->sizeImage), 0, 0,
              std::uint32_t(kStoredBitmapHeadersSize)};
    return true;
}

bool FrameBitmap::writeToFile(const std::filesystem::path& fileName) const
{
    std::FILE* out = std::fopen(fileName.c_str(), "wb");
    if (!out)
        return false;
    std::array<std::uint8_t, kBitmapFileHeaderSize> head;
    writeBitmapFileHeader(m_file, head);
    bool ok = std::fwrite(head.data(), 1, head.size(), out) == head.size();
    ok = ok && std::fwrite(m_bitmapInfo.data(), 1, m_bitmapInfo.size(), out) == m_bitmapInfo.size();
    ok = ok && std::fwrite(m_bits.data(), 1, m_bits.size(), out) == m_bits.size();
    ok = (std::fclose(out) == 0) && ok;
    return ok;
}

}  // namespace vantorell
