// Mesh files through the JSON mesh reader: whatever the bytes, the reader answers a pair that
// passes its own checks, or an error text, and a pair it answers writes back to the same pair.
#include "mix/MeshFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantorell;
    const MeshFileResult result = parseMeshJson(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!result.pair) {
        if (result.error.empty())
            std::abort();
        return 0;
    }
    if (checkMeshPair(*result.pair))
        std::abort();
    const MeshFileResult again = parseMeshJson(meshJson(*result.pair));
    if (!again.pair || !(*again.pair == *result.pair))
        std::abort();
    return 0;
}
