// The fast renderer of a true morph's frames (two different meshes). Each triangle of the
// frame's list maps affinely onto its triangle in each picture, so instead of forming
// barycentric weights pixel by pixel from a triangle map, every triangle is scanned once with
// exact integer edge tests and its two affine maps evaluated in double precision.
//
// It keeps the engine's rules (RenderMorphFrame): a pixel belongs to the last triangle in list
// order whose closed area holds it, triangles of zero area paint nothing, sampling positions
// are rounded to the nearest pixel (ties to even) and clamped to the frame, a position beyond
// a picture reads white, and the colours are cross-faded with the same single-precision
// formula. Positions come from exact weights instead of the engine's single-precision area
// ratios, so frames agree with the engine within a level per channel (tests check both against
// a plain backward mapping); pixels no triangle holds are left as they are. The Fade job uses
// it whenever its two lists differ; identical lists stay with RenderMorphFrame and its plan.
#pragma once

#include "mix/MorphEngine.h"

namespace vantorell {

// Renders into bufferOut (its size is the frame's); raises SubscriptOutOfRange for a released
// or empty bufferOut or lists shorter than listOut.
void renderWarpedFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                       const TriangleList& listB, PixelBuffer& bufferOut, const TriangleList& listOut, float t);
// Renders straight onto a surface's drawn image: exactly the bytes of drawing listOut's triangle
// map on it, capturing it, rendering into the capture and writing that back (every fourth byte
// 0, pixels no triangle holds keep their colour), without the map, the copy or the write-back.
// Raises SubscriptOutOfRange for an empty image or lists shorter than listOut.
void renderWarpedFrame(const PixelBuffer& bufferA, const TriangleList& listA, const PixelBuffer& bufferB,
                       const TriangleList& listB, Bitmap& out, const TriangleList& listOut, float t);

}  // namespace vantorell
