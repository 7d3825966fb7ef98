#include "app/PreviewEngine.h"

#include "job/FadeMorph.h"
#include "job/MixJob.h"
#include "job/PreviewRender.h"
#include "platform/Conversions.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

namespace vantorell {

namespace {

// What the Fade's frames depend on, as a request.
MixRequest fadeRequestOf(const PreviewInputs& inputs)
{
    MixRequest request;
    request.mixType = MixType::Fade;
    request.morphMeshes = inputs.morphMeshes;
    request.morphTiming = inputs.morphTiming;
    return request;
}

}  // namespace

PreviewInputs PreviewInputs::from(const MixRequest& request, int frameIndex)
{
    PreviewInputs inputs;
    inputs.mixType = request.mixType;
    inputs.image1 = request.image1Path;
    inputs.image2 = request.image2Path;
    inputs.blendDirection = request.blendDirection;
    inputs.blendStart = request.blendStart;
    inputs.blendCanvas = request.blendCanvas;
    double frames = 0;
    if (parseNumber(request.frameCountText, frames) == NumberParse::Ok && frames >= 1 && frames <= 32767)
        inputs.steps = int(std::nearbyint(frames));
    else
        inputs.steps = 1;
    inputs.morphMeshes = request.morphMeshes;
    inputs.morphTiming = request.morphTiming;
    inputs.frameCount = int(std::clamp<long long>(fadeFrameTotal(fadeRequestOf(inputs), inputs.steps), 1, kMaxFadeFrames));
    inputs.frameIndex = std::clamp(frameIndex, 0, inputs.frameCount - 1);
    inputs.fadeOutput = request.fadeOutput;
    inputs.gif = request.gif;
    inputs.gif.maxSize.reset();   // the estimate is of the choices themselves
    inputs.colour = request.colour;
    inputs.align = request.align;
    return inputs;
}

// The Overlay, the Fade and a Blend canvas are previewed at most this large (the pane's size on
// a big screen), so that a fade frame with its GIF dither, or a 8192 x 8192 Blend, stays a few
// milliseconds of work. The default Blend canvas fits: it is previewed whole.
constexpr int kPaneWidth = 729, kPaneHeight = 547;

// The worker's caches: each picture decoded once per path, the Fade's meshes and buffers once
// per pair, the GIF palette once per first frame.
struct PreviewEngine::Renderer {
    std::map<std::string, Picture> pictures;
    std::map<std::string, Bitmap> thumbnails;

    static constexpr int kThumbWidth = 48, kThumbHeight = 36;
    const Bitmap& thumbnail(const std::string& file, const Picture& picture, ColourChoice colour)
    {
        const bool raw = colour == ColourChoice::Ignore;
        const std::string key = raw ? file + '\n' : file;   // no path holds a line break
        auto found = thumbnails.find(key);
        if (found == thumbnails.end()) {
            if (thumbnails.size() > 8)
                thumbnails.clear();
            Picture small = reduceToFit(picture, kThumbWidth, kThumbHeight);
            if (!raw)
                small = conversionToSrgb(picture.colourProfile()).converted(small);
            found = thumbnails.emplace(key, small.bitmap()).first;
        }
        return found->second;
    }

    // The pair in the job's working space, kept while the pictures and the choice stay.
    struct ColouredPair {
        Picture source1, source2;
        ColourChoice colour = ColourChoice::Keep;
        bool jpegResult = false;
        PreviewColours colours;
    };
    std::optional<ColouredPair> coloured;

    const PreviewColours& colours(const Picture& first, const Picture& second, ColourChoice colour, bool jpegResult)
    {
        if (!coloured || !coloured->source1.bitmap().sharesPixelsWith(first.bitmap()) ||
            !coloured->source2.bitmap().sharesPixelsWith(second.bitmap()) || coloured->colour != colour ||
            coloured->jpegResult != jpegResult)
            coloured = ColouredPair{first, second, colour, jpegResult,
                                    previewColours(first, second, colour, jpegResult)};
        return coloured->colours;
    }

    // Picture 2 aligned to picture 1, once per pair of files (an empty picture: it cannot be).
    std::map<std::pair<std::string, std::string>, AlignedSecond> alignedPairs;
    const AlignedSecond& aligned(const PreviewInputs& in, const Picture& first, const Picture& second)
    {
        const std::pair key{in.image1, in.image2};
        auto found = alignedPairs.find(key);
        if (found == alignedPairs.end()) {
            if (alignedPairs.size() > 4)
                alignedPairs.clear();
            found = alignedPairs.emplace(key, alignSecondPicture(first, second)).first;
        }
        return found->second;
    }

    PreviewInputs fadeMade;   // the inputs the renderer was made for
    std::unique_ptr<FadeRenderer> fade;
    GifFramePreview gif;
    GifSizeEstimator estimateGif;

    const Picture& picture(const std::string& file)
    {
        auto found = pictures.find(file);
        if (found == pictures.end()) {
            if (pictures.size() > 8)
                pictures.clear();   // a few pictures at preview scale are kept, not every one ever chosen
            found = pictures.emplace(file, loadPreviewPicture(file, kBlendCanvasWidth, kBlendCanvasHeight)).first;
        }
        return found->second;
    }

    PreviewResult render(const PreviewInputs& in)
    {
        PreviewResult result;
        result.inputs = in;
        Picture first, second;
        if (in.image1.empty())
            result.message = "Choose Image #1 to see a preview.";
        else try {
            first = picture(in.image1);
            result.thumbnail1 = thumbnail(in.image1, first, in.colour);
            result.width1 = first.sourceWidth();
            result.height1 = first.sourceHeight();
        } catch (const RuntimeError& e) {
            result.message = inputFailure("Image #1", in.image1, e.inputProblem(), e.description());
        }
        if (in.image2.empty()) {
            if (result.message.empty())
                result.message = "Choose Image #2 to see a preview.";
        } else try {
            second = picture(in.image2);
            result.thumbnail2 = thumbnail(in.image2, second, in.colour);
            result.width2 = second.sourceWidth();
            result.height2 = second.sourceHeight();
        } catch (const RuntimeError& e) {
            if (result.message.empty())
                result.message = inputFailure("Image #2", in.image2, e.inputProblem(), e.description());
        }
        if (!result.message.empty())
            return result;
        result.sourceWidth = first.sourceWidth();
        result.sourceHeight = first.sourceHeight();
        if (in.align) {
            const AlignedSecond& alignedSecond = aligned(in, first, second);
            if (alignedSecond.picture.empty()) {
                result.message = alignedSecond.message;
                return result;
            }
            second = alignedSecond.picture;
        }
        try {
            const PreviewColours& mixed = colours(first, second, in.colour, in.mixType != MixType::Fade);
            switch (in.mixType) {
            case MixType::Blend:
                result.image = renderBlendPreview(mixed.first, mixed.second, in.blendDirection, in.blendStart,
                                                  in.blendCanvas, kPaneWidth, kPaneHeight);
                break;
            case MixType::Overlay: {
                const Picture reduced = reduceToFit(mixed.first, kPaneWidth, kPaneHeight);
                result.image = renderOverlayPreview(reduced, matchScale(reduced, mixed.second));
                break;
            }
            case MixType::Fade:
                renderFade(mixed.first, mixed.second, in, result);
                break;
            }
            if (mixed.toDisplay && !result.image.empty())
                mixed.toDisplay.convertRows(result.image.mutableBits(), result.image.stride(), result.image.width(),
                                            result.image.height());
        } catch (const RuntimeError& e) {
            result.image = Bitmap();
            result.message = e.description();
        } catch (const std::bad_alloc&) {
            result.image = Bitmap();
            result.message = "Out of memory";
        }
        return result;
    }

    // Whether the Fade's renderer made for `made` renders the frames of `in` too.
    static bool sameFade(const PreviewInputs& made, const PreviewInputs& in)
    {
        return made.image1 == in.image1 && made.image2 == in.image2 && made.steps == in.steps &&
               made.morphMeshes == in.morphMeshes && made.morphTiming == in.morphTiming && made.colour == in.colour &&
               made.align == in.align;
    }

    void renderFade(const Picture& first, const Picture& second, const PreviewInputs& in, PreviewResult& result)
    {
        if (!fade || !sameFade(fadeMade, in)) {
            fade.reset();
            const Picture reduced = reduceToFit(first, kPaneWidth, kPaneHeight);
            fade = makeFadeRenderer(fadeRequestOf(in), in.steps, reduced, matchScale(reduced, second));
            fadeMade = in;
            gif.forgetFrames();
        }
        const int index = std::clamp(in.frameIndex, 0, fade->frameCount() - 1);
        if (in.fadeOutput == FadeOutput::Gif) {
            FadePreviewFrames frames(*fade);
            result.image = gif.shown(frames, index, in.gif);
            if (estimateGif)
                result.resultBytes = estimateGif(first.bitmap(), second.bitmap(), in, first.sourceWidth(),
                                                 first.sourceHeight());
        } else {
            result.image = fade->render(index);
            result.resultBytes = uncompressedAviSize(first.sourceWidth(), first.sourceHeight(), fade->frameCount());
        }
    }
};

PreviewEngine::PreviewEngine(WindowThreadUi::Post post, std::function<void()> pump)
    : m_post(std::move(post)), m_pump(std::move(pump)), m_renderer(std::make_unique<Renderer>())
{
    if (m_post)
        m_worker = std::thread([this] {
            work();
            m_workerEnded = true;
        });
}

PreviewEngine::~PreviewEngine()
{
    *m_self = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_pump)
        while (m_worker.joinable() && !m_workerEnded) {
            m_pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    if (m_worker.joinable())
        m_worker.join();
}

void PreviewEngine::setGifSizeEstimator(GifSizeEstimator estimator)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_renderer->estimateGif = std::move(estimator);
}

PreviewResult PreviewEngine::renderNow(const PreviewInputs& inputs) { return m_renderer->render(inputs); }

void PreviewEngine::request(const PreviewInputs& inputs)
{
    if (m_anyRequested && inputs == m_lastRequested)
        return;
    m_anyRequested = true;
    m_lastRequested = inputs;
    if (!m_post) {
        const PreviewResult result = renderNow(inputs);
        if (onReady) onReady(result);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending = inputs;
    }
    m_wake.notify_all();
}

void PreviewEngine::work()
{
    for (;;) {
        PreviewInputs inputs;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            inputs = std::move(*m_pending);
            m_pending.reset();
        }
        PreviewResult result = m_renderer->render(inputs);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_pending || m_stop)
                continue;   // superseded while it rendered: the newer one goes next
        }
        // Shown only when no newer request was made meanwhile (checked on the window's thread).
        m_post([self = m_self, result = std::move(result)] {
            PreviewEngine* engine = *self;
            if (engine && result.inputs == engine->m_lastRequested && engine->onReady)
                engine->onReady(result);
        });
    }
}

}  // namespace vantorell
