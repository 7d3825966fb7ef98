#include "mix/FadeRenderer.h"

#include "mix/MorphWarp.h"

namespace vantorell {

void FadeRenderer::setTriangles(int side, TriangleList list)
{
    m_list[side] = std::move(list);
    m_plan.reset();
}

void FadeRenderer::setFrames(std::vector<FadeFrame> frames, PairLoader loader)
{
    m_frames = std::move(frames);
    m_loader = std::move(loader);
}

bool FadeRenderer::loadPairOf(int index)
{
    const int pair = frameAt(index).pair;
    if (pair == m_loadedPair)
        return true;
    m_plan.reset();   // it knows the old pictures' pixels
    if (!m_loader || !m_loader(pair, m_source[0], m_source[1]))
        return false;
    m_loadedPair = pair;
    return true;
}

void FadeRenderer::render(int index, WorkSurface& frame, const StageRunner& stages)
{
    const auto run = [&](Stage stage, const std::function<void()>& work) {
        if (stages)
            stages(stage, work);
        else
            work();
    };
    const MorphFrameTime time = frameAt(index).time;
    const TriangleList& list1 = m_list[0];
    const TriangleList& list2 = m_list[1];
    m_frameList.clear();
    m_direct = m_planned = false;
    // A morph frame (two different meshes), or a later frame of a geometry whose map the plan
    // knows, is rendered straight onto the frame surface, with the bytes the map, the capture,
    // the engine and the write-back would leave there; those stages then have nothing to do.
    run(Stage::Path, [&] {
        m_frameList = interpolateTriangles(list1, list2, time.shapeT);
        const Bitmap& image = frame.image();
        m_planned = list1 == list2 && m_plan.knowsMap(m_frameList, image.width(), image.height());
        m_direct = !image.empty() && (m_planned || list1 != list2);
    });
    run(Stage::Map, [&] {
        if (!m_direct)
            drawTriangleMap(frame, m_frameList);
    });
    run(Stage::Capture, [&] {
        if (!m_direct)
            transferPixels(frame, m_frameBuffer, PixelTransfer::Capture);
    });
    run(Stage::Render, [&] {
        if (m_planned)
            renderPlannedFrame(m_source[0], m_source[1], frame.drawing(), time.colourT, m_plan);
        else if (m_direct)
            renderWarpedFrame(m_source[0], list1, m_source[1], list2, frame.drawing(), m_frameList, time.colourT);
        else
            renderMorphFrame(m_source[0], list1, m_source[1], list2, m_frameBuffer, m_frameList, time.colourT,
                             &m_plan);
    });
    run(Stage::WriteBack, [&] {
        if (!m_direct)
            transferPixels(frame, m_frameBuffer, PixelTransfer::WriteBack);
    });
}

void FadeRenderer::finishFrame()
{
    if (!m_direct)   // a direct frame left the buffer released, its memory kept
        m_frameBuffer.release();
}

Bitmap FadeRenderer::render(int index)
{
    if (!loadPairOf(index))
        return {};
    // The job's frame surface: black, of the first picture's size.
    const int width = m_source[0].width(), height = m_source[0].height();
    if (m_ownFrame.drawableWidth() != width || m_ownFrame.drawableHeight() != height) {
        m_ownFrame.setPicture(Picture());
        m_ownFrame.setBackColor(0x000000);
        m_ownFrame.setOuterWidth(width);
        m_ownFrame.setOuterHeight(height);
    }
    render(index, m_ownFrame);
    Bitmap image = m_ownFrame.image();
    finishFrame();
    return image;
}

void FadeRenderer::trim()
{
    m_source[0].trim();
    m_source[1].trim();
    m_frameBuffer.trim();
    m_plan.reset();
}

}  // namespace vantorell
