// Auto Points: mesh 2 of a morph placed from mesh 1 by dense correspondence. Picture 2 is first
// aligned to picture 1 as Align does (align/Align.h: features, or the faces' eyes); the optical
// flow between picture 1 and the aligned picture 2 then moves each point of mesh 1 to where its
// neighbourhood went (the median of the flow around it), and the alignment maps that position
// back into picture 2's own pixels.
// Where the alignment found one face in each picture and the whole picture's flow sees that face
// reduced, the points inside it come from a finer flow over the face, started from the coarse one.
// Points that fold a triangle are moved back, each by the least that unfolds it.
#pragma once

#include "align/Align.h"
#include "mix/MeshFile.h"
#include "platform/Picture.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantorell {

// The message of a pair whose mesh 2 could not be placed after the alignment.
inline constexpr const char* kAutoMeshFailure = "Auto Points could not place mesh 2 on Image #2";

// Where each point of mesh 1 (laid over picture 1, width x height) lies in the aligned picture 2
// (inFrame: picture 1's frame, what a job with Align reads) and in picture 2's own pixels
// (inSecond: what a job without Align reads). Both are laid over picture 1's size, points kept
// inside it, border points on the border, neither folded.
struct PlacedMesh {
    MorphMesh inFrame;
    MorphMesh inSecond;
    bool refinedInFace = false;   // the points inside picture 1's face came from the face's finer flow
};

// Answers true to give up (the window's Cancel); checked between the stages.
using GiveUp = std::function<bool()>;

// Mesh 2 from the flow between picture 1 and picture 2 mapped onto picture 1's frame by
// `alignment` (both on reduced grey copies). None when the meshes cannot be placed (a mesh not
// laid over picture 1, a picture too thin, folds that no move undoes) or when giveUp answered
// true.
std::optional<PlacedMesh> placeSecondMesh(const Bitmap& first, const Bitmap& second, const Alignment& alignment,
                                          const MorphMesh& mesh1, const GiveUp& giveUp = {});

// The job's and the window's use: picture 2 aligned to picture 1, then mesh 2 placed for mesh 1.
// On success `pair` holds mesh 1 and mesh 2 in picture 2's own pixels, `inFrame` mesh 2 in the
// aligned frame, and `messages` what was found ("Aligned: ...", "Auto Points: ..."); on failure
// `pair` is empty and `messages` holds the one reason.
struct AutoMeshResult {
    std::optional<MorphMeshPair> pair;
    MorphMesh inFrame;
    std::vector<std::string> messages;
};
AutoMeshResult autoMeshPair(const Picture& first, const Picture& second, const MorphMesh& mesh1,
                            const GiveUp& giveUp = {});

}  // namespace vantorell
