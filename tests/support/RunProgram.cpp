#include "support/RunProgram.h"

#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace vantorell::test {

namespace {

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                      const std::string& environment)
{
    const TempDir scratch;
    const std::filesystem::path out = scratch / "stdout", err = scratch / "stderr";
    const std::string command = environment + (environment.empty() ? "" : " ") + "'" + program.string() + "' " +
                                arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
}

std::filesystem::path MixProgram() { return std::filesystem::path(VANTORELL_BINARY_DIR) / "vantorell-mix"; }

}  // namespace vantorell::test
