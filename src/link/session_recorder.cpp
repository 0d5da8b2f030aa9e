#include "link/session_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "link/robot_link.h"

namespace velcora {

namespace {

int64_t SystemClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Created for the owner alone: a recording holds everything the robot sent.
std::FILE* CreatePrivateFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    // An existing file keeps its mode through O_CREAT; this one must not.
    if (::fchmod(fd, 0600) != 0) {
        error = "cannot restrict " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    return f;
}

}  // namespace

CSessionRecorder::CSessionRecorder(RecorderOptions options) : options_(std::move(options)) {
    if (!options_.wallClockMs) {
        options_.wallClockMs = SystemClockMs;
    }
}

CSessionRecorder::~CSessionRecorder() {
    Close();
}

std::string CSessionRecorder::NumberedPath(int number) const {
    if (number <= 1) {
        return options_.path;
    }
    const std::filesystem::path p(options_.path);
    std::filesystem::path out = p;
    out.replace_filename(p.stem().string() + "-" + std::to_string(number) + p.extension().string());
    return out.string();
}

bool CSessionRecorder::Open(std::string& error) {
    if (open_) {
        error = "the recording is already open";
        return false;
    }
    file_ = CreatePrivateFile(options_.path, error);
    if (!file_) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
        failed_ = false;
        error_.clear();
        currentPath_ = options_.path;
        fileCount_ = 1;
    }
    open_ = true;
    begun_ = false;
    notedCount_ = 0;
    notedBytes_ = 0;
    notedBlocks_.clear();
    notedBlock_ = nullptr;
    notedCopies_.clear();
    noteRoom_ = options_.queueBytes / 2;
    fileBytes_ = 0;
    header_.reset();
    worker_ = std::thread([this] { Run(); });
    return true;
}

bool CSessionRecorder::Close() {
    if (!open_) {
        std::lock_guard<std::mutex> lock(mutex_);
        return !failed_;
    }
    QueueNoted();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
    open_ = false;
    begunShared_ = false;
    if (!begun_) {
        // No connection came: an empty file would only puzzle whoever finds it.
        std::remove(options_.path.c_str());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return !failed_;
}

CSessionRecorder::State CSessionRecorder::GetState() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) {
        return State::kFailed;
    }
    if (!open_) {
        return State::kClosed;
    }
    return begun_ ? State::kRecording : State::kWaiting;
}

uint32_t CSessionRecorder::ElapsedMs(uint32_t now) const {
    return begun_ ? now - startTick_ : 0;
}

bool CSessionRecorder::Drained() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notedCount_ == 0 && queue_.empty() && (idle_ || !open_);
}

void CSessionRecorder::WriteSoon() {
    QueueNoted();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        soon_ = true;
    }
    wake_.notify_one();
}

CSessionRecorder::Drops CSessionRecorder::Dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return drops_;
}

std::string CSessionRecorder::ErrorText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

std::string CSessionRecorder::CurrentPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return currentPath_;
}

int CSessionRecorder::FileCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fileCount_;
}

void CSessionRecorder::OnFrame(uint32_t now, FrameDirection direction, msg::Type type,
                               std::string_view payload) {
    if (!open_ || !begun_) {
        return;
    }
    const RecordKind kind =
        direction == FrameDirection::kIncoming ? RecordKind::kIncoming : RecordKind::kOutgoing;
    // The challenge and the answer to it stay out of the file: a recording
    // must not help anyone guess the password or replay the answer.
    const bool withheld = IsHandshakeType(type);
    if (!withheld && payload.size() < kKeepBlockFrom) {
        const auto copyAt = static_cast<uint32_t>(notedCopies_.size());
        notedCopies_.append(payload);
        Note(
            Noted{nullptr, now, static_cast<uint32_t>(payload.size()), type, kCopied, copyAt, kind},
            static_cast<int64_t>(payload.size()) + kItemCost);
        return;
    }
    Item item;
    item.tick = now;
    item.kind = kind;
    item.type = type;
    item.length = static_cast<uint32_t>(payload.size());
    item.withheld = withheld;
    if (!item.withheld) {
        item.payload.assign(payload);
    }
    Push(std::move(item));
}

void CSessionRecorder::OnIncomingFrame(uint32_t now, msg::Type type, std::string_view payload,
                                       const FrameBlock& block) {
    if (payload.size() < kKeepBlockFrom || IsHandshakeType(type) || !block.data) [[unlikely]] {
        OnFrame(now, FrameDirection::kIncoming, type, payload);
        return;
    }
    if (!open_ || !begun_) {
        return;
    }
    // Pictures and sound are most of what arrives: keeping the block they
    // lie in instead of copying them leaves the receive path as fast as it is
    // without a recording.
    if (notedBlock_ != block.data.get()) [[unlikely]] {
        NoteBlock(block);
    }
    Note(Noted{payload.data(), now, static_cast<uint32_t>(payload.size()), type,
               static_cast<uint16_t>(notedBlocks_.size() - 1), 0, RecordKind::kIncoming},
         kItemCost);
}

void CSessionRecorder::Note(const Noted& frame, int64_t cost) {
    if (notedCount_ == 0) {
        notedSince_ = frame.tick;
    }
    noted_[notedCount_++] = frame;
    notedBytes_ += cost;
    if (notedCount_ == noted_.size() || frame.tick - notedSince_ >= kNoteForMs ||
        notedBytes_ > noteRoom_) [[unlikely]] {
        QueueNoted();
    }
}

void CSessionRecorder::NoteBlock(const FrameBlock& block) {
    // Consecutive frames of one block share one pin, also across the times
    // they go to the queue.
    std::shared_ptr<PinnedBlock> pin = lastPin_.lock();
    if (!pin || pin->data.get() != block.data.get()) {
        pin = std::make_shared<PinnedBlock>(block.data, block.bytes, pinnedBytes_);
        lastPin_ = pin;
        notedBytes_ += block.bytes;
    }
    notedBlocks_.push_back(std::move(pin));
    notedBlock_ = block.data.get();
}

void CSessionRecorder::OnLinkState(uint32_t now, int32_t state, std::string_view host,
                                   uint16_t port, bool tunnel) {
    if (!open_) {
        return;
    }
    Item item;
    item.tick = now;
    item.kind = RecordKind::kLinkState;
    item.type = static_cast<msg::Type>(state);
    if (!begun_) {
        // The recording starts with a connection to a robot: the attempts and
        // lookups before it carry nothing.
        if (state < kStateConnecting) {
            return;
        }
        SessionHeader header;
        header.startUtcMs = options_.wallClockMs();
        header.host = std::string(host);
        header.port = port;
        header.tunnel = tunnel;
        header.consoleVersion = options_.consoleVersion;
        item.begin = std::make_unique<SessionHeader>(std::move(header));
        begun_ = true;
        begunShared_ = true;
        startTick_ = now;
    }
    Push(std::move(item));
}

void CSessionRecorder::CountDrop(const Item& item) {
    if (item.type == msg::kSoundBlock || item.type == msg::kMicrophoneBlock) {
        ++drops_.sound;
    } else if (item.Media()) {
        ++drops_.video;
    } else {
        ++drops_.other;
    }
}

void CSessionRecorder::Push(Item item) {
    Queue(&item);
}

void CSessionRecorder::QueueNoted() {
    if (notedCount_ > 0) {
        Queue(nullptr);
    }
}

void CSessionRecorder::Queue(Item* then) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < notedCount_; ++i) {
            const Noted& n = noted_[i];
            Item item;
            item.tick = n.tick;
            item.kind = n.kind;
            item.type = n.type;
            item.length = n.length;
            if (n.block == kCopied) {
                item.payload.assign(notedCopies_, n.copyAt, n.length);
            } else {
                item.pin = notedBlocks_[n.block];
                item.at = n.at;
            }
            Admit(std::move(item));
        }
        if (then) {
            Admit(std::move(*then));
        }
        wake = WakeDue();
    }
    notedCount_ = 0;
    notedBytes_ = 0;
    notedBlocks_.clear();
    notedBlock_ = nullptr;
    notedCopies_.clear();
    if (wake) {
        wake_.notify_one();
    }
}

bool CSessionRecorder::WakeDue() {
    // Near the bound, whatever comes next goes to the queue at once.
    noteRoom_ = options_.queueBytes / 2 - Held();
    // The worker looks at the queue every kWriteEveryMs on its own; it is
    // woken early only when much waits, so that the link's thread makes no
    // system call per frame.
    if (!idle_ || !ShouldWake()) {
        return false;
    }
    idle_ = false;
    return true;
}

void CSessionRecorder::Admit(Item item) {
    if (failed_ || stop_) {
        if (item.kind != RecordKind::kLinkState) {
            CountDrop(item);
        }
        return;
    }
    const int64_t cost = item.Cost();
    // Link states and the start are tiny and always kept; the rest must
    // fit, pictures and sound giving way first.
    const bool mustKeep = item.kind == RecordKind::kLinkState;
    if (!mustKeep && OverBound(cost)) {
        if (item.Media()) {
            CountDrop(item);
            ++pendingDrops_;
            return;
        }
        // Dropping an item lets go of its block once no other item lies in
        // it.
        for (auto it = queue_.begin(); it != queue_.end() && OverBound(cost);) {
            if (!it->Media()) {
                ++it;
                continue;
            }
            CountDrop(*it);
            const uint64_t carried = it->dropsBefore + 1;
            queuedBytes_ -= it->Cost();
            it = queue_.erase(it);
            if (it != queue_.end()) {
                it->dropsBefore += carried;
            } else {
                pendingDrops_ += carried;
            }
        }
        if (OverBound(cost)) {
            CountDrop(item);
            ++pendingDrops_;
            return;
        }
    }
    item.dropsBefore += pendingDrops_;
    pendingDrops_ = 0;
    queuedBytes_ += cost;
    queue_.push_back(std::move(item));
}

bool CSessionRecorder::WriteBytes(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        return false;
    }
    fileBytes_ += static_cast<int64_t>(bytes.size());
    written_ += static_cast<int64_t>(bytes.size());
    return true;
}

bool CSessionRecorder::StartFile(uint32_t tick) {
    // A later file starts at its own time, with the link's state then, so
    // that each reads (and replays) on its own.
    SessionHeader header = *header_;
    header.startUtcMs += static_cast<int64_t>(tick - fileStartTick_);
    fileStartTick_ = tick;
    fileBytes_ = 0;
    if (!WriteBytes(EncodeSessionHeader(header))) {
        return false;
    }
    header_ = header;
    return WriteBytes(
        EncodeRecordHead(0, RecordKind::kLinkState, false, static_cast<msg::Type>(lastState_), 0));
}

bool CSessionRecorder::WriteItem(const Item& item) {
    if (item.begin) {
        header_ = *item.begin;
        fileStartTick_ = item.tick;
        if (!WriteBytes(EncodeSessionHeader(*header_))) {
            return false;
        }
    }
    if (!header_) {
        return true;
    }
    if (options_.maxFileBytes > 0 && fileBytes_ >= options_.maxFileBytes) {
        std::string error;
        const int number = FileCount() + 1;
        const std::string path = NumberedPath(number);
        if (std::fclose(file_) != 0) {
            file_ = nullptr;
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = "cannot write " + currentPath_;
            return false;
        }
        file_ = CreatePrivateFile(path, error);
        if (!file_) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = error;
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            currentPath_ = path;
            fileCount_ = number;
        }
        if (!StartFile(item.tick)) {
            return false;
        }
    }
    const uint32_t ms = item.tick - fileStartTick_;
    lastMs_ = ms;
    if (item.dropsBefore > 0) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(item.dropsBefore, UINT32_MAX));
        if (!WriteBytes(EncodeRecordHead(ms, RecordKind::kDropped, false, 0, count))) {
            return false;
        }
    }
    if (item.kind == RecordKind::kLinkState) {
        lastState_ = item.type;
    }
    if (!WriteBytes(EncodeRecordHead(ms, item.kind, item.withheld, item.type, item.length))) {
        return false;
    }
    const std::string_view payload = item.Payload();
    if (!payload.empty() && !WriteBytes(payload)) {
        return false;
    }
    if (item.kind != RecordKind::kLinkState) {
        ++frames_;
    }
    return true;
}

void CSessionRecorder::Run() {
    bool ok = true;
    std::deque<Item> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // What was written leaves the bound only now: the queue and the
            // batch in hand together stay within it.
            for (const Item& done : batch) {
                queuedBytes_ -= done.Cost();
            }
            batch.clear();
            idle_ = true;
            wake_.wait_for(lock, std::chrono::milliseconds(kWriteEveryMs),
                           [this] { return stop_ || soon_ || ShouldWake(); });
            idle_ = false;
            soon_ = false;
            if (queue_.empty()) {
                if (stop_) {
                    break;  // stopped, and everything is written
                }
                continue;
            }
            // Everything waiting at once: one lock per batch, not per frame.
            batch.swap(queue_);
        }
        for (const Item& item : batch) {
            if (gate_) {
                gate_();
            }
            if (ok && !WriteItem(item)) {
                ok = false;
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = true;
                if (error_.empty()) {
                    error_ = "cannot write " + currentPath_ + ": " + std::strerror(errno);
                }
            }
            if (!ok && item.kind != RecordKind::kLinkState) {
                // Nothing more can be written: what waits is dropped and counted.
                std::lock_guard<std::mutex> lock(mutex_);
                CountDrop(item);
            }
        }
        // Whatever was written reaches the system as soon as the queue runs
        // dry, so a crash of the console loses little.
        if (ok && file_ && std::fflush(file_) != 0) {
            ok = false;
            std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            error_ = "cannot write " + currentPath_ + ": " + std::strerror(errno);
        }
    }
    // Frames dropped after the last record written are noted at the end.
    uint64_t trailing = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        trailing = pendingDrops_;
        pendingDrops_ = 0;
    }
    if (ok && trailing > 0 && header_) {
        ok = WriteBytes(
            EncodeRecordHead(lastMs_, RecordKind::kDropped, false, 0,
                             static_cast<uint32_t>(std::min<uint64_t>(trailing, UINT32_MAX))));
    }
    if (file_) {
        if (std::fclose(file_) != 0 && ok) {
            ok = false;
        }
        file_ = nullptr;
    }
    if (!ok) {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        if (error_.empty()) {
            error_ = "cannot write " + currentPath_;
        }
    }
}

}  // namespace velcora
