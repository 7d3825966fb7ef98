// The Python module `vantorell`: pictures as NumPy arrays (H x W x 3 RGB or H x W x 4 RGBA,
// uint8) mixed in memory, and the command line's whole jobs. Work runs without the GIL.
#include "Arrays.h"

#include "vantorell/version.h"

PYBIND11_MODULE(vantorell, module)
{
    namespace python = vantorell::python;
    module.doc() = "Vantorell: blend, overlay and cross-fade pictures held in NumPy arrays; "
                   "animated GIFs; the command line's jobs (mix)";
    module.attr("__version__") = VANTORELL_VERSION_STRING;
    python::registerErrors(module);
    python::bindPictures(module);
    python::bindJobs(module);
}
