// Byte streams for blob values: the abstract TStream that CreateBlobStream returns, and
// TMemoryStream, a stream over bytes in memory that datasets use to cache blob values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varelum::db {

enum TSeekOrigin {
    soBeginning,
    soCurrent,
    soEnd,
};

class TStream {
  public:
    virtual ~TStream() = default;

    // Copies up to count bytes from the position into buffer; returns how many (0 at the
    // end) and advances the position by that.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes count bytes at the position (growing the stream as needed); returns count.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; a position before the start is clamped to 0. Returns it.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;
    // Cuts the stream at the position.
    virtual void Truncate() = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    // Everything from the start, as bytes.
    std::string ReadAll();
    // Replaces the whole content.
    void WriteAll(std::string_view bytes);
};

// A stream over an owned byte string.
class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }
    void Truncate() override { FBytes.resize(FPosition); }

    const std::string& Bytes() const { return FBytes; }
    std::string& Bytes() { return FBytes; }
    void Clear() {
        FBytes.clear();
        FPosition = 0;
    }

  private:
    std::string FBytes;
    std::size_t FPosition = 0;
};

}  // namespace varelum::db
