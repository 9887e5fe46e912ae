#include "gui/main/frmMain.h"

#include "gui/dialogs/frmOptions.h"

namespace {
const QString ConfigurationFilter =
    QStringLiteral("Kestrel Files (*.KSF)|*.ksf|All Files (*.*)|*.*");
} // namespace

// Loads a configuration file in place of the open sessions. Its sessions stay inactive, whatever
// the file says; only start-up activates sessions.
void frmMain::mnuFileOpen_Click()
{
    dlgCommonDialog.Flags = FileDialog::FileMustExist | FileDialog::HideReadOnly;
    dlgCommonDialog.Filter = ConfigurationFilter;
    dlgCommonDialog.FilterIndex = 1;
    if (!dlgCommonDialog.ShowOpen() || dlgCommonDialog.FileName.isEmpty())
        return;
    m_currentFile = dlgCommonDialog.FileName;
    getprofilesettings(m_currentFile);
}

void frmMain::mnuFileSave_Click()
{
    if (m_currentFile.isEmpty())
        mnuFileSaveAs_Click();
    else
        writeprofilesettings(m_currentFile);
}

void frmMain::mnuFileSaveAs_Click()
{
    dlgCommonDialog.Filter = ConfigurationFilter;
    dlgCommonDialog.FilterIndex = 1;
    dlgCommonDialog.DefaultExt = QStringLiteral("ksf");
    dlgCommonDialog.Flags = FileDialog::HideReadOnly;
    if (!dlgCommonDialog.ShowSave() || dlgCommonDialog.FileName.isEmpty())
        return;
    m_currentFile = dlgCommonDialog.FileName;
    writeprofilesettings(m_currentFile);
}

void frmMain::mnuOptions_Click(int)
{
    frmOptions dialog(this);
    dialog.exec();
}
