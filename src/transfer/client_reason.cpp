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
