#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;

// An INI file read and written key by key, with the rules of the classic private-profile
// routines: section and key names match without regard to case; on reading, blanks around a
// value and one pair of enclosing double quotes are dropped; an absent file, section or key gives
// the caller's default. When a name occurs twice, the first section or key of that name counts.
// Writing replaces a key's value in place, or adds the key after the last key of its section, or
// appends the section to the end of the file; nothing else in the file changes, byte for byte.
// New lines end in CRLF; LF and CRLF are both read. Text is UTF-8 (a leading byte-order mark is
// kept). A value is one line: line breaks in a written value become blanks. Section and key
// names must not contain '=', ']' or line breaks.
//
// The file is loaded once by the constructor; writes change the content in memory, and save()
// replaces the file on disk atomically (a temporary file in the same folder renamed over it), so
// a crash never leaves a half-written file. Only a writable file in a folder that cannot be
// written is overwritten in place. Loading scans the file once for its section headers;
// a section's keys are indexed the first time it is used, so a large file opens quickly.
class IniProfile final {
public:
    explicit IniProfile(const QString &fileName);

    QString fileName() const { return m_fileName; }
    // False when the file exists but could not be read (a folder, a device, no permission, or
    // larger than maxFileSize). Such a file reads as empty and save() refuses to replace it.
    bool loaded() const { return m_loaded; }

    QString readString(const QString &section, const QString &key, const QString &def) const;
    // The decimal number at the start of the value (optional sign, then digits), else `def`.
    // A number beyond the range of qint64 gives the nearest limit.
    qint64 readInt(const QString &section, const QString &key, qint64 def) const;
    bool hasKey(const QString &section, const QString &key) const;
    bool hasSection(const QString &section) const;
    // Names of every section, in file order, as written in the file.
    QStringList sections() const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInt(const QString &section, const QString &key, qint64 value);

    // Writes the content to disk. Returns false (and leaves the old file untouched) on failure.
    bool save() const;

    // Files larger than this are not profiles; they are treated as unreadable.
    static constexpr qint64 maxFileSize = 256 * 1024 * 1024;

    // One-shot helpers with the classic routines' shape: each reads or updates the file at once.
    static QString GetPrivateProfileString(const QString &section, const QString &key,
                                           const QString &def, const QString &fileName);
    static qint64 GetPrivateProfileInt(const QString &section, const QString &key, qint64 def,
                                       const QString &fileName);
    static bool WritePrivateProfileString(const QString &section, const QString &key,
                                          const QString &value, const QString &fileName);

private:
    enum class LineEnd : quint8 { None, LF, CRLF };

    // A line's text is a range of m_data, or entry `own` of m_owned once written.
    struct Line {
        qsizetype start = 0;
        qint32 size = 0;
        qint32 own = -1;
        LineEnd end = LineEnd::None;
    };

    // The lines of a section that has been used, with its keys indexed.
    struct Body {
        QVector<Line> lines;
        QHash<QString, int> keys; // folded key name -> index of its first line
        int lastKey = -1;         // index of the last key line
    };

    // A header and the bytes up to the next header. They stay a raw range of m_data until the
    // section is first used; then they are split into its entry of m_bodies.
    struct Section {
        Line header;
        qsizetype bodyStart = 0;
        qsizetype bodyEnd = 0;
        bool hasHeader = false; // only the lines before the first header have none
    };

    void load();
    // The line starting at `pos` of m_data, ending at a line feed or at `end`.
    Line lineAt(qsizetype pos, qsizetype end, qsizetype *next) const;
    QByteArrayView text(const Line &line) const;
    int findSection(const QString &name) const;
    Body &body(int section) const;
    const Line *findKey(const QString &section, const QString &key) const;
    Line newLine(const QByteArray &text);
    void terminateLastLine();
    bool writeSection(QIODevice &out, int section) const;

    QString m_fileName;
    bool m_loaded = true;
    QByteArray m_data;   // the file as loaded
    QByteArray m_prefix; // byte-order mark, kept as found
    QVector<QByteArray> m_owned;
    QVector<Section> m_sections; // entry 0 holds the lines before the first header
    QHash<QString, int> m_index; // folded section name -> first section of that name
    // Filled on first use, also by the const readers: a cache, hence mutable.
    mutable QHash<int, Body> m_bodies; // section index -> its lines
};
