// Faces: the one face a picture holds, found by OpenCV's Haar cascades (Debian's opencv-data),
// and the similarity that lays one picture's face on the other's: eyes on eyes for human
// faces, face box on face box for cat faces (there is no cascade for a cat's eyes).
#pragma once

#include "align/Align.h"
#include "platform/Bitmap.h"

#include <array>
#include <filesystem>
#include <optional>

namespace vantorell {

struct FoundFace {
    bool cat = false;
    FaceBox box;
    // A human face's eye centres, the one further left in the picture first (the person's
    // right eye); both at the box's centre for a cat.
    std::array<PicturePoint, 2> eyes{};
};

// Where the cascades are looked for: the folder opencv-data installs.
std::filesystem::path defaultCascadeFolder();

// The picture's face when it holds exactly one: a human face with two plausible eyes (inside
// the box, in its upper part, side by side), else a cat face. None when it holds none, several,
// or the cascades are missing. Runs on a reduced grey copy; the eyes are sought in the face at
// a finer size.
std::optional<FoundFace> findSingleFace(const Bitmap& picture,
                                        const std::filesystem::path& cascadeFolder = defaultCascadeFolder());

// The similarity taking picture 1's face onto picture 2's (Alignment's direction: picture 1's
// points to picture 2's); none when the faces are of different kinds or the scale is not
// between 0.5 and 2.
std::optional<Alignment> alignFaces(const FoundFace& first, const FoundFace& second);

// The transform puts picture 1's face where picture 2's is: the eyes (a cat's face centre)
// within a fifth of the eye distance (a fifth of the box) and the size within a fifth.
bool agreesWithFaces(const Alignment& alignment, const FoundFace& first, const FoundFace& second);

}  // namespace vantorell
