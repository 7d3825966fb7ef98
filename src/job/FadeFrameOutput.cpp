#include "job/FadeFrameOutput.h"

#include "avi/AviWriter.h"
#include "job/FadeMorph.h"
#include "job/MixJob.h"
#include "platform/Bitmap.h"
#include "platform/Controls.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace vantorell {

namespace {

// Rows [first, end) of the frame surface's 32-bit picture as top-down BGR24 rows padded with
// zeros; a picture of another size gives what it covers, the rest black.
void packRows(const Bitmap& image, const FrameLayout& layout, std::uint8_t* out, int first, int end)
{
    static_assert(std::endian::native == std::endian::little);
    const std::size_t stride = layout.stride();
    const int rows = std::min(layout.height, image.height());
    const int columns = std::min(layout.width, image.width());
    for (int y = first; y < end; ++y) {
        std::uint8_t* to = out + std::size_t(y) * stride;
        int x = 0;
        if (y < rows) {
            const std::uint8_t* from = image.row(y);
            // Four pixels (16 bytes) become three little-endian words (12 bytes).
            for (; x + 4 <= columns; x += 4) {
                std::uint32_t p[4];
                std::memcpy(p, from + 4 * x, 16);
                const std::uint32_t words[3] = {(p[0] & 0xFFFFFFu) | p[1] << 24, (p[1] >> 8 & 0xFFFFu) | p[2] << 16,
                                                (p[2] >> 16 & 0xFFu) | p[3] << 8};
                std::memcpy(to + 3 * x, words, 12);
            }
            for (; x < columns; ++x) {
                to[3 * x] = from[4 * x];
                to[3 * x + 1] = from[4 * x + 1];
                to[3 * x + 2] = from[4 * x + 2];
            }
        }
        std::memset(to + 3 * std::size_t(x), 0, stride - 3 * std::size_t(x));
    }
}

// The whole frame; a big one in two halves on two threads (the copy is bound by memory, which
// one core alone does not saturate here).
void packFrame(const Bitmap& image, const FrameLayout& layout, std::uint8_t* out)
{
    const int height = layout.height;
    if (std::size_t(height) * layout.stride() < (std::size_t(8) << 20) || std::thread::hardware_concurrency() < 2) {
        packRows(image, layout, out, 0, height);
        return;
    }
    const int half = height / 2;
    std::thread second;
    try {
        second = std::thread(packRows, std::cref(image), std::cref(layout), out, half, height);
    } catch (const std::system_error&) {
        packRows(image, layout, out, half, height);   // no thread to be had: both halves here
    }
    packRows(image, layout, out, 0, half);
    if (second.joinable())
        second.join();
}

}  // namespace

FadeFrameOutput::FadeFrameOutput(JobRun& run, FrameLayout layout) : m_run(run), m_layout(layout) {}

FadeFrameOutput::~FadeFrameOutput() { m_pipeline.reset(); }

void FadeFrameOutput::openAvi()
{
    try {
        const int framesPerSecond = m_run.framesPerSecond();
        const int rate = aviStreamRate(framesPerSecond);
        m_result.emplace(m_run.outcome.outputPath);
        m_sink = &m_avi;
        m_error = m_avi.open(m_result->temporaryPath(), m_layout, rate);
        if (m_error != 0 || !countFrames())
            return;
        UiPort& ui = m_run.ui;
        ui.setBusyPointer(false);
        const std::optional<CompressorChoice> choice = ui.chooseCompressor(aviCompressors(framesPerSecond));
        ui.setBusyPointer(true);
        if (!choice) {
            m_cancelled = true;
            m_avi.writeEmpty();   // an AVI without frames, and no message
            return;
        }
        m_error = m_avi.start(*choice);
        if (m_error == 0)
            m_pipeline = std::make_unique<FramePipeline>(m_avi, m_layout);
    } catch (...) {
        m_kept = std::current_exception();
    }
}

void FadeFrameOutput::openGif(GifOptions options, const std::filesystem::path& spillFile, bool helperThreads)
{
    try {
        const int rate = aviStreamRate(m_run.framesPerSecond());
        if (!countFrames())
            return;
        // Each frame is shown for the whole fade's time at this rate, in milliseconds, divided
        // among the frames and rounded to hundredths: the delay the GIF has always had.
        options.delay = aviFrameDelay(0, m_frames, 1, std::uint32_t(rate));
        m_gif = std::make_unique<GifFrameSink>(options, m_layout, spillFile);
        m_gif->setHelperThreads(helperThreads);
        m_sink = m_gif.get();
        // Frames the encoder reduces at once go to it straight from the frame surface (its
        // own thread codes them); frames it keeps go through the writer thread as packed rows.
        if (m_gif->keepsFrames())
            m_pipeline = std::make_unique<FramePipeline>(*m_gif, m_layout);
        else
            m_direct = true;
    } catch (...) {
        m_kept = std::current_exception();
    }
}

bool FadeFrameOutput::countFrames()
{
    try {
        m_frames = int(fadeFrameTotal(m_run.request, m_run.frameCount()));   // hold frames included
    } catch (const RuntimeError&) {
        m_firstFrameMissing = true;   // no frame is rendered, so the first is missing
        return false;
    }
    m_opened = true;
    return true;
}

void FadeFrameOutput::openVideo(VideoFormat format, int quality)
{
    try {
        const int rate = aviStreamRate(m_run.framesPerSecond());
        m_result.emplace(m_run.outcome.outputPath);
        m_sink = &m_video;
        m_error = m_video.open(m_result->temporaryPath(), format, m_layout, rate, quality);
        if (m_error != 0 || !countFrames())
            return;
        m_pipeline = std::make_unique<FramePipeline>(m_video, m_layout);
    } catch (...) {
        m_kept = std::current_exception();
    }
}

void FadeFrameOutput::deliver(const Bitmap& image, int index)
{
    if (!wantsFrames() || m_gap)
        return;
    if (index != m_delivered) {
        m_gap = true;
        return;
    }
    if (image.empty())
        throw RuntimeError(errnum::InvalidPicture, "Invalid picture");
    if (m_direct) {
        m_gif->addImage(image);
        ++m_delivered;
        return;
    }
    if (m_pipeline->error() != 0) {
        ++m_delivered;   // the writing has failed: the frame would not be written
        return;
    }
    std::vector<std::uint8_t> frame = m_pipeline->take();
    packFrame(image, m_layout, frame.data());
    m_pipeline->submit(std::move(frame));
    ++m_delivered;
}

AviWriteResult FadeFrameOutput::close()
{
    if (m_kept)
        std::rethrow_exception(std::exchange(m_kept, nullptr));
    if (m_firstFrameMissing)
        throw RuntimeError(errnum::FileNotFound, "File not found");
    const auto show = [&] {
        m_run.ui.messageBox("There was an error writing to file", MsgButtons::Ok, MsgIcon::None,
                            m_run.job.applicationTitle());
    };
    if (m_error != 0 || !m_opened) {
        m_pipeline.reset();
        show();
        return AviWriteResult::Failed;
    }
    if (m_cancelled) {
        m_sink->finish();   // the file without frames is not kept: its closing does not matter
        return AviWriteResult::Cancelled;
    }
    ProgressBar& progress = m_run.job.progressBar();
    progress.setMax(std::max(1, m_frames) - 1);
    progress.setValue(0);
    if (m_pipeline) {
        m_error = m_pipeline->drain();
        m_pipeline.reset();
    }
    if (m_error == 0 && m_delivered < m_frames)
        throw RuntimeError(errnum::FileNotFound, "File not found");   // the file closes with the frames before it
    progress.setValue(m_frames - 1);
    const int closing = m_sink->finish();
    if (m_error == 0)
        m_error = closing;
    if (m_error != 0) {
        show();
        return AviWriteResult::Failed;
    }
    return AviWriteResult::Written;
}

void FadeFrameOutput::commit()
{
    if (m_result)
        m_result->commit();
}

}  // namespace vantorell
