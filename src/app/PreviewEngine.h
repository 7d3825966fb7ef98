// The window's live preview, off the window's thread: what Start would write for the current
// controls, rendered by job/PreviewRender from pictures decoded once at reduced scale (a JPEG
// at the DCT scale that covers the 729 x 425 Blend canvas). One worker thread renders the
// newest request only: a request made while another renders supersedes it, and a superseded
// result is never shown. Results reach the window's thread through the poster it was given.
// Colours are shown as the result will look: the pictures brought into the job's working space,
// the mix (and each picture's thumbnail) converted from it to sRGB for display.
#pragma once

#include "job/MixRequest.h"
#include "platform/Bitmap.h"
#include "job/WindowThreadUi.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vantorell {

// Everything a preview depends on.
struct PreviewInputs {
    MixType mixType = MixType::Blend;
    std::string image1, image2;
    BlendDirection blendDirection = BlendDirection::Left;
    int blendStart = 0;
    BlendCanvas blendCanvas;  // Blend: the result's size and fit (shown reduced when larger than the pane)
    int steps = 10;           // Fade: the frame count typed (1 when the box holds no number)
    int frameCount = 10;      // Fade: every frame the job writes, holds and ping-pong included
    int frameIndex = 0;       // Fade: the frame shown, 0 .. frameCount - 1
    std::optional<MorphMeshPair> morphMeshes;   // Fade: the morph, as the request carries it
    MorphTiming morphTiming;
    FadeOutput fadeOutput = FadeOutput::Avi;
    GifOptions gif;   // the GIF's choices (the size estimate's too)
    ColourChoice colour = ColourChoice::Keep;   // the pictures' profiles, as the job uses them
    bool align = false;   // picture 2 aligned to picture 1 first (align/Align.h), as the job does
    bool operator==(const PreviewInputs&) const = default;

    // The preview of what `request` would write, showing Fade frame `frameIndex`.
    static PreviewInputs from(const MixRequest& request, int frameIndex);
};

struct PreviewResult {
    PreviewInputs inputs;
    Bitmap image;             // empty when there is nothing to show (a picture missing or unreadable)
    std::string message;      // why there is nothing, or empty
    int sourceWidth = 0, sourceHeight = 0;   // the first picture's own size (the Fade's frame size)
    // Small pictures of Image #1 and #2 for their boxes, and their own sizes (empty, 0: none).
    Bitmap thumbnail1, thumbnail2;
    int width1 = 0, height1 = 0, width2 = 0, height2 = 0;
    // Fade to AVI: the exact size of an uncompressed result.avi; Fade to GIF: the estimate of
    // result.gif when an estimator is set. Empty otherwise.
    std::optional<std::uint64_t> resultBytes;
};

class PreviewEngine {
public:
    // Estimates the bytes of result.gif from the reduced preview pictures and the inputs (the
    // GIF size estimator plugs in here; none: no estimate is shown).
    using GifSizeEstimator = std::function<std::optional<std::uint64_t>(const Bitmap& first, const Bitmap& second,
                                                                         const PreviewInputs& inputs,
                                                                         int fullWidth, int fullHeight)>;

    // `pump`, when given, runs the window's pending calls while the engine waits for its worker
    // to end (the worker may be waiting for the window's thread to decode a picture through Qt).
    explicit PreviewEngine(WindowThreadUi::Post post, std::function<void()> pump = {});
    ~PreviewEngine();
    PreviewEngine(const PreviewEngine&) = delete;
    PreviewEngine& operator=(const PreviewEngine&) = delete;

    // Window thread: render these inputs next; an equal request in flight is not repeated.
    void request(const PreviewInputs& inputs);
    // Window thread: the newest result, each one once (superseded ones never).
    std::function<void(const PreviewResult&)> onReady;
    void setGifSizeEstimator(GifSizeEstimator estimator);

    // Renders on the calling thread (tests, benchmarks): the same path the worker takes.
    PreviewResult renderNow(const PreviewInputs& inputs);

private:
    struct Renderer;
    void work();

    WindowThreadUi::Post m_post;
    std::function<void()> m_pump;
    std::atomic<bool> m_workerEnded{false};
    std::unique_ptr<Renderer> m_renderer;   // worker only (or renderNow's caller)
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<PreviewInputs> m_pending;
    PreviewInputs m_lastRequested;
    bool m_anyRequested = false;
    // Window thread: the engine while it lives (posted results that arrive later find none).
    std::shared_ptr<PreviewEngine*> m_self = std::make_shared<PreviewEngine*>(this);
    bool m_stop = false;
    std::thread m_worker;
};

}  // namespace vantorell
