#include "job/ResultFile.h"

#include "job/FileHelpers.h"
#include "platform/Interruption.h"
#include "platform/RuntimeError.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>
#include <random>
#include <utility>

namespace vantorell {

namespace {

constexpr std::string_view kMarker = ".vantorell-";

[[noreturn]] void raiseAccessError() { throw RuntimeError(errnum::FileAccessError, "Path/File access error"); }

std::string temporaryPrefix(const std::filesystem::path& result)
{
    return result.filename().string() + std::string(kMarker);
}

// The process that made a temporary "<result>.vantorell-<pid>-XXXXXX", or 0 when the name is
// not one of ours.
pid_t ownerOf(const std::string& name, const std::string& prefix)
{
    if (name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string rest = name.substr(prefix.size());
    const auto dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 || rest.size() != dash + 7)
        return 0;
    pid_t pid = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return 0;
        pid = pid * 10 + (rest[i] - '0');
    }
    return pid;
}

// Creates a new file at a fresh name made from `stem` and six random letters: O_EXCL makes it
// new, O_NOFOLLOW refuses a planted link, and mode 0666 lets the umask decide as for any file.
std::filesystem::path createExclusively(const std::string& stem, int& descriptor)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            descriptor = fd;
            return name;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool processEnded(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

ResultFile::ResultFile(std::filesystem::path resultPath) : m_result(std::move(resultPath))
{
    const std::filesystem::path folder = m_result.parent_path().empty() ? "." : m_result.parent_path();
    const std::string stem = (folder / (temporaryPrefix(m_result) + std::to_string(::getpid()) + "-")).string();
    m_temporary = interruption::createRegistered([&] { return createExclusively(stem, m_descriptor); });
    // A folder that takes no new file: the writer is given a name there anyway and fails on it
    // with the same error, and so the same message, as it would on the result's own name.
    if (m_temporary.empty())
        m_temporary = stem + "XXXXXX";
}

ResultFile::~ResultFile()
{
    closeDescriptor();
    if (m_committed)
        return;
    std::error_code ec;
    std::filesystem::remove(m_temporary, ec);
    interruption::unregister(m_temporary);
}

bool ResultFile::closeDescriptor()
{
    const int fd = std::exchange(m_descriptor, -1);
    return fd < 0 || ::close(fd) == 0;
}

bool ResultFile::writeWhole(std::span<const std::uint8_t> bytes)
{
    if (m_descriptor < 0)
        return false;
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(m_descriptor, at, left);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            m_writeError = done < 0 ? errno : EIO;
            closeDescriptor();
            return false;
        }
        at += done;
        left -= std::size_t(done);
    }
    if (closeDescriptor())
        return true;
    m_writeError = errno;
    return false;
}

bool ResultFile::diskFull() const
{
    if (m_writeError == ENOSPC || m_writeError == EDQUOT)
        return true;
    return vantorell::diskFull(m_result.parent_path().empty() ? "." : m_result.parent_path().string());
}

void ResultFile::commit()
{
    closeDescriptor();
    if (interruption::renameRegistered(m_temporary, m_result))
        raiseAccessError();
    m_committed = true;
}

void ResultFile::checkReplaceable(const std::filesystem::path& resultPath)
{
    struct stat st {};
    if (::lstat(resultPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        raiseAccessError();
}

void ResultFile::removeStale(const std::filesystem::path& resultPath)
{
    const std::filesystem::path folder = resultPath.parent_path().empty() ? "." : resultPath.parent_path();
    const std::string prefix = temporaryPrefix(resultPath);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const pid_t owner = ownerOf(entry.path().filename().string(), prefix);
        if (owner > 0 && entry.is_regular_file(ec) && !entry.is_symlink(ec) && processEnded(owner))
            std::filesystem::remove(entry.path(), ec);
    }
}

}  // namespace vantorell
