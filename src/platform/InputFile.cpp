#include "platform/InputFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorell {

namespace {

std::string typeProblem(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a FIFO, not a file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    return "it is not a regular file";
}

std::string errnoProblem(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return "too many symbolic links";
    case ENAMETOOLONG: return "its name is too long";
    default: return std::strerror(error);
    }
}

}  // namespace

std::string inputFileProblem(const std::filesystem::path& file)
{
    if (file.empty())
        return "no such file";
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return errnoProblem(errno);
    return typeProblem(st.st_mode);
}

int openInputFile(const std::filesystem::path& file, std::string& problem)
{
    problem = inputFileProblem(file);
    if (!problem.empty())
        return -1;
    // Checked again on what was opened: the name may have changed in between.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errnoProblem(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = ::fstat(fd, &st) != 0 ? errnoProblem(errno) : typeProblem(st.st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace vantorell
