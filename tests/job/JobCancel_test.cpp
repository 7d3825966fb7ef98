// Cancel at every stage of a job: the job stops at its next checkpoint, removes its work
// folder and temporary result, keeps the earlier result and ends with "Cancelled.".
#include "job/FadeJob.h"
#include "job/MixJob.h"

#include "job/ForwardingUi.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

using namespace vantorell;
using vantorell::test::FakeUi;
using vantorell::test::ScopedEnv;
using vantorell::test::TempDir;
using vantorell::test::writePicture;

namespace {

// Passes everything on to a FakeUi and cancels the job the first time `when` holds at one of
// the job's calls (a progress change, a yield, the compressor dialog).
struct CancellingUi final : ForwardingUi {
    using ForwardingUi::ForwardingUi;
    MixJob* job = nullptr;
    std::function<bool()> when;
    bool inCompressorDialog = false;
    bool fired = false;
    std::string step;   // the progress bar's step at its last change

    void poll()
    {
        if (!fired && when && when()) {
            fired = true;
            job->cancel();
        }
    }
    void yield() override { poll(); target().yield(); }
    void progressChanged(const ProgressBar& bar) override
    {
        step = bar.step();
        poll();
        target().progressChanged(bar);
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        inCompressorDialog = true;
        poll();   // the user cancels while the dialog is up, then picks a compressor anyway
        inCompressorDialog = false;
        return target().chooseCompressor(offered);
    }
};

bool holdsFileStartingWith(const std::filesystem::path& folder, const std::string& prefix)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::size_t entriesIn(const std::filesystem::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::recursive_directory_iterator(dir))
        ++n;
    return n;
}

std::string contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Stage {
    const char* name;
    MixType type;
    FadeOutput output;
    std::function<bool(const CancellingUi&, const FakeUi&, const TempDir& dir, const TempDir& temp)> when;
};

TEST(JobCancel, EveryStageStopsCleansUpAndKeepsTheEarlierResult)
{
    const Stage stages[] = {
        {"overlaying columns", MixType::Overlay, FadeOutput::Avi,
         [](auto&, const FakeUi& ui, auto&, auto&) { return ui.progressValues.size() > 3; }},
        {"rendering frames", MixType::Fade, FadeOutput::Avi,
         [](auto&, const FakeUi& ui, auto&, auto&) { return ui.progressValues.size() > 2; }},
        {"compressor dialog", MixType::Fade, FadeOutput::Avi,
         [](const CancellingUi& ui, auto&, auto&, auto&) { return ui.inCompressorDialog; }},
        {"writing AVI", MixType::Fade, FadeOutput::Avi,
         [](auto&, auto&, const TempDir& dir, auto&) { return holdsFileStartingWith(dir.path(), "result.avi."); }},
        {"making GIF frames", MixType::Fade, FadeOutput::Gif,
         [](auto&, const FakeUi& ui, auto&, auto&) { return ui.progressValues.size() > 2; }},
        {"making the GIF", MixType::Fade, FadeOutput::Gif,
         [](const CancellingUi& ui, auto&, auto&, auto&) { return ui.step == "Writing GIF"; }},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        TempDir dir, temp;
        ScopedEnv env{"TEMP", temp.path().string()};
        FakeUi fake;
        CancellingUi ui(fake);
        MixJob job(ui, &runFadeSteps);
        ui.job = &job;
        ui.when = [&] { return stage.when(ui, fake, dir, temp); };
        MixRequest request;
        request.mixType = stage.type;
        request.fadeOutput = stage.output;
        request.image1Path = writePicture(dir, "one.bmp", 37, 23, 10);
        request.image2Path = writePicture(dir, "two.bmp", 37, 23, 80);
        request.outputFolder = dir.path().string();
        request.frameCountText = "6";
        const auto result = dir / ("result." + outputExtension(request));
        std::ofstream(result) << "earlier result";

        const MixOutcome outcome = job.run(request);
        EXPECT_TRUE(ui.fired);
        EXPECT_TRUE(outcome.cancelled);
        EXPECT_FALSE(outcome.wroteResult());
        EXPECT_TRUE(outcome.errors.empty());
        EXPECT_EQ(fake.texts(), std::vector<std::string>{"Cancelled."});
        EXPECT_EQ(contents(result), "earlier result");
        EXPECT_EQ(entriesIn(dir.path()), 3u);   // the pictures and the earlier result: no temporary
        EXPECT_EQ(entriesIn(temp.path()), 0u);  // no work folder
        EXPECT_FALSE(job.busy());
        ASSERT_FALSE(fake.busyPointer.empty());
        EXPECT_FALSE(fake.busyPointer.back());
        EXPECT_EQ(job.progressBar().value(), 0);
        EXPECT_EQ(job.progressBar().text(), "Progress Bar");

        // The next run is not cancelled by the last one's request.
        ui.when = nullptr;
        fake.boxes.clear();
        const MixOutcome again = job.run(request);
        EXPECT_TRUE(again.succeeded());
        EXPECT_EQ(fake.texts(), std::vector<std::string>{"Done."});
        EXPECT_NE(contents(result), "earlier result");
    }
}

TEST(JobCancel, WithoutARunningJobCancelDoesNothing)
{
    TempDir dir;
    FakeUi fake;
    MixJob job(fake);
    job.cancel();
    MixRequest request;
    request.image1Path = writePicture(dir, "one.bmp", 20, 10, 1);
    request.image2Path = writePicture(dir, "two.bmp", 20, 10, 2);
    request.outputFolder = dir.path().string();
    EXPECT_TRUE(job.run(request).succeeded());
    EXPECT_EQ(fake.texts(), std::vector<std::string>{"Done."});
}

}  // namespace
