#include "gui/main/frmMain.h"

#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/text/LoadResource.h"
#include "gui/help/HelpViewer.h"
#include "gui/main/ProgramIcon.h"
#include "gui/session/frmDocument.h"
#include "gui/tray/basSubclass.h"
#include "gui/tray/clsTaskBar.h"
#include "gui/widgets/LoadResStrings.h"
#include "gui/widgets/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace Module1 {
frmMain *MainForm = nullptr;
} // namespace Module1

namespace {

struct PlacementKey {
    const char *name;
    int fallback; // twips
};
constexpr PlacementKey MainLeft{"MainLeft", 1000};
constexpr PlacementKey MainTop{"MainTop", 1000};
constexpr PlacementKey MainWidth{"MainWidth", 7000};
constexpr PlacementKey MainHeight{"MainHeight", 5000};

QSettings placementStore()
{
    return QSettings(QStringLiteral("Kestrel"), QStringLiteral("Kestrel"));
}

// A stored value that is not a number takes the default.
int readTwips(QSettings &store, const PlacementKey &key)
{
    bool ok = false;
    const float value = store.value(QLatin1String(key.name)).toString().toFloat(&ok);
    return ok ? int(value) : key.fallback;
}

QAction *item(QMenu *menu, const char *id, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(QString::fromLatin1(id));
    action->setShortcut(shortcut);
    return action;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent), m_mdiArea(new QMdiArea(this))
{
    setProperty("Tag", QStringLiteral("1100"));
    setWindowTitle(QStringLiteral("Kestrel"));
    setWindowIcon(ProgramIcon::icon());
    setCentralWidget(m_mdiArea);
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    buildMenus();
    buildPopUpMenu();
}

frmMain::~frmMain()
{
    if (Module1::MainForm == this)
        Module1::MainForm = nullptr;
}

void frmMain::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("2102"));
    mnuFileNew = item(mnuFile, "2103", QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileOpen = item(mnuFile, "2104", QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFileClose = item(mnuFile, "2129");
    mnuFile->addSeparator();
    mnuFileSave = item(mnuFile, "2105", QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuFileSaveAs = item(mnuFile, "2106");
    mnuFile->addSeparator();
    mnuOptions = item(mnuFile, "2130");
    mnuFile->addSeparator();
    mnuFileExit = item(mnuFile, "2107");

    mnuWindow = menuBar()->addMenu(QStringLiteral("2131"));
    mnuWindowCascade = item(mnuWindow, "2132");
    mnuWindowTileHorizontal = item(mnuWindow, "2133");
    mnuWindowTileVertical = item(mnuWindow, "2134");
    mnuWindowArrangeIcons = item(mnuWindow, "2135");
    mnuWindow->addSeparator();
    mnuWindowMonitor = item(mnuWindow, "9037");

    mnuHelp = menuBar()->addMenu(QStringLiteral("2125"));
    mnuHelpContents = item(mnuHelp, "2126");
    mnuHelp->addSeparator();
    mnuPell = item(mnuHelp, "2127");
    mnuHelp->addSeparator();
    mnuHelpAbout = item(mnuHelp, "2128");

    connect(mnuFile, &QMenu::aboutToShow, this, &frmMain::mnuFile_Click);
    connect(mnuFileNew, &QAction::triggered, this, &frmMain::mnuFileNew_Click);
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileClose, &QAction::triggered, this, &frmMain::mnuFileClose_Click);
    connect(mnuFileSave, &QAction::triggered, this, &frmMain::mnuFileSave_Click);
    connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
    connect(mnuOptions, &QAction::triggered, this, [this] { mnuOptions_Click(0); });
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuWindow, &QMenu::aboutToShow, this, &frmMain::fillWindowList);
    connect(mnuWindowCascade, &QAction::triggered, this, &frmMain::mnuWindowCascade_Click);
    connect(mnuWindowTileHorizontal, &QAction::triggered, this,
            &frmMain::mnuWindowTileHorizontal_Click);
    connect(mnuWindowTileVertical, &QAction::triggered, this,
            &frmMain::mnuWindowTileVertical_Click);
    connect(mnuWindowArrangeIcons, &QAction::triggered, this,
            &frmMain::mnuWindowArrangeIcons_Click);
    connect(mnuWindowMonitor, &QAction::triggered, this, &frmMain::mnuWindowMonitor_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuPell, &QAction::triggered, this, &frmMain::mnuPell_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::MDIForm_Load(const QString &commandLine)
{
    m_loading = true;
    LoadResource::LoadResStrings(this);
    QDir::setCurrent(ProgramFolder::path());
    readPlacement();
    m_autoActivateFlags = QVector<qint16>(2, 0);
    getprofilesettings(commandLine);
    autoActivate();
    Module1::TrayIconActive =
        basSubclass::AddToTray(this, mnuPopUp, QStringLiteral("Kestrel"), mnuAbout);
    QDir::setCurrent(ProgramFolder::path());
    m_loading = false;
}

void frmMain::autoActivate()
{
    const QList<frmDocument *> windows = sessionWindows();
    for (int k = 1; k <= windows.size() && k < m_autoActivateFlags.size(); ++k) {
        if (m_autoActivateFlags[k] == 1) {
            windows[k - 1]->Command1_Click();
            m_autoActivateFlags[k] = 0;
        }
    }
}

QList<frmDocument *> frmMain::sessionWindows() const
{
    QList<frmDocument *> windows;
    for (const QPointer<QMdiSubWindow> &sub : m_subWindows) {
        if (sub) {
            if (auto *document = qobject_cast<frmDocument *>(sub->widget()))
                windows << document;
        }
    }
    return windows;
}

void frmMain::NewSession()
{
    ++m_sessionCounter;
    auto *document = new frmDocument;
    document->setWindowTitle(QStringLiteral("TCP/IP Data Logger - ") +
                             QString::number(m_sessionCounter));
    QMdiSubWindow *sub = m_mdiArea->addSubWindow(document);
    // Its designed size, also in a smaller window area (which scrolls): the area shrinks only
    // sub-windows that were never given a size.
    sub->resize(sub->sizeHint());
    sub->setAttribute(Qt::WA_DeleteOnClose);
    m_subWindows.removeAll(nullptr);
    m_subWindows << sub;
    sub->show();
    if (isVisible())
        showNearEdges(sub);
    else
        m_placedAtShow << sub;
    m_mdiArea->setActiveSubWindow(sub);
}

// The area aligns a sub-window that is larger than itself with its far edges; a user starts
// reading at the near ones (the title, the first controls), so those show and the rest scrolls.
void frmMain::showNearEdges(QMdiSubWindow *sub)
{
    if (sub->x() < 0 || sub->y() < 0)
        sub->move(std::max(sub->x(), 0), std::max(sub->y(), 0));
}

// The window area has placed the sub-windows that waited for it to show.
void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    for (const QPointer<QMdiSubWindow> &sub : std::as_const(m_placedAtShow)) {
        if (sub)
            showNearEdges(sub);
    }
    m_placedAtShow.clear();
}

void frmMain::closeSessionWindows()
{
    for (int i = int(m_subWindows.size()) - 1; i >= 0; --i) {
        if (QMdiSubWindow *sub = m_subWindows[i]) {
            m_mdiArea->removeSubWindow(sub);
            delete sub;
        }
    }
    m_subWindows.clear();
}

int frmMain::windowStateCode() const
{
    if (isMinimized())
        return 1;
    if (isMaximized())
        return 2;
    return 0;
}

void frmMain::setWindowStateCode(int code)
{
    Qt::WindowStates state = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (code == 1)
        state |= Qt::WindowMinimized;
    else if (code == 2)
        state |= Qt::WindowMaximized;
    setWindowState(state);
}

void frmMain::getprofilesettings(const QString &fileName)
{
    closeSessionWindows();
    const GlobalOptions current{Module1::OnErrorRunApp, Module1::LogErrors, Module1::PacketSize,
                                Module1::ArrivalIndex};
    const Configuration config = ConfigFile::read(fileName, current);
    setWindowStateCode(config.WindowState);
    Module1::OnErrorRunApp = config.Globals.OnErrorRunApp;
    Module1::LogErrors = config.Globals.LogErrors;
    Module1::PacketSize = config.Globals.PacketSize;
    Module1::ArrivalIndex = config.Globals.ArrivalIndex;
    if (config.Sessions.isEmpty()) {
        NewSession();
        return;
    }
    m_autoActivateFlags = QVector<qint16>(config.Sessions.size() + 2, 0);
    for (int k = 1; k <= config.Sessions.size(); ++k) {
        NewSession();
        const SessionSettings &stored = config.Sessions[k - 1];
        sessionWindows().constLast()->applySettings(stored);
        if (stored.AutoActivate == 1)
            m_autoActivateFlags[k] = 1;
    }
}

void frmMain::writeprofilesettings(const QString &fileName)
{
    Configuration config;
    config.WindowState = windowStateCode();
    const QList<frmDocument *> windows = sessionWindows();
    for (frmDocument *document : windows) {
        SessionSettings stored = document->settings();
        document->Getstatus();
        stored.AllowMultiConnect = Module1::AllowMultiConnect;
        stored.ServerSerialOptions = Module1::ServerSerialOptions;
        stored.ServerTCPOptions = Module1::ServerTCPOptions;
        stored.ClientOptions = Module1::ClientOptions;
        config.Sessions << stored;
    }
    config.Globals = {Module1::OnErrorRunApp, Module1::LogErrors, Module1::PacketSize,
                      Module1::ArrivalIndex};
    ConfigFile::write(ConfigFile::resolveFileName(fileName), config);
}

void frmMain::readPlacement()
{
    QSettings store = placementStore();
    store.beginGroup(QStringLiteral("Settings"));
    m_placementTwips = {readTwips(store, MainLeft), readTwips(store, MainTop),
                        readTwips(store, MainWidth), readTwips(store, MainHeight)};
    const QRect wanted(Twips::toPixels(m_placementTwips[0]), Twips::toPixels(m_placementTwips[1]),
                       Twips::toPixels(m_placementTwips[2]), Twips::toPixels(m_placementTwips[3]));
    move(wanted.topLeft());
    resize(wanted.size());

    // A placement that lies entirely off every screen is brought back onto the primary one.
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool visible = std::any_of(screens.begin(), screens.end(), [&](QScreen *screen) {
        return screen->availableGeometry().intersects(wanted);
    });
    if (!visible && QGuiApplication::primaryScreen()) {
        move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
        m_placementTwips[0] = Twips::fromPixels(x());
        m_placementTwips[1] = Twips::fromPixels(y());
    }
    m_placementApplied = QRect(pos(), size());
}

void frmMain::writePlacement()
{
    // A window that was not moved or sized keeps its stored values exactly; pixels are coarser
    // than twips.
    std::array<int, 4> twips = m_placementTwips;
    if (QRect(pos(), size()) != m_placementApplied) {
        twips = {Twips::fromPixels(x()), Twips::fromPixels(y()), Twips::fromPixels(width()),
                 Twips::fromPixels(height())};
    }
    QSettings store = placementStore();
    store.beginGroup(QStringLiteral("Settings"));
    const PlacementKey keys[] = {MainLeft, MainTop, MainWidth, MainHeight};
    for (size_t i = 0; i < twips.size(); ++i)
        store.setValue(QLatin1String(keys[i].name), QString::number(twips[i]));
    store.sync();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_closing && !readyToShutDown()) {
        event->ignore();
        QTimer::singleShot(10, this, &QWidget::close);
        return;
    }
    if (!m_closing) {
        m_closing = true;
        MDIForm_QueryUnload();
        closeSessionWindows();
        MDIForm_Unload();
        // The window may be hidden behind the notification-area icon; the program ends anyway.
        QCoreApplication::quit();
    }
    event->accept();
}

// A dialog, message box or pop-up menu runs its own event loop, and the handler that opened it
// goes on when it returns; start-up runs handlers too. Shutdown waits until those have closed
// and unwound, so no handler returns into a window that is gone.
bool frmMain::readyToShutDown()
{
    QWidget *open = QApplication::activePopupWidget();
    if (!open)
        open = QApplication::activeModalWidget();
    if (open)
        open->close();
    return !open && !m_loading && QThread::currentThread()->loopLevel() <= 1;
}

void frmMain::MDIForm_QueryUnload()
{
    HelpViewer::closeAll();
    QThread::yieldCurrentThread();
    writeprofilesettings(QString());
}

void frmMain::MDIForm_Unload()
{
    if (windowStateCode() != 1)
        writePlacement();
    if (Module1::TrayIconActive) {
        TaskBar().DeleteIcon(1);
        basSubclass::Unhook(this);
        Module1::TrayIconActive = false;
    }
}

void frmMain::mnuFile_Click()
{
    mnuFileClose->setEnabled(!sessionWindows().isEmpty());
}

void frmMain::mnuFileNew_Click()
{
    NewSession();
}

void frmMain::mnuFileClose_Click()
{
    if (QMdiSubWindow *active = m_mdiArea->activeSubWindow())
        active->close();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::fillWindowList()
{
    qDeleteAll(m_windowListActions);
    m_windowListActions.clear();
    const QList<frmDocument *> windows = sessionWindows();
    mnuWindowMonitor->setEnabled(!windows.isEmpty());
    if (windows.isEmpty())
        return;
    m_windowListActions << mnuWindow->addSeparator();
    QMdiSubWindow *active = m_mdiArea->activeSubWindow();
    int number = 0;
    for (frmDocument *document : windows) {
        auto *sub = qobject_cast<QMdiSubWindow *>(document->parentWidget());
        QAction *entry = mnuWindow->addAction(
            QStringLiteral("&%1 %2").arg(++number).arg(document->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(sub == active);
        connect(entry, &QAction::triggered, this, [this, sub] {
            if (sub)
                m_mdiArea->setActiveSubWindow(sub);
        });
        m_windowListActions << entry;
    }
}

void frmMain::mnuWindowMonitor_Click()
{
    // The active session window; while the main window is in the background, the one that was.
    if (QMdiSubWindow *sub = m_mdiArea->currentSubWindow()) {
        if (auto *document = qobject_cast<frmDocument *>(sub->widget()))
            document->showMonitor();
    }
}

void frmMain::mnuWindowCascade_Click()
{
    m_mdiArea->cascadeSubWindows();
}

namespace {
QList<QMdiSubWindow *> restoredWindows(QMdiArea *area)
{
    QList<QMdiSubWindow *> windows;
    const auto all = area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *sub : all) {
        if (sub->isVisible() && !sub->isMinimized())
            windows << sub;
    }
    return windows;
}

// Gives each window an equal share of the area, one above the other or side by side.
void tile(QMdiArea *area, bool stacked)
{
    const QList<QMdiSubWindow *> windows = restoredWindows(area);
    if (windows.isEmpty())
        return;
    const QRect space = area->viewport()->rect();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow *sub = windows[i];
        sub->showNormal();
        if (stacked) {
            const int top = space.height() * i / count;
            const int bottom = space.height() * (i + 1) / count;
            sub->setGeometry(0, top, space.width(), bottom - top);
        } else {
            const int left = space.width() * i / count;
            const int right = space.width() * (i + 1) / count;
            sub->setGeometry(left, 0, right - left, space.height());
        }
    }
}
} // namespace

void frmMain::mnuWindowTileHorizontal_Click()
{
    tile(m_mdiArea, true);
}

void frmMain::mnuWindowTileVertical_Click()
{
    tile(m_mdiArea, false);
}

void frmMain::mnuWindowArrangeIcons_Click()
{
    // Minimised windows line up along the bottom edge, left to right.
    const QRect space = m_mdiArea->viewport()->rect();
    int left = 0;
    int bottom = space.height();
    const auto all = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *sub : all) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (left > 0 && left + size.width() > space.width()) {
            left = 0;
            bottom -= size.height();
        }
        sub->move(left, bottom - size.height());
        left += size.width();
    }
}
