#include "qt/termination_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <stdexcept>

namespace tavorline {
namespace {

constexpr int kHandled[] = {SIGTERM, SIGINT, SIGPIPE};
int writeEnd = -1;
struct sigaction previous[std::size(kHandled)];

extern "C" void forwardSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int), struct sigaction* before) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, before);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (writeEnd != -1) throw std::logic_error("termination signals are already watched");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
        throw std::runtime_error("cannot create the signal socket pair");
    }
    readEnd_ = ends[0];
    writeEnd = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    for (std::size_t i = 0; i < std::size(kHandled); ++i) {
        setHandler(kHandled[i], kHandled[i] == SIGPIPE ? SIG_IGN : forwardSignal, &previous[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    for (std::size_t i = 0; i < std::size(kHandled); ++i)
        sigaction(kHandled[i], &previous[i], nullptr);
    delete notifier_;
    ::close(readEnd_);
    ::close(writeEnd);
    writeEnd = -1;
}

void TerminationSignals::drain() {
    unsigned char byte = 0;
    while (::read(readEnd_, &byte, 1) == 1) emit received(byte);
}

}  // namespace tavorline
