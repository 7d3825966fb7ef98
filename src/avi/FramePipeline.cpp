#include "avi/FramePipeline.h"

#include <utility>

namespace vantorell {

FramePipeline::FramePipeline(FrameSink& sink, FrameLayout layout, int buffers)
    : m_sink(sink), m_layout(layout), m_unallocated(buffers < 1 ? 1 : buffers)
{
    m_writer = std::thread([this] { writerLoop(); });
}

FramePipeline::~FramePipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_writer.join();
}

std::vector<std::uint8_t> FramePipeline::take()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_free.empty() || m_unallocated > 0; });
    if (!m_free.empty()) {
        std::vector<std::uint8_t> frame = std::move(m_free.back());
        m_free.pop_back();
        return frame;
    }
    --m_unallocated;
    lock.unlock();
    try {
        return std::vector<std::uint8_t>(m_layout.bytes());
    } catch (...) {
        lock.lock();
        ++m_unallocated;
        throw;
    }
}

void FramePipeline::submit(std::vector<std::uint8_t> frame)
{
    {
        std::lock_guard lock(m_mutex);
        m_queued.push_back(std::move(frame));
    }
    m_changed.notify_all();
}

void FramePipeline::giveBack(std::vector<std::uint8_t> frame)
{
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(frame));
    }
    m_changed.notify_all();
}

int FramePipeline::drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_queued.empty() && !m_writing; });
    return m_error;
}

int FramePipeline::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::int64_t FramePipeline::written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

void FramePipeline::writerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return !m_queued.empty() || m_closing; });
        if (m_queued.empty())
            return;
        std::vector<std::uint8_t> frame = std::move(m_queued.front());
        m_queued.pop_front();
        const std::int64_t index = m_next++;
        const bool write = m_error == 0;
        m_writing = true;
        lock.unlock();
        const int rc = write ? m_sink.writeFrame(frame, index) : 0;
        lock.lock();
        m_writing = false;
        if (write && rc == 0)
            ++m_written;
        else if (write)
            m_error = rc;
        m_free.push_back(std::move(frame));
        m_changed.notify_all();
    }
}

}  // namespace vantorell
