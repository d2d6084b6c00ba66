#include "instruments/pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace zelmora {

PseudoTerminal::~PseudoTerminal() {
    close();
}

Status PseudoTerminal::open() {
    close();
    int master = -1;
    int slave = -1;
    std::array<char, 256> name{};
    if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0)
        return Status::failure(std::string("openpty: ") + std::strerror(errno));
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    master_ = master;
    slave_ = slave;
    slavePath_ = name.data();
    return {};
}

void PseudoTerminal::close() {
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
    slavePath_.clear();
}

}  // namespace zelmora
