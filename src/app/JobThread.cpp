#include "app/JobThread.h"

#include <utility>

namespace vantorell {

JobThread::~JobThread()
{
    m_job.cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void JobThread::setPost(WindowThreadUi::Post post)
{
    m_post = post;
    m_ui.setPost(std::move(post));
}

bool JobThread::start(MixRequest request, Finished finished)
{
    if (m_running || m_job.busy())
        return false;
    if (!m_post) {
        const MixOutcome outcome = m_job.run(request);
        if (finished) finished(outcome);
        return true;
    }
    if (m_worker.joinable())
        m_worker.join();   // the previous worker has posted its end: it is leaving, or gone
    if (!m_job.reserve())
        return false;
    m_running = true;
    m_worker = std::thread([this, request = std::move(request), finished = std::move(finished)]() mutable {
        MixOutcome outcome = m_job.run(request);
        m_post([this, outcome = std::move(outcome), finished = std::move(finished)] {
            if (m_worker.joinable())
                m_worker.join();
            m_running = false;
            if (finished) finished(outcome);
        });
    });
    return true;
}

}  // namespace vantorell
