#include "cli/Batch.h"

#include "cli/BatchPairs.h"
#include "cli/CliOptions.h"
#include "cli/PrintingUi.h"
#include "job/SilentUi.h"
#include "platform/Interruption.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <sched.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace vantorell::cli {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// What the batch command line asks for.
struct BatchSettings {
    CliContext job;   // the single job's options, as a template for every pair
    std::optional<fs::path> pairsFile, folder1, folder2, sequence, report;
    std::optional<fs::path> output;
    std::string pattern = "{stem1}-{stem2}.{ext}";
    int jobs = 0;   // 0: the number of cores
    bool skipExisting = false;
    Shard shard;
    bool help = false;
};

struct BatchOption {
    std::string name, argument, help;
    std::function<std::optional<std::string>(BatchSettings&, const std::string&)> apply;
};

// The single job's options a batch does not take: the pair and its result come from the batch.
bool isPerPairOption(const std::string& name)
{
    static const std::set<std::string> kPerPair = {"--image1", "--image2", "--output", "--output-file", "--list-codecs",
                                                   "--help", "--sequence-files"};
    return kPerPair.count(name) > 0;
}

std::optional<std::string> setPath(std::optional<fs::path>& field, const std::string& name, const std::string& value)
{
    if (value.empty())
        return name + " needs a path";
    field = value;
    return std::nullopt;
}

const std::vector<BatchOption>& batchOptions()
{
    static const std::vector<BatchOption> options = {
        {"--pairs", "FILE", "a CSV file whose header names the columns image1,image2 and optionally output",
         [](BatchSettings& s, const std::string& v) { return setPath(s.pairsFile, "--pairs", v); }},
        {"--dir1", "DIR", "with --dir2: pairs pictures of the same file name in two folders",
         [](BatchSettings& s, const std::string& v) { return setPath(s.folder1, "--dir1", v); }},
        {"--dir2", "DIR", "the second folder of --dir1",
         [](BatchSettings& s, const std::string& v) { return setPath(s.folder2, "--dir2", v); }},
        {"--sequence", "DIR", "pairs each picture of a folder with the next in name order (1-2, 2-3, ...)",
         [](BatchSettings& s, const std::string& v) { return setPath(s.sequence, "--sequence", v); }},
        {"--output", "DIR", "the folder the results go to (made when missing)",
         [](BatchSettings& s, const std::string& v) { return setPath(s.output, "--output", v); }},
        {"--name", "PATTERN",
         "the results' names (default {stem1}-{stem2}.{ext}; also {index}, zero-padded)",
         [](BatchSettings& s, const std::string& v) -> std::optional<std::string> {
             if (v.empty())
                 return "--name needs a pattern";
             s.pattern = v;
             return std::nullopt;
         }},
        {"--jobs", "N", "pairs run at a time, each on one thread (default: the number of cores)",
         [](BatchSettings& s, const std::string& v) -> std::optional<std::string> {
             int n = 0;
             const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
             if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 256)
                 return "--jobs takes a whole number from 1 to 256";
             s.jobs = n;
             return std::nullopt;
         }},
        {"--skip-existing", "", "leave pairs whose result already exists (resumes an interrupted run)",
         [](BatchSettings& s, const std::string&) -> std::optional<std::string> {
             s.skipExisting = true;
             return std::nullopt;
         }},
        {"--report", "FILE", "write one JSON line per pair: inputs, output, status, messages, seconds",
         [](BatchSettings& s, const std::string& v) { return setPath(s.report, "--report", v); }},
        {"--shard", "K/N", "run only every N-th pair starting at the K-th (K from 1 to N)",
         [](BatchSettings& s, const std::string& v) -> std::optional<std::string> {
             const auto shard = parseShard(v);
             if (!shard)
                 return "--shard takes K/N with 1 <= K <= N, for example 1/4";
             s.shard = *shard;
             return std::nullopt;
         }},
        {"--help", "", "show this text",
         [](BatchSettings& s, const std::string&) -> std::optional<std::string> {
             s.help = true;
             return std::nullopt;
         }},
    };
    return options;
}

std::optional<std::string> parse(BatchSettings& settings, const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto [name, inlineValue] = splitOptionArgument(arguments[i]);
        const BatchOption* batchOption = nullptr;
        for (const BatchOption& option : batchOptions())
            if (option.name == name)
                batchOption = &option;
        const CliOption* jobOption = nullptr;
        if (!batchOption && !isPerPairOption(name))
            for (const CliOption& option : cliOptions())
                if (option.name == name)
                    jobOption = &option;
        if (!batchOption && !jobOption)
            return "unknown option \"" + arguments[i] + "\"";
        const std::string& argument = batchOption ? batchOption->argument : jobOption->argument;
        std::string value;
        if (!argument.empty()) {
            if (inlineValue)
                value = *inlineValue;
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return name + " needs " + argument;
        } else if (inlineValue) {
            return name + " takes no value";
        }
        if (auto error = batchOption ? batchOption->apply(settings, value) : jobOption->apply(settings.job, value))
            return error;
    }
    if (settings.help)
        return std::nullopt;
    const int sources = int(settings.pairsFile.has_value()) + int(settings.folder1 || settings.folder2) +
                        int(settings.sequence.has_value());
    if (sources != 1)
        return "name exactly one source of pairs: --pairs FILE, --dir1 DIR --dir2 DIR, or --sequence DIR";
    if (bool(settings.folder1) != bool(settings.folder2))
        return "--dir1 and --dir2 go together";
    if (!settings.output)
        return "--output DIR is needed";
    // The per-pair options are filled in for every pair; the rest is checked as for one job.
    settings.job.image1 = settings.job.image2 = settings.job.output = true;
    return finishCommandLine(settings.job);
}

// The number of cores this process may run on.
int coreCount()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1u, std::thread::hardware_concurrency());
}

// A shard writes its own report: "report.jsonl" becomes "report.2-of-4.jsonl".
fs::path shardReport(const fs::path& report, const Shard& shard)
{
    if (shard.count == 1)
        return report;
    fs::path name = report.stem();
    name += "." + std::to_string(shard.number) + "-of-" + std::to_string(shard.count);
    name += report.extension();
    return report.parent_path() / name;
}

// Answers the job's boxes as the single job's command line does, without printing: the batch
// reports each pair in one line, and every box goes to the report.
class BatchUi final : public SilentUi {
public:
    MsgResult messageBox(std::string_view, MsgButtons buttons, MsgIcon, std::string_view) override
    {
        return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgResult::Yes : MsgResult::Ok;
    }
};

std::string clockText(double seconds)
{
    const long total = long(std::max(0.0, seconds) + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

// One pair's job to do and, once done, what came of it.
struct Task {
    const BatchPair* pair = nullptr;
    fs::path output;
};

enum class PairStatus { Ok, Failed, Skipped };

// Counts, progress lines and report lines, shared by the worker threads.
class Progress {
public:
    Progress(std::size_t total, int reportFd) : m_total(total), m_reportFd(reportFd), m_terminal(::isatty(2) == 1) {}

    void finished(const Task& task, PairStatus status, const MixOutcome& outcome, double seconds)
    {
        nlohmann::json line = {{"index", task.pair->index},
                               {"image1", task.pair->image1.string()},
                               {"image2", task.pair->image2.string()},
                               {"output", task.output.string()},
                               {"status", status == PairStatus::Ok ? "ok" : status == PairStatus::Failed ? "failed" : "skipped"},
                               {"seconds", std::round(seconds * 1000) / 1000}};
        nlohmann::json messages = nlohmann::json::array();
        for (const ShownMessage& message : outcome.messages)
            messages.push_back(terminalText(message.text));
        line["messages"] = std::move(messages);
        const std::string reason = !outcome.failure.empty()   ? outcome.failure
                                   : !outcome.errors.empty() ? outcome.errors.front().description
                                                             : std::string("no result was written.");

        std::lock_guard<std::mutex> guard(m_lock);
        ++m_done;
        ++(status == PairStatus::Ok ? m_ok : status == PairStatus::Failed ? m_failed : m_skipped);
        if (m_reportFd >= 0)
            writeAll(m_reportFd, line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        const std::string counter = "[" + std::to_string(m_done) + "/" + std::to_string(m_total) + "] ";
        const std::string what = task.pair->image1.filename().string() + " + " + task.pair->image2.filename().string() +
                                 " -> " + task.output.string();
        if (!m_terminal) {
            std::string text = counter + (status == PairStatus::Ok ? "ok " : status == PairStatus::Failed ? "failed " : "skipped ");
            char time[32];
            std::snprintf(time, sizeof time, "%.2f s: ", seconds);
            text += (status == PairStatus::Skipped ? std::string() : time) + what;
            if (status == PairStatus::Failed)
                text += ": " + terminalText(reason);
            writeAll(2, text + "\n");
            return;
        }
        if (status == PairStatus::Failed)
            writeAll(2, "\r\033[Kfailed: " + what + ": " + terminalText(reason) + "\n");
        const auto now = Clock::now();
        if (m_done == m_total || status == PairStatus::Failed || now - m_lastLine > std::chrono::milliseconds(100)) {
            m_lastLine = now;
            writeAll(2, "\r\033[K" + statusLine(now));
        }
    }

    // The closing line; answers the exit status.
    int close()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
        char text[160];
        std::snprintf(text, sizeof text, "%zu pairs: %zu written, %zu skipped, %zu failed in %.1f s\n", m_total, m_ok,
                      m_skipped, m_failed, seconds);
        writeAll(2, std::string(m_terminal ? "\r\033[K" : "") + "vantorell-mix batch: " + text);
        return m_failed > 0 ? 1 : 0;
    }

private:
    std::string statusLine(Clock::time_point now) const
    {
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const double rate = elapsed > 0 ? double(m_done - m_skipped) / elapsed : 0;
        char text[200];
        std::snprintf(text, sizeof text, "%zu/%zu done (%zu failed, %zu skipped), %.1f pairs/s, %s left", m_done, m_total,
                      m_failed, m_skipped, rate,
                      rate > 0 ? clockText(double(m_total - m_done) / rate).c_str() : "?");
        return text;
    }

    std::mutex m_lock;
    const std::size_t m_total;
    const int m_reportFd;
    const bool m_terminal;
    std::size_t m_done = 0, m_ok = 0, m_failed = 0, m_skipped = 0;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastLine = Clock::now() - std::chrono::seconds(1);
};

void runWorker(const std::vector<Task>& tasks, std::atomic<std::size_t>& next, const BatchSettings& settings,
               FadeSteps fadeSteps, Progress& progress)
{
    const interruption::JobThread writesJobFiles;
    BatchUi ui;
    MixJob job(ui, fadeSteps, kAligner);
    job.setHelperThreads(false);
    job.setStreamOverlays(true);
    for (std::size_t i = next++; i < tasks.size(); i = next++) {
        const Task& task = tasks[i];
        const auto start = Clock::now();
        MixOutcome outcome;
        PairStatus status = PairStatus::Failed;
        std::error_code ec;
        if (settings.skipExisting && fs::is_regular_file(task.output, ec)) {
            status = PairStatus::Skipped;
        } else {
            MixRequest request = settings.job.request;
            request.image1Path = task.pair->image1.string();
            request.image2Path = task.pair->image2.string();
            request.outputFile = task.output.string();
            outcome = job.run(request);
            status = outcome.succeeded() ? PairStatus::Ok : PairStatus::Failed;
        }
        progress.finished(task, status, outcome, std::chrono::duration<double>(Clock::now() - start).count());
    }
}

std::vector<BatchPair> gatherPairs(const BatchSettings& settings)
{
    if (settings.pairsFile) {
        try {
            return readPairsFile(*settings.pairsFile);
        } catch (const BatchError& error) {
            throw BatchError{"--pairs " + settings.pairsFile->string() + ": " + error.text};
        }
    }
    if (settings.sequence)
        return sequencePairs(*settings.sequence);
    std::size_t unmatched = 0;
    std::vector<BatchPair> pairs = pairsByName(*settings.folder1, *settings.folder2, unmatched);
    if (unmatched > 0)
        std::fprintf(stderr, "vantorell-mix batch: %zu picture%s without a namesake in the other folder left out\n",
                     unmatched, unmatched == 1 ? "" : "s");
    return pairs;
}

}  // namespace

std::string batchUsageText()
{
    std::string text =
        "Usage: vantorell-mix batch --type blend|overlay|fade SOURCE --output DIR [options]\n"
        "  SOURCE: --pairs FILE | --dir1 DIR --dir2 DIR | --sequence DIR\n"
        "\n"
        "Runs many pairs, several at a time, each like one vantorell-mix job, and writes each\n"
        "result into DIR under a name of its own. Only finished results appear in DIR: a pair\n"
        "that fails, or is interrupted by Ctrl+C, leaves nothing there, and a failing pair does\n"
        "not stop the others. --dir1/--dir2 and --sequence take the pictures of a folder by their\n"
        "extension (JPEG, BMP, PNG, GIF, WebP, TIFF) in name order, numbers by value. Relative\n"
        "paths in a --pairs file start at the file's folder; its output column, when there, names\n"
        "a pair's result. A name that two pairs would share, or that would leave DIR, stops the\n"
        "batch before anything runs. With --shard K/N, --report FILE writes FILE.K-of-N.\n"
        "\n"
        "Batch options:\n";
    const auto line = [&](const std::string& name, const std::string& argument, const std::string& help) {
        std::string left = "  " + name + (argument.empty() ? "" : " " + argument);
        if (left.size() < 32)
            left.resize(32, ' ');
        else
            left += "\n" + std::string(32, ' ');
        text += left + help + "\n";
    };
    for (const BatchOption& option : batchOptions())
        line(option.name, option.argument, option.help);
    text += "\nOptions of every pair's job (as for one vantorell-mix job):\n";
    for (const CliOption& option : cliOptions())
        if (!isPerPairOption(option.name))
            line(option.name, option.argument, option.help);
    text +=
        "\n"
        "Progress goes to stderr: on a terminal one line with counts, rate and time left, else\n"
        "one line per finished pair.\n"
        "\n"
        "Exit status:\n"
        "  0    every pair was written (or skipped by --skip-existing)\n"
        "  1    a pair failed\n"
        "  2    a bad command line, or a batch that cannot start (a pairs file it refuses,\n"
        "       names two pairs share, an output folder or report it cannot make)\n"
        "  130  interrupted by Ctrl+C (SIGINT); 143 ended by SIGTERM\n";
    return text;
}

int runBatch(const std::vector<std::string>& arguments, FadeSteps fadeSteps)
{
    const auto refuse = [](const std::string& text) {
        std::fprintf(stderr, "vantorell-mix batch: %s\nTry 'vantorell-mix batch --help'.\n", text.c_str());
        return 2;
    };
    BatchSettings settings;
    if (const auto error = parse(settings, arguments))
        return refuse(*error);
    if (settings.help) {
        std::fputs(batchUsageText().c_str(), stdout);
        return 0;
    }

    std::vector<BatchPair> pairs;
    std::vector<std::string> names;
    try {
        pairs = gatherPairs(settings);
        names = outputNames(pairs, settings.pattern, outputExtension(settings.job.request));
    } catch (const BatchError& error) {
        return refuse(error.text);
    }
    std::error_code ec;
    fs::create_directories(*settings.output, ec);
    if (!fs::is_directory(*settings.output, ec))
        return refuse("the output folder " + settings.output->string() + " cannot be made");

    std::vector<Task> tasks;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        if (inShard(pairs[i], settings.shard))
            tasks.push_back({&pairs[i], *settings.output / names[i]});

    int reportFd = -1;
    if (settings.report) {
        const fs::path report = shardReport(*settings.report, settings.shard);
        reportFd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
        if (reportFd < 0)
            return refuse("the report " + report.string() + " cannot be written");
    }

    // Ctrl+C or SIGTERM: every worker is parked, then every unfinished result's temporary and
    // work folder is removed. Finished results stay. The workers start after this, with both
    // signals blocked.
    interruption::removeRegisteredOnSignals();
    Progress progress(tasks.size(), reportFd);
    std::atomic<std::size_t> next{0};
    const std::size_t workers =
        std::min<std::size_t>(std::size_t(settings.jobs > 0 ? settings.jobs : coreCount()), std::max<std::size_t>(tasks.size(), 1));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i)
        threads.emplace_back(runWorker, std::cref(tasks), std::ref(next), std::cref(settings), fadeSteps, std::ref(progress));
    for (std::thread& thread : threads)
        thread.join();
    const int status = progress.close();
    if (reportFd >= 0)
        ::close(reportFd);
    return status;
}

}  // namespace vantorell::cli
