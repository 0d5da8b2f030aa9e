// Undo and redo for the map editor: whole-map snapshots of the six lists
// (every item with its id, version, selection and pose, also the items that
// the file format leaves out), bounded in steps and in bytes. The robot's pose
// and the route are never part of a step: the robot already has them.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "nav/nav_project.h"

namespace velcora::nav {

class CMapHistory {
  public:
    static constexpr int32_t kMaxSteps = 100;
    static constexpr int64_t kMaxBytes = 64ll << 20;

    // Records the map as it is now, before an edit; the redo steps go.
    // False when the snapshot cannot be made (nothing is recorded then).
    bool Record(const CNavProject& map);
    // Records a snapshot taken earlier (when an edit began).
    void Push(std::string snapshot);
    // Puts the map back one step; the present state becomes the redo step.
    bool Undo(CNavProject& map);
    bool Redo(CNavProject& map);
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Clear();

    int32_t UndoSteps() const { return static_cast<int32_t>(undo_.size()); }
    int64_t Bytes() const { return bytes_; }

    static std::string Snapshot(const CNavProject& map);
    // Replaces the six lists' items with the snapshot's. The map's identity
    // stays; its version counter never goes back, so no later item reuses an
    // id that the robot may already know.
    static bool Restore(CNavProject& map, const std::string& snapshot);

  private:
    void Trim();

    std::deque<std::string> undo_;
    std::deque<std::string> redo_;
    int64_t bytes_ = 0;
};

}  // namespace velcora::nav
