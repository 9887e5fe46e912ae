#include "core/net/LocalAddresses.h"

#include <QNetworkInterface>

namespace LocalAddresses {

namespace {
template <typename Visit> void forEachIPv4(Visit visit)
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (!iface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                visit(address);
        }
    }
}
} // namespace

QStringList all()
{
    QStringList result;
    forEachIPv4([&](const QHostAddress &address) { result << address.toString(); });
    return result;
}

QString primary()
{
    QString loopback;
    QString first;
    forEachIPv4([&](const QHostAddress &address) {
        if (address.isLoopback()) {
            if (loopback.isEmpty())
                loopback = address.toString();
        } else if (first.isEmpty()) {
            first = address.toString();
        }
    });
    return first.isEmpty() ? loopback : first;
}

} // namespace LocalAddresses
