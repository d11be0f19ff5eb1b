#include "quitsignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace zelq {

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe; the event loop does the rest.
extern "C" void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

void handleTerminationSignals(std::function<void()> onQuit) {
    if (signalPipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, onQuit = std::move(onQuit)] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
        notifier->setEnabled(false);  // one orderly close is enough
        onQuit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace zelq
