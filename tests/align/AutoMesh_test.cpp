#include "align/AutoMesh.h"
#include "support/RunProgram.h"
#include "support/TestPictures.h"

#include "platform/WorkSurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

namespace vantorell {
namespace {

// A perspective map that moves the corners of a 640 x 480 frame by up to about 20 pixels.
Alignment perspective(double a, double b)
{
    Alignment result;
    result.matrix = {1 + a, 0.01, 8, -0.012, 1 - a, -6, b, -b / 2, 1};
    result.perspective = true;
    return result;
}

Alignment inverse(const Alignment& a)
{
    const auto& m = a.matrix;
    Alignment inv;
    inv.perspective = true;
    inv.matrix = {m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                  m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                  m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    return inv;
}

// How far each interior point of mesh 2 lies from where `truth` takes mesh 1's, sorted; only
// points inside `area` (x, y, width, height) when one is given.
std::vector<double> sortedErrors(const MorphMesh& mesh1, const MorphMesh& mesh2, const Alignment& truth,
                                 const std::optional<FaceBox>& area = {})
{
    std::vector<double> errors;
    for (int row = 2; row <= mesh1.rows; ++row)
        for (int column = 2; column <= mesh1.columns; ++column) {
            const MeshPoint p = mesh1.point(column, row), q = mesh2.point(column, row);
            if (area && !(p.x > area->x && p.y > area->y && p.x < area->x + area->width && p.y < area->y + area->height))
                continue;
            const auto& m = truth.matrix;
            const double w = m[6] * p.x + m[7] * p.y + m[8];
            errors.push_back(std::hypot(q.x - (m[0] * p.x + m[1] * p.y + m[2]) / w, q.y - (m[3] * p.x + m[4] * p.y + m[5]) / w));
        }
    std::sort(errors.begin(), errors.end());
    return errors;
}

TEST(AutoMesh, FollowsAKnownPerspective)
{
    constexpr int kWidth = 640, kHeight = 480;
    const Picture first(test::textured(kWidth, kHeight, 5));
    for (const auto& [a, b] : {std::pair{0.02, 2e-5}, std::pair{-0.015, -3e-5}}) {
        const Alignment truth = perspective(a, b);
        const Picture second(mapOntoFirst(first.bitmap(), inverse(truth), kWidth, kHeight));
        for (const int cells : {5, 10}) {
            const AutoMeshResult placed = autoMeshPair(first, second, regularMesh(cells, cells, kWidth, kHeight));
            ASSERT_TRUE(placed.pair) << placed.messages.front();
            const std::vector<double> errors = sortedErrors(placed.pair->mesh1, placed.pair->mesh2, truth);
            EXPECT_LE(errors[errors.size() / 2], 1.5) << cells;
            EXPECT_LE(errors.back(), 4.0) << cells;
            EXPECT_TRUE(foldedTriangles(placed.pair->mesh2).empty());
        }
    }
}

// Where the alignment names picture 1's face, the points inside it come from the face's finer
// flow when the whole picture's flow sees the face reduced by more than half as much again.
TEST(AutoMesh, RefinesInsideTheFace)
{
    const struct {
        int width, height;
        FaceBox face;
        bool refined;
    } cases[] = {
        {1920, 1080, {700, 240, 600, 600}, true},
        {640, 480, {200, 100, 240, 240}, false},   // the whole picture's flow is at full size
        {1920, 1080, {100, 100, 1700, 900}, false},   // the face is most of the picture
    };
    for (const auto& c : cases) {
        const Picture first(test::textured(c.width, c.height, 7));
        Alignment truth = perspective(0.01, 1e-5);
        const Picture second(mapOntoFirst(first.bitmap(), inverse(truth), c.width, c.height));
        Alignment start;   // the pictures as they are: the flow finds the whole map
        start.firstFace = c.face;
        const MorphMesh mesh1 = regularMesh(16, 16, c.width, c.height);
        const std::optional<PlacedMesh> placed = placeSecondMesh(first.bitmap(), second.bitmap(), start, mesh1);
        ASSERT_TRUE(placed) << c.width;
        EXPECT_EQ(placed->refinedInFace, c.refined) << c.width;
        const std::vector<double> inFace = sortedErrors(mesh1, placed->inSecond, truth, c.face);
        EXPECT_LE(inFace[inFace.size() / 2], 1.0) << c.width;
        EXPECT_LE(inFace.back(), 3.0) << c.width;
    }
}

TEST(AutoMesh, RefusesPairsWithoutCorrespondence)
{
    struct Case {
        const char* what;
        Picture first, second;
    };
    const Picture grey(test::solid(640, 480, 0x808080));
    const Case cases[] = {
        {"flat grey", grey, grey},
        {"unrelated", Picture(test::textured(640, 480, 1)), Picture(test::textured(640, 480, 2))},
        {"1 x 5000", Picture(test::solid(1, 5000, 0x404040)), Picture(test::solid(1, 5000, 0x404040))},
    };
    for (const Case& c : cases) {
        const AutoMeshResult placed =
            autoMeshPair(c.first, c.second, regularMesh(5, 5, c.first.width(), c.first.height()));
        EXPECT_FALSE(placed.pair) << c.what;
        ASSERT_EQ(placed.messages.size(), 1u) << c.what;
        EXPECT_EQ(placed.messages[0], kAlignFailure) << c.what;
    }
}

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The saved mesh file replays the auto-placed morph byte for byte, without any alignment.
TEST(AutoMesh, SavedMeshReplaysTheMorph)
{
    test::TempDir dir;
    const Bitmap first = test::textured(320, 240, 9);
    const auto save = [&dir](const Bitmap& bitmap, const char* name) {
        WorkSurface surface(bitmap.width(), bitmap.height());
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                surface.setPixel(x, y, bitmap.pixel(x, y));
        surface.saveAsBitmapFile(dir / name);
    };
    save(first, "one.bmp");
    save(mapOntoFirst(first, inverse(perspective(0.01, 2e-5)), 320, 240), "two.bmp");
    std::filesystem::create_directories(dir / "auto");
    std::filesystem::create_directories(dir / "replay");
    const std::string pair =
        "--type fade --frames 3 --image1 '" + (dir / "one.bmp").string() + "' --image2 '" + (dir / "two.bmp").string() + "'";
    const std::string mesh = (dir / "mesh.json").string();
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {pair + " --output '" + (dir / "auto").string() + "' --auto-mesh --save-mesh '" + mesh + "'", 0},
        {pair + " --output '" + (dir / "replay").string() + "' --mesh '" + mesh + "'", 0},
        {pair + " --output '" + (dir / "replay").string() + "' --save-mesh '" + mesh + "'", 2},
        {pair + " --output '" + (dir / "replay").string() + "' --auto-mesh --align", 2},
    };
    for (const Case& c : cases) {
        const test::ProgramRun run = test::RunProgram(test::MixProgram(), c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
    }
    const std::string autoPlaced = readAll(dir / "auto" / "result.avi");
    EXPECT_FALSE(autoPlaced.empty());
    EXPECT_EQ(autoPlaced, readAll(dir / "replay" / "result.avi"));
}

}  // namespace
}  // namespace vantorell
