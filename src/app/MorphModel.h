// The window's morph: the two meshes the user edits for the Fade (display-free, so tests drive
// it without a window), their undo and redo, the timing, the "Morph" choice and the settings
// they keep. Off, the window's requests are exactly those of a plain fade.
#pragma once

#include "job/MixRequest.h"
#include "platform/SettingsStore.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vantorell {

// Settings keys of the morph (section [Vantorell]); a store without them gives the plain fade.
namespace morphkeys {
inline constexpr std::string_view kEnabled = "Morph";                  // True / False
inline constexpr std::string_view kMeshes = "Morph Meshes";            // the mesh file's JSON on one line
inline constexpr std::string_view kShapeEasing = "Morph Shape Easing"; // linear, in, out, in-out
inline constexpr std::string_view kColourEasing = "Morph Colour Easing";
inline constexpr std::string_view kHoldStart = "Morph Hold Start";     // 0 .. 32767
inline constexpr std::string_view kHoldEnd = "Morph Hold End";
inline constexpr std::string_view kPingPong = "Morph Ping-Pong";       // True / False
}  // namespace morphkeys

class MorphModel {
public:
    explicit MorphModel(SettingsStore& settings) : m_settings(settings) {}

    // Reads the morph's keys; a missing or damaged value keeps its default.
    void restore();

    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // The meshes being edited: both laid over the frame (the first picture's size); empty
    // (no points) until fitTo() is called.
    const MorphMeshPair& meshes() const { return m_meshes; }
    bool hasMeshes() const { return !m_meshes.mesh1.points.empty(); }
    // Makes the meshes fit a frame of width x height: the edited meshes scaled, or a regular
    // 5 x 5 pair when there are none or the scaled ones would fold. Not an undoable edit.
    void fitTo(int width, int height);

    // The pair with point `index` of mesh `which` (1 or 2) moved to `to`, kept inside the frame;
    // with mirroring the same point of the other mesh moves by the same offset.
    MorphMeshPair moved(int which, std::size_t index, MeshPoint to) const;
    // Takes an edited pair; refused (false) when it folds or leaves the frame.
    bool commit(const MorphMeshPair& pair);
    void setGrid(int columns, int rows);   // a regular pair of that grid, 2 ... 16
    void reset();                          // the regular pair of the current grid
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    void undo();
    void redo();
    bool mirror = false;

    // The mesh file: load replaces the meshes (scaled to the frame), save writes them.
    bool load(const std::filesystem::path& file, std::string& error);
    bool save(const std::filesystem::path& file, std::string& error) const;

    const MorphTiming& timing() const { return m_timing; }
    void setTiming(const MorphTiming& timing);

    // With the morph on: the request's meshes and timing; off: the request stays as it is.
    void applyTo(MixRequest& request) const;

    // Called after every change (the view redraws).
    std::function<void()> onChanged;
    // Called when the "Morph" choice changes (by the user or the restore).
    std::function<void()> onEnabledChanged;

    static constexpr std::size_t kUndoDepth = 200;

private:
    void replace(const MorphMeshPair& pair, bool undoable);
    void store(std::string_view key, const std::string& value);
    void changed();

    SettingsStore& m_settings;
    bool m_enabled = false;
    MorphMeshPair m_meshes;
    MorphTiming m_timing;
    std::vector<MorphMeshPair> m_undo, m_redo;
};

}  // namespace vantorell
