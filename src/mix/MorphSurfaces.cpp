// The morph engine's routines that work on the window's surfaces: the mesh set-up with its
// preview drawing and the triangle map on the frame surface.
#include "mix/MorphEngine.h"

#include "platform/WorkSurface.h"

#include <cmath>
#include <cstdlib>

namespace vantorell {

namespace {

void plot(Bitmap& image, int x, int y, std::int32_t colour) { image.setPixel(x, y, colour); }

// Bresenham's line, both ends included.
void drawLine(Bitmap& image, MeshPoint from, MeshPoint to, std::int32_t colour)
{
    std::int64_t x = from.x, y = from.y;
    const std::int64_t dx = std::llabs(std::int64_t(to.x) - from.x), sx = from.x < to.x ? 1 : -1;
    const std::int64_t dy = -std::llabs(std::int64_t(to.y) - from.y), sy = from.y < to.y ? 1 : -1;
    std::int64_t err = dx + dy;
    for (;;) {
        if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
            plot(image, int(x), int(y), colour);
        if (x == to.x && y == to.y)
            break;
        const std::int64_t e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
}

// Midpoint circle outline.
void drawCircle(Bitmap& image, MeshPoint centre, int radius, std::int32_t colour)
{
    int x = radius, y = 0, err = 1 - radius;
    while (x >= y) {
        const int octants[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
        for (const auto& offset : octants)
            plot(image, centre.x + offset[0], centre.y + offset[1], colour);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

}  // namespace

void DrawMeshPreview(WorkSurface& surface, const MorphMesh& mesh)
{
    surface.clear();
    Bitmap& image = surface.drawing();
    if (image.empty())
        return;
    for (int row = 1; row <= mesh.rows + 1; ++row)
        for (int column = 1; column <= mesh.columns + 1; ++column)
            drawCircle(image, mesh.point(column, row), mesh.pointRadius, mesh.pointColor);
    for (int r = 1; r <= mesh.rows; ++r) {
        for (int c = 1; c <= mesh.columns; ++c) {
            const MeshPoint tl = mesh.point(c, r), tr = mesh.point(c + 1, r);
            const MeshPoint bl = mesh.point(c, r + 1), br = mesh.point(c + 1, r + 1);
            drawLine(image, tl, tr, mesh.lineColor);
            drawLine(image, tr, br, mesh.lineColor);
            drawLine(image, br, bl, mesh.lineColor);
            drawLine(image, bl, tl, mesh.lineColor);
            drawLine(image, tl, br, mesh.lineColor);
        }
    }
}

void SetupMorphMeshes(MorphMesh& startMesh, MorphMesh& endMesh, WorkSurface& startPreview, WorkSurface& endPreview)
{
    startMesh.lineColor = 16777215;
    startMesh.pointColor = 255;
    startMesh.columns = 5;
    startMesh.rows = 5;
    startMesh.pointRadius = 5;
    startMesh.width = std::int32_t(std::lrint(double(startPreview.drawableWidth())));
    startMesh.height = std::int32_t(std::lrint(double(startPreview.drawableHeight())));
    endMesh = startMesh;
    MakeRegularMesh(startMesh);
    MakeRegularMesh(endMesh);
    DrawMeshPreview(startPreview, startMesh);
    DrawMeshPreview(endPreview, endMesh);
}

void DrawTriangleMap(WorkSurface& surface, const TriangleList& list) { DrawTriangleMap(surface.drawing(), list); }

}  // namespace vantorell
