// vantorell-mix: runs the window's Start command on one pair of pictures without a window.
#include "cli/Batch.h"
#include "cli/CliOptions.h"
#include "cli/GifMakerCommand.h"
#include "cli/InputGuard.h"
#include "cli/JsonProgress.h"
#include "cli/PrintingUi.h"
#include "job/MixJob.h"
#include "platform/Interruption.h"

#if VANTORELL_CLI_VIDEO
#include "job/FadeJob.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

#if !VANTORELL_CLI_VIDEO
// Whether a command line asks for anything of the video libraries: a fade, a compressor, the
// GIF options; also --align, whose OpenCV only the video build loads. Erring towards yes costs
// only the video build's start-up.
bool needsVideo(int argc, char** argv)
{
    if (argc > 1 && std::string_view(argv[1]) == "gif")   // the GIF maker decodes videos
        return true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "fade" || argument.ends_with("=fade"))
            return true;
        if (argument == "--type=gif" || (argument == "gif" && std::string_view(argv[i - 1]) == "--type"))
            return true;   // a batch of GIFs
        for (std::string_view option : {"--codec", "--list-codecs", "--format", "--frames", "--fps", "--gif-",
                                          "--video-quality", "--list-formats", "--mesh", "--ease", "--hold-",
                                          "--ping-pong", "--sequence-files", "--align", "--auto-mesh"})
            if (argument.starts_with(option))
                return true;
    }
    return false;
}

// Runs the same command line in the video build, vantorell-mix-video, found beside this
// program or in its install's libexec folder.
int runVideoBuild(char** argv)
{
    // The video build works on frame-sized blocks: glibc's heap then asks the kernel for 2 MB
    // pages (a page fault every 2 MB, not every 4 KB), unless the caller's tunables say otherwise.
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables == nullptr || std::strstr(tunables, "glibc.malloc.hugetlb") == nullptr) {
        const std::string largePages = "glibc.malloc.hugetlb=1";
        const std::string value = tunables != nullptr && *tunables != '\0' ? tunables + (":" + largePages) : largePages;
        ::setenv("GLIBC_TUNABLES", value.c_str(), 1);
    }
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
    const char* const missing = "the video build (vantorell-mix-video) is not installed beside this program";
    std::vector<std::string> arguments;
    for (char** argument = argv + 1; *argument; ++argument)
        arguments.emplace_back(*argument);
    if (vantorell::cli::asksJsonProgress(arguments))
        return vantorell::cli::printJsonRefusal(missing, "error");
    std::fprintf(stderr, "vantorell-mix: %s\n", missing);
    return 2;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    using namespace vantorell;

    // A job allocates and frees frame-sized blocks over and over. Kept in the heap once freed
    // (glibc would map the larger ones afresh and hand them back), they are reused without a
    // page fault for every page; the fade GIF at --gif-quality 50 and 70 takes a tenth less time.
    // Blocks over 32 MB still get mappings of their own.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);

#if VANTORELL_CLI_VIDEO
    const FadeSteps fadeSteps = &runFadeSteps;
#else
    if (needsVideo(argc, argv))
        return runVideoBuild(argv);
    const FadeSteps fadeSteps = nullptr;   // every fade was handed to the video build above
#endif

    if (argc > 1 && std::string_view(argv[1]) == "batch")
        return cli::runBatch(std::vector<std::string>(argv + 2, argv + argc), fadeSteps);
    if (argc > 1 && std::string_view(argv[1]) == "gif")
        return cli::runGifMaker(std::vector<std::string>(argv + 2, argv + argc));

    cli::CliContext context;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::optional<std::string> error = parseCommandLine(context, arguments);
    if (!error)
        error = finishCommandLine(context);
    if (!error && !context.action)
        error = cli::refuseOverwritingInputs(context);
    if (error && (context.jsonProgress || cli::asksJsonProgress(arguments)))
        return cli::printJsonRefusal(*error);
    if (error) {
        std::fprintf(stderr, "vantorell-mix: %s\nTry 'vantorell-mix --help'.\n", cli::visibleText(*error).c_str());
        return 2;
    }
    if (context.action)
        return context.action();

    // Ctrl+C, SIGTERM or SIGHUP removes the job's work folder and temporary result (130, 143,
    // 129); past a file-size limit or into a closed pipe a write fails, and so does the job.
    interruption::removeRegisteredOnSignals();
    cli::PrintingUi ui;
    std::optional<cli::JsonProgress> json;
    if (context.jsonProgress) {
        static constexpr const char* kMixNames[] = {"Blend", "Fade", "Overlay"};
        json.emplace();
        json->endInterruptions();
        ui.printAsJson(*json, kMixNames[int(context.request.mixType)]);
    }
    MixJob job(ui, fadeSteps, cli::kAligner);
    job.setStreamOverlays(true);
    job.setMeshPlacer(cli::kMeshPlacer);
    const MixOutcome outcome = job.run(context.request);
    for (const std::string& note : outcome.notes) {
        if (json)
            json->message(note, "note");
        else
            std::fprintf(stderr, "vantorell-mix: note: %s\n", note.c_str());
    }
    std::string lost;
    if (const auto& error = ui.outputError()) {   // most often stdout, a pipe whose reader left
        lost = "the job's messages could not be printed: " + *error;
        if (!json)
            std::fprintf(stderr, "vantorell-mix: %s\n", lost.c_str());
    } else if (json && json->outputClosed()) {
        lost = "the job's messages could not be printed: " + std::string(std::strerror(EPIPE));
    }
    const int status = !lost.empty() ? 1 : outcome.succeeded() ? 0 : 1;
    if (json)
        json->end(cli::jobOutcome(outcome, status, lost));
    return status;
}
