#pragma once
// Resynchronisation of the frame parsers after a frame failed its checks:
// the frame may really have started at one of its later bytes, so the bytes
// after its first one (buf[1..pos]) are parsed again, ahead of the bytes
// still waiting in the queue. The caller then starts a new frame (pos = 0).

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelmora::wire {

template <std::size_t FrameSize, std::size_t QueueSize>
void requeueAfterFirstByte(const std::array<std::uint8_t, FrameSize>& buf, std::size_t pos,
                           std::array<std::uint8_t, QueueSize>& queue, std::size_t& head,
                           std::size_t& tail) {
    static_assert(QueueSize >= FrameSize, "the queue must hold a frame's bytes");
    std::array<std::uint8_t, QueueSize> next{};
    std::size_t n = 0;
    for (std::size_t i = 1; i <= pos; ++i)
        next[n++] = buf[i];
    for (std::size_t i = head; i < tail; ++i)
        next[n++] = queue[i];
    queue = next;
    head = 0;
    tail = n;
}

}  // namespace zelmora::wire
