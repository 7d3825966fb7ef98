// vantorell-mix: runs the window's Start command on one pair of pictures without a window.
#include "cli/CliOptions.h"
#include "cli/PrintingUi.h"
#include "job/MixJob.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

#if !VANTORELL_CLI_VIDEO
// Whether a command line asks for anything of the video libraries: a fade, a compressor, the
// GIF options. Erring towards yes costs only the video build's start-up.
bool needsVideo(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "fade" || argument.ends_with("=fade"))
            return true;
        for (std::string_view option : {"--codec", "--list-codecs", "--format", "--frames", "--fps", "--gif-"})
            if (argument.starts_with(option))
                return true;
    }
    return false;
}

// Runs the same command line in the video build, vantorell-mix-video, found beside this
// program or in its install's libexec folder.
int runVideoBuild(char** argv)
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path folder = ec ? std::filesystem::path(".") : self.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / "vantorell-mix-video", folder / ".." / "libexec" / "vantorell" / "vantorell-mix-video"}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            ::execv(candidate.c_str(), argv);
            break;
        }
    }
    std::fprintf(stderr, "vantorell-mix: the video build (vantorell-mix-video) is not installed beside this program\n");
    return 2;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    using namespace vantorell;

#if VANTORELL_CLI_VIDEO
    MixJob::EnableFadeJob();
#else
    if (needsVideo(argc, argv))
        return runVideoBuild(argv);
#endif

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
