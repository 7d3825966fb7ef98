// What Start would write, rendered for the window's preview by the same engine code the job
// runs: the Blend canvas, the Overlay average and any one frame of a Fade, the last optionally
// reduced to 8 bits by the GIF output's palette and dither. Fed the same pictures as the job
// (full size), each renders exactly the pixels the job writes before they are encoded; fed
// pictures decoded at reduced scale, the same at that scale. Pure functions of their inputs,
// safe on any thread.
#pragma once

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
Picture LoadPreviewPicture(const std::filesystem::path& file, int coverWidth, int coverHeight);

// The picture shrunk (plain stretch) to fit within maxWidth x maxHeight when it is larger,
// keeping the size of the file it came from; a picture that fits is answered as it is.
Picture ReduceToFit(const Picture& picture, int maxWidth, int maxHeight);

// The second picture at the first one's scale: two pictures decoded at different reductions
// are brought to one scale (the file sizes' ratio), as the Overlay and the Fade need them.
Picture MatchScale(const Picture& first, const Picture& second);

// The 729 x 425 Blend canvas for the direction and the Blend Size start line, from Image #1
// and Image #2 as the job decodes them (LoadPicture with a 729 x 425 cover request).
Bitmap RenderBlendPreview(const Picture& image1, const Picture& image2, BlendDirection direction, int start);

// The Overlay average, at the first picture's size.
Bitmap RenderOverlayPreview(const Picture& image1, const Picture& image2);

// The Fade's renderer for the request's frames (`steps` being its frame count) between two
// pictures at the size they are given in: the job's regular meshes laid over the first, the
// request's meshes scaled to it as the job scales them to the frame, the timing's frames. Its
// render(index) is then frame `index` of all the job writes, at that scale. Raises RuntimeError
// when the request's meshes fold at this size. Not for a sequence: one pair of pictures only.
std::unique_ptr<FadeRenderer> MakeFadeRenderer(const MixRequest& request, int steps, const Picture& image1,
                                               const Picture& image2);

// A Fade frame as the GIF output shows it: reduced to 8 bits with the palette the GIF takes
// from its first frame and the request's dither, then shown again as 32-bit pixels.
class GifFramePreview {
public:
    GifFramePreview();
    ~GifFramePreview();
    // `firstFrame` makes the palette (optimal palettes depend on it); it is kept until the
    // first frame, the palette or the dither changes.
    Bitmap dither(const Bitmap& frame, const Bitmap& firstFrame, GifPalette palette, GifDither dither);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The exact size in bytes of the uncompressed AVI the Fade writes: `frames` frames of width x
// height (files below 1 GB; beyond, the OpenDML extension adds a little).
std::uint64_t UncompressedAviSize(int width, int height, int frames);

}  // namespace vantorell
