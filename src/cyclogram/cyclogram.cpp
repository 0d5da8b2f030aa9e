#include "cyclogram/cyclogram.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace velcora {

namespace {

constexpr int64_t kI32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kI32Max = std::numeric_limits<int32_t>::max();
// Room reported by the move limits when nothing restricts a move.
constexpr int64_t kUnlimitedRoom = int64_t{1} << 30;

// Times come from files and from the robot, so sums and differences of them
// are formed wide and brought back into range rather than left to overflow.
int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp(v, kI32Min, kI32Max));
}

int64_t KeyTime(const CyclogramKey& k) {
    return k.time;
}
int64_t BlockStart(const AudioBlock& b) {
    return b.start;
}

// Shrinks or grows a record array so that its capacity is the count rounded
// up to the step; returns false (array untouched) when memory runs out.
template <typename T>
bool FitCapacity(std::vector<T>& items) {
    const auto wanted = static_cast<std::size_t>(RoundUpToStep(static_cast<int32_t>(items.size())));
    if (items.capacity() == wanted) {
        return true;
    }
    try {
        std::vector<T> fitted;
        fitted.reserve(wanted);
        std::move(items.begin(), items.end(), std::back_inserter(fitted));
        items.swap(fitted);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <typename T>
bool ReserveStep(std::vector<T>& items, int32_t count) {
    if (count < 0) {
        return false;
    }
    if (static_cast<std::size_t>(count) <= items.capacity()) {
        return true;
    }
    try {
        items.reserve(static_cast<std::size_t>(RoundUpToStep(count)));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

double Bezier(double s, double x0, double x1, double x2, double x3) {
    const double r = 1.0 - s;
    return r * r * r * x0 + 3.0 * s * r * r * x1 + 3.0 * s * s * r * x2 + s * s * s * x3;
}

bool EndsWithWav(const std::string& text) {
    if (text.size() < 4) {
        return false;
    }
    static const char kWav[] = ".wav";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = text[text.size() - 4 + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kWav[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

// ------------------------------------------------------------- motor track

bool CCyclogramTrack::reserveFor(int32_t count) {
    return ReserveStep(keys_, count);
}

bool CCyclogramTrack::appendKey(const CyclogramKey& key) {
    if (!reserveFor(count() + 1)) {
        return false;
    }
    keys_.push_back(key);
    return true;
}

bool CCyclogramTrack::resetKeys(int32_t count) {
    keys_.clear();
    FitCapacity(keys_);
    return reserveFor(count);
}

int32_t CCyclogramTrack::findKeyAtOrBefore(int32_t t) const {
    return FindAtOrBefore(keys_, t, KeyTime);
}

int32_t CCyclogramTrack::findKeyNear(int32_t t) const {
    for (int32_t i = 0; i < count(); ++i) {
        const int64_t d = static_cast<int64_t>(keys_[i].time) - t;
        if (d > -kKeyNearMs && d < kKeyNearMs) {
            return i;
        }
    }
    return -1;
}

float CCyclogramTrack::valueAt(int32_t t) const {
    const int32_t n = count();
    if (n == 0) {
        return 0.5f;
    }
    if (t < keys_[0].time) {
        return keys_[0].value;
    }
    const int32_t i = findKeyAtOrBefore(t);
    if (i >= n - 1) {
        return keys_[n - 1].value;
    }
    const CyclogramKey& k = keys_[i];
    const CyclogramKey& nk = keys_[i + 1];
    const int32_t outMode = k.outMode;
    const int32_t inMode = nk.inMode;
    const double span = static_cast<double>(static_cast<int64_t>(nk.time) - k.time);
    const double elapsed = static_cast<double>(static_cast<int64_t>(t) - k.time);

    if (outMode != kInterpolationBezier && inMode != kInterpolationBezier) {
        if (outMode == kInterpolationLinear || inMode == kInterpolationLinear) {
            const double v = k.value + elapsed * (static_cast<double>(nk.value) - k.value) /
                                           std::max(span, 10.0);
            return static_cast<float>(v);
        }
        return k.value;
    }

    const double d = std::max(span, 20.0);
    double outLength;
    double outDelta;
    if (outMode == kInterpolationLinear) {
        outLength = d;
        outDelta = static_cast<double>(nk.value) - k.value;
    } else if (outMode == kInterpolationStep) {
        outLength = d;
        outDelta = 0.0;
    } else {
        outLength = k.outLength;
        outDelta = k.outDelta;
    }
    outLength = std::min(outLength, d);
    double inLength;
    double inDelta;
    if (inMode == kInterpolationLinear) {
        inLength = d;
        inDelta = static_cast<double>(k.value) - nk.value;
    } else if (inMode == kInterpolationStep) {
        inLength = d;
        inDelta = 0.0;
    } else {
        inLength = nk.inLength;
        inDelta = nk.inDelta;
    }
    inLength = std::min(inLength, d);

    const double p0 = k.time;
    const double p1 = k.time + outLength;
    const double p2 = nk.time - inLength;
    const double p3 = nk.time;
    const double q0 = k.value;
    const double q1 = k.value + outDelta;
    const double q2 = nk.value + inDelta;
    const double q3 = nk.value;
    const double tt = t;

    double lo = 0.0;
    double hi = 1.0;
    for (int step = 0; step < 8; ++step) {
        const double mid = (lo + hi) / 2.0;
        const double x = Bezier(mid, p0, p1, p2, p3);
        if (tt > x) {
            lo = mid;
        } else if (tt < x) {
            hi = mid;
        } else {
            break;
        }
    }
    const double xl = Bezier(lo, p0, p1, p2, p3);
    const double xh = Bezier(hi, p0, p1, p2, p3);
    const double yl = Bezier(lo, q0, q1, q2, q3);
    const double yh = Bezier(hi, q0, q1, q2, q3);
    return static_cast<float>(yl + (yh - yl) * (tt - xl) / std::max(xh - xl, 1.0));
}

int32_t CCyclogramTrack::insertKeyAfter(int32_t i) {
    const int32_t n = count();
    if (i < -1) {
        return -1;
    }
    if (!reserveFor(n + 1)) {
        return -1;
    }
    CyclogramKey key;
    if (n > 0 && i >= n - 1) {
        const CyclogramKey& last = keys_[n - 1];
        key.time = Saturate(static_cast<int64_t>(last.time) + 1000);
        key.value = last.value;
        key.inMode = last.outMode;
        key.inLength = last.outLength;
        key.inDelta = -last.outDelta;
        keys_.push_back(key);
        return n;
    }
    const int32_t at = n == 0 ? 0 : i + 1;
    if (i >= 0 && at < n) {
        const CyclogramKey& prev = keys_[i];
        const CyclogramKey& next = keys_[at];
        key.time = static_cast<int32_t>((static_cast<int64_t>(prev.time) + next.time) / 2);
        key.value = (prev.value + next.value) / 2.0f;
        key.outMode = next.inMode;
        key.outLength = next.inLength;
        key.outDelta = -next.inDelta;
        key.inMode = prev.outMode;
        key.inLength = prev.outLength;
        key.inDelta = -prev.outDelta;
    }
    keys_.insert(keys_.begin() + at, key);
    return at;
}

void CCyclogramTrack::deleteKey(int32_t i) {
    if (i < 0 || i >= count()) {
        return;
    }
    keys_.erase(keys_.begin() + i);
    FitCapacity(keys_);
}

void CCyclogramTrack::deleteSelected() {
    keys_.erase(std::remove_if(keys_.begin(), keys_.end(),
                               [](const CyclogramKey& k) { return k.selected != 0; }),
                keys_.end());
    FitCapacity(keys_);
}

bool CCyclogramTrack::canPaste(const CCyclogramTrack& clip, int32_t t) const {
    if (clip.count() == 0 || count() == 0) {
        return true;
    }
    const int64_t a = static_cast<int64_t>(t) + clip.keys_.front().time;
    const int64_t b = static_cast<int64_t>(t) + clip.keys_.back().time;
    if (a < kI32Min || b > kI32Max || a > kI32Max || b < kI32Min) {
        return false;  // the pasted times would not be representable
    }
    const int32_t k = FindAtOrBefore(keys_, a, KeyTime);
    if (k == -1) {
        return keys_.front().time >= b + kKeySpacingMs;
    }
    if (keys_[k].time > a - kKeySpacingMs) {
        return false;
    }
    return k + 1 >= count() || keys_[k + 1].time >= b + kKeySpacingMs;
}

bool CCyclogramTrack::paste(const CCyclogramTrack& clip, int32_t t) {
    if (!canPaste(clip, t)) {
        return false;
    }
    if (clip.count() == 0) {
        return true;
    }
    const int64_t a = static_cast<int64_t>(t) + clip.keys_.front().time;
    const int32_t k = count() == 0 ? -1 : FindAtOrBefore(keys_, a, KeyTime);
    if (!reserveFor(count() + clip.count())) {
        return false;
    }
    std::vector<CyclogramKey> pasted = clip.keys_;
    for (auto& key : pasted) {
        key.time = Saturate(static_cast<int64_t>(key.time) + t);
        key.selected = 1;
    }
    keys_.insert(keys_.begin() + (k + 1), pasted.begin(), pasted.end());
    return true;
}

// -------------------------------------------------------------- sound track

bool AudioBlock::isWaveFile() const {
    return text && EndsWithWav(*text);
}

bool CCyclogramAudioTrack::reserveFor(int32_t count) {
    return ReserveStep(blocks_, count);
}

bool CCyclogramAudioTrack::appendBlock(AudioBlock block) {
    if (!reserveFor(count() + 1)) {
        return false;
    }
    blocks_.push_back(std::move(block));
    return true;
}

bool CCyclogramAudioTrack::resetBlocks(int32_t count) {
    blocks_.clear();
    FitCapacity(blocks_);
    return reserveFor(count);
}

int32_t CCyclogramAudioTrack::findBlockAtOrBefore(int32_t t) const {
    return FindAtOrBefore(blocks_, t, BlockStart);
}

int32_t CCyclogramAudioTrack::findBlockCovering(int32_t t) const {
    for (int32_t i = 0; i < count(); ++i) {
        if (blocks_[i].start <= t && t < blocks_[i].end()) {
            return i;
        }
    }
    return -1;
}

int32_t CCyclogramAudioTrack::addBlockAt(int32_t t) {
    const int32_t k = findBlockAtOrBefore(t);
    if (k >= 0 && blocks_[k].end() > t) {
        return -1;
    }
    if (k + 1 < count() && blocks_[k + 1].start < static_cast<int64_t>(t) + kNewBlockLengthMs) {
        return -1;
    }
    if (!reserveFor(count() + 1)) {
        return -1;
    }
    AudioBlock block;
    block.start = t;
    block.length = kNewBlockLengthMs;
    blocks_.insert(blocks_.begin() + (k + 1), std::move(block));
    return k + 1;
}

void CCyclogramAudioTrack::deleteBlock(int32_t i) {
    if (i < 0 || i >= count()) {
        return;
    }
    blocks_.erase(blocks_.begin() + i);
    FitCapacity(blocks_);
}

void CCyclogramAudioTrack::deleteSelected() {
    blocks_.erase(std::remove_if(blocks_.begin(), blocks_.end(),
                                 [](const AudioBlock& b) { return b.selected != 0; }),
                  blocks_.end());
    FitCapacity(blocks_);
}

bool CCyclogramAudioTrack::canPaste(const CCyclogramAudioTrack& clip, int32_t t) const {
    if (clip.count() == 0 || count() == 0) {
        return true;
    }
    const int64_t a = static_cast<int64_t>(t) + clip.blocks_.front().start;
    const int64_t e = static_cast<int64_t>(t) + clip.blocks_.back().end();
    if (a < kI32Min || a > kI32Max || e > kI32Max) {
        return false;
    }
    const int32_t k = FindAtOrBefore(blocks_, a, BlockStart);
    if (k == -1) {
        return blocks_.front().start >= e;
    }
    if (blocks_[k].end() > a) {
        return false;
    }
    return k + 1 >= count() || blocks_[k + 1].start >= e;
}

bool CCyclogramAudioTrack::paste(const CCyclogramAudioTrack& clip, int32_t t) {
    if (!canPaste(clip, t)) {
        return false;
    }
    if (clip.count() == 0) {
        return true;
    }
    const int64_t a = static_cast<int64_t>(t) + clip.blocks_.front().start;
    const int32_t k = count() == 0 ? -1 : FindAtOrBefore(blocks_, a, BlockStart);
    if (!reserveFor(count() + clip.count())) {
        return false;
    }
    try {
        std::vector<AudioBlock> pasted = clip.blocks_;
        for (auto& block : pasted) {
            block.start = Saturate(static_cast<int64_t>(block.start) + t);
            block.selected = 1;
        }
        blocks_.insert(blocks_.begin() + (k + 1), std::make_move_iterator(pasted.begin()),
                       std::make_move_iterator(pasted.end()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// -------------------------------------------------------------- environment

int32_t RawOfPosition(const EnvTracker& tracker, float p) {
    const double range = static_cast<double>(tracker.rightRaw) - tracker.leftRaw;
    const double raw = tracker.leftRaw + range * static_cast<double>(p);
    if (std::isnan(raw)) {
        return tracker.leftRaw;
    }
    return static_cast<int32_t>(
        std::clamp(std::trunc(raw), static_cast<double>(kI32Min), static_cast<double>(kI32Max)));
}

float PositionOfRaw(const EnvTracker& tracker, int32_t r) {
    const int64_t range = static_cast<int64_t>(tracker.rightRaw) - tracker.leftRaw;
    if (range == 0) {
        return 0.0f;
    }
    const double p =
        static_cast<double>(static_cast<int64_t>(r) - tracker.leftRaw) / static_cast<double>(range);
    return static_cast<float>(std::clamp(p, 0.0, 1.0));
}

int32_t CCyclogramEnv::findTracker(int32_t motor) const {
    for (int32_t i = 0; i < count(); ++i) {
        if (trackers[i].motor == motor) {
            return i;
        }
    }
    return -1;
}

int32_t CCyclogramEnv::addTracker(const EnvTracker& tracker) {
    // A project with more trackers than a record may carry could be saved but
    // never read back.
    if (count() >= kMaxTrackerCount) {
        return -1;
    }
    try {
        trackers.push_back(tracker);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return count() - 1;
}

void CCyclogramEnv::removeTracker(int32_t i) {
    if (i < 0 || i >= count()) {
        return;
    }
    trackers.erase(trackers.begin() + i);
}

void CCyclogramEnv::clear() {
    trackers.clear();
}

// ----------------------------------------------------------------- document

int32_t CCyclogram::addTrack() {
    if (!ReserveStep(tracks_, trackCount() + 1)) {
        return -1;
    }
    try {
        tracks_.push_back(std::make_unique<CCyclogramTrack>());
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return trackCount() - 1;
}

void CCyclogram::removeTrack(int32_t i) {
    if (i < 0 || i >= trackCount()) {
        return;
    }
    tracks_.erase(tracks_.begin() + i);
}

void CCyclogram::swapTracks(int32_t i, int32_t j) {
    if (i < 0 || j < 0 || i >= trackCount() || j >= trackCount()) {
        return;
    }
    std::swap(tracks_[i], tracks_[j]);
}

void CCyclogram::clear() {
    tracks_.clear();
    tracks_.shrink_to_fit();
    audio.reset();
}

bool CCyclogram::resetFromEnvironment(const CCyclogramEnv& env) {
    clear();
    for (const EnvTracker& tracker : env.trackers) {
        const int32_t i = addTrack();
        if (i < 0) {
            return false;
        }
        track(i).motor = tracker.motor;
    }
    try {
        audio = std::make_unique<CCyclogramAudioTrack>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int32_t CCyclogram::findTrack(int32_t motor) const {
    for (int32_t i = 0; i < trackCount(); ++i) {
        if (tracks_[i]->motor == motor) {
            return i;
        }
    }
    return -1;
}

int32_t CCyclogram::endTime() const {
    int64_t end = 0;
    for (const auto& t : tracks_) {
        if (t->count() > 0) {
            end = std::max<int64_t>(end, t->keys().back().time);
        }
    }
    if (audio && audio->count() > 0) {
        end = std::max(end, audio->blocks().back().end());
    }
    return Saturate(end);
}

bool CCyclogram::selectAll(bool flag) {
    const uint8_t want = flag ? 1 : 0;
    bool changed = false;
    for (auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        for (int32_t i = 0; i < t->count(); ++i) {
            if (t->key(i).selected != want) {
                t->key(i).selected = want;
                changed = true;
            }
        }
    }
    if (audio && !audio->locked) {
        for (int32_t i = 0; i < audio->count(); ++i) {
            if (audio->block(i).selected != want) {
                audio->block(i).selected = want;
                changed = true;
            }
        }
    }
    return changed;
}

namespace {

// Counts selected items in unlocked tracks, stopping once `limit` are seen.
int32_t CountSelected(const std::vector<std::unique_ptr<CCyclogramTrack>>& tracks,
                      const CCyclogramAudioTrack* audio, int32_t limit) {
    int32_t n = 0;
    for (const auto& t : tracks) {
        if (t->locked) {
            continue;
        }
        for (const auto& k : t->keys()) {
            if (k.selected && ++n >= limit) {
                return n;
            }
        }
    }
    if (audio && !audio->locked) {
        for (const auto& b : audio->blocks()) {
            if (b.selected && ++n >= limit) {
                return n;
            }
        }
    }
    return n;
}

}  // namespace

bool CCyclogram::anySelected() const {
    return CountSelected(tracks_, audio.get(), 1) >= 1;
}

bool CCyclogram::exactlyOneSelected() const {
    return CountSelected(tracks_, audio.get(), 2) == 1;
}

int32_t CCyclogram::earliestSelectedTime() const {
    int32_t earliest = std::numeric_limits<int32_t>::max();
    for (const auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        for (const auto& k : t->keys()) {
            if (k.selected) {
                earliest = std::min(earliest, k.time);
            }
        }
    }
    if (audio && !audio->locked) {
        for (const auto& b : audio->blocks()) {
            if (b.selected) {
                earliest = std::min(earliest, b.start);
            }
        }
    }
    return earliest;
}

MoveRange CCyclogram::selectionMoveRange() const {
    int64_t maxLeft = kUnlimitedRoom;
    int64_t maxRight = kUnlimitedRoom;
    for (const auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        const auto& keys = t->keys();
        for (std::size_t j = 0; j < keys.size(); ++j) {
            if (!keys[j].selected) {
                continue;
            }
            if (j == 0 || keys[j - 1].selected) {
                maxLeft = std::min<int64_t>(maxLeft, keys[j].time);
            } else {
                maxLeft = std::min<int64_t>(
                    maxLeft, static_cast<int64_t>(keys[j].time) - keys[j - 1].time - kKeySpacingMs);
            }
            if (j + 1 < keys.size() && !keys[j + 1].selected) {
                maxRight = std::min<int64_t>(maxRight, static_cast<int64_t>(keys[j + 1].time) -
                                                           keys[j].time - kKeySpacingMs);
            }
        }
    }
    if (audio && !audio->locked) {
        const auto& blocks = audio->blocks();
        for (std::size_t j = 0; j < blocks.size(); ++j) {
            if (!blocks[j].selected) {
                continue;
            }
            if (j == 0 || blocks[j - 1].selected) {
                maxLeft = std::min<int64_t>(maxLeft, blocks[j].start);
            } else {
                maxLeft = std::min<int64_t>(maxLeft, blocks[j].start - blocks[j - 1].end());
            }
            if (j + 1 < blocks.size() && !blocks[j + 1].selected) {
                maxRight = std::min<int64_t>(maxRight, blocks[j + 1].start - blocks[j].end());
            }
        }
    }
    return {Saturate(maxLeft), Saturate(maxRight)};
}

void CCyclogram::moveSelected(int32_t delta) {
    for (auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        for (int32_t i = 0; i < t->count(); ++i) {
            auto& k = t->key(i);
            if (k.selected) {
                k.time = Saturate(static_cast<int64_t>(k.time) + delta);
            }
        }
    }
    if (audio && !audio->locked) {
        for (int32_t i = 0; i < audio->count(); ++i) {
            auto& b = audio->block(i);
            if (b.selected) {
                b.start = Saturate(static_cast<int64_t>(b.start) + delta);
            }
        }
    }
}

namespace {

// First index whose time is at or after t0, or the size when none is.
template <typename Array, typename TimeOf>
std::size_t FirstAtOrAfter(const Array& items, int64_t t0, TimeOf timeOf) {
    for (std::size_t j = 0; j < items.size(); ++j) {
        if (timeOf(items[j]) >= t0) {
            return j;
        }
    }
    return items.size();
}

}  // namespace

int32_t CCyclogram::rightPartMoveLimit() const {
    const int64_t t0 = earliestSelectedTime();
    int64_t maxLeft = t0;
    for (const auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        const auto& keys = t->keys();
        const std::size_t j = FirstAtOrAfter(keys, t0, KeyTime);
        if (j == keys.size()) {
            continue;
        }
        if (j == 0) {
            maxLeft = std::min<int64_t>(maxLeft, keys[0].time);
        } else {
            maxLeft = std::min<int64_t>(
                maxLeft, static_cast<int64_t>(keys[j].time) - keys[j - 1].time - kKeySpacingMs);
        }
    }
    if (audio && !audio->locked) {
        const auto& blocks = audio->blocks();
        const std::size_t j = FirstAtOrAfter(blocks, t0, BlockStart);
        if (j < blocks.size()) {
            if (j == 0) {
                maxLeft = std::min<int64_t>(maxLeft, blocks[0].start);
            } else {
                maxLeft = std::min<int64_t>(maxLeft, blocks[j].start - blocks[j - 1].end());
            }
        }
    }
    return Saturate(maxLeft);
}

void CCyclogram::moveRightPart(int32_t delta) {
    const int64_t t0 = earliestSelectedTime();
    for (auto& t : tracks_) {
        if (t->locked) {
            continue;
        }
        for (auto j = static_cast<int32_t>(FirstAtOrAfter(t->keys(), t0, KeyTime)); j < t->count();
             ++j) {
            t->key(j).time = Saturate(static_cast<int64_t>(t->key(j).time) + delta);
        }
    }
    if (audio && !audio->locked) {
        for (auto j = static_cast<int32_t>(FirstAtOrAfter(audio->blocks(), t0, BlockStart));
             j < audio->count(); ++j) {
            audio->block(j).start = Saturate(static_cast<int64_t>(audio->block(j).start) + delta);
        }
    }
}

void CCyclogram::deleteSelected() {
    for (auto& t : tracks_) {
        if (!t->locked) {
            t->deleteSelected();
        }
    }
    if (audio && !audio->locked) {
        audio->deleteSelected();
    }
}

bool CCyclogram::paste(const CCyclogram& clip, int32_t t) {
    std::vector<std::pair<CCyclogramTrack*, const CCyclogramTrack*>> pairs;
    for (const auto& c : clip.tracks_) {
        const int32_t i = findTrack(c->motor);
        if (i < 0) {
            continue;
        }
        if (!track(i).canPaste(*c, t)) {
            return false;
        }
        pairs.emplace_back(&track(i), c.get());
    }
    const bool withAudio = audio && clip.audio;
    if (withAudio && !audio->canPaste(*clip.audio, t)) {
        return false;
    }
    bool ok = true;
    for (auto& [target, source] : pairs) {
        ok = target->paste(*source, t) && ok;
    }
    if (withAudio) {
        ok = audio->paste(*clip.audio, t) && ok;
    }
    return ok;
}

}  // namespace velcora
