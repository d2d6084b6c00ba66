#include "instruments/wire/pelvio_frame.h"

namespace zelmora::wire {

std::vector<std::uint8_t> buildPelvioFrame(const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> f;
    f.reserve(payload.size() + 3);
    f.push_back(kPelvioSync);
    const auto length = static_cast<std::uint8_t>(payload.size());
    f.push_back(length);
    std::uint8_t check = length;
    for (std::uint8_t b : payload) {
        f.push_back(b);
        check ^= b;
    }
    f.push_back(check);
    return f;
}

PelvioFrameParser::Event PelvioFrameParser::feed(std::uint8_t byte) {
    if (pos_ == 0 && byte != kPelvioSync)
        return Event::None;
    buf_[pos_++] = byte;
    if (pos_ < 2)
        return Event::None;
    const std::size_t length = buf_[1];
    const std::size_t total = length + 3;
    if (pos_ < total) {
        if (pos_ < kPelvioMaxFrame)
            return Event::None;
        pos_ = 0;
        return Event::TooLong;
    }
    pos_ = 0;
    std::uint8_t check = buf_[1];
    for (std::size_t i = 0; i < length; ++i)
        check ^= buf_[2 + i];
    if (check != buf_[total - 1])
        return Event::BadCheck;
    payload_.assign(buf_ + 2, buf_ + 2 + length);
    return Event::Frame;
}

PelvioRequestParser::Event PelvioRequestParser::feed(std::uint8_t byte) {
    if (pos_ == 1 && (byte == 0 || byte > kPelvioMaxRequestPayload)) {
        pos_ = 0;
        if (byte != kPelvioSync)
            return Event::None;
    }
    if (pos_ == 0 && byte != kPelvioSync)
        return Event::None;
    buf_[pos_++] = byte;
    if (pos_ < 2)
        return Event::None;
    const std::size_t length = buf_[1];
    const std::size_t total = length + 3;
    if (pos_ < total)
        return Event::None;
    pos_ = 0;
    std::uint8_t check = buf_[1];
    for (std::size_t i = 0; i < length; ++i)
        check ^= buf_[2 + i];
    if (check != buf_[total - 1])
        return Event::BadCheck;
    payload_.assign(buf_ + 2, buf_ + 2 + length);
    return Event::Frame;
}

}  // namespace zelmora::wire
