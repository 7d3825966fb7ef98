#include "cli/InputGuard.h"

#include "cli/CliOptions.h"

#include <sys/stat.h>

namespace vantorell::cli {

namespace {

// The file's device and inode, links followed (a result or report written there writes it).
std::optional<std::pair<std::uint64_t, std::uint64_t>> identityOf(const std::filesystem::path& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino));
}

}  // namespace

void FileSet::add(const std::filesystem::path& file)
{
    if (file == m_last)
        return;
    m_last = file;
    if (const auto identity = identityOf(file))
        m_files.emplace(*identity, file);
}

std::optional<std::filesystem::path> FileSet::find(const std::filesystem::path& path) const
{
    const auto identity = m_files.empty() ? std::nullopt : identityOf(path);
    if (!identity)
        return std::nullopt;
    const auto found = m_files.find(*identity);
    if (found == m_files.end())
        return std::nullopt;
    return found->second;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const auto first = identityOf(a), second = identityOf(b);
    if (first && second)
        return *first == *second;
    std::error_code ec1, ec2;
    const std::filesystem::path left = std::filesystem::weakly_canonical(a, ec1);
    const std::filesystem::path right = std::filesystem::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && left == right;
}

std::string overwriteRefusal(const std::string& what, const std::filesystem::path& output,
                             const std::filesystem::path& input)
{
    return "the " + what + " \"" + output.string() + "\" is the input \"" + input.string() + "\"; a " + what +
           " never replaces an input";
}

std::optional<std::string> refuseOverwritingInputs(const CliContext& context)
{
    FileSet inputs;
    for (const std::string& file : inputFiles(context))
        inputs.add(file);
    const MixRequest& request = context.request;
    const std::filesystem::path result = resultPath(request);
    // Named as the user gave it: the output file (with the extension the job adds), else DIR/result.<ext>.
    const std::filesystem::path named =
        request.outputFile.empty() ? result : std::filesystem::path(request.outputFile).parent_path() / resultFileName(request);
    if (const auto input = inputs.find(result))
        return overwriteRefusal("result", named, *input);
    return std::nullopt;
}

}  // namespace vantorell::cli
