#include "job/FadeWorkFolder.h"

#include "platform/Interruption.h"
#include "platform/OwnerLock.h"
#include "platform/RuntimeError.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vantorell {

namespace {

constexpr std::string_view kFolderPrefix = "vantorell-fade-";
constexpr std::string_view kLockName = "vantorell.lock";

// The lock file is made under another name, locked, and only then given its own: a sweeper
// never sees it unlocked, and leaves a folder without one alone.
int lockFolder(const std::filesystem::path& folder)
{
    const std::filesystem::path unnamed = folder / (std::string(kLockName) + "~");
    const int fd = ::open(unnamed.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (!ownerlock::lockExclusively(fd) || ::rename(unnamed.c_str(), (folder / kLockName).c_str()) != 0) {
        ::unlink(unnamed.c_str());
        ::close(fd);
        return -1;
    }
    return fd;
}

std::filesystem::path makeIn(const std::filesystem::path& parent, int& lock)
{
    if (parent.empty())
        return {};
    std::string pattern = (parent / (std::string(kFolderPrefix) + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))   // mode 0700, a new name, no existing path reused
        return {};
    lock = lockFolder(name.data());   // none (no locks here): the folder is never swept
    return std::filesystem::path(name.data());
}

// TEMP and the system's temporary folder, where work folders are made.
std::vector<std::filesystem::path> workParents()
{
    std::vector<std::filesystem::path> parents;
    if (const char* temp = std::getenv("TEMP"); temp && *temp)
        parents.emplace_back(temp);
    std::error_code ec;
    const std::filesystem::path system = std::filesystem::temp_directory_path(ec);
    if (!ec && (parents.empty() || !std::filesystem::equivalent(parents.front(), system, ec)))
        parents.push_back(system);
    return parents;
}

bool isWorkFolderName(const std::string& name)
{
    return name.size() == kFolderPrefix.size() + 6 && name.compare(0, kFolderPrefix.size(), kFolderPrefix) == 0;
}

}  // namespace

void FadeWorkFolder::create()
{
    remove();
    const char* temp = std::getenv("TEMP");
    // Registered as it is made: an interrupted command line removes it.
    if (temp && *temp)
        m_path = interruption::createRegistered([&] { return makeIn(temp, m_lock); });
    if (m_path.empty()) {
        std::error_code ec;
        const std::filesystem::path system = std::filesystem::temp_directory_path(ec);
        m_path = interruption::createRegistered([&] { return makeIn(system, m_lock); });
    }
    if (m_path.empty())
        throw RuntimeError(errnum::PathNotFound, "Path not found");
}

void FadeWorkFolder::remove()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    interruption::unregister(m_path);
    m_path.clear();
    if (m_lock >= 0)
        ::close(std::exchange(m_lock, -1));   // after the removal: no sweeper races it
}

void FadeWorkFolder::removeAbandoned()
{
    for (const std::filesystem::path& parent : workParents()) {
        std::error_code ec;
        for (std::filesystem::directory_iterator entry(parent, ec), end; !ec && entry != end; entry.increment(ec)) {
            struct stat st {};
            const std::filesystem::path folder = entry->path();
            if (!isWorkFolderName(folder.filename().string()) || ::lstat(folder.c_str(), &st) != 0 ||
                !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
                continue;
            std::error_code removal;
            ownerlock::removeIfAbandoned(folder / kLockName, [&] { std::filesystem::remove_all(folder, removal); });
        }
    }
}

const std::filesystem::path& FadeWorkFolder::path() const
{
    if (m_path.empty())
        throw RuntimeError(errnum::PathNotFound, "Path not found");
    return m_path;
}

std::string FadeWorkFolder::file(const std::string& name) const { return path().string() + "/" + name; }

}  // namespace vantorell
