// `vantorell-mix gif INPUT... --output-file out.gif`: the GIF maker on the command line. It runs
// in the video build (it decodes videos with FFmpeg); the plain build hands it over.
#pragma once

#include "cli/CliOptions.h"
#include "job/GifMaker.h"

#include <optional>
#include <string>
#include <vector>

namespace vantorell::cli {

// Runs the GIF maker on the arguments after "gif"; answers the exit status (0 written, 1 the
// job failed, 2 a bad command line or a result that would replace an input).
int runGifMaker(const std::vector<std::string>& arguments);

// The options of one GIF that `gif` and `batch --type gif` share: --fps, --width, the GIF
// options, --memory-limit and --progress (the last three set `shared`, as for a fade to GIF).
bool isGifJobOption(const std::string& name);
bool isGifJobFlag(const std::string& name);   // one that takes no value
std::string gifJobOptionArgument(const std::string& name);   // its argument's name, for errors
std::optional<std::string> applyGifJobOption(GifMakerRequest& request, CliContext& shared, const std::string& name,
                                             const std::string& value);

// The gif subcommand's --help text.
std::string gifMakerUsageText();

}  // namespace vantorell::cli
