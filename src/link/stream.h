// Byte streams: the one abstraction every message body, buffer and file format
// goes through. Counts, offsets, sizes and positions are signed 32-bit; every
// multi-byte value is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace velcora {

// Seek origins.
inline constexpr int32_t kSeekSet = 0;
inline constexpr int32_t kSeekCur = 1;
inline constexpr int32_t kSeekEnd = 2;

class CStream {
  public:
    virtual ~CStream() = default;
    // Returns the number of bytes written, or 0 or below on failure.
    virtual int32_t Write(const void* data, int32_t count) = 0;
    // Returns the number of bytes read.
    virtual int32_t Read(void* data, int32_t count) = 0;
    // Returns the new position.
    virtual int32_t Seek(int32_t offset, int32_t origin) = 0;

    // Both are built on Seek and deliberately not virtual.
    int32_t GetPosition();
    int32_t GetSize();

  protected:
    // What the typed readers and writers may do without a virtual call:
    // streams whose bytes lie in one block of memory say so, and the typed
    // functions then work on the block directly. Behaviour is the same as
    // through Read and Write; only the cost differs.
    enum class Access : uint8_t { Virtual, MemoryRead, MemoryReadWrite };
    Access access_ = Access::Virtual;

    template <typename T>
    friend T ReadValue(CStream& s);
    template <int N>
    friend int32_t WriteValue(CStream& s, uint64_t raw);
};

// A stream over one block of bytes: the reading half shared by the memory
// stream and the read-only view.
class CMemoryReader : public CStream {
  public:
    int32_t Read(void* data, int32_t count) override {
        if (count <= 0) {
            return 0;
        }
        const int32_t available = size_ - position_;
        if (count > available) {
            count = available;
        }
        if (count <= 0) {
            return 0;
        }
        std::memcpy(data, buffer_ + position_, static_cast<std::size_t>(count));
        position_ += count;
        return count;
    }

    // The unread bytes, for copying them out in one piece; Skip moves past
    // those taken (clamped to what remains).
    const uint8_t* Unread() const { return buffer_ + position_; }
    int32_t UnreadSize() const { return size_ - position_; }
    void Skip(int32_t count) {
        position_ += count < 0 ? 0 : count > size_ - position_ ? size_ - position_ : count;
    }

    // Takes exactly N bytes when that many remain; false (nothing taken) otherwise.
    template <int N>
    bool ReadExact(uint8_t* out) {
        if (size_ - position_ < N) {
            return false;
        }
        std::memcpy(out, buffer_ + position_, N);
        position_ += N;
        return true;
    }

  protected:
    CMemoryReader() { access_ = Access::MemoryRead; }

    uint8_t* buffer_ = nullptr;
    int32_t position_ = 0;
    int32_t size_ = 0;
};

// A disk file opened "rb" or "wb" (never with newline translation). A failed
// open leaves the object without a handle; every operation then answers -1.
class CFileStream : public CStream {
  public:
    enum class Mode { Read, Write };
    CFileStream(const std::string& utf8Path, Mode mode);
    ~CFileStream() override;
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Flushes and closes; returns false when buffered data could not be written.
    bool Close();

    int32_t Write(const void* data, int32_t count) override;
    int32_t Read(void* data, int32_t count) override;
    int32_t Seek(int32_t offset, int32_t origin) override;

  private:
    std::FILE* file_ = nullptr;
};

// A file read through a window of its bytes, for parsers that read many small
// fields and jump back and forth within records: small reads are served from
// the window, reads of at least half a window go from the file straight into
// the caller's memory, and Seek only moves the position. The size is the
// file's at opening (files over 2 GB are not opened); a file cut meanwhile
// gives short reads, never more.
class CFileReader final : public CStream {
  public:
    explicit CFileReader(const std::string& utf8Path, int32_t window = 1 << 20);
    ~CFileReader() override;
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int32_t Size() const { return size_; }

    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Read(void* data, int32_t count) override;
    int32_t Seek(int32_t offset, int32_t origin) override;

  private:
    int fd_ = -1;
    int32_t size_ = 0;
    int32_t position_ = 0;
    std::string window_;
    int32_t windowStart_ = 0;
    int32_t windowLength_ = 0;
};

// A file written through a window of its bytes: writes that continue what the
// window holds are gathered there, a seek and a write elsewhere (patching a
// length written earlier) writes the window out first, and writes of at least
// a window go straight to the file. The file is created or emptied at opening;
// Close tells whether everything reached it.
class CFileWriter final : public CStream {
  public:
    explicit CFileWriter(const std::string& utf8Path, int32_t window = 1 << 20);
    ~CFileWriter() override;
    CFileWriter(const CFileWriter&) = delete;
    CFileWriter& operator=(const CFileWriter&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Writes what the window holds and closes; false when any write failed.
    bool Close();

    int32_t Write(const void* data, int32_t count) override;
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, int32_t origin) override;

  private:
    bool Flush();
    bool WriteAt(const void* data, int32_t count, int32_t at);

    int fd_ = -1;
    bool failed_ = false;
    int32_t position_ = 0;
    int32_t end_ = 0;  // the file's length so far, window included
    std::string window_;
    int32_t windowStart_ = 0;
    int32_t windowLength_ = 0;
};

// A growable heap buffer. Its capacity is never stored: it is always the size
// rounded up to a multiple of the granularity, so size 0 owns no block.
class CMemoryStream final : public CMemoryReader {
  public:
    // The allocator has realloc semantics (size 0 never requested; nullptr on
    // failure). Injectable so that running out of memory can be tested.
    using ReallocFn = void* (*)(void* block, std::size_t bytes);

    explicit CMemoryStream(int32_t granularity = 1024, ReallocFn allocator = nullptr);
    ~CMemoryStream() override;
    CMemoryStream(const CMemoryStream&) = delete;
    CMemoryStream& operator=(const CMemoryStream&) = delete;
    CMemoryStream(CMemoryStream&& other) noexcept;
    CMemoryStream& operator=(CMemoryStream&& other) noexcept;

    int32_t Write(const void* data, int32_t count) override;
    int32_t Seek(int32_t offset, int32_t origin) override;

    // A failure leaves contents, size and position exactly as they were.
    bool SetSize(int32_t newSize);
    // Moves the unread tail to the start and drops what was read before it.
    void DiscardConsumed();
    bool SaveToFile(const std::string& utf8Path);
    bool LoadFromFile(const std::string& utf8Path);

    uint8_t* Data() { return buffer_; }
    const uint8_t* Data() const { return buffer_; }
    int32_t Size() const { return size_; }
    int32_t Position() const { return position_; }
    int32_t Granularity() const { return granularity_; }
    // Bytes currently allocated (derived from size and granularity).
    int32_t Capacity() const { return CapacityFor(size_); }
    bool HasBlock() const { return buffer_ != nullptr; }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(buffer_), static_cast<std::size_t>(size_)};
    }
    // Convenience for building a stream from bytes; position ends at 0.
    bool Assign(std::string_view bytes);
    void Clear() { SetSize(0); }

    // A write of a few bytes that fits the block already allocated; anything
    // else goes the long way.
    template <int N>
    int32_t WriteSmall(const uint8_t* data) {
        if (position_ <= allocated_ - N) {
            std::memcpy(buffer_ + position_, data, N);
            position_ += N;
            if (position_ > size_) {
                size_ = position_;
            }
            return N;
        }
        return Write(data, N);
    }

  private:
    int32_t CapacityFor(int32_t size) const;
    // Makes the block hold at least `bytes`; false when the allocator refuses.
    bool Reserve(int32_t bytes);
    void FreeBlock();

    // The block may be larger than Capacity() while the stream grows, so that
    // a stream built from many small writes is not reallocated at every step;
    // it is trimmed back to the rule whenever the size shrinks.
    int32_t allocated_ = 0;
    int32_t granularity_ = 1024;
    ReallocFn realloc_ = nullptr;
};

// A read-only stream over bytes owned by someone else, which must outlive it.
// Positions run from 0 to the length; reads stop at the end.
class CMemoryView final : public CMemoryReader {
  public:
    CMemoryView(const void* data, int32_t length) {
        buffer_ = static_cast<uint8_t*>(const_cast<void*>(data));
        size_ = length > 0 && data ? length : 0;
    }

    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, int32_t origin) override;
};

// A read-only window of `length` bytes of another stream, starting at
// `offset`. Positions are relative to the window; reads stop at its end, so a
// reader that expects more than is there gets zeros, never the bytes that
// follow the window (the next frame, for a message payload).
class CSubStream : public CStream {
  public:
    CSubStream(CStream& parent, int32_t offset, int32_t length);

    int32_t Write(const void* data, int32_t count) override;
    int32_t Read(void* data, int32_t count) override;
    int32_t Seek(int32_t offset, int32_t origin) override;

  private:
    CStream& parent_;
    int32_t offset_;
    int32_t length_;
    int32_t position_ = 0;
};

// The fast paths below cast by the access tag. Where a caller's stream is of a
// type the compiler can see (a CFileStream on the stack), GCC at -O2 still
// checks the branch the tag rules out and warns that the memory stream's
// fields lie outside that object; the branch is never taken there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif

// A little-endian value of type T; the bytes are zeroed first, so a short read
// yields zeros.
template <typename T>
T ReadValue(CStream& s) {
    static_assert(std::is_arithmetic_v<T> && (sizeof(T) <= 8));
    uint8_t bytes[sizeof(T)] = {};
    if (s.access_ == CStream::Access::Virtual ||
        !static_cast<CMemoryReader&>(s).ReadExact<sizeof(T)>(bytes)) {
        s.Read(bytes, sizeof(T));
    }
    using U = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
    U raw = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        raw |= static_cast<U>(bytes[i]) << (8 * i);
    }
    T value{};
    if constexpr (std::is_floating_point_v<T>) {
        using Same = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
        const Same exact = static_cast<Same>(raw);
        std::memcpy(&value, &exact, sizeof(T));
    } else {
        value = static_cast<T>(raw);
    }
    return value;
}

// The lowest N bytes of `raw`, little-endian; returns the Write result.
template <int N>
int32_t WriteValue(CStream& s, uint64_t raw) {
    uint8_t buf[N];
    for (int i = 0; i < N; ++i) {
        buf[i] = static_cast<uint8_t>(raw >> (8 * i));
    }
    if (s.access_ == CStream::Access::MemoryReadWrite) {
        return static_cast<CMemoryStream&>(s).WriteSmall<N>(buf);
    }
    return s.Write(buf, N);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Typed readers: the value is zeroed first, so a short read yields zeros.
inline uint8_t ReadU8(CStream& s) {
    return ReadValue<uint8_t>(s);
}
inline uint16_t ReadU16(CStream& s) {
    return ReadValue<uint16_t>(s);
}
inline uint32_t ReadU32(CStream& s) {
    return ReadValue<uint32_t>(s);
}
inline uint64_t ReadU64(CStream& s) {
    return ReadValue<uint64_t>(s);
}
inline int8_t ReadI8(CStream& s) {
    return static_cast<int8_t>(ReadValue<uint8_t>(s));
}
inline int16_t ReadI16(CStream& s) {
    return static_cast<int16_t>(ReadValue<uint16_t>(s));
}
inline int32_t ReadI32(CStream& s) {
    return static_cast<int32_t>(ReadValue<uint32_t>(s));
}
inline float ReadFloat(CStream& s) {
    return ReadValue<float>(s);
}
inline double ReadDouble(CStream& s) {
    return ReadValue<double>(s);
}

// Typed writers; each returns the stream's Write result.
inline int32_t WriteU8(CStream& s, uint8_t v) {
    return WriteValue<1>(s, v);
}
inline int32_t WriteU16(CStream& s, uint16_t v) {
    return WriteValue<2>(s, v);
}
inline int32_t WriteU32(CStream& s, uint32_t v) {
    return WriteValue<4>(s, v);
}
inline int32_t WriteU64(CStream& s, uint64_t v) {
    return WriteValue<8>(s, v);
}
inline int32_t WriteI32(CStream& s, int32_t v) {
    return WriteValue<4>(s, static_cast<uint32_t>(v));
}
inline int32_t WriteFloat(CStream& s, float v) {
    uint32_t raw;
    std::memcpy(&raw, &v, 4);
    return WriteValue<4>(s, raw);
}
inline int32_t WriteDouble(CStream& s, double v) {
    uint64_t raw;
    std::memcpy(&raw, &v, 8);
    return WriteValue<8>(s, raw);
}

// A narrow text with its terminating zero; nullptr writes one zero byte.
int32_t WriteString(CStream& s, const char* text);
int32_t WriteString(CStream& s, std::string_view text);
// A narrow text without terminator.
int32_t WriteText(CStream& s, std::string_view text);
int32_t WriteBytes(CStream& s, std::string_view bytes);

// Reads a zero-terminated text. No text (nullopt) when the first byte is zero
// or nothing could be read; the zero is consumed either way. A text that runs
// to the end of the stream without a terminator is returned as it stands.
std::optional<std::string> ReadString(CStream& s);

// Reads exactly `count` bytes (fewer at the end of the stream).
std::string ReadBytes(CStream& s, int32_t count);

// The next `length` bytes of a stream (fewer at its end) as a memory stream
// positioned at its start: handlers that read a message body as many small
// fields do so faster from memory than through a window onto the receive buffer.
CMemoryStream CopyToMemory(CStream& source, int32_t length);

// Copies from the source's position to the target's; a negative count or one
// beyond what is available copies everything available.
bool CopyStream(int32_t count, CStream& source, CStream& target);

// Writes bytes to "PATH.part" and renames it over `path`, so that a failed
// write never leaves a half-written or empty file where the old one was.
bool ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace velcora
