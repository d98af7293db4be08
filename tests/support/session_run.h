#pragma once

#include "platform/launcher.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/testbed.h"
#include "transfer/run_session.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>

/// A request through a real run session, command interpreter and clients, keyed into an
/// in-memory window.
struct SessionRun
{
    SessionRun() { window.follow(session); }

    FakeWindow window;
    CommandInterpreterLauncher launcher{builtProgram(QStringLiteral("parcelwright-cmd"))};
    RunSession session{launcher};

    /// Presses Process Request and waits for the run's end; `whileRunning`, when given, is
    /// called every few milliseconds meanwhile.
    void processRequest(const std::function<void()> &whileRunning = nullptr);
};

/// A directory in a test account's home that the account may write into, made by root and
/// removed with its content.
class RemoteDirectory final
{
public:
    explicit RemoteDirectory(const TestbedAccount &account);

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QStringList fileNames() const { return fileNamesIn(m_dir.path()); } // those that arrived

private:
    QTemporaryDir m_dir;
};

/// A limit on the size of any file this process writes, while it lives: writes past it fail as on
/// a full file system, even for root.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limit{bytes, m_saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved;
    void (*m_handler)(int);
};
