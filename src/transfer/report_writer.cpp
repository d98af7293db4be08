#include "transfer/report_writer.h"

#include "platform/own_files.h"
#include "platform/saved_file.h"
#include "transfer/run_report.h"

#include <cstdio>

ReportWriter::ReportWriter(QString path, const TransferRequest &request)
    : m_path(std::move(path)), m_files(request.files), m_workingDirectory(request.workingDirectory)
{
    for (Destination destination : request.destinations) {
        destination.password.clear();
        m_destinations.insert(destination.row, destination);
    }
}

bool ReportWriter::save(const QString &path, const TransferRequest &request, const RunEnd &end,
                        QString *error)
{
    ReportWriter writer(path, request);
    return writer.finish(end, error);
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

void ReportWriter::write(const QByteArray &line)
{
    m_text += line;
    if (toStandardOutput()) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    } else if (m_partial.isOpen()) {
        m_partial.write(line);
    }
}

void ReportWriter::add(const DestinationResult &result)
{
    write(
        RunReport::destinationLine(result, m_destinations.value(result.row), int(m_files.size())));
    m_written.insert(result.row);
}

bool ReportWriter::finish(const RunEnd &end, QString *error)
{
    for (const DestinationResult &result : end.results) {
        if (!m_written.contains(result.row))
            add(result);
    }
    write(RunReport::summaryLine(end, m_files, m_workingDirectory));
    if (toStandardOutput())
        return true;
    // Written whole or not at all, so that an earlier report of that name is never half replaced;
    // never through a link, nor over another user's file, which a shared directory may hold.
    if (!saveOwnFile(m_path, m_text, FileAccess::OwnerOnly, error))
        return false;
    discard();
    return true;
}
