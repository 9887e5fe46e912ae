#pragma once

#include "core/engine/SessionSettings.h"

#include <QString>
#include <QVector>

// The options that hold for the whole program.
struct GlobalOptions {
    QString OnErrorRunApp;
    qint32 LogErrors = 0;
    qint32 PacketSize = 0;
    qint32 ArrivalIndex = 0;

    bool operator==(const GlobalOptions &other) const
    {
        return OnErrorRunApp == other.OnErrorRunApp && LogErrors == other.LogErrors &&
               PacketSize == other.PacketSize && ArrivalIndex == other.ArrivalIndex;
    }
};

// A whole working set: what a configuration (.ksf) file holds.
struct Configuration {
    qint32 WindowState = 0;            // 0 normal, 1 minimised, 2 maximised
    QVector<SessionSettings> Sessions; // in file order; AutoActivate as stored
    GlobalOptions Globals;
};

// Reader and writer of configuration files.
namespace ConfigFile {

// `name`, or "default.ksf" in the folder of the user's files (UserFiles) when `name` is empty.
QString resolveFileName(const QString &name);

// Reads a configuration (an empty name reads default.ksf, UserFiles::fileToRead). Never fails: an
// absent, unreadable or foreign file reads as a configuration without sessions.
// - Sessions are "Session1" up to the highest "Session<K>" section present with K not above
//   NumSessions (a negative count is 0); a missing section below that reads as a session of
//   defaults. A file that declares sessions but holds none of their sections has none.
// - The globals of a file with sessions come from the last session's section, absent keys taking
//   "", 0, 2000 and 0. Without sessions they come from "Kestrel", where the writer puts them; keys
//   absent there keep the values of `current`.
// - A WindowState outside 0 to 2 reads as 0; option codes are kept as stored (low 16 bits).
Configuration read(const QString &fileName, const GlobalOptions &current);

// Writes a configuration key by key into the file (an empty name writes default.ksf), leaving
// every other line of an existing file as it was; nothing is removed. ArrivalIndex is written
// only when set, or to clear a value that the file holds already. The file is replaced at
// once or not at all. Returns false when the file could not be written or the existing file
// could not be read.
bool write(const QString &fileName, const Configuration &config);

} // namespace ConfigFile
