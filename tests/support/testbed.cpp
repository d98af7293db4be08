#include "support/testbed.h"

#include <QFile>
#include <QHash>

using namespace Qt::StringLiterals;

std::optional<Testbed> Testbed::load(QString *why)
{
    const QString dir = qEnvironmentVariable("PARCELWRIGHT_TESTBED");
    QFile file(dir + u"/testbed.env"_s);
    if (dir.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        *why = u"no test bed: cannot read %1 (%2); run scripts/testbed.sh start DIR"_s.arg(
            file.fileName(),
            dir.isEmpty() ? u"PARCELWRIGHT_TESTBED is not set"_s : file.errorString());
        return std::nullopt;
    }
    // KEY=VALUE lines, the value running unquoted to the end of the line: a password may hold any
    // character but a line break.
    QHash<QByteArray, QString> values;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (const qsizetype equals = line.indexOf('='); equals > 0)
            values.insert(line.left(equals), QString::fromLocal8Bit(line.mid(equals + 1)));
    }
    for (const char *key : {"FTP_HOST", "FTP_PORT", "SSH_PORT", "SSH_SESSION", "PUTTYDIR",
                            "PLAIN_USER", "PLAIN_PASSWORD", "PLAIN_HOME", "QUOTED_USER",
                            "QUOTED_PASSWORD", "QUOTED_HOME", "HOSTILE_USER", "HOSTILE_PASSWORD",
                            "HOSTILE_HOME", "FTP_TLS_HOST", "FTP_CA_FILE", "FTP_SLOW_HOST"}) {
        if (values.value(key).isEmpty()) {
            *why = u"test bed %1 lacks %2"_s.arg(file.fileName(), QLatin1String(key));
            return std::nullopt;
        }
    }
    const auto account = [&values](const QByteArray &prefix) {
        return TestbedAccount{values.value(prefix + "_USER"), values.value(prefix + "_PASSWORD"),
                              values.value(prefix + "_HOME")};
    };
    Testbed tb{values.value("FTP_HOST"),    values.value("FTP_PORT").toInt(),
               values.value("SSH_SESSION"), values.value("SSH_PORT").toInt(),
               values.value("PUTTYDIR"),    account("PLAIN"),
               account("QUOTED"),           account("HOSTILE")};
    tb.ftpTlsHost = values.value("FTP_TLS_HOST");
    tb.ftpCaFile = values.value("FTP_CA_FILE");
    tb.ftpSlowHost = values.value("FTP_SLOW_HOST");
    qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit());
    return tb;
}

QString builtProgram(const QString &name)
{
    return QStringLiteral(PARCELWRIGHT_BIN_DIR "/") + name;
}
