#include "gui/dialogs/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <memory>
#include <optional>

namespace {

std::optional<QStringList> &scripted()
{
    static std::optional<QStringList> answers;
    return answers;
}

// "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*" as Qt's name filters, one per pair. Patterns
// are matched without regard to case on the platform that the filters were written for, so
// each pattern is offered in its lower and upper case spelling too.
QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        const QStringList given = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &pattern : given) {
            for (const QString &spelling :
                 {pattern.trimmed(), pattern.trimmed().toLower(), pattern.trimmed().toUpper()}) {
                if (!patterns.contains(spelling))
                    patterns << spelling;
            }
        }
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

// The position of the filter that the dialog reports as selected; a dialog that hides the
// patterns reports the description alone.
int filterPosition(const QStringList &filters, const QString &selected)
{
    for (int i = 0; i < filters.size(); ++i) {
        if (filters[i] == selected || filters[i].startsWith(selected + QStringLiteral(" (")))
            return i;
    }
    return -1;
}

} // namespace

bool FileDialog::ShowOpen()
{
    return show(false);
}

bool FileDialog::ShowSave()
{
    return show(true);
}

void FileDialog::setScriptedAnswers(const QStringList &answers)
{
    scripted() = answers;
}

int FileDialog::scriptedAnswersLeft()
{
    return scripted() ? int(scripted()->size()) : 0;
}

void FileDialog::stopScripting()
{
    scripted().reset();
}

bool FileDialog::show(bool save)
{
    QString chosen;
    if (scripted()) {
        if (!scripted()->isEmpty())
            chosen = acceptedName(scripted()->takeFirst(), save);
    } else {
        chosen = runPlatformDialog(save);
    }
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}

// The dialog's owner may be closed while the dialog runs its event loop (at shutdown); the
// dialog then goes with it and nothing here is touched any more.
QString FileDialog::runPlatformDialog(bool save)
{
    const QPointer<QFileDialog> dialog = new QFileDialog(m_owner);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    const bool mustExist = !save && (Flags & FileMustExist);
    dialog->setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setDefaultSuffix(DefaultExt);
    const QStringList filters = nameFilters(Filter);
    dialog->setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size())
        dialog->selectNameFilter(filters[FilterIndex - 1]);
    dialog->setDirectory(folder());
    if (!FileName.isEmpty())
        dialog->selectFile(QFileInfo(FileName).fileName());

    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return QString();
    const std::unique_ptr<QFileDialog> done(dialog);
    if (!accepted || done->selectedFiles().isEmpty())
        return QString();
    const int used = filterPosition(filters, done->selectedNameFilter());
    if (used >= 0)
        FilterIndex = used + 1;
    return QFileInfo(done->selectedFiles().constFirst()).absoluteFilePath();
}

QString FileDialog::folder() const
{
    return FileName.isEmpty() ? QDir::currentPath() : QFileInfo(FileName).absolutePath();
}

QString FileDialog::acceptedName(const QString &typed, bool save) const
{
    if (typed.isEmpty())
        return QString();
    QString name = QDir(folder()).absoluteFilePath(typed);
    if (QFileInfo(name).isDir())
        return QString();
    if (!DefaultExt.isEmpty() && !QFileInfo(name).fileName().contains(QLatin1Char('.')))
        name += QLatin1Char('.') + DefaultExt;
    if (!save && (Flags & FileMustExist) && !QFileInfo::exists(name))
        return QString();
    return QDir::cleanPath(name);
}
