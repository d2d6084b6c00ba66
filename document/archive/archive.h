#pragma once
// The byte encoding shared by the chromatogram streams and the method file:
// little-endian integers, IEEE floats, date-times as uint32 seconds since
// 1970 and counted strings of Windows-1251 text. A string's length is one
// byte below 255; otherwise 0xFF and a 16-bit length below 0xFFFE; otherwise
// 0xFF, 0xFFFF and a 32-bit length. The reader accepts non-minimal forms.
//
// ArchiveReader never reads past its input: every length and count is
// checked against the bytes left before anything is allocated. The first
// failure sticks; later reads return zeros and the caller checks ok() once.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora {

class ArchiveWriter {
  public:
    void u8(std::uint8_t v) { buf_.push_back(static_cast<char>(v)); }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void u16(std::uint16_t v);
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u32(std::uint32_t v);
    void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
    void u64(std::uint64_t v);
    void f32(float v);
    void f64(double v);
    // Seconds since 1970 as uint32; times outside its range are clamped.
    void dateTime(std::time_t t);
    // A UTF-8 string, stored as its 1251 bytes with the counted length.
    void string(std::string_view utf8);
    // A counted string whose bytes are written as they are.
    void rawString(std::string_view bytes);
    void bytes(std::string_view raw) { buf_.append(raw); }

    const std::string& data() const { return buf_; }
    std::string take() { return std::move(buf_); }
    std::size_t size() const { return buf_.size(); }

  private:
    std::string buf_;
};

class ArchiveReader {
  public:
    explicit ArchiveReader(std::string_view data) : data_(data) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return ok() ? data_.size() - pos_ : 0; }
    bool atEnd() const { return remaining() == 0; }

    std::uint8_t u8();
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint16_t u16();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint32_t u32();
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    std::uint64_t u64();
    float f32();
    double f64();
    std::time_t dateTime() { return static_cast<std::time_t>(u32()); }
    // A counted string converted from 1251 to UTF-8.
    std::string string();
    // A counted string's bytes as stored.
    std::string rawString();
    // `n` bytes as stored.
    std::string_view bytes(std::size_t n);
    bool skip(std::size_t n);

    // A count read from the file, checked to be non-negative and to fit into
    // the bytes left when each element takes at least `minElementSize` bytes.
    // Returns 0 and fails the reader otherwise.
    std::size_t count(std::int64_t value, std::size_t minElementSize, const char* what);

    // Marks the reader failed with a reason (the first reason is kept).
    void fail(std::string reason);

  private:
    bool need(std::size_t n);

    std::string_view data_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace zelmora
