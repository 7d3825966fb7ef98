// What Start would write, rendered for the window's preview by the same engine code the job
// runs: the Blend canvas, the Overlay average and any one frame of a Fade, the last optionally
// reduced to 8 bits by the GIF output's palette and dither. Fed the same pictures as the job
// (full size), each renders exactly the pixels the job writes before they are encoded; fed
// pictures decoded at reduced scale, the same at that scale. Pure functions of their inputs,
// safe on any thread.
#pragma once

#include "gif/GifEncoder.h"
#include "job/MixRequest.h"
#include "mix/FadeRenderer.h"
#include "platform/Bitmap.h"
#include "platform/Picture.h"

#include <filesystem>
#include <memory>

namespace vantorell {

// A picture as the preview decodes it: a JPEG at the largest DCT reduction (1/2, 1/4, 1/8) that
// still covers coverWidth x coverHeight, anything else at full size. Raises RuntimeError like
// LoadPicture.
Picture loadPreviewPicture(const std::filesystem::path& file, int coverWidth, int coverHeight);

// The picture shrunk (plain stretch) to fit within maxWidth x maxHeight when it is larger,
// keeping the size of the file it came from; a picture that fits is answered as it is.
Picture reduceToFit(const Picture& picture, int maxWidth, int maxHeight);

// The second picture at the first one's scale: two pictures decoded at different reductions
// are brought to one scale (the file sizes' ratio), as the Overlay and the Fade need them.
Picture matchScale(const Picture& first, const Picture& second);

// The two pictures of a preview in the working space the job would mix them in (its
// planWorkingSpace for a JPEG result, jpegResult, or an sRGB one), and the conversion that shows
// the mix in sRGB: the display's space, since Qt 6.4 tells us no screen's profile. For ignore,
// or pictures without profiles, the pictures as they are and no conversion.
struct PreviewColours {
    Picture first, second;
    ColourConversion toDisplay;   // empty when the working space is sRGB
};
PreviewColours previewColours(const Picture& first, const Picture& second, ColourChoice choice, bool jpegResult);

// The Blend canvas (729 x 425 unless the canvas says otherwise, laid with its fit) for the
// direction and the Blend Size start line, from Image #1 and Image #2 as the job decodes them
// (LoadPicture with a request to cover the canvas). A canvas larger than maxWidth x maxHeight
// (when given) is rendered reduced to fit in it, its start line and seam scaled with it.
Bitmap renderBlendPreview(const Picture& image1, const Picture& image2, BlendDirection direction, int start,
                          const BlendCanvas& canvas = {}, int maxWidth = 0, int maxHeight = 0);

// The Overlay average, at the first picture's size.
Bitmap renderOverlayPreview(const Picture& image1, const Picture& image2);

// The Fade's renderer for the request's frames (`steps` being its frame count) between two
// pictures at the size they are given in: the job's regular meshes laid over the first, the
// request's meshes scaled to it as the job scales them to the frame, the timing's frames. Its
// render(index) is then frame `index` of all the job writes, at that scale. Raises RuntimeError
// when the request's meshes fold at this size. Not for a sequence: one pair of pictures only.
std::unique_ptr<FadeRenderer> makeFadeRenderer(const MixRequest& request, int steps, const Picture& image1,
                                               const Picture& image2);

// The frames of a Fade's renderer, for the GIF encoder (a global palette's sample).
class FadePreviewFrames final : public GifFrameProvider {
public:
    explicit FadePreviewFrames(FadeRenderer& fade) : m_fade(fade) {}
    int frameCount() const override { return m_fade.frameCount(); }
    int width() const override { return m_fade.source(0).width(); }
    int height() const override { return m_fade.source(0).height(); }
    bool frame(int index, Dib& surface) override;
    bool repeatsPrevious(int index) override
    {
        return index > 0 && index < frameCount() && m_fade.frameAt(index) == m_fade.frameAt(index - 1);
    }

private:
    FadeRenderer& m_fade;
};

// A Fade frame as result.gif shows it: reduced by the GIF encoder itself with the palette the
// GIF uses (a global palette from the same sample of frames, the optimal one from frame 0). Fed
// the frames at full size, each is the frame a decoder shows (lossy LZW aside). The palette is
// kept while the choices and the frames' count and size stay; forgetFrames() drops it when the
// frames themselves change.
class GifFramePreview {
public:
    GifFramePreview();
    ~GifFramePreview();
    Bitmap shown(GifFrameProvider& frames, int index, const GifOptions& options);
    void forgetFrames();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The exact size in bytes of the uncompressed AVI the Fade writes: `frames` frames of width x
// height (files below 1 GB; beyond, the OpenDML extension adds a little).
std::uint64_t uncompressedAviSize(int width, int height, int frames);

}  // namespace vantorell
