#include "job/ResultFile.h"

#include "job/FileHelpers.h"
#include "platform/Interruption.h"
#include "platform/OwnerLock.h"
#include "platform/RuntimeError.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/file.h>
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

// Whether a file name is one of our temporaries: "<result>.vantorell-<pid>-XXXXXX".
bool isTemporaryName(const std::string& name)
{
    const auto marker = name.rfind(kMarker);
    if (marker == std::string::npos || marker == 0)
        return false;
    const std::string rest = name.substr(marker + kMarker.size());
    const auto dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 || rest.size() != dash + 7)
        return false;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (i != dash && !(i < dash ? std::isdigit(static_cast<unsigned char>(rest[i]))
                                    : std::isalnum(static_cast<unsigned char>(rest[i]))))
            return false;
    return true;
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
        if (fd < 0 && errno != EEXIST)
            return {};
        if (fd < 0)
            continue;
        // Locked before anything else: a sweeper that took the lock first, or removed the file
        // in between, has it; this one is given up for another name. A file system without
        // locks leaves it unlocked, and its sweepers cannot take a lock either.
        const bool takenFirst = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (takenFirst || !ownerlock::isAtPath(fd, name)) {
            ::close(fd);
            continue;
        }
        descriptor = fd;
        return name;
    }
    return {};
}

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
    else   // the lock lives with this second descriptor until the end, whoever writes by name
        m_lockDescriptor = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
}

ResultFile::~ResultFile()
{
    closeDescriptor();
    if (!m_committed) {
        std::error_code ec;
        std::filesystem::remove(m_temporary, ec);
        interruption::unregister(m_temporary);
    }
    if (m_lockDescriptor >= 0)
        ::close(m_lockDescriptor);
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
    std::error_code ec;
    for (std::filesystem::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
        std::error_code removal;
        const std::filesystem::path file = entry->path();
        if (isTemporaryName(file.filename().string()))   // a link or a folder is never opened as one
            ownerlock::removeIfAbandoned(file, [&] { std::filesystem::remove(file, removal); });
    }
}

}  // namespace vantorell
