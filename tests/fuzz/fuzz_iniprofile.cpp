// Any bytes as a profile: reading every section and key, writing keys into it and saving it must
// neither crash nor misbehave under the sanitizers, and a key just written reads back as written.
#include "FuzzInput.h"
#include "core/config/IniProfile.h"

#include <QFile>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    IniProfile ini(FuzzInput::file(data, size));
    const QStringList sections = ini.sections();
    for (const QString &section : sections) {
        ini.readString(section, QStringLiteral("LogFile"), QString());
        ini.readInt(section, QStringLiteral("PortNumber"), 0);
        ini.hasKey(section, QStringLiteral("NumSessions"));
    }
    // Names taken from the input itself, as a hostile file would offer them.
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString section = text.left(8).remove(QLatin1Char('=')).remove(QLatin1Char(']'));
    const QString key = text.mid(8, 8).remove(QLatin1Char('=')).remove(QLatin1Char(']'));
    const QString cleanSection = section.simplified().remove(QLatin1Char(' '));
    const QString cleanKey = key.simplified().remove(QLatin1Char(' '));
    if (!cleanSection.isEmpty() && !cleanKey.isEmpty() && !cleanKey.startsWith(QLatin1Char('[')) &&
        !cleanKey.startsWith(QLatin1Char(';'))) {
        ini.writeString(cleanSection, cleanKey, QStringLiteral("value"));
        ini.writeInt(cleanSection, QStringLiteral("Count"), -42);
        if (ini.readString(cleanSection, cleanKey, QString()) != QStringLiteral("value") ||
            ini.readInt(cleanSection, QStringLiteral("Count"), 0) != -42)
            std::abort();
    }
    if (ini.loaded()) {
        IniProfile copy(FuzzInput::outputFile());
        copy.writeString(QStringLiteral("Kestrel"), QStringLiteral("NumSessions"), text.left(64));
        copy.save();
        QFile::remove(FuzzInput::outputFile());
    }
    return 0;
}
