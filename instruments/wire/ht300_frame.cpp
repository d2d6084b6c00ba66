#include "instruments/wire/ht300_frame.h"

namespace zelmora::wire {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void putHex2(std::string& s, unsigned v) {
    s.push_back(kHex[(v >> 4) & 0xF]);
    s.push_back(kHex[v & 0xF]);
}

void putHex4(std::string& s, unsigned v) {
    putHex2(s, (v >> 8) & 0xFF);
    putHex2(s, v & 0xFF);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of `digits` hexadecimal digits at `pos`, or -1.
long hexAt(std::string_view s, std::size_t pos, std::size_t digits) {
    if (pos + digits > s.size())
        return -1;
    long v = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int d = hexDigit(s[pos + i]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

std::string buildFrame(int command, const std::string& header8,
                       const std::vector<std::uint8_t>& data) {
    std::string f;
    f.reserve(kHt300HeaderLength + 2 * data.size() + 2);
    f.push_back(kHt300Start);
    putHex2(f, static_cast<unsigned>(command) & 0xFF);
    f += header8;
    putHex4(f, static_cast<unsigned>(2 * data.size() + 16));
    for (std::uint8_t b : data)
        putHex2(f, b);
    putHex2(f, ht300Checksum(f, f.size()));
    f += "\r\n";
    return f;
}

}  // namespace

std::uint8_t ht300Checksum(std::string_view frame, std::size_t end) {
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < end && i < frame.size(); ++i)
        x ^= static_cast<std::uint8_t>(frame[i]);
    return x;
}

std::string buildHt300Request(int command, const std::vector<std::uint8_t>& data) {
    return buildFrame(command, "00000000", data);
}

std::string buildHt300Answer(int command, int error, int mode, int bits,
                             const std::vector<std::uint8_t>& data) {
    std::string header;
    putHex2(header, static_cast<unsigned>(error) & 0xFF);
    putHex2(header, static_cast<unsigned>(mode) & 0xFF);
    putHex4(header, static_cast<unsigned>(bits) & 0xFFFF);
    return buildFrame(command, header, data);
}

const char* ht300FaultText(Ht300Fault f) {
    switch (f) {
        case Ht300Fault::None:
            return "";
        case Ht300Fault::TooLong:
            return "посылка длиннее 256 символов";
        case Ht300Fault::Short:
            return "посылка короче заголовка";
        case Ht300Fault::Length:
            return "длина посылки не совпадает с полем длины";
        case Ht300Fault::Digits:
            return "в посылке не шестнадцатеричные символы";
        case Ht300Fault::Checksum:
            return "ошибка контрольной суммы";
    }
    return "";
}

Ht300Fault parseHt300Frame(std::string_view s, Ht300Answer& out) {
    if (s.size() > kHt300MaxAnswer)
        return Ht300Fault::TooLong;
    if (s.size() < kHt300HeaderLength || s[0] != kHt300Start)
        return Ht300Fault::Short;
    const long length = hexAt(s, 11, 4);
    if (length < 0)
        return Ht300Fault::Digits;
    // The length field names the last character: the frame's size less one,
    // and the data between header and checksum come in whole pairs.
    if (static_cast<std::size_t>(length) + 1 != s.size() || (length - 16) % 2 != 0)
        return Ht300Fault::Length;
    const std::size_t checkPos = s.size() - 2;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (hexDigit(s[i]) < 0)
            return Ht300Fault::Digits;
    if (hexAt(s, checkPos, 2) != ht300Checksum(s, checkPos))
        return Ht300Fault::Checksum;
    Ht300Answer a;
    a.command = static_cast<int>(hexAt(s, 1, 2));
    a.error = static_cast<int>(hexAt(s, 3, 2));
    a.mode = static_cast<int>(hexAt(s, 5, 2));
    a.bits = static_cast<int>(hexAt(s, 7, 4));
    for (std::size_t p = 15; p < checkPos; p += 2)
        a.data.push_back(static_cast<std::uint8_t>(hexAt(s, p, 2)));
    out = std::move(a);
    return Ht300Fault::None;
}

Ht300AnswerParser::Event Ht300AnswerParser::feed(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    if (c == kHt300Start) {
        buf_.assign(1, c);
        inFrame_ = true;
        return Event::None;
    }
    if (!inFrame_)
        return Event::None;
    if (c == '\r') {
        inFrame_ = false;
        frame_ = std::move(buf_);
        buf_.clear();
        fault_ = parseHt300Frame(frame_, answer_);
        return fault_ == Ht300Fault::None ? Event::Answer : Event::Bad;
    }
    if (buf_.size() >= kHt300MaxAnswer) {
        inFrame_ = false;
        frame_ = std::move(buf_);
        buf_.clear();
        fault_ = Ht300Fault::TooLong;
        return Event::Bad;
    }
    buf_.push_back(c);
    return Event::None;
}

}  // namespace zelmora::wire
