// What the installed API's values become inside the library and back: images to and from the
// engine's 32-bit bitmaps, and the engine's errors as api::Error.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Picture.h"
#include "vantorell/error.h"
#include "vantorell/image.h"

#include <string>
#include <utility>

namespace vantorell::api::detail {

// The image as the engine's picture: blue, green, red and a clear fourth byte, as decoders give.
Picture toPicture(const Image& image, const char* what);
// The engine's bitmap as an owning image in `format` (alpha 255).
Image fromBitmap(const Bitmap& bitmap, PixelFormat format);

// Runs `work`, turning the engine's RuntimeError and bad_alloc into Error.
template <typename Work>
auto translatingErrors(Work&& work) -> decltype(work());

[[noreturn]] void rethrowAsError();

template <typename Work>
auto translatingErrors(Work&& work) -> decltype(work())
{
    try {
        return std::forward<Work>(work)();
    } catch (const Error&) {
        throw;
    } catch (...) {
        rethrowAsError();
    }
}

[[noreturn]] inline void invalid(const std::string& message) { throw Error(ErrorCode::InvalidArgument, message); }

}  // namespace vantorell::api::detail
