#include "core/config/ConfigFile.h"

#include "core/app/UserFiles.h"
#include "core/config/IniProfile.h"

namespace ConfigFile {

namespace {

const QString MainSection = QStringLiteral("Kestrel");

QString sessionSection(int k)
{
    return QStringLiteral("Session%1").arg(k);
}

// The file's 16-bit and 32-bit fields keep the low bits of the number read, as signed values.
qint16 low16(qint64 value)
{
    return static_cast<qint16>(static_cast<quint16>(value));
}

qint32 low32(qint64 value)
{
    return static_cast<qint32>(static_cast<quint32>(value));
}

// Sessions run up to the highest "Session<K>" section present with K <= declared, so a count
// that the file does not back (hand-edited or foreign) yields no phantom sessions.
int storedSessions(const IniProfile &ini, int declared)
{
    for (int k = declared; k >= 1; --k) {
        if (ini.hasSection(sessionSection(k)))
            return k;
    }
    return 0;
}

SessionSettings readSession(const IniProfile &ini, int k)
{
    const QString section = sessionSection(k);
    SessionSettings s;
    s.LogFile = ini.readString(section, QStringLiteral("LogFile"), QString());
    s.OutputFile = ini.readString(section, QStringLiteral("OutputFile"), QString());
    s.LocalIP = ini.readString(section, QStringLiteral("LocalIP"), QString());
    s.IPAddress = ini.readString(section, QStringLiteral("IPAddress"), QString());
    s.PortNumber = ini.readString(section, QStringLiteral("PortNumber"), QString());
    s.TCPOption = low16(ini.readInt(section, QStringLiteral("TCPOption"), 0));
    s.AllowMultiConnect = low16(ini.readInt(section, QStringLiteral("AllowMultiConnect"), 1));
    s.ServerSerialOptions = low16(ini.readInt(section, QStringLiteral("ServerSerialOptions"), 0));
    s.ServerTCPOptions = low16(ini.readInt(section, QStringLiteral("ServerTCPOptions"), 0));
    s.ClientOptions = low16(ini.readInt(section, QStringLiteral("ClientOptions"), 0));
    s.AutoActivate = low16(ini.readInt(section, QStringLiteral("AutoActivate"), 0));
    return s;
}

// With sessions, the globals sit in the last session's section and absent keys take their
// defaults. Without sessions they sit in the main section, and only the keys present there
// replace the current values.
void readGlobals(const IniProfile &ini, int sessions, GlobalOptions &globals)
{
    const QString onError = QStringLiteral("OnErrorRunApp");
    const QString logErrors = QStringLiteral("LogErrors");
    const QString packetSize = QStringLiteral("PacketSize");
    const QString arrivalIndex = QStringLiteral("ArrivalIndex");
    if (sessions > 0) {
        const QString section = sessionSection(sessions);
        globals.OnErrorRunApp = ini.readString(section, onError, QString());
        globals.LogErrors = low32(ini.readInt(section, logErrors, 0));
        globals.PacketSize = low32(ini.readInt(section, packetSize, 2000));
        globals.ArrivalIndex = low32(ini.readInt(section, arrivalIndex, 0));
        return;
    }
    if (ini.hasKey(MainSection, onError))
        globals.OnErrorRunApp = ini.readString(MainSection, onError, QString());
    if (ini.hasKey(MainSection, logErrors))
        globals.LogErrors = low32(ini.readInt(MainSection, logErrors, 0));
    if (ini.hasKey(MainSection, packetSize))
        globals.PacketSize = low32(ini.readInt(MainSection, packetSize, 0));
    if (ini.hasKey(MainSection, arrivalIndex))
        globals.ArrivalIndex = low32(ini.readInt(MainSection, arrivalIndex, 0));
}

void writeSession(IniProfile &ini, int k, const SessionSettings &s)
{
    const QString section = sessionSection(k);
    ini.writeString(section, QStringLiteral("LogFile"), s.LogFile);
    ini.writeString(section, QStringLiteral("OutputFile"), s.OutputFile);
    ini.writeString(section, QStringLiteral("LocalIP"), s.LocalIP);
    ini.writeString(section, QStringLiteral("IPAddress"), s.IPAddress);
    ini.writeString(section, QStringLiteral("PortNumber"), s.PortNumber);
    ini.writeInt(section, QStringLiteral("TCPOption"), s.TCPOption != 0 ? 1 : 0);
    ini.writeInt(section, QStringLiteral("AutoActivate"), s.AutoActivate != 0 ? 1 : 0);
    ini.writeInt(section, QStringLiteral("AllowMultiConnect"), s.AllowMultiConnect);
    ini.writeInt(section, QStringLiteral("ServerSerialOptions"), s.ServerSerialOptions);
    ini.writeInt(section, QStringLiteral("ServerTCPOptions"), s.ServerTCPOptions);
    ini.writeInt(section, QStringLiteral("ClientOptions"), s.ClientOptions);
}

} // namespace

QString resolveFileName(const QString &name)
{
    return name.isEmpty() ? UserFiles::file(QStringLiteral("default.ksf")) : name;
}

Configuration read(const QString &fileName, const GlobalOptions &current)
{
    const IniProfile ini(fileName.isEmpty() ? UserFiles::fileToRead(QStringLiteral("default.ksf"))
                                            : fileName);
    Configuration config;
    config.Globals = current;

    const qint16 declared = low16(ini.readInt(MainSection, QStringLiteral("NumSessions"), 0));
    const qint64 state = ini.readInt(MainSection, QStringLiteral("WindowState"), 0);
    config.WindowState = state >= 0 && state <= 2 ? qint32(state) : 0;

    const int sessions = storedSessions(ini, declared);
    for (int k = 1; k <= sessions; ++k)
        config.Sessions.append(readSession(ini, k));
    readGlobals(ini, sessions, config.Globals);
    return config;
}

bool write(const QString &fileName, const Configuration &config)
{
    IniProfile ini(resolveFileName(fileName));
    const int sessions = int(config.Sessions.size());
    ini.writeInt(MainSection, QStringLiteral("NumSessions"), sessions);
    ini.writeInt(MainSection, QStringLiteral("WindowState"), config.WindowState);
    for (int k = 1; k <= sessions; ++k)
        writeSession(ini, k, config.Sessions.at(k - 1));

    const QString globals = sessions > 0 ? sessionSection(sessions) : MainSection;
    ini.writeString(globals, QStringLiteral("OnErrorRunApp"), config.Globals.OnErrorRunApp);
    ini.writeInt(globals, QStringLiteral("LogErrors"), config.Globals.LogErrors);
    ini.writeInt(globals, QStringLiteral("PacketSize"), config.Globals.PacketSize);
    // Absent unless set, so that a file saved without it stays as it always was; a set value
    // already in the file is cleared, or it would come back on the next read.
    const QString arrivalIndex = QStringLiteral("ArrivalIndex");
    if (config.Globals.ArrivalIndex != 0 || ini.hasKey(globals, arrivalIndex))
        ini.writeInt(globals, arrivalIndex, config.Globals.ArrivalIndex != 0 ? 1 : 0);
    return ini.save();
}

} // namespace ConfigFile
