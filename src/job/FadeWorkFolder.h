// The private folder of one Fade job: made inside TEMP (the system's temporary folder when TEMP
// is unset or unusable) with mkdtemp, so it is new, owned by the user and mode 0700, and removed
// with everything in it when the job ends. The frame files "/Morph_0.bmp" onward, "/temp.bmp"
// and "/temp.avi" live only here, so no other user's file or planted link is ever touched, and a
// TEMP whose name holds wildcard characters is used as a plain name.
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

    bool exists() const { return !m_path.empty(); }
    // The folder; raises RuntimeError PathNotFound when there is none (so nothing is ever written
    // at the root of the file system in its place).
    const std::filesystem::path& path() const;
    // path() + "/" + name, the way the frame files are named.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

}  // namespace vantorell
