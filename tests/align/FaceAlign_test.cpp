#include "align/FaceAlign.h"
#include "Similarity.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace vantorell {
namespace {

constexpr int kWidth = 640, kHeight = 480;

// A drawn face the cascades take for one: skin, hair, dark eye sockets with white eyes and
// pupils, brows, nostrils and mouth, softened as a photograph is. Its eyes are at (280, 210)
// and (360, 210).
Bitmap drawnFace()
{
    Bitmap bitmap = test::solid(kWidth, kHeight, 0xA0A0A0);
    cv::Mat m(kHeight, kWidth, CV_8UC4, bitmap.mutableBits(), bitmap.stride());
    const cv::Point c(320, 240);
    cv::ellipse(m, c, {100, 130}, 0, 0, 360, {170, 190, 230}, -1);
    cv::ellipse(m, c + cv::Point(0, -110), {110, 50}, 0, 180, 360, {40, 40, 60}, -1);
    for (const int side : {-1, 1}) {
        const cv::Point eye = c + cv::Point(side * 40, -30);
        cv::ellipse(m, eye, {30, 18}, 0, 0, 360, {40, 40, 60}, -1);
        cv::ellipse(m, eye, {18, 9}, 0, 0, 360, {230, 230, 230}, -1);
        cv::circle(m, eye, 7, {30, 30, 30}, -1);
        cv::ellipse(m, eye + cv::Point(0, -24), {28, 6}, 0, 0, 360, {40, 40, 60}, -1);
    }
    cv::ellipse(m, c + cv::Point(0, 35), {14, 8}, 0, 0, 360, {90, 100, 130}, -1);
    cv::ellipse(m, c + cv::Point(0, 75), {35, 9}, 0, 0, 360, {70, 70, 140}, -1);
    cv::GaussianBlur(m, m, {0, 0}, 3);
    return bitmap;
}

using test::similarity;

PicturePoint map(const Alignment& a, PicturePoint p)
{
    const auto& m = a.matrix;
    return {m[0] * p.x + m[1] * p.y + m[2], m[3] * p.x + m[4] * p.y + m[5]};
}

TEST(FaceAlign, LaysTurnedCopiesEyeOnEye)
{
    const Bitmap first = drawnFace();
    const std::optional<FoundFace> face1 = findSingleFace(first);
    ASSERT_TRUE(face1);
    EXPECT_FALSE(face1->cat);
    EXPECT_FALSE(findSingleFace(first, "/nonexistent")) << "no cascades: no face, and no error";
    struct Case {
        double scale, degrees, dx, dy;
    };
    for (const Case c : {Case{1.0, 0.0, 30, -20}, Case{1.1, 4.0, 25, -10}, Case{0.9, -6.0, -20, 10}}) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.degrees << " " << c.dx << " " << c.dy);
        const double cx = kWidth / 2.0, cy = kHeight / 2.0;
        const Alignment truth = similarity(c.scale, c.degrees, cx, cy, c.dx, c.dy);
        // Picture 2's pixel q shows picture 1's truth^-1(q).
        const Alignment inverse = similarity(1 / c.scale, -c.degrees, cx + c.dx, cy + c.dy, -c.dx, -c.dy);
        const std::optional<FoundFace> face2 = findSingleFace(mapOntoFirst(first, inverse, kWidth, kHeight));
        ASSERT_TRUE(face2);
        const std::optional<Alignment> found = alignFaces(*face1, *face2);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->basis, AlignmentBasis::Eyes);
        EXPECT_TRUE(agreesWithFaces(truth, *face1, *face2));
        // Where the drawn eyes land: a cascade's eye box is coarse, a tenth of the eye distance.
        for (const PicturePoint eye : {PicturePoint{280, 210}, PicturePoint{360, 210}}) {
            const PicturePoint want = map(truth, eye), got = map(*found, eye);
            EXPECT_LT(std::hypot(got.x - want.x, got.y - want.y), 8.0) << eye.x;
        }
    }
}

TEST(FaceAlign, MessageSaysWhatWasUsed)
{
    Alignment alignment;
    alignment.basis = AlignmentBasis::Eyes;
    EXPECT_EQ(describeAlignment(alignment, 100, 100), "Aligned on the faces' eyes: turned 0.0 degrees, scaled 1.00, moved 0, 0 pixels");
    alignment.basis = AlignmentBasis::CatFaces;
    EXPECT_EQ(describeAlignment(alignment, 100, 100), "Aligned on the cat faces: turned 0.0 degrees, scaled 1.00, moved 0, 0 pixels");
}

}  // namespace
}  // namespace vantorell
