#include "gui/termination_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <cstring>

namespace zelmora::gui {
namespace {

// The socket pair the handler writes into: [0] read by the notifier, [1]
// written by the handler. Set before the handlers are installed and cleared
// after they are removed; the handler itself only reads it.
std::array<int, 2> signalSocket = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
std::array<struct sigaction, 3> previousActions{};

void onSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Nothing more can be done in a handler when the socket is full: the
    // signal before is being handled already.
    [[maybe_unused]] const ssize_t n = ::write(signalSocket[1], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (signalSocket[0] >= 0)
        return;  // one watcher per program
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    signalSocket = {fds[0], fds[1]};
    notifier_ = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &previousActions[i]);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ == nullptr)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &previousActions[i], nullptr);
    notifier_->setEnabled(false);
    ::close(signalSocket[0]);
    ::close(signalSocket[1]);
    signalSocket = {-1, -1};
}

void TerminationSignals::readSignal() {
    unsigned char byte = 0;
    while (::read(signalSocket[0], &byte, 1) == 1)
        emit terminationRequested(byte);
}

}  // namespace zelmora::gui
