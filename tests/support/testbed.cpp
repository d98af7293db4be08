#include "support/testbed.h"

#include <QFile>
#include <QHash>
#include <QProcess>

namespace {

// The file scripts/testbed.sh writes: KEY=VALUE lines, the value running to the end of the line
// unquoted, since a password may hold any character but a line break.
bool readEnvFile(const QString &path, QHash<QString, QString> *values, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no test bed: cannot read %1 (%2); run scripts/testbed.sh start DIR")
                   .arg(path, file.errorString());
        return false;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        values->insert(QString::fromLocal8Bit(line.left(equals)),
                       QString::fromLocal8Bit(line.mid(equals + 1)));
    }
    return true;
}

} // namespace

std::optional<Testbed> Testbed::load(QString *why)
{
    const QString dir = qEnvironmentVariable("PARCELWRIGHT_TESTBED");
    if (dir.isEmpty()) {
        *why = QStringLiteral("no test bed: PARCELWRIGHT_TESTBED is not set");
        return std::nullopt;
    }
    QHash<QString, QString> values;
    if (!readEnvFile(dir + QStringLiteral("/testbed.env"), &values, why))
        return std::nullopt;

    static const char *const required[] = {"FTP_PORT",        "FTP_HOST",   "SSH_PORT",
                                           "SSH_SESSION",     "PUTTYDIR",   "PLAIN_USER",
                                           "PLAIN_PASSWORD",  "PLAIN_HOME", "QUOTED_USER",
                                           "QUOTED_PASSWORD", "QUOTED_HOME"};
    for (const char *key : required) {
        if (values.value(QString::fromLatin1(key)).isEmpty()) {
            *why = QStringLiteral("test bed %1/testbed.env lacks %2").arg(dir, QLatin1String(key));
            return std::nullopt;
        }
    }

    Testbed tb;
    tb.ftpHost = values.value(QStringLiteral("FTP_HOST"));
    tb.ftpPort = values.value(QStringLiteral("FTP_PORT")).toInt();
    tb.sshPort = values.value(QStringLiteral("SSH_PORT")).toInt();
    tb.sshSession = values.value(QStringLiteral("SSH_SESSION"));
    tb.puttyDir = values.value(QStringLiteral("PUTTYDIR"));
    tb.plain = {values.value(QStringLiteral("PLAIN_USER")),
                values.value(QStringLiteral("PLAIN_PASSWORD")),
                values.value(QStringLiteral("PLAIN_HOME"))};
    tb.quoted = {values.value(QStringLiteral("QUOTED_USER")),
                 values.value(QStringLiteral("QUOTED_PASSWORD")),
                 values.value(QStringLiteral("QUOTED_HOME"))};
    if (tb.ftpPort <= 0 || tb.sshPort <= 0) {
        *why = QStringLiteral("test bed %1/testbed.env has no valid ports").arg(dir);
        return std::nullopt;
    }
    // Every psftp this process starts must find the saved session and its trusted host key.
    qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit());
    return tb;
}

QString builtProgram(const QString &name)
{
    return QStringLiteral(PARCELWRIGHT_BIN_DIR "/") + name;
}

bool runningUnderCi()
{
    return !qEnvironmentVariableIsEmpty("CI");
}

LauncherRun runLauncher(const QString &workDir, int waitMs)
{
    LauncherRun run;
    const QString logPath = workDir + QStringLiteral("/FTPLog0001.TXT");
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(logPath, QIODevice::Truncate);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(builtProgram(QStringLiteral("parcelwright-cmd")),
                  {QStringLiteral("/C"), QStringLiteral("XferJob.BAT")});
    if (!process.waitForStarted(10000)) {
        run.log = "could not start parcelwright-cmd: " + process.errorString().toLocal8Bit();
        return run;
    }
    run.finished = process.waitForFinished(waitMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly))
        run.log = log.readAll();
    return run;
}

bool writeCrLfFile(const QString &path, const QList<QByteArray> &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const QByteArray &line : lines) {
        if (file.write(line + "\r\n") != line.size() + 2)
            return false;
    }
    return file.flush();
}

QByteArray quotedIfBlank(const QByteArray &value)
{
    return value.contains(' ') ? '"' + value + '"' : value;
}
