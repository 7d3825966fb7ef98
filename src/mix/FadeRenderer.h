// The Fade's frames, one at a time and in any order: the job writes every frame through it and
// the window's preview asks it for the frame it shows, so the two cannot differ. It holds the
// two meshes' triangle lists (laid over the frame), the pictures of the pair in use as pixel
// buffers, and the output's frames: which pair and which shape and colour t each one shows, so
// easing, hold frames, ping-pong and a sequence's steps are all in that list.
//
// A frame goes through the stages the job has always run (triangle list and path, map,
// capture, engine, write-back) and takes the fastest path that gives the same bytes: a later
// frame of identical meshes through the plan (RenderPlannedFrame), two different meshes
// through MorphWarp, straight onto the frame surface; every other frame through the full engine.
#pragma once

#include "mix/MorphEngine.h"
#include "mix/MorphTiming.h"
#include "mix/PixelBuffer.h"
#include "platform/WorkSurface.h"

#include <functional>
#include <vector>

namespace vantorell {

// One output frame: the pictures it fades between (pair and pair + 1 of a sequence, 0 for two
// pictures) and its time.
struct FadeFrame {
    int pair = 0;
    MorphFrameTime time;
    friend bool operator==(const FadeFrame&, const FadeFrame&) = default;
};

class FadeRenderer {
public:
    // One frame's stages, in the order they run.
    enum class Stage { Path, Map, Capture, Render, WriteBack };
    // Runs one stage; the job runs each at a step label of its own.
    using StageRunner = std::function<void(Stage, const std::function<void()>&)>;
    // Puts pictures `pair` and `pair` + 1 of a sequence into the two buffers; false when one
    // cannot be read.
    using PairLoader = std::function<bool(int pair, PixelBuffer& first, PixelBuffer& second)>;

    // Mesh `side` (0: the first picture's, 1: the second's) as triangles over the frame.
    void setTriangles(int side, TriangleList list);
    // The pictures of pair 0, captured by the caller (the fourth bytes clear).
    PixelBuffer& source(int side) { return m_source[side]; }
    // The output's frames; the loader is asked for any pair but 0.
    void setFrames(std::vector<FadeFrame> frames, PairLoader loader = {});

    int frameCount() const { return int(m_frames.size()); }
    const FadeFrame& frameAt(int index) const { return m_frames.at(std::size_t(index)); }

    // Frame `index`'s pictures in the buffers (a sequence's next pair through the loader);
    // false when the loader failed.
    bool loadPairOf(int index);
    // Renders frame `index` (its pair loaded) onto `frame`, a surface of the frame's size with a
    // black background that keeps what earlier frames left where no triangle reaches.
    void render(int index, WorkSurface& frame, const StageRunner& stages = {});
    // Once the frame was handed on: the frame buffer's memory is kept for the next capture.
    void finishFrame();

    // Frame `index` at the first picture's size, on a frame surface of the renderer's own (the
    // preview). Empty when its pair cannot be loaded.
    Bitmap render(int index);

    // Gives back the memory kept for further frames.
    void trim();

private:
    TriangleList m_list[2];
    PixelBuffer m_source[2];
    PixelBuffer m_frameBuffer;
    MorphFramePlan m_plan;
    std::vector<FadeFrame> m_frames;
    PairLoader m_loader;
    int m_loadedPair = 0;
    // The frame being rendered: its triangle list and the path it takes.
    TriangleList m_frameList;
    bool m_direct = false, m_planned = false;
    WorkSurface m_ownFrame;
};

}  // namespace vantorell
