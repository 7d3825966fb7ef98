#include "app/MorphModel.h"

#include "support/MemorySettings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace vantorell;

namespace {

std::optional<std::string> stored(test::MemorySettings& settings, std::string_view key)
{
    return settings.value(kSettingsApplication, kSettingsSection, key);
}

}  // namespace

TEST(MorphModel, OffOrUnstoredLeavesThePlainFadesRequest)
{
    test::MemorySettings settings;
    MorphModel morph(settings);
    morph.restore();
    morph.fitTo(256, 256);
    MixRequest request;
    morph.applyTo(request);
    EXPECT_FALSE(request.morphMeshes);
    EXPECT_EQ(request.morphTiming, MorphTiming{});
    EXPECT_TRUE(settings.values.empty());   // nothing written by looking
}

TEST(MorphModel, DragsRefusesFoldsAndUndoesAndRedoes)
{
    test::MemorySettings settings;
    MorphModel morph(settings);
    morph.fitTo(90, 90);
    morph.setGrid(3, 3);
    const MorphMeshPair regular = morph.meshes();
    // Point (2, 2) is index 5 of the 4 x 4 points; past (60, 60) it folds.
    EXPECT_FALSE(morph.commit(morph.moved(2, 5, {70, 70})));
    EXPECT_EQ(morph.meshes(), regular);
    EXPECT_TRUE(morph.commit(morph.moved(2, 5, {40, 35})));
    EXPECT_EQ(morph.meshes().mesh2.points[5], (MeshPoint{40, 35}));
    EXPECT_EQ(morph.meshes().mesh1.points[5], (MeshPoint{30, 30}));
    // Kept inside the frame; mirrored to the other mesh by the same offset.
    morph.mirror = true;
    EXPECT_TRUE(morph.commit(morph.moved(1, 0, {-20, -5})));
    EXPECT_EQ(morph.meshes().mesh1.points[0], (MeshPoint{0, 0}));
    EXPECT_TRUE(morph.commit(morph.moved(1, 1, {35, 0})));
    EXPECT_EQ(morph.meshes().mesh2.points[1], (MeshPoint{35, 0}));
    morph.undo();
    morph.undo();
    EXPECT_EQ(morph.meshes().mesh2.points[5], (MeshPoint{30, 30}));
    EXPECT_EQ(morph.meshes(), regular);
    morph.redo();
    EXPECT_EQ(morph.meshes().mesh2.points[5], (MeshPoint{40, 35}));
    morph.reset();
    EXPECT_EQ(morph.meshes(), regular);
    EXPECT_TRUE(morph.canUndo());
    EXPECT_FALSE(morph.canRedo());
}

TEST(MorphModel, KeepsItsSettingsAndIgnoresDamagedOnes)
{
    test::MemorySettings settings;
    {
        MorphModel morph(settings);
        morph.fitTo(200, 100);
        morph.setEnabled(true);
        morph.setGrid(4, 2);
        EXPECT_TRUE(morph.commit(morph.moved(1, 6, {60, 45})));
        MorphTiming timing;
        timing.shapeEasing = Easing::In;
        timing.holdEnd = 3;
        timing.pingPong = true;
        morph.setTiming(timing);
    }
    EXPECT_EQ(stored(settings, morphkeys::kEnabled), "True");
    EXPECT_EQ(stored(settings, morphkeys::kHoldEnd), "3");
    MorphModel back(settings);
    back.restore();
    EXPECT_TRUE(back.enabled());
    EXPECT_EQ(back.meshes().mesh1.columns, 4);
    EXPECT_EQ(back.meshes().mesh1.points[6], (MeshPoint{60, 45}));
    EXPECT_EQ(back.timing().shapeEasing, Easing::In);
    MixRequest request;
    back.applyTo(request);
    ASSERT_TRUE(request.morphMeshes);
    EXPECT_TRUE(request.morphTiming.pingPong);

    for (auto [key, bad] : {std::pair{morphkeys::kMeshes, "{\"columns\": 1e9}"}, {morphkeys::kHoldStart, "-4"},
                            {morphkeys::kHoldEnd, "99999999999"}, {morphkeys::kShapeEasing, "bouncy"}})
        settings.set(kSettingsApplication, kSettingsSection, key, bad);
    MorphModel damaged(settings);
    damaged.restore();
    EXPECT_FALSE(damaged.hasMeshes());
    EXPECT_EQ(damaged.timing().holdStart, 0);
    EXPECT_EQ(damaged.timing().holdEnd, 0);
    EXPECT_EQ(damaged.timing().shapeEasing, Easing::Linear);
}

TEST(MorphModel, LoadsAndSavesMeshFilesScaledToTheFrame)
{
    test::MemorySettings settings;
    test::TempDir dir;
    MorphModel morph(settings);
    morph.fitTo(100, 100);
    EXPECT_TRUE(morph.commit(morph.moved(2, 7, {25, 15})));
    std::string error;
    ASSERT_TRUE(morph.save(dir / "m.json", error)) << error;
    MorphModel other(settings);
    other.fitTo(200, 200);
    ASSERT_TRUE(other.load(dir / "m.json", error)) << error;
    EXPECT_EQ(other.meshes().mesh2.points[7], (MeshPoint{50, 30}));
    EXPECT_FALSE(other.load(dir / "missing.json", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}
