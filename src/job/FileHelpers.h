// Path and file helpers of the jobs, the GIF and AVI writers and the window's start-up. None of
// them shows a message or raises: they answer through their results.
#pragma once

#include "job/UiPort.h"

#include <string>
#include <string_view>

namespace vantorell {

inline constexpr char kPathSeparator = '/';

// True when the path names an existing directory (false for a file, a missing path, "").
bool folderExists(std::string_view path);

// True when the path's last-modified time can be read: an existing file or folder.
bool fileExists(std::string_view path);

// True when the file system holding the folder has no block left for this user: a write there
// has just failed for want of space. False when it has room or cannot be asked.
bool diskFull(std::string_view folder);

// Shell special-folder numbers (CSIDL) the program asks for.
namespace csidl {
inline constexpr int Desktop = 0x0000;
inline constexpr int Personal = 0x0005;           // Documents
inline constexpr int DesktopDirectory = 0x0010;
inline constexpr int AppData = 0x001A;
inline constexpr int LocalAppData = 0x001C;
inline constexpr int MyPictures = 0x0027;
inline constexpr int Profile = 0x0028;             // the user's home folder
}  // namespace csidl

// The folder's path as the shell's 512-character buffer: the path, a zero character, then
// spaces up to 512 characters. The empty string when the folder is unknown or does not exist.
std::string specialFolderPath(int folder);

// The user's desktop folder with a trailing separator; the home folder plus the separator when
// there is no desktop folder.
std::string desktopFolderPath();

// Deletes the file or files the path names; the last component may hold the wildcards "*" and
// "?". Read-only files go too. Yields to the message loop once first. Never raises; a path that
// matches nothing leaves no trace.
void deleteFileForced(UiPort& ui, std::string_view path);
void deleteFileForced(std::string_view path);   // the same without the yield

// Collapses doubled separators ("a//b" -> "a/b", three in a row become two, in one left-to-right
// pass); a leading run of separators becomes one ("//home/me" -> "/home/me"), the real path.
std::string normalizePath(std::string_view path);

}  // namespace vantorell
