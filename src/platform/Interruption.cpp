#include "platform/Interruption.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <set>
#include <thread>
#include <unistd.h>

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

// The thread that runs the job and so writes its files: it is parked before anything is removed,
// or a file it opens by name after the removal (a writer reopening the temporary result, a frame
// file in the work folder) would be made again and left behind.
pthread_t g_jobThread;
std::atomic<bool> g_parked{false};

void park(int)
{
    g_parked = true;
    sigset_t none;
    sigemptyset(&none);
    for (;;)
        sigsuspend(&none);   // _exit in the watcher ends it
}

void parkJobThread()
{
    if (pthread_kill(g_jobThread, SIGRTMIN) != 0)
        return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!g_parked && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

[[noreturn]] void removeAllAndExit(int signal)
{
    registryLock().lock();   // held until the process ends: nothing new is made meanwhile
    parkJobThread();         // after the lock: it never parks while holding it
    for (const std::filesystem::path& path : registry()) {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);   // links inside are removed, never followed
    }
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
    if (!ec)
        registry().erase(from);
    return ec;
}

void removeRegisteredOnSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    g_jobThread = pthread_self();
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
