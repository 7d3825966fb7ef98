#include "job/FileHelpers.h"

#include <QDir>
#include <QStandardPaths>

#include <filesystem>
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

void removeFile(const fs::path& file)
{
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        return;   // only files are deleted, never folders
    fs::remove(file, ec);
}

}  // namespace

bool FolderExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

bool FileExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    (void)fs::last_write_time(fs::path(path), ec);
    return !ec;
}

std::string SpecialFolderPath(int folder)
{
    QStandardPaths::StandardLocation location;
    switch (folder) {
    case csidl::Desktop:
    case csidl::DesktopDirectory: location = QStandardPaths::DesktopLocation; break;
    case csidl::Personal: location = QStandardPaths::DocumentsLocation; break;
    case csidl::AppData: location = QStandardPaths::GenericConfigLocation; break;
    case csidl::LocalAppData: location = QStandardPaths::GenericDataLocation; break;
    case csidl::MyPictures: location = QStandardPaths::PicturesLocation; break;
    case csidl::Profile: location = QStandardPaths::HomeLocation; break;
    default: return {};
    }
    const std::string path = QStandardPaths::writableLocation(location).toStdString();
    if (path.empty() || path.size() >= kShellPathBuffer || !FolderExists(path))
        return {};
    // The shell writes the path into a buffer of spaces and ends it with a zero character.
    std::string buffer(kShellPathBuffer, ' ');
    buffer.replace(0, path.size(), path);
    buffer[path.size()] = '\0';
    return buffer;
}

std::string DesktopFolderPath()
{
    const std::string buffer = SpecialFolderPath(csidl::Desktop);
    const std::size_t end = buffer.rfind('\0');
    if (end == std::string::npos) {   // no desktop folder: the home folder serves
        std::string home = QDir::homePath().toStdString();
        if (home.empty() || home.back() != kPathSeparator)
            home += kPathSeparator;
        return home;
    }
    return buffer.substr(0, end) + kPathSeparator;
}

void DeleteFileForced(std::string_view path)
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

void DeleteFileForced(UiPort& ui, std::string_view path)
{
    ui.yield();
    DeleteFileForced(path);
}

std::string NormalizePath(std::string_view path)
{
    if (path.empty() || path.front() != kPathSeparator)
        return collapsePairs(path);
    std::size_t first = 1;
    while (first < path.size() && path[first] == kPathSeparator)
        ++first;
    return std::string(2, kPathSeparator) + collapsePairs(path.substr(first));
}

}  // namespace vantorell
