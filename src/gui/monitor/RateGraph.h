#pragma once

#include <QWidget>
#include <array>

// Bytes per second over the last 60 seconds, as bars, newest on the right.
class RateGraph final : public QWidget {
    Q_OBJECT

public:
    explicit RateGraph(QWidget *parent = nullptr);

    // Counts `bytes` in the second of `ms` (ms since the epoch).
    void add(qint64 bytes, qint64 ms);
    // Moves the graph on to the second of `ms`; seconds without bytes show as empty. True when
    // it moved.
    bool advance(qint64 ms);
    qint64 peak() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int Seconds = 60;
    std::array<qint64, Seconds> m_bytes{}; // by second modulo 60
    qint64 m_second = 0;                   // the newest second
};
