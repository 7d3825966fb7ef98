#include "platform/OwnerLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorell::ownerlock {

bool lockExclusively(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool isAtPath(int fd, const std::filesystem::path& path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool removeIfAbandoned(const std::filesystem::path& lockFile, const std::function<void()>& removeAbandoned)
{
    // Read and write: on a network file system flock is a byte-range lock, which wants both.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool abandoned = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && lockExclusively(fd) && isAtPath(fd, lockFile);
    if (abandoned)
        removeAbandoned();
    ::close(fd);
    return abandoned;
}

}  // namespace vantorell::ownerlock
