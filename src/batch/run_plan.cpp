#include "batch/run_plan.h"

#include "transfer/password_mask.h"
#include "transfer/transfer_scripts.h"

namespace {

void addFile(QStringList *plan, const QString &name, const QList<QByteArray> &lines)
{
    plan->append(QStringLiteral("  ") + name + QLatin1Char(':'));
    for (const QByteArray &line : lines)
        plan->append(QStringLiteral("    ") + QString::fromLocal8Bit(line));
}

} // namespace

QStringList runPlan(const TransferRequest &request)
{
    QStringList plan;
    plan.append(QStringLiteral("Working directory: ") + request.workingDirectory);
    plan.append(QStringLiteral("Files (%1):").arg(request.files.size()));
    for (const QString &path : request.files)
        plan.append(QStringLiteral("  ") + path);
    plan.append(QStringLiteral("Destinations (%1), %2 at a time:")
                    .arg(request.destinations.size())
                    .arg(request.simultaneous));
    for (qsizetype i = 0; i < request.destinations.size(); ++i) {
        // The files the run would write, with the mask in the password's place.
        Destination destination = request.destinations[i];
        destination.password = kPasswordMask;
        const JobFileNames names = JobFileNames::forDestination(i, request.simultaneous);
        const JobFiles files = jobFiles(destination, request.files, names, request.settings);
        plan.append(QStringLiteral("Row %1: %2 %3")
                        .arg(destination.row)
                        .arg(destination.host, destination.secure ? u"(SFTP)" : u"(FTP)"));
        addFile(&plan, names.launcher, files.launcher);
        if (files.secure)
            addFile(&plan, names.password, files.password);
        if (!files.directories.isEmpty())
            addFile(&plan, names.directories, files.directories);
        addFile(&plan, names.script, files.script);
    }
    return plan;
}
