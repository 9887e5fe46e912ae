#include "gui/monitor/RateGraph.h"

#include "core/text/LoadResource.h"

#include <QLocale>
#include <QPainter>
#include <algorithm>

RateGraph::RateGraph(QWidget *parent) : QWidget(parent)
{
    setMinimumHeight(80);
}

bool RateGraph::advance(qint64 ms)
{
    const qint64 second = ms / 1000;
    if (second <= m_second)
        return false;
    const qint64 cleared = std::min<qint64>(second - m_second, Seconds);
    for (qint64 i = 1; i <= cleared; ++i)
        m_bytes[size_t((m_second + i) % Seconds)] = 0;
    m_second = second;
    return true;
}

void RateGraph::add(qint64 bytes, qint64 ms)
{
    advance(ms);
    // A clock set back counts into the newest second.
    m_bytes[size_t(m_second % Seconds)] += bytes;
}

qint64 RateGraph::peak() const
{
    return *std::max_element(m_bytes.begin(), m_bytes.end());
}

QSize RateGraph::sizeHint() const
{
    return QSize(480, 120);
}

void RateGraph::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const qint64 top = peak();
    const QString caption = LoadResource::LoadResString(9047).arg(QLocale().toString(top));
    const int textHeight = fontMetrics().height() + 4;
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(4, 2, width() - 8, textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     caption);
    const QRectF plot(4, textHeight, width() - 8, height() - textHeight - 4);
    if (top <= 0 || plot.height() <= 0)
        return;
    const qreal barWidth = plot.width() / Seconds;
    for (int i = 0; i < Seconds; ++i) {
        // i = 0 is the oldest second, on the left.
        const qint64 second = m_second - (Seconds - 1) + i;
        const qint64 bytes = second < 0 ? 0 : m_bytes[size_t(second % Seconds)];
        const qreal height = plot.height() * qreal(bytes) / qreal(top);
        painter.fillRect(QRectF(plot.left() + i * barWidth, plot.bottom() - height,
                                qMax<qreal>(1, barWidth - 1), height),
                         palette().color(QPalette::Highlight));
    }
}
