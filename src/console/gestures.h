// Gestures: numbered movements stored on the robot. The list (number and
// name, in panel order) persists in the settings' GESTURES section; a gesture
// is performed with 0x514B and recorded under a number with 0x514A, whose
// reply the recorder waits for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/ini_file.h"
#include "link/robot_link.h"

namespace velcora {

inline constexpr int kGestureButtonWidth = 80;
inline constexpr int kGestureButtonHeight = 25;
inline constexpr int kGestureButtonGap = 2;
inline constexpr std::size_t kGestureNameLimit = 256;  // what loading reads
// The focus goes back to the drive joystick this long after a gesture.
inline constexpr int32_t kGestureFocusMs = 200;
inline constexpr int32_t kNoConnectionErrorMs = 2000;
inline constexpr int32_t kGestureRecordTimeoutMs = 4000;

struct Gesture {
    uint16_t number = 0;
    std::string name;  // UTF-8
    bool operator==(const Gesture&) const = default;
};

// "Жест %d".
std::string GestureCaption(uint32_t number);
// The GESTURES section in file order: keys that are not whole numbers
// 0..65535, or repeat an earlier one, are skipped; names cut to 256.
std::vector<Gesture> LoadGestures(const IniFile& ini);
// Empties the section and writes one key per gesture in order.
void SaveGestures(IniFile& ini, const std::vector<Gesture>& gestures);

class CGestures {
  public:
    // `ini` is the settings file the list is saved to.
    CGestures(IRobotLink& link, IniFile& ini);

    void Load();
    // Writes the section and the file.
    bool Save();
    // Writes the section only (the settings' own save writes the file).
    void WriteTo(IniFile& ini) const { SaveGestures(ini, gestures_); }

    std::size_t Count() const { return gestures_.size(); }
    const Gesture& At(std::size_t i) const { return gestures_[i]; }
    const std::vector<Gesture>& All() const { return gestures_; }
    // Index of the gesture with this number, or -1.
    int Find(uint32_t number) const;
    bool Exists(uint32_t number) const { return Find(number) >= 0; }
    // The smallest number no gesture has (none when all 65536 are taken).
    std::optional<uint16_t> ProposedNumber() const;

    // Each saves; false (nothing changes) when another gesture has the number.
    bool Add(uint16_t number, std::string name);
    bool Change(std::size_t i, uint16_t number, std::string name);
    void Remove(std::size_t i);
    // A recorded gesture: renames the one with that number or adds it.
    void Recorded(uint16_t number, std::string name);

    // A click on a gesture button: 0x514B while connected. False when not
    // connected (the panel says so).
    bool Perform(std::size_t i);

    void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }

  private:
    void Changed();
    static std::string Limited(std::string name);

    IRobotLink& link_;
    IniFile& ini_;
    std::vector<Gesture> gestures_;
    std::function<void()> changed_;
};

enum class RecordOutcome { Recorded, Failed };

// Records the robot's current pose as a gesture: sends 0x514A with the number
// and waits, as a pending state checked by Tick, for the robot's 0x514A reply
// with the same number. A reply with another number, one too short to hold a
// number, or none within 4000 ms is a failure; replies while nothing waits
// are dropped.
class CGestureRecorder {
  public:
    using Done = std::function<void(RecordOutcome outcome, uint16_t number)>;

    CGestureRecorder(IRobotLink& link, CGestures& gestures);
    ~CGestureRecorder();
    CGestureRecorder(const CGestureRecorder&) = delete;
    CGestureRecorder& operator=(const CGestureRecorder&) = delete;

    // The proposal for the recording dialog: the first free number and
    // "Жест %d" (number 0 when every number is taken).
    uint16_t ProposedNumber() const;
    std::string ProposedName() const { return GestureCaption(ProposedNumber()); }

    // Starts a recording; false while one is pending. `done` is called once
    // with the outcome (a recorded gesture is already in the list and saved).
    bool Start(uint16_t number, std::string name, uint32_t now, Done done = nullptr);
    bool Pending() const { return pending_; }
    // Checks the deadline.
    void Tick(uint32_t now);
    // Forgets a pending recording without telling anyone (the window closed).
    void Cancel();

  private:
    void OnReply(CStream& payload, int32_t length);
    void Finish(RecordOutcome outcome);

    IRobotLink& link_;
    CGestures& gestures_;
    CMessageDispatcher::Registration reply_;
    bool pending_ = false;
    uint16_t number_ = 0;
    std::string name_;
    uint32_t started_ = 0;
    Done done_;
};

}  // namespace velcora
