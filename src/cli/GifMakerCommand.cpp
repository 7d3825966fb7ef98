#include "cli/GifMakerCommand.h"

#include "cli/CliOptions.h"
#include "cli/InputGuard.h"
#include "cli/JsonProgress.h"
#include "cli/PrintingUi.h"
#include "platform/Interruption.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace vantorell::cli {

namespace {

std::optional<double> parseFps(const std::string& text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !(value > 0) || value > 100)
        return std::nullopt;
    return value;
}

bool isSharedOption(const std::string& name)
{
    return name.starts_with("--gif-") || name == "--memory-limit" || name == "--progress";
}

// The GIF options, --memory-limit and --progress, exactly as a fade to GIF takes them.
const CliOption* sharedOption(const std::string& name)
{
    if (!isSharedOption(name))
        return nullptr;
    for (const CliOption& option : cliOptions())
        if (option.name == name)
            return &option;
    return nullptr;
}

}  // namespace

bool isGifJobOption(const std::string& name)
{
    return name == "--fps" || name == "--width" || sharedOption(name);
}

bool isGifJobFlag(const std::string& name)
{
    const CliOption* common = sharedOption(name);
    return common && common->argument.empty();
}

std::string gifJobOptionArgument(const std::string& name)
{
    const CliOption* common = sharedOption(name);
    return common ? common->argument : std::string("a value");
}

std::optional<std::string> applyGifJobOption(GifMakerRequest& request, CliContext& shared, const std::string& name,
                                             const std::string& value)
{
    if (const CliOption* common = sharedOption(name))
        return common->apply(shared, value);
    if (name == "--fps") {
        const std::optional<double> fps = parseFps(value);
        if (!fps)
            return "--fps takes a number of frames per second above 0, at most 100";
        request.fps = *fps;
    } else {   // --width
        int width = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), width);
        if (ec != std::errc() || end != value.data() + value.size() || width < 1 || width > kGifMakerMaxWidth)
            return "--width takes a whole number from 1 to " + std::to_string(kGifMakerMaxWidth);
        request.width = width;
    }
    return std::nullopt;
}

#if VANTORELL_CLI_VIDEO

namespace {

struct GifMakerCommandLine {
    GifMakerRequest request;
    bool sort = false, help = false, json = false;
};

std::optional<std::string> applyMakerOption(GifMakerCommandLine& line, const std::string& name, const std::string& value)
{
    GifMakerRequest& request = line.request;
    if (name == "--sort") {
        line.sort = true;
    } else if (name == "--help") {
        line.help = true;
    } else {   // --output-file
        if (value.empty() || value.back() == '/')
            return "--output-file takes a file name, not a folder";
        request.outputFile = value;
        if (!std::filesystem::path(value).has_extension())
            request.outputFile += ".gif";
    }
    return std::nullopt;
}

std::optional<std::string> parseGifMaker(GifMakerCommandLine& line, const std::vector<std::string>& arguments)
{
    CliContext shared;   // what the shared options set
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!arguments[i].starts_with("--")) {
            line.request.inputs.push_back(arguments[i]);
            continue;
        }
        auto [name, value] = splitOptionArgument(arguments[i]);
        const bool own = name == "--output-file" || name == "--sort" || name == "--help";
        if (!own && !isGifJobOption(name))
            return "unknown option \"" + arguments[i] + "\" for gif";
        const bool flag = name == "--sort" || name == "--help" || isGifJobFlag(name);
        if (flag && value)
            return name + " takes no value";
        if (!flag && !value) {
            if (i + 1 == arguments.size())
                return name + " needs " + gifJobOptionArgument(name);
            value = arguments[++i];
        }
        if (auto error = own ? applyMakerOption(line, name, value.value_or(""))
                             : applyGifJobOption(line.request, shared, name, value.value_or("")))
            return error;
    }
    line.request.gif = shared.request.gif;
    line.request.memoryLimit = shared.request.memoryLimit;
    line.json = shared.jsonProgress;
    if (line.help)
        return std::nullopt;
    if (line.request.inputs.empty())
        return "gif needs at least one input: pictures, an animated GIF or WebP, or a video";
    if (line.request.inputs.size() > std::size_t(kGifMakerMaxFrames))
        return "gif takes at most " + std::to_string(kGifMakerMaxFrames) + " pictures";
    if (line.request.outputFile.empty())
        return "gif needs --output-file";
    if (line.sort)
        sortNumerically(line.request.inputs);
    FileSet inputs;
    for (const std::string& input : line.request.inputs)
        inputs.add(input);
    if (const auto input = inputs.find(line.request.outputFile))
        return overwriteRefusal("result", line.request.outputFile, *input);
    return std::nullopt;
}

}  // namespace

int runGifMaker(const std::vector<std::string>& arguments)
{
    GifMakerCommandLine line;
    if (const auto error = parseGifMaker(line, arguments)) {
        if (line.json || asksJsonProgress(arguments))
            return printJsonRefusal(*error);
        std::fprintf(stderr, "vantorell-mix: %s\nTry 'vantorell-mix gif --help'.\n", visibleText(*error).c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(gifMakerUsageText().c_str(), stdout);
        return 0;
    }
    interruption::removeRegisteredOnSignals();
    std::optional<JsonProgress> json;
    StepProgress progress;
    if (line.json) {
        json.emplace();
        json->endInterruptions();
        progress = [&json](std::int64_t done, std::int64_t total) {
            json->progress("Frames", double(done), double(total));
            return true;
        };
    }
    const GifMakerOutcome outcome = makeGif(line.request, progress);
    if (!outcome.written) {
        if (!json) {
            std::fprintf(stderr, "vantorell-mix: %s\n", visibleText(outcome.error).c_str());
            return 1;
        }
        json->message(outcome.error, "error");
        json->end({{"exit", 1}, {"written", nullptr}, {"failure", jsonText(outcome.error)}});
        return 1;
    }
    std::printf("Done.\n");
    const int status = std::fflush(stdout) == 0 ? 0 : 1;
    if (json) {
        json->message("Done.", "message");
        json->end({{"exit", status}, {"written", jsonText(line.request.outputFile)}});
    }
    return status;
}

#else

int runGifMaker(const std::vector<std::string>&) { return 2; }   // the plain build hands gif over

#endif

std::string gifMakerUsageText()
{
    return "Usage: vantorell-mix gif INPUT... --output-file PATH [options]\n"
           "\n"
           "Makes one animated GIF from pictures (the frames in the order given), from an\n"
           "animated GIF or WebP (re-encoded, each frame's delay kept) or from one video file\n"
           "(decoded and resampled to --fps). Every frame takes the first frame's size: one of\n"
           "another size is fitted in, its proportions kept, centred, black around it (clear\n"
           "when the frames have clear pixels). Pixels under 50 % alpha (of PNG or WebP\n"
           "pictures, an animated GIF or WebP) stay transparent. The result is written whole\n"
           "or not at all, as every job's.\n"
           "\n"
           "Options:\n"
           "  --output-file PATH          the GIF (\".gif\" added when it has no extension)\n"
           "  --fps N                     pictures and videos: frames per second, above 0, at most\n"
           "                              100 (default 10)\n"
           "  --width W                   frames W pixels wide, their height in proportion\n"
           "                              (default the first frame's size)\n"
           "  --sort                      pictures in the order of their names, numbers by value\n"
           "                              (frame2 before frame10)\n"
           "  --gif-...                   the GIF options of vantorell-mix --help (palette, dither,\n"
           "                              optimise, lossy, size budget)\n"
           "  --memory-limit SIZE         refuse a GIF whose frames need more memory (default 4GiB)\n"
           "  --progress text|json        with json, stderr gets one JSON object a line: the frames\n"
           "                              done, an error, and last the outcome (see README)\n"
           "  --help                      show this text\n"
           "\n"
           "Exit status: 0 written; 1 the GIF could not be made (an input missing or unreadable,\n"
           "a video without a video stream); 2 a bad command line or a result that would replace\n"
           "an input; 129, 130, 143 interrupted (nothing is left behind).\n";
}

}  // namespace vantorell::cli
