#include "align/AutoMesh.h"

#include "align/CpuOnly.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace vantorell {

namespace {

constexpr int kFlowLongSide = 640;        // the flow runs on grey copies about this big
constexpr int kFlowPreset = cv::DISOpticalFlow::PRESET_MEDIUM;
constexpr int kMinFlowSide = 16;          // thinner than this, a picture holds no usable flow
constexpr double kWindowPerCell = 1.0 / 6;  // the median's window: this share of a cell each side
constexpr int kMinWindow = 3, kMaxWindow = 40;   // reduced pixels, each side
constexpr int kRepairPasses = 64;
constexpr int kBisections = 12;
constexpr double kFaceMargin = 0.25;     // the face's flow reaches this share of the face beyond it
constexpr double kFinerFace = 1.5;       // refined only where it sees the face this much finer

cv::Mat wrap(const Bitmap& bitmap)
{
    return cv::Mat(bitmap.height(), bitmap.width(), CV_8UC4, const_cast<std::uint8_t*>(bitmap.bits()), bitmap.stride());
}

// Full-size pixel positions as the reduced copy's: INTER_AREA puts reduced pixel i's centre on
// full-size (i + 0.5) / reduction - 0.5.
cv::Matx33d toReduced(double reduction)
{
    return {reduction, 0, 0.5 * reduction - 0.5, 0, reduction, 0.5 * reduction - 0.5, 0, 0, 1};
}

cv::Point2d mapThrough(const std::array<double, 9>& m, cv::Point2d p)
{
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    if (std::abs(w) < 1e-12)
        return p;
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

double median(std::vector<float>& values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The flow's median (full-size pixels) in the window around full-size `point`, counting only samples whose
// aligned position lies inside picture 2 (elsewhere the aligned copy is white fill). Zero where
// no sample counts: the alignment alone places that point.
// A flow field over picture 1's pixels from `origin` on, at `reduction` of full size.
struct FlowField {
    cv::Mat flow;
    double reduction = 1;
    cv::Point2d origin;

    // Where full-size position p falls in the field, and back.
    cv::Point2d toField(cv::Point2d p) const { return (p - origin + cv::Point2d(0.5, 0.5)) * reduction - cv::Point2d(0.5, 0.5); }
    cv::Point2d toFull(cv::Point2d q) const { return origin + (q + cv::Point2d(0.5, 0.5)) * (1 / reduction) - cv::Point2d(0.5, 0.5); }
    // toFull as a matrix, for a warp.
    cv::Matx33d toFullMatrix() const
    {
        const double r = reduction;
        return {1 / r, 0, origin.x + 0.5 / r - 0.5, 0, 1 / r, origin.y + 0.5 / r - 0.5, 0, 0, 1};
    }
};

cv::Point2d medianFlow(const FlowField& field, cv::Point2d point, int radius, const Alignment& alignment,
                       int secondWidth, int secondHeight)
{
    const cv::Mat& flow = field.flow;
    const double reduction = field.reduction;
    const cv::Point2d centre = field.toField(point);
    std::vector<float> us, vs;
    const int cx = int(std::lround(centre.x)), cy = int(std::lround(centre.y));
    for (int y = std::max(0, cy - radius); y <= std::min(flow.rows - 1, cy + radius); ++y) {
        const cv::Vec2f* row = flow.ptr<cv::Vec2f>(y);
        for (int x = std::max(0, cx - radius); x <= std::min(flow.cols - 1, cx + radius); ++x) {
            const cv::Point2d full = field.toFull({x + row[x][0], y + row[x][1]});
            const cv::Point2d inSecond = mapThrough(alignment.matrix, full);
            if (inSecond.x < 0 || inSecond.y < 0 || inSecond.x >= secondWidth || inSecond.y >= secondHeight)
                continue;
            us.push_back(row[x][0]);
            vs.push_back(row[x][1]);
        }
    }
    if (us.empty())
        return {0, 0};
    return {median(us) / reduction, median(vs) / reduction};
}

MeshPoint rounded(cv::Point2d p, int width, int height)
{
    return {std::clamp(int(std::lround(p.x)), 0, width), std::clamp(int(std::lround(p.y)), 0, height)};
}

// A point of mesh 2 at `wanted`, kept where mesh 1's point is on the border: a corner stays,
// an edge point slides along its edge.
MeshPoint keepBorder(const MorphMesh& mesh1, int column, int row, MeshPoint wanted)
{
    const MeshPoint fixed = mesh1.point(column, row);
    if (column == 1 || column == mesh1.columns + 1)
        wanted.x = fixed.x;
    if (row == 1 || row == mesh1.rows + 1)
        wanted.y = fixed.y;
    return wanted;
}

// Whether any of the triangles around point (column, row) folds: the cross test of
// foldedTriangles (mix/MeshFile) on the up to four cells that share the point.
bool foldsAround(const MorphMesh& mesh, int column, int row)
{
    const auto cross = [](MeshPoint a, MeshPoint b, MeshPoint c) {
        return (std::int64_t(b.x) - a.x) * (std::int64_t(c.y) - a.y) - (std::int64_t(b.y) - a.y) * (std::int64_t(c.x) - a.x);
    };
    for (int r = std::max(1, row - 1); r <= std::min(mesh.rows, row); ++r)
        for (int c = std::max(1, column - 1); c <= std::min(mesh.columns, column); ++c) {
            const MeshPoint tl = mesh.point(c, r), tr = mesh.point(c + 1, r);
            const MeshPoint bl = mesh.point(c, r + 1), br = mesh.point(c + 1, r + 1);
            if (cross(tl, bl, br) >= 0 || cross(tl, tr, br) <= 0)
                return true;
        }
    return false;
}

// Moves each point of a folded triangle the least towards `safe` (a mesh that does not fold)
// that unfolds the triangles around it; true when nothing folds any more.
bool repairFolds(MorphMesh& mesh, const MorphMesh& safe)
{
    for (int pass = 0; pass < kRepairPasses; ++pass) {
        const std::vector<int> folded = foldedTriangles(mesh);
        if (folded.empty())
            return true;
        for (int triangle : folded) {
            const int cell = (triangle - 1) / 2;
            const int c = cell % mesh.columns + 1, r = cell / mesh.columns + 1;
            const bool lower = (triangle - 1) % 2 == 0;   // (TL, BL, BR), else (TL, TR, BR)
            const std::array<std::pair<int, int>, 3> corners{
                {{c, r}, lower ? std::pair{c, r + 1} : std::pair{c + 1, r}, {c + 1, r + 1}}};
            for (auto [column, row] : corners) {
                if (!foldsAround(mesh, column, row))
                    continue;
                const MeshPoint from = mesh.point(column, row), to = safe.point(column, row);
                const auto at = [&](double t) {
                    return MeshPoint{int(std::lround(from.x + t * (to.x - from.x))),
                                     int(std::lround(from.y + t * (to.y - from.y)))};
                };
                double low = 0, high = 1;
                mesh.point(column, row) = to;
                if (foldsAround(mesh, column, row))
                    continue;   // its neighbours must move too: a later triangle or pass
                for (int step = 0; step < kBisections; ++step) {
                    const double middle = (low + high) / 2;
                    mesh.point(column, row) = at(middle);
                    (foldsAround(mesh, column, row) ? low : high) = middle;
                }
                mesh.point(column, row) = at(high);
            }
        }
    }
    if (foldedTriangles(mesh).empty())
        return true;
    mesh = safe;   // nothing short of the safe mesh unfolds it
    return foldedTriangles(mesh).empty();
}

// Mesh 1 as the alignment alone places it in picture 2's pixels (or unmoved, in the frame).
MorphMesh alignedOnly(const MorphMesh& mesh1, const Alignment* alignment)
{
    MorphMesh mesh = mesh1;
    for (int row = 1; row <= mesh1.rows + 1; ++row)
        for (int column = 1; column <= mesh1.columns + 1; ++column) {
            const MeshPoint p = mesh1.point(column, row);
            const cv::Point2d moved = alignment ? mapThrough(alignment->matrix, {double(p.x), double(p.y)})
                                                : cv::Point2d(p.x, p.y);
            mesh.point(column, row) = keepBorder(mesh1, column, row, rounded(moved, mesh1.width, mesh1.height));
        }
    return mesh;
}

// Picture 1's grey pixels in `area` at `reduction`, and picture 2 aligned onto the same field.
std::pair<cv::Mat, cv::Mat> fieldPictures(const cv::Mat& grey1, const cv::Mat& grey2, const Alignment& alignment,
                                          const FlowField& field, cv::Rect area)
{
    cv::Mat picture1, picture2Reduced, picture2;
    if (field.reduction >= 1.0) {
        picture1 = grey1(area).clone();
        picture2Reduced = grey2;
    } else {
        cv::resize(grey1(area), picture1, cv::Size(), field.reduction, field.reduction, cv::INTER_AREA);
        cv::resize(grey2, picture2Reduced, cv::Size(), field.reduction, field.reduction, cv::INTER_AREA);
    }
    // Field position -> picture 1's pixels -> picture 2's pixels -> picture 2's reduced copy.
    const cv::Matx33d inverseMap = toReduced(field.reduction) * cv::Matx33d(alignment.matrix.data()) * field.toFullMatrix();
    cv::warpPerspective(picture2Reduced, picture2, cv::Mat(inverseMap), picture1.size(),
                        cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(255));
    return {picture1, picture2};
}

// `coarse` resampled over `fine`'s field, in fine's units: where the refinement starts.
cv::Mat resampledFlow(const FlowField& coarse, const FlowField& fine, cv::Size size)
{
    cv::Mat mapX(size, CV_32F), mapY(size, CV_32F);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const cv::Point2d at = coarse.toField(fine.toFull({double(x), double(y)}));
            mapX.at<float>(y, x) = float(at.x);
            mapY.at<float>(y, x) = float(at.y);
        }
    cv::Mat flow;
    cv::remap(coarse.flow, flow, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return flow * (fine.reduction / coarse.reduction);
}

// The flow inside picture 1's face at a finer size than the whole picture's, started from the
// whole picture's: a face of a few hundred pixels in a large photo is seen at full detail.
// None where the face is already seen at that size (the whole picture is small enough).
std::optional<FlowField> faceField(const cv::Mat& grey1, const cv::Mat& grey2, const Alignment& alignment,
                                   const FlowField& whole)
{
    const FaceBox& face = *alignment.firstFace;
    const double margin = kFaceMargin * std::max(face.width, face.height);
    const cv::Rect area = cv::Rect(int(face.x - margin), int(face.y - margin), int(face.width + 2 * margin),
                                   int(face.height + 2 * margin)) & cv::Rect(0, 0, grey1.cols, grey1.rows);
    const double reduction = std::min(1.0, double(kFlowLongSide) / std::max(area.width, area.height));
    if (reduction < whole.reduction * kFinerFace || std::min(area.width, area.height) * reduction < kMinFlowSide)
        return std::nullopt;
    FlowField field{cv::Mat(), reduction, cv::Point2d(area.x, area.y)};
    auto [picture1, picture2] = fieldPictures(grey1, grey2, alignment, field, area);
    field.flow = resampledFlow(whole, field, picture1.size());
    // DIS starts from a given flow of the pictures' size and type.
    cv::DISOpticalFlow::create(kFlowPreset)->calc(picture1, picture2, field.flow);
    return field;
}

bool insideFace(const FaceBox& face, MeshPoint p)
{
    return p.x > face.x && p.y > face.y && p.x < face.x + face.width && p.y < face.y + face.height;
}

}  // namespace

std::optional<PlacedMesh> placeSecondMesh(const Bitmap& first, const Bitmap& second, const Alignment& alignment,
                                          const MorphMesh& mesh1, const GiveUp& giveUp)
{
    useCpuOnly();
    const int width = first.width(), height = first.height();
    const int secondWidth = second.width(), secondHeight = second.height();
    if (mesh1.width != width || mesh1.height != height || mesh1.columns < 1 || mesh1.rows < 1 ||
        mesh1.points.size() != std::size_t(mesh1.columns + 1) * (mesh1.rows + 1) || !foldedTriangles(mesh1).empty())
        return std::nullopt;
    const double reduction = std::min(1.0, double(kFlowLongSide) / std::max(width, height));
    if (std::min(width, height) * reduction < kMinFlowSide)
        return std::nullopt;
    if (std::min(secondWidth, secondHeight) * reduction < 1)
        return std::nullopt;
    cv::Mat grey1, grey2;
    cv::cvtColor(wrap(first), grey1, cv::COLOR_BGRA2GRAY);
    cv::cvtColor(wrap(second), grey2, cv::COLOR_BGRA2GRAY);
    FlowField whole{cv::Mat(), reduction, {0, 0}};
    auto [picture1, picture2] = fieldPictures(grey1, grey2, alignment, whole, cv::Rect(0, 0, width, height));
    if (giveUp && giveUp())
        return std::nullopt;
    cv::DISOpticalFlow::create(kFlowPreset)->calc(picture1, picture2, whole.flow);
    if (giveUp && giveUp())
        return std::nullopt;
    const std::optional<FlowField> face = alignment.firstFace ? faceField(grey1, grey2, alignment, whole) : std::nullopt;
    if (giveUp && giveUp())
        return std::nullopt;

    // The median's window covers the same share of a cell in either field.
    const double cell = std::min(double(width) / mesh1.columns, double(height) / mesh1.rows);
    PlacedMesh placed{mesh1, mesh1};
    placed.refinedInFace = face.has_value();
    for (int row = 1; row <= mesh1.rows + 1; ++row)
        for (int column = 1; column <= mesh1.columns + 1; ++column) {
            const MeshPoint p = mesh1.point(column, row);
            const FlowField& field = face && insideFace(*alignment.firstFace, p) ? *face : whole;
            const int radius = std::clamp(int(cell * field.reduction * kWindowPerCell), kMinWindow, kMaxWindow);
            const cv::Point2d inFrame = cv::Point2d(p.x, p.y) +
                                        medianFlow(field, {double(p.x), double(p.y)}, radius, alignment, secondWidth, secondHeight);
            const cv::Point2d inSecond = mapThrough(alignment.matrix, inFrame);
            placed.inFrame.point(column, row) = keepBorder(mesh1, column, row, rounded(inFrame, width, height));
            placed.inSecond.point(column, row) = keepBorder(mesh1, column, row, rounded(inSecond, width, height));
        }
    if (!repairFolds(placed.inFrame, alignedOnly(mesh1, nullptr)) ||
        !repairFolds(placed.inSecond, alignedOnly(mesh1, &alignment)))
        return std::nullopt;
    return placed;
}

static AutoMeshResult autoMeshPairOrThrow(const Picture& first, const Picture& second, const MorphMesh& mesh1,
                                   const GiveUp& giveUp)
{
    AutoMeshResult result;
    // As Align does: the faces' eyes where each picture holds one face and the features do not
    // lay them on each other, so two people's faces morph eye to eye.
    const std::optional<Alignment> alignment = alignPictures(first.bitmap(), second.bitmap());

    if (!alignment || (giveUp && giveUp())) {
        result.messages.push_back(kAlignFailure);
        return result;
    }
    std::optional<PlacedMesh> placed = placeSecondMesh(first.bitmap(), second.bitmap(), *alignment, mesh1, giveUp);
    if (!placed) {
        result.messages.push_back(kAutoMeshFailure);
        return result;
    }
    result.messages.push_back(describeAlignment(*alignment, first.width(), first.height()));
    char text[96];
    std::snprintf(text, sizeof text, "Auto Points: placed %zu points of mesh 2%s", mesh1.points.size(),
                  placed->refinedInFace ? ", refined inside the face" : "");
    result.messages.push_back(text);
    result.pair = MorphMeshPair{mesh1, std::move(placed->inSecond)};
    result.inFrame = std::move(placed->inFrame);
    return result;
}


AutoMeshResult autoMeshPair(const Picture& first, const Picture& second, const MorphMesh& mesh1, const GiveUp& giveUp)
{
    AutoMeshResult result;
    try {
        result = autoMeshPairOrThrow(first, second, mesh1, giveUp);
    } catch (const cv::Exception&) {
        result = AutoMeshResult{};
        result.messages.push_back(kAutoMeshFailure);
    }
    return result;
}

}  // namespace vantorell
