// The main window's Help menu: the help file, the maker's web site and the About box.
#include "gui/main/frmMain.h"

#include "core/app/ProgramFolder.h"
#include "gui/help/HelpViewer.h"
#include "gui/help/WebLink.h"
#include "gui/help/frmAbout.h"

void frmMain::mnuHelpContents_Click()
{
    const QString helpFile = QStringLiteral(KESTREL_HELP_FILE);
    if (helpFile.isEmpty())
        return;
    HelpViewer::show(this, ProgramFolder::file(helpFile));
}

void frmMain::mnuPell_Click()
{
    WebLink::open();
}

void frmMain::mnuHelpAbout_Click()
{
    frmAbout::showModal(this);
}
