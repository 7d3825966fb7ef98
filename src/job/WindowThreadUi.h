// The UI port a job talks to when it runs on a worker thread. Every call that shows something
// or needs an answer (boxes, dialogs, status messages, the busy pointer, the shell) runs on the
// window's thread: the job posts it there and, where it needs the answer, waits for it. A yield on the worker
// does nothing (the window's own loop runs freely meanwhile). Until a poster is set, and for
// calls made on the window's thread itself, every call goes straight to the target.
#pragma once

#include "job/ForwardingUi.h"

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <type_traits>
#include <utility>

namespace vantorell {

class WindowThreadUi final : public ForwardingUi {
public:
    // Runs a closure on the window's thread, later (a queued call in the window's event loop).
    using Post = std::function<void(std::function<void()>)>;

    using ForwardingUi::ForwardingUi;

    // Called on the window's thread: that thread is the window's from now on.
    void setPost(Post post)
    {
        m_post = std::move(post);
        m_windowThread = std::this_thread::get_id();
    }
    bool onWindowThread() const { return !m_post || std::this_thread::get_id() == m_windowThread; }

    MsgResult messageBox(std::string_view text, MsgButtons buttons, MsgIcon icon, std::string_view title) override
    {
        return onWindow([&] { return target().messageBox(text, buttons, icon, title); });
    }
    void statusMessage(std::string_view text, std::string_view title) override
    {
        if (onWindowThread())
            target().statusMessage(text, title);
        else   // in order, without waiting
            m_post([this, text = std::string(text), title = std::string(title)] { target().statusMessage(text, title); });
    }
    void yield() override
    {
        if (onWindowThread())
            target().yield();
    }
    void setBusyPointer(bool busy) override
    {
        if (onWindowThread())
            target().setBusyPointer(busy);
        else
            m_post([this, busy] { target().setBusyPointer(busy); });   // in order, without waiting
    }
    void progressChanged(const ProgressBar& bar) override
    {
        // The window mirrors the bar from its own snapshots; only a window-thread job passes it on.
        if (onWindowThread())
            target().progressChanged(bar);
    }
    std::vector<std::filesystem::path> openFiles(const OpenFileRequest& request) override
    {
        return onWindow([&] { return target().openFiles(request); });
    }
    std::optional<std::filesystem::path> browseFolder(std::string_view title, const std::filesystem::path& start) override
    {
        return onWindow([&] { return target().browseFolder(title, start); });
    }
    std::optional<CompressorChoice> chooseCompressor(const std::vector<CompressorOption>& offered) override
    {
        return onWindow([&] { return target().chooseCompressor(offered); });
    }
    bool shellStart(std::string_view where) override
    {
        return onWindow([&] { return target().shellStart(where); });
    }

private:
    // Runs `call` on the window's thread and answers its result; the worker waits meanwhile.
    // The arguments it refers to live on the waiting worker's stack until it answers.
    template <class Call>
    auto onWindow(Call&& call) -> std::invoke_result_t<Call&>
    {
        if (onWindowThread())
            return call();
        using Result = std::invoke_result_t<Call&>;
        auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<Call>(call));
        std::future<Result> answer = task->get_future();
        m_post([task] { (*task)(); });
        return answer.get();
    }

    Post m_post;
    std::thread::id m_windowThread;
};

}  // namespace vantorell
