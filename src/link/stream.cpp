#include "link/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <utility>

namespace velcora {

namespace {

// The new position of a seek inside `size` bytes: an unknown origin keeps the
// position, and the result is clamped into 0..size (seeking never grows).
int32_t ClampedSeek(int32_t position, int32_t size, int32_t offset, int32_t origin) {
    int64_t pos = position;
    switch (origin) {
        case kSeekSet:
            pos = offset;
            break;
        case kSeekCur:
            pos = int64_t{position} + offset;
            break;
        case kSeekEnd:
            pos = int64_t{size} + offset;
            break;
        default:
            break;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(pos, 0, size));
}

}  // namespace

int32_t CStream::GetPosition() {
    return Seek(0, kSeekCur);
}

int32_t CStream::GetSize() {
    const int32_t saved = Seek(0, kSeekCur);
    const int32_t size = Seek(0, kSeekEnd);
    Seek(saved, kSeekSet);
    return size;
}

// ---------------------------------------------------------------- CFileReader

CFileReader::CFileReader(const std::string& utf8Path, int32_t window) {
    fd_ = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > std::numeric_limits<int32_t>::max()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<int32_t>(st.st_size);
    window_.resize(static_cast<std::size_t>(std::clamp(window, 4096, 64 << 20)));
}

CFileReader::~CFileReader() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int32_t CFileReader::Read(void* data, int32_t count) {
    if (fd_ < 0 || count <= 0) {
        return 0;
    }
    count = std::min(count, size_ - position_);
    auto* out = static_cast<uint8_t*>(data);
    int32_t done = 0;
    const auto windowSize = static_cast<int32_t>(window_.size());
    while (done < count) {
        const int32_t want = count - done;
        if (position_ >= windowStart_ && position_ < windowStart_ + windowLength_) {
            const int32_t n = std::min(want, windowStart_ + windowLength_ - position_);
            std::memcpy(out + done, window_.data() + (position_ - windowStart_),
                        static_cast<std::size_t>(n));
            done += n;
            position_ += n;
            continue;
        }
        ssize_t got = 0;
        if (want >= windowSize / 2) {
            // Pieces of half a window or more skip it: one copy, not two.
            do {
                got = ::pread(fd_, out + done, static_cast<std::size_t>(want), position_);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) {
                break;
            }
            done += static_cast<int32_t>(got);
            position_ += static_cast<int32_t>(got);
            continue;
        }
        do {
            got = ::pread(fd_, window_.data(), window_.size(), position_);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            windowLength_ = 0;
            break;  // cut short meanwhile, or unreadable
        }
        windowStart_ = position_;
        // Bytes a file grew by since it was opened are not ours to read.
        windowLength_ = static_cast<int32_t>(std::min<ssize_t>(got, size_ - position_));
    }
    return done;
}

int32_t CFileReader::Seek(int32_t offset, int32_t origin) {
    position_ = ClampedSeek(position_, size_, offset, origin);
    return position_;
}

// ---------------------------------------------------------------- CFileWriter

CFileWriter::CFileWriter(const std::string& utf8Path, int32_t window) {
    fd_ = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        window_.resize(static_cast<std::size_t>(std::clamp(window, 4096, 64 << 20)));
    }
}

CFileWriter::~CFileWriter() {
    Close();
}

bool CFileWriter::WriteAt(const void* data, int32_t count, int32_t at) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t n = ::pwrite(fd_, bytes, static_cast<std::size_t>(count), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        bytes += n;
        count -= static_cast<int32_t>(n);
        at += static_cast<int32_t>(n);
    }
    return true;
}

bool CFileWriter::Flush() {
    if (windowLength_ > 0) {
        const int32_t length = windowLength_;
        windowLength_ = 0;
        return WriteAt(window_.data(), length, windowStart_);
    }
    return !failed_;
}

bool CFileWriter::Close() {
    if (fd_ < 0) {
        return !failed_;
    }
    Flush();
    if (::close(fd_) != 0) {
        failed_ = true;
    }
    fd_ = -1;
    return !failed_;
}

int32_t CFileWriter::Write(const void* data, int32_t count) {
    if (fd_ < 0 || failed_) {
        return -1;
    }
    if (count <= 0) {
        return 0;
    }
    if (count > std::numeric_limits<int32_t>::max() - position_) {
        return -1;
    }
    const auto windowSize = static_cast<int32_t>(window_.size());
    const bool continues = windowLength_ > 0 && position_ >= windowStart_ &&
                           position_ <= windowStart_ + windowLength_ &&
                           position_ - windowStart_ + count <= windowSize;
    if (!continues) {
        if (!Flush()) {
            return -1;
        }
        if (count >= windowSize) {
            if (!WriteAt(data, count, position_)) {
                return -1;
            }
            position_ += count;
            end_ = std::max(end_, position_);
            return count;
        }
        windowStart_ = position_;
    }
    std::memcpy(window_.data() + (position_ - windowStart_), data, static_cast<std::size_t>(count));
    position_ += count;
    windowLength_ = std::max(windowLength_, position_ - windowStart_);
    end_ = std::max(end_, position_);
    return count;
}

int32_t CFileWriter::Seek(int32_t offset, int32_t origin) {
    position_ = ClampedSeek(position_, end_, offset, origin);
    return position_;
}

// ---------------------------------------------------------------- CFileStream

CFileStream::CFileStream(const std::string& utf8Path, Mode mode) {
    file_ = std::fopen(utf8Path.c_str(), mode == Mode::Read ? "rb" : "wb");
}

CFileStream::~CFileStream() {
    Close();
}

bool CFileStream::Close() {
    if (!file_) {
        return true;
    }
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

int32_t CFileStream::Write(const void* data, int32_t count) {
    if (!file_) {
        return -1;
    }
    if (count <= 0) {
        return 0;
    }
    return static_cast<int32_t>(std::fwrite(data, 1, static_cast<std::size_t>(count), file_));
}

int32_t CFileStream::Read(void* data, int32_t count) {
    if (!file_) {
        return -1;
    }
    if (count <= 0) {
        return 0;
    }
    return static_cast<int32_t>(std::fread(data, 1, static_cast<std::size_t>(count), file_));
}

int32_t CFileStream::Seek(int32_t offset, int32_t origin) {
    if (!file_) {
        return -1;
    }
    int whence = SEEK_SET;
    switch (origin) {
        case kSeekSet:
            whence = SEEK_SET;
            break;
        case kSeekCur:
            whence = SEEK_CUR;
            break;
        case kSeekEnd:
            whence = SEEK_END;
            break;
        default:
            return static_cast<int32_t>(std::ftell(file_));
    }
    std::fseek(file_, offset, whence);
    const long pos = std::ftell(file_);
    if (pos < 0 || pos > std::numeric_limits<int32_t>::max()) {
        return -1;
    }
    return static_cast<int32_t>(pos);
}

// -------------------------------------------------------------- CMemoryStream

CMemoryStream::CMemoryStream(int32_t granularity, ReallocFn allocator)
    : granularity_(granularity), realloc_(allocator ? allocator : &std::realloc) {
    access_ = Access::MemoryReadWrite;
    // The rounding below needs a power of two.
    if (granularity_ <= 0 || (granularity_ & (granularity_ - 1)) != 0) {
        granularity_ = 1024;
    }
}

CMemoryStream::~CMemoryStream() {
    FreeBlock();
}

CMemoryStream::CMemoryStream(CMemoryStream&& other) noexcept
    : allocated_(std::exchange(other.allocated_, 0)),
      granularity_(other.granularity_),
      realloc_(other.realloc_) {
    access_ = Access::MemoryReadWrite;
    buffer_ = std::exchange(other.buffer_, nullptr);
    position_ = std::exchange(other.position_, 0);
    size_ = std::exchange(other.size_, 0);
}

CMemoryStream& CMemoryStream::operator=(CMemoryStream&& other) noexcept {
    if (this != &other) {
        FreeBlock();
        buffer_ = std::exchange(other.buffer_, nullptr);
        position_ = std::exchange(other.position_, 0);
        size_ = std::exchange(other.size_, 0);
        allocated_ = std::exchange(other.allocated_, 0);
        granularity_ = other.granularity_;
        realloc_ = other.realloc_;
    }
    return *this;
}

void CMemoryStream::FreeBlock() {
    if (buffer_) {
        // The injected allocator frees with a size of 0 only through std::free.
        std::free(buffer_);
        buffer_ = nullptr;
    }
    allocated_ = 0;
}

int32_t CMemoryStream::CapacityFor(int32_t size) const {
    if (size <= 0) {
        return 0;
    }
    const int64_t rounded =
        (static_cast<int64_t>(size) + granularity_ - 1) & -int64_t{granularity_};
    return rounded > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                         : static_cast<int32_t>(rounded);
}

bool CMemoryStream::Reserve(int32_t bytes) {
    if (bytes <= allocated_) {
        return true;
    }
    // Half as much again as the block holds, so that growing by small steps
    // costs a constant number of copies per byte; never less than asked.
    const int64_t grown = int64_t{allocated_} + allocated_ / 2;
    const int32_t wanted = CapacityFor(static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(grown, bytes), std::numeric_limits<int32_t>::max())));
    void* block = realloc_(buffer_, static_cast<std::size_t>(wanted));
    if (!block && wanted > CapacityFor(bytes)) {
        // The generous size was refused; the exact one may still be had.
        block = realloc_(buffer_, static_cast<std::size_t>(CapacityFor(bytes)));
        if (block) {
            buffer_ = static_cast<uint8_t*>(block);
            allocated_ = CapacityFor(bytes);
            return true;
        }
    }
    if (!block) {
        return false;
    }
    buffer_ = static_cast<uint8_t*>(block);
    allocated_ = wanted;
    return true;
}

bool CMemoryStream::SetSize(int32_t newSize) {
    if (newSize < 0) {
        newSize = 0;
    }
    const int32_t newCapacity = CapacityFor(newSize);
    if (newCapacity == 0) {
        FreeBlock();
    } else if (newCapacity > allocated_) {
        if (!Reserve(newSize)) {
            return false;
        }
    } else if (newSize < size_ && newCapacity < allocated_) {
        // Shrinking gives back what the new size does not need. A refused
        // shrink keeps the larger block, which still holds every byte.
        if (void* block = realloc_(buffer_, static_cast<std::size_t>(newCapacity))) {
            buffer_ = static_cast<uint8_t*>(block);
            allocated_ = newCapacity;
        }
    }
    size_ = newSize;
    if (position_ > size_) {
        position_ = size_;
    }
    return true;
}

int32_t CMemoryStream::Write(const void* data, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    const int64_t end = static_cast<int64_t>(position_) + count;
    if (end > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    if (end > allocated_ && !Reserve(static_cast<int32_t>(end))) {
        return 0;
    }
    std::memcpy(buffer_ + position_, data, static_cast<std::size_t>(count));
    position_ += count;
    if (position_ > size_) {
        size_ = position_;
    }
    return count;
}

int32_t CMemoryStream::Seek(int32_t offset, int32_t origin) {
    position_ = ClampedSeek(position_, size_, offset, origin);
    return position_;
}

int32_t CMemoryView::Seek(int32_t offset, int32_t origin) {
    position_ = ClampedSeek(position_, size_, offset, origin);
    return position_;
}

void CMemoryStream::DiscardConsumed() {
    const int32_t rest = size_ - position_;
    if (rest > 0 && position_ > 0) {
        std::memmove(buffer_, buffer_ + position_, static_cast<std::size_t>(rest));
    }
    // Shrinking never fails: a refused realloc leaves the larger block, which
    // still holds the moved tail.
    SetSize(rest);
    position_ = 0;
}

bool CMemoryStream::SaveToFile(const std::string& utf8Path) {
    CFileStream file(utf8Path, CFileStream::Mode::Write);
    if (!file.IsOpen()) {
        return false;
    }
    Seek(0, kSeekSet);
    const bool copied = CopyStream(size_, *this, file);
    return file.Close() && copied;
}

bool CMemoryStream::LoadFromFile(const std::string& utf8Path) {
    CFileStream file(utf8Path, CFileStream::Mode::Read);
    if (!file.IsOpen()) {
        return false;
    }
    const int32_t size = file.GetSize();
    if (size < 0) {
        return false;
    }
    // One block of the file's size rather than growth by steps.
    if (!Reserve(position_ + std::min(size, std::numeric_limits<int32_t>::max() - position_))) {
        return false;
    }
    const bool copied = CopyStream(size, file, *this);
    Seek(0, kSeekSet);
    return copied;
}

bool CMemoryStream::Assign(std::string_view bytes) {
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    if (!SetSize(static_cast<int32_t>(bytes.size()))) {
        return false;
    }
    if (!bytes.empty()) {
        std::memcpy(buffer_, bytes.data(), bytes.size());
    }
    position_ = 0;
    return true;
}

// ----------------------------------------------------------------- CSubStream

CSubStream::CSubStream(CStream& parent, int32_t offset, int32_t length)
    : parent_(parent), offset_(offset < 0 ? 0 : offset), length_(length < 0 ? 0 : length) {}

int32_t CSubStream::Write(const void*, int32_t) {
    return 0;
}

int32_t CSubStream::Read(void* data, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    const int32_t available = length_ - position_;
    if (count > available) {
        count = available;
    }
    if (count <= 0) {
        return 0;
    }
    if (parent_.Seek(offset_ + position_, kSeekSet) != offset_ + position_) {
        return 0;
    }
    const int32_t got = parent_.Read(data, count);
    if (got > 0) {
        position_ += got;
    }
    return got > 0 ? got : 0;
}

int32_t CSubStream::Seek(int32_t offset, int32_t origin) {
    position_ = ClampedSeek(position_, length_, offset, origin);
    return position_;
}

// ------------------------------------------------------------ typed functions

int32_t WriteString(CStream& s, const char* text) {
    if (!text) {
        return WriteU8(s, 0);
    }
    return WriteString(s, std::string_view(text));
}

int32_t WriteString(CStream& s, std::string_view text) {
    const int32_t n = WriteText(s, text);
    const int32_t z = WriteU8(s, 0);
    return (n < 0 || z <= 0) ? 0 : n + z;
}

int32_t WriteText(CStream& s, std::string_view text) {
    return WriteBytes(s, text);
}

int32_t WriteBytes(CStream& s, std::string_view bytes) {
    if (bytes.empty()) {
        return 0;
    }
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        return 0;
    }
    return s.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::optional<std::string> ReadString(CStream& s) {
    const int32_t start = s.GetPosition();
    const int32_t size = s.GetSize();
    int32_t length = 0;  // bytes before the terminator
    bool terminated = false;
    for (;;) {
        uint8_t byte = 0;
        if (s.Read(&byte, 1) != 1) {
            break;
        }
        if (byte == 0) {
            terminated = true;
            break;
        }
        ++length;
        if (start + length >= size) {
            break;  // the byte just read was the last one
        }
    }
    if (length == 0) {
        return std::nullopt;
    }
    s.Seek(start, kSeekSet);
    std::string text(static_cast<std::size_t>(length), '\0');
    s.Read(text.data(), length);
    if (terminated) {
        uint8_t zero;
        s.Read(&zero, 1);
    }
    return text;
}

std::string ReadBytes(CStream& s, int32_t count) {
    if (count <= 0) {
        return {};
    }
    const int32_t available = s.GetSize() - s.GetPosition();
    if (count > available) {
        count = available < 0 ? 0 : available;
    }
    std::string bytes(static_cast<std::size_t>(count), '\0');
    const int32_t got = count > 0 ? s.Read(bytes.data(), count) : 0;
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

CMemoryStream CopyToMemory(CStream& source, int32_t length) {
    CMemoryStream copy;
    if (length > 0) {
        CopyStream(length, source, copy);
    }
    copy.Seek(0, kSeekSet);
    return copy;
}

bool CopyStream(int32_t count, CStream& source, CStream& target) {
    const int32_t available = source.GetSize() - source.GetPosition();
    if (count < 0 || count > available) {
        count = available;
    }
    if (count <= 0) {
        return true;
    }
    // From memory the bytes go out in one piece, without a bounce buffer.
    auto* memory = &source != &target ? dynamic_cast<CMemoryReader*>(&source) : nullptr;
    if (memory) {
        const int32_t step = std::min(count, memory->UnreadSize());
        const int32_t written = step > 0 ? target.Write(memory->Unread(), step) : 0;
        if (written > 0) {
            memory->Skip(written);
        }
        return step == count && written == step;
    }
    constexpr int32_t kStep = 4096;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kStep]);
    if (!buffer) {
        return false;
    }
    bool ok = true;
    while (count > 0) {
        const int32_t step = count < kStep ? count : kStep;
        const int32_t got = source.Read(buffer.get(), step);
        if (got <= 0) {
            ok = false;  // the source shrank under us; stop rather than spin
            break;
        }
        if (target.Write(buffer.get(), got) != got) {
            ok = false;
            break;
        }
        count -= got;
    }
    return ok;
}

bool ReplaceFile(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace velcora
