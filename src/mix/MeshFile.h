// The two meshes of a morph as a pair, their checks (folds, bounds), scaling to other picture
// sizes and the JSON mesh file:
//
//   {"columns": 5, "rows": 5,
//    "mesh1": {"width": 256, "height": 256, "points": [[x, y], ...]},
//    "mesh2": {"width": 256, "height": 256, "points": [[x, y], ...]}}
//
// (columns + 1) x (rows + 1) points per mesh, row by row from the top, each row left to right,
// in pixels of the size the mesh was laid on; the regular mesh has its right and bottom edges
// at x = width and y = height. Unknown fields are ignored. Reading is bounded: the file's size,
// the nesting depth, the grid and every number are checked before anything is built from them.
#pragma once

#include "mix/MorphEngine.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorell {

inline constexpr int kMinMeshCells = 2;
inline constexpr int kMaxMeshCells = 16;
inline constexpr int kDefaultMeshCells = 5;
inline constexpr std::size_t kMaxMeshFileBytes = 256 * 1024;

// Two meshes of the same grid: mesh1 on the first picture, mesh2 on the second. Both MorphMesh
// values carry the grid, the size they were laid on and their points.
struct MorphMeshPair {
    MorphMesh mesh1;
    MorphMesh mesh2;
    friend bool operator==(const MorphMeshPair& a, const MorphMeshPair& b);
};

// A regular mesh of columns x rows cells over width x height, as the Fade job lays it.
MorphMesh regularMesh(int columns, int rows, int width, int height);
MorphMeshPair regularMeshPair(int columns, int rows, int width1, int height1, int width2, int height2);

// The triangles (1-based, MeshToTriangles' order) whose orientation differs from the regular
// mesh's or whose area is zero: a point moved across a neighbouring edge folds them.
std::vector<int> foldedTriangles(const MorphMesh& mesh);
// The mesh's points scaled from its size to width x height (each coordinate the nearest
// integer of c x new / old); the grid stays.
MorphMesh scaleMesh(const MorphMesh& mesh, int width, int height);

// Why a mesh pair cannot be used (a grid outside 2 ... 16, wrong point counts, a point outside
// its picture, a fold), or nothing when it can.
std::optional<std::string> checkMeshPair(const MorphMeshPair& pair);

struct MeshFileResult {
    std::optional<MorphMeshPair> pair;
    std::string error;   // set when pair is not
};

MeshFileResult parseMeshJson(std::string_view text);
MeshFileResult readMeshFile(const std::filesystem::path& path);
std::string meshJson(const MorphMeshPair& pair);
// Writes the file whole (a temporary beside it, renamed over it); false with `error` set when not.
bool writeMeshFile(const std::filesystem::path& path, const MorphMeshPair& pair, std::string& error);

}  // namespace vantorell
