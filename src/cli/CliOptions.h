// The options of vantorell-mix, as one table: each entry names an option, its argument, its
// help line and what it does to the job's request. New options are new rows.
#pragma once

#include "job/MixJob.h"
#include "job/MixRequest.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantorell::cli {

// What the parsed command line has asked for so far.
struct CliContext {
    MixRequest request;
    bool type = false, image1 = false, image2 = false, output = false;
    bool quality = false, smartDetect = false;
    bool outputFile = false;   // --output-file
    bool blendSize = false;    // --blend-size (its range is checked once the canvas is known)
    std::string meshFile;      // --mesh, an input of the run besides the pictures
    bool jsonProgress = false; // --progress json: stderr as one JSON object a line
    // An option that answers by itself (--help, --list-codecs): run instead of a job; its
    // result is the exit status.
    std::function<int()> action;
};

struct CliOption {
    std::string name;       // "--type"
    std::string argument;   // shown in the help ("blend|overlay|fade"); empty for a flag
    std::string help;
    // Applies the option; answers an error text for a bad value.
    std::function<std::optional<std::string>(CliContext&, const std::string& value)> apply;
};

const std::vector<CliOption>& cliOptions();

// The job's aligner (align/Align.h). It loads OpenCV, so only the video build has it; the plain
// build hands a command line with --align to the video build.
#if VANTORELL_CLI_VIDEO
inline constexpr PictureAligner kAligner = &alignSecondPicture;
inline constexpr MeshPlacer kMeshPlacer = &autoMeshPair;
#else
inline constexpr PictureAligner kAligner = nullptr;
inline constexpr MeshPlacer kMeshPlacer = nullptr;
#endif

// The --help text.
std::string usageText();

// "--name=value" as its name and inline value; any other argument as itself, without a value.
struct OptionArgument {
    std::string name;
    std::optional<std::string> inlineValue;
};
OptionArgument splitOptionArgument(const std::string& argument);

// Parses the arguments into the context; answers an error text for a bad command line.
std::optional<std::string> parseCommandLine(CliContext& context, const std::vector<std::string>& arguments);

// After parsing: the checks that need all options (required ones, conflicts).
std::optional<std::string> finishCommandLine(CliContext& context);

// Every file the job reads: both pictures, a sequence's pictures and the mesh file.
std::vector<std::string> inputFiles(const CliContext& context);

}  // namespace vantorell::cli
