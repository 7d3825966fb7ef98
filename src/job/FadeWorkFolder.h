// The private folder of one Fade job: made inside TEMP (the system's temporary folder when TEMP
// is unset or unusable) with mkdtemp, so it is new, owned by the user and mode 0700, and removed
// with everything in it when the job ends. The frame files "/Morph_0.bmp" onward, "/temp.bmp"
// and "/temp.avi" live only here, so no other user's file or planted link is ever touched, and a
// TEMP whose name holds wildcard characters is used as a plain name. The folder holds a lock file
// ("vantorell.lock", flock-ed for the job's life), so a folder left by a killed job is known by
// its lock that anyone can take, and the next job's start removes it.
#pragma once

#include <filesystem>
#include <string>

namespace vantorell {

class FadeWorkFolder {
public:
    FadeWorkFolder() = default;
    ~FadeWorkFolder() { remove(); }
    FadeWorkFolder(const FadeWorkFolder&) = delete;
    FadeWorkFolder& operator=(const FadeWorkFolder&) = delete;

    // Makes a fresh folder (removing one made before). Raises RuntimeError PathNotFound when
    // neither TEMP nor the system's temporary folder takes one.
    void create();
    // Removes the folder and its contents; links inside it are removed, never followed.
    void remove();
    // Removes the work folders in TEMP and the system's temporary folder whose job has ended
    // (their lock can be taken). A running job's folder, or one without a lock file, stays.
    static void removeAbandoned();

    bool exists() const { return !m_path.empty(); }
    // The folder; raises RuntimeError PathNotFound when there is none (so nothing is ever written
    // at the root of the file system in its place).
    const std::filesystem::path& path() const;
    // path() + "/" + name, the way the frame files are named.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
    int m_lock = -1;   // the lock file's descriptor, holding its flock
};

}  // namespace vantorell
