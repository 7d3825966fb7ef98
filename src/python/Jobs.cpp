// mix(): the command line's whole jobs, its options as keyword arguments (dashes as
// underscores), returning the outcome or raising vantorell.Error with the job's message.
#include "Arrays.h"

#include "vantorell/video.h"

#include <pybind11/stl.h>

#include <functional>
#include <map>

namespace vantorell::python {

namespace {

using Setter = std::function<void(api::JobRequest&, const py::handle&)>;

template <typename Value>
Setter field(Value api::JobRequest::*member)
{
    return [member](api::JobRequest& request, const py::handle& value) { request.*member = value.cast<Value>(); };
}

const std::map<std::string, Setter>& setters()
{
    using R = api::JobRequest;
    static const std::map<std::string, Setter> table = {
        {"image1", field(&R::image1)},
        {"image2", field(&R::image2)},
        {"sequence_files", field(&R::sequence)},
        {"output", field(&R::outputFolder)},
        {"output_file", field(&R::outputFile)},
        {"align", field(&R::align)},
        {"memory_limit", field(&R::memoryLimit)},
        {"colour", [](R& r, const py::handle& v) {
             using enum api::ColourHandling;
             r.colour = choose<api::ColourHandling>("colour", v.cast<std::string>(), {{"keep", Keep}, {"srgb", Srgb}, {"ignore", Ignore}});
         }},
        {"quality", [](R& r, const py::handle& v) { r.jpegQuality = v.cast<int>(); }},
        {"smart_detect", [](R& r, const py::handle& v) { if (v.cast<bool>()) r.jpegQuality.reset(); }},
        {"frames", [](R& r, const py::handle& v) { r.fade.frames = v.cast<int>(); }},
        {"fps", field(&R::framesPerSecond)},
        {"codec", field(&R::codec)},
        {"video_quality", field(&R::videoQuality)},
        {"format", [](R& r, const py::handle& v) {
             using enum api::FadeFormat;
             r.format = choose<api::FadeFormat>("format", v.cast<std::string>(),
                 {{"avi", Avi}, {"gif", Gif}, {"mp4", Mp4}, {"webm", Webm}, {"webp", Webp}, {"apng", Apng}});
         }},
        {"mesh", [](R& r, const py::handle& v) { r.fade.meshJson = readMeshFile(v.cast<std::string>()); }},
        {"ease", [](R& r, const py::handle& v) {
             r.fade.shapeEasing = r.fade.colourEasing = easingOf("ease", v.cast<std::string>());
         }},
        {"ease_shape", [](R& r, const py::handle& v) { r.fade.shapeEasing = easingOf("ease_shape", v.cast<std::string>()); }},
        {"ease_colour", [](R& r, const py::handle& v) { r.fade.colourEasing = easingOf("ease_colour", v.cast<std::string>()); }},
        {"hold_start", [](R& r, const py::handle& v) { r.fade.holdStart = v.cast<int>(); }},
        {"hold_end", [](R& r, const py::handle& v) { r.fade.holdEnd = v.cast<int>(); }},
        {"ping_pong", [](R& r, const py::handle& v) { r.fade.pingPong = v.cast<bool>(); }},
        {"gif_palette", [](R& r, const py::handle& v) { r.gif.palette = gifPaletteOf(v.cast<std::string>()); }},
        {"gif_dither", [](R& r, const py::handle& v) { r.gif.dither = gifDitherOf(v.cast<std::string>()); }},
        {"gif_optimize", [](R& r, const py::handle& v) { r.gif.optimize = v.cast<bool>(); }},
        {"gif_lossy", [](R& r, const py::handle& v) { r.gif.lossy = v.cast<int>(); }},
        {"gif_max_size", [](R& r, const py::handle& v) { r.gif.maxSize = v.cast<std::int64_t>(); }},
    };
    return table;
}

void setFrom(const Setter& setter, api::JobRequest& request, const std::string& name, const py::handle& value)
{
    try {
        setter(request, value);
    } catch (const py::cast_error&) {
        throw py::type_error("mix(): " + name + " cannot be " + std::string(py::repr(value)));
    }
}

// The Blend's options go together (the canvas decides what a blend size may be).
api::BlendOptions requestBlendOptions(const py::dict& options)
{
    auto text = [&](const char* key, const char* otherwise) {
        return options.contains(key) ? options[key].cast<std::string>() : std::string(otherwise);
    };
    const py::object canvas = options.contains("canvas") ? py::object(options["canvas"]) : py::str("729x425");
    const int size = options.contains("blend_size") ? options["blend_size"].cast<int>() : 0;
    return blendOptionsOf(text("direction", "left"), size, canvas, text("blend_fit", "stretch"));
}

std::string failureMessage(const api::JobOutcome& outcome)
{
    if (!outcome.failure.empty())
        return outcome.failure;
    if (!outcome.errors.empty())
        return outcome.errors.front().description;
    return outcome.messages.empty() ? std::string("The job wrote no result.") : outcome.messages.back().text;
}

py::object mix(const py::kwargs& arguments)
{
    api::JobRequest request;
    std::string type;
    py::object progress = py::none();
    const py::dict blendArguments;
    for (const auto& [key, value] : arguments) {
        const std::string name = key.cast<std::string>();
        if (name == "type")
            type = value.cast<std::string>();
        else if (name == "progress")
            progress = py::reinterpret_borrow<py::object>(value);
        else if (name == "direction" || name == "blend_size" || name == "canvas" || name == "blend_fit")
            blendArguments[key] = value;
        else if (const auto setter = setters().find(name); setter != setters().end())
            setFrom(setter->second, request, name, value);
        else
            throw py::type_error("mix() got an unexpected keyword argument '" + name + "'");
    }
    using enum api::MixKind;
    const api::MixKind kind = choose<api::MixKind>("type", type, {{"blend", Blend}, {"overlay", Overlay}, {"fade", Fade}});
    request.blend = requestBlendOptions(blendArguments);

    PythonProgress callback(progress);
    api::JobOutcome outcome;
    {
        py::gil_scoped_release released;
        outcome = api::runJob(kind, request, callback.wanted() ? api::ProgressCallback([&](const api::JobProgress& step) {
            return callback.call(step.percent, step.step);
        }) : api::ProgressCallback());
    }
    callback.rethrowIfRaised();
    const bool succeeded = outcome.succeeded();
    const api::ErrorCode code = outcome.cancelled ? api::ErrorCode::Cancelled : api::ErrorCode::Failed;
    const std::string message = succeeded ? std::string() : failureMessage(outcome);
    py::object result = py::cast(std::move(outcome));
    if (!succeeded)
        raiseError(code, message, result);
    return result;
}

}  // namespace

void bindJobs(py::module_& module)
{
    py::class_<api::JobMessage>(module, "Message")
        .def_readonly("text", &api::JobMessage::text)
        .def_readonly("title", &api::JobMessage::title)
        .def("__repr__", [](const api::JobMessage& m) { return "Message(" + std::string(py::repr(py::str(m.text))) + ")"; });
    py::class_<api::JobErrorReport>(module, "ErrorReport")
        .def_readonly("number", &api::JobErrorReport::number)
        .def_readonly("description", &api::JobErrorReport::description)
        .def_readonly("routine", &api::JobErrorReport::routine)
        .def_readonly("label", &api::JobErrorReport::label);
    py::class_<api::JobOutcome>(module, "Outcome")
        .def_readonly("output_path", &api::JobOutcome::outputPath)
        .def_readonly("written_file", &api::JobOutcome::writtenFile)
        .def_readonly("failure", &api::JobOutcome::failure)
        .def_readonly("cancelled", &api::JobOutcome::cancelled)
        .def_readonly("messages", &api::JobOutcome::messages)
        .def_readonly("errors", &api::JobOutcome::errors)
        .def_readonly("jpeg_quality", &api::JobOutcome::jpegQuality)
        .def_readonly("notes", &api::JobOutcome::notes)
        .def_property_readonly("succeeded", &api::JobOutcome::succeeded)
        .def("__repr__", [](const api::JobOutcome& o) {
            return "Outcome(written_file=" + std::string(py::repr(py::cast(o.writtenFile))) + ")";
        });
    module.def("mix", &mix,
               "Runs a whole job as vantorell-mix does: mix(type='overlay', image1=..., image2=..., output_file=...), "
               "every option of the command line as a keyword (dashes as underscores); progress(percent, step) "
               "returning False cancels. Returns an Outcome; raises vantorell.Error (with .code and .outcome) "
               "when no result was written.");
}

}  // namespace vantorell::python
