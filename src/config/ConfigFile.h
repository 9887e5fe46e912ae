#pragma once

#include "session/SessionSettings.h"

#include <QString>
#include <QVector>

// The options that hold for the whole program.
struct GlobalOptions {
    QString OnErrorRunApp;
    qint32 LogErrors = 0;
    qint32 PacketSize = 0;

    bool operator==(const GlobalOptions &other) const
    {
        return OnErrorRunApp == other.OnErrorRunApp && LogErrors == other.LogErrors &&
               PacketSize == other.PacketSize;
    }
};

// A whole working set: what a configuration (.ksf) file holds.
struct Configuration {
    qint32 WindowState = 0;           // 0 normal, 1 minimised, 2 maximised
    QVector<SessionSettings> Sessions; // in file order; AutoActivate as stored
    GlobalOptions Globals;
};

// Reader and writer of configuration files.
namespace ConfigFile {

// `name`, or the program folder's "default.ksf" when `name` is empty.
QString resolveFileName(const QString &name);

// Reads a configuration. `current` supplies the global options that the file does not set.
// Never fails: an absent, unreadable or foreign file reads as a configuration without sessions.
Configuration read(const QString &fileName, const GlobalOptions &current);

// Writes a configuration key by key into the file, leaving every other line of an existing file
// as it was. Returns false when the file could not be written.
bool write(const QString &fileName, const Configuration &config);

} // namespace ConfigFile
