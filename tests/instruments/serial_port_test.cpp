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
    const Status ptyOpened = pty.open();
    ASSERT_TRUE(ptyOpened) << ptyOpened.message();
    SerialPort port;
    const Status opened = port.open(pty.slavePath());
    ASSERT_TRUE(opened) << opened.message();
    const Status configured = port.configure({});
    ASSERT_TRUE(configured) << configured.message();
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
    const Status ptyOpened = pty.open();
    ASSERT_TRUE(ptyOpened) << ptyOpened.message();
    SerialPort a;
    ASSERT_TRUE(a.open(pty.slavePath()));
    SerialPort b;
    const Status busy = b.open(pty.slavePath());
    EXPECT_FALSE(busy);
    EXPECT_FALSE(busy.message().empty());
    a.close();
    // Released on close: the next device may take it.
    const Status taken = b.open(pty.slavePath());
    EXPECT_TRUE(taken) << taken.message();

    SerialPort c;
    const Status missing = c.open("/nonexistent/ttyS99");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message().find("/nonexistent/ttyS99"), std::string::npos);
    EXPECT_FALSE(c.open("/dev/null"));  // not a terminal
    EXPECT_FALSE(c.isOpen());
    EXPECT_FALSE(c.write(reinterpret_cast<const std::uint8_t*>("x"), 1, 10));
}

TEST(SerialPort, WakeEndsAWaitAtOnce) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slavePath()));
    ASSERT_TRUE(port.configure({}));
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
