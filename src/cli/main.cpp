// vantorell-mix: runs the window's Start command on one pair of pictures without a window.
#include "cli/CliOptions.h"
#include "cli/PrintingUi.h"
#include "job/MixJob.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace {

struct FileStamp {
    dev_t device;
    ino_t inode;
    timespec modified;
};

std::optional<FileStamp> stampOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_mtim};
}

bool sameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.device == b.device && a.inode == b.inode && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace vantorell;

    cli::PrintingUi ui;
    MixJob job(ui);
    cli::CliContext context{job, ui};
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::optional<std::string> error = ParseCommandLine(context, arguments);
    if (!error)
        error = FinishCommandLine(context);
    if (error) {
        std::fprintf(stderr, "vantorell-mix: %s\nTry 'vantorell-mix --help'.\n", error->c_str());
        return 2;
    }
    if (context.action)
        return context.action();

    // The job names its output itself; a file it wrote is one that was not there before, or
    // is another file than before (the job deletes the old result first).
    const std::string expected = (std::filesystem::path(job.Text3.text()) / ("result." + job.OutputExtension)).string();
    const std::optional<FileStamp> before = stampOf(expected);
    job.PushButton2_Click();
    const std::string written = job.OutputPath.empty() ? expected : job.OutputPath;
    const std::optional<FileStamp> after = stampOf(written);
    if (!after || (before && sameStamp(*before, *after)))
        return 1;
    return 0;
}
