#include "platform/FrameMemory.h"

#include <algorithm>
#include <new>
#include <utility>

#include <sys/mman.h>

namespace vantorell {

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;   // MADV_POPULATE_WRITE, from linux/mman.h
#endif

std::size_t roundUp(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

FrameMemory::FrameMemory(std::size_t bytes) : m_size(roundUp(bytes == 0 ? 1 : bytes, kLargePage))
{
    // A mapping one large page longer, trimmed to start on a large page: only whole, aligned
    // 2 MB ranges can be backed by large pages.
    const std::size_t mapped = m_size + kLargePage;
    void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t aligned = roundUp(start, kLargePage);
    if (aligned > start)
        ::munmap(block, aligned - start);
    if (const std::size_t tail = start + mapped - (aligned + m_size); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + m_size), tail);
    m_data = reinterpret_cast<std::uint8_t*>(aligned);
    ::madvise(m_data, m_size, MADV_HUGEPAGE);   // a kernel without large pages keeps small ones
}

void FrameMemory::fillIn(std::size_t bytes)
{
    if (m_data != nullptr)
        ::madvise(m_data, std::min(bytes, m_size), kPopulateWrite);
}

FrameMemory::~FrameMemory()
{
    if (m_data != nullptr)
        ::munmap(m_data, m_size);
}

FrameMemory::FrameMemory(FrameMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

FrameMemory& FrameMemory::operator=(FrameMemory&& other) noexcept
{
    if (this != &other) {
        if (m_data != nullptr)
            ::munmap(m_data, m_size);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

}  // namespace vantorell
