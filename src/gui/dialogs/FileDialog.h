#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The file dialog that a window keeps for picking files: one object per window, whose settings
// stay from one use to the next. It shows the platform's open-file or save-file dialog.
class FileDialog final {
public:
    // Bits of Flags.
    static constexpr int HideReadOnly = 0x4;
    static constexpr int FileMustExist = 0x1000;

    explicit FileDialog(QWidget *owner = nullptr) : m_owner(owner) {}

    // In: the name offered when the dialog opens. Out: the full path of the chosen file.
    QString FileName;
    // Descriptions and patterns, each separated from the next by "|":
    // "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*".
    QString Filter;
    // The filter pair shown first, counted from 1; afterwards the one the user last used.
    int FilterIndex = 1;
    // Added to a typed name that has no extension.
    QString DefaultExt;
    int Flags = 0;

    // Show the dialog modally. True when a file was chosen; on cancel FileName is left as it
    // was and the result is false.
    bool ShowOpen();
    bool ShowSave();

    // Tests answer the dialogs instead of a user. While answers are scripted, each Show call
    // takes the next one, a file name as typed (relative to the dialog's folder) or an empty
    // text for Cancel; with none left it cancels. A name passes the rules of a typed one: the
    // default extension is added, and a name that the dialog refuses ends it as cancelled.
    static void setScriptedAnswers(const QStringList &answers);
    static int scriptedAnswersLeft();
    // Back to the real dialog.
    static void stopScripting();

private:
    bool show(bool save);
    QString runPlatformDialog(bool save);
    // The full path that the dialog takes for a typed name; empty when it refuses the name.
    QString acceptedName(const QString &typed, bool save) const;
    QString folder() const;

    QWidget *m_owner;
};
