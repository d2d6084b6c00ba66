#include "document/archive/archive.h"

#include <cstring>
#include <limits>

#include "app/text.h"

namespace zelmora {

void ArchiveWriter::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}

void ArchiveWriter::u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        u8(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        u8(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::f32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(bits);
}

void ArchiveWriter::f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    u64(bits);
}

void ArchiveWriter::dateTime(std::time_t t) {
    if (t < 0)
        t = 0;
    if (static_cast<std::uint64_t>(t) > std::numeric_limits<std::uint32_t>::max())
        t = static_cast<std::time_t>(std::numeric_limits<std::uint32_t>::max());
    u32(static_cast<std::uint32_t>(t));
}

void ArchiveWriter::string(std::string_view utf8) {
    rawString(text::toCp1251(utf8));
}

void ArchiveWriter::rawString(std::string_view bytesIn) {
    const std::size_t n = bytesIn.size();
    if (n < 0xFF) {
        u8(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFE) {
        u8(0xFF);
        u16(static_cast<std::uint16_t>(n));
    } else {
        u8(0xFF);
        u16(0xFFFF);
        u32(static_cast<std::uint32_t>(n));
    }
    buf_.append(bytesIn);
}

void ArchiveReader::fail(std::string reason) {
    if (error_.empty())
        error_ = reason.empty() ? "ошибка чтения" : std::move(reason);
}

bool ArchiveReader::need(std::size_t n) {
    if (!ok())
        return false;
    if (n > data_.size() - pos_) {
        fail("неожиданный конец данных");
        return false;
    }
    return true;
}

std::uint8_t ArchiveReader::u8() {
    if (!need(1))
        return 0;
    return static_cast<std::uint8_t>(data_[pos_++]);
}

std::uint16_t ArchiveReader::u16() {
    if (!need(2))
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    pos_ += 2;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ArchiveReader::u32() {
    if (!need(4))
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    pos_ += 4;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t ArchiveReader::u64() {
    const std::uint64_t lo = u32();
    const std::uint64_t hi = u32();
    return lo | (hi << 32);
}

float ArchiveReader::f32() {
    const std::uint32_t bits = u32();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

double ArchiveReader::f64() {
    const std::uint64_t bits = u64();
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

std::string ArchiveReader::rawString() {
    std::size_t n = u8();
    if (n == 0xFF) {
        n = u16();
        if (n == 0xFFFF)
            n = u32();
    }
    if (!ok())
        return {};
    if (n > remaining()) {
        fail("длина строки больше оставшихся данных");
        return {};
    }
    std::string out(data_.substr(pos_, n));
    pos_ += n;
    return out;
}

std::string ArchiveReader::string() {
    return text::fromCp1251(rawString());
}

std::string_view ArchiveReader::bytes(std::size_t n) {
    if (!need(n))
        return {};
    std::string_view out = data_.substr(pos_, n);
    pos_ += n;
    return out;
}

bool ArchiveReader::skip(std::size_t n) {
    if (!need(n))
        return false;
    pos_ += n;
    return true;
}

std::size_t ArchiveReader::count(std::int64_t value, std::size_t minElementSize, const char* what) {
    if (!ok())
        return 0;
    if (value < 0) {
        fail(std::string("отрицательное число: ") + what);
        return 0;
    }
    const auto n = static_cast<std::uint64_t>(value);
    const std::size_t unit = minElementSize == 0 ? 1 : minElementSize;
    if (n > remaining() / unit) {
        fail(std::string("число больше оставшихся данных: ") + what);
        return 0;
    }
    return static_cast<std::size_t>(n);
}

}  // namespace zelmora
