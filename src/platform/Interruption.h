// Paths an interrupted process must not leave behind: temporary results and work folders. Code
// that makes such a path registers it while it makes it; a command-line program that calls
// removeRegisteredOnSignals() then removes every registered path on SIGINT, SIGTERM or SIGHUP and
// ends with 128 + the signal's number (130, 143, 129). Every function here may be called from any
// thread.
#pragma once

#include <filesystem>
#include <functional>

namespace vantorell::interruption {

// Runs `make`, which creates a path and answers it (empty: nothing was made), and registers the
// answer, all while holding the registry's lock, so that an interruption never misses a path
// that exists. Answers what `make` answered.
std::filesystem::path createRegistered(const std::function<std::filesystem::path()>& make);

// The path is gone: an interruption has nothing to remove there.
void unregister(const std::filesystem::path& path);

// Renames a registered path to `to`, which an interruption then leaves alone. Answers the error
// of the rename (none: done).
std::error_code renameRegistered(const std::filesystem::path& from, const std::filesystem::path& to);

// Runs `followUp(to)` after each successful renameRegistered() of the calling thread, before an
// interruption can come between the two: a batch lists a result in its record of finished
// results the moment the result is in place. `followUp` must not call into this registry. Empty:
// none. Lasts until it is set again on the same thread.
void setRenameFollowUp(std::function<void(const std::filesystem::path& renamedTo)> followUp);

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and so in every thread it starts
// later; call it before any other thread exists) and starts a thread that waits for them, removes
// every registered path and ends the process with 128 + the signal. The calling thread is the one
// that writes the job's files: it is stopped (by SIGRTMIN) before the paths are removed. SIGXFSZ
// and SIGPIPE are ignored from then on: a write past a file-size limit or into a closed pipe
// fails (EFBIG, EPIPE) and takes the failing job's own path.
void removeRegisteredOnSignals();

// Runs `lastWords(signal)` once an interruption has removed every registered path, just before
// the process ends (a machine-readable progress's last line). The job threads are stopped by
// then, so it must not wait for a lock they may hold. Set it before an interruption can come.
void setLastWords(std::function<void(int signal)> lastWords);

// Marks the constructing thread as one more that writes job files (a batch's worker thread),
// until the guard is destroyed on the same thread: an interruption parks it, like the thread
// that called removeRegisteredOnSignals(), before it removes anything. Make the threads after
// that call, so that they too have the three signals blocked.
class JobThread {
public:
    JobThread();
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;
};

}  // namespace vantorell::interruption
