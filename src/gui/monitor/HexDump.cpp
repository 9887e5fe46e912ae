#include "gui/monitor/HexDump.h"

#include "core/text/LoadResource.h"
#include "gui/monitor/ArrivalRing.h"

#include <QDateTime>

using LoadResource::LoadResString;

namespace {
constexpr qsizetype BytesPerLine = 16;
} // namespace

namespace HexDump {

QString heading(const MonitoredArrival &arrival)
{
    QString text = QDateTime::fromMSecsSinceEpoch(arrival.time).toString(u"HH:mm:ss.zzz") +
                   QStringLiteral("  ") + arrival.peer + QLatin1Char(':') +
                   QString::number(arrival.port) + QStringLiteral("  ") +
                   LoadResString(9048).arg(arrival.offset + arrival.bytes.size());
    if (!arrival.logged)
        text += QStringLiteral("  ") + LoadResString(9045);
    return text;
}

QString lines(const MonitoredArrival &arrival)
{
    static const char digits[] = "0123456789abcdef";
    const QByteArray &bytes = arrival.bytes;
    QString text;
    text.reserve((bytes.size() / BytesPerLine + 1) * 76);
    for (qsizetype start = 0; start < bytes.size(); start += BytesPerLine) {
        const qsizetype count = qMin(BytesPerLine, bytes.size() - start);
        text += QStringLiteral("%1  ").arg(arrival.offset + start, 8, 16, QLatin1Char('0'));
        QString printable;
        for (qsizetype i = 0; i < BytesPerLine; ++i) {
            if (i == 8)
                text += QLatin1Char(' ');
            if (i >= count) {
                text += QStringLiteral("   ");
                continue;
            }
            const auto byte = quint8(bytes[start + i]);
            text += QLatin1Char(digits[byte >> 4]);
            text += QLatin1Char(digits[byte & 15]);
            text += QLatin1Char(' ');
            printable += byte >= 0x20 && byte < 0x7f ? QLatin1Char(char(byte)) : QLatin1Char('.');
        }
        text += QLatin1Char(' ') + printable + QLatin1Char('\n');
    }
    return text;
}

} // namespace HexDump
