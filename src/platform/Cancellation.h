// Stopping a running job from another thread. The window sets the flag; the job checks it at
// its checkpoints (every progress change, every yield, after every dialog: between frames,
// rows and columns) and unwinds with JobCancelled, so that its work folder and temporary
// result go with the objects that own them. Nothing is ever killed.
#pragma once

#include <atomic>

namespace vantorell {

// Thrown at a checkpoint once a cancel was requested. Deliberately not a std::exception: the
// step runner reports those as failed steps, and a cancel is no failure.
struct JobCancelled {};

class CancelFlag {
public:
    // Any thread: asks the job to stop at its next checkpoint.
    void request() { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const { return m_requested.load(std::memory_order_relaxed); }
    // The job's thread, at the start of a run: no cancel pending, checkpoints armed.
    void reset()
    {
        m_requested.store(false, std::memory_order_relaxed);
        m_disarmed = false;
    }
    // The job's thread: throws JobCancelled when a cancel was requested and the job is not
    // already closing after one (its closing steps still report progress and show a box).
    void checkpoint() const
    {
        if (!m_disarmed && requested())
            throw JobCancelled{};
    }
    // The job's thread: the cancel was caught; the checkpoints stay quiet until the next run.
    void disarm() { m_disarmed = true; }

private:
    std::atomic<bool> m_requested{false};
    bool m_disarmed = false;
};

}  // namespace vantorell
