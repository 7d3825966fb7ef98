// The Fade's frames on their way into result.gif. With a palette known before the last frame
// (halftone, first-frame optimal, per frame) each frame comes from the frame surface on the
// job's thread (addImage) and is reduced to palette indices at once; the encoder codes it on
// threads of its own. A global palette (made from a sample spread over all frames) and a size
// budget (searched by encoding again and again) need the frames more than once: they come
// packed through the writer thread (writeFrame) and are kept, the first kGifFramesInMemory
// bytes in memory and the rest in one raw file in the job's work folder, and encoded when the
// last one is in. Either way the GIF's bytes come from the one encoder (gif/GifEncoder), on
// the job's thread.
#pragma once

#include "avi/FrameSink.h"
#include "gif/GifEncoder.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <vector>

namespace vantorell {

class Bitmap;
class Dib;

// Frames kept in memory for a global palette or a size budget; beyond it they spill to disk.
inline constexpr std::uint64_t kGifFramesInMemory = 512ull << 20;

class GifFrameSink final : public FrameSink {
public:
    // `frames` frames of `layout` are expected, shown for `options.delay`; a spill goes to
    // `spillFile` (made new when first needed).
    GifFrameSink(const GifOptions& options, FrameLayout layout, std::filesystem::path spillFile);
    ~GifFrameSink() override;

    // The bytes the spill file takes for `frames` frames of `layout` with `options` (0 when the
    // frames are reduced as they come or all fit in memory).
    static std::uint64_t spillBytes(const GifOptions& options, FrameLayout layout, std::int64_t frames);

    void setHelperThreads(bool on) { m_helperThreads = on; }

    // The writer thread, for kept frames (a global palette, a size budget). A failure is kept
    // for encode(), not answered here: only a failed spill write is an error of writing.
    int writeFrame(std::span<const std::uint8_t> frame, std::int64_t index) override;
    int finish() override;

    // The job's thread, for frames the encoder reduces at once: frame after frame from the
    // frame surface, without packing. Like writeFrame, a failure is kept for encode().
    void addImage(const Bitmap& image);
    // Whether the frames are kept (a global palette or a size budget) rather than reduced at once.
    bool keepsFrames() const;

    int frames() const { return m_frames; }
    // The job's thread, after finish(): the GIF's bytes (replaced) with `progress` per frame
    // stored. Raises what failed while the frames came in (no memory).
    GifEncodeStatus encode(std::vector<std::uint8_t>& out, const StepProgress& progress);
    // The same under a byte budget (options.maxSize), through fitGifToSize.
    GifFitResult fit(std::int64_t maxBytes, const StepProgress& progress);

private:
    class StoredFrames;

    GifOptions m_options;
    FrameLayout m_layout;
    std::unique_ptr<GifEncoder> m_encoder;      // frames reduced as they come
    std::unique_ptr<StoredFrames> m_stored;     // frames kept for the encoder
    std::unique_ptr<Dib> m_surface;             // the frame being reduced, as 32-bit pixels
    std::exception_ptr m_failure;               // the encoder's error while frames came in
    GifEncodeStatus m_status = GifEncodeStatus::Done;
    int m_frames = 0;
    bool m_helperThreads = true;
};

}  // namespace vantorell
