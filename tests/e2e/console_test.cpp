#include "connection_test/connection_test.h"
#include "platform/console.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// "Test the Connection" from the real window opens a real console: a terminal (played by tmux in a
/// pseudo-terminal) running parcelwright-cmd /K, whose client talks to the test bed's servers and
/// then reads what the user types.
class ConsoleTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void testOpensWorkingConsole_data();
    void testOpensWorkingConsole();
};

void ConsoleTest::testOpensWorkingConsole_data()
{
    QTest::addColumn<Client>("client");
    QTest::newRow("ftp: help, then a typed ls") << Client::Ftp;
    QTest::newRow("psftp: a new host key accepted, then help") << Client::Psftp;
}

void ConsoleTest::testOpensWorkingConsole()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(u"bin"_s) && QDir(work.path()).mkpath(u"putty/sessions"_s));
    const QString socket = work.filePath(u"tmux.socket"_s);
    const auto tmux = [&socket](const QStringList &arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(u"tmux"_s, QStringList{u"-S"_s, socket} + arguments);
        process.waitForFinished(10000);
        return QString::fromLocal8Bit(process.readAll());
    };
    const auto stopTmux = qScopeGuard([&tmux] { tmux({u"kill-server"_s}); });
    // The terminal emulator: it gets "-e PROGRAM ARGS..." and opens them in a tmux session.
    QVERIFY(writeBytes(work.filePath(u"bin/terminal"_s),
                       "#!/bin/sh\n[ \"$1\" = -e ] && shift\nexec tmux -S \"" +
                           QFile::encodeName(socket) +
                           "\" new-session -d -s console -x 160 -y 60 -- \"$@\"\n",
                       0755));
    qputenv("TERMINAL", QFile::encodeName(work.filePath(u"bin/terminal"_s)));
    qputenv("SHELL", "/bin/sh"); // where /K hands over once the client has ended
    // A settings tree that has never seen the test server's host key, as on a new machine.
    QByteArray session = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
    session = session.left(session.indexOf("SSHManualHostKeys"));
    QVERIFY(writeBytes(work.filePath(u"putty/sessions/"_s + tb.sshSession), session));
    qputenv("PUTTYDIR", QFile::encodeName(work.filePath(u"putty"_s)));
    const auto restorePutty =
        qScopeGuard([&tb] { qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit()); });
    // A file only a listing of the account's home can show.
    QTemporaryFile marker(tb.plain.home + u"/pw-console-XXXXXX"_s);
    QVERIFY(marker.open());
    const QString markerName = QFileInfo(marker.fileName()).fileName();

    FakeLauncher launcher;
    TransferEngine engine(launcher);
    const ProfileStore profiles(work.path());
    TerminalConsoleStarter consoles(builtProgram(u"parcelwright-cmd"_s));
    ConnectionTest connectionTest(consoles);
    FTP_Information window(engine, connectionTest, profiles);
    QStringList messages;
    window.setMessageSink([&messages](const QString &text, const QString &) { messages << text; });
    window.frmWorkingDirectory->setText(work.path());
    const QStringList row{client == Client::Ftp ? u"N"_s : u"Y"_s,
                          client == Client::Ftp ? tb.ftpHost : tb.sshSession,
                          {},
                          tb.plain.user,
                          tb.plain.password};
    for (int column = 0; column < row.size(); ++column)
        window.frmFTPTo->setText(1, column, row[column]);
    window.frmFTPTo->setCurrentCell(1, 1);

    QTest::mouseClick(window.cmdTest, Qt::LeftButton);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'\n')));
    const auto screen = [&tmux] {
        return tmux(
            {u"capture-pane"_s, u"-p"_s, u"-J"_s, u"-S"_s, u"-300"_s, u"-t"_s, u"console"_s});
    };
    if (client == Client::Psftp) {
        QTRY_VERIFY2_WITH_TIMEOUT(screen().contains(u"Store key in cache?"_s), qPrintable(screen()),
                                  30000);
        tmux({u"send-keys"_s, u"-t"_s, u"console"_s, u"y"_s, u"Enter"_s});
        QTRY_VERIFY2_WITH_TIMEOUT(screen().contains(u"print your remote working directory"_s),
                                  qPrintable(screen()), 30000);
    } else {
        QTRY_VERIFY2_WITH_TIMEOUT(screen().contains(u"Commands may be abbreviated"_s) &&
                                      screen().trimmed().endsWith(u"ftp>"_s),
                                  qPrintable(screen()), 30000);
        tmux({u"send-keys"_s, u"-t"_s, u"console"_s, u"ls"_s, u"Enter"_s});
        QTRY_VERIFY2_WITH_TIMEOUT(screen().contains(markerName), qPrintable(screen()), 30000);
        tmux({u"send-keys"_s, u"-t"_s, u"console"_s, u"quit"_s, u"Enter"_s});
    }
    // The password is nowhere on the screen, and once the client has ended, nowhere on disk.
    QVERIFY(!screen().contains(tb.plain.password));
    const auto passwordFiles = [&work, &tb] {
        QStringList files;
        for (const QString &name : fileNamesIn(work.path()))
            if (readBytes(work.filePath(name)).contains(tb.plain.password.toLocal8Bit()))
                files << name;
        return files;
    };
    QTRY_COMPARE_WITH_TIMEOUT(passwordFiles(), QStringList(), 30000);
    QCOMPARE(window.frmMessage->text(), u"Testing: "_s + row[1]);
}

QTEST_MAIN(ConsoleTest)
#include "console_test.moc"
