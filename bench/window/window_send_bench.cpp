// A large request sent from the real window to the test bed's servers, several destinations at
// once: every file must arrive, the log must hold one block per row in row order, and the failed
// rows must be named with their reasons. Prints the time it took, how late the window answered a
// timer probe meanwhile, and the program's peak memory.

#include "connection_test/connection_test.h"
#include "platform/launcher.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/testbed.h"
#include "transfer/run_session.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "window_send_bench: %s\n", qPrintable(why));
    std::exit(1);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Makes the test bed's servers stand for distant ones while it lives: vsftpd and sshd give each
/// connection a session of its own, and the kernel's autogroups share the processor between
/// sessions, so on one machine 64 log-ins would each take as large a share as the whole program.
/// A thread of its own (not the window's) gives each new server session the lowest share.
class DistantServers final
{
public:
    DistantServers()
    {
        // The listeners' sessions keep their share: they must accept the connections at once.
        const QString testbed = qEnvironmentVariable("PARCELWRIGHT_TESTBED");
        QByteArrayList listeners;
        for (const QString &file : {u"/vsftpd.pid"_s, u"/sshd.pid"_s})
            listeners << groupOf(QString::fromLatin1(contentOf(testbed + file).trimmed()));
        m_thread = std::thread([this, listeners] {
            while (!m_stop) {
                for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
                    const QByteArray name = contentOf(u"/proc/%1/comm"_s.arg(pid)).trimmed();
                    QFile group(u"/proc/%1/autogroup"_s.arg(pid));
                    if ((name == "vsftpd" || name == "sshd") && !listeners.contains(groupOf(pid)) &&
                        group.open(QIODevice::WriteOnly))
                        group.write("19");
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~DistantServers()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    /// The name of a process's autogroup ("/autogroup-42").
    static QByteArray groupOf(const QString &pid)
    {
        return contentOf(u"/proc/%1/autogroup"_s.arg(pid)).split(' ').value(0);
    }

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/// A timer that should fire every `kProbeMs`: how late each tick came, as the user would feel
/// the window answer a click.
class Probe final
{
public:
    static constexpr int kProbeMs = 10;
    Probe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_lateMs.append(std::max<qint64>(m_clock.restart() - kProbeMs, 0));
        });
        m_clock.start();
        m_timer.start(kProbeMs);
    }
    /// The lateness below which the given share of the ticks came, in ms.
    qint64 percentile(double share)
    {
        std::sort(m_lateMs.begin(), m_lateMs.end());
        return m_lateMs.isEmpty() ? 0 : m_lateMs[qsizetype(share * double(m_lateMs.size() - 1))];
    }
    qsizetype ticks() const { return m_lateMs.size(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<qint64> m_lateMs;
};

} // namespace

int main(int argc, char *argv[])
{
    // The window reads and writes the user's settings: a benchmark keeps its own.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 300;
    const int simultaneous = argc > 2 ? std::atoi(argv[2]) : 32;
    const bool distant = argc > 3 && qstrcmp(argv[3], "distant") == 0;
    if (rows < 4 || rows > 4999 || simultaneous < 1 || simultaneous > 64)
        fail(u"usage: window_send_bench [ROWS 4-4999] [AT ONCE 1-64] [distant]"_s);
    QString why;
    const std::optional<Testbed> tb = Testbed::load(&why);
    if (!tb)
        fail(why);
    std::optional<DistantServers> servers;
    if (distant)
        servers.emplace();

    QTemporaryDir work;
    const QString runDir = work.filePath(u"run"_s);
    QDir().mkpath(runDir);
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files.append(work.filePath(u"file %1.txt"_s.arg(i)));
        QFile out(files.last());
        if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray(16 * 1024, char('a' + i))) < 0)
            fail(u"cannot write "_s + files.last());
    }
    QTemporaryDir plainRemote(tb->plain.home + u"/pw-bench-XXXXXX"_s);
    QTemporaryDir secureRemote(tb->quoted.home + u"/pw-bench-XXXXXX"_s);
    for (const QTemporaryDir *dir : {&plainRemote, &secureRemote})
        QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7777));

    // Two rows are meant to fail: a wrong password, then a server that is not there. Two are
    // Secure Shell rows; every other row sends into a directory of its own.
    const int wrongPasswordRow = rows / 3;
    const int deadServerRow = 2 * rows / 3;
    const QSet<int> secureRows = {2, rows};
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    RunSession session(launcher);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    const ProfileStore store(work.path());
    ProfileCommands profiles(store);
    FTP_Information window(session, connectionTest, profiles);
    window.setSimultaneousTransfers(simultaneous);
    QStringList messages;
    window.setMessageSink([&](const QString &text, const QString &) { messages << text; });
    window.frmWorkingDirectory->setText(runDir);
    for (int i = 0; i < files.size(); ++i)
        window.frmFileList->setText(i + 1, 0, files[i]);
    QStringList expectedHeaders;
    for (int row = 1; row <= rows; ++row) {
        const bool secure = secureRows.contains(row);
        const QString host = row == deadServerRow ? u"127.0.0.1:1"_s
                             : secure             ? tb->sshSession
                                                  : tb->ftpHost;
        const TestbedAccount &account = secure ? tb->quoted : tb->plain;
        const QString remote = (secure ? secureRemote : plainRemote).filePath(u"d%1"_s.arg(row));
        QDir().mkpath(remote);
        QFile::setPermissions(remote, QFileDevice::Permissions(0x7777));
        const QStringList cells = {secure ? u"Y"_s : u"N"_s, host, remote, account.user,
                                   row == wrongPasswordRow ? u"wrong"_s : account.password};
        for (int column = 0; column < 5; ++column)
            window.frmFTPTo->setText(row, column, cells[column]);
        expectedHeaders.append(u"Output from: "_s + host + u' ' + remote + u"\r\n"_s);
    }
    window.show();

    QElapsedTimer clock;
    clock.start();
    std::optional<Probe> probe;
    probe.emplace();
    window.cmdProcess_Click();
    waitForRunEnd(session);
    const qint64 ms = clock.elapsed();
    const qint64 p50 = probe->percentile(0.5), p99 = probe->percentile(0.99);
    const qint64 worst = probe->percentile(1.0);
    const qsizetype ticks = probe->ticks();
    probe.reset();

    if (!messages.isEmpty())
        fail(u"the window said: "_s + messages.join(u"; "_s));
    const QByteArray log = contentOf(runDir + u"/FTPLogALL.TXT"_s);
    qsizetype at = 0;
    for (const QString &header : expectedHeaders) {
        const qsizetype found = log.indexOf(header.toLocal8Bit(), at);
        if (found < 0)
            fail(u"the log has no block, or one out of row order, for: "_s + header.trimmed());
        at = found + 1;
    }
    if (log.count("Output from: ") != rows)
        fail(u"the log holds %1 blocks for %2 rows"_s.arg(log.count("Output from: ")).arg(rows));
    int arrived = 0;
    for (int row = 1; row <= rows; ++row) {
        if (row == wrongPasswordRow || row == deadServerRow)
            continue;
        const QTemporaryDir &remote = secureRows.contains(row) ? secureRemote : plainRemote;
        for (const QString &file : files) {
            const QString name = QFileInfo(file).fileName();
            if (contentOf(remote.filePath(u"d%1/%2"_s.arg(row).arg(name))) != contentOf(file))
                fail(u"row %1: %2 did not arrive whole (%3)"_s.arg(row).arg(
                    name, session.lastResults().value(row - 1).reason));
            ++arrived;
        }
    }
    QStringList failed;
    for (const DestinationResult &result : session.lastResults()) {
        if (result.outcome != Outcome::Sent)
            failed.append(u"row %1 %2: %3"_s.arg(result.row).arg(result.host, result.reason));
    }
    if (failed.size() != 2)
        fail(u"expected two failed rows, got: "_s + failed.join(u"; "_s));
    std::printf("%d destinations, %d at once, from the window: %lld ms; %d files arrived whole, "
                "%d blocks in row order\n",
                rows, simultaneous, static_cast<long long>(ms), arrived, rows);
    std::printf("timer probe every %d ms, %lld ticks: late by %lld ms at the median, %lld ms at "
                "the 99th percentile (goal <= 50), %lld ms at worst\n",
                Probe::kProbeMs, static_cast<long long>(ticks), static_cast<long long>(p50),
                static_cast<long long>(p99), static_cast<long long>(worst));
    // The window's thread alone: the one that stands in for distant servers is the benchmark's.
    rusage usage;
    ::getrusage(RUSAGE_THREAD, &usage);
    std::printf("peak memory %.1f MB (goal < 100); the window's processor time %.1f s\n",
                double(usage.ru_maxrss) / 1024.0,
                double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    std::printf("status line: %s\n", qPrintable(window.frmMessage->text()));
    for (const QString &line : failed)
        std::printf("failed %s\n", qPrintable(line));
    return 0;
}
