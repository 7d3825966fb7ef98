#include "support/RunProgram.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace vantorell::test {

namespace {

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The shell command that runs the program with its output sent to files in `scratch`.
std::string commandLine(const std::filesystem::path& program, const std::string& arguments,
                        const std::string& environment, const TempDir& scratch)
{
    return environment + (environment.empty() ? "" : " ") + "'" + program.string() + "' " + arguments + " >'" +
           (scratch / "stdout").string() + "' 2>'" + (scratch / "stderr").string() + "'";
}

ProgramRun collect(int status, const TempDir& scratch)
{
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(scratch / "stdout");
    run.err = readFile(scratch / "stderr");
    return run;
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                      const std::string& environment)
{
    const TempDir scratch;
    return collect(std::system(commandLine(program, arguments, environment, scratch).c_str()), scratch);
}

ProgramRun RunScript(const std::string& script)
{
    const TempDir scratch;
    std::ofstream(scratch / "script.sh") << script << '\n';
    return RunProgram("bash", "'" + (scratch / "script.sh").string() + "'");
}

StartedProgram::StartedProgram(const std::filesystem::path& program, const std::string& arguments,
                               const std::string& environment)
{
    const std::string command = std::string("exec ") + (environment.empty() ? "" : "env ") +
                                commandLine(program, arguments, environment, m_scratch);
    // The program starts with SIGINT and SIGTERM at their defaults and unblocked, whatever
    // the test runner was given.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()), nullptr};
    if (posix_spawn(&m_pid, "/bin/sh", nullptr, &attributes, argv, environ) != 0)
        m_pid = -1;
    posix_spawnattr_destroy(&attributes);
}

StartedProgram::~StartedProgram()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

void StartedProgram::signal(int number) const
{
    if (m_pid > 0)
        ::kill(m_pid, number);
}

std::optional<ProgramRun> StartedProgram::wait(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        return ProgramRun{};
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return collect(status, m_scratch);
        }
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::filesystem::path MixProgram() { return std::filesystem::path(VANTORELL_BINARY_DIR) / "vantorell-mix"; }

}  // namespace vantorell::test
