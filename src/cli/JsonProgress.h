// --progress json: what vantorell-mix and its batch print on stderr, one JSON object a line,
// for programs that drive the command line. Progress lines carry step, done, total, percent,
// elapsed and (once something is done) eta; each message carries message and kind; the last
// line carries "end": true and the outcome.
#pragma once

#include "job/MixRequest.h"
#include "job/UiPort.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell::cli {

class JsonProgress {
public:
    explicit JsonProgress(int fd = 2);
    ~JsonProgress();
    JsonProgress(const JsonProgress&) = delete;
    JsonProgress& operator=(const JsonProgress&) = delete;

    // From now until it is destroyed, a run ended by SIGINT, SIGTERM or SIGHUP still prints its
    // last line (endInterrupted), after its files are removed.
    void endInterruptions();

    // A progress line when the step or the whole percent changed since the last one, so a
    // job that counts thousands of columns prints about a hundred lines a step.
    void progress(std::string_view step, double done, double total);
    void message(std::string_view text, std::string_view kind, std::string_view title = {});
    // The last line: the outcome with "end": true in front.
    void end(const nlohmann::json& outcome);
    // The last line of a run ended by `signal` (interruption::setLastWords): exit 128 + signal,
    // nothing written. Never waits for the lock a stopped job thread may hold; a line that
    // thread left unfinished is ended first.
    void endInterrupted(int signal);
    // Any other line (a batch's pair); strings in it must have gone through jsonText.
    void line(const nlohmann::json& object);

    // Whether a line could not be written because stderr's reader went away (EPIPE).
    bool outputClosed() const { return m_outputClosed; }

private:
    void write(const nlohmann::json& object);
    double secondsSince(std::chrono::steady_clock::time_point from) const;

    std::mutex m_lock;
    const int m_fd;
    const std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_countStart;
    std::string m_step;
    int m_percent = -1;
    double m_total = -1;
    double m_fraction = 0;
    bool m_outputClosed = false;
    bool m_endsInterruptions = false;
};

// The kind of a message box: "report" for an "Application Error" report, else its icon's
// ("error", "warning", "information", "question", "message").
std::string_view messageKind(MsgIcon icon, std::string_view title);

// A single job's last line: the exit status, the file written (null when none) and, for a job
// that failed, why.
nlohmann::json jobOutcome(const MixOutcome& outcome, int exitStatus, std::string_view failure = {});

// A command line refused before any job: the reason as a message of `kind`, then the end line
// with exit status 2. Answers 2.
int printJsonRefusal(std::string_view reason, std::string_view kind = "usage");

// Whether the arguments ask for --progress json, read before the command line is parsed so a
// command line that fails to parse is answered in JSON too.
bool asksJsonProgress(const std::vector<std::string>& arguments);

}  // namespace vantorell::cli
