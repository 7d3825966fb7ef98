// No result or report is ever written over a file the run reads. Files are known by what they
// are (device and inode) rather than by how a path spells them, so neither a link, a "./" nor a
// name that differs only in its route gets past the check.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace vantorell::cli {

struct CliContext;

// Files by identity, each with the path it was added by.
class FileSet {
public:
    // A path that names no file is left out; so is the path added just before (a batch names
    // the same picture row after row).
    void add(const std::filesystem::path& file);
    // The added file that `path` names, as it was added; none when `path` names no such file.
    std::optional<std::filesystem::path> find(const std::filesystem::path& path) const;
    bool empty() const { return m_files.empty(); }

private:
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::filesystem::path> m_files;
    std::filesystem::path m_last;
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
