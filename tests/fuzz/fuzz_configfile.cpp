// Any bytes as a configuration file: reading it must neither crash nor misbehave under the
// sanitizers, and what was read, once written, reads back the same, but for what the profile
// rules do to any value written (one line, no blanks around it, one pair of quotes removed).
#include "FuzzInput.h"
#include "core/config/ConfigFile.h"

#include <QFile>
#include <cstdlib>

namespace {
QString reread(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

// `b` is `a` written and read back.
bool same(const SessionSettings &a, const SessionSettings &b)
{
    return reread(a.LogFile) == b.LogFile && reread(a.OutputFile) == b.OutputFile &&
           reread(a.LocalIP) == b.LocalIP && reread(a.IPAddress) == b.IPAddress &&
           reread(a.PortNumber) == b.PortNumber && a.AllowMultiConnect == b.AllowMultiConnect &&
           a.ServerSerialOptions == b.ServerSerialOptions &&
           a.ServerTCPOptions == b.ServerTCPOptions && a.ClientOptions == b.ClientOptions &&
           (a.TCPOption != 0) == (b.TCPOption != 0) &&
           (a.AutoActivate != 0) == (b.AutoActivate != 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const GlobalOptions current{QStringLiteral("keep"), 1, 77, 0};
    const Configuration config = ConfigFile::read(FuzzInput::file(data, size), current);

    // Written to a fresh file and read back, the configuration is the same.
    const QString out = FuzzInput::outputFile();
    QFile::remove(out);
    if (!ConfigFile::write(out, config))
        return 0;
    const Configuration again = ConfigFile::read(out, current);
    QFile::remove(out);
    bool equal = again.WindowState == config.WindowState &&
                 again.Sessions.size() == config.Sessions.size() &&
                 again.Globals.OnErrorRunApp == reread(config.Globals.OnErrorRunApp) &&
                 again.Globals.LogErrors == config.Globals.LogErrors &&
                 again.Globals.PacketSize == config.Globals.PacketSize &&
                 (again.Globals.ArrivalIndex != 0) == (config.Globals.ArrivalIndex != 0);
    for (qsizetype i = 0; equal && i < config.Sessions.size(); ++i)
        equal = same(config.Sessions[i], again.Sessions[i]);
    if (!equal)
        std::abort();
    return 0;
}
