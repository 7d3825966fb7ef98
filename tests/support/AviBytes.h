// A file's bytes, for tests that look at what a job wrote byte by byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vantorell::test {

using AviBytes = std::vector<std::uint8_t>;

AviBytes LoadBytes(const std::filesystem::path& path);

}  // namespace vantorell::test
