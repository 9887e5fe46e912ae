#include "core/net/EpollSet.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>

namespace {
// Ready sockets taken per pass; more stay ready for the next pass.
constexpr int EventsPerPass = 1024;

QPointer<EpollSet> &theSet()
{
    static QPointer<EpollSet> set;
    return set;
}
} // namespace

EpollSet *EpollSet::instance(int *error)
{
    QPointer<EpollSet> &set = theSet();
    if (set)
        return set;
    const int descriptor = ::epoll_create1(EPOLL_CLOEXEC);
    if (descriptor < 0) {
        *error = errno;
        return nullptr;
    }
    set = new EpollSet(descriptor, QCoreApplication::instance());
    return set;
}

EpollSet *EpollSet::current()
{
    return theSet();
}

EpollSet::EpollSet(int descriptor, QObject *parent)
    : QObject(parent), m_descriptor(descriptor),
      m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &EpollSet::dispatch);
}

EpollSet::~EpollSet()
{
    delete m_notifier;
    ::close(m_descriptor);
}

bool EpollSet::control(int operation, int descriptor, Watcher *watcher, bool hangUpOnly)
{
    epoll_event event = {};
    event.events = (hangUpOnly ? 0u : uint32_t(EPOLLIN)) | EPOLLRDHUP | EPOLLONESHOT;
    event.data.ptr = watcher;
    return ::epoll_ctl(m_descriptor, operation, descriptor, &event) == 0;
}

bool EpollSet::add(int descriptor, Watcher *watcher)
{
    return control(EPOLL_CTL_ADD, descriptor, watcher);
}

void EpollSet::arm(int descriptor, Watcher *watcher, bool hangUpOnly)
{
    control(EPOLL_CTL_MOD, descriptor, watcher, hangUpOnly);
}

void EpollSet::remove(int descriptor, const Watcher *watcher)
{
    ::epoll_ctl(m_descriptor, EPOLL_CTL_DEL, descriptor, nullptr);
    for (Pass *pass = m_passes; pass; pass = pass->outer) {
        auto *events = static_cast<epoll_event *>(pass->events);
        for (int i = 0; i < pass->count; ++i) {
            if (events[i].data.ptr == watcher)
                events[i].data.ptr = nullptr;
        }
    }
}

void EpollSet::dispatch()
{
    epoll_event events[EventsPerPass];
    const int ready = ::epoll_wait(m_descriptor, events, EventsPerPass, 0);
    Pass pass{events, qMax(ready, 0), m_passes};
    m_passes = &pass;
    for (int i = 0; i < pass.count; ++i) {
        if (auto *watcher = static_cast<Watcher *>(events[i].data.ptr))
            watcher->ready();
    }
    m_passes = pass.outer;
}
