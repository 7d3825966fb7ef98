#include "mix/MeshFile.h"

#include "platform/ByteSize.h"
#include "platform/InputFile.h"
#include "platform/PictureLimits.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace vantorell {

bool operator==(const MorphMeshPair& a, const MorphMeshPair& b)
{
    const auto same = [](const MorphMesh& m, const MorphMesh& n) {
        return m.columns == n.columns && m.rows == n.rows && m.width == n.width && m.height == n.height &&
               m.points == n.points;
    };
    return same(a.mesh1, b.mesh1) && same(a.mesh2, b.mesh2);
}

MorphMesh regularMesh(int columns, int rows, int width, int height)
{
    MorphMesh mesh;
    mesh.columns = columns;
    mesh.rows = rows;
    mesh.width = width;
    mesh.height = height;
    makeRegularMesh(mesh);
    return mesh;
}

MorphMeshPair regularMeshPair(int columns, int rows, int width1, int height1, int width2, int height2)
{
    return {regularMesh(columns, rows, width1, height1), regularMesh(columns, rows, width2, height2)};
}

std::vector<int> foldedTriangles(const MorphMesh& mesh)
{
    std::vector<int> folded;
    if (mesh.columns < 1 || mesh.rows < 1 || mesh.points.size() != std::size_t(mesh.columns + 1) * (mesh.rows + 1))
        return folded;
    // With y growing downwards the regular (TL, BL, BR) turns one way and (TL, TR, BR) the other.
    const auto cross = [](MeshPoint a, MeshPoint b, MeshPoint c) {
        return (std::int64_t(b.x) - a.x) * (std::int64_t(c.y) - a.y) - (std::int64_t(b.y) - a.y) * (std::int64_t(c.x) - a.x);
    };
    int k = 0;
    for (int r = 1; r <= mesh.rows; ++r) {
        for (int c = 1; c <= mesh.columns; ++c) {
            const MeshPoint tl = mesh.point(c, r), tr = mesh.point(c + 1, r);
            const MeshPoint bl = mesh.point(c, r + 1), br = mesh.point(c + 1, r + 1);
            ++k;
            if (cross(tl, bl, br) >= 0)
                folded.push_back(k);
            ++k;
            if (cross(tl, tr, br) <= 0)
                folded.push_back(k);
        }
    }
    return folded;
}

MorphMesh scaleMesh(const MorphMesh& mesh, int width, int height)
{
    MorphMesh scaled = mesh;
    scaled.width = width;
    scaled.height = height;
    if (mesh.width == width && mesh.height == height)
        return scaled;
    for (MeshPoint& p : scaled.points) {
        p.x = std::int32_t(std::lrint(mesh.width > 0 ? double(p.x) * width / mesh.width : 0.0));
        p.y = std::int32_t(std::lrint(mesh.height > 0 ? double(p.y) * height / mesh.height : 0.0));
    }
    return scaled;
}

std::optional<std::string> checkMeshPair(const MorphMeshPair& pair)
{
    const MorphMesh* meshes[2] = {&pair.mesh1, &pair.mesh2};
    if (pair.mesh1.columns != pair.mesh2.columns || pair.mesh1.rows != pair.mesh2.rows)
        return "the two meshes have different grids";
    for (int m = 0; m < 2; ++m) {
        const MorphMesh& mesh = *meshes[m];
        const std::string name = "mesh" + std::to_string(m + 1);
        if (mesh.columns < kMinMeshCells || mesh.columns > kMaxMeshCells || mesh.rows < kMinMeshCells ||
            mesh.rows > kMaxMeshCells)
            return "the grid must have 2 to 16 columns and rows";
        if (mesh.width < 1 || mesh.height < 1 || mesh.width > limits::kMaxPictureSide ||
            mesh.height > limits::kMaxPictureSide)
            return name + ": width and height must be 1 to " + std::to_string(limits::kMaxPictureSide);
        if (mesh.points.size() != std::size_t(mesh.columns + 1) * (mesh.rows + 1))
            return name + " needs " + std::to_string((mesh.columns + 1) * (mesh.rows + 1)) + " points";
        for (std::size_t i = 0; i < mesh.points.size(); ++i) {
            const MeshPoint p = mesh.points[i];
            if (p.x < 0 || p.y < 0 || p.x > mesh.width || p.y > mesh.height)
                return name + ": point " + std::to_string(i + 1) + " lies outside the picture";
        }
        const std::vector<int> folded = foldedTriangles(mesh);
        if (!folded.empty())
            return name + " folds over itself at triangle " + std::to_string(folded.front()) + " (" +
                   std::to_string(folded.size()) + " folded)";
    }
    return std::nullopt;
}

namespace {

using Json = nlohmann::json;

constexpr int kMaxDepth = 8;

// "line 3, column 7" of the byte at `offset` (both counted from 1; columns in bytes).
std::string position(std::string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t line = 1 + std::size_t(std::count(before.begin(), before.end(), '\n'));
    const std::size_t column = offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// JSON is text: a control byte other than tab, line feed and carriage return never appears in
// it, in a string or out. The offset of the first one, or npos.
std::size_t firstNonTextByte(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            return i;
    }
    return std::string_view::npos;
}

// Nesting deeper than the format's few levels is refused before the parser sees the text: the
// offset of the bracket that goes too deep, or npos.
std::size_t tooDeepAt(std::string_view text, int maxDepth)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return std::string_view::npos;
}

MeshFileResult failed(std::string why) { return {std::nullopt, std::move(why)}; }

// A whole number within [min, max] (a number with no fraction counts as whole).
std::optional<int> wholeNumber(const Json& value, int min, int max)
{
    if (!value.is_number())
        return std::nullopt;
    const double d = value.get<double>();
    if (!std::isfinite(d) || d != std::floor(d) || d < min || d > max)
        return std::nullopt;
    return int(d);
}

// A coordinate: any finite number within [-1, limit + 1] before rounding, rounded to the nearest
// integer; the bounds of the picture are checked afterwards with the whole mesh.
std::optional<std::int32_t> coordinate(const Json& value)
{
    if (!value.is_number())
        return std::nullopt;
    const double d = value.get<double>();
    if (!std::isfinite(d) || std::fabs(d) > 1e6)
        return std::nullopt;
    return std::int32_t(std::lrint(d));
}

std::optional<std::string> readMesh(const Json& root, const char* name, int columns, int rows, MorphMesh& mesh)
{
    const std::string label = name;
    const auto found = root.find(name);
    if (found == root.end() || !found->is_object())
        return "\"" + label + "\" is missing or not an object";
    const Json& object = *found;
    const auto width = object.contains("width") ? wholeNumber(object["width"], 1, limits::kMaxPictureSide) : std::nullopt;
    const auto height = object.contains("height") ? wholeNumber(object["height"], 1, limits::kMaxPictureSide) : std::nullopt;
    if (!width || !height)
        return label + ": \"width\" and \"height\" must be whole numbers from 1 to " +
               std::to_string(limits::kMaxPictureSide);
    const auto points = object.find("points");
    const std::size_t expected = std::size_t(columns + 1) * std::size_t(rows + 1);
    if (points == object.end() || !points->is_array())
        return label + ": \"points\" is missing or not a list";
    if (points->size() != expected)
        return label + " has " + std::to_string(points->size()) + " points; a " + std::to_string(columns) + " x " +
               std::to_string(rows) + " grid needs " + std::to_string(expected);
    mesh.columns = columns;
    mesh.rows = rows;
    mesh.width = *width;
    mesh.height = *height;
    mesh.points.clear();
    mesh.points.reserve(expected);
    for (std::size_t i = 0; i < expected; ++i) {
        const Json& point = (*points)[i];
        const auto x = point.is_array() && point.size() == 2 ? coordinate(point[0]) : std::nullopt;
        const auto y = point.is_array() && point.size() == 2 ? coordinate(point[1]) : std::nullopt;
        if (!x || !y)
            return label + ": point " + std::to_string(i + 1) + " is not a pair of numbers [x, y] in range";
        mesh.points.push_back({*x, *y});
    }
    return std::nullopt;
}

}  // namespace

MeshFileResult parseMeshJson(std::string_view text)
{
    if (text.size() > kMaxMeshFileBytes)
        return failed("the mesh file is larger than " + formatByteSize(kMaxMeshFileBytes));
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return failed("the mesh file is empty");
    if (const std::size_t at = firstNonTextByte(text); at != std::string_view::npos) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", unsigned(static_cast<unsigned char>(text[at])));
        return failed("the mesh file is not valid JSON: it is not text (byte " + std::string(byte) + " at " +
                      position(text, at) + ")");
    }
    if (const std::size_t at = tooDeepAt(text, kMaxDepth); at != std::string_view::npos)
        return failed("the mesh file nests deeper than " + std::to_string(kMaxDepth) + " levels (at " +
                      position(text, at) + ")");
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
        // e.byte counts from 1 and points just past what the parser read.
        return failed("the mesh file is not valid JSON at " + position(text, e.byte > 0 ? e.byte - 1 : 0));
    } catch (const Json::exception&) {   // a number beyond what a double holds
        return failed("the mesh file holds a number out of range");
    }
    if (!root.is_object())
        return failed("the mesh file must hold one JSON object");
    const auto columns = root.contains("columns") ? wholeNumber(root["columns"], kMinMeshCells, kMaxMeshCells) : std::nullopt;
    const auto rows = root.contains("rows") ? wholeNumber(root["rows"], kMinMeshCells, kMaxMeshCells) : std::nullopt;
    if (!columns || !rows)
        return failed("\"columns\" and \"rows\" must be whole numbers from 2 to 16");
    const int gridColumns = columns.value_or(kDefaultMeshCells), gridRows = rows.value_or(kDefaultMeshCells);
    MorphMeshPair pair;
    if (auto error = readMesh(root, "mesh1", gridColumns, gridRows, pair.mesh1))
        return failed(*error);
    if (auto error = readMesh(root, "mesh2", gridColumns, gridRows, pair.mesh2))
        return failed(*error);
    if (auto error = checkMeshPair(pair))
        return failed(*error);
    return {std::move(pair), {}};
}

MeshFileResult readMeshFile(const std::filesystem::path& path)
{
    if (const std::string problem = inputFileProblem(path); !problem.empty())
        return failed("cannot open the mesh file " + path.string() + ": " + problem);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failed("cannot open the mesh file " + path.string());
    std::string text(kMaxMeshFileBytes + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    if (in.bad())
        return failed("cannot read the mesh file " + path.string());
    text.resize(std::size_t(in.gcount()));
    MeshFileResult result = parseMeshJson(text);
    if (!result.pair)
        result.error = path.string() + ": " + result.error;
    return result;
}

std::string meshJson(const MorphMeshPair& pair)
{
    const auto meshText = [](const MorphMesh& mesh) {
        std::string text = "{\"width\": " + std::to_string(mesh.width) + ", \"height\": " + std::to_string(mesh.height) +
                           ", \"points\": [";
        for (std::size_t i = 0; i < mesh.points.size(); ++i) {
            if (i > 0)
                text += i % std::size_t(mesh.columns + 1) == 0 ? ",\n    " : ", ";
            else
                text += "\n    ";
            text += "[" + std::to_string(mesh.points[i].x) + ", " + std::to_string(mesh.points[i].y) + "]";
        }
        return text + "]}";
    };
    return "{\"columns\": " + std::to_string(pair.mesh1.columns) + ", \"rows\": " + std::to_string(pair.mesh1.rows) +
           ",\n \"mesh1\": " + meshText(pair.mesh1) + ",\n \"mesh2\": " + meshText(pair.mesh2) + "}\n";
}

bool writeMeshFile(const std::filesystem::path& path, const MorphMeshPair& pair, std::string& error)
{
    const std::string text = meshJson(pair);
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write " + path.string() + ": " + std::generic_category().message(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0)
            break;
        written += std::size_t(n);
    }
    const bool ok = written == text.size() && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path.string() + ": " + std::generic_category().message(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace vantorell
