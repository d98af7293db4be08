#include "transfer/working_directory_hold.h"

#include "platform/paths.h"
#include "transfer/transfer_scripts.h"

namespace {

const QString kProcessErrorTitle = QStringLiteral("Process Error");
const QString kBusyDirectoryText =
    QStringLiteral("Another transmission is using this working directory - nothing was sent");
const QString kUnwritableText =
    QStringLiteral("The working directory cannot be written - nothing was sent");
// A shared directory such as /tmp is where another user's files get in the way; the way out is a
// directory of one's own.
const QString kOwnDirectoryAdvice =
    QStringLiteral(". Choose a working directory of your own (for example ~/Parcelwright)");
const QString kForeignFileText = QStringLiteral(
    "%1 in the working directory %2 belongs to another user or cannot be replaced - nothing was "
    "sent");
const QString kForeignLockText = QStringLiteral(
    "%1 in the working directory %2 belongs to another user or is not a plain file - nothing was "
    "sent");

const QString kSharedDirectoryText =
    QStringLiteral("The working directory %1 can be changed by other users - nothing was sent");

} // namespace

QString sharedWorkingDirectoryText(const QString &directory)
{
    return kSharedDirectoryText.arg(directory) + kOwnDirectoryAdvice;
}

WorkingDirectoryHold::WorkingDirectoryHold(const QString &directory) : m_directory(directory) {}

std::optional<Fault> WorkingDirectoryHold::take(const QStringList &fileNames,
                                                const QStringList &keptNames)
{
    const auto refusal = [](const QString &text, FaultSubject subject) {
        return Fault{kProcessErrorTitle, text, subject};
    };
    switch (m_lock.take(workingDirFile(m_directory, kLockFileName))) {
    case DirectoryLock::Result::Taken:
        break;
    case DirectoryLock::Result::Busy:
        return refusal(kBusyDirectoryText, FaultSubject::BusyDirectory);
    case DirectoryLock::Result::NotOwnFile:
        return refusal(kForeignLockText.arg(kLockFileName, m_directory) + kOwnDirectoryAdvice,
                       FaultSubject::Request);
    case DirectoryLock::Result::Unwritable:
        return refusal(kUnwritableText, FaultSubject::Request);
    }
    // In a shared directory such as /tmp another user may have left files of these names, or
    // planted links under them, or spelt them in another letter case.
    QString blocking;
    if ((!keptNames.isEmpty() && !shiftOwnFiles(m_directory, keptNames, &blocking)) ||
        !clearOwnFiles(m_directory, fileNames, &blocking)) {
        m_lock.release();
        return refusal(kForeignFileText.arg(blocking, m_directory) + kOwnDirectoryAdvice,
                       FaultSubject::Request);
    }
    return std::nullopt;
}
