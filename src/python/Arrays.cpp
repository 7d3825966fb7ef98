#include "Arrays.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <span>

namespace vantorell::python {

InputImage imageFromArray(const py::handle& object, const char* name)
{
    const std::string what(name);
    if (!py::isinstance<py::array>(object))
        throw py::value_error(what + " must be a NumPy array, not " + std::string(py::str(object.get_type().attr("__name__"))));
    auto array = py::reinterpret_borrow<py::array>(object);
    const py::dtype type = array.dtype();
    if (type.kind() != 'u' || type.itemsize() != 1)
        throw py::value_error(what + " must have dtype uint8, not " + std::string(py::str(type.attr("name"))));
    if (array.ndim() != 3 || (array.shape(2) != 3 && array.shape(2) != 4))
        throw py::value_error(what + " must be H x W x 3 (RGB) or H x W x 4 (RGBA), not of shape " +
                              std::string(py::str(py::tuple(array.attr("shape")))));
    if (array.shape(0) < 1 || array.shape(1) < 1)
        throw py::value_error(what + " has no pixels");

    // Strided or reversed views are copied into rows first.
    InputImage input;
    input.array = py::array_t<std::uint8_t, py::array::c_style>::ensure(array);
    if (!input.array)
        throw py::error_already_set();
    const auto height = input.array.shape(0);
    const auto width = input.array.shape(1);
    input.channels = int(input.array.shape(2));
    const auto* bytes = static_cast<const std::uint8_t*>(input.array.data());
    const std::size_t size = std::size_t(height) * std::size_t(width) * std::size_t(input.channels);
    if (height > 32767 || width > 32767)
        raiseError(api::ErrorCode::TooLarge, what + " is beyond 32767 pixels a side");
    if (input.channels == 3) {
        input.image = api::Image::view(std::span(bytes, size), int(width), int(height), api::PixelFormat::Rgb24);
        return input;
    }
    input.image = api::Image::allocate(int(width), int(height), api::PixelFormat::Rgb24);
    std::uint8_t* out = input.image.mutableData();
    for (std::size_t pixel = 0; pixel < size / 4; ++pixel)   // the alpha is not mixed
        std::memcpy(out + pixel * 3, bytes + pixel * 4, 3);
    return input;
}

py::array_t<std::uint8_t> arrayFromImage(const api::Image& image, int channels)
{
    const api::Image rgb = image.format() == api::PixelFormat::Rgb24 ? image : image.converted(api::PixelFormat::Rgb24);
    const auto width = std::size_t(rgb.width());
    py::array_t<std::uint8_t> array({py::ssize_t(rgb.height()), py::ssize_t(width), py::ssize_t(channels)});
    std::uint8_t* out = array.mutable_data();
    for (int y = 0; y < rgb.height(); ++y) {
        const std::uint8_t* row = rgb.row(y);
        if (channels == 3) {
            std::memcpy(out, row, width * 3);
            out += width * 3;
            continue;
        }
        for (std::size_t x = 0; x < width; ++x, out += 4) {
            std::memcpy(out, row + x * 3, 3);
            out[3] = 255;
        }
    }
    return array;
}

api::GifPalette gifPaletteOf(const std::string& text)
{
    using enum api::GifPalette;
    return choose<api::GifPalette>("gif_palette", text,
                                   {{"halftone", Halftone}, {"optimal", Optimal}, {"global", Global}, {"per-frame", PerFrame}});
}

api::GifDither gifDitherOf(const std::string& text)
{
    using enum api::GifDither;
    return choose<api::GifDither>("gif_dither", text,
                                  {{"none", None}, {"ordered", Ordered}, {"ordered8", Ordered8}, {"diffusion", Diffusion}});
}

api::Easing easingOf(const char* option, const std::string& text)
{
    using enum api::Easing;
    return choose<api::Easing>(option, text, {{"linear", Linear}, {"in", In}, {"out", Out}, {"in-out", InOut}});
}

std::string readMeshFile(const std::string& path)
{
    constexpr std::streamoff limit = std::streamoff(64) << 20;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        throw api::Error(api::ErrorCode::FileNotFound, "The mesh file " + path + " could not be opened.");
    if (file.tellg() > limit)
        throw api::Error(api::ErrorCode::InvalidArgument, "The mesh file " + path + " is beyond 64 MiB.");
    file.seekg(0);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

namespace {
PyObject* errorClass = nullptr;   // vantorell.Error, alive as long as the interpreter
}

namespace {
void setError(api::ErrorCode code, const std::string& message, py::object outcome)
{
    py::object error = py::reinterpret_borrow<py::object>(errorClass)(message);
    error.attr("code") = py::cast(code);
    error.attr("outcome") = std::move(outcome);
    PyErr_SetObject(errorClass, error.ptr());
}
}  // namespace

void raiseError(api::ErrorCode code, const std::string& message, py::object outcome)
{
    setError(code, message, std::move(outcome));
    throw py::error_already_set();
}

void registerErrors(py::module_& module)
{
    py::enum_<api::ErrorCode>(module, "ErrorCode")
        .value("InvalidArgument", api::ErrorCode::InvalidArgument)
        .value("SizeMismatch", api::ErrorCode::SizeMismatch)
        .value("TooLarge", api::ErrorCode::TooLarge)
        .value("FileNotFound", api::ErrorCode::FileNotFound)
        .value("FileUnreadable", api::ErrorCode::FileUnreadable)
        .value("InvalidPicture", api::ErrorCode::InvalidPicture)
        .value("WriteFailed", api::ErrorCode::WriteFailed)
        .value("OutOfMemory", api::ErrorCode::OutOfMemory)
        .value("Cancelled", api::ErrorCode::Cancelled)
        .value("Failed", api::ErrorCode::Failed);
    py::object error = py::exception<api::Error>(module, "Error", PyExc_RuntimeError);
    errorClass = error.release().ptr();
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const api::Error& error) {
            setError(error.code(), error.what(), py::none());
        }
    });
}

}  // namespace vantorell::python
