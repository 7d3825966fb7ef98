// Align: finds how picture 2 sits against picture 1 (a similarity, or a homography where it is
// well supported) from features matched on reduced grey copies, refined at full size, and
// maps picture 2 onto picture 1's frame.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Picture.h"

#include <array>
#include <optional>
#include <string>

namespace vantorell {

// The message of a pair that could not be aligned.
inline constexpr const char* kAlignFailure = "Image #2 could not be aligned to Image #1: too few matching features";

// What a transform was found from: matched features, the eyes of one human face in each
// picture, or one cat face in each.
enum class AlignmentBasis { Features, Eyes, CatFaces };

struct PicturePoint {
    double x = 0, y = 0;
};

struct FaceBox {
    double x = 0, y = 0, width = 0, height = 0;   // the picture's pixels
    PicturePoint centre() const { return {x + width / 2, y + height / 2}; }
};

// Where each point of picture 1 lies in picture 2: (x2, y2, w) = matrix x (x1, y1, 1), row by row.
struct Alignment {
    std::array<double, 9> matrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool perspective = false;   // the homography was taken, not the similarity
    int matches = 0;            // matched features after the ratio test
    int inliers = 0;            // those the transform taken agrees with
    AlignmentBasis basis = AlignmentBasis::Features;
    std::optional<FaceBox> firstFace;   // picture 1's face, where each picture holds one (alignPictures)
};

// The transform, or none when the pictures share too few reliable features (a flat picture,
// two unrelated pictures, a picture too thin to hold any).
std::optional<Alignment> findAlignment(const Bitmap& first, const Bitmap& second);

// The job's alignment: where each picture holds exactly one face (align/FaceAlign), the
// features' transform when it lays the faces on each other, else the faces' own (eyes on eyes,
// cat face on cat face); otherwise the features' transform. withFaces false: features only.
std::optional<Alignment> alignPictures(const Bitmap& first, const Bitmap& second, bool withFaces = true);

// Picture 2 drawn in picture 1's frame (width x height), bilinear. Where picture 2 does not
// reach, the pixels are white (0x00FFFFFF): what Overlay and Fade read beyond a smaller second
// picture.
Bitmap mapOntoFirst(const Bitmap& second, const Alignment& alignment, int width, int height);

// The transform in words, the job's message: "Aligned: turned 3.0 degrees, scaled 1.05, moved
// 20, -15 pixels" (the centre of picture 1's frame moved; " (perspective)" for a homography);
// "Aligned on the faces' eyes: ..." and "Aligned on the cat faces: ..." when faces gave it.
std::string describeAlignment(const Alignment& alignment, int width, int height);

// The job's use of the above: picture 2 aligned to picture 1, with the message; an empty
// picture and kAlignFailure when it cannot be aligned.
struct AlignedSecond {
    Picture picture;
    std::string message;
};
AlignedSecond alignSecondPicture(const Picture& first, const Picture& second);

}  // namespace vantorell
