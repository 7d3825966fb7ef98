// The in-memory functions: load and save, overlay, blend, Fade frames and the GIF encoder.
#include "Arrays.h"

#include "vantorell/io.h"
#include "vantorell/mix.h"

#include <pybind11/stl.h>

#include <cstdio>
#include <vector>

namespace vantorell::python {

namespace {

std::pair<int, int> canvasOf(const py::handle& canvas)
{
    if (py::isinstance<py::str>(canvas)) {
        const std::string text = canvas.cast<std::string>();
        int width = 0, height = 0;
        char end = 0;
        if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &end) != 2)
            throw py::value_error("canvas must be WxH (as 729x425), not '" + text + "'");
        return {width, height};
    }
    return canvas.cast<std::pair<int, int>>();
}

api::GifOptions gifOptionsOf(const std::string& palette, const std::string& dither, bool optimize, int lossy,
                             std::int64_t maxSize, int delay, int scale)
{
    api::GifOptions options;
    options.palette = gifPaletteOf(palette);
    options.dither = gifDitherOf(dither);
    options.optimize = optimize;
    options.lossy = lossy;
    options.maxSize = maxSize;
    options.delay = delay;
    options.scalePercent = scale;
    return options;
}

std::vector<api::Image> imagesOf(const py::sequence& frames, std::vector<InputImage>& inputs)
{
    std::vector<api::Image> images;
    for (std::size_t index = 0; index < frames.size(); ++index) {
        const std::string name = "frame " + std::to_string(index);
        inputs.push_back(imageFromArray(frames[index], name.c_str()));
        images.push_back(inputs.back().image);
    }
    return images;
}

}  // namespace

api::BlendOptions blendOptionsOf(const std::string& direction, int blendSize, const py::handle& canvas,
                                 const std::string& fit)
{
    using enum api::BlendDirection;
    api::BlendOptions options;
    options.direction = choose<api::BlendDirection>("direction", direction,
                                                    {{"left", Left}, {"right", Right}, {"top", Top}, {"bottom", Bottom}});
    options.start = blendSize;
    std::tie(options.canvasWidth, options.canvasHeight) = canvasOf(canvas);
    options.fit = choose<api::BlendFit>("blend_fit", fit, {{"stretch", api::BlendFit::Stretch}, {"crop", api::BlendFit::Crop}});
    return options;
}

void bindPictures(py::module_& module)
{
    module.def("load_image", [](const std::string& path, bool rgba) {
        api::Image image;
        {
            py::gil_scoped_release released;
            image = api::loadImage(path);
        }
        return arrayFromImage(image, rgba ? 4 : 3);
    }, py::arg("path"), py::arg("rgba") = false,
       "Reads a picture (JPEG, PNG, BMP, GIF, WebP, TIFF) as an H x W x 3 RGB array (x 4 RGBA with rgba=True).");

    module.def("save_image", [](const std::string& path, const py::handle& array, int quality) {
        const InputImage input = imageFromArray(array, "image");
        api::SaveOptions options;
        options.jpegQuality = quality;
        py::gil_scoped_release released;
        api::saveImage(input.image, path, options);
    }, py::arg("path"), py::arg("image"), py::arg("quality") = 85,
       "Writes an RGB(A) array as PNG (a .png path) or JPEG (anything else) of this quality.");

    module.def("overlay", [](const py::handle& image1, const py::handle& image2) {
        const InputImage first = imageFromArray(image1, "image1"), second = imageFromArray(image2, "image2");
        api::Image result;
        {
            py::gil_scoped_release released;
            result = api::overlay(first.image, second.image);
        }
        return arrayFromImage(result, first.channels);
    }, py::arg("image1"), py::arg("image2"), "The average of two pictures, at the first one's size.");

    module.def("blend", [](const py::handle& image1, const py::handle& image2, const std::string& direction,
                           int blendSize, const py::handle& canvas, const std::string& fit) {
        const InputImage first = imageFromArray(image1, "image1"), second = imageFromArray(image2, "image2");
        const api::BlendOptions options = blendOptionsOf(direction, blendSize, canvas, fit);
        api::Image result;
        {
            py::gil_scoped_release released;
            result = api::blend(first.image, second.image, options);
        }
        return arrayFromImage(result, first.channels);
    }, py::arg("image1"), py::arg("image2"), py::kw_only(), py::arg("direction") = "left", py::arg("blend_size") = 0,
       py::arg("canvas") = "729x425", py::arg("blend_fit") = "stretch",
       "The Blend canvas: the second picture comes in from `direction` with a soft seam.");

    module.def("fade_frames", [](const py::handle& image1, const py::handle& image2, int frames,
                                 const std::string& ease, const std::optional<std::string>& easeShape,
                                 const std::optional<std::string>& easeColour, int holdStart, int holdEnd,
                                 bool pingPong, const std::optional<std::string>& mesh) {
        const InputImage first = imageFromArray(image1, "image1"), second = imageFromArray(image2, "image2");
        api::FadeOptions options;
        options.frames = frames;
        options.shapeEasing = easingOf("ease_shape", easeShape.value_or(ease));
        options.colourEasing = easingOf("ease_colour", easeColour.value_or(ease));
        options.holdStart = holdStart;
        options.holdEnd = holdEnd;
        options.pingPong = pingPong;
        if (mesh)
            options.meshJson = readMeshFile(*mesh);
        std::vector<api::Image> rendered;
        {
            py::gil_scoped_release released;
            const api::FadeRenderer renderer(first.image, second.image, options);
            for (int index = 0; index < renderer.frameCount(); ++index)
                rendered.push_back(renderer.frame(index));
        }
        py::list arrays;
        for (const api::Image& frame : rendered)
            arrays.append(arrayFromImage(frame, first.channels));
        return arrays;
    }, py::arg("image1"), py::arg("image2"), py::kw_only(), py::arg("frames") = 10, py::arg("ease") = "linear",
       py::arg("ease_shape") = py::none(), py::arg("ease_colour") = py::none(), py::arg("hold_start") = 0,
       py::arg("hold_end") = 0, py::arg("ping_pong") = false, py::arg("mesh") = py::none(),
       "The Fade's frames as a list of arrays (holds and ping-pong included; mesh: a mesh file's path).");

    module.def("encode_gif", [](const py::sequence& frames, const std::string& palette, const std::string& dither,
                                bool optimize, int lossy, std::int64_t maxSize, int delay, int scale,
                                const py::object& progress) {
        std::vector<InputImage> inputs;
        const std::vector<api::Image> images = imagesOf(frames, inputs);
        const api::GifOptions options = gifOptionsOf(palette, dither, optimize, lossy, maxSize, delay, scale);
        PythonProgress callback(progress);
        std::vector<std::uint8_t> bytes;
        try {
            py::gil_scoped_release released;
            bytes = api::encodeGif(images, options, callback.wanted() ? api::StepCallback([&](int done, int total) {
                return callback.call(done, total);
            }) : api::StepCallback());
        } catch (const api::Error&) {
            callback.rethrowIfRaised();   // what the callable raised, rather than the cancel it caused
            throw;
        }
        return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }, py::arg("frames"), py::kw_only(), py::arg("gif_palette") = "halftone", py::arg("gif_dither") = "ordered",
       py::arg("gif_optimize") = false, py::arg("gif_lossy") = 0, py::arg("gif_max_size") = 0, py::arg("delay") = 20,
       py::arg("scale") = 100, py::arg("progress") = py::none(),
       "One looping animated GIF of the frames, as bytes. progress(done, total) returning False cancels.");

    module.def("estimate_gif_size", [](const py::sequence& frames, const std::string& palette, const std::string& dither,
                                       bool optimize, int lossy, int delay, int scale) {
        std::vector<InputImage> inputs;
        const std::vector<api::Image> images = imagesOf(frames, inputs);
        const api::GifOptions options = gifOptionsOf(palette, dither, optimize, lossy, 0, delay, scale);
        py::gil_scoped_release released;
        return api::estimateGifSize(images, options);
    }, py::arg("frames"), py::kw_only(), py::arg("gif_palette") = "halftone", py::arg("gif_dither") = "ordered",
       py::arg("gif_optimize") = false, py::arg("gif_lossy") = 0, py::arg("delay") = 20, py::arg("scale") = 100,
       "The predicted size in bytes of encode_gif's result.");
}

}  // namespace vantorell::python
