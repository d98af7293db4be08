#include "transfer/cumulative_log.h"

#include "platform/paths.h"
#include "transfer/client_reason.h"
#include "transfer/password_mask.h"
#include "transfer/transfer_scripts.h"

namespace {

// A cancelled client's own record stops short (psftp loses what it had buffered), and the status
// line that names the cancel is gone by the next request: the log keeps why.
const QByteArray kCancelledLine =
    QByteArrayLiteral("The transmission to this destination was cancelled before it ended");
const QByteArray kEndOfTransmission =
    QByteArrayLiteral("*********** End of Transmission ***************");

} // namespace

QString keptLogName(int generation)
{
    return QStringLiteral("FTPLogALL.%1.TXT").arg(generation);
}

QString destinationLogName(int number)
{
    return QStringLiteral("FTPLog%1.TXT").arg(number, 4, 10, QLatin1Char('0'));
}

bool CumulativeLog::open(const QString &directory, QString *error)
{
    const int descriptor = createOwnFile(workingDirFile(directory, kCumulativeLogName), error);
    // Unbuffered, so that nothing of a failed block lingers to be written at its close.
    return descriptor >= 0 && m_file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                          QFileDevice::AutoCloseHandle);
}

qint64 CumulativeLog::append(const QList<QByteArray> &lines)
{
    QByteArray block;
    for (const QByteArray &line : lines) {
        block += line;
        block += "\r\n";
    }
    const qint64 before = m_file.size();
    if (m_file.write(block) == block.size())
        return before;
    m_file.resize(before);
    return -1;
}

QByteArray CumulativeLog::headerLine(const Destination &destination)
{
    return (QStringLiteral("Output from: ") + destination.host + QLatin1Char(' ') +
            destination.remoteDirectory)
        .toLocal8Bit();
}

QList<QByteArray> CumulativeLog::clientLines(const QList<QByteArray> &output,
                                             const ProcessOutcome &outcome)
{
    // A client's output may carry escape sequences (psftp passes a server's error text on as it
    // came): shown visibly, they cannot act on the terminal or viewer that shows the log later.
    QList<QByteArray> lines;
    lines.reserve(output.size() + 1);
    for (const QByteArray &line : output)
        lines.append(visibleLogLine(line));
    // A client that never ran, or was killed, still gives the destination lines that say so,
    // so that the run's record is complete.
    if (!outcome.started && !outcome.cancelled && !outcome.error.isEmpty())
        lines.append(
            (QStringLiteral("The client could not be started: ") + outcome.error).toLocal8Bit());
    if (outcome.idleSeconds > 0)
        lines.append(noProgressReason(outcome.idleSeconds).toLocal8Bit());
    else if (outcome.signal != 0 && !outcome.cancelled)
        lines.append(signalLine(outcome.signal).toLocal8Bit());
    if (outcome.cancelled)
        lines.append(kCancelledLine);
    return lines;
}

QList<QByteArray> CumulativeLog::endLines()
{
    return {QByteArray(), kEndOfTransmission, QByteArray()};
}

LogBlock CumulativeLog::readBlock(const QString &directory, const FileStamp &atEnd,
                                  const DestinationResult &result, const QString &password)
{
    if (result.logOffset < 0)
        return {{},
                kCumulativeLogName + QStringLiteral(" holds nothing of this destination: ") +
                    result.reason};
    QByteArray bytes;
    FileStamp now;
    if (!readOwnFile(workingDirFile(directory, kCumulativeLogName), result.logOffset,
                     result.logLength, &bytes, &now))
        return {{}, kCumulativeLogName + QStringLiteral(" is gone since the run")};
    LogBlock block{QString::fromLocal8Bit(withPasswordMasked(bytes, password)), {}};
    if (now != atEnd)
        block.notice =
            kCumulativeLogName + QStringLiteral(" has changed since the run: this may not be the "
                                                "destination's own block");
    return block;
}
