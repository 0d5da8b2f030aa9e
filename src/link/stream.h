// Byte streams: the one abstraction every message body, buffer and file format
// goes through. Counts, offsets, sizes and positions are signed 32-bit; every
// multi-byte value is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

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

// A growable heap buffer. Its capacity is never stored: it is always the size
// rounded up to a multiple of the granularity, so size 0 owns no block.
class CMemoryStream : public CStream {
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
    int32_t Read(void* data, int32_t count) override;
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

  private:
    int32_t CapacityFor(int32_t size) const;
    void FreeBlock();

    uint8_t* buffer_ = nullptr;
    int32_t position_ = 0;
    int32_t size_ = 0;
    int32_t granularity_ = 1024;
    ReallocFn realloc_ = nullptr;
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

// Typed readers: the value is zeroed first, so a short read yields zeros.
uint8_t ReadU8(CStream& s);
uint16_t ReadU16(CStream& s);
uint32_t ReadU32(CStream& s);
uint64_t ReadU64(CStream& s);
int8_t ReadI8(CStream& s);
int16_t ReadI16(CStream& s);
int32_t ReadI32(CStream& s);
float ReadFloat(CStream& s);
double ReadDouble(CStream& s);

// Typed writers; each returns the stream's Write result.
int32_t WriteU8(CStream& s, uint8_t v);
int32_t WriteU16(CStream& s, uint16_t v);
int32_t WriteU32(CStream& s, uint32_t v);
int32_t WriteU64(CStream& s, uint64_t v);
int32_t WriteI32(CStream& s, int32_t v);
int32_t WriteFloat(CStream& s, float v);
int32_t WriteDouble(CStream& s, double v);

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
