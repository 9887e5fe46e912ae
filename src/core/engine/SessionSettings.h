#pragma once

#include <QDir>
#include <QString>
#include <QtGlobal>

// One session as a configuration file stores it; the fields carry the configuration keys' names.
// The defaults are those of a new, blank session window; its log file is "Kestrel.txt" in the
// user's home folder (C:\Kestrel.txt on Windows).
struct SessionSettings {
    QString LogFile = QDir::homePath() + QStringLiteral("/Kestrel.txt");
    QString OutputFile = QStringLiteral("C:\\TCPSendFile.txt");
    QString LocalIP;
    QString IPAddress;
    QString PortNumber = QStringLiteral("1000");
    qint16 TCPOption = 0; // 0 = client, any other value = server
    qint16 AutoActivate = 0;
    qint16 AllowMultiConnect = 1;
    qint16 ServerSerialOptions = 0;
    qint16 ServerTCPOptions = 0;
    qint16 ClientOptions = 0;

    bool operator==(const SessionSettings &other) const
    {
        return LogFile == other.LogFile && OutputFile == other.OutputFile &&
               LocalIP == other.LocalIP && IPAddress == other.IPAddress &&
               PortNumber == other.PortNumber && TCPOption == other.TCPOption &&
               AutoActivate == other.AutoActivate && AllowMultiConnect == other.AllowMultiConnect &&
               ServerSerialOptions == other.ServerSerialOptions &&
               ServerTCPOptions == other.ServerTCPOptions && ClientOptions == other.ClientOptions;
    }
    bool operator!=(const SessionSettings &other) const { return !(*this == other); }
};
