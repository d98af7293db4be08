#include "transfer/working_directory_hold.h"

#include "platform/own_files.h"
#include "platform/paths.h"
#include "transfer/transfer_scripts.h"

namespace {

const QString kProcessErrorTitle = QStringLiteral("Process Error");
const QString kBusyDirectoryText =
    QStringLiteral("Another transmission is using this working directory - nothing was sent");
const QString kUnwritableText =
    QStringLiteral("The working directory cannot be written - nothing was sent");
const QString kForeignFileText = QStringLiteral(
    "%1 in the working directory belongs to another user or cannot be replaced - nothing was sent");

} // namespace

WorkingDirectoryHold::WorkingDirectoryHold(const QString &directory)
    : m_directory(directory), m_lock(workingDirFile(directory, kLockFileName))
{
    // A long run stays locked; only an owner that is gone frees the lock.
    m_lock.setStaleLockTime(0);
}

bool WorkingDirectoryHold::take(const QStringList &fileNames, QString *text, QString *title)
{
    *title = kProcessErrorTitle;
    if (!m_lock.tryLock(0)) {
        // Only a lock that another run holds means another run.
        *text = m_lock.error() == QLockFile::LockFailedError ? kBusyDirectoryText : kUnwritableText;
        return false;
    }
    // In a shared directory such as /tmp another user may have left files of these names, or
    // planted links under them.
    for (const QString &name : fileNames) {
        if (!clearOwnFile(workingDirFile(m_directory, name))) {
            *text = kForeignFileText.arg(name);
            m_lock.unlock();
            return false;
        }
    }
    return true;
}
