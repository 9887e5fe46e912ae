#include "core/app/SignalHandler.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[0], &byte, 1);
    errno = saved;
}
} // namespace

namespace {
sigset_t setOf(std::initializer_list<int> signalNumbers)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : signalNumbers)
        sigaddset(&set, number);
    return set;
}
} // namespace

void SignalHandler::block(std::initializer_list<int> signalNumbers)
{
    const sigset_t set = setOf(signalNumbers);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

SignalHandler::SignalHandler(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    // Without a pipe the signals keep their default action; they are never left blocked.
    if (pipeFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeFds) == 0) {
        ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        m_notifier = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SignalHandler::readPipe);
        for (const int number : signalNumbers) {
            struct sigaction action = {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(number, &action, nullptr);
        }
    }
    const sigset_t set = setOf(signalNumbers);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

SignalHandler::~SignalHandler() = default;

void SignalHandler::readPipe()
{
    unsigned char byte = 0;
    if (::read(pipeFds[1], &byte, 1) == 1)
        emit received(byte);
}

#else

void SignalHandler::block(std::initializer_list<int>) {}

SignalHandler::SignalHandler(std::initializer_list<int>, QObject *parent) : QObject(parent) {}

SignalHandler::~SignalHandler() = default;

void SignalHandler::readPipe() {}

#endif
