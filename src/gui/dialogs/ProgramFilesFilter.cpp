#include "gui/dialogs/ProgramFilesFilter.h"

#include <QFileSystemModel>

void ProgramFilesFilter::setProgramsOnly(bool programsOnly)
{
    if (programsOnly == m_programsOnly)
        return;
    m_programsOnly = programsOnly;
    invalidateFilter();
}

bool ProgramFilesFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!m_programsOnly || !files)
        return true;
    const QModelIndex index = files->index(sourceRow, 0, sourceParent);
    return files->isDir(index) || files->fileInfo(index).isExecutable();
}
