#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// The program-wide error log "errorlog.txt" (where UserFiles keeps it), and the program started
// on errors.
namespace ErrorLog {

// What a line says about the session that met the error.
struct SessionFacts {
    QString ipAddress; // the session's local address text
    bool serverMode = false;
    qint32 localPort = 0;  // server mode: the listening port
    QString remoteHost;    // client mode
    qint32 remotePort = 0; // client mode
    QString logFile;       // the log-file text as typed, not trimmed
};

// The line for one error, without its line end. Date and time have fixed formats
// (MM-DD-YYYY, HH:MM:SS), whatever the user's regional settings.
QString line(const QString &description, const QDateTime &when, const SessionFacts &facts);

// Appends `text` and CRLF to errorlog.txt in the folder of the user's files. Failures are ignored.
void append(const QString &text);

// Starts `commandLine` detached, split into program and arguments without a shell; does not wait
// and ignores every failure. An empty command line starts nothing.
void runProgram(const QString &commandLine);

// The clock used for the lines; tests fix it.
QDateTime now();
void setClock(std::function<QDateTime()> clock);

} // namespace ErrorLog
