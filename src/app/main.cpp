#include "core/app/ProcessSetup.h"
#include "core/app/SignalHandler.h"
#include "gui/main/frmMain.h"

#include <QApplication>
#include <QSessionManager>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// The whole argument text names the configuration file, unchanged. Read from argv before the
// application object removes the options that Qt knows (-style, -reverse, ...) from it.
QString commandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments.join(QLatin1Char(' '));
}

} // namespace

namespace Module1 {

int Main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    SignalHandler::block({SIGTERM, SIGINT, SIGHUP});
#endif
    ProcessSetup::prepare();
    const QString fileName = commandLine(argc, argv);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Kestrel"));
    app.setApplicationVersion(QStringLiteral(KESTREL_VERSION));

    frmMain window;
    MainForm = &window;
    // The end of the desktop session and the termination signals close the window like
    // File > Exit, so the configuration and the placement are written. A signal that comes
    // during start-up is handled as soon as the window runs.
#ifdef Q_OS_UNIX
    SignalHandler terminationSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&terminationSignals, &SignalHandler::received, &window,
                     &frmMain::mnuFileExit_Click);
#endif
    window.MDIForm_Load(fileName);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.mnuFileExit_Click(); });

    window.show();
    return app.exec();
}

} // namespace Module1

int main(int argc, char *argv[])
{
    return Module1::Main(argc, argv);
}
