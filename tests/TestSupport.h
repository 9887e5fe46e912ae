#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Small helpers shared by the test programs.
namespace TestSupport {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
quint16 freePort();

// The whole content of a file; empty when it does not exist.
QByteArray readFile(const QString &path);

// Writes `data` to `path`, replacing it. Fails the calling test on error.
bool writeFile(const QString &path, const QByteArray &data);

} // namespace TestSupport
