#include "align/Align.h"

#include "align/CpuOnly.h"
#include "align/FaceAlign.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <vector>

namespace vantorell {

namespace {

constexpr int kWorkingLongSide = 1000;     // features are found on a grey copy about this big
constexpr int kMinWorkingSide = 32;        // thinner than this, a picture holds no usable feature
constexpr int kFeatureCount = 3000;
constexpr float kRatioTest = 0.75f;        // best match clearly better than the second best
constexpr double kRansacThreshold = 3.0;   // full-size pixels
constexpr int kMinInliers = 24;
constexpr double kMinInlierShare = 0.2;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 2.0;
// The homography must clearly beat the similarity: this many more inliers, or a residual this
// much lower on at least as many.
constexpr double kHomographyInlierGain = 1.1;
constexpr int kHomographyInlierMargin = 10;
constexpr double kHomographyErrorGain = 0.8;

cv::Mat wrap(const Bitmap& bitmap)
{
    return cv::Mat(bitmap.height(), bitmap.width(), CV_8UC4, const_cast<std::uint8_t*>(bitmap.bits()), bitmap.stride());
}

// One picture's features: the full-size grey copy (for the refinement) and the keypoints found
// on the reduced copy, in full-size pixels.
struct Features {
    cv::Mat grey;
    std::vector<cv::KeyPoint> keypoints;
    cv::Mat descriptors;
    double reduction = 1.0;   // reduced pixels per full-size pixel
};

Features findFeatures(const Bitmap& bitmap)
{
    Features features;
    cv::cvtColor(wrap(bitmap), features.grey, cv::COLOR_BGRA2GRAY);
    features.reduction = std::min(1.0, double(kWorkingLongSide) / std::max(bitmap.width(), bitmap.height()));
    cv::Mat reduced = features.grey;
    if (features.reduction < 1.0)
        cv::resize(features.grey, reduced, cv::Size(), features.reduction, features.reduction, cv::INTER_AREA);
    cv::Ptr<cv::ORB> orb = cv::ORB::create(kFeatureCount);
    orb->detectAndCompute(reduced, cv::noArray(), features.keypoints, features.descriptors);
    for (cv::KeyPoint& key : features.keypoints)
        key.pt *= float(1.0 / features.reduction);
    return features;
}

// The matched positions, picture 1's and picture 2's, that pass the ratio test.
void matchFeatures(const Features& first, const Features& second, std::vector<cv::Point2f>& points1,
                   std::vector<cv::Point2f>& points2)
{
    if (first.descriptors.rows < 2 || second.descriptors.rows < 2)
        return;
    std::vector<std::vector<cv::DMatch>> pairs;
    cv::BFMatcher(cv::NORM_HAMMING).knnMatch(first.descriptors, second.descriptors, pairs, 2);
    for (const std::vector<cv::DMatch>& pair : pairs) {
        if (pair.size() < 2 || pair[0].distance >= kRatioTest * pair[1].distance)
            continue;
        points1.push_back(first.keypoints[pair[0].queryIdx].pt);
        points2.push_back(second.keypoints[pair[0].trainIdx].pt);
    }
}

// Each point moved to the sub-pixel corner near it at full size: positions found on the reduced
// copy are only as fine as its pixels.
void refineAtFullSize(const Features& features, std::vector<cv::Point2f>& points)
{
    if (features.reduction >= 1.0 || points.empty())
        return;
    const int half = std::max(2, int(std::ceil(1.0 / features.reduction)) + 1);
    const cv::Size window(half, half);
    const cv::Rect inside(half + 1, half + 1, features.grey.cols - 2 * half - 2, features.grey.rows - 2 * half - 2);
    std::vector<cv::Point2f> refined = points;
    cv::cornerSubPix(features.grey, refined, window, cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 20, 0.01));
    for (std::size_t i = 0; i < points.size(); ++i)
        if (inside.contains(points[i]) && cv::norm(refined[i] - points[i]) <= half)
            points[i] = refined[i];
}

cv::Point2d mapPoint(const std::array<double, 9>& m, cv::Point2d p)
{
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

std::array<double, 9> toMatrix(const cv::Mat& m)
{
    std::array<double, 9> out{0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < 3; ++c)
            out[std::size_t(r * 3 + c)] = m.at<double>(r, c);
    return out;
}

// How many matches the transform agrees with, and their RMS error.
struct Fit {
    int inliers = 0;
    double rms = 0;
};

Fit fitOf(const std::array<double, 9>& m, const std::vector<cv::Point2f>& points1, const std::vector<cv::Point2f>& points2)
{
    Fit fit;
    double sum = 0;
    for (std::size_t i = 0; i < points1.size(); ++i) {
        const cv::Point2d mapped = mapPoint(m, points1[i]);
        const double error = cv::norm(mapped - cv::Point2d(points2[i]));
        if (std::isfinite(error) && error <= kRansacThreshold) {
            ++fit.inliers;
            sum += error * error;
        }
    }
    fit.rms = fit.inliers ? std::sqrt(sum / fit.inliers) : 0;
    return fit;
}

// The turn, scale and centre movement of the transform, taken at point p.
struct Motion {
    double degrees = 0;
    double scale = 0;
    double determinant = 0;
    cv::Point2d moved;
};

Motion motionAt(const std::array<double, 9>& m, cv::Point2d p)
{
    const cv::Point2d centre = mapPoint(m, p);
    const cv::Point2d dx = mapPoint(m, p + cv::Point2d(1, 0)) - centre;
    const cv::Point2d dy = mapPoint(m, p + cv::Point2d(0, 1)) - centre;
    Motion motion;
    motion.determinant = dx.x * dy.y - dy.x * dx.y;
    motion.scale = std::sqrt(std::abs(motion.determinant));
    motion.degrees = std::atan2(dx.y - dy.x, dx.x + dy.y) * 180.0 / CV_PI;
    motion.moved = centre - p;
    return motion;
}

bool plausibleScale(double scale) { return scale >= kMinScale && scale <= kMaxScale; }

// A homography that keeps the frame whole: every corner in front, no flip and a plausible scale
// at each, so picture 1's frame maps to a convex, unmirrored quadrilateral.
bool wellBehaved(const std::array<double, 9>& m, int width, int height)
{
    for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(width, 0), cv::Point2d(0, height), cv::Point2d(width, height)}) {
        if (m[6] * corner.x + m[7] * corner.y + m[8] <= 0)
            return false;
        const Motion motion = motionAt(m, corner);
        if (motion.determinant <= 0 || !plausibleScale(motion.scale))
            return false;
    }
    return true;
}

}  // namespace

std::optional<Alignment> findAlignment(const Bitmap& first, const Bitmap& second)
{
    useCpuOnly();
    for (const Bitmap* picture : {&first, &second}) {
        const double reduction = std::min(1.0, double(kWorkingLongSide) / std::max(picture->width(), picture->height()));
        if (picture->empty() || std::min(picture->width(), picture->height()) * reduction < kMinWorkingSide)
            return std::nullopt;
    }
    try {
        const Features features1 = findFeatures(first);
        const Features features2 = findFeatures(second);
        std::vector<cv::Point2f> points1, points2;
        matchFeatures(features1, features2, points1, points2);
        if (int(points1.size()) < kMinInliers)
            return std::nullopt;
        refineAtFullSize(features1, points1);
        refineAtFullSize(features2, points2);

        const cv::Mat similarity = cv::estimateAffinePartial2D(points1, points2, cv::noArray(), cv::RANSAC, kRansacThreshold,
                                                               4000, 0.999, 20);
        if (similarity.empty())
            return std::nullopt;
        Alignment alignment;
        alignment.matrix = toMatrix(similarity);
        alignment.matches = int(points1.size());
        const Fit similarityFit = fitOf(alignment.matrix, points1, points2);
        alignment.inliers = similarityFit.inliers;
        const Motion motion = motionAt(alignment.matrix, {first.width() / 2.0, first.height() / 2.0});
        if (similarityFit.inliers < kMinInliers || similarityFit.inliers < kMinInlierShare * alignment.matches ||
            !plausibleScale(motion.scale))
            return std::nullopt;

        const cv::Mat homography = cv::findHomography(points1, points2, cv::RANSAC, kRansacThreshold, cv::noArray(), 4000, 0.999);
        if (!homography.empty()) {
            const std::array<double, 9> h = toMatrix(homography);
            const Fit fit = fitOf(h, points1, points2);
            const bool moreInliers =
                fit.inliers >= similarityFit.inliers * kHomographyInlierGain + kHomographyInlierMargin;
            const bool lowerError = fit.inliers >= similarityFit.inliers && fit.rms < similarityFit.rms * kHomographyErrorGain;
            if ((moreInliers || lowerError) && wellBehaved(h, first.width(), first.height())) {
                alignment.matrix = h;
                alignment.perspective = true;
                alignment.inliers = fit.inliers;
            }
        }
        return alignment;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

std::optional<Alignment> alignPictures(const Bitmap& first, const Bitmap& second, bool withFaces)
{
    if (!withFaces)
        return findAlignment(first, second);
    // The face search runs beside the features' (it costs a fifth of their time on one core);
    // picture 2 is searched only when picture 1 holds a face.
    std::future<std::optional<FoundFace>> firstFace = std::async(std::launch::async, [&first] { return findSingleFace(first); });
    const std::optional<Alignment> features = findAlignment(first, second);
    const std::optional<FoundFace> face1 = firstFace.get();
    const std::optional<FoundFace> face2 = face1 ? findSingleFace(second) : std::nullopt;
    if (!face2)
        return features;
    // Features are the finer measure (sub-pixel against a cascade's box): they win wherever
    // they put the faces on each other; two different faces before the same background do not.
    std::optional<Alignment> chosen = features;
    if (!features || !agreesWithFaces(*features, *face1, *face2))
        if (std::optional<Alignment> faces = alignFaces(*face1, *face2))
            chosen = faces;
    if (chosen)
        chosen->firstFace = face1->box;
    return chosen;
}

Bitmap mapOntoFirst(const Bitmap& second, const Alignment& alignment, int width, int height)
{
    Bitmap mapped = Bitmap::uninitialized(width, height);
    cv::Mat destination(height, width, CV_8UC4, mapped.mutableBits(), mapped.stride());
    const cv::Mat matrix(3, 3, CV_64F, const_cast<double*>(alignment.matrix.data()));
    const cv::Scalar white(255, 255, 255, 0);
    // The matrix takes picture 1's positions to picture 2's: the inverse of the warp's map.
    if (alignment.perspective)
        cv::warpPerspective(wrap(second), destination, matrix, destination.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                            cv::BORDER_CONSTANT, white);
    else
        cv::warpAffine(wrap(second), destination, matrix.rowRange(0, 2), destination.size(),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, white);
    return mapped;
}

std::string describeAlignment(const Alignment& alignment, int width, int height)
{
    const Motion motion = motionAt(alignment.matrix, {width / 2.0, height / 2.0});
    const auto tidy = [](double value, double unit) { return std::abs(value) < unit / 2 ? 0.0 : value; };
    char text[160];
    const char* basis = alignment.basis == AlignmentBasis::Eyes       ? " on the faces' eyes"
                        : alignment.basis == AlignmentBasis::CatFaces ? " on the cat faces"
                                                                      : "";
    std::snprintf(text, sizeof text, "Aligned%s: turned %.1f degrees, scaled %.2f, moved %.0f, %.0f pixels%s", basis,
                  tidy(motion.degrees, 0.1), motion.scale, tidy(motion.moved.x, 1), tidy(motion.moved.y, 1),
                  alignment.perspective ? " (perspective)" : "");
    return text;
}

AlignedSecond alignSecondPicture(const Picture& first, const Picture& second)
{
    const std::optional<Alignment> found = alignPictures(first.bitmap(), second.bitmap());
    if (!found)
        return {Picture(), kAlignFailure};
    Bitmap mapped = mapOntoFirst(second.bitmap(), *found, first.width(), first.height());
    mapped.clearFourthBytes();
    // The message speaks of the files' pixels: a picture decoded at reduced scale counts as
    // its file's size.
    Alignment inFiles = *found;
    const double scale1 = double(first.sourceWidth()) / first.width();
    const double scale2 = double(second.sourceWidth()) / second.width();
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 2; ++row)
            inFiles.matrix[std::size_t(row * 3 + column)] *= scale2;
        if (column < 2)
            for (int row = 0; row < 3; ++row)
                inFiles.matrix[std::size_t(row * 3 + column)] /= scale1;
    }
    return {Picture(std::move(mapped), first.sourceWidth(), first.sourceHeight()),
            describeAlignment(inFiles, first.sourceWidth(), first.sourceHeight())};
}

}  // namespace vantorell
