#include "batch/report_writer.h"

#include "platform/own_files.h"
#include "transfer/run_report.h"

#include <QSaveFile>

#include <cstdio>

ReportWriter::ReportWriter(QString path, const TransferRequest &request, QString version)
    : m_path(std::move(path)), m_fileCount(int(request.files.size())),
      m_workingDirectory(request.workingDirectory), m_version(std::move(version))
{
    for (const Destination &destination : request.destinations)
        m_destinations.insert(destination.row, destination);
}

bool ReportWriter::open(QString *error)
{
    if (toStandardOutput())
        return true;
    const QString partial = partialPath(m_path);
    // An old partial file of the user's own is a killed run's; anyone else's is not ours to
    // write into.
    QString why = QStringLiteral("another user's file is there");
    const int descriptor = clearOwnFile(partial) ? createOwnFile(partial, &why) : -1;
    if (descriptor < 0) {
        *error = QStringLiteral("%1 cannot be made: %2").arg(partial, why);
        return false;
    }
    // Unbuffered: each line is on disk as soon as its destination is done.
    return m_partial.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                          QFileDevice::AutoCloseHandle);
}

void ReportWriter::discard()
{
    if (m_partial.isOpen()) {
        m_partial.close();
        QFile::remove(partialPath(m_path));
    }
}

void ReportWriter::add(const QByteArray &line)
{
    m_text += line;
    if (toStandardOutput()) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    } else {
        m_partial.write(line);
    }
}

void ReportWriter::destinationFinished(const DestinationResult &result)
{
    add(RunReport::destinationLine(result, m_destinations.value(result.row), m_fileCount));
    m_written.insert(result.row);
}

void ReportWriter::runFinished(const RunEnd &end)
{
    m_results = end.results;
    for (const DestinationResult &result : end.results) {
        if (!m_written.contains(result.row))
            destinationFinished(result);
    }
}

bool ReportWriter::finish(qint64 totalMs, QString *error)
{
    add(RunReport::summaryLine(m_results, totalMs, m_workingDirectory, m_version));
    if (toStandardOutput())
        return true;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(m_text) != m_text.size() || !file.commit()) {
        *error = QStringLiteral("%1 cannot be written: %2 - the report is in %3")
                     .arg(m_path, file.errorString(), partialPath(m_path));
        return false;
    }
    discard();
    return true;
}
