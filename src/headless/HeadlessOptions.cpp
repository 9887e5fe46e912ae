#include "headless/HeadlessOptions.h"

namespace {

const QString Synopsis = QStringLiteral("usage: kestrel-headless [--all] FILE.ksf");

HeadlessOptions wrongLine(const QString &what)
{
    HeadlessOptions options;
    options.wrong = what + QStringLiteral("; ") + Synopsis;
    return options;
}

} // namespace

HeadlessOptions HeadlessOptions::parse(const QStringList &arguments)
{
    bool all = false;
    bool help = false;
    bool version = false;
    QString unknown;
    QStringList files;
    bool optionsEnded = false;
    for (const QString &argument : arguments.mid(1)) {
        const bool isOption =
            !optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'));
        if (!isOption)
            files << argument;
        else if (argument == QLatin1String("--"))
            optionsEnded = true;
        else if (argument == QLatin1String("--all"))
            all = true;
        else if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            help = true;
        else if (argument == QLatin1String("--version"))
            version = true;
        else if (unknown.isEmpty())
            unknown = argument;
    }

    HeadlessOptions options;
    if (help) {
        options.action = Action::Help;
    } else if (version) {
        options.action = Action::Version;
    } else if (!unknown.isEmpty()) {
        options = wrongLine(QStringLiteral("unknown option ") + unknown);
    } else if (files.isEmpty()) {
        options = wrongLine(QStringLiteral("no configuration file given"));
    } else if (files.size() > 1) {
        options = wrongLine(
            QStringLiteral("one configuration file expected, %1 given").arg(files.size()));
    } else {
        options.action = Action::Run;
        options.file = files.first();
        options.all = all;
    }
    return options;
}

QString HeadlessOptions::usage()
{
    return QStringLiteral(
        "Usage: kestrel-headless [--all] FILE.ksf\n"
        "Runs the sessions of a Kestrel configuration file without a window, as a service.\n"
        "\n"
        "  --all       activate every session of the file, not only those stored as active\n"
        "  -h, --help  show this help and exit\n"
        "  --version   show the version and exit\n"
        "\n"
        "Every status change of every session is written to standard error, one line each.\n"
        "SIGHUP reads the file again: unchanged sessions keep their connections, changed ones\n"
        "start again with their new settings. SIGTERM and SIGINT close every session and end\n"
        "the program. The file is never written.\n"
        "\n"
        "Exit status: 0 after SIGTERM or SIGINT; 1 when the file cannot be read, holds no\n"
        "session, or no session could be activated; 2 when the command line is wrong.\n");
}
