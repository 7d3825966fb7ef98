#include "job/FileHelpers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/statvfs.h>
#include <system_error>
#include <vector>

namespace vantorell {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kShellPathBuffer = 512;

// Windows file-name wildcards: "*" any run of characters, "?" any one character.
bool wildcardMatch(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Replaces every pair of separators by one, in one pass from the left.
std::string collapsePairs(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == kPathSeparator && i + 1 < text.size() && text[i + 1] == kPathSeparator)
            ++i;
    }
    return out;
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home ? std::string(home) : std::string();
}

// A folder of the XDG base directories: the environment variable when it holds an absolute
// path, else the default under the home folder.
std::string xdgBase(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/" + fallback;
}

// A user directory as xdg-user-dirs records it in user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/Desktop"),
// else the usual folder under the home folder.
std::string xdgUserDir(const std::string& key, const char* fallback)
{
    const std::string home = homeFolder();
    const std::string config = xdgBase("XDG_CONFIG_HOME", ".config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') {
            while (value.size() > 1 && value.back() == '/')
                value.pop_back();
            return value;
        }
    }
    return home.empty() ? std::string() : home + "/" + fallback;
}

void removeFile(const fs::path& file)
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        return;   // only files are deleted, never folders
    fs::remove(file, ec);
}

}  // namespace

bool folderExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

bool fileExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    (void)fs::last_write_time(fs::path(path), ec);
    return !ec;
}

std::string specialFolderPath(int folder)
{
    std::string path;
    switch (folder) {
    case csidl::Desktop:
    case csidl::DesktopDirectory: path = xdgUserDir("XDG_DESKTOP_DIR", "Desktop"); break;
    case csidl::Personal: path = xdgUserDir("XDG_DOCUMENTS_DIR", "Documents"); break;
    case csidl::MyPictures: path = xdgUserDir("XDG_PICTURES_DIR", "Pictures"); break;
    case csidl::AppData: path = xdgBase("XDG_CONFIG_HOME", ".config"); break;
    case csidl::LocalAppData: path = xdgBase("XDG_DATA_HOME", ".local/share"); break;
    case csidl::Profile: path = homeFolder(); break;
    default: return {};
    }
    if (path.empty() || path.size() >= kShellPathBuffer || !folderExists(path))
        return {};
    // The shell writes the path into a buffer of spaces and ends it with a zero character.
    std::string buffer(kShellPathBuffer, ' ');
    buffer.replace(0, path.size(), path);
    buffer[path.size()] = '\0';
    return buffer;
}

std::string desktopFolderPath()
{
    const std::string buffer = specialFolderPath(csidl::Desktop);
    const std::size_t end = buffer.rfind('\0');
    if (end == std::string::npos) {   // no desktop folder: the home folder serves
        std::string home = homeFolder();
        if (home.empty() || home.back() != kPathSeparator)
            home += kPathSeparator;
        return home;
    }
    return buffer.substr(0, end) + kPathSeparator;
}

void deleteFileForced(std::string_view path)
{
    if (path.empty())
        return;
    const fs::path target{std::string(path)};
    const std::string last = target.filename().string();
    if (last.find_first_of("*?") == std::string::npos) {
        removeFile(target);
        return;
    }
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    std::vector<fs::path> matches;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (wildcardMatch(last, it->path().filename().string()))
            matches.push_back(it->path());
    for (const fs::path& file : matches)
        removeFile(file);
}

void deleteFileForced(UiPort& ui, std::string_view path)
{
    ui.yield();
    deleteFileForced(path);
}

bool diskFull(std::string_view folder)
{
    struct statvfs fs {};
    const std::string path(folder.empty() ? std::string_view(".") : folder);
    // A file system without blocks (/proc) or one mounted read-only is not full: it takes no writes.
    return ::statvfs(path.c_str(), &fs) == 0 && fs.f_blocks > 0 && fs.f_bavail == 0 && !(fs.f_flag & ST_RDONLY);
}

std::string normalizePath(std::string_view path)
{
    if (path.empty() || path.front() != kPathSeparator)
        return collapsePairs(path);
    // A leading "//" names no network share here: it is the root, written once.
    std::size_t first = 1;
    while (first < path.size() && path[first] == kPathSeparator)
        ++first;
    return std::string(1, kPathSeparator) + collapsePairs(path.substr(first));
}

}  // namespace vantorell
