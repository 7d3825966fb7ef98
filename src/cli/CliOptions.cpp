#include "cli/CliOptions.h"

#include "avi/AviCodecs.h"
#include "gif/GifEncoder.h"
#include "job/MixJob.h"
#include "job/FadeSequence.h"

#if VANTORELL_CLI_VIDEO
#include "avi/AviWriter.h"
#include "avi/VideoFile.h"
#endif

#include "platform/ProgramVersion.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <utility>

namespace vantorell::cli {

namespace {

// The compressors of this build's FFmpeg. Only the video build links FFmpeg; the plain build
// hands every command line that names a video option to it before parsing (main.cpp).
std::vector<CompressorOption> offeredCompressors()
{
#if VANTORELL_CLI_VIDEO
    return aviCompressors();
#else
    return {};
#endif
}

std::optional<int> parseInt(const std::string& text, int min, int max)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max)
        return std::nullopt;
    return value;
}

std::string rangeError(const std::string& option, int min, int max)
{
    return option + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max);
}

// "a, b or c" for an error text; "a|b|c" for the help.
template <class Value>
std::string listed(const std::vector<std::pair<std::string, Value>>& words, bool forHelp)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            text += forHelp ? "|" : (i + 1 == words.size() ? " or " : ", ");
        text += words[i].first;
    }
    return text;
}

// An option that takes one of a few words and sets a request field to the word's value.
template <class Value>
CliOption choiceOption(std::string name, std::vector<std::pair<std::string, Value>> words, std::string help,
                       std::function<void(MixRequest&, const Value&)> set)
{
    const std::string argument = listed(words, true);
    return {name, argument, std::move(help),
            [name, words = std::move(words), set](CliContext& c, const std::string& v) -> std::optional<std::string> {
                for (const auto& [word, value] : words) {
                    if (word == v) {
                        set(c.request, value);
                        return std::nullopt;
                    }
                }
                return name + " takes " + listed(words, false);
            }};
}

template <typename Value>
CliOption choiceOption(std::string name, std::vector<std::pair<std::string, Value>> words, std::string help,
                       Value MixRequest::*field)
{
    return choiceOption<Value>(std::move(name), std::move(words), std::move(help),
                               [field](MixRequest& request, const Value& value) { request.*field = value; });
}

// An option that takes a whole number within [min, max] and hands it to `set`.
CliOption numberOption(std::string name, int min, int max, std::string help,
                       std::function<void(CliContext&, int value, const std::string& text)> set)
{
    return {name, "N", std::move(help),
            [name, min, max, set = std::move(set)](CliContext& c, const std::string& v) -> std::optional<std::string> {
                const auto n = parseInt(v, min, max);
                if (!n)
                    return rangeError(name, min, max);
                set(c, *n, v);
                return std::nullopt;
            }};
}

// A path option: sets the field and records that it was given.
CliOption pathOption(std::string name, std::string argument, std::string help, std::string MixRequest::*field,
                     bool CliContext::*given)
{
    return {name, std::move(argument), std::move(help),
            [field, given](CliContext& c, const std::string& v) -> std::optional<std::string> {
                c.request.*field = v;
                c.*given = true;
                return std::nullopt;
            }};
}

void addJobOptions(std::vector<CliOption>& options)
{
    CliOption type = choiceOption<MixType>("--type", {{"blend", MixType::Blend}, {"overlay", MixType::Overlay}, {"fade", MixType::Fade}},
                                           "the mix: a soft seam, the average, or a cross-fade video",
                                           &MixRequest::mixType);
    type.apply = [setType = type.apply](CliContext& c, const std::string& v) {
        auto error = setType(c, v);
        c.type = !error;
        return error;
    };
    options.push_back(std::move(type));
    options.push_back(pathOption("--image1", "FILE", "the first picture (JPEG, BMP, PNG, GIF, WebP ...)",
                                 &MixRequest::image1Path, &CliContext::image1));
    options.push_back(pathOption("--image2", "FILE", "the second picture", &MixRequest::image2Path, &CliContext::image2));
    options.push_back(pathOption("--output", "DIR", "the output folder; the job writes DIR/result.jpg, .avi or .gif",
                                 &MixRequest::outputFolder, &CliContext::output));
    options.push_back({"--align", "",
                       "first turn, scale and move the second picture onto the first by matched features, or by the "
                       "eyes where each holds one face (see README)",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.request.align = true;
                           return std::nullopt;
                       }});
}

// Where a single job's result goes, when not DIR/result.<ext>.
void addOutputFileOptions(std::vector<CliOption>& options)
{
    options.push_back({"--output-file", "PATH",
                       "write the result exactly as PATH (\".jpg\", \".avi\" or \".gif\" added when it has no extension)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v.empty() || v.back() == '/')
                               return "--output-file takes a file name, not a folder";
                           c.request.outputFile = v;
                           c.outputFile = true;
                           return std::nullopt;
                       }});
}

// The memory one job may need; a fade whose pictures and frames need more is refused at once.
void addMemoryOption(std::vector<CliOption>& options)
{
    options.push_back({"--memory-limit", "SIZE",
                       "fade: refuse a job whose pictures and frames need more memory than SIZE "
                       "(default 4GiB; 0 for no limit)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v == "0") {
                               c.request.memoryLimit = 0;
                               return std::nullopt;
                           }
                           const auto bytes = parseByteSize(v);
                           if (!bytes)
                               return "--memory-limit takes a size such as 4GiB, 800MB or 0 (no limit)";
                           c.request.memoryLimit = *bytes;
                           return std::nullopt;
                       }});
}

void addBlendAndQualityOptions(std::vector<CliOption>& options)
{
    options.push_back(choiceOption<BlendDirection>(
        "--direction",
        {{"left", BlendDirection::Left}, {"right", BlendDirection::Right}, {"top", BlendDirection::Top},
         {"bottom", BlendDirection::Bottom}},
        "blend: where the second picture comes in (default left)", &MixRequest::blendDirection));
    // Its upper end depends on the canvas and the direction: finishCommandLine checks it.
    options.push_back(numberOption("--blend-size", 0, kBlendCanvasMaxSide,
                                   "blend: the line where the seam starts, 0 to 729 on the default canvas, "
                                   "else 0 to the canvas's width (left, right) or height (top, bottom) "
                                   "(default 0)",
                                   [](CliContext& c, int n, const std::string&) {
                                       c.request.blendStart = n;
                                       c.blendSize = true;
                                   }));
    options.push_back({"--canvas", "WxH",
                       "blend: the result's size, " + std::to_string(kBlendCanvasMinSide) + " to " +
                           std::to_string(kBlendCanvasMaxSide) + " a side (default 729x425); the seam "
                           "runs along its width (left, right) or height (top, bottom)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           const auto canvas = parseBlendCanvasSize(v, c.request.blendCanvas);
                           if (!canvas)
                               return "--canvas takes WxH with each side a whole number from " +
                                      std::to_string(kBlendCanvasMinSide) + " to " +
                                      std::to_string(kBlendCanvasMaxSide) + ", such as 1920x1080";
                           c.request.blendCanvas = *canvas;
                           return std::nullopt;
                       }});
    options.push_back(choiceOption<BlendFit>(
        "--blend-fit", {{"stretch", BlendFit::Stretch}, {"crop", BlendFit::Crop}},
        "blend: stretch each picture over the canvas (default), or fill it keeping the picture's "
        "proportions, centred, cutting off what sticks out",
        [](MixRequest& request, const BlendFit& fit) { request.blendCanvas.fit = fit; }));
    options.push_back(choiceOption<ColourChoice>(
        "--colour", {{"keep", ColourChoice::Keep}, {"srgb", ColourChoice::Srgb}, {"ignore", ColourChoice::Ignore}},
        "embedded colour profiles: keep (default: a JPEG result in the first picture's colours, "
        "with its profile; GIF and video in sRGB), srgb (every result in sRGB, a JPEG tagged so), "
        "ignore (mix the numbers as they are)",
        &MixRequest::colour));
    options.push_back(numberOption("--quality", 1, 100, "a fixed JPEG quality, 1 to 100",
                                   [](CliContext& c, int n, const std::string&) {
                                       c.request.qualityChoice = JpegQualityChoice::Fixed;
                                       c.request.fixedQuality = n;
                                       c.quality = true;
                                   }));
    options.push_back({"--smart-detect", "", "estimate the JPEG quality from the two inputs (the default)",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.request.qualityChoice = JpegQualityChoice::SmartDetect;
                           c.smartDetect = true;
                           return std::nullopt;
                       }});
}

void addFadeOptions(std::vector<CliOption>& options)
{
    options.push_back(numberOption("--frames", 1, 32767, "fade: the number of frames (default 10)",
                                   [](CliContext& c, int, const std::string& v) { c.request.frameCountText = v; }));
    options.push_back(numberOption("--fps", 1, 1000, "fade: frames per second of the video (default 5)",
                                   [](CliContext& c, int, const std::string& v) { c.request.framesPerSecondText = v; }));
    options.push_back(choiceOption<GifPalette>(
        "--gif-palette",
        {{"halftone", GifPalette::Halftone}, {"optimal", GifPalette::Optimal}, {"global", GifPalette::Global},
         {"per-frame", GifPalette::PerFrame}},
        "fade to GIF: the 216-colour halftone cube (default), a palette made from the first frame, one palette "
        "made for the whole animation, or one per frame",
        [](MixRequest& request, const GifPalette& palette) {
            request.gif.palette = palette;
            request.gif.pinned |= kGifChoicePalette;
        }));
    options.push_back(choiceOption<GifDither>(
        "--gif-dither",
        {{"none", GifDither::None}, {"ordered", GifDither::Ordered}, {"ordered8", GifDither::Ordered8},
         {"diffusion", GifDither::Diffusion}},
        "fade to GIF: nearest colour, the 4 x 4 ordered dither (default), the 8 x 8 ordered dither or error "
        "diffusion",
        [](MixRequest& request, const GifDither& dither) {
            request.gif.dither = dither;
            request.gif.pinned |= kGifChoiceDither;
        }));
    options.push_back({"--codec", "uncompressed|mjpeg|mpeg4|ffv1|huffyuv|h264",
                       "fade to AVI: the video compressor (default uncompressed; --list-codecs shows this build's); "
                       "not used for a GIF",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           std::string names;
                           for (const CompressorOption& option : offeredCompressors()) {
                               if (option.name == v) {
                                   c.request.codec = v;
                                   return std::nullopt;
                               }
                               names += (names.empty() ? "" : ", ") + option.name;
                           }
                           return "--codec \"" + v + "\" is not available here (available: " + names + ")";
                       }});
}

// The Fade's outputs: the word, the request's value, the result's extension, what it is, and
// whether this build can write it (the video formats need their FFmpeg encoder).
struct FadeFormat {
    const char* name;
    FadeOutput output;
    const char* extension;
    const char* description;
    bool available;
};

std::vector<FadeFormat> fadeFormats()
{
    std::vector<FadeFormat> formats = {{"avi", FadeOutput::Avi, "avi", "AVI video (--codec)", true},
                                       {"gif", FadeOutput::Gif, "gif", "Animated GIF (--gif-palette, --gif-dither)", true}};
#if VANTORELL_CLI_VIDEO
    const std::pair<VideoFormat, FadeOutput> video[] = {{VideoFormat::Mp4, FadeOutput::Mp4},
                                                        {VideoFormat::Webm, FadeOutput::Webm},
                                                        {VideoFormat::Webp, FadeOutput::Webp},
                                                        {VideoFormat::Apng, FadeOutput::Apng}};
    for (const auto& [format, output] : video) {
        const VideoFormatInfo& info = videoFormatInfo(format);
        formats.push_back({info.name, output, info.extension, info.description, videoFormatAvailable(format)});
    }
#endif
    return formats;
}

void addVideoOutputOptions(std::vector<CliOption>& options)
{
    options.push_back({"--format", "avi|gif|mp4|webm|webp|apng",
                       "fade: the result's format (default avi): DIR/result.avi, .gif, .mp4, .webm, .webp, or "
                       ".png for APNG; --list-formats shows this build's",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           std::string names;
                           for (const FadeFormat& format : fadeFormats()) {
                               if (!format.available)
                                   continue;
                               if (v == format.name) {
                                   c.request.fadeOutput = format.output;
                                   return std::nullopt;
                               }
                               names += (names.empty() ? "" : ", ") + std::string(format.name);
                           }
                           return "--format \"" + v + "\" is not available here (available: " + names + ")";
                       }});
    options.push_back(numberOption("--video-quality", 0, 100,
                                   "fade to mp4, webm, webp: 0 (smallest) to 100 (best; lossless WebP), mapped to "
                                   "the encoder's scale (default: the encoder's own, CRF 23, CRF 31, quality 75); "
                                   "APNG is always lossless",
                                   [](CliContext& c, int n, const std::string&) { c.request.videoQuality = n; }));
    options.push_back({"--list-formats", "", "list the fade's result formats this build writes",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               for (const FadeFormat& format : fadeFormats())
                                   if (format.available)
                                       std::printf("%-6s result.%-6s %s\n", format.name, format.extension,
                                                   format.description);
                               return 0;
                           };
                           return std::nullopt;
                       }});
}

// Morph: the meshes of a true morph and the timing of the fade's frames.
void addMorphOptions(std::vector<CliOption>& options)
{
    options.push_back({"--mesh", "FILE", "fade: morph with the two meshes of this JSON mesh file (see README)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           MeshFileResult read = readMeshFile(v);
                           if (!read.pair)
                               return "--mesh: " + read.error;
                           c.request.morphMeshes = std::move(read.pair);
                           c.meshFile = v;
                           return std::nullopt;
                       }});
    options.push_back({"--auto-mesh", "",
                       "fade: place mesh 2 by itself, the second picture aligned and followed point by point (see README)",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.request.autoMesh = true;
                           return std::nullopt;
                       }});
    options.push_back({"--save-mesh", "FILE", "with --auto-mesh: write the meshes used as a mesh file (--mesh replays them)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v.empty())
                               return "--save-mesh needs a file name";
                           c.request.saveMeshFile = v;
                           return std::nullopt;
                       }});
    const auto easeOption = [](std::string name, std::string help, bool shape, bool colour) {
        return CliOption{name, "linear|in|out|in-out", std::move(help),
                         [name, shape, colour](CliContext& c, const std::string& v) -> std::optional<std::string> {
                             const std::optional<Easing> easing = easingFromName(v);
                             if (!easing)
                                 return name + " takes linear, in, out or in-out";
                             if (shape)
                                 c.request.morphTiming.shapeEasing = *easing;
                             if (colour)
                                 c.request.morphTiming.colourEasing = *easing;
                             return std::nullopt;
                         }};
    };
    options.push_back(easeOption("--ease", "fade: the easing of shape and colour (default linear)", true, true));
    options.push_back(easeOption("--ease-shape", "fade: the easing of the shape alone", true, false));
    options.push_back(easeOption("--ease-colour", "fade: the easing of the colour alone", false, true));
    options.push_back(numberOption("--hold-start", 0, MorphTiming::kMaxHoldFrames,
                                   "fade: extra frames of the first picture before the fade (default 0)",
                                   [](CliContext& c, int n, const std::string&) { c.request.morphTiming.holdStart = n; }));
    options.push_back(numberOption("--hold-end", 0, MorphTiming::kMaxHoldFrames,
                                   "fade: extra frames of the second picture after it (default 0)",
                                   [](CliContext& c, int n, const std::string&) { c.request.morphTiming.holdEnd = n; }));
    options.push_back({"--ping-pong", "", "fade: play the frames there and back, for a loop",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.request.morphTiming.pingPong = true;
                           return std::nullopt;
                       }});
}

// Smaller GIFs: inter-frame optimisation, lossy LZW and a size limit.
void addGifSizeOptions(std::vector<CliOption>& options)
{
    options.push_back({"--gif-optimize", "", "fade to GIF: later frames store only the rectangle that changed",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.request.gif.optimize = true;
                           c.request.gif.pinned |= kGifChoiceOptimize;
                           return std::nullopt;
                       }});
    options.push_back(numberOption("--gif-lossy", 0, 200,
                                   "fade to GIF: lossy LZW, a pixel may take a colour up to N/2 away (default 0)",
                                   [](CliContext& c, int n, const std::string&) {
                                       c.request.gif.lossy = n;
                                       c.request.gif.pinned |= kGifChoiceLossy;
                                   }));
    options.push_back(numberOption(
        "--gif-quality", 1, 100,
        "fade to GIF: one knob from 1 (smallest) to 100 (best) that picks the palette, dither, optimisation "
        "and lossy level for the frames (frames that mostly stay still keep one palette and still areas "
        "still); --gif-palette, --gif-dither, --gif-optimize and --gif-lossy given with it are kept",
        [](CliContext& c, int n, const std::string&) { c.request.gif.quality = n; }));
    options.push_back({"--gif-max-size", "SIZE",
                       "fade to GIF: the best palette, dither, lossy level and frame size that fit in SIZE "
                       "(5MB, 800KB, 2MiB; KB/MB powers of 1000, KiB/MiB of 1024); overrides the other GIF "
                       "choices",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           const auto bytes = parseByteSize(v);
                           if (!bytes || *bytes < 100)
                               return "--gif-max-size takes a size of at least 100 bytes such as 5MB, 800KB or "
                                      "2MiB";
                           c.request.gif.maxSize = *bytes;
                           return std::nullopt;
                       }});
}

// A fade through a sequence: the option takes every argument after it up to the next option.
void addSequenceOptions(std::vector<CliOption>& options)
{
    options.push_back({"--sequence-files", "FILE...",
                       "fade: one output fading from each picture to the next (instead of --image1/--image2)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (c.request.sequenceFiles.size() >= kMaxSequencePictures)
                               return "--sequence-files takes at most " + std::to_string(kMaxSequencePictures) +
                                      " pictures";
                           c.request.sequenceFiles.push_back(v);
                           return std::nullopt;
                       }});
}

// A sequence's checks; the first two pictures stand as --image1 and --image2 for the job.
std::optional<std::string> finishSequence(CliContext& context)
{
    MixRequest& request = context.request;
    if (request.sequenceFiles.empty())
        return std::nullopt;
    if (context.image1 || context.image2)
        return "--sequence-files and --image1/--image2 exclude each other";
    if (request.mixType != MixType::Fade)
        return "--sequence-files needs --type fade";
    if (request.sequenceFiles.size() < 2)
        return "--sequence-files needs at least 2 pictures";
    if (request.morphMeshes)
        return "--mesh morphs one pair of pictures; it cannot be used with --sequence-files";
    if (request.morphTiming.pingPong)
        return "--ping-pong cannot be used with --sequence-files";
    if (request.align)
        return "--align aligns one pair of pictures; it cannot be used with --sequence-files";
    if (request.autoMesh)
        return "--auto-mesh morphs one pair of pictures; it cannot be used with --sequence-files";
    request.image1Path = request.sequenceFiles[0];
    request.image2Path = request.sequenceFiles[1];
    context.image1 = context.image2 = true;
    return std::nullopt;
}

void addInformationOptions(std::vector<CliOption>& options)
{
    options.push_back({"--list-codecs", "", "list the video compressors this build offers for AVI output",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               for (const CompressorOption& option : offeredCompressors())
                                   std::printf("%-14s%s\n", option.name.c_str(), option.description.c_str());
                               return 0;
                           };
                           return std::nullopt;
                       }});
    options.push_back({"--progress", "text|json",
                       "what goes to stderr: messages as text (default), or one JSON object a line: progress, "
                       "each message, and last the outcome (see README)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "text" && v != "json")
                               return "--progress takes text or json";
                           c.jsonProgress = v == "json";
                           return std::nullopt;
                       }});
    options.push_back({"--version", "", "show the program's name and version",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               std::printf("vantorell-mix %s\n", kProgramVersion);
                               return 0;
                           };
                           return std::nullopt;
                       }});
    options.push_back({"--help", "", "show this text",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               std::fputs(usageText().c_str(), stdout);
                               return 0;
                           };
                           return std::nullopt;
                       }});
}

std::vector<CliOption> makeOptions()
{
    std::vector<CliOption> options;
    addJobOptions(options);
    addOutputFileOptions(options);
    addMemoryOption(options);
    addBlendAndQualityOptions(options);
    addFadeOptions(options);
    addVideoOutputOptions(options);
    addMorphOptions(options);
    addGifSizeOptions(options);
    addSequenceOptions(options);
    addInformationOptions(options);
    return options;
}

}  // namespace

const std::vector<CliOption>& cliOptions()
{
    static const std::vector<CliOption> options = makeOptions();
    return options;
}

std::string usageText()
{
    std::string text =
        "Usage: vantorell-mix --type blend|overlay|fade --image1 FILE --image2 FILE --output DIR [options]\n"
        "       vantorell-mix ... --output-file PATH [options]\n"
        "       vantorell-mix --type fade --sequence-files FILE FILE... --output DIR [options]\n"
        "       vantorell-mix batch ...   (many pairs; see vantorell-mix batch --help)\n"
        "       vantorell-mix gif INPUT... --output-file PATH   (a GIF of pictures, a GIF or a\n"
        "                 video; see vantorell-mix gif --help)\n"
        "\n"
        "Mixes two pictures the way the Vantorell window's Start button does, without a window,\n"
        "and writes DIR/result.jpg (blend, overlay), DIR/result.avi, .gif, .mp4, .webm, .webp\n"
        "or .png (an APNG) (fade), or the file --output-file names, replacing the result of an\n"
        "earlier run. Settings the options leave out take the window's design values (blend\n"
        "left, blend size 0, a 729 x 425 canvas with both pictures stretched, Smart-Detect\n"
        "quality, 10 frames, 5 frames per second, AVI; a GIF with the halftone palette and the\n"
        "ordered dither; a plain cross-fade: the same regular mesh on both pictures, linear, no\n"
        "hold frames; no alignment); the window's stored settings are neither read nor written.\n"
        "\n"
        "Options:\n";
    for (const CliOption& option : cliOptions()) {
        std::string left = "  " + option.name + (option.argument.empty() ? "" : " " + option.argument);
        if (left.size() < 32)
            left.resize(32, ' ');
        else
            left += "\n" + std::string(32, ' ');
        text += left + option.help + "\n";
    }
    text +=
        "\n"
        "Messages the window would show in a box go to stderr with the same texts (\"Application\n"
        "Error\" reports included; control characters in names shown as \\xHH); \"Done.\" goes to\n"
        "stdout. A job that fails, reports an error while it makes its result, or is interrupted\n"
        "writes nothing: an earlier result stays as it was, and no work file is left. A job killed\n"
        "outright (SIGKILL) leaves at most its temporary result and work folder, which the next\n"
        "job's start removes. A file-size limit (ulimit -f) or a closed pipe makes a write fail,\n"
        "not the program end: the job fails (1). A result that would replace one of the job's\n"
        "inputs (a picture, the mesh file) is refused before anything runs.\n"
        "\n"
        "Exit status:\n"
        "  0    the result was written, and no error was reported on the way\n"
        "  1    the job failed: no result was written, or a step reported an error, or its\n"
        "       messages could not be printed\n"
        "  2    a bad command line, or a result that would replace an input\n"
        "  129  the terminal closed (SIGHUP)\n"
        "  130  interrupted by Ctrl+C (SIGINT)\n"
        "  143  ended by SIGTERM\n";
    return text;
}

OptionArgument splitOptionArgument(const std::string& argument)
{
    OptionArgument split{argument, std::nullopt};
    if (const auto eq = argument.find('='); argument.rfind("--", 0) == 0 && eq != std::string::npos) {
        split.inlineValue = argument.substr(eq + 1);
        split.name.resize(eq);
    }
    return split;
}

std::optional<std::string> parseCommandLine(CliContext& context, const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto [name, inlineValue] = splitOptionArgument(arguments[i]);
        const CliOption* found = nullptr;
        for (const CliOption& option : cliOptions())
            if (option.name == name)
                found = &option;
        if (!found)
            return "unknown option \"" + arguments[i] + "\"";
        std::string value;
        if (!found->argument.empty()) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size() &&
                       !(found->argument.ends_with("...") && arguments[i + 1].starts_with("--"))) {
                value = arguments[++i];
            } else {
                return found->name + " needs " + found->argument;
            }
        } else if (inlineValue) {
            return found->name + " takes no value";
        }
        if (auto error = found->apply(context, value))
            return error;
        // An option of several values ("FILE...") takes the arguments up to the next option.
        while (found->argument.ends_with("...") && i + 1 < arguments.size() && !arguments[i + 1].starts_with("--"))
            if (auto error = found->apply(context, arguments[++i]))
                return error;
    }
    return std::nullopt;
}

// --auto-mesh and --save-mesh: a Fade's, without --align (the alignment goes into mesh 2).
std::optional<std::string> checkAutoMesh(const MixRequest& request)
{
    if (!request.saveMeshFile.empty() && !request.autoMesh)
        return "--save-mesh writes the meshes --auto-mesh places; give --auto-mesh too";
    if (!request.autoMesh)
        return std::nullopt;
    if (request.mixType != MixType::Fade)
        return "--auto-mesh is for --type fade";
    if (request.align)
        return "--auto-mesh aligns the second picture within mesh 2; it cannot be used with --align";
    return std::nullopt;
}

std::optional<std::string> finishCommandLine(CliContext& context)
{
    if (context.action)
        return std::nullopt;
    if (!context.type)
        return "--type is needed (blend, overlay or fade)";
    if (auto error = finishSequence(context))
        return error;
    if (!context.image1 || !context.image2)
        return "--image1 and --image2 are needed";
    if (context.output && context.outputFile)
        return "--output and --output-file exclude each other";
    if (!context.output && !context.outputFile)
        return "--output or --output-file is needed";
    if (context.quality && context.smartDetect)
        return "--quality and --smart-detect exclude each other";
    const MixRequest& request = context.request;
    if (const int limit = blendSizeLimit(request.blendDirection, request.blendCanvas);
        context.blendSize && request.blendStart > limit) {
        static const char* const directions[] = {"left", "right", "top", "bottom"};
        return rangeError("--blend-size", 0, limit) + " for --direction " +
               directions[int(request.blendDirection)] + " on a " + blendCanvasSizeText(request.blendCanvas) +
               " canvas";
    }
    if (auto error = checkAutoMesh(request))
        return error;
    // Nobody is there to answer the compressor dialog: the default is named up front, so the
    // job knows the AVI's size before it renders a frame.
    if (context.request.mixType == MixType::Fade && !context.request.codec)
        context.request.codec = "uncompressed";
    return std::nullopt;
}

std::vector<std::string> inputFiles(const CliContext& context)
{
    std::vector<std::string> files = {context.request.image1Path, context.request.image2Path};
    files.insert(files.end(), context.request.sequenceFiles.begin(), context.request.sequenceFiles.end());
    if (!context.meshFile.empty())
        files.push_back(context.meshFile);
    return files;
}

}  // namespace vantorell::cli
