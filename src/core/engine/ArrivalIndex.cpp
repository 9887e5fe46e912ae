#include "core/engine/ArrivalIndex.h"

#include <QDir>

namespace ArrivalIndex {

namespace {

constexpr qint64 MicrosecondsPerSecond = 1000000;

// 2026-03-29T01:59:59.123456+01:00: the offset is that of the moment, so lines stay in order
// and comparable across a change of daylight-saving time or a clock set back.
QString timeText(const Arrival &arrival)
{
    const QDateTime local = arrival.localTime();
    const qint64 fraction =
        ((arrival.microseconds % MicrosecondsPerSecond) + MicrosecondsPerSecond) %
        MicrosecondsPerSecond;
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('.') +
           QStringLiteral("%1").arg(fraction, 6, 10, QLatin1Char('0')) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString fileFor(const QString &logPath)
{
    return logPath + QStringLiteral(".idx");
}

QByteArray header()
{
    return QByteArrayLiteral("time\tpeer\tport\toffset\tlength\r\n");
}

QByteArray line(const Arrival &arrival, const LogFile::Placement &placed)
{
    const QString text = timeText(arrival) + QLatin1Char('\t') + arrival.peerIP +
                         QLatin1Char('\t') + QString::number(arrival.peerPort) + QLatin1Char('\t') +
                         QString::number(placed.offset) + QLatin1Char('\t') +
                         QString::number(placed.length) + QStringLiteral("\r\n");
    return text.toUtf8();
}

bool append(const QString &logPath, const Arrival &arrival, const LogFile::Placement &placed,
            QString *error)
{
    const QString index = fileFor(logPath);
    QString failure;
    if (LogFile::appendWithHeader(index, header(), line(arrival, placed), &failure))
        return true;
    *error = QDir::toNativeSeparators(index) + QStringLiteral(": ") + failure;
    return false;
}

} // namespace ArrivalIndex
