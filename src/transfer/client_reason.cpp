#include "transfer/client_reason.h"

#include <QRegularExpression>

namespace {

// A server's reply that refuses: a transient (4xx) or permanent (5xx) negative completion.
bool isRefusingReply(const QString &line)
{
    static const QRegularExpression reply(QStringLiteral("^[45][0-9][0-9][ -]"));
    return reply.match(line).hasMatch();
}

// What the two clients print when something goes wrong, in their own words. Lines the
// interpreter echoes (a working directory, ">" and the launcher line) never count.
bool soundsLikeAFailure(const QString &line)
{
    static const QRegularExpression failure(
        QStringLiteral("^(FATAL ERROR|Unknown host|Login failed|Not connected|Error |Access denied"
                       "|Connection abandoned|Connection refused|ssh_init|local:|put |cd |"
                       "parcelwright-cmd:)|unable to|no such|not found|denied|failed|refused"
                       "|timed out|cannot "),
        QRegularExpression::CaseInsensitiveOption);
    return failure.match(line).hasMatch();
}

// The interpreter's echo of a command line: "DIRECTORY>COMMAND".
bool isEcho(const QString &line)
{
    return line.startsWith(QLatin1Char('/')) && line.contains(QLatin1Char('>'));
}

// psftp with no one to answer its question about a host it has not met abandons the connection.
bool isUnknownHostKey(const QString &line)
{
    return line.contains(QLatin1String("host key is not cached"));
}

// How the user stores the key once: psftp's account and host as the launcher line gave them,
// read back from the interpreter's echo of that line ("DIR>psftp [-P PORT] USER@HOST -b ...").
QString hostKeyAdvice(const QList<QByteArray> &clientOutput)
{
    QString account = QStringLiteral("USER@HOST");
    for (const QByteArray &bytes : clientOutput) {
        const QString line = QString::fromLocal8Bit(bytes).trimmed();
        const qsizetype start = line.indexOf(QLatin1String(">psftp "));
        const qsizetype end = line.lastIndexOf(QLatin1String(" -b "));
        if (isEcho(line) && start >= 0 && end > start) {
            account = line.mid(start + 7, end - start - 7);
            break;
        }
    }
    return QStringLiteral("The server's host key is not stored yet - store it once with 'Test the "
                          "Connection', or by hand with 'psftp %1' (answer y)")
        .arg(account);
}

} // namespace

QString signalLine(int signal)
{
    return QStringLiteral("The client ended by signal %1").arg(signal);
}

QString failureReason(const QList<QByteArray> &clientOutput, const ProcessOutcome &outcome)
{
    if (outcome.succeeded())
        return QString();
    if (outcome.cancelled)
        return QStringLiteral("Cancelled while the client ran");
    if (!outcome.started)
        return QStringLiteral("The client could not be started: ") + outcome.error;
    // Whatever it printed before, a client killed from outside did not end by its own account.
    if (outcome.signal != 0)
        return signalLine(outcome.signal);

    for (const QByteArray &bytes : clientOutput) {
        if (isUnknownHostKey(QString::fromLocal8Bit(bytes)))
            return hostKeyAdvice(clientOutput);
    }

    // The server's own refusal says most ("530 Login incorrect."); then the client's first
    // complaint, which later lines only follow from ("Login failed." after a 530).
    QString complaint;
    for (const QByteArray &bytes : clientOutput) {
        const QString line = QString::fromLocal8Bit(bytes).trimmed();
        if (line.isEmpty() || isEcho(line))
            continue;
        if (isRefusingReply(line))
            return line;
        if (complaint.isEmpty() && soundsLikeAFailure(line))
            complaint = line;
    }
    if (!complaint.isEmpty())
        return complaint;
    return QStringLiteral("The client ended with status %1").arg(outcome.exitStatus);
}
