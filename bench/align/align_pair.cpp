// Usage: bench_align_pair [--features-only] FIRST SECOND [SCALE DEGREES CX,CY NEWX,NEWY]
// Times alignPictures (with the face search, or features only) + mapOntoFirst five times
// (median), prints the transform found and, given
// the similarity picture 2 was made with (ImageMagick's -distort SRT arguments), the RMS
// distance of the four corners of picture 1's frame mapped by the found and the true transform.
#include "align/Align.h"
#include "align/FaceAlign.h"
#include "platform/PictureLoader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace vantorell;

namespace {

struct Point {
    double x, y;
};

Point mapThrough(const std::array<double, 9>& m, Point p)
{
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

// -distort SRT "scale angle cx,cy nx,ny": picture 1's (cx, cy) lands on (nx, ny), turned and scaled about it.
Point srt(Point p, double scale, double degrees, Point centre, Point moved)
{
    const double a = degrees * M_PI / 180, c = std::cos(a) * scale, s = std::sin(a) * scale;
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    return {moved.x + c * dx - s * dy, moved.y + s * dx + c * dy};
}

}  // namespace

int main(int argc, char** argv)
{
    const bool withFaces = !(argc > 1 && std::string(argv[1]) == "--features-only");
    if (!withFaces) {
        --argc;
        ++argv;
    }
    if (argc != 3 && argc != 7) {
        std::fprintf(stderr, "usage: bench_align_pair [--features-only] FIRST SECOND [SCALE DEGREES CX,CY NEWX,NEWY]\n");
        return 2;
    }
    const Picture first = loadPicture(argv[1]);
    const Picture second = loadPicture(argv[2]);
    std::vector<double> seconds;
    std::optional<Alignment> found;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        found = alignPictures(first.bitmap(), second.bitmap(), withFaces);
        if (found)
            mapOntoFirst(second.bitmap(), *found, first.width(), first.height());
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("align %d x %d %s: median %.3f s (min %.3f, max %.3f)\n", first.width(), first.height(),
                withFaces ? "with faces" : "features only", seconds[2],
                seconds.front(), seconds.back());
    if (withFaces) {
        // The face search's share of the above: both pictures, the cascades already loaded.
        std::vector<double> faceSeconds;
        std::optional<FoundFace> faces[2];
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            faces[0] = findSingleFace(first.bitmap());
            faces[1] = findSingleFace(second.bitmap());
            faceSeconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(faceSeconds.begin(), faceSeconds.end());
        const auto kind = [](const std::optional<FoundFace>& face) { return !face ? "none" : face->cat ? "cat" : "human"; };
        std::printf("face search in both: median %.3f s; faces found: %s, %s\n", faceSeconds[2], kind(faces[0]),
                    kind(faces[1]));
    }
    if (!found) {
        std::printf("%s\n", kAlignFailure);
        return 1;
    }
    std::printf("%s; %d matches, %d inliers\n", describeAlignment(*found, first.width(), first.height()).c_str(),
                found->matches, found->inliers);
    if (argc == 7) {
        Point centre{}, moved{};
        std::sscanf(argv[5], "%lf,%lf", &centre.x, &centre.y);
        std::sscanf(argv[6], "%lf,%lf", &moved.x, &moved.y);
        double sum = 0;
        const double w = first.width(), h = first.height();
        for (const Point corner : {Point{0, 0}, Point{w, 0}, Point{0, h}, Point{w, h}}) {
            const Point a = mapThrough(found->matrix, corner);
            const Point b = srt(corner, std::stod(argv[3]), std::stod(argv[4]), centre, moved);
            sum += (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
        }
        std::printf("corner RMS error: %.3f pixels\n", std::sqrt(sum / 4));
    }
    return 0;
}
