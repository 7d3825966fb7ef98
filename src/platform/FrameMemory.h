// Memory for frames kept whole for a while (a GIF's frames before its palette is made): mapped
// for the purpose and advised to the kernel for 2 MB pages, so that filling it costs a page
// fault every 2 MB rather than every 4 KB. Memory never touched is never backed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorell {

class FrameMemory {
public:
    // At least `bytes` of zeroed memory; throws std::bad_alloc when none is to be had.
    explicit FrameMemory(std::size_t bytes);
    ~FrameMemory();
    FrameMemory(FrameMemory&& other) noexcept;
    FrameMemory& operator=(FrameMemory&& other) noexcept;
    FrameMemory(const FrameMemory&) = delete;
    FrameMemory& operator=(const FrameMemory&) = delete;

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace vantorell
