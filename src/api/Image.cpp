#include "api/Convert.h"
#include "platform/PictureLimits.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vantorell::api {

Error::Error(ErrorCode code, const std::string& message) : std::runtime_error(message), m_code(code) {}
Error::~Error() = default;

namespace {

constexpr int kMaxSide = limits::kMaxPictureSide;

std::size_t checkedStride(std::span<const std::uint8_t> bytes, int width, int height, PixelFormat format,
                          std::size_t stride)
{
    if (width < 1 || height < 1)
        detail::invalid("the image's width and height must be at least 1");
    if (width > kMaxSide || height > kMaxSide)
        throw Error(ErrorCode::TooLarge, "an image side is above 32767 pixels");
    const std::size_t rowBytes = std::size_t(width) * std::size_t(bytesPerPixel(format));
    if (stride == 0)
        stride = rowBytes;
    if (stride < rowBytes)
        detail::invalid("the stride is smaller than a row of the image");
    if (bytes.data() == nullptr)
        detail::invalid("the image's bytes are null");
    if (bytes.size() / stride < std::size_t(height - 1) || bytes.size() - stride * std::size_t(height - 1) < rowBytes)
        detail::invalid("the buffer is shorter than the image's rows");
    return stride;
}

}  // namespace

Image Image::allocate(int width, int height, PixelFormat format)
{
    if (width < 1 || height < 1)
        detail::invalid("the image's width and height must be at least 1");
    if (width > kMaxSide || height > kMaxSide)
        throw Error(ErrorCode::TooLarge, "an image side is above 32767 pixels");
    Image image;
    image.m_width = width;
    image.m_height = height;
    image.m_format = format;
    image.m_stride = std::size_t(width) * std::size_t(bytesPerPixel(format));
    try {
        image.m_storage = std::make_shared<std::vector<std::uint8_t>>(image.m_stride * std::size_t(height));
    } catch (const std::bad_alloc&) {
        throw Error(ErrorCode::OutOfMemory, "out of memory for a " + std::to_string(width) + " x " +
                                                std::to_string(height) + " image");
    }
    if (format == PixelFormat::Bgra32)
        for (std::size_t i = 3; i < image.m_storage->size(); i += 4)
            (*image.m_storage)[i] = 255;
    image.m_data = image.m_storage->data();
    return image;
}

Image Image::view(std::span<const std::uint8_t> bytes, int width, int height, PixelFormat format, std::size_t stride)
{
    Image image;
    image.m_stride = checkedStride(bytes, width, height, format, stride);
    image.m_width = width;
    image.m_height = height;
    image.m_format = format;
    image.m_data = bytes.data();
    return image;
}

Image Image::copyOf(std::span<const std::uint8_t> bytes, int width, int height, PixelFormat format, std::size_t stride)
{
    return view(bytes, width, height, format, stride).converted(format);
}

std::uint8_t* Image::mutableData()
{
    if (empty())
        return nullptr;
    if (!m_storage || m_storage.use_count() > 1)
        *this = converted(m_format);
    return m_storage->data();
}

Image Image::converted(PixelFormat format) const
{
    if (empty())
        return {};
    Image copy = allocate(m_width, m_height, format);
    std::uint8_t* out = copy.m_storage->data();
    const std::size_t rowBytes = std::size_t(m_width) * std::size_t(bytesPerPixel(m_format));
    for (int y = 0; y < m_height; ++y, out += copy.m_stride) {
        const std::uint8_t* in = row(y);
        if (format == m_format) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        for (int x = 0; x < m_width; ++x) {
            if (format == PixelFormat::Rgb24) {   // from BGRA
                out[3 * x] = in[4 * x + 2];
                out[3 * x + 1] = in[4 * x + 1];
                out[3 * x + 2] = in[4 * x];
            } else {
                out[4 * x] = in[3 * x + 2];
                out[4 * x + 1] = in[3 * x + 1];
                out[4 * x + 2] = in[3 * x];
                out[4 * x + 3] = 255;
            }
        }
    }
    return copy;
}

namespace detail {

Picture toPicture(const Image& image, const char* what)
{
    if (image.empty())
        invalid(std::string(what) + " is empty");
    return translatingErrors([&] {
        Bitmap bitmap = Bitmap::uninitialized(image.width(), image.height());
        const bool rgb = image.format() == PixelFormat::Rgb24;
        for (int y = 0; y < image.height(); ++y) {
            const std::uint8_t* in = image.row(y);
            std::uint8_t* out = bitmap.mutableRow(y);
            for (int x = 0; x < image.width(); ++x, out += 4) {
                out[0] = rgb ? in[3 * x + 2] : in[4 * x];
                out[1] = in[(rgb ? 3 : 4) * x + 1];
                out[2] = rgb ? in[3 * x] : in[4 * x + 2];
                out[3] = 0;
            }
        }
        return Picture(std::move(bitmap));
    });
}

Image fromBitmap(const Bitmap& bitmap, PixelFormat format)
{
    if (bitmap.empty())
        return {};
    const Image bgra = Image::view({bitmap.bits(), bitmap.byteCount()}, bitmap.width(), bitmap.height(),
                                   PixelFormat::Bgra32);
    Image image = bgra.converted(format);
    if (format == PixelFormat::Bgra32) {
        std::uint8_t* bytes = image.mutableData();
        for (std::size_t i = 3; i < image.stride() * std::size_t(image.height()); i += 4)
            bytes[i] = 255;
    }
    return image;
}

void rethrowAsError()
{
    try {
        throw;
    } catch (const Error&) {
        throw;
    } catch (const RuntimeError& error) {
        const std::string message = error.inputProblem().empty() ? error.description() : error.inputProblem();
        switch (error.number()) {
        case errnum::FileNotFound:
        case errnum::PathNotFound:
            throw Error(ErrorCode::FileNotFound, message);
        case errnum::FileAccessError:
            throw Error(ErrorCode::FileUnreadable, message);
        case errnum::InvalidPicture:
            throw Error(message.find("too large") != std::string::npos ? ErrorCode::TooLarge
                                                                       : ErrorCode::InvalidPicture,
                        message);
        case errnum::Overflow:
            throw Error(ErrorCode::TooLarge, message);
        case errnum::OutOfMemory:
            throw Error(ErrorCode::OutOfMemory, message);
        case errnum::CannotSaveImage:
            throw Error(ErrorCode::WriteFailed, message);
        default:
            throw Error(ErrorCode::Failed, message);
        }
    } catch (const std::bad_alloc&) {
        throw Error(ErrorCode::OutOfMemory, "out of memory");
    } catch (const std::exception& error) {
        throw Error(ErrorCode::Failed, error.what());
    }
}

}  // namespace detail
}  // namespace vantorell::api
