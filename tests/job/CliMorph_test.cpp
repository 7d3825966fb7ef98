// vantorell-mix with a morph: --mesh, --ease, --hold-start, --hold-end, --ping-pong and their
// bad values.
#include "mix/MeshFile.h"
#include "support/AviDecode.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantorell {
namespace {

namespace fs = std::filesystem;

class CliMorph : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(test::MixProgram()))
            GTEST_SKIP() << "vantorell-mix is not built";
    }
    test::ProgramRun mix(const std::string& arguments)
    {
        const fs::path samples = VANTORELL_SAMPLES_DIR;
        return test::RunProgram(test::MixProgram(),
                                "--type fade --image1 '" + (samples / "face1.jpg").string() + "' --image2 '" +
                                    (samples / "face2.jpg").string() + "' --output '" + out.path().string() + "' " +
                                    arguments,
                                "TEMP='" + temp.path().string() + "'");
    }
    std::string file(const std::string& name, const std::string& text)
    {
        std::ofstream(out / name, std::ios::binary) << text;
        return "'" + (out / name).string() + "'";
    }
    test::TempDir out, temp;
};

TEST_F(CliMorph, WritesHoldFramesAndTheMeshesMorph)
{
    MorphMeshPair pair = regularMeshPair(5, 5, 256, 256, 256, 256);
    pair.mesh2.point(3, 3) = {120, 90};
    const std::string mesh = file("mesh.json", meshJson(pair));
    const test::ProgramRun run = mix("--frames 9 --hold-start 2 --hold-end 3 --ease in-out --mesh " + mesh);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Done.\n");
    const test::DecodedAvi avi = test::DecodeAvi(out / "result.avi");
    ASSERT_EQ(avi.frames.size(), 14u);
    EXPECT_EQ(avi.frames[0], avi.frames[2]);
    EXPECT_NE(avi.frames[2], avi.frames[3]);
    EXPECT_EQ(avi.frames[10], avi.frames[13]);

    const test::ProgramRun loop = mix("--frames 4 --ping-pong --ease-shape out --ease-colour in");
    EXPECT_EQ(loop.status, 0) << loop.err;
    EXPECT_EQ(test::DecodeAvi(out / "result.avi").frames.size(), 6u);
}

TEST_F(CliMorph, RefusesBadValuesWithExitStatusTwo)
{
    const struct {
        std::string arguments;
        std::string error;
    } cases[] = {
        {"--ease fast", "--ease takes linear, in, out or in-out"},
        {"--ease-shape ''", "--ease-shape takes linear, in, out or in-out"},
        {"--hold-start -1", "--hold-start takes a whole number from 0 to 32767"},
        {"--hold-end 40000", "--hold-end takes a whole number from 0 to 32767"},
        {"--hold-end 2x", "--hold-end takes a whole number"},
        {"--ping-pong=yes", "--ping-pong takes no value"},
        {"--mesh", "--mesh needs FILE"},
        {"--mesh /nonexistent/mesh.json", "--mesh: cannot open the mesh file"},
        {"--mesh " + file("deep.json", std::string(200000, '[')), "nests deeper than 8 levels"},
        {"--mesh " + file("empty.json", ""), "the mesh file is empty"},
        {"--mesh " + file("grid.json", R"({"columns":100000,"rows":100000})"), "from 2 to 16"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = mix(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_FALSE(fs::exists(out / "result.avi")) << c.arguments;
    }
}

}  // namespace
}  // namespace vantorell
