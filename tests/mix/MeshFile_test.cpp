#include "mix/MeshFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using namespace vantorell;

namespace {

std::string pointsText(int count, const std::string& point = "[0, 0]")
{
    std::string text = "[";
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + point;
    return text + "]";
}

std::string fileText(const std::string& columns, const std::string& rows, const std::string& points1,
                     const std::string& points2 = "")
{
    return "{\"columns\": " + columns + ", \"rows\": " + rows + ", \"mesh1\": {\"width\": 256, \"height\": 256, "
           "\"points\": " + points1 + "}, \"mesh2\": {\"width\": 256, \"height\": 256, \"points\": " +
           (points2.empty() ? points1 : points2) + "}}";
}

}  // namespace

TEST(MeshFile, WritesAndReadsBackAMovedMesh)
{
    MorphMeshPair pair = regularMeshPair(5, 4, 256, 200, 256, 200);
    pair.mesh2.point(3, 3) = {pair.mesh2.point(3, 3).x + 9, pair.mesh2.point(3, 3).y - 7};
    const MeshFileResult back = parseMeshJson(meshJson(pair));
    ASSERT_TRUE(back.pair) << back.error;
    EXPECT_EQ(*back.pair, pair);

    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeMeshFile(dir.path() / "m.json", pair, error)) << error;
    const MeshFileResult read = readMeshFile(dir.path() / "m.json");
    ASSERT_TRUE(read.pair) << read.error;
    EXPECT_EQ(*read.pair, pair);
}

TEST(MeshFile, ReadsTheDocumentedLayout)
{
    // 2 x 2 cells over 10 x 10: rows from the top, left to right, right and bottom edges at 10.
    const auto ok = parseMeshJson(
        R"({"columns":2,"rows":2,"mesh1":{"width":10,"height":10,"points":[[0,0],[5,0],[10,0],[0,5],[6,4],[10,5],[0,10],[5,10],[10,10]]},)"
        R"("mesh2":{"width":10,"height":10,"points":[[0,0],[5,0],[10,0],[0,5],[5,5],[10,5],[0,10],[5,10],[10,10]]},"note":"x"})");
    ASSERT_TRUE(ok.pair) << ok.error;
    EXPECT_EQ(ok.pair->mesh1.point(2, 2), (MeshPoint{6, 4}));
    EXPECT_EQ(ok.pair->mesh2.points, regularMesh(2, 2, 10, 10).points);
}

TEST(MeshFile, RefusesHostileFilesQuicklyWithAReason)
{
    MorphMeshPair foldedPair = regularMeshPair(3, 3, 90, 90, 90, 90);
    foldedPair.mesh2.point(2, 2) = {70, 70};   // past its diagonal neighbour at (60, 60)
    const std::string folded = meshJson(foldedPair);
    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = char(i * 37 + 11);
    const struct {
        const char* what;
        std::string text;
        const char* reason;
    } cases[] = {
        {"empty", "", "empty"},
        {"blank", " \n\t", "empty"},
        {"binary", binary, "not valid JSON: it is not text (byte 0x0B at line 1, column 1)"},
        {"syntax", "{\"columns\": 2,\n x}", "not valid JSON at line 2, column 2"},
        {"not an object", "[1,2]", "one JSON object"},
        {"nesting", std::string(200000, '[') + std::string(200000, ']'), "larger than"},
        {"nesting within the size", std::string(10000, '[') + std::string(10000, ']'), "nests deeper than 8 levels (at line 1, column 9)"},
        {"digits", "{\"columns\": " + std::string(5 << 20, '7') + "}", "larger than"},
        {"huge grid", fileText("100000", "100000", "[]"), "from 2 to 16"},
        {"grid of one", fileText("1", "1", pointsText(4)), "from 2 to 16"},
        {"fractional grid", fileText("2.5", "2", pointsText(9)), "from 2 to 16"},
        {"wrong count", fileText("2", "2", pointsText(8)), "needs 9"},
        {"far outside", fileText("2", "2", pointsText(9, "[1e300, 0]")), "point 1"},
        {"huge number", fileText("2", "2", pointsText(9, "[1e999, 0]")), ""},
        {"NaN", fileText("2", "2", pointsText(9, "[NaN, 0]")), "not valid JSON"},
        {"not a pair", fileText("2", "2", pointsText(9, "[1, 2, 3]")), "point 1"},
        {"outside the picture", fileText("2", "2", pointsText(9, "[300, 0]")), "outside the picture"},
        {"folded", folded, "folds"},
        {"missing mesh2", R"({"columns":2,"rows":2,"mesh1":{"width":1,"height":1,"points":[]}})", ""},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const MeshFileResult result = parseMeshJson(c.text);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(result.pair) << c.what;
        EXPECT_FALSE(result.error.empty()) << c.what;
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << c.what << ": " << result.error;
        EXPECT_LT(seconds, 1.0) << c.what;
    }
    EXPECT_FALSE(readMeshFile("/nonexistent/mesh.json").pair);
}

TEST(MeshFile, FoldsAreFoundPerTriangle)
{
    MorphMesh mesh = regularMesh(3, 3, 90, 90);
    EXPECT_TRUE(foldedTriangles(mesh).empty());
    mesh.point(2, 2) = {70, 70};   // past (60, 60): the cell's triangles turn over
    EXPECT_EQ(foldedTriangles(mesh), (std::vector<int>{9, 10}));
    mesh.point(2, 2) = {31, 0};    // onto the top edge: the cell above loses its area, the next turns over
    EXPECT_EQ(foldedTriangles(mesh), (std::vector<int>{2, 3}));
    mesh.point(2, 2) = {55, 50};   // a move within its neighbours folds nothing
    EXPECT_TRUE(foldedTriangles(mesh).empty());
}

TEST(MeshFile, ScalesToOtherPictureSizes)
{
    const MorphMesh mesh = regularMesh(5, 5, 256, 256);
    const MorphMesh scaled = scaleMesh(mesh, 729, 425);
    EXPECT_EQ(scaled.width, 729);
    EXPECT_EQ(scaled.point(6, 6), (MeshPoint{729, 425}));
    EXPECT_EQ(scaled.point(1, 1), (MeshPoint{0, 0}));
    EXPECT_EQ(scaled.point(2, 1), (MeshPoint{145, 0}));   // 51 x 729 / 256 = 145.2
    EXPECT_EQ(scaleMesh(mesh, 256, 256).points, mesh.points);
}
