// Rendering and writing overlap: a producer fills frame buffers on its own thread while one
// writer thread hands the filled ones, in order, to a FrameSink. Two buffers are in flight at
// most, so memory stays at two frames whatever the frame count. The writer thread calls nothing
// but the sink (no UI), and the first error of the sink stops the writing.
#pragma once

#include "avi/FrameSink.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vantorell {

class FramePipeline {
public:
    FramePipeline(FrameSink& sink, FrameLayout layout, int buffers = 2);
    // Joins the writer thread (the frames queued are still written); does not finish the sink.
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    const FrameLayout& layout() const { return m_layout; }
    // A buffer of layout().bytes() to fill; waits while every buffer is queued. The buffer is
    // the caller's until submit() or giveBack().
    std::vector<std::uint8_t> take();
    // Queues the filled buffer as the next frame.
    void submit(std::vector<std::uint8_t> frame);
    // Returns a buffer that was not filled.
    void giveBack(std::vector<std::uint8_t> frame);
    // Waits until every queued frame is written and answers the first error (0: none).
    int drain();
    // The first error of the sink so far (0: none); frames after it are dropped.
    int error() const;
    // Frames the sink took without error.
    std::int64_t written() const;

private:
    void writerLoop();

    FrameSink& m_sink;
    FrameLayout m_layout;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<std::uint8_t>> m_queued;
    std::vector<std::vector<std::uint8_t>> m_free;
    int m_unallocated;          // buffers not yet made
    int m_error = 0;
    bool m_writing = false;     // the writer holds a frame
    bool m_closing = false;
    std::int64_t m_next = 0;    // index of the next frame queued
    std::int64_t m_written = 0;
    std::thread m_writer;
};

}  // namespace vantorell
