#include "core/engine/ErrorLog.h"

#include "core/app/UserFiles.h"

#include <QFile>
#include <QProcess>

namespace ErrorLog {

namespace {
std::function<QDateTime()> &clock()
{
    static std::function<QDateTime()> instance;
    return instance;
}
} // namespace

QString line(const QString &description, const QDateTime &when, const SessionFacts &facts)
{
    QString text = QStringLiteral("Kestrel Error: ") + description + QStringLiteral(", ") +
                   when.toString(QStringLiteral("MM-dd-yyyy")) + QStringLiteral(", ") +
                   when.toString(QStringLiteral("HH:mm:ss")) +
                   QStringLiteral(", Kestrel IP Address: ") + facts.ipAddress +
                   QStringLiteral(", ");
    if (facts.serverMode) {
        text += QStringLiteral("Server Mode, Local Port: ") + QString::number(facts.localPort);
    } else {
        text += QStringLiteral("Client Mode, Remote Host: ") + facts.remoteHost +
                QStringLiteral(", RemotePort: ") + QString::number(facts.remotePort);
    }
    return text + QStringLiteral(", Log File: ") + facts.logFile;
}

void append(const QString &text)
{
    QFile file(UserFiles::file(QStringLiteral("errorlog.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(text.toUtf8() + "\r\n");
}

void runProgram(const QString &commandLine)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    QProcess::startDetached(program, arguments);
}

QDateTime now()
{
    return clock() ? clock()() : QDateTime::currentDateTime();
}

void setClock(std::function<QDateTime()> c)
{
    clock() = std::move(c);
}

} // namespace ErrorLog
