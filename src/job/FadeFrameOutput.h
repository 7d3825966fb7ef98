// Where a Fade's frames go while they are rendered. The output is opened before the first
// frame (the rate and frame count read, the file made, the compressor asked), each rendered
// frame is handed over as it is ready (a writer thread writes it while the next one renders),
// and the writing step closes it. No frame files are written.
//
// The messages stay where the writing step has always given them: an error met while opening
// (a rate that is not a number, a result that cannot be made, a frame count that is not a
// number, hence no first frame) is kept and raised by close(), so it is reported at the
// writing step's label; a write error shows "There was an error writing to file" there.
#pragma once

#include "avi/AviWriter.h"
#include "avi/FramePipeline.h"
#include "avi/VideoFile.h"
#include "job/GifFrameSink.h"
#include "job/ResultFile.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

namespace vantorell {

class Bitmap;
struct JobRun;

class FadeFrameOutput {
public:
    FadeFrameOutput(JobRun& run, FrameLayout layout);
    ~FadeFrameOutput();

    // Opens the result AVI through a temporary beside it, the compressor asked.
    // Never throws: what goes wrong is told by close().
    void openAvi();

    // Hands the frames to the GIF encoder (job/GifFrameSink); a spill goes to `spillFile`.
    void openGif(GifOptions options, const std::filesystem::path& spillFile, bool helperThreads);
    // The GIF's frames, after close() answered Written.
    GifFrameSink& gif() { return *m_gif; }

    // Opens the result (through a temporary beside it) as MP4, WebM, WebP or APNG; no dialog.
    void openVideo(VideoFormat format, int quality);

    // True when rendered frames are wanted (the output is open and the compressor chosen).
    bool wantsFrames() const { return m_pipeline != nullptr || m_direct; }
    // Hands over frame `index` (0, 1, ...), the frame surface's picture. Raises the frame file's
    // "Invalid picture" for an empty picture. A frame that never arrives ends the output there.
    void deliver(const Bitmap& image, int index);

    // Writes what is queued and closes the file: Written, Cancelled (the dialog was cancelled)
    // or Failed (after the message). Raises the error kept from opening, or "File not found"
    // for a frame that never arrived (after the frames before it were written).
    AviWriteResult close();
    // Renames the temporary over the result (after close() answered Written).
    void commit();
    // Whether the result's writing failed for want of space (asked while its temporary is there).
    bool diskFull() const { return m_result && m_result->diskFull(); }

private:
    // Reads the frame count (hold frames included); false, the first frame then missing, when
    // it is not a number.
    bool countFrames();

    JobRun& m_run;
    FrameLayout m_layout;
    std::exception_ptr m_kept;                 // raised by close()
    std::optional<ResultFile> m_result;
    AviFrameFile m_avi;
    VideoFile m_video;
    std::unique_ptr<GifFrameSink> m_gif;
    FrameSink* m_sink = nullptr;               // m_avi, m_video or m_gif
    int m_error = 0;                           // FFmpeg error of opening or writing
    bool m_opened = false;                     // the stream exists
    bool m_cancelled = false;
    bool m_firstFrameMissing = false;          // the frame count could not be read
    int m_frames = 0;
    int m_delivered = 0;                       // frames handed over, in order
    bool m_gap = false;                        // a frame did not arrive
    std::unique_ptr<FramePipeline> m_pipeline;
    bool m_direct = false;                     // frames go to the GIF encoder without the pipeline
};

}  // namespace vantorell
