#include "api/Requests.h"

#include "api/Convert.h"

namespace vantorell::api::detail {

namespace {

void checkRange(const char* name, long long value, long long low, long long high)
{
    if (value < low || value > high)
        invalid(std::string(name) + " must be " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                std::to_string(value));
}

vantorell::Easing engineEasing(Easing easing)
{
    switch (easing) {
    case Easing::In: return vantorell::Easing::In;
    case Easing::Out: return vantorell::Easing::Out;
    case Easing::InOut: return vantorell::Easing::InOut;
    case Easing::Linear: break;
    }
    return vantorell::Easing::Linear;
}

FadeOutput engineFormat(FadeFormat format)
{
    switch (format) {
    case FadeFormat::Gif: return FadeOutput::Gif;
    case FadeFormat::Mp4: return FadeOutput::Mp4;
    case FadeFormat::Webm: return FadeOutput::Webm;
    case FadeFormat::Webp: return FadeOutput::Webp;
    case FadeFormat::Apng: return FadeOutput::Apng;
    case FadeFormat::Avi: break;
    }
    return FadeOutput::Avi;
}

ColourChoice engineColour(ColourHandling colour)
{
    return colour == ColourHandling::Srgb ? ColourChoice::Srgb
           : colour == ColourHandling::Ignore ? ColourChoice::Ignore
                                              : ColourChoice::Keep;
}

}  // namespace

vantorell::BlendDirection engineDirection(BlendDirection direction)
{
    switch (direction) {
    case BlendDirection::Right: return vantorell::BlendDirection::Right;
    case BlendDirection::Top: return vantorell::BlendDirection::Top;
    case BlendDirection::Bottom: return vantorell::BlendDirection::Bottom;
    case BlendDirection::Left: break;
    }
    return vantorell::BlendDirection::Left;
}

BlendCanvas blendCanvasOf(const BlendOptions& options)
{
    checkRange("the canvas width", options.canvasWidth, kBlendCanvasMinSide, kBlendCanvasMaxSide);
    checkRange("the canvas height", options.canvasHeight, kBlendCanvasMinSide, kBlendCanvasMaxSide);
    BlendCanvas canvas;
    canvas.width = options.canvasWidth;
    canvas.height = options.canvasHeight;
    canvas.fit = options.fit == BlendFit::Crop ? vantorell::BlendFit::Crop : vantorell::BlendFit::Stretch;
    const int limit = blendSizeLimit(engineDirection(options.direction), canvas);
    checkRange("the blend start", options.start, 0, limit);
    return canvas;
}

void applyFadeOptions(const FadeOptions& options, MixRequest& request)
{
    checkRange("the frame count", options.frames, 1, 32767);
    checkRange("the hold at the start", options.holdStart, 0, MorphTiming::kMaxHoldFrames);
    checkRange("the hold at the end", options.holdEnd, 0, MorphTiming::kMaxHoldFrames);
    request.frameCountText = std::to_string(options.frames);
    request.morphTiming.shapeEasing = engineEasing(options.shapeEasing);
    request.morphTiming.colourEasing = engineEasing(options.colourEasing);
    request.morphTiming.holdStart = options.holdStart;
    request.morphTiming.holdEnd = options.holdEnd;
    request.morphTiming.pingPong = options.pingPong;
    if (!options.meshJson.empty()) {
        MeshFileResult mesh = parseMeshJson(options.meshJson);
        if (!mesh.pair)
            invalid("the mesh: " + mesh.error);
        request.morphMeshes = std::move(mesh.pair);
    }
}

vantorell::GifOptions engineGifOptions(const GifOptions& options)
{
    checkRange("the GIF's lossy level", options.lossy, 0, kGifMaxLossy);
    checkRange("the GIF's scale", options.scalePercent, 1, 100);
    checkRange("the GIF's delay", options.delay, 0, 65535);
    if (options.maxSize != 0)
        checkRange("the GIF's size budget", options.maxSize, 100, std::int64_t(1) << 62);
    vantorell::GifOptions gif;
    gif.palette = static_cast<vantorell::GifPalette>(options.palette);   // the same order
    gif.dither = static_cast<vantorell::GifDither>(options.dither);
    gif.optimize = options.optimize;
    gif.lossy = options.lossy;
    if (options.maxSize > 0)
        gif.maxSize = options.maxSize;
    gif.scalePercent = options.scalePercent;
    gif.delay = options.delay;
    return gif;
}

MixRequest mixRequestOf(MixType type, const JobRequest& job)
{
    MixRequest request;
    request.mixType = type;
    request.image1Path = job.image1;
    request.image2Path = job.image2;
    if (job.sequence.size() >= 2) {
        request.sequenceFiles = job.sequence;
        request.image1Path = job.sequence[0];
        request.image2Path = job.sequence[1];
    }
    request.outputFolder = job.outputFolder;
    request.outputFile = job.outputFile;
    request.blendCanvas = blendCanvasOf(job.blend);
    request.blendDirection = engineDirection(job.blend.direction);
    request.blendStart = job.blend.start;
    request.align = job.align;
    if (job.jpegQuality) {
        checkRange("the JPEG quality", *job.jpegQuality, 1, 100);
        request.qualityChoice = JpegQualityChoice::Fixed;
        request.fixedQuality = *job.jpegQuality;
    }
    request.colour = engineColour(job.colour);
    applyFadeOptions(job.fade, request);
    checkRange("the frames per second", job.framesPerSecond, 1, 1000);
    request.framesPerSecondText = std::to_string(job.framesPerSecond);
    request.fadeOutput = engineFormat(job.format);
    request.codec = job.codec.empty() ? std::string("uncompressed") : job.codec;
    checkRange("the video quality", job.videoQuality, -1, 100);
    request.videoQuality = job.videoQuality;
    const int delay = request.gif.delay;   // the job's own, from the frames per second
    request.gif = engineGifOptions(job.gif);
    request.gif.delay = delay;
    if (job.memoryLimit < 0)
        invalid("the memory limit must be 0 (none) or more");
    request.memoryLimit = job.memoryLimit;
    return request;
}

JobOutcome jobOutcomeOf(const MixOutcome& outcome)
{
    JobOutcome result;
    result.outputPath = outcome.outputPath;
    result.writtenFile = outcome.writtenFile;
    result.failure = outcome.failure;
    result.cancelled = outcome.cancelled;
    for (const ShownMessage& message : outcome.messages)
        result.messages.push_back({message.text, message.title});
    for (const StepError& error : outcome.errors)
        result.errors.push_back({error.number, error.description, error.routine, error.label});
    result.jpegQuality = outcome.jpegQuality;
    result.notes = outcome.notes;
    return result;
}

}  // namespace vantorell::api::detail
