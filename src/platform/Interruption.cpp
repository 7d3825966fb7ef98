#include "platform/Interruption.h"

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

[[noreturn]] void removeAllAndExit(int signal)
{
    registryLock().lock();   // held until the process ends: nothing new is made meanwhile
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
    std::thread([signals] {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        removeAllAndExit(signal);
    }).detach();
}

}  // namespace vantorell::interruption
