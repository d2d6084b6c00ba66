// The serial line over a pseudo-terminal: raw bytes, exclusive use, wake-up.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "instruments/pseudo_terminal.h"
#include "instruments/serial_port.h"

namespace zelmora {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> readFor(SerialPort& port, std::size_t want, int timeoutMs) {
    std::vector<std::uint8_t> got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && Clock::now() < deadline) {
        if (port.waitReadable(50) != SerialPort::Wait::Data)
            continue;
        std::uint8_t buf[80];
        const long n = port.read(buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

TEST(SerialPort, PassesEveryByteValueBothWays) {
    PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.open(&error)) << error;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slavePath(), &error)) << error;
    ASSERT_TRUE(port.configure({}, &error)) << error;
    // A pseudo-terminal has no modem lines: not an error.
    EXPECT_FALSE(port.modemLinesSupported());
    EXPECT_TRUE(port.setDtr(false));
    EXPECT_TRUE(port.purge());

    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    // 0x03 (^C), 0x11/0x13 (XON/XOFF), CR and LF in a row as well.
    all.insert(all.end(), {0x03, 0x11, 0x13, 0x0D, 0x0A, 0x0D, 0x13, 0x11});
    ASSERT_EQ(::write(pty.master(), all.data(), all.size()), static_cast<ssize_t>(all.size()));
    EXPECT_EQ(readFor(port, all.size(), 2000), all);

    ASSERT_TRUE(port.write(all.data(), all.size(), 1000));
    std::vector<std::uint8_t> back;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (back.size() < all.size() && Clock::now() < deadline) {
        std::uint8_t buf[512];
        const ssize_t n = ::read(pty.master(), buf, sizeof buf);
        if (n > 0)
            back.insert(back.end(), buf, buf + n);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(back, all);
}

TEST(SerialPort, OpensExclusivelyAndFailsClearly) {
    PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.open(&error)) << error;
    SerialPort a;
    ASSERT_TRUE(a.open(pty.slavePath(), &error));
    SerialPort b;
    EXPECT_FALSE(b.open(pty.slavePath(), &error));
    EXPECT_FALSE(error.empty());
    a.close();
    // Released on close: the next device may take it.
    EXPECT_TRUE(b.open(pty.slavePath(), &error)) << error;

    SerialPort c;
    EXPECT_FALSE(c.open("/nonexistent/ttyS99", &error));
    EXPECT_NE(error.find("/nonexistent/ttyS99"), std::string::npos);
    EXPECT_FALSE(c.open("/dev/null", &error));  // not a terminal
    EXPECT_FALSE(c.isOpen());
    EXPECT_FALSE(c.write(reinterpret_cast<const std::uint8_t*>("x"), 1, 10));
}

TEST(SerialPort, WakeEndsAWaitAtOnce) {
    PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.open(&error));
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slavePath(), &error));
    ASSERT_TRUE(port.configure({}, &error));
    EXPECT_EQ(port.waitReadable(20), SerialPort::Wait::Timeout);

    SerialPort::Wait result = SerialPort::Wait::Timeout;
    const auto t0 = Clock::now();
    std::thread waiter([&] { result = port.waitReadable(5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    port.wake();
    waiter.join();
    EXPECT_EQ(result, SerialPort::Wait::Woken);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
    // Sticky until cleared, so a close cannot be missed by a late waiter.
    EXPECT_EQ(port.waitReadable(0), SerialPort::Wait::Woken);
    port.clearWake();
    EXPECT_EQ(port.waitReadable(0), SerialPort::Wait::Timeout);
}

}  // namespace
}  // namespace zelmora
