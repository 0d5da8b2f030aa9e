#include "console/gestures.h"

#include <algorithm>
#include <set>

#include "console/phrases.h"
#include "link/control_commands.h"
#include "link/settings.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

// A key that is a whole decimal number 0..65535 (no sign, no blanks).
std::optional<uint16_t> GestureNumber(const std::string& key) {
    if (key.empty() || key.size() > 5)
        return std::nullopt;
    uint32_t n = 0;
    for (char c : key) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    if (n > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(n);
}

}  // namespace

std::string GestureCaption(uint32_t number) {
    return "Жест " + std::to_string(number);
}

std::vector<Gesture> LoadGestures(const IniFile& ini) {
    std::vector<Gesture> gestures;
    std::set<uint16_t> seen;
    for (const auto& [key, value] : ini.GetSection(kSectionGestures)) {
        const auto number = GestureNumber(key);
        if (!number || !seen.insert(*number).second)
            continue;
        gestures.push_back({*number, WideToUtf8(CutPhrase(Utf8ToWide(value), kGestureNameLimit))});
    }
    return gestures;
}

void SaveGestures(IniFile& ini, const std::vector<Gesture>& gestures) {
    ini.ClearSection(kSectionGestures);
    for (const auto& g : gestures)
        ini.WriteString(kSectionGestures, std::to_string(g.number), g.name);
}

CGestures::CGestures(IRobotLink& link, IniFile& ini) : link_(link), ini_(ini) {}

void CGestures::Load() {
    gestures_ = LoadGestures(ini_);
    Changed();
}

bool CGestures::Save() {
    WriteTo(ini_);
    return ini_.Save();
}

void CGestures::Changed() {
    if (changed_)
        changed_();
}

std::string CGestures::Limited(std::string name) {
    return WideToUtf8(CutPhrase(Utf8ToWide(name), kGestureNameLimit));
}

int CGestures::Find(uint32_t number) const {
    for (std::size_t i = 0; i < gestures_.size(); ++i) {
        if (gestures_[i].number == number)
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<uint16_t> CGestures::ProposedNumber() const {
    std::vector<bool> used(65536, false);
    for (const auto& g : gestures_)
        used[g.number] = true;
    for (uint32_t n = 0; n < used.size(); ++n) {
        if (!used[n])
            return static_cast<uint16_t>(n);
    }
    return std::nullopt;
}

bool CGestures::Add(uint16_t number, std::string name) {
    if (Exists(number))
        return false;
    gestures_.push_back({number, Limited(std::move(name))});
    Changed();
    Save();
    return true;
}

bool CGestures::Change(std::size_t i, uint16_t number, std::string name) {
    if (i >= gestures_.size())
        return false;
    const int other = Find(number);
    if (other >= 0 && static_cast<std::size_t>(other) != i)
        return false;
    gestures_[i] = {number, Limited(std::move(name))};
    Changed();
    Save();
    return true;
}

void CGestures::Remove(std::size_t i) {
    if (i >= gestures_.size())
        return;
    gestures_.erase(gestures_.begin() + static_cast<std::ptrdiff_t>(i));
    Changed();
    Save();
}

void CGestures::Recorded(uint16_t number, std::string name) {
    const int i = Find(number);
    if (i >= 0)
        gestures_[static_cast<std::size_t>(i)].name = Limited(std::move(name));
    else
        gestures_.push_back({number, Limited(std::move(name))});
    Changed();
    Save();
}

bool CGestures::Perform(std::size_t i) {
    if (i >= gestures_.size() || !link_.Authorised())
        return false;
    SendGesturePlay(link_, gestures_[i].number);
    return true;
}

// ------------------------------------------------------------------ recorder

CGestureRecorder::CGestureRecorder(IRobotLink& link, CGestures& gestures)
    : link_(link), gestures_(gestures) {
    reply_ = link_.Dispatcher().Register(msg::kGestureRecord,
                                         [this](CStream& s, int32_t n) { OnReply(s, n); });
}

CGestureRecorder::~CGestureRecorder() = default;

uint16_t CGestureRecorder::ProposedNumber() const {
    return gestures_.ProposedNumber().value_or(0);
}

bool CGestureRecorder::Start(uint16_t number, std::string name, uint32_t now, Done done) {
    if (pending_)
        return false;
    pending_ = true;
    number_ = number;
    name_ = std::move(name);
    started_ = now;
    done_ = std::move(done);
    SendGestureRecord(link_, number);
    return true;
}

void CGestureRecorder::Tick(uint32_t now) {
    // Unsigned difference: the millisecond counter may wrap.
    if (pending_ && now - started_ >= static_cast<uint32_t>(kGestureRecordTimeoutMs))
        Finish(RecordOutcome::Failed);
}

void CGestureRecorder::Cancel() {
    pending_ = false;
    done_ = nullptr;
}

void CGestureRecorder::OnReply(CStream& payload, int32_t length) {
    if (!pending_)
        return;
    // Fewer than four bytes hold no number: not a recording of gesture 0.
    if (length < 4) {
        Finish(RecordOutcome::Failed);
        return;
    }
    const uint32_t written = ReadU32(payload);
    if (written != number_) {
        Finish(RecordOutcome::Failed);
        return;
    }
    gestures_.Recorded(number_, name_);
    Finish(RecordOutcome::Recorded);
}

void CGestureRecorder::Finish(RecordOutcome outcome) {
    pending_ = false;
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(outcome, number_);
}

}  // namespace velcora
