#pragma once

#include <QSortFilterProxyModel>

// The file dialog's view of a folder, which can be narrowed to the files that may be run
// (any file with an execute permission, whatever its name), as a "Programs" filter means.
// Folders always stay.
class ProgramFilesFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setProgramsOnly(bool programsOnly);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool m_programsOnly = false;
};
