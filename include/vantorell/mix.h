// The mixes in memory: the same pixels the jobs write, before they are encoded.
#pragma once

#include "vantorell/image.h"

#include <memory>
#include <optional>
#include <string>

namespace vantorell::api {

enum class BlendDirection { Left, Right, Top, Bottom };   // where the second picture comes in
enum class BlendFit { Stretch, Crop };                    // crop: cover the canvas, centred

struct BlendOptions {
    BlendDirection direction = BlendDirection::Left;
    int start = 0;               // the line where the seam starts (the command line's --blend-size)
    int canvasWidth = 729;       // 16 .. 8192
    int canvasHeight = 425;
    BlendFit fit = BlendFit::Stretch;
};

// The Blend canvas, in the first image's format. Throws Error(InvalidArgument) for an empty
// image or a canvas side beyond 16 .. 8192.
VANTORELL_API Image blend(const Image& first, const Image& second, const BlendOptions& options = {});

// The average of the two, at the first image's size, in its format. Throws Error for an empty
// image.
VANTORELL_API Image overlay(const Image& first, const Image& second);

enum class Easing { Linear, In, Out, InOut };

struct FadeOptions {
    int frames = 10;                     // steps from the first picture to the second, 1 .. 32767
    Easing shapeEasing = Easing::Linear;
    Easing colourEasing = Easing::Linear;
    int holdStart = 0;                   // extra frames of the first picture, 0 .. 32767
    int holdEnd = 0;                     // extra frames of the second
    bool pingPong = false;               // there and back again
    std::string meshJson;                // a mesh file's text (see README): a morph; empty: a cross-fade
};

// The frames of a Fade between two images, at the first image's size: frame i is the job's
// frame i (holds and ping-pong included). Rendering is safe from one thread at a time.
class VANTORELL_API FadeRenderer {
public:
    // Throws Error(InvalidArgument) for an empty image, a bad count or a mesh file that does not
    // read, Error(Failed) for meshes that fold at the first image's size.
    FadeRenderer(const Image& first, const Image& second, const FadeOptions& options = {});
    ~FadeRenderer();
    FadeRenderer(FadeRenderer&&) noexcept;
    FadeRenderer& operator=(FadeRenderer&&) noexcept;

    int frameCount() const;
    int width() const;
    int height() const;
    // Throws Error(InvalidArgument) for an index outside 0 .. frameCount() - 1.
    Image frame(int index, PixelFormat format = PixelFormat::Rgb24) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace vantorell::api
