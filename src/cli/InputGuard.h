// The files a run reads, known by what they are (device and inode) rather than by how a path
// spells them, so that no result or report is ever written over one of them: not through a
// link, a "./" or a name that differs only in its route.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace vantorell::cli {

struct CliContext;

class InputGuard {
public:
    // An input of the run; one that does not exist (it will fail as an input) is left out.
    void add(const std::filesystem::path& input);
    // The input that `output` would overwrite, as the user named it; none when `output` does
    // not exist yet or is no input.
    std::optional<std::filesystem::path> inputAt(const std::filesystem::path& output) const;

private:
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::filesystem::path> m_inputs;
};

// Whether two paths name the same file: the same device and inode when both exist, else the
// same path once made absolute and free of "." and "..".
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The refusal of an output that is an input: "the result \"out/a.jpg\" is the input \"a.jpg\";
// a result never replaces an input". `what` is "result" or "report".
std::string overwriteRefusal(const std::string& what, const std::filesystem::path& output,
                             const std::filesystem::path& input);

// A single job's refusal when its result is one of its inputs.
std::optional<std::string> refuseOverwritingInputs(const CliContext& context);

}  // namespace vantorell::cli
