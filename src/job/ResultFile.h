// A job's result written whole or not at all. The writer writes a temporary file beside the
// result, made new and exclusively ("result.jpg.vantorell-<process>-XXXXXX"); only when the
// last byte is written and the file closed does commit() rename it over the result, so a failed,
// cancelled or killed job never leaves a damaged result and never destroys the earlier one. The
// temporary is flock-ed while the job lives; what a killed job left, the next start removes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace vantorell {

class ResultFile {
public:
    // Makes the temporary file. In a folder that takes no new file the writer still gets a
    // name there, and fails on it as it would on the result's own name.
    explicit ResultFile(std::filesystem::path resultPath);
    // Removes the temporary file unless it was committed.
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    const std::filesystem::path& temporaryPath() const { return m_temporary; }
    // Writes `bytes` through the descriptor the temporary was made with (no second open by
    // name) and closes it; false when any write or the close fails, or there is no temporary.
    // Writers that open the temporary by name leave the descriptor to be closed by commit().
    bool writeWhole(std::span<const std::uint8_t> bytes);
    const std::filesystem::path& resultPath() const { return m_result; }
    // Renames the temporary file over the result. Raises RuntimeError 75 when that fails.
    void commit();
    bool committed() const { return m_committed; }
    // Whether a write failed for want of space: writeWhole met ENOSPC or EDQUOT, or (for a
    // writer that opened the temporary by name) the result's file system has no block left.
    // Asked before the temporary goes, while it still holds what was written.
    bool diskFull() const;

    // Raises RuntimeError 75 when something that is not a regular file (a folder) stands at
    // the result's name, so the result could never replace it.
    static void checkReplaceable(const std::filesystem::path& resultPath);
    // Removes the temporaries in the result's folder left by jobs that were killed (of any
    // result: a batch's pairs have many names). Each job holds an flock on its temporary for
    // its life; only those whose lock can be taken go, so a running job's temporary (another
    // window, another batch, another machine on a network folder) is left alone.
    static void removeStale(const std::filesystem::path& resultPath);

private:
    std::filesystem::path m_result;
    std::filesystem::path m_temporary;
    bool m_committed = false;
    int m_descriptor = -1;   // open from the temporary's making until written or committed
    int m_lockDescriptor = -1;   // holds the temporary's flock until this object ends
    int m_writeError = 0;    // errno of writeWhole's failed write or close

    bool closeDescriptor();
};

}  // namespace vantorell
