// Whether a file left in a shared folder (TEMP, an output folder) still belongs to a running
// job. The job holds an exclusive flock on it (or on a lock file beside its work) for as long as
// it lives; the kernel drops the lock when the process ends, however it ends, also on SIGKILL.
// A process id in a name would mislead: another container or machine on the same network
// folder has its own ids, and an id is reused.
#pragma once

#include <filesystem>
#include <functional>

namespace vantorell::ownerlock {

// Takes an exclusive flock on `fd` without waiting; false when another holds it (or the file
// system has no locks).
bool lockExclusively(int fd);

// Whether `path` names, without a link, the very file open as `fd`: a lock taken on a file that
// was meanwhile removed or replaced at its name protects nothing there.
bool isAtPath(int fd, const std::filesystem::path& path);

// When the lock of `lockFile` (a regular file, not a link) can be taken, its owner has ended:
// calls `removeAbandoned` while holding that lock, so no sweeper elsewhere removes it twice, and
// answers true. A lock file that cannot be opened or locked is left alone.
bool removeIfAbandoned(const std::filesystem::path& lockFile, const std::function<void()>& removeAbandoned);

}  // namespace vantorell::ownerlock
