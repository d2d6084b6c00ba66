#include "instruments/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zelmora {
namespace {

std::string errnoText(const char* what, int e) {
    return std::string(what) + ": " + std::strerror(e);
}

bool modemLineUnsupported(int e) {
    return e == ENOTTY || e == EINVAL || e == ENOTSUP || e == EOPNOTSUPP || e == EIO;
}

}  // namespace

unsigned termiosSpeed(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return 0;
    }
}

SerialPort::SerialPort() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SerialPort::~SerialPort() {
    close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

Status SerialPort::open(const std::string& path) {
    close();
    if (wakeFd_ < 0)
        return Status::failure("нет дескриптора пробуждения");
    clearWake();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastErrno_ = errno;
        return Status::failure(errnoText(path.c_str(), lastErrno_));
    }
    if (::isatty(fd) == 0) {
        lastErrno_ = ENOTTY;
        ::close(fd);
        return Status::failure(path + ": это не последовательный порт");
    }
    // The advisory lock keeps out other programs and other devices of this
    // program; TIOCEXCL refuses later opens of the line itself.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastErrno_ = errno;
        ::close(fd);
        return Status::failure(path + ": порт занят");
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    path_ = path;
    return {};
}

Status SerialPort::configure(const LineSettings& s) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        lastErrno_ = errno;
        return Status::failure(errnoText("tcgetattr", lastErrno_));
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNCR | ICRNL |
                                        INLCR | BRKINT | PARMRK);
    t.c_iflag |= IGNBRK;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const unsigned speed = termiosSpeed(s.baud);
    if (speed == 0)
        return Status::failure("скорость не поддерживается: " + std::to_string(s.baud));
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        lastErrno_ = errno;
        return Status::failure(errnoText("tcsetattr", lastErrno_));
    }
    modemLines_ = true;
    if (!setDtr(s.dtr) || !setRts(s.rts))
        return Status::failure(errnoText("DTR/RTS", lastErrno_));
    return {};
}

bool SerialPort::setDtr(bool on) {
    return setModemLine(TIOCM_DTR, on);
}

bool SerialPort::setRts(bool on) {
    return setModemLine(TIOCM_RTS, on);
}

bool SerialPort::setModemLine(int line, bool on) {
    if (fd_ < 0)
        return false;
    if (!modemLines_)
        return true;
    int bits = line;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return true;
    lastErrno_ = errno;
    if (modemLineUnsupported(lastErrno_)) {
        modemLines_ = false;
        return true;
    }
    return false;
}

bool SerialPort::purge() {
    return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0;
}

SerialPort::Wait SerialPort::waitReadable(int timeoutMs) {
    if (fd_ < 0)
        return Wait::Error;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastErrno_ = errno;
            return Wait::Error;
        }
        if (n == 0)
            return Wait::Timeout;
        if (fds[1].revents & POLLIN)
            return Wait::Woken;
        if (fds[0].revents & POLLIN)
            return Wait::Data;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lastErrno_ = EIO;
            return Wait::HangUp;
        }
        return Wait::Timeout;
    }
}

long SerialPort::read(std::uint8_t* buffer, std::size_t max) {
    if (fd_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, max);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        lastErrno_ = errno;
        return -1;
    }
}

std::size_t SerialPort::pendingInput() const {
    int n = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<std::size_t>(n);
}

int writeFully(int fd, const std::uint8_t* bytes, std::size_t count, int timeoutMs,
               const std::function<bool()>& waiting, int sliceMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        const long long slice = sliceMs > 0 ? std::min<long long>(left, sliceMs) : left;
        if (::poll(&p, 1, static_cast<int>(slice)) < 0 && errno != EINTR)
            return errno;
        if (waiting && !waiting())
            return ETIMEDOUT;
    }
    return 0;
}

bool SerialPort::write(const std::uint8_t* bytes, std::size_t count, int timeoutMs) {
    if (fd_ < 0) {
        lastErrno_ = EBADF;
        return false;
    }
    if (const int e = writeFully(fd_, bytes, count, timeoutMs); e != 0) {
        lastErrno_ = e;
        return false;
    }
    return true;
}

bool SerialPort::drain() {
    return fd_ >= 0 && ::tcdrain(fd_) == 0;
}

void SerialPort::wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

void SerialPort::clearWake() {
    if (wakeFd_ >= 0) {
        std::uint64_t v = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &v, sizeof v);
    }
}

void SerialPort::close() {
    if (fd_ >= 0) {
        // The exclusive mark stays on the line until cleared, even when
        // another descriptor keeps the line open.
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
    modemLines_ = false;
}

}  // namespace zelmora
