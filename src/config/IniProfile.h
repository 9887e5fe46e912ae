#pragma once

#include <QString>
#include <QStringList>

// An INI file read and written key by key, with the rules of the classic private-profile
// routines: section and key names match without regard to case; on reading, blanks around a
// value and one pair of enclosing quotes are dropped; an absent file, section or key gives the
// caller's default. Writing replaces a key in place, or appends it to the end of its section, or
// appends the section to the end of the file; nothing else in the file changes. New lines end in
// CRLF; LF and CRLF are both read. Text is UTF-8.
//
// The file is loaded once by the constructor; writes change the content in memory, and save()
// replaces the file on disk atomically (a temporary file in the same folder renamed over it), so
// a crash never leaves a half-written file.
class IniProfile final {
public:
    explicit IniProfile(const QString &fileName);

    QString fileName() const { return m_fileName; }
    // False when the file exists but could not be read (a folder, no permission).
    bool loaded() const { return m_loaded; }

    QString readString(const QString &section, const QString &key, const QString &def) const;
    // The decimal number at the start of the value (optional sign, then digits), else `def`.
    qint64 readInt(const QString &section, const QString &key, qint64 def) const;
    bool hasKey(const QString &section, const QString &key) const;
    bool hasSection(const QString &section) const;
    // Names of every section, in file order, as written in the file.
    QStringList sections() const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInt(const QString &section, const QString &key, qint64 value);

    // Writes the content to disk. Returns false (and leaves the old file untouched) on failure.
    bool save() const;

    // One-shot helpers with the classic routines' shape: each reads or updates the file at once.
    static QString GetPrivateProfileString(const QString &section, const QString &key,
                                           const QString &def, const QString &fileName);
    static qint64 GetPrivateProfileInt(const QString &section, const QString &key, qint64 def,
                                       const QString &fileName);
    static bool WritePrivateProfileString(const QString &section, const QString &key,
                                          const QString &value, const QString &fileName);

private:
    QString m_fileName;
    QStringList m_lines; // without line ends
    bool m_loaded = true;
};
