#include "batch/run_plan.h"

#include "transfer/transfer_scripts.h"

namespace {

const QString kHidden = QStringLiteral("********");

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
        const Destination &destination = request.destinations[i];
        // The names the run gives them: shared one at a time, numbered when several run at once.
        const JobFileNames names =
            request.simultaneous > 1 ? JobFileNames::numbered(int(i + 1)) : JobFileNames();
        const QString secureFlag = destination.secure ? QStringLiteral("Y") : QStringLiteral("N");
        plan.append(QStringLiteral("Row %1: %2 %3")
                        .arg(destination.row)
                        .arg(destination.host, destination.secure ? u"(SFTP)" : u"(FTP)"));
        addFile(&plan, names.launcher,
                launcherLines(secureFlag, destination.host, destination.userId, names));
        if (destination.secure)
            addFile(&plan, names.password, passwordFileLines(kHidden));
        // A plain script holds the password as its second line; the mask takes its place.
        addFile(&plan, names.script,
                transferScriptLines(secureFlag, destination.remoteDirectory,
                                    destination.secure ? QString() : destination.userId,
                                    destination.secure ? QString() : kHidden, destination.host,
                                    request.files));
    }
    return plan;
}
