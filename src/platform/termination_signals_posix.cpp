#include "platform/termination_signals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

// The write end of the self-pipe; a signal handler may do little more than write() to it.
volatile sig_atomic_t g_writeEnd = -1;

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

struct TerminationSignals::Private
{
    int pipe[2] = {-1, -1};
    QSocketNotifier *notifier = nullptr;
    struct sigaction previous[kSignals.size()] = {};
    struct sigaction previousFileSize = {};
};

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent), d(new Private)
{
    if (::pipe2(d->pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd = d->pipe[1];
    d->notifier = new QSocketNotifier(d->pipe[0], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(d->pipe[0], &byte, 1) == 1)
            Q_EMIT received(byte);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &d->previous[i]);
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &action, &d->previousFileSize);
}

TerminationSignals::~TerminationSignals()
{
    if (d->notifier != nullptr) {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &d->previous[i], nullptr);
        ::sigaction(SIGXFSZ, &d->previousFileSize, nullptr);
        g_writeEnd = -1;
        ::close(d->pipe[0]);
        ::close(d->pipe[1]);
    }
    delete d;
}
