#include "cli/Batch.h"

#include "cli/BatchPairs.h"
#include "cli/CliOptions.h"
#include "cli/GifMakerCommand.h"
#include "cli/InputGuard.h"
#include "cli/JsonProgress.h"
#include "cli/PrintingUi.h"
#include "job/SilentUi.h"
#include "platform/Interruption.h"

#include "platform/ProgramVersion.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sched.h>
#include <set>
#include <sys/stat.h>
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
    // --type gif: one GIF an input, made by the GIF maker from this template.
    bool gif = false;
    std::optional<fs::path> inputsFile, folder;
    GifMakerRequest gifJob;
    std::string pattern = "{stem1}-{stem2}.{ext}";
    bool patternGiven = false;
    int jobs = 0;   // 0: the number of cores
    bool skipExisting = false;
    Shard shard;
    bool help = false;
    bool version = false;
};

struct BatchOption {
    std::string name, argument, help;
    std::function<std::optional<std::string>(BatchSettings&, const std::string&)> apply;
};

// The single job's options a batch does not take: the pair and its result come from the batch.
bool isPerPairOption(const std::string& name)
{
    static const std::set<std::string> kPerPair = {"--image1", "--image2", "--output", "--output-file", "--list-codecs",
                                                   "--help", "--version", "--sequence-files", "--save-mesh"};
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
        {"--inputs", "FILE", "--type gif: a CSV file whose header names the column input and optionally output",
         [](BatchSettings& s, const std::string& v) { return setPath(s.inputsFile, "--inputs", v); }},
        {"--dir", "DIR", "--type gif: every video or animation of a folder, in name order",
         [](BatchSettings& s, const std::string& v) { return setPath(s.folder, "--dir", v); }},
        {"--output", "DIR", "the folder the results go to (made when missing)",
         [](BatchSettings& s, const std::string& v) { return setPath(s.output, "--output", v); }},
        {"--name", "PATTERN",
         "the results' names (default {stem1}-{stem2}.{ext}, for GIFs {stem}.{ext}; also {index}, zero-padded)",
         [](BatchSettings& s, const std::string& v) -> std::optional<std::string> {
             if (v.empty())
                 return "--name needs a pattern";
             s.pattern = v;
             s.patternGiven = true;
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
        {"--skip-existing", "", "leave pairs whose result an earlier batch finished (resumes an interrupted run)",
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
        {"--version", "", "show the program's name and version",
         [](BatchSettings& s, const std::string&) -> std::optional<std::string> {
             s.version = true;
             return std::nullopt;
         }},
    };
    return options;
}

// Whether the batch makes GIFs (--type gif): its other options are then the GIF maker's, not a
// pair's, so this is known before any option is read.
bool asksGifBatch(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i)
        if (arguments[i] == "--type=gif" || (arguments[i] == "--type" && i + 1 < arguments.size() && arguments[i + 1] == "gif"))
            return true;
    return false;
}

// In a batch of GIFs: --type itself and the options of one GIF (as `vantorell-mix gif` takes them).
std::optional<std::string> applyGifBatchOption(BatchSettings& settings, const std::string& name, const std::string& value)
{
    if (name != "--type")
        return applyGifJobOption(settings.gifJob, settings.job, name, value);
    if (value != "gif")
        return "--type gif takes no other --type";
    return std::nullopt;
}

// The checks of a batch of GIFs once every option is read.
std::optional<std::string> finishGifBatch(BatchSettings& settings)
{
    if (settings.pairsFile || settings.folder1 || settings.folder2 || settings.sequence)
        return "--pairs, --dir1, --dir2 and --sequence name pairs; --type gif takes --inputs FILE or --dir DIR";
    if (int(settings.inputsFile.has_value()) + int(settings.folder.has_value()) != 1)
        return "name exactly one source of inputs: --inputs FILE or --dir DIR";
    if (!settings.output)
        return "--output DIR is needed";
    if (!settings.patternGiven)
        settings.pattern = "{stem}.{ext}";
    settings.gifJob.gif = settings.job.request.gif;
    settings.gifJob.memoryLimit = settings.job.request.memoryLimit;
    settings.gifJob.helperThreads = false;   // the batch runs its inputs side by side instead
    return std::nullopt;
}

std::optional<std::string> parse(BatchSettings& settings, const std::vector<std::string>& arguments)
{
    settings.gif = asksGifBatch(arguments);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto [name, inlineValue] = splitOptionArgument(arguments[i]);
        const BatchOption* batchOption = nullptr;
        for (const BatchOption& option : batchOptions())
            if (option.name == name)
                batchOption = &option;
        const CliOption* jobOption = nullptr;
        const bool gifOption = !batchOption && settings.gif && (name == "--type" || isGifJobOption(name));
        if (!batchOption && !settings.gif && !isPerPairOption(name))
            for (const CliOption& option : cliOptions())
                if (option.name == name)
                    jobOption = &option;
        if (!batchOption && !jobOption && !gifOption)
            return "unknown option \"" + arguments[i] + "\"" + (settings.gif ? " for --type gif" : "");
        const std::string argument = batchOption ? batchOption->argument
                                     : jobOption ? jobOption->argument
                                     : name == "--type" ? "gif"
                                     : isGifJobFlag(name) ? ""
                                                          : gifJobOptionArgument(name);
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
        if (auto error = batchOption ? batchOption->apply(settings, value)
                         : jobOption ? jobOption->apply(settings.job, value)
                                     : applyGifBatchOption(settings, name, value))
            return error;
    }
    if (settings.help || settings.version)
        return std::nullopt;
    if (settings.gif)
        return finishGifBatch(settings);
    if (settings.inputsFile || settings.folder)
        return "--inputs and --dir are for --type gif";
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

// The results' extension: "gif" for a batch of GIFs, else the one a pair's job writes.
std::string resultExtension(const BatchSettings& settings)
{
    return settings.gif ? "gif" : outputExtension(settings.job.request);
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

// Writes the whole text; false, errno telling why, when a write fails.
bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// A report line's name: the text (control characters escaped), and beside it, when the name
// holds a control character or bytes that are not UTF-8, its escaped form, from which every
// byte can be recovered.
void addName(nlohmann::json& line, const std::string& key, const fs::path& name)
{
    line[key] = visibleText(name.string());
    if (const std::string escaped = recoverableText(name.string()); escaped != name.string())
        line[key + "_escaped"] = escaped;
}

// One pair's job to do and, once done, what came of it.
struct Task {
    const BatchPair* pair = nullptr;
    fs::path output;
    std::string name;   // the output's name in the output folder
};

// The record of finished results in the output folder: one JSON line per result a job wrote
// whole without a reported error, with its size and modification time. --skip-existing skips
// only the results it lists as they still are; a file of the same name from anywhere else (an
// interrupted copy, an older program, another tool) is made again. A shard keeps its own record
// (".vantorell-finished.2-of-4"), so machines sharing a folder never append to one file.
constexpr std::string_view kFinishedRecord = ".vantorell-finished";
constexpr std::uintmax_t kMaxFinishedRecordBytes = 256u << 20;

struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;   // nanoseconds since the epoch
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const fs::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
        return std::nullopt;   // a 0-byte file is never a finished result
    return FileStamp{std::uintmax_t(st.st_size), std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

fs::path finishedRecordOf(const fs::path& outputFolder, const Shard& shard)
{
    std::string name(kFinishedRecord);
    if (shard.count > 1)
        name += "." + std::to_string(shard.number) + "-of-" + std::to_string(shard.count);
    return outputFolder / name;
}

// Every finished result the output folder's records list (every shard's); a line that is not
// one of ours is passed over.
std::map<std::string, FileStamp> readFinishedRecords(const fs::path& outputFolder)
{
    std::map<std::string, FileStamp> finished;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(outputFolder, ec)) {
        if (!entry.path().filename().string().starts_with(kFinishedRecord) || !entry.is_regular_file(ec) ||
            entry.file_size(ec) > kMaxFinishedRecordBytes)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
            if (!record.is_object() || !record.contains("name") || !record["name"].is_string() ||
                !record.contains("size") || !record["size"].is_number_unsigned() || !record.contains("modified") ||
                !record["modified"].is_number_integer())
                continue;
            finished[record["name"].get<std::string>()] = {record["size"].get<std::uintmax_t>(),
                                                           record["modified"].get<std::int64_t>()};
        }
    }
    return finished;
}

// A result the record lists as finished, unchanged since.
bool finishedEarlier(const Task& task, const std::map<std::string, FileStamp>& finished)
{
    const auto listed = finished.find(task.name);
    const std::optional<FileStamp> stamp = stampOf(task.output);
    return listed != finished.end() && stamp && *stamp == listed->second;
}

enum class PairStatus { Ok, Failed, Skipped };

// What a progress line names as the job's inputs: "a.jpg + b.jpg", or one input's name.
std::string inputsText(const BatchPair& pair)
{
    if (pair.single)
        return pair.image1.filename().string();
    return pair.image1.filename().string() + " + " + pair.image2.filename().string();
}

// Counts, progress lines and report lines, shared by the worker threads.
class Progress {
public:
    // With `json` (--progress json), each finished pair is a line of its own and a progress line.
    // `unit` names what the batch counts: "pairs", or "inputs" for a batch of GIFs.
    Progress(std::size_t total, int reportFd, int recordFd, JsonProgress* json, std::string unit)
        : m_total(total), m_reportFd(reportFd), m_recordFd(recordFd), m_terminal(::isatty(2) == 1), m_json(json),
          m_unit(std::move(unit))
    {
    }

    // `recorded`: the result is already in the record of finished results (recordFinished()).
    void finished(const Task& task, PairStatus status, const MixOutcome& outcome, double seconds, bool recorded)
    {
        nlohmann::json line = {{"index", task.pair->index}};
        if (task.pair->single) {
            addName(line, "input", task.pair->image1);
        } else {
            addName(line, "image1", task.pair->image1);
            addName(line, "image2", task.pair->image2);
        }
        addName(line, "output", task.output);
        line["status"] = status == PairStatus::Ok ? "ok" : status == PairStatus::Failed ? "failed" : "skipped";
        line["seconds"] = std::round(seconds * 1000) / 1000;
        nlohmann::json messages = nlohmann::json::array();
        for (const ShownMessage& message : outcome.messages)
            messages.push_back(visibleText(terminalText(message.text), true));
        line["messages"] = std::move(messages);
        if (!outcome.notes.empty()) {   // the colour profiles' notes; none for most pairs
            nlohmann::json notes = nlohmann::json::array();
            for (const std::string& note : outcome.notes)
                notes.push_back(visibleText(note, true));
            line["notes"] = std::move(notes);
        }
        const std::string reason = !outcome.failure.empty()   ? outcome.failure
                                   : !outcome.errors.empty() ? outcome.errors.front().description
                                                             : std::string("no result was written.");

        std::lock_guard<std::mutex> guard(m_lock);
        ++m_done;
        ++(status == PairStatus::Ok ? m_ok : status == PairStatus::Failed ? m_failed : m_skipped);
        if (m_reportFd >= 0 && m_reportError == 0 &&
            !writeAll(m_reportFd, line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"))
            m_reportError = errno;
        if (status == PairStatus::Ok && !recorded)
            recordFinished(task);
        const std::string counter = "[" + std::to_string(m_done) + "/" + std::to_string(m_total) + "] ";
        if (m_json) {
            printJson(task, line, outcome, status == PairStatus::Failed ? reason : std::string());
            return;
        }
        const std::string what = visibleText(inputsText(*task.pair)) + " -> " + visibleText(task.output.string());
        // The notes a single job prints, each with the pair it belongs to.
        for (const std::string& note : outcome.notes)
            printProgress(std::string(m_terminal ? "\r\033[K" : "") + "vantorell-mix batch: note: " + what + ": " +
                          visibleText(terminalText(note)) + "\n");
        if (!m_terminal) {
            std::string text = counter + (status == PairStatus::Ok ? "ok " : status == PairStatus::Failed ? "failed " : "skipped ");
            char time[32];
            std::snprintf(time, sizeof time, "%.2f s: ", seconds);
            text += (status == PairStatus::Skipped ? std::string() : time) + what;
            if (status == PairStatus::Failed)
                text += ": " + visibleText(terminalText(reason));
            printProgress(text + "\n");
            return;
        }
        if (status == PairStatus::Failed)
            printProgress("\r\033[Kfailed: " + what + ": " + visibleText(terminalText(reason)) + "\n");
        const auto now = Clock::now();
        if (m_done == m_total || status == PairStatus::Failed || now - m_lastLine > std::chrono::milliseconds(100)) {
            m_lastLine = now;
            printProgress("\r\033[K" + statusLine(now));
        }
    }

    // Whether the progress output was closed (a pipe whose reader went away): the batch takes
    // no new pair, and ends with status 1.
    bool outputClosed() const { return m_outputClosed.load(); }

    // Why the report could not be written (an errno), 0 when every line was.
    int reportError()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reportError;
    }

    // The closing line (none with --progress json: the caller ends with the counts); answers the
    // exit status.
    int close()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_json)
            return m_failed > 0 || m_outputClosed || m_json->outputClosed() ? 1 : 0;
        const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
        char text[160];
        std::snprintf(text, sizeof text, "%zu %s: %zu written, %zu skipped, %zu failed in %.1f s\n", m_total,
                      m_unit.c_str(), m_ok, m_skipped, m_failed, seconds);
        writeAll(2, std::string(m_terminal ? "\r\033[K" : "") + "vantorell-mix batch: " + text);
        if (m_outputClosed)   // said where it may still be read: stderr is often the closed pipe
            writeAll(2, "vantorell-mix batch: the progress output was closed; pairs not begun were left out\n");
        return m_failed > 0 || m_outputClosed ? 1 : 0;
    }

    // The counts for the last JSON line.
    nlohmann::json counts()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return {{"total", m_total}, {"written", m_ok}, {"skipped", m_skipped}, {"failed", m_failed}};
    }

    // A record that cannot be written costs only the skipping of this result by a later run. One
    // appended write per line, so no lock is needed (the job thread calls it as the result is put
    // in place, where an interruption cannot part the two).
    void recordFinished(const Task& task) const
    {
        const std::optional<FileStamp> stamp = stampOf(task.output);
        if (m_recordFd < 0 || !stamp)
            return;
        const nlohmann::json record = {{"name", task.name}, {"size", stamp->size}, {"modified", stamp->modified}};
        writeAll(m_recordFd, record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    }

private:
    // A finished pair as JSON: its report line's values with the names exact (jsonText), a
    // message saying it in words, then the batch's progress.
    void printJson(const Task& task, nlohmann::json line, const MixOutcome& outcome, const std::string& reason)
    {
        line["kind"] = "pair";
        nlohmann::json messages = nlohmann::json::array();
        for (const ShownMessage& message : outcome.messages)
            messages.push_back(jsonText(terminalText(message.text)));
        line["messages"] = std::move(messages);
        if (task.pair->single) {
            line["input"] = jsonText(task.pair->image1.string());
        } else {
            line["image1"] = jsonText(task.pair->image1.string());
            line["image2"] = jsonText(task.pair->image2.string());
        }
        line["output"] = jsonText(task.output.string());
        for (const char* key : {"input_escaped", "image1_escaped", "image2_escaped", "output_escaped"})
            line.erase(key);
        std::string text = line["status"].get<std::string>() + ": " + inputsText(*task.pair) + " -> " + task.output.string();
        if (!reason.empty())
            text += ": " + terminalText(reason);
        line["message"] = jsonText(text);
        m_json->line(line);
        m_json->progress(m_unit, double(m_done), double(m_total));
        if (m_json->outputClosed())
            m_outputClosed = true;
    }

    void printProgress(const std::string& text)
    {
        if (!writeAll(2, text) && errno == EPIPE)
            m_outputClosed = true;
    }

    std::string statusLine(Clock::time_point now) const
    {
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const double rate = elapsed > 0 ? double(m_done - m_skipped) / elapsed : 0;
        char text[200];
        std::snprintf(text, sizeof text, "%zu/%zu done (%zu failed, %zu skipped), %.1f %s/s, %s left", m_done, m_total,
                      m_failed, m_skipped, rate, m_unit.c_str(),
                      rate > 0 ? clockText(double(m_total - m_done) / rate).c_str() : "?");
        return text;
    }

    std::mutex m_lock;
    const std::size_t m_total;
    const int m_reportFd;
    const int m_recordFd;
    int m_reportError = 0;
    const bool m_terminal;
    std::size_t m_done = 0, m_ok = 0, m_failed = 0, m_skipped = 0;
    std::atomic<bool> m_outputClosed{false};
    JsonProgress* const m_json;
    const std::string m_unit;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastLine = Clock::now() - std::chrono::seconds(1);
};

// Hands the pairs of the shard to the workers one at a time, read from the list as they are
// taken, so a list of millions of pairs is never held whole.
class TaskSource {
public:
    TaskSource(PairList& pairs, const BatchSettings& settings, std::size_t count)
        : m_pairs(pairs), m_settings(settings), m_count(count)
    {
    }

    struct Taken {
        BatchPair pair;
        std::string name;   // its result's name in the output folder
    };

    // The next pair of the shard and its result's name; nullopt when none is left.
    std::optional<Taken> next()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        try {
            while (std::optional<BatchPair> pair = m_pairs.next()) {
                if (!inShard(*pair, m_settings.shard))
                    continue;
                std::string name = outputName(*pair, m_settings.pattern, resultExtension(m_settings), m_count);
                return Taken{std::move(*pair), std::move(name)};
            }
        } catch (const BatchError&) {
            // The list was checked whole before anything ran; a file changed since ends the run.
        }
        return std::nullopt;
    }

private:
    std::mutex m_lock;
    PairList& m_pairs;
    const BatchSettings& m_settings;
    const std::size_t m_count;
};

// One input's GIF, told as a job's outcome, so that the report and the progress say it as they
// say a pair's: "Done.", or the closing box of a job that wrote nothing.
MixOutcome makeBatchGif(const GifMakerRequest& gifJob, const fs::path& input, const fs::path& output)
{
    GifMakerRequest request = gifJob;
    request.inputs = {input.string()};
    request.outputFile = output.string();
#if VANTORELL_CLI_VIDEO
    const GifMakerOutcome made = makeGif(request);
#else
    GifMakerOutcome made;   // the plain build hands every batch of GIFs to the video build
    made.error = "GIFs are made by the video build (vantorell-mix-video).";
#endif
    MixOutcome outcome;
    outcome.started = true;
    outcome.outputPath = request.outputFile;
    if (made.written) {
        outcome.writtenFile = request.outputFile;
        outcome.messages.push_back({"Done.", {}});
    } else {
        outcome.failure = made.error;
        outcome.messages.push_back({std::string(kNoResultPrefix) + made.error, {}});
    }
    return outcome;
}

void runWorker(TaskSource& tasks, const BatchSettings& settings, const std::map<std::string, FileStamp>& finished,
               FadeSteps fadeSteps, Progress& progress)
{
    const interruption::JobThread writesJobFiles;
    BatchUi ui;
    MixJob job(ui, fadeSteps, kAligner);
    job.setMeshPlacer(kMeshPlacer);
    job.setHelperThreads(false);
    job.setStreamOverlays(true);
    while (!progress.outputClosed()) {
        const std::optional<TaskSource::Taken> next = tasks.next();
        if (!next)
            break;
        const Task task{&next->pair, *settings.output / next->name, next->name};
        bool recorded = false;
        interruption::setRenameFollowUp([&](const fs::path& renamedTo) {
            if (renamedTo != task.output)
                return;
            progress.recordFinished(task);
            recorded = true;
        });
        struct ForgetFollowUp {   // however the pair ends: the follow-up holds this pass's locals
            ~ForgetFollowUp() { interruption::setRenameFollowUp({}); }
        } forgetFollowUp;
        const auto start = Clock::now();
        MixOutcome outcome;
        PairStatus status = PairStatus::Failed;
        if (settings.skipExisting && finishedEarlier(task, finished)) {
            status = PairStatus::Skipped;
        } else if (settings.gif) {
            outcome = makeBatchGif(settings.gifJob, task.pair->image1, task.output);
            status = outcome.succeeded() ? PairStatus::Ok : PairStatus::Failed;
        } else {
            MixRequest request = settings.job.request;
            request.image1Path = task.pair->image1.string();
            request.image2Path = task.pair->image2.string();
            request.outputFile = task.output.string();
            outcome = job.run(request);
            status = outcome.succeeded() ? PairStatus::Ok : PairStatus::Failed;
        }
        progress.finished(task, status, outcome, std::chrono::duration<double>(Clock::now() - start).count(),
                          recorded);
    }
}

PairList gatherPairs(const BatchSettings& settings, JsonProgress* json)
{
    if (settings.pairsFile)
        return readPairsFile(*settings.pairsFile);
    if (settings.inputsFile)
        return readInputsFile(*settings.inputsFile);
    if (settings.folder)
        return PairList(animationsIn(*settings.folder));
    if (settings.sequence)
        return PairList(sequencePairs(*settings.sequence));
    std::size_t unmatched = 0;
    std::vector<BatchPair> pairs = pairsByName(*settings.folder1, *settings.folder2, unmatched);
    if (unmatched > 0) {
        const std::string text = std::to_string(unmatched) + (unmatched == 1 ? " picture" : " pictures") +
                                 " without a namesake in the other folder left out";
        if (json)
            json->message(text, "warning");
        else
            std::fprintf(stderr, "vantorell-mix batch: %s\n", text.c_str());
    }
    return PairList(std::move(pairs));
}

// Refuses, before anything runs, a batch that would write over a file it reads: a result or the
// report that is a picture of a pair or an input of a batch of GIFs, the pairs or inputs file or
// the mesh file, and a report that is a
// result. Files are compared as files (device and inode), whatever the paths' spelling. Only
// results that exist can be inputs, so they are kept and the inputs streamed past them: the
// memory grows with the files already in the output folder, not with the list.
std::optional<std::string> refuseOverwrites(const BatchSettings& settings, PairList& pairs, std::size_t count)
{
    const std::optional<fs::path> report =
        settings.report ? std::optional<fs::path>(shardReport(*settings.report, settings.shard)) : std::nullopt;
    const std::string extension = resultExtension(settings);
    const bool reportInOutput =
        report && sameFile(report->has_parent_path() ? report->parent_path() : fs::path("."), *settings.output);
    FileSet results;
    pairs.restart();
    while (const std::optional<BatchPair> pair = pairs.next()) {
        const std::string name = outputName(*pair, settings.pattern, extension, count);
        if (name.starts_with(kFinishedRecord))
            return "the result name \"" + name + "\" is kept for the record of finished results";
        if (reportInOutput && name == report->filename().string())
            return "the report \"" + report->string() + "\" is a result of the batch; a report never replaces a result";
        results.add(*settings.output / name);
    }
    if (report && results.find(*report))
        return "the report \"" + report->string() + "\" is a result of the batch; a report never replaces a result";
    FileSet reportSet;
    if (report)
        reportSet.add(*report);
    const auto check = [&](const fs::path& input) -> std::optional<std::string> {
        if (const auto result = results.find(input))
            return overwriteRefusal("result", *result, input);
        if (const auto named = reportSet.find(input))
            return overwriteRefusal("report", *named, input);
        return std::nullopt;
    };
    std::optional<std::string> refusal;
    if (settings.pairsFile || settings.inputsFile)
        refusal = check(settings.pairsFile ? *settings.pairsFile : *settings.inputsFile);
    if (!refusal && !settings.job.meshFile.empty())
        refusal = check(settings.job.meshFile);
    // A picture named again in the same column as the pair before was checked already.
    std::optional<BatchPair> previous;
    pairs.restart();
    while (!refusal) {
        std::optional<BatchPair> pair = pairs.next();
        if (!pair)
            break;
        if (!previous || pair->image1 != previous->image1)
            refusal = check(pair->image1);
        if (!refusal && !pair->single && (!previous || pair->image2 != previous->image2))
            refusal = check(pair->image2);
        previous = std::move(pair);
    }
    pairs.restart();
    return refusal;
}

}  // namespace

std::string batchUsageText()
{
    std::string text =
        "Usage: vantorell-mix batch --type blend|overlay|fade SOURCE --output DIR [options]\n"
        "  SOURCE: --pairs FILE | --dir1 DIR --dir2 DIR | --sequence DIR\n"
        "       vantorell-mix batch --type gif (--inputs FILE | --dir DIR) --output DIR [options]\n"
        "\n"
        "Runs many pairs, several at a time, each like one vantorell-mix job, and writes each\n"
        "result into DIR under a name of its own. Only finished results appear in DIR: a pair\n"
        "that fails (an error reported on the way included), or is interrupted by Ctrl+C, leaves\n"
        "nothing there, and a failing pair does not stop the others. Each finished result is\n"
        "listed in DIR/.vantorell-finished with its size and time; --skip-existing skips only\n"
        "results listed there and unchanged since. No result or report may be one of the\n"
        "batch's inputs (a picture, the pairs file, the mesh file), nor the report a result:\n"
        "such a batch is refused. --dir1/--dir2 and --sequence take the pictures of a folder by\n"
        "their extension (JPEG, BMP, PNG, GIF, WebP, TIFF) in name order, numbers by value.\n"
        "Relative paths in a --pairs file start at the file's folder; its output column, when\n"
        "there, names a pair's result. A name that two pairs would share, or that would leave\n"
        "DIR, stops the batch before anything runs. With --shard K/N, --report FILE writes\n"
        "FILE.K-of-N.\n"
        "\n"
        "--type gif makes one GIF of each input, as vantorell-mix gif does of one video, animated\n"
        "GIF or WebP, or picture: --inputs names them in a CSV file's input column (relative to\n"
        "the file's folder; an output column, when there, names a result), --dir takes a\n"
        "folder's videos and animations by extension (MP4, MOV, MKV, WebM, AVI, GIF, WebP, ...)\n"
        "in name order. Results are named {stem}.gif unless --name says otherwise; a report line\n"
        "names the \"input\" where a pair's names image1 and image2. Everything else is as for\n"
        "pairs.\n"
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
    text += "\nOptions of every GIF of --type gif (as for vantorell-mix gif; see its --help):\n";
    line("--fps", "N", "videos and pictures: frames per second, above 0, at most 100 (default 10)");
    line("--width", "W", "frames W pixels wide, their height in proportion (default the input's size)");
    line("--gif-...", "", "the GIF options above (palette, dither, optimise, lossy, quality, size budget)");
    line("--memory-limit", "SIZE", "refuse a GIF whose frames need more memory (default 4GiB)");
    line("--progress", "text|json", "as above");
    text +=
        "\n"
        "Progress goes to stderr: on a terminal one line with counts, rate and time left, else\n"
        "one line per finished pair. A pair's notes (a colour profile ignored) go there too,\n"
        "each naming the pair, and into its report line as \"notes\". With --progress json\n"
        "every line is one JSON object: each finished pair (\"kind\": \"pair\"), the progress\n"
        "over the pairs, and last \"end\": true with the exit status and the counts.\n"
        "\n"
        "Exit status:\n"
        "  0    every pair (or input) was written (or skipped by --skip-existing)\n"
        "  1    a pair failed, or the report could not be written\n"
        "  2    a bad command line, or a batch that cannot start (a pairs file it refuses,\n"
        "       names two pairs share, an output folder or report it cannot make, a result\n"
        "       or report that would replace an input)\n"
        "  130  interrupted by Ctrl+C (SIGINT); 143 ended by SIGTERM; 129 the terminal closed\n"
        "       (SIGHUP). A file-size limit or a closed pipe is an error, not an end: a pair\n"
        "       whose result cannot be written fails; closed progress output stops the batch (1)\n";
    return text;
}

int runBatch(const std::vector<std::string>& arguments, FadeSteps fadeSteps)
{
    std::optional<JsonProgress> json;
    if (asksJsonProgress(arguments))
        json.emplace();
    const auto refuse = [&json](const std::string& text) {
        if (json)
            return printJsonRefusal(text);
        std::fprintf(stderr, "vantorell-mix batch: %s\nTry 'vantorell-mix batch --help'.\n", visibleText(text).c_str());
        return 2;
    };
    BatchSettings settings;
    if (const auto error = parse(settings, arguments))
        return refuse(*error);
    if (settings.help) {
        std::fputs(batchUsageText().c_str(), stdout);
        return 0;
    }
    if (settings.version) {
        std::printf("vantorell-mix batch %s\n", kProgramVersion);
        return 0;
    }

    std::optional<PairList> pairs;
    std::size_t count = 0;
    try {
        pairs.emplace(gatherPairs(settings, json ? &*json : nullptr));
        count = checkOutputNames(*pairs, settings.pattern, resultExtension(settings));
    } catch (const BatchError& error) {
        return refuse(error.text);
    }
    try {
        if (const auto refusal = refuseOverwrites(settings, *pairs, count))
            return refuse(*refusal);
    } catch (const BatchError& error) {
        return refuse(error.text);
    }
    std::error_code ec;
    fs::create_directories(*settings.output, ec);
    if (!fs::is_directory(*settings.output, ec))
        return refuse("the output folder " + settings.output->string() + " cannot be made");

    const std::size_t total = pairsInShard(count, settings.shard);

    int reportFd = -1;
    const fs::path report = settings.report ? shardReport(*settings.report, settings.shard) : fs::path();
    if (settings.report) {
        reportFd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
        if (reportFd < 0)
            return refuse("the report " + report.string() + " cannot be written");
    }
    const std::map<std::string, FileStamp> finished =
        settings.skipExisting ? readFinishedRecords(*settings.output) : std::map<std::string, FileStamp>();
    const fs::path record = finishedRecordOf(*settings.output, settings.shard);
    const int recordFd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);

    // Ctrl+C, SIGTERM or SIGHUP: every worker is parked, then every unfinished result's temporary
    // and work folder is removed. Finished results stay. The workers start after this, with the
    // three signals blocked.
    interruption::removeRegisteredOnSignals();
    if (json)
        json->endInterruptions();
    Progress progress(total, reportFd, recordFd, json ? &*json : nullptr, settings.gif ? "inputs" : "pairs");
    TaskSource tasks(*pairs, settings, count);
    const std::size_t workers =
        std::min<std::size_t>(std::size_t(settings.jobs > 0 ? settings.jobs : coreCount()), std::max<std::size_t>(total, 1));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i)
        threads.emplace_back(runWorker, std::ref(tasks), std::cref(settings), std::cref(finished), fadeSteps,
                             std::ref(progress));
    for (std::thread& thread : threads)
        thread.join();
    int status = progress.close();
    if (recordFd >= 0)
        ::close(recordFd);
    // Every report line was written and the report closes whole, or the batch says so and fails.
    int reportError = progress.reportError();
    if (reportFd >= 0 && ::close(reportFd) != 0 && reportError == 0)
        reportError = errno;
    std::string failure;
    if (reportError != 0) {
        failure = "the report " + report.string() + " could not be written: " + std::strerror(reportError);
        if (!json)
            std::fprintf(stderr, "vantorell-mix batch: %s\n", failure.c_str());
        status = 1;
    }
    if (json) {
        nlohmann::json end = {{"exit", status}};
        end.update(progress.counts());
        if (failure.empty() && progress.outputClosed())
            failure = "the progress output was closed; pairs not begun were left out";
        else if (failure.empty() && status != 0)
            failure = end["failed"].dump() + (settings.gif ? " of the inputs failed" : " of the pairs failed");
        if (!failure.empty())
            end["failure"] = jsonText(failure);
        json->end(end);
    }
    return status;
}

}  // namespace vantorell::cli
