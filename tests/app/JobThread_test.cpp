// The window's job on a worker thread: boxes and the busy pointer reach the window's thread as
// posted calls, the job waits for a box's answer, and Cancel stops it there.
#include "app/WindowModelHarness.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vantorell::test {
namespace {

// The window thread's event queue, as the test sees it.
struct PostQueue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<std::function<void()>> calls;

    WindowThreadUi::Post poster()
    {
        return [this](std::function<void()> call) {
            std::lock_guard<std::mutex> guard(lock);
            calls.push_back(std::move(call));
            arrived.notify_all();
        };
    }
    std::function<void()> next()
    {
        std::unique_lock<std::mutex> guard(lock);
        if (!arrived.wait_for(guard, std::chrono::seconds(60), [this] { return !calls.empty(); }))
            return nullptr;
        auto call = std::move(calls.front());
        calls.pop_front();
        return call;
    }
};

struct WorkerHarness : WindowModelHarness {
    PostQueue queue;
    std::filesystem::path out = dir.path() / "out";
    int stateChanges = 0;

    WindowModel& open()
    {
        std::filesystem::create_directory_symlink(VANTORELL_SAMPLES_DIR, programFolder() / "Samples");
        std::filesystem::create_directories(out);
        WindowModel& f = load();
        f.setWindowThreadPost(queue.poster());
        f.onJobStateChanged = [this] { ++stateChanges; };
        f.outputFolderBox.setText(out.string());
        f.loadSamples();
        return f;
    }
    // Runs the window's queued calls until the job has ended; `each` sees every call first.
    void pumpUntilEnded(WindowModel& f, const std::function<void()>& each = nullptr)
    {
        while (f.jobRunning()) {
            auto call = queue.next();
            ASSERT_TRUE(call) << "the job stopped posting";
            if (each) each();
            call();
        }
    }
};

TEST(JobThread, TheJobWaitsOnItsWorkerForTheBoxTheWindowAnswers)
{
    WorkerHarness h;
    WindowModel& f = h.open();
    ASSERT_TRUE(f.startJob());
    EXPECT_TRUE(f.jobRunning());
    EXPECT_FALSE(f.startJob());   // one job at a time
    // The first call the window gets is the busy pointer; the job never needs the window's
    // thread to get on with its work.
    bool sawWaitingBox = false;
    h.pumpUntilEnded(f, [&] {
        if (f.busy() && h.ui.boxes.empty() && !h.ui.busyPointer.empty() && !h.ui.busyPointer.back())
            sawWaitingBox = true;   // the pointer is back and "Done." is queued: the job waits
    });
    EXPECT_TRUE(sawWaitingBox);
    EXPECT_FALSE(f.busy());
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Done."});
    EXPECT_TRUE(f.lastOutcome().succeeded());
    EXPECT_TRUE(std::filesystem::exists(h.out / "result.jpg"));
    EXPECT_EQ(h.stateChanges, 2);   // started, ended
    EXPECT_EQ(f.pointerShape(), WindowModel::PointerShape::Arrow);
}

TEST(JobThread, AnAnswerTheJobAsksForComesFromTheWindow)
{
    WorkerHarness h;
    WindowModel& f = h.open();
    f.click(f.fadeOption);
    f.frameCountBox.setText("2");
    ScopedEnv temp("TEMP", h.dir.path().string());
    h.ui.compressorAnswers.push_back(std::nullopt);   // the user cancels the compressor dialog
    ASSERT_TRUE(f.startJob());
    h.pumpUntilEnded(f);
    EXPECT_EQ(h.ui.compressorOffers.size(), 1u);
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Cancelled."});
    EXPECT_TRUE(f.lastOutcome().cancelled);
}

TEST(JobThread, CancelFromTheWindowStopsAFadeAndLeavesNothingBehind)
{
    WorkerHarness h;
    const auto temp = h.dir.path() / "temp";
    std::filesystem::create_directories(temp);
    ScopedEnv env("TEMP", temp.string());
    WindowModel& f = h.open();
    f.click(f.fadeOption);
    f.frameCountBox.setText("200");
    ASSERT_TRUE(f.startJob());
    h.pumpUntilEnded(f, [&] { f.cancelJob(); });   // pressed at the first thing the window sees
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Cancelled."});
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    EXPECT_TRUE(std::filesystem::is_empty(h.out));
    EXPECT_FALSE(h.ui.busyPointer.back());
}

}  // namespace
}  // namespace vantorell::test
