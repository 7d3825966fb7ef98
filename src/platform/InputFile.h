// Input files (pictures, mesh files, CSV lists, sequences) are read only when they are regular
// files or symlinks to one: a FIFO, a device or a socket would block a reader or never end, so
// it is refused before it is opened, and opening never waits.
#pragma once

#include <filesystem>
#include <string>

namespace vantorell {

// Empty when `file` is a regular file (or a symlink to one); otherwise why it cannot be read, in
// the words of a message: "no such file", "it is a folder", "it is a FIFO, not a file" ...
std::string inputFileProblem(const std::filesystem::path& file);

// Opens a regular file for reading without waiting on anything (O_NONBLOCK) and checks what it
// opened. The descriptor, or -1 with `problem` set.
int openInputFile(const std::filesystem::path& file, std::string& problem);

}  // namespace vantorell
