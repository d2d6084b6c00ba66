#pragma once
// One serial line to an instrument, over POSIX termios: opened exclusively,
// in raw mode (no byte is swallowed or translated: 0x03, 0x11, 0x13 and CR
// arrive as sent), without flow control. Waiting for received bytes uses
// poll() on the line together with a wake-up descriptor, so that closing a
// device wakes its blocked reader at once.
//
// Threads: open(), configure() and close() run while no other thread uses
// the port (the device guarantees it); the reader thread calls
// waitReadable() and read(); writes come from the device under its port
// lock. wake() may be called from any thread at any time: the wake-up
// descriptor lives as long as the object.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/result.h"

namespace zelmora {

struct LineSettings {
    int baud = 9600;
    bool dtr = true;
    bool rts = true;
};

// Writes every byte to the non-blocking descriptor `fd`, waiting while its
// output queue is full, for at most `timeoutMs` in all. `waiting`, when
// given, runs after each wait of at most `sliceMs` and gives up by
// returning false. Returns 0, or the errno of the failure (ETIMEDOUT when
// the time ran out or `waiting` gave up).
int writeFully(int fd, const std::uint8_t* bytes, std::size_t count, int timeoutMs,
               const std::function<bool()>& waiting = {}, int sliceMs = 0);

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device path for reading and writing and takes it for this
    // process alone (an advisory lock and TIOCEXCL): a second open of the
    // same line fails. Clears a pending wake-up. A failure names the line and
    // the reason.
    Status open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Raw mode, speed, 8 data bits, no parity, one stop bit, no flow control,
    // then the DTR and RTS lines. Lines that the port does not have (a
    // pseudo-terminal) are not an error; modemLinesSupported() tells.
    Status configure(const LineSettings& s);
    bool setDtr(bool on);
    bool setRts(bool on);
    bool modemLinesSupported() const { return modemLines_; }

    // Discards what is waiting in both directions.
    bool purge();

    enum class Wait { Data, Timeout, Woken, HangUp, Error };
    // Waits up to timeoutMs (negative: forever) for received bytes or a
    // wake-up.
    Wait waitReadable(int timeoutMs);
    // Reads what is waiting, at most `max` bytes, without blocking: the
    // count, 0 when nothing is waiting, -1 on an error (errno kept in
    // lastErrno()).
    long read(std::uint8_t* buffer, std::size_t max);
    // Bytes the line has received that no read has taken yet.
    std::size_t pendingInput() const;
    // Writes every byte, looping over partial writes and waiting for room up
    // to timeoutMs in total. True only when all bytes were written.
    bool write(const std::uint8_t* bytes, std::size_t count, int timeoutMs);
    // Waits until the output has left (tcdrain).
    bool drain();
    int lastErrno() const { return lastErrno_; }

    void wake();
    void clearWake();
    void close();

  private:
    // Raises or drops one modem line (TIOCM_DTR, TIOCM_RTS); a port without
    // modem lines (a pseudo-terminal) is not an error.
    bool setModemLine(int line, bool on);
    int fd_ = -1;
    int wakeFd_ = -1;
    bool modemLines_ = false;
    int lastErrno_ = 0;
    std::string path_;
};

// The speed constant of a baud rate, or 0 when termios has none.
unsigned termiosSpeed(int baud);

}  // namespace zelmora
