// Runs the window's job on a worker thread, so that the window never waits for it: the job's
// boxes, dialogs and busy pointer reach the window's thread through a WindowThreadUi, and the
// outcome is handed back there when the job ends. One job at a time.
#pragma once

#include "job/MixJob.h"
#include "job/WindowThreadUi.h"

#include <functional>
#include <thread>

namespace vantorell {

class JobThread {
public:
    using Finished = std::function<void(const MixOutcome&)>;

    // `job` talks to `ui`, which must be the WindowThreadUi the job was made with.
    JobThread(MixJob& job, WindowThreadUi& ui) : m_job(job), m_ui(ui) {}
    // Cancels a running job and waits for it. The window must keep serving posted calls until
    // then; the view waits for the job's end before it lets the window close.
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Called on the window's thread: how closures reach it. Without a poster, start() runs the
    // job on the calling thread, as before.
    void setPost(WindowThreadUi::Post post);

    // Starts `request` on a worker. `finished` runs on the window's thread with the outcome,
    // after the worker has ended. False when a job is running already.
    bool start(MixRequest request, Finished finished);
    // Asks the running job to stop at its next checkpoint.
    void cancel() { m_job.cancel(); }
    // A job runs (from start() until its `finished` has been called).
    bool running() const { return m_running; }

private:
    MixJob& m_job;
    WindowThreadUi& m_ui;
    WindowThreadUi::Post m_post;
    std::thread m_worker;
    bool m_running = false;   // window thread only
};

}  // namespace vantorell
