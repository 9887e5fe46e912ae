#pragma once

#include <QtGlobal>
#include <atomic>
#include <thread>

// Streams one benchmark client's tagged bytes (bench/StreamTag.h) to 127.0.0.1:port from a
// thread of its own, with blocking writes, so a test's event loop and the peer under test run
// while it sends. It stops after `bytes` bytes, at stop(), or when the connection fails.
class StreamSender final {
public:
    StreamSender(quint16 port, quint32 client, quint64 bytes);
    ~StreamSender();

    quint64 sent() const { return m_sent; }
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }
    // Stops sending and closes the connection; waits for the thread.
    void stop();

private:
    void run(quint16 port, quint32 client, quint64 bytes);

    std::atomic<quint64> m_sent{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
