#include "avi/WebpIccChunk.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

namespace vantorell {

namespace {

constexpr std::size_t kRiffHeader = 12;          // "RIFF", the size, "WEBP"
constexpr std::size_t kVp8xChunk = 8 + 10;       // "VP8X", its size, flags and canvas
constexpr std::uint8_t kIccFlag = 0x20;

void putLe32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

std::uint32_t le32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int lastError() { return errno != 0 ? errno : EIO; }

}  // namespace

int addWebpIccProfile(const std::filesystem::path& path, std::span<const std::uint8_t> icc)
{
    const std::size_t chunk = 8 + icc.size() + (icc.size() & 1);
    File in(std::fopen(path.c_str(), "rb"));
    if (!in)
        return lastError();
    std::array<std::uint8_t, kRiffHeader + kVp8xChunk> head{};
    if (std::fread(head.data(), 1, head.size(), in.get()) != head.size() || std::memcmp(head.data(), "RIFF", 4) != 0 ||
        std::memcmp(head.data() + 8, "WEBPVP8X", 8) != 0 || le32(head.data() + 16) != 10)
        return 0;
    if (head[20] & kIccFlag)
        return 0;
    const std::uint64_t riffSize = std::uint64_t(le32(head.data() + 4)) + chunk;
    if (riffSize > 0xFFFFFFFEu)
        return EFBIG;
    putLe32(head.data() + 4, std::uint32_t(riffSize));
    head[20] |= kIccFlag;

    std::filesystem::path tagged = path;
    tagged += ".icc";
    File out(std::fopen(tagged.c_str(), "wb"));
    if (!out)
        return lastError();
    std::vector<std::uint8_t> block(8);
    std::memcpy(block.data(), "ICCP", 4);
    putLe32(block.data() + 4, std::uint32_t(icc.size()));
    block.insert(block.end(), icc.begin(), icc.end());
    block.resize(chunk, 0);   // a chunk of odd size is padded to an even one
    bool written = std::fwrite(head.data(), 1, head.size(), out.get()) == head.size() &&
                   std::fwrite(block.data(), 1, block.size(), out.get()) == block.size();
    block.resize(std::size_t(1) << 20);
    while (written) {
        const std::size_t read = std::fread(block.data(), 1, block.size(), in.get());
        if (read == 0)
            break;
        written = std::fwrite(block.data(), 1, read, out.get()) == read;
    }
    written = written && !std::ferror(in.get()) && std::fflush(out.get()) == 0;
    int problem = written ? 0 : lastError();
    if (std::fclose(out.release()) != 0 && problem == 0)
        problem = lastError();
    std::error_code ec;
    if (problem == 0 && (std::filesystem::rename(tagged, path, ec), ec))
        problem = ec.value();
    if (problem != 0)
        std::filesystem::remove(tagged, ec);
    return problem;
}

}  // namespace vantorell
