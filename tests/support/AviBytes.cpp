#include "support/AviBytes.h"

#include <fstream>
#include <iterator>

namespace vantorell::test {

AviBytes LoadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return AviBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vantorell::test
