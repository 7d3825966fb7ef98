#include "cli/JsonProgress.h"

#include "cli/PrintingUi.h"
#include "platform/Interruption.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <unistd.h>

namespace vantorell::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Seconds to the millisecond: enough for a driver, and short lines.
double rounded(double seconds) { return std::round(seconds * 1000) / 1000; }

}  // namespace

JsonProgress::JsonProgress(int fd) : m_fd(fd), m_start(Clock::now()), m_countStart(m_start) {}

JsonProgress::~JsonProgress()
{
    if (m_endsInterruptions)
        interruption::setLastWords({});
}

void JsonProgress::endInterruptions()
{
    m_endsInterruptions = true;
    interruption::setLastWords([this](int signal) { endInterrupted(signal); });
}

double JsonProgress::secondsSince(Clock::time_point from) const
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void JsonProgress::progress(std::string_view step, double done, double total)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const double fraction = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0.0;
    const int percent = int(fraction * 100);
    if (step == m_step && percent == m_percent)
        return;
    // The pace is measured from where this count began: a new total, or a count going back.
    if (total != m_total || fraction < m_fraction)
        m_countStart = Clock::now();
    m_step = step;
    m_percent = percent;
    m_total = total;
    m_fraction = fraction;
    nlohmann::json object = {{"step", jsonText(step)},
                             {"done", std::round(done * 1000) / 1000},
                             {"total", std::round(total * 1000) / 1000},
                             {"percent", std::round(fraction * 1000) / 10},
                             {"elapsed", rounded(secondsSince(m_start))}};
    // The time left of this count at its pace so far: known once some of it is done.
    if (fraction > 0)
        object["eta"] = rounded(secondsSince(m_countStart) * (1 - fraction) / fraction);
    write(object);
}

void JsonProgress::message(std::string_view text, std::string_view kind, std::string_view title)
{
    nlohmann::json object = {{"message", jsonText(text)}, {"kind", kind}};
    if (!title.empty())
        object["title"] = jsonText(title);
    std::lock_guard<std::mutex> guard(m_lock);
    write(object);
}

void JsonProgress::line(const nlohmann::json& object)
{
    std::lock_guard<std::mutex> guard(m_lock);
    write(object);
}

void JsonProgress::end(const nlohmann::json& outcome)
{
    nlohmann::json object = {{"end", true}};
    object.update(outcome);
    std::lock_guard<std::mutex> guard(m_lock);
    object["elapsed"] = rounded(secondsSince(m_start));
    write(object);
}

void JsonProgress::endInterrupted(int signal)
{
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "a signal";
    nlohmann::json object = {{"end", true}, {"exit", 128 + signal}, {"written", nullptr},
                             {"failure", std::string("interrupted by ") + name}};
    object["elapsed"] = rounded(secondsSince(m_start));
    std::unique_lock<std::mutex> guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock() && !m_outputClosed)
        (void)!::write(m_fd, "\n", 1);   // the stopped thread may be half-way through a line
    write(object);
}

void JsonProgress::write(const nlohmann::json& object)
{
    // Every string went through jsonText and is UTF-8; "replace" only guards against a slip.
    const std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    for (std::size_t done = 0; done < text.size() && !m_outputClosed;) {
        const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_outputClosed = n < 0 && errno == EPIPE;
            return;
        }
        done += std::size_t(n);
    }
}

std::string_view messageKind(MsgIcon icon, std::string_view title)
{
    if (title == "Application Error")
        return "report";
    switch (icon) {
    case MsgIcon::Critical: return "error";
    case MsgIcon::Exclamation: return "warning";
    case MsgIcon::Information: return "information";
    case MsgIcon::Question: return "question";
    case MsgIcon::None: break;
    }
    return "message";
}

nlohmann::json jobOutcome(const MixOutcome& outcome, int exitStatus, std::string_view failure)
{
    nlohmann::json object = {{"exit", exitStatus},
                             {"written", outcome.writtenFile ? nlohmann::json(jsonText(*outcome.writtenFile)) : nullptr}};
    std::string why(failure);
    if (why.empty() && exitStatus != 0)
        why = outcome.cancelled           ? "cancelled"
              : !outcome.failure.empty()  ? outcome.failure
              : !outcome.errors.empty()   ? outcome.errors.front().description
                                          : "no result was written.";
    if (!why.empty())
        object["failure"] = jsonText(why);
    return object;
}

int printJsonRefusal(std::string_view reason, std::string_view kind)
{
    JsonProgress json;
    json.message(reason, kind);
    json.end({{"exit", 2}, {"written", nullptr}, {"failure", jsonText(reason)}});
    return 2;
}

bool asksJsonProgress(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i)
        if (arguments[i] == "--progress=json" || (arguments[i] == "--progress" && i + 1 < arguments.size() &&
                                                  arguments[i + 1] == "json"))
            return true;
    return false;
}

}  // namespace vantorell::cli
