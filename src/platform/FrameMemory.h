// Memory for pictures and frames of a few megabytes and more (a Bitmap's pixels, a GIF's frames
// kept for its palette): mapped for the purpose, so it arrives zeroed without a fill pass, and
// advised to the kernel for 2 MB pages, so that filling it costs a page fault every 2 MB rather
// than every 4 KB. Memory never touched is never backed, unless fillIn() asks for it.
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

    // Has the kernel back the first `bytes` at once, in one pass rather than a fault at a time,
    // for memory that will all be written (Linux 5.14 and later; older kernels refuse the advice
    // and fault page by page).
    void fillIn(std::size_t bytes);

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace vantorell
