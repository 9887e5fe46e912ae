#include "gui/dialogs/FileDialog.h"

#include "gui/dialogs/ProgramFilesFilter.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QVector>
#include <algorithm>
#include <memory>
#include <optional>

namespace {

std::optional<QStringList> &scripted()
{
    static std::optional<QStringList> answers;
    return answers;
}

// Each description of "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*" with its patterns as Qt
// matches them: "*.*" names every file, also one without a dot. The dialog matches patterns
// without regard to case.
struct NameFilter {
    QString text;
    // "Programs (*.EXE)": files that may be run, whatever their names.
    bool programs = false;
};

bool isProgramPattern(const QString &pattern)
{
    static const QStringList programs = {QStringLiteral("*.exe"), QStringLiteral("*.com"),
                                         QStringLiteral("*.bat")};
    return programs.contains(pattern, Qt::CaseInsensitive);
}

QVector<NameFilter> nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QVector<NameFilter> filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        const QStringList given = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &pattern : given)
            patterns << pattern.trimmed();
        const bool programs = !patterns.isEmpty() &&
                              std::all_of(patterns.cbegin(), patterns.cend(), isProgramPattern);
        if (programs || patterns.contains(QStringLiteral("*.*")))
            patterns = QStringList{QStringLiteral("*")};
        filters.append(
            {parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'),
             programs});
    }
    return filters;
}

// The position of the filter that the dialog reports as selected; a dialog that hides the
// patterns reports the description alone.
int filterPosition(const QVector<NameFilter> &filters, const QString &selected)
{
    for (int i = 0; i < filters.size(); ++i) {
        const QString &text = filters[i].text;
        if (text == selected || text.startsWith(selected + QStringLiteral(" (")))
            return i;
    }
    return -1;
}

// Offers `filters`, the one at `index` (counted from 1) chosen; "Programs" narrows the view.
void offerFilters(QFileDialog &dialog, const QVector<NameFilter> &filters, int index)
{
    QStringList texts;
    for (const NameFilter &filter : filters)
        texts << filter.text;
    dialog.setNameFilters(texts);
    auto *programs = new ProgramFilesFilter(&dialog);
    dialog.setProxyModel(programs);
    if (index >= 1 && index <= filters.size()) {
        dialog.selectNameFilter(texts[index - 1]);
        programs->setProgramsOnly(filters[index - 1].programs);
    }
    QObject::connect(&dialog, &QFileDialog::filterSelected, programs,
                     [filters, programs](const QString &selected) {
                         if (const int chosen = filterPosition(filters, selected); chosen >= 0)
                             programs->setProgramsOnly(filters[chosen].programs);
                     });
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
    // The desktop's own dialog would match patterns by case and cannot show programs alone.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDefaultSuffix(DefaultExt);
    const QVector<NameFilter> filters = nameFilters(Filter);
    offerFilters(*dialog, filters, FilterIndex);
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
