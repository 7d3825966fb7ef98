// Usage: bench_auto_mesh_pair FIRST SECOND [COLUMNS ROWS]
// Times Auto Points (autoMeshPair: the alignment, the flow and the mesh, as the window's button
// and --auto-mesh run it) five times on a regular mesh of COLUMNS x ROWS cells (5 x 5 unless
// told) and prints the median.
#include "align/AutoMesh.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantorell;

int main(int argc, char** argv)
{
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
