#include "api/JobRunner.h"

#include "api/Requests.h"
#include "job/SilentUi.h"

namespace vantorell::api::detail {

namespace {

// No one to answer a box: each is recorded in the outcome and answered OK. The progress bar's
// changes go to the caller's callback; its false cancels the job at that change.
class CallbackUi final : public SilentUi {
public:
    explicit CallbackUi(const ProgressCallback& progress) : m_progress(progress) {}
    void attach(MixJob& job) { m_job = &job; }
    void progressChanged(const ProgressBar& bar) override
    {
        if (!m_progress || m_stopped)
            return;
        const double percent = bar.max() > 0 ? bar.value() / bar.max() * 100.0 : 0.0;
        if (!m_progress(JobProgress{percent, bar.step()}) && m_job) {
            m_stopped = true;
            m_job->cancel();
        }
    }

private:
    const ProgressCallback& m_progress;
    MixJob* m_job = nullptr;
    bool m_stopped = false;
};

}  // namespace

JobOutcome runMixJob(MixType type, const JobRequest& request, const ProgressCallback& progress, FadeSteps fadeSteps,
                     PictureAligner aligner)
{
    const MixRequest mixRequest = mixRequestOf(type, request);
    CallbackUi ui(progress);
    MixJob job(ui, fadeSteps, aligner);
    ui.attach(job);
    job.setStreamOverlays(true);   // two JPEGs: a few bands of rows in memory, the same bytes
    return jobOutcomeOf(job.run(mixRequest));
}

}  // namespace vantorell::api::detail
