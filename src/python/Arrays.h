// NumPy arrays to and from the library's images, option texts to its typed values, and a
// Python callable as a progress callback.
#pragma once

#include "vantorell/error.h"
#include "vantorell/gif.h"
#include "vantorell/image.h"
#include "vantorell/mix.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

namespace vantorell::python {

namespace py = pybind11;

// An H x W x 3 (RGB) or H x W x 4 (RGBA) uint8 array as an RGB image. RGB arrays are viewed in
// place (kept alive by `array`); anything else is a ValueError naming the problem.
struct InputImage {
    py::array array;
    api::Image image;
    int channels = 3;
};
InputImage imageFromArray(const py::handle& object, const char* name);

// An H x W x channels array (alpha 255 when channels is 4) of a copy of the image's pixels.
py::array_t<std::uint8_t> arrayFromImage(const api::Image& image, int channels);

// The value `text` names among `choices` (the command line's words), else a ValueError.
template <typename Value>
Value choose(const char* option, const std::string& text,
             std::initializer_list<std::pair<const char*, Value>> choices)
{
    std::string known;
    for (const auto& [name, value] : choices) {
        if (text == name)
            return value;
        known += (known.empty() ? "" : ", ") + std::string(name);
    }
    throw py::value_error(std::string(option) + " must be one of " + known + ", not '" + text + "'");
}

api::GifPalette gifPaletteOf(const std::string& text);
api::GifDither gifDitherOf(const std::string& text);
api::Easing easingOf(const char* option, const std::string& text);

api::BlendOptions blendOptionsOf(const std::string& direction, int blendSize, const py::handle& canvas,
                                 const std::string& fit);
// A mesh file's text (Error(FileNotFound) or Error(InvalidArgument) beyond 64 MiB).
std::string readMeshFile(const std::string& path);

// Raises vantorell.Error (code, message and, when given, the job's outcome) as a Python error.
[[noreturn]] void raiseError(api::ErrorCode code, const std::string& message, py::object outcome = py::none());
void registerErrors(py::module_& module);

// A Python callable called, with the GIL, from work that runs without it. A callable that
// returns False (None and true values go on) or raises stops the work; what it raised is raised
// again afterwards by rethrowIfRaised().
class PythonProgress {
public:
    explicit PythonProgress(py::object callable) : m_callable(std::move(callable)) {}
    bool wanted() const { return !m_callable.is_none(); }

    template <typename... Args>
    bool call(Args&&... args)
    {
        py::gil_scoped_acquire gil;
        if (m_error)
            return false;
        try {
            const py::object answer = m_callable(std::forward<Args>(args)...);
            const int truth = answer.is_none() ? 1 : PyObject_IsTrue(answer.ptr());
            if (truth < 0)
                throw py::error_already_set();
            return truth != 0;
        } catch (py::error_already_set& error) {
            m_error = std::move(error);
            return false;
        }
    }
    void rethrowIfRaised()
    {
        if (m_error)
            throw *m_error;
    }

private:
    py::object m_callable;
    std::optional<py::error_already_set> m_error;
};

void bindPictures(py::module_& module);
void bindJobs(py::module_& module);

}  // namespace vantorell::python
