#include "core/app/ProcessSetup.h"
#include "core/app/ProgramFolder.h"
#include "core/app/SignalHandler.h"
#include "headless/HeadlessOptions.h"
#include "headless/HeadlessRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitWrongCommandLine = 2;

void writeLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void fail(const QString &message)
{
    writeLine(stderr, QStringLiteral("kestrel-headless: ") + message);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // Held back until the handler below is installed, so that none is lost during start-up.
    SignalHandler::block({SIGTERM, SIGINT, SIGHUP});
#endif
    ProcessSetup::prepare();
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("kestrel-headless"));
    app.setApplicationVersion(QStringLiteral(KESTREL_VERSION));

    const HeadlessOptions options = HeadlessOptions::parse(app.arguments());
    switch (options.action) {
    case HeadlessOptions::Action::Help:
        writeLine(stdout, HeadlessOptions::usage().trimmed());
        return 0;
    case HeadlessOptions::Action::Version:
        writeLine(stdout, QStringLiteral("kestrel-headless " KESTREL_VERSION));
        return 0;
    case HeadlessOptions::Action::Wrong:
        fail(options.wrong);
        return ExitWrongCommandLine;
    case HeadlessOptions::Action::Run:
        break;
    }

    // The file is named relative to where the program was started; the sessions then work in
    // the program folder, as the interactive program does, so relative log paths name the same
    // files in both.
    HeadlessRunner runner(QFileInfo(options.file).absoluteFilePath(), options.all);
    QDir::setCurrent(ProgramFolder::path());
    QObject::connect(&runner, &HeadlessRunner::report,
                     [](const QString &line) { writeLine(stderr, line); });

#ifdef Q_OS_UNIX
    SignalHandler signalHandler({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalHandler, &SignalHandler::received, &runner, [&runner](int number) {
        if (number == SIGHUP) {
            runner.reload();
            return;
        }
        runner.stop(QLatin1String(number == SIGINT ? "SIGINT" : "SIGTERM"));
        QCoreApplication::quit();
    });
#endif

    QString failure;
    if (!runner.start(&failure)) {
        fail(failure);
        return ExitFailure;
    }
    return app.exec();
}
