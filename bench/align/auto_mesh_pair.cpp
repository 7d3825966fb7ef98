// Usage: bench_auto_mesh_pair FIRST SECOND [COLUMNS ROWS]
//        bench_auto_mesh_pair --edge-energy PICTURE...
// Times Auto Points (autoMeshPair: the alignment, the flow and the mesh, as the window's button
// and --auto-mesh run it) five times on a regular mesh of COLUMNS x ROWS cells (5 x 5 unless
// told) and prints the median. With --edge-energy: each picture's mean Sobel gradient magnitude
// of its grey copy (how sharp a frame is).
#include "align/AutoMesh.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantorell;

namespace {

double edgeEnergy(const Bitmap& bitmap)
{
    const int w = bitmap.width(), h = bitmap.height();
    std::vector<double> grey(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::int32_t p = bitmap.pixel(x, y);
            grey[std::size_t(y) * w + x] = 0.299 * (p & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * ((p >> 16) & 0xFF);
        }
    const auto at = [&](int x, int y) { return grey[std::size_t(y) * w + x]; };
    double sum = 0;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const double gx = at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                              2 * at(x - 1, y) - at(x - 1, y + 1);
            const double gy = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                              2 * at(x, y - 1) - at(x + 1, y - 1);
            sum += std::sqrt(gx * gx + gy * gy);
        }
    return sum / (double(w - 2) * (h - 2));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--edge-energy") {
        for (int i = 2; i < argc; ++i)
            std::printf("%.4f\n", edgeEnergy(loadPicture(argv[i]).bitmap()));
        return 0;
    }
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: bench_auto_mesh_pair FIRST SECOND [COLUMNS ROWS]\n");
        return 2;
    }
    const Picture first = loadPicture(argv[1]);
    const Picture second = loadPicture(argv[2]);
    const int columns = argc == 5 ? std::stoi(argv[3]) : kDefaultMeshCells;
    const int rows = argc == 5 ? std::stoi(argv[4]) : kDefaultMeshCells;
    const MorphMesh mesh1 = regularMesh(columns, rows, first.width(), first.height());
    std::vector<double> seconds;
    AutoMeshResult result;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        result = autoMeshPair(first, second, mesh1);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("auto points %d x %d, %d x %d mesh: median %.3f s (min %.3f, max %.3f)\n", first.width(),
                first.height(), columns, rows, seconds[2], seconds.front(), seconds.back());
    for (const std::string& message : result.messages)
        std::printf("%s\n", message.c_str());
    return result.pair ? 0 : 1;
}
