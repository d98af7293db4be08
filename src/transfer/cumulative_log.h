#pragma once

#include "interfaces/run_results.h"
#include "interfaces/transfer_request.h"
#include "platform/own_files.h"
#include "platform/process_runner.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

/// The name an earlier cumulative log is kept under: FTPLogALL.1.TXT for the one before the
/// latest, and so on.
QString keptLogName(int generation);

/// The log of the destination a run serves as its `number`-th: FTPLog0001.TXT, ...
QString destinationLogName(int number);

/// What the cumulative log holds for one destination, as a viewer shows it.
struct LogBlock
{
    QString text;
    QString notice; // empty when the block is shown as the run left it
};

/// FTPLogALL.TXT of one run: created new as the user's own file, then one block per destination,
/// each appended whole and on disk before the next, or not at all - a block cut short by a full
/// disk would sit there beside the destination's own log that the user is pointed to.
class CumulativeLog final
{
public:
    /// Creates the log in `directory`; false, with why, when it cannot be made.
    bool open(const QString &directory, QString *error);
    /// Appends a block's lines, each ended by CR LF; where the block starts, or -1 when the log
    /// could not take it whole (then nothing of it stays).
    qint64 append(const QList<QByteArray> &lines);
    /// The log's size now.
    qint64 size() const { return m_file.size(); }
    void close() { m_file.close(); }

    /// The first line of a destination's block: "Output from: HOST REMOTE-DIRECTORY".
    static QByteArray headerLine(const Destination &destination);
    /// What a client's run adds to its block: its output, then why it ended early when it did
    /// (it could not start, it made no progress, a signal ended it, or it was cancelled).
    static QList<QByteArray> clientLines(const QList<QByteArray> &output,
                                         const ProcessOutcome &outcome);
    /// The lines that close every block.
    static QList<QByteArray> endLines();

    /// Reads `result`'s block of FTPLogALL.TXT in `directory` (8-bit text in the locale's
    /// encoding), saying so when the log is gone or no longer stands as it did at the run's end
    /// (`atEnd`). `password`, wherever it stands, is masked.
    static LogBlock readBlock(const QString &directory, const FileStamp &atEnd,
                              const DestinationResult &result, const QString &password);

private:
    QFile m_file;
};
