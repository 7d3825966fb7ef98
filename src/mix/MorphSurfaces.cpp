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
        const int pts[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
        for (const auto& p : pts)
            plot(image, centre.x + p[0], centre.y + p[1], colour);
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
    for (int r = 1; r <= mesh.rows + 1; ++r)
        for (int c = 1; c <= mesh.columns + 1; ++c)
            drawCircle(image, mesh.point(c, r), mesh.pointRadius, mesh.pointColor);
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

void SetupMorphMeshes(MorphMesh& mesh1, MorphMesh& mesh2, WorkSurface& picOrgStart, WorkSurface& picOrgEnd)
{
    mesh1.lineColor = 16777215;
    mesh1.pointColor = 255;
    mesh1.columns = 5;
    mesh1.rows = 5;
    mesh1.pointRadius = 5;
    mesh1.width = std::int32_t(std::lrint(double(picOrgStart.drawableWidth())));
    mesh1.height = std::int32_t(std::lrint(double(picOrgStart.drawableHeight())));
    mesh2 = mesh1;
    MakeRegularMesh(mesh1);
    MakeRegularMesh(mesh2);
    DrawMeshPreview(picOrgStart, mesh1);
    DrawMeshPreview(picOrgEnd, mesh2);
}

void DrawTriangleMap(WorkSurface& surface, const TriangleList& list) { DrawTriangleMap(surface.drawing(), list); }

}  // namespace vantorell
