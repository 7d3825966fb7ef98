// Runs a program of the build through the shell and collects what it printed, for the tests
// that drive vantorell-mix end to end.
#pragma once

#include <filesystem>
#include <string>

namespace vantorell::test {

struct ProgramRun {
    int status = -1;      // the exit status; -1 when the program did not exit normally
    std::string out;      // standard output
    std::string err;      // standard error
};

// Runs `program arguments` with the environment assignments in front (for example
// "TEMP='/tmp/x'"); arguments are passed to the shell as written.
ProgramRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                      const std::string& environment = {});

// vantorell-mix in this build.
std::filesystem::path MixProgram();

}  // namespace vantorell::test
