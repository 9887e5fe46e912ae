#pragma once

#include "core/config/ConfigFile.h"
#include "gui/dialogs/FileDialog.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QVector>
#include <array>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class frmDocument;

// The main window: a multiple-document window whose children are the session windows. It
// loads the working set at start-up, writes it back at exit and carries the menus.
class frmMain final : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up: localize, place the window, load the command line's file (or default.ksf) and
    // activate the sessions stored as active.
    void MDIForm_Load(const QString &commandLine);

    void NewSession();
    void getprofilesettings(const QString &fileName);
    void writeprofilesettings(const QString &fileName);

    // The open session windows in order of creation.
    QList<frmDocument *> sessionWindows() const;
    QMdiArea *mdiArea() const { return m_mdiArea; }
    qint32 SessionCounter() const { return m_sessionCounter; }
    const QVector<qint16> &AutoActivateFlags() const { return m_autoActivateFlags; }
    // 0 normal, 1 minimised, 2 maximised.
    int windowStateCode() const;
    void setWindowStateCode(int code);

    // Menu commands.
    void mnuFile_Click();
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuOptions_Click(int Index);
    void mnuFileExit_Click();
    void mnuWindowCascade_Click();
    void mnuWindowTileHorizontal_Click();
    void mnuWindowTileVertical_Click();
    void mnuWindowArrangeIcons_Click();
    void mnuWindowMonitor_Click();
    void mnuHelpContents_Click();
    void mnuPell_Click();
    void mnuHelpAbout_Click();

    // The notification-area icon's menu and the window's resize handler.
    void MDIForm_Resize();
    void mnuOpen_Click();
    void mnuHide_Click();
    void mnuExit_Click();
    void mnuAbout_Click();

    // Menu items, named after their menu path; their design text is the string id.
    QMenu *mnuFile;
    QAction *mnuFileNew;
    QAction *mnuFileOpen;
    QAction *mnuFileClose;
    QAction *mnuFileSave;
    QAction *mnuFileSaveAs;
    QAction *mnuOptions;
    QAction *mnuFileExit;
    QMenu *mnuWindow;
    QAction *mnuWindowCascade;
    QAction *mnuWindowTileHorizontal;
    QAction *mnuWindowTileVertical;
    QAction *mnuWindowArrangeIcons;
    QAction *mnuWindowMonitor;
    QMenu *mnuHelp;
    QAction *mnuHelpContents;
    QAction *mnuPell;
    QAction *mnuHelpAbout;
    QMenu *mnuPopUp;
    QAction *mnuOpen;
    QAction *mnuHide;
    QAction *mnuExit;
    QAction *sep10;
    QAction *mnuAbout;

    // The configuration file of the last Open or Save As of this run; Save writes it.
    const QString &CurrentFile() const { return m_currentFile; }
    // The one dialog of Open and Save As; its settings carry over from one command to the next.
    FileDialog dlgCommonDialog{this};

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildMenus();
    void buildPopUpMenu();
    void fillWindowList();
    void closeSessionWindows();
    static void showNearEdges(QMdiSubWindow *sub);
    void readPlacement();
    void writePlacement();
    void autoActivate();
    bool readyToShutDown();
    void MDIForm_QueryUnload();
    void MDIForm_Unload();

    QMdiArea *m_mdiArea;
    QList<QPointer<QMdiSubWindow>> m_subWindows;
    QList<QPointer<QMdiSubWindow>> m_placedAtShow; // created while the window was hidden
    QList<QAction *> m_windowListActions;
    qint32 m_sessionCounter = 0;
    QVector<qint16> m_autoActivateFlags;
    std::array<int, 4> m_placementTwips{}; // left, top, width, height as read
    QRect m_placementApplied;
    bool m_loading = false;
    bool m_closing = false;
    QString m_currentFile;
};

namespace Module1 {
// The main window, kept by the program's entry routine.
extern frmMain *MainForm;
} // namespace Module1
