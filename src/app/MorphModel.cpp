#include "app/MorphModel.h"


#include <algorithm>
#include <charconv>

namespace vantorell {

namespace {

std::optional<int> storedInt(const std::optional<std::string>& text, int min, int max)
{
    if (!text)
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

void MorphModel::restore()
{
    const auto get = [&](std::string_view key) { return m_settings.value(kSettingsApplication, kSettingsSection, key); };
    m_enabled = get(morphkeys::kEnabled) == std::optional<std::string>("True");
    if (const auto text = get(morphkeys::kMeshes)) {
        MeshFileResult read = parseMeshJson(*text);
        if (read.pair)
            m_meshes = *read.pair;
    }
    if (const auto text = get(morphkeys::kShapeEasing))
        m_timing.shapeEasing = easingFromName(*text).value_or(Easing::Linear);
    if (const auto text = get(morphkeys::kColourEasing))
        m_timing.colourEasing = easingFromName(*text).value_or(Easing::Linear);
    m_timing.holdStart = storedInt(get(morphkeys::kHoldStart), 0, MorphTiming::kMaxHoldFrames).value_or(0);
    m_timing.holdEnd = storedInt(get(morphkeys::kHoldEnd), 0, MorphTiming::kMaxHoldFrames).value_or(0);
    m_timing.pingPong = get(morphkeys::kPingPong) == std::optional<std::string>("True");
    if (onEnabledChanged)
        onEnabledChanged();
    changed();
}

void MorphModel::store(std::string_view key, const std::string& value)
{
    m_settings.setIfWritable(kSettingsApplication, kSettingsSection, key, value);
}

void MorphModel::changed()
{
    if (onChanged)
        onChanged();
}

void MorphModel::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    store(morphkeys::kEnabled, enabled ? "True" : "False");
    if (onEnabledChanged)
        onEnabledChanged();
    changed();
}

void MorphModel::fitTo(int width, int height)
{
    if (width < 1 || height < 1)
        return;
    if (hasMeshes() && m_meshes.mesh1.width == width && m_meshes.mesh1.height == height &&
        m_meshes.mesh2.width == width && m_meshes.mesh2.height == height)
        return;
    MorphMeshPair pair;
    if (hasMeshes()) {
        pair = {scaleMesh(m_meshes.mesh1, width, height), scaleMesh(m_meshes.mesh2, width, height)};
        if (checkMeshPair(pair))
            pair = regularMeshPair(m_meshes.mesh1.columns, m_meshes.mesh1.rows, width, height, width, height);
    } else {
        pair = regularMeshPair(kDefaultMeshCells, kDefaultMeshCells, width, height, width, height);
    }
    if (checkMeshPair(pair))   // a frame too small for the grid
        return;
    m_meshes = pair;
    changed();
}

MorphMeshPair MorphModel::moved(int which, std::size_t index, MeshPoint to) const
{
    MorphMeshPair pair = m_meshes;
    MorphMesh& mesh = which == 2 ? pair.mesh2 : pair.mesh1;
    MorphMesh& other = which == 2 ? pair.mesh1 : pair.mesh2;
    if (index >= mesh.points.size() || index >= other.points.size())
        return pair;
    const auto inside = [](const MorphMesh& m, MeshPoint p) {
        return MeshPoint{std::clamp(p.x, 0, m.width), std::clamp(p.y, 0, m.height)};
    };
    const MeshPoint from = mesh.points[index];
    mesh.points[index] = inside(mesh, to);
    if (mirror) {
        const MeshPoint o = other.points[index];
        other.points[index] = inside(other, {o.x + (mesh.points[index].x - from.x), o.y + (mesh.points[index].y - from.y)});
    }
    return pair;
}

bool MorphModel::commit(const MorphMeshPair& pair)
{
    if (pair == m_meshes)
        return true;
    if (checkMeshPair(pair))
        return false;
    replace(pair, true);
    return true;
}

void MorphModel::replace(const MorphMeshPair& pair, bool undoable)
{
    if (undoable) {
        m_undo.push_back(m_meshes);
        if (m_undo.size() > kUndoDepth)
            m_undo.erase(m_undo.begin());
        m_redo.clear();
    }
    m_meshes = pair;
    store(morphkeys::kMeshes, oneLine(meshJson(m_meshes)));
    changed();
}

void MorphModel::setGrid(int columns, int rows)
{
    columns = std::clamp(columns, kMinMeshCells, kMaxMeshCells);
    rows = std::clamp(rows, kMinMeshCells, kMaxMeshCells);
    if (!hasMeshes())
        return;
    const MorphMeshPair pair = regularMeshPair(columns, rows, m_meshes.mesh1.width, m_meshes.mesh1.height,
                                               m_meshes.mesh2.width, m_meshes.mesh2.height);
    if (!checkMeshPair(pair))
        replace(pair, true);
}

void MorphModel::reset()
{
    if (hasMeshes())
        setGrid(m_meshes.mesh1.columns, m_meshes.mesh1.rows);
}

void MorphModel::undo()
{
    if (m_undo.empty())
        return;
    m_redo.push_back(m_meshes);
    const MorphMeshPair pair = m_undo.back();
    m_undo.pop_back();
    replace(pair, false);
}

void MorphModel::redo()
{
    if (m_redo.empty())
        return;
    m_undo.push_back(m_meshes);
    const MorphMeshPair pair = m_redo.back();
    m_redo.pop_back();
    replace(pair, false);
}

bool MorphModel::load(const std::filesystem::path& file, std::string& error)
{
    MeshFileResult read = readMeshFile(file);
    if (!read.pair) {
        error = read.error;
        return false;
    }
    MorphMeshPair pair = *read.pair;
    if (hasMeshes()) {
        const int width = m_meshes.mesh1.width, height = m_meshes.mesh1.height;
        pair = {scaleMesh(pair.mesh1, width, height), scaleMesh(pair.mesh2, width, height)};
        if (auto why = checkMeshPair(pair)) {
            error = file.string() + ": at " + std::to_string(width) + " x " + std::to_string(height) + " " + *why;
            return false;
        }
    }
    replace(pair, true);
    return true;
}

bool MorphModel::save(const std::filesystem::path& file, std::string& error) const
{
    if (!hasMeshes()) {
        error = "there is no mesh to save yet";
        return false;
    }
    return writeMeshFile(file, m_meshes, error);
}

void MorphModel::setTiming(const MorphTiming& timing)
{
    if (timing == m_timing)
        return;
    m_timing = timing;
    store(morphkeys::kShapeEasing, std::string(easingName(timing.shapeEasing)));
    store(morphkeys::kColourEasing, std::string(easingName(timing.colourEasing)));
    store(morphkeys::kHoldStart, std::to_string(timing.holdStart));
    store(morphkeys::kHoldEnd, std::to_string(timing.holdEnd));
    store(morphkeys::kPingPong, timing.pingPong ? "True" : "False");
    changed();
}

void MorphModel::applyTo(MixRequest& request) const
{
    if (!m_enabled)
        return;
    if (hasMeshes())
        request.morphMeshes = m_meshes;
    request.morphTiming = m_timing;
}

}  // namespace vantorell
