#include "align/FaceAlign.h"

#include "align/CpuOnly.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#ifndef VANTORELL_CASCADE_FOLDER
#define VANTORELL_CASCADE_FOLDER "/usr/share/opencv4/haarcascades"
#endif

namespace vantorell {

namespace {

constexpr int kFaceSearchLongSide = 320;    // faces are sought on a grey copy about this big
constexpr int kMinFaceShare = 4;            // a face at least a quarter of the short side
constexpr int kFaceNeighbours = 5;          // detections that must agree on a face
constexpr double kFaceScaleStep = 1.15;     // sizes tried grow by this much
constexpr int kEyeSearchWidth = 200;        // eyes are sought in the face at this width
constexpr double kEyeScaleStep = 1.05;      // fine steps: the box's centre is then the eye's
constexpr int kEyeNeighbours = 5;           // a box many detections agree on sits steadier
constexpr double kEyeZone = 0.6;            // eyes lie in the upper part of the face box
constexpr double kMinEyeGap = 0.2, kMaxEyeGap = 0.7;   // eye distance over the face's width
constexpr double kMaxEyeSlope = 0.5;        // eyes side by side: |dy| at most half of dx
constexpr double kMinScale = 0.5, kMaxScale = 2.0;
constexpr double kAgreement = 0.2;

// The three cascades of a folder, loaded once: their files are large (a second for all three
// on a busy machine is possible). Detection changes a classifier's buffers, so users take turns.
struct Cascades {
    cv::CascadeClassifier face, eye, cat;
};

std::mutex cascadeMutex;

Cascades& cascadesIn(const std::filesystem::path& folder)
{
    static std::map<std::filesystem::path, Cascades> loaded;
    const auto [place, added] = loaded.try_emplace(folder);
    if (added) {
        // A missing or unreadable file leaves its classifier empty: no face of that kind.
        const auto load = [&](cv::CascadeClassifier& classifier, const char* name) {
            std::error_code error;
            if (std::filesystem::is_regular_file(folder / name, error))
                classifier.load((folder / name).string());
        };
        load(place->second.face, "haarcascade_frontalface_default.xml");
        load(place->second.eye, "haarcascade_eye.xml");
        load(place->second.cat, "haarcascade_frontalcatface.xml");
    }
    return place->second;
}

std::vector<cv::Rect> detect(cv::CascadeClassifier& classifier, const cv::Mat& grey, int minSide)
{
    std::vector<cv::Rect> found;
    if (!classifier.empty())
        classifier.detectMultiScale(grey, found, kFaceScaleStep, kFaceNeighbours, 0, cv::Size(minSide, minSide));
    return found;
}


// The two eyes of a face box (full-size pixels), sought in the face cut from the full-size grey
// copy at kEyeSearchWidth: the pair side by side in the upper part that lies most level.
std::optional<std::array<PicturePoint, 2>> findEyes(cv::CascadeClassifier& eyes, const cv::Mat& grey, const FaceBox& box)
{
    const cv::Rect cut = cv::Rect(int(box.x), int(box.y), int(box.width), int(box.height)) & cv::Rect(0, 0, grey.cols, grey.rows);
    if (cut.width < 16 || cut.height < 16 || eyes.empty())
        return std::nullopt;
    const double scale = double(cut.width) / kEyeSearchWidth;
    cv::Mat face;
    cv::resize(grey(cut), face, cv::Size(kEyeSearchWidth, std::max(1, int(cut.height / scale))), 0, 0, cv::INTER_AREA);
    cv::equalizeHist(face, face);
    std::vector<cv::Rect> found;
    eyes.detectMultiScale(face(cv::Rect(0, 0, face.cols, int(face.rows * kEyeZone))), found, kEyeScaleStep, kEyeNeighbours, 0,
                          cv::Size(kEyeSearchWidth / 10, kEyeSearchWidth / 10),
                          cv::Size(kEyeSearchWidth / 3, kEyeSearchWidth / 3));
    std::vector<PicturePoint> centres;
    for (const cv::Rect& box : found) {
        centres.push_back({cut.x + (box.x + box.width / 2.0) * scale, cut.y + (box.y + box.height / 2.0) * scale});
    }
    std::optional<std::array<PicturePoint, 2>> best;
    double bestSlope = kMaxEyeSlope;
    for (const PicturePoint left : centres)
        for (const PicturePoint right : centres) {
            const double dx = right.x - left.x, slope = std::abs(right.y - left.y) / std::max(dx, 1e-9);
            if (dx < kMinEyeGap * box.width || dx > kMaxEyeGap * box.width || slope > bestSlope)
                continue;
            bestSlope = slope;
            best = std::array<PicturePoint, 2>{left, right};
        }
    return best;
}

// A similarity taking picture 1's points a0, a1 onto picture 2's b0, b1.
Alignment similarityOf(PicturePoint a0, PicturePoint a1, PicturePoint b0, PicturePoint b1)
{
    // As complex numbers: b = s * a + t with s = (b1 - b0) / (a1 - a0).
    const double ax = a1.x - a0.x, ay = a1.y - a0.y, bx = b1.x - b0.x, by = b1.y - b0.y;
    const double norm = ax * ax + ay * ay;
    const double c = (bx * ax + by * ay) / norm, s = (by * ax - bx * ay) / norm;
    Alignment alignment;
    alignment.matrix = {c, -s, b0.x - (c * a0.x - s * a0.y), s, c, b0.y - (s * a0.x + c * a0.y), 0, 0, 1};
    return alignment;
}

PicturePoint mapped(const Alignment& a, PicturePoint p)
{
    const auto& m = a.matrix;
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

double distance(PicturePoint a, PicturePoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

std::filesystem::path defaultCascadeFolder() { return VANTORELL_CASCADE_FOLDER; }

std::optional<FoundFace> findSingleFace(const Bitmap& picture, const std::filesystem::path& cascadeFolder)
{
    useCpuOnly();
    const int longSide = std::max(picture.width(), picture.height());
    const double reduction = longSide > 0 ? std::min(1.0, double(kFaceSearchLongSide) / longSide) : 1.0;
    const int minSide = int(std::min(picture.width(), picture.height()) * reduction / kMinFaceShare);
    if (picture.empty() || minSide < 24)
        return std::nullopt;   // too small (or thin) to hold a face the cascades can see
    try {
        cv::Mat grey, reduced;
        const cv::Mat bgra(picture.height(), picture.width(), CV_8UC4, const_cast<std::uint8_t*>(picture.bits()),
                           picture.stride());
        cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
        cv::resize(grey, reduced, cv::Size(), reduction, reduction, cv::INTER_AREA);
        cv::equalizeHist(reduced, reduced);

        std::lock_guard<std::mutex> lock(cascadeMutex);
        Cascades& cascades = cascadesIn(cascadeFolder);
        const std::vector<cv::Rect> faces = detect(cascades.face, reduced, minSide);
        const auto toBox = [&](const cv::Rect& r) {
            return FaceBox{r.x / reduction, r.y / reduction, r.width / reduction, r.height / reduction};
        };
        if (faces.size() == 1) {
            FoundFace face;
            face.box = toBox(faces.front());
            const auto eyes = findEyes(cascades.eye, grey, face.box);
            if (!eyes)
                return std::nullopt;
            face.eyes = *eyes;
            return face;
        }
        if (!faces.empty())
            return std::nullopt;
        const std::vector<cv::Rect> cats = detect(cascades.cat, reduced, minSide);
        if (cats.size() != 1)
            return std::nullopt;
        FoundFace face;
        face.cat = true;
        face.box = toBox(cats.front());
        face.eyes = {face.box.centre(), face.box.centre()};
        return face;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

std::optional<Alignment> alignFaces(const FoundFace& first, const FoundFace& second)
{
    if (first.cat != second.cat)
        return std::nullopt;
    Alignment alignment;
    if (first.cat) {
        // Box on box: the top-left and top-right corners carry position and size, no turn.
        const FaceBox &a = first.box, &b = second.box;
        alignment = similarityOf({a.x, a.y}, {a.x + a.width, a.y}, {b.x, b.y}, {b.x + b.width, b.y});
        alignment.basis = AlignmentBasis::CatFaces;
    } else {
        alignment = similarityOf(first.eyes[0], first.eyes[1], second.eyes[0], second.eyes[1]);
        alignment.basis = AlignmentBasis::Eyes;
    }
    const double scale = std::hypot(alignment.matrix[0], alignment.matrix[3]);
    if (!(scale >= kMinScale && scale <= kMaxScale))
        return std::nullopt;
    return alignment;
}

bool agreesWithFaces(const Alignment& alignment, const FoundFace& first, const FoundFace& second)
{
    if (first.cat != second.cat)
        return false;
    if (first.cat) {
        const FaceBox &a = first.box, &b = second.box;
        const PicturePoint left = mapped(alignment, {a.x, a.y}), right = mapped(alignment, {a.x + a.width, a.y});
        const double width = distance(left, right);
        return distance(mapped(alignment, a.centre()), b.centre()) <= kAgreement * b.width &&
               std::abs(width - b.width) <= kAgreement * b.width;
    }
    const double gap = distance(second.eyes[0], second.eyes[1]);
    const double mappedGap = distance(mapped(alignment, first.eyes[0]), mapped(alignment, first.eyes[1]));
    return distance(mapped(alignment, first.eyes[0]), second.eyes[0]) <= kAgreement * gap &&
           distance(mapped(alignment, first.eyes[1]), second.eyes[1]) <= kAgreement * gap &&
           std::abs(mappedGap - gap) <= kAgreement * gap;
}

}  // namespace vantorell
