// `vantorell-mix gif INPUT... --output-file out.gif`: the GIF maker on the command line. It runs
// in the video build (it decodes videos with FFmpeg); the plain build hands it over.
#pragma once

#include <string>
#include <vector>

namespace vantorell::cli {

// Runs the GIF maker on the arguments after "gif"; answers the exit status (0 written, 1 the
// job failed, 2 a bad command line or a result that would replace an input).
int runGifMaker(const std::vector<std::string>& arguments);

// The gif subcommand's --help text.
std::string gifMakerUsageText();

}  // namespace vantorell::cli
