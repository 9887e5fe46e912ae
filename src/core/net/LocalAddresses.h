#pragma once

#include <QString>
#include <QStringList>

// The machine's own IPv4 addresses.
namespace LocalAddresses {

// Every IPv4 address of every interface that is up, loopback included, in interface order, as
// dotted decimal text.
QStringList all();

// The first non-loopback IPv4 address of an interface that is up, else 127.0.0.1 when the
// loopback interface is up, else empty.
QString primary();

} // namespace LocalAddresses
