#include "support/session_run.h"

#include <QFile>
#include <QTimer>

void SessionRun::processRequest(const std::function<void()> &whileRunning)
{
    QTimer poll;
    if (whileRunning) {
        QObject::connect(&poll, &QTimer::timeout, whileRunning);
        poll.start(5);
    }
    if (window.processRequest(session))
        waitForRunEnd(session);
}

RemoteDirectory::RemoteDirectory(const TestbedAccount &account)
    : m_dir(account.home + QStringLiteral("/pw-remote-XXXXXX"))
{
    if (m_dir.isValid())
        QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777));
}
