#include "transfer/client_reason.h"

#include "tools/common/ftp_messages.h"
#include "tools/common/terminal_text.h"
#include "tools/common/words.h"

#include <QRegularExpression>
#include <QStringList>

#include <string>
#include <vector>

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
    for (const char *start : {kFtpTimeOutStart, kFtpTlsMissingStart, kFtpCertificateStart}) {
        if (line.startsWith(QLatin1String(start)))
            return true;
    }
    return failure.match(line).hasMatch();
}

// The interpreter's echo of a command line: "DIRECTORY>COMMAND".
bool isEcho(const QString &line)
{
    return line.startsWith(QLatin1Char('/')) && line.contains(QLatin1Char('>'));
}

QStringList wordsOf(const QString &text)
{
    QStringList words;
    for (const std::string &word : splitWords(text.toLocal8Bit().toStdString()))
        words.append(QString::fromLocal8Bit(word.data(), qsizetype(word.size())));
    return words;
}

// The words of psftp's launcher line as the interpreter echoed it ("DIR>psftp ... -b ..."),
// starting with "psftp"; empty when the output holds none.
QStringList psftpLauncherWords(const QList<QByteArray> &clientOutput)
{
    for (const QByteArray &bytes : clientOutput) {
        const QString line = QString::fromLocal8Bit(bytes).trimmed();
        const qsizetype start = line.indexOf(QLatin1String(">psftp "));
        if (isEcho(line) && start >= 0 && line.indexOf(QLatin1String(" -b "), start) > start)
            return wordsOf(line.mid(start + 1));
    }
    return {};
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

// psftp given host keys (-hostkey) met a server with none of them. The keys come from the
// launcher line; the server's own, when psftp was verbose, from its "Host key fingerprint is:".
QString hostKeyMismatch(const QList<QByteArray> &clientOutput)
{
    const QStringList words = psftpLauncherWords(clientOutput);
    QStringList keys;
    QString host = QStringLiteral("the host");
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        if (words[i] == QLatin1String("-hostkey"))
            keys.append(words[i + 1]);
        else if (words[i + 1] == QLatin1String("-b"))
            host = words[i].mid(words[i].lastIndexOf(QLatin1Char('@')) + 1);
    }
    QString reason = QStringLiteral("The server's host key is not among those given for ") + host;
    if (!keys.isEmpty())
        reason += QStringLiteral(" (") + keys.join(QStringLiteral(", ")) + QLatin1Char(')');
    for (qsizetype i = 0; i + 1 < clientOutput.size(); ++i) {
        if (clientOutput[i].trimmed() == "Host key fingerprint is:")
            reason += QStringLiteral(" - it offered ") +
                      QString::fromLocal8Bit(visibleLogLine(clientOutput[i + 1].trimmed()));
    }
    return reason;
}

// What parcelwright-ftp echoes before it runs a command ("ftp> cd in"): the command word in
// lower case and its first argument, double quotes read as they were written.
bool readFtpEcho(const QString &line, QString *verb, QString *argument)
{
    if (!line.startsWith(QLatin1String("ftp> ")))
        return false;
    const QStringList words = wordsOf(line.mid(5));
    *verb = words.value(0).toLower();
    *argument = words.value(1);
    return true;
}

// The server's own refusal says most ("530 Login incorrect."), naming the directory of a cd it
// refused; then the client's first complaint, which later lines only follow from ("Login failed."
// after a 530). What answers a mkdir is no failure: the directory may be there already.
QString reasonFromOutput(const QList<QByteArray> &clientOutput)
{
    QString complaint;
    QString verb;
    QString argument;
    for (const QByteArray &bytes : clientOutput) {
        const QString line = QString::fromLocal8Bit(visibleLogLine(bytes)).trimmed();
        if (line.isEmpty() || isEcho(line) || readFtpEcho(line, &verb, &argument))
            continue;
        if (verb == QLatin1String("mkdir") || line.startsWith(QLatin1String("mkdir ")))
            continue;
        if (isRefusingReply(line))
            return verb == QLatin1String("cd") ? line + QStringLiteral(": ") + argument : line;
        if (complaint.isEmpty() && soundsLikeAFailure(line))
            complaint = line;
    }
    return complaint;
}

} // namespace

QString signalLine(int signal)
{
    return QStringLiteral("The client ended by signal %1").arg(signal);
}

QString noProgressReason(int seconds)
{
    return QStringLiteral("No progress for %1 s - stopped").arg(seconds);
}

QString failureReason(const QList<QByteArray> &clientOutput, const ProcessOutcome &outcome)
{
    if (outcome.succeeded())
        return QString();
    if (outcome.cancelled)
        return QStringLiteral("Cancelled while the client ran");
    if (!outcome.started)
        return QStringLiteral("The client could not be started: ") + outcome.error;
    if (outcome.idleSeconds > 0)
        return noProgressReason(outcome.idleSeconds);
    // Whatever it printed before, a client killed from outside did not end by its own account.
    if (outcome.signal != 0)
        return signalLine(outcome.signal);

    for (const QByteArray &bytes : clientOutput) {
        const QString line = QString::fromLocal8Bit(bytes);
        if (isUnknownHostKey(line))
            return hostKeyAdvice(clientOutput);
        if (line.contains(QLatin1String("Host key not in manually configured list")))
            return hostKeyMismatch(clientOutput);
    }
    const QString reason = reasonFromOutput(clientOutput);
    if (!reason.isEmpty())
        return reason;
    return QStringLiteral("The client ended with status %1").arg(outcome.exitStatus);
}

bool isPassingFailure(const QString &reason)
{
    // Connection faults in both clients' words (psftp's "FATAL ERROR: Network error: ...",
    // libcurl's through parcelwright-ftp), time-outs, and the transient replies.
    static const QRegularExpression passing(
        QStringLiteral(
            "^(4[0-9][0-9][ -]|ftp: connect: |No progress for |FATAL ERROR: Network "
            "error)|closed network connection|connection (refused|reset|timed out|"
            "died)|(recv|send) failure|response reading failed|when receiving data|server returned "
            "nothing"),
        QRegularExpression::CaseInsensitiveOption);
    return reason.startsWith(QLatin1String(kFtpTimeOutStart)) || passing.match(reason).hasMatch();
}

bool usedTls(const QList<QByteArray> &clientOutput)
{
    return clientOutput.contains(QByteArray(kFtpTlsInUseLine));
}

QByteArray visibleLogLine(const QByteArray &line)
{
    const std::string shown = visibleLine(std::string_view(line.constData(), line.size()));
    return QByteArray(shown.data(), qsizetype(shown.size()));
}
