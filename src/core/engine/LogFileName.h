#pragma once

#include "core/engine/Arrival.h"

#include <QString>
#include <functional>

// The fields of a log-file name: {date} (YYYY-MM-DD) and {hour} (00 to 23) of the arrival's local
// time, {peer} and {port} of the connection the data came from. A name is worked out anew for
// every arrival, so a new day or a new client gets its own file without any timer. Braces that
// are no field stay as they are.
namespace LogFileName {

// False when `text` cannot hold a field: such a name is used as it is, at no cost.
inline bool hasFields(const QString &text)
{
    return text.contains(QLatin1Char('{'));
}

// `text` with every field replaced by its value for `arrival`.
QString expand(const QString &text, const Arrival &arrival);

// Creates the folders of `path`, the expansion of `text`, that a field made part of it: the
// folder whose name holds the first field and every folder below it. The folders above must
// exist already; a missing one there is left for the open to report. Returns true when a folder
// was created, false when none was missing or one could not be created (with the reason in
// `error`).
bool createFolders(const QString &text, const QString &path, QString *error);

// Microseconds since 1970-01-01T00:00:00Z; tests set their own clock.
qint64 now();
void setClock(std::function<qint64()> clock);

} // namespace LogFileName
