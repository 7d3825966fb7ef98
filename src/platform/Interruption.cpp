#include "platform/Interruption.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantorell::interruption {

namespace {

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::set<std::filesystem::path>& registry()
{
    static std::set<std::filesystem::path> paths;
    return paths;
}

// The threads that run jobs and so write their files: they are parked before anything is
// removed, or a file one opens by name after the removal (a writer reopening the temporary
// result, a frame file in the work folder) would be made again and left behind. Guarded by the
// registry's lock.
std::vector<pthread_t>& jobThreads()
{
    static std::vector<pthread_t> threads;
    return threads;
}
std::atomic<int> g_parked{0};

void park(int)
{
    g_parked.fetch_add(1);
    sigset_t none;
    sigemptyset(&none);
    for (;;)
        sigsuspend(&none);   // _exit in the watcher ends it
}

// Called with the registry's lock held, so no job thread comes or goes meanwhile.
void parkJobThreads()
{
    int signalled = 0;
    for (const pthread_t thread : jobThreads())
        if (pthread_kill(thread, SIGRTMIN) == 0)
            ++signalled;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (g_parked.load() < signalled && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void addJobThread(pthread_t thread)
{
    std::lock_guard<std::mutex> guard(registryLock());
    jobThreads().push_back(thread);
}

thread_local std::function<void(const std::filesystem::path&)> t_renameFollowUp;

std::function<void(int)>& lastWords()
{
    static std::function<void(int)> words;
    return words;
}

[[noreturn]] void removeAllAndExit(int signal)
{
    registryLock().lock();   // held until the process ends: nothing new is made meanwhile
    parkJobThreads();        // after the lock: none parks while holding it
    for (const std::filesystem::path& path : registry()) {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);   // links inside are removed, never followed
    }
    if (lastWords())
        lastWords()(signal);
    ::_exit(128 + signal);
}

}  // namespace

std::filesystem::path createRegistered(const std::function<std::filesystem::path()>& make)
{
    std::lock_guard<std::mutex> guard(registryLock());
    std::filesystem::path made = make();
    if (!made.empty())
        registry().insert(made);
    return made;
}

void unregister(const std::filesystem::path& path)
{
    std::lock_guard<std::mutex> guard(registryLock());
    registry().erase(path);
}

std::error_code renameRegistered(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::lock_guard<std::mutex> guard(registryLock());
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (!ec) {
        registry().erase(from);
        if (t_renameFollowUp)
            t_renameFollowUp(to);   // under the lock: an interruption waits for it
    }
    return ec;
}

void setRenameFollowUp(std::function<void(const std::filesystem::path& renamedTo)> followUp)
{
    t_renameFollowUp = std::move(followUp);
}

void setLastWords(std::function<void(int signal)> words)
{
    std::lock_guard<std::mutex> guard(registryLock());
    lastWords() = std::move(words);
}

JobThread::JobThread() { addJobThread(pthread_self()); }

JobThread::~JobThread()
{
    std::lock_guard<std::mutex> guard(registryLock());
    auto& threads = jobThreads();
    for (auto it = threads.begin(); it != threads.end(); ++it) {
        if (pthread_equal(*it, pthread_self())) {
            threads.erase(it);
            break;
        }
    }
}

void removeRegisteredOnSignals()
{
    // A file-size limit or a closed pipe would end the process where it stands, leaving the
    // temporaries: ignored, the write fails instead (EFBIG, EPIPE) and the job fails as usual.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);   // the terminal closed
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    addJobThread(pthread_self());
    struct sigaction parking {};
    parking.sa_handler = park;
    sigfillset(&parking.sa_mask);
    sigaction(SIGRTMIN, &parking, nullptr);
    std::thread([signals] {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        removeAllAndExit(signal);
    }).detach();
}

}  // namespace vantorell::interruption
