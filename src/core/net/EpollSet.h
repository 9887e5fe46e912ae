#pragma once

#include <QObject>

class QSocketNotifier;

// The connected sockets of every session on one epoll set, watched by one notifier: a pass of the
// event loop costs in proportion to the sockets that are ready, not to those connected. Sockets
// are registered one-shot: a socket reported ready stays silent until its owner arms it again,
// once it has read what was there, so a socket with unread data is reported only once. Reports
// reach the watchers straight from the notifier, one after the other; a watcher removed while
// they go out gets none of those still due to it.
class EpollSet final : public QObject {
    Q_OBJECT

public:
    class Watcher {
    public:
        // Called from the set's notifier, never from inside a call of the watcher's own.
        virtual void ready() = 0;

    protected:
        ~Watcher() = default;
    };

    // The process's set, created on first use and kept while the application lives; null when
    // it cannot be created, with `error` set to the system's error number.
    static EpollSet *instance(int *error);
    // The set if it exists.
    static EpollSet *current();

    // Adds `descriptor`, armed. False (and errno set) when the system refuses.
    bool add(int descriptor, Watcher *watcher);
    // Arms `descriptor` again; with `hangUpOnly` it reports the peer's close or an error, not data.
    void arm(int descriptor, Watcher *watcher, bool hangUpOnly = false);
    void remove(int descriptor, const Watcher *watcher);

private:
    EpollSet(int descriptor, QObject *parent);
    ~EpollSet() override;
    bool control(int operation, int descriptor, Watcher *watcher, bool hangUpOnly = false);
    void dispatch();

    // The reports being handed out, innermost first (a handler may run a nested event loop).
    struct Pass {
        void *events;
        int count;
        Pass *outer;
    };

    int m_descriptor;
    QSocketNotifier *m_notifier;
    Pass *m_passes = nullptr;
};
