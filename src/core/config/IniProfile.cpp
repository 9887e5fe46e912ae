#include "core/config/IniProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>
#include <limits>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isAsciiSpace(char c)
{
    return isBlank(c) || (c >= '\n' && c <= '\r');
}

QString fold(const QString &name)
{
    return name.trimmed().toCaseFolded();
}

// The matching form of a name as stored in the file. Names are nearly always ASCII, folded here
// without decoding; anything else takes the general route, with the same result.
QString fold(QByteArrayView raw)
{
    qsizetype from = 0;
    qsizetype to = raw.size();
    while (from < to && isAsciiSpace(raw[from]))
        ++from;
    while (to > from && isAsciiSpace(raw[to - 1]))
        --to;
    raw = raw.sliced(from, to - from);
    for (const char c : raw) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return fold(QString::fromUtf8(raw));
    }
    QString folded(raw.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    for (const char c : raw)
        *out++ = QLatin1Char(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    return folded;
}

// The text between the brackets of a "[name]" line (blanks before it allowed, anything after the
// last closing bracket ignored); false for other lines.
bool headerName(QByteArrayView line, QByteArrayView *name)
{
    qsizetype open = 0;
    while (open < line.size() && isBlank(line[open]))
        ++open;
    if (open >= line.size() || line[open] != '[')
        return false;
    const qsizetype close = line.lastIndexOf(']');
    if (close <= open)
        return false;
    *name = line.sliced(open + 1, close - open - 1);
    return true;
}

// The folded key name of a "key=value" line; empty for blank lines, comments and other text.
QString keyName(QByteArrayView line)
{
    qsizetype start = 0;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    if (start >= line.size() || line[start] == ';')
        return {};
    const qsizetype equals = line.indexOf('=', start);
    return equals < 0 ? QString() : fold(line.sliced(start, equals - start));
}

QByteArray oneLine(const QString &value)
{
    QString line = value;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line.toUtf8();
}

// Leading decimal number with optional sign; saturates at the limits of qint64.
qint64 leadingNumber(const QString &text, qint64 def)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    const auto isDigit = [&](qsizetype at) {
        return at < text.size() && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9');
    };
    if (!isDigit(i))
        return def;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 magnitude = 0;
    for (; isDigit(i); ++i) {
        const quint64 digit = quint64(text[i].unicode() - '0');
        if (magnitude > (limit - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min()
                            : std::numeric_limits<qint64>::max();
        magnitude = magnitude * 10 + digit;
    }
    if (!negative)
        return qint64(magnitude);
    return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
}

} // namespace

IniProfile::IniProfile(const QString &fileName) : m_fileName(fileName)
{
    m_sections.append(Section{});
    load();
}

void IniProfile::load()
{
    const QFileInfo info(m_fileName);
    if (!info.exists())
        return;
    // Folders, pipes and devices are never opened: a pipe would block and a device never end.
    if (!info.isFile() || info.size() > maxFileSize) {
        m_loaded = false;
        return;
    }
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_loaded = false;
        return;
    }
    m_data = file.readAll();
    if (file.error() != QFileDevice::NoError || m_data.size() > maxFileSize) {
        m_loaded = false;
        m_data.clear();
        return;
    }

    qsizetype pos = 0;
    if (m_data.startsWith("\xEF\xBB\xBF")) {
        m_prefix = m_data.left(3);
        pos = 3;
    }
    m_sections[0].bodyStart = pos;
    while (pos < m_data.size()) {
        qsizetype next = 0;
        const Line line = lineAt(pos, m_data.size(), &next);
        QByteArrayView name;
        if (headerName(text(line), &name)) {
            m_sections.last().bodyEnd = pos;
            Section section;
            section.header = line;
            section.hasHeader = true;
            section.bodyStart = next;
            m_sections.append(section);
            const QString folded = fold(name);
            if (!m_index.contains(folded))
                m_index.insert(folded, int(m_sections.size() - 1));
        }
        pos = next;
    }
    m_sections.last().bodyEnd = m_data.size();
}

IniProfile::Line IniProfile::lineAt(qsizetype pos, qsizetype end, qsizetype *next) const
{
    const char *data = m_data.constData();
    const auto *newline = static_cast<const char *>(std::memchr(data + pos, '\n', end - pos));
    Line line;
    line.start = pos;
    if (!newline) {
        line.size = qint32(end - pos);
        *next = end;
        return line;
    }
    const qsizetype at = newline - data;
    const bool cr = at > pos && data[at - 1] == '\r';
    line.size = qint32(at - pos - (cr ? 1 : 0));
    line.end = cr ? LineEnd::CRLF : LineEnd::LF;
    *next = at + 1;
    return line;
}

QByteArrayView IniProfile::text(const Line &line) const
{
    if (line.own >= 0)
        return m_owned.at(line.own);
    return QByteArrayView(m_data.constData() + line.start, line.size);
}

int IniProfile::findSection(const QString &name) const
{
    return m_index.value(fold(name), -1);
}

IniProfile::Body &IniProfile::body(int section) const
{
    const auto found = m_bodies.find(section);
    if (found != m_bodies.end())
        return *found;
    Body &body = m_bodies[section];
    const Section &raw = m_sections.at(section);
    qsizetype pos = raw.bodyStart;
    while (pos < raw.bodyEnd) {
        qsizetype next = 0;
        const Line line = lineAt(pos, raw.bodyEnd, &next);
        const QString key = keyName(text(line));
        const int index = int(body.lines.size());
        body.lines.append(line);
        if (!key.isEmpty()) {
            if (!body.keys.contains(key))
                body.keys.insert(key, index);
            body.lastKey = index;
        }
        pos = next;
    }
    return body;
}

const IniProfile::Line *IniProfile::findKey(const QString &section, const QString &key) const
{
    const int index = findSection(section);
    if (index < 0)
        return nullptr;
    const Body &lines = body(index);
    const auto it = lines.keys.constFind(fold(key));
    return it == lines.keys.cend() ? nullptr : &lines.lines.at(*it);
}

QString IniProfile::readString(const QString &section, const QString &key, const QString &def) const
{
    const Line *line = findKey(section, key);
    if (!line)
        return def;
    const QByteArrayView whole = text(*line);
    QString value = QString::fromUtf8(whole.sliced(whole.indexOf('=') + 1)).trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

qint64 IniProfile::readInt(const QString &section, const QString &key, qint64 def) const
{
    if (!findKey(section, key))
        return def;
    return leadingNumber(readString(section, key, QString()), def);
}

bool IniProfile::hasKey(const QString &section, const QString &key) const
{
    return findKey(section, key) != nullptr;
}

bool IniProfile::hasSection(const QString &section) const
{
    return findSection(section) >= 0;
}

QStringList IniProfile::sections() const
{
    QStringList names;
    for (const Section &section : m_sections) {
        QByteArrayView name;
        if (section.hasHeader && headerName(text(section.header), &name))
            names.append(QString::fromUtf8(name).trimmed());
    }
    return names;
}

IniProfile::Line IniProfile::newLine(const QByteArray &content)
{
    m_owned.append(content);
    Line line;
    line.own = qint32(m_owned.size() - 1);
    line.end = LineEnd::CRLF;
    return line;
}

// Gives the file's last line a line end, so that text can follow it.
void IniProfile::terminateLastLine()
{
    const int last = int(m_sections.size() - 1);
    Body &lines = body(last);
    if (!lines.lines.isEmpty()) {
        if (lines.lines.last().end == LineEnd::None)
            lines.lines.last().end = LineEnd::CRLF;
    } else if (m_sections[last].hasHeader && m_sections[last].header.end == LineEnd::None) {
        m_sections[last].header.end = LineEnd::CRLF;
    }
}

void IniProfile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QByteArray entry = key.toUtf8() + '=' + oneLine(value);
    const int index = findSection(section);
    if (index < 0) {
        terminateLastLine();
        Section added;
        added.header = newLine('[' + section.toUtf8() + ']');
        added.hasHeader = true;
        m_sections.append(added);
        const int addedIndex = int(m_sections.size() - 1);
        m_index.insert(fold(section), addedIndex);
        Body &lines = body(addedIndex);
        lines.lines.append(newLine(entry));
        lines.keys.insert(fold(key), 0);
        lines.lastKey = 0;
        return;
    }
    Body &lines = body(index);
    const auto it = lines.keys.constFind(fold(key));
    if (it != lines.keys.cend()) {
        // The key keeps its spelling and the line its end; only the value changes.
        Line &line = lines.lines[*it];
        const QByteArrayView old = text(line);
        const QByteArray replaced = old.first(old.indexOf('=') + 1).toByteArray() + oneLine(value);
        if (line.own >= 0) {
            m_owned[line.own] = replaced;
        } else {
            const LineEnd end = line.end;
            line = newLine(replaced);
            line.end = end;
        }
        return;
    }
    Line &before = lines.lastKey >= 0 ? lines.lines[lines.lastKey] : m_sections[index].header;
    if (before.end == LineEnd::None)
        before.end = LineEnd::CRLF;
    const int at = lines.lastKey + 1;
    lines.lines.insert(at, newLine(entry));
    lines.keys.insert(fold(key), at);
    lines.lastKey = at;
}

void IniProfile::writeInt(const QString &section, const QString &key, qint64 value)
{
    writeString(section, key, QString::number(value));
}

bool IniProfile::writeSection(QIODevice &out, int index) const
{
    const auto put = [&](const Line &line) {
        const QByteArrayView end = line.end == LineEnd::CRLF ? QByteArrayView("\r\n")
                                   : line.end == LineEnd::LF ? QByteArrayView("\n")
                                                             : QByteArrayView();
        const QByteArrayView content = text(line);
        return out.write(content.data(), content.size()) == content.size() &&
               out.write(end.data(), end.size()) == end.size();
    };
    const Section &section = m_sections.at(index);
    if (section.hasHeader && !put(section.header))
        return false;
    const auto parsed = m_bodies.constFind(index);
    if (parsed == m_bodies.cend()) {
        const qsizetype size = section.bodyEnd - section.bodyStart;
        return out.write(m_data.constData() + section.bodyStart, size) == size;
    }
    for (const Line &line : parsed->lines) {
        if (!put(line))
            return false;
    }
    return true;
}

bool IniProfile::save() const
{
    // A file that could not be read is never replaced: its content would be lost.
    if (!m_loaded)
        return false;
    QSaveFile file(m_fileName);
    // A writable file in a folder that is not (no temporary file can be made beside it) is
    // written in place, as the classic routines do.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool written = file.write(m_prefix) == m_prefix.size();
    for (int index = 0; written && index < m_sections.size(); ++index)
        written = writeSection(file, index);
    if (!written) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString IniProfile::GetPrivateProfileString(const QString &section, const QString &key,
                                            const QString &def, const QString &fileName)
{
    return IniProfile(fileName).readString(section, key, def);
}

qint64 IniProfile::GetPrivateProfileInt(const QString &section, const QString &key, qint64 def,
                                        const QString &fileName)
{
    return IniProfile(fileName).readInt(section, key, def);
}

bool IniProfile::WritePrivateProfileString(const QString &section, const QString &key,
                                           const QString &value, const QString &fileName)
{
    IniProfile profile(fileName);
    profile.writeString(section, key, value);
    return profile.save();
}
