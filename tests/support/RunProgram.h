// Runs a program of the build through the shell and collects what it printed, for the tests
// that drive vantorell-mix end to end.
#pragma once

#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

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

// Runs a bash script (for `ulimit`, `trap`) and collects what it printed.
ProgramRun RunScript(const std::string& script);

// A program started in the background, for a test that signals it while it runs. The process
// that starts is the program itself (the shell execs it), so signal() reaches it.
class StartedProgram {
public:
    StartedProgram(const std::filesystem::path& program, const std::string& arguments,
                   const std::string& environment = {});
    // A program still running is killed and reaped.
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    void signal(int number) const;
    // Waits at most `limit` for the program to end; nothing when it still runs.
    std::optional<ProgramRun> wait(std::chrono::milliseconds limit);

private:
    TempDir m_scratch;
    pid_t m_pid = -1;
};

// vantorell-mix in this build.
std::filesystem::path MixProgram();

}  // namespace vantorell::test
