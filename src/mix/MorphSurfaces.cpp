// The morph engine's routines that work on the window's surfaces: the mesh set-up from a
// picture surface's size and the triangle map on the frame surface.
#include "mix/MorphEngine.h"

#include "platform/WorkSurface.h"

#include <cmath>

namespace vantorell {

void setupMorphMeshes(MorphMesh& startMesh, MorphMesh& endMesh, WorkSurface& startPreview, WorkSurface& endPreview)
{
    startMesh.lineColor = 16777215;
    startMesh.pointColor = 255;
    startMesh.columns = 5;
    startMesh.rows = 5;
    startMesh.pointRadius = 5;
    startMesh.width = std::int32_t(std::lrint(double(startPreview.drawableWidth())));
    startMesh.height = std::int32_t(std::lrint(double(startPreview.drawableHeight())));
    endMesh = startMesh;
    makeRegularMesh(startMesh);
    makeRegularMesh(endMesh);
}

void drawTriangleMap(WorkSurface& surface, const TriangleList& list) { drawTriangleMap(surface.drawing(), list); }

}  // namespace vantorell
