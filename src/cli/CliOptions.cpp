#include "cli/CliOptions.h"

#include "colour/Ditherer.h"

#if VANTORELL_CLI_VIDEO
#include "avi/AviWriter.h"
#endif

#include <charconv>
#include <cstdio>
#include <memory>

namespace vantorell::cli {

namespace {

// The compressors of this build's FFmpeg. Only the video build links FFmpeg; the plain build
// hands every command line that names a video option to it before parsing (main.cpp).
std::vector<CompressorOption> OfferedCompressors()
{
#if VANTORELL_CLI_VIDEO
    return AviCompressors();
#else
    return {};
#endif
}

}  // namespace

namespace {

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

std::vector<CliOption> makeOptions()
{
    std::vector<CliOption> options;
    options.push_back({"--type", "blend|overlay|fade", "the mix: a soft seam, the average, or a cross-fade video",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "blend" && v != "overlay" && v != "fade")
                               return "--type takes blend, overlay or fade";
                           c.type = v;
                           c.job.Option5.setValue(v == "blend");
                           c.job.Option6.setValue(v == "fade");
                           c.job.Option7.setValue(v == "overlay");
                           return std::nullopt;
                       }});
    options.push_back({"--image1", "FILE", "the first picture (JPEG, BMP, PNG, GIF, WebP ...)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           c.job.Text1.setText(v);
                           c.image1 = true;
                           return std::nullopt;
                       }});
    options.push_back({"--image2", "FILE", "the second picture",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           c.job.Text2.setText(v);
                           c.image2 = true;
                           return std::nullopt;
                       }});
    options.push_back({"--output", "DIR", "the output folder; the job writes DIR/result.jpg, .avi or .gif",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           c.job.Text3.setText(v);
                           c.output = true;
                           return std::nullopt;
                       }});
    options.push_back({"--direction", "left|right|top|bottom",
                       "blend: where the second picture comes in (default left)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "left" && v != "right" && v != "top" && v != "bottom")
                               return "--direction takes left, right, top or bottom";
                           c.job.Option1.setValue(v == "left");
                           c.job.Option2.setValue(v == "right");
                           c.job.Option3.setValue(v == "top");
                           c.job.Option4.setValue(v == "bottom");
                           return std::nullopt;
                       }});
    options.push_back({"--blend-size", "N", "blend: the line where the seam starts, 0 to 729 (default 0)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           const auto n = parseInt(v, 0, kBlendCanvasWidth);
                           if (!n)
                               return rangeError("--blend-size", 0, kBlendCanvasWidth);
                           c.job.hStart.setValue(*n);
                           return std::nullopt;
                       }});
    options.push_back({"--quality", "N", "a fixed JPEG quality, 1 to 100",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           const auto n = parseInt(v, 1, 100);
                           if (!n)
                               return rangeError("--quality", 1, 100);
                           c.job.Option21.setValue(false);
                           c.job.Option22.setValue(true);
                           c.job.Slider1.setValue(*n);
                           c.quality = true;
                           return std::nullopt;
                       }});
    options.push_back({"--smart-detect", "", "estimate the JPEG quality from the two inputs (the default)",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.job.Option21.setValue(true);
                           c.job.Option22.setValue(false);
                           c.smartDetect = true;
                           return std::nullopt;
                       }});
    options.push_back({"--frames", "N", "fade: the number of frames (default 10)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (!parseInt(v, 1, 32767))
                               return rangeError("--frames", 1, 32767);
                           c.job.Text4.setText(v);
                           return std::nullopt;
                       }});
    options.push_back({"--fps", "N", "fade: frames per second of the video (default 5)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (!parseInt(v, 1, 1000))
                               return rangeError("--fps", 1, 1000);
                           c.job.txtFPS.setText(v);
                           return std::nullopt;
                       }});
    options.push_back({"--format", "avi|gif", "fade: an AVI video or an animated GIF (default avi)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "avi" && v != "gif")
                               return "--format takes avi or gif";
                           c.format = v;
                           c.job.Option8.setValue(v == "avi");
                           c.job.Option9.setValue(v == "gif");
                           return std::nullopt;
                       }});
    options.push_back({"--gif-palette", "halftone|optimal",
                       "fade to GIF: the 216-colour halftone cube (default) or a palette made from the first frame",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "halftone" && v != "optimal")
                               return "--gif-palette takes halftone or optimal";
                           if (!c.job.Dither)
                               c.job.Dither = std::make_shared<Ditherer>();
                           c.job.Dither->SetPaletteMode(v == "halftone" ? PaletteMode::Halftone : PaletteMode::Optimal);
                           return std::nullopt;
                       }});
    options.push_back({"--gif-dither", "none|ordered|diffusion",
                       "fade to GIF: nearest colour, the 4 x 4 ordered dither (default) or error diffusion",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           if (v != "none" && v != "ordered" && v != "diffusion")
                               return "--gif-dither takes none, ordered or diffusion";
                           c.job.GifDitherMode = v == "none" ? 0 : v == "ordered" ? 1 : 2;
                           return std::nullopt;
                       }});
    options.push_back({"--codec", "uncompressed|mjpeg|mpeg4|ffv1|huffyuv|h264",
                       "fade: the video compressor (default uncompressed; --list-codecs shows this build's)",
                       [](CliContext& c, const std::string& v) -> std::optional<std::string> {
                           std::string names;
                           for (const CompressorOption& option : OfferedCompressors()) {
                               if (option.name == v) {
                                   c.ui.codec = v;
                                   return std::nullopt;
                               }
                               names += (names.empty() ? "" : ", ") + option.name;
                           }
                           return "--codec \"" + v + "\" is not available here (available: " + names + ")";
                       }});
    options.push_back({"--list-codecs", "", "list the video compressors this build offers for AVI output",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               for (const CompressorOption& option : OfferedCompressors())
                                   std::printf("%-14s%s\n", option.name.c_str(), option.description.c_str());
                               return 0;
                           };
                           return std::nullopt;
                       }});
    options.push_back({"--help", "", "show this text",
                       [](CliContext& c, const std::string&) -> std::optional<std::string> {
                           c.action = [] {
                               std::fputs(UsageText().c_str(), stdout);
                               return 0;
                           };
                           return std::nullopt;
                       }});
    return options;
}

}  // namespace

const std::vector<CliOption>& CliOptions()
{
    static const std::vector<CliOption> options = makeOptions();
    return options;
}

std::string UsageText()
{
    std::string text =
        "Usage: vantorell-mix --type blend|overlay|fade --image1 FILE --image2 FILE --output DIR [options]\n"
        "\n"
        "Mixes two pictures the way the Vantorell window's Start button does, without a window,\n"
        "and writes DIR/result.jpg (blend, overlay), DIR/result.avi or DIR/result.gif (fade),\n"
        "replacing the result of an earlier run. Settings the options leave out take the\n"
        "window's design values (blend left, blend size 0, Smart-Detect quality, 10 frames,\n"
        "5 frames per second, AVI; a GIF with the halftone palette and the ordered dither); the\n"
        "window's stored settings are neither read nor written.\n"
        "\n"
        "Options:\n";
    for (const CliOption& option : CliOptions()) {
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
        "Error\" reports included); \"Done.\" goes to stdout. The exit status is 0 when the job\n"
        "wrote its output file, 1 when it did not, 2 for a bad command line.\n";
    return text;
}

std::optional<std::string> ParseCommandLine(CliContext& context, const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const CliOption* found = nullptr;
        for (const CliOption& option : CliOptions())
            if (option.name == name)
                found = &option;
        if (!found)
            return "unknown option \"" + arguments[i] + "\"";
        std::string value;
        if (!found->argument.empty()) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return found->name + " needs " + found->argument;
            }
        } else if (inlineValue) {
            return found->name + " takes no value";
        }
        if (auto error = found->apply(context, value))
            return error;
    }
    return std::nullopt;
}

std::optional<std::string> FinishCommandLine(CliContext& context)
{
    if (context.action)
        return std::nullopt;
    if (context.type.empty())
        return "--type is needed (blend, overlay or fade)";
    if (!context.image1 || !context.image2)
        return "--image1 and --image2 are needed";
    if (!context.output)
        return "--output is needed";
    if (context.quality && context.smartDetect)
        return "--quality and --smart-detect exclude each other";
    context.job.OutputExtension = context.type == "fade" ? context.format : "jpg";
    return std::nullopt;
}

}  // namespace vantorell::cli
