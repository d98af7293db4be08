#include "support/engine_run.h"

#include <QDir>
#include <QFile>
#include <QTimer>

void EngineRun::processRequest(const std::function<void()> &whileRunning)
{
    QTimer poll;
    if (whileRunning) {
        QObject::connect(&poll, &QTimer::timeout, whileRunning);
        poll.start(5);
    }
    engine.processRequest(window);
}

RemoteDirectory::RemoteDirectory(const TestbedAccount &account)
    : m_dir(account.home + QStringLiteral("/pw-remote-XXXXXX"))
{
    if (m_dir.isValid())
        QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777));
}

QStringList RemoteDirectory::fileNames() const
{
    return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
