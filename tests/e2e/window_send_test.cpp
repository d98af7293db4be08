#include "connection_test/connection_test.h"
#include "platform/launcher.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"
#include "ui/results_window.h"
#include "ui/user_settings.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <iostream>
#include <pwd.h>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const char kSendSwitch[] = "--send-with-the-defaults";

// Runs in a second process, as the user it was started as: the window built as the program
// builds it, in the current directory, with the working directory it starts with. Reads the file
// to send and the host, remote directory, user id and password of one plain FTP destination from
// standard input, one a line, sends, and prints every message and then the status line.
int sendWithTheDefaults()
{
    QStringList values;
    for (std::string line; values.size() < 5 && std::getline(std::cin, line);)
        values << QString::fromStdString(line);
    UserSettings::makeDefaultWorkingDirectory();
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    TransferEngine engine(launcher);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    const ProfileStore profiles(QDir::currentPath());
    FTP_Information window(engine, connectionTest, profiles);
    window.setMessageSink(
        [](const QString &text, const QString &) { std::cout << qPrintable(text) << std::endl; });
    window.frmFileList->setText(1, 0, values.value(0));
    window.frmFTPTo->setText(1, 0, u"N"_s);
    for (int column = 1; column < 5; ++column)
        window.frmFTPTo->setText(1, column, values.value(column));
    window.cmdProcess_Click();
    std::cout << qPrintable(window.frmMessage->text()) << std::endl;
    return 0;
}

} // namespace

/// Requests sent from the real window to the test bed's servers: a user's whole request, keyed,
/// sent one destination at a time and several at once; two users of one machine with the
/// program's defaults, neither refused because of the other's files and neither able to read what
/// the other's runs leave behind.
class WindowSendTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedRequestArrives_data();
    void keyedRequestArrives();
    void twoUsersWithTheDefaults();
};

void WindowSendTest::keyedRequestArrives_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("four at once") << 4;
}

void WindowSendTest::keyedRequestArrives()
{
    QFETCH(int, simultaneous);
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(u"local files"_s) && QDir(work.path()).mkpath(u"run"_s));
    const QString runDir = work.filePath(u"run"_s);
    QByteArray binary("\r\n\n\r\0\0\r\r\n", 9);
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    const QList<QPair<QString, QByteArray>> files = {
        {work.filePath(u"local files/a b.txt"_s), "text with a blank in its path\r\nand more\n"},
        {work.filePath(u"binary.bin"_s), binary}};
    QStringList paths;
    for (const auto &[path, bytes] : files) {
        QVERIFY(writeBytes(path, bytes));
        paths.append(path);
    }
    // Directories the accounts can write into, made by root and removed with their content.
    QTemporaryDir plainRemote(tb.plain.home + u"/pw-window-XXXXXX"_s);
    QTemporaryDir secureRemote(tb.quoted.home + u"/pw-window-XXXXXX"_s);
    QTemporaryDir portRemote(tb.plain.home + u"/pw-window-XXXXXX"_s);
    for (const QTemporaryDir *dir : {&plainRemote, &secureRemote, &portRemote})
        QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7777)));
    const QString wrongPassword = u"localhost:%1"_s.arg(tb.ftpPort);
    const QString deadServer = u"127.0.0.1:1"_s;
    // A Secure Shell host with a port of its own and no saved session: its key stored once, by
    // hand, the way the README says, in a PuTTY directory of this test's own.
    const QString sshWithPort = u"127.0.0.1:%1"_s.arg(tb.sshPort);
    QTemporaryDir putty;
    QProcess store;
    store.setProcessChannelMode(QProcess::MergedChannels);
    store.setProcessEnvironment([&putty] {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PUTTYDIR"_s, putty.path());
        return environment;
    }());
    QVERIFY(writeBytes(putty.filePath(u"quit"_s), "quit\n") &&
            writeBytes(putty.filePath(u"pwd"_s), tb.plain.password.toLocal8Bit() + '\n', 0600));
    store.start(u"psftp"_s,
                {u"-P"_s, QString::number(tb.sshPort), u"-b"_s, putty.filePath(u"quit"_s),
                 u"-pwfile"_s, putty.filePath(u"pwd"_s), tb.plain.user + u"@127.0.0.1"_s});
    store.write("y\n");
    QVERIFY(store.waitForFinished(30000) && store.exitCode() == 0);
    QVERIFY(QFile::copy(tb.puttyDir + u"/sessions/"_s + tb.sshSession,
                        putty.filePath(u"sessions/"_s + tb.sshSession)) ||
            (QDir(putty.path()).mkpath(u"sessions"_s) &&
             QFile::copy(tb.puttyDir + u"/sessions/"_s + tb.sshSession,
                         putty.filePath(u"sessions/"_s + tb.sshSession))));
    qputenv("PUTTYDIR", QFile::encodeName(putty.path()));
    const auto restorePutty =
        qScopeGuard([&tb] { qputenv("PUTTYDIR", tb.puttyDir.toLocal8Bit()); });

    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    TransferEngine engine(launcher);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    const ProfileStore profiles(QDir::currentPath());
    FTP_Information window(engine, connectionTest, profiles);
    window.setSimultaneousTransfers(simultaneous);
    QStringList messages;
    window.setMessageSink([&](const QString &text, const QString &) { messages << text; });
    window.setFileChooser([&] { return paths; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(window.frmFilesToFTP, Qt::LeftButton);
    window.frmWorkingDirectory->setText(runDir);
    GridControl *grid = window.frmFTPTo;
    const QList<QStringList> rows = {
        {u"n"_s, tb.ftpHost, plainRemote.path(), tb.plain.user, tb.plain.password},
        {u"N"_s, wrongPassword, plainRemote.path(), tb.plain.user, u"wrong"_s},
        {u"N"_s, deadServer, plainRemote.path(), tb.plain.user, tb.plain.password},
        {u"y"_s, tb.sshSession, secureRemote.path(), tb.quoted.user, tb.quoted.password},
        {u"Y"_s, sshWithPort, portRemote.path(), tb.plain.user, tb.plain.password}};
    for (int row = 1; row <= rows.size(); ++row) {
        for (int column = 0; column < 5; ++column) {
            const QRect cell = grid->visualRect(grid->model()->index(row - 1, column));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::keyClicks(window.frmInputBox, rows[row - 1][column]);
        }
    }
    // The last password is still pending in the editor: the request commits it on its way.
    QTest::mouseClick(window.cmdProcess, Qt::LeftButton);

    QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0)));
    const QByteArray log = readBytes(runDir + u"/FTPLogALL.TXT"_s);
    QCOMPARE(window.frmMessage->text(),
             u"Transmission ended with errors at 2 of 5 destinations ("_s + wrongPassword +
                 u", "_s + deadServer + u") - see FTPLogALL.TXT"_s);
    for (const QTemporaryDir *remote : {&plainRemote, &secureRemote, &portRemote}) {
        for (const auto &[path, bytes] : files)
            QVERIFY2(readBytes(remote->filePath(QFileInfo(path).fileName())) == bytes, log);
    }
    // Five blocks in row order, each a header line, the client's output and the end line.
    const QByteArray end = "\r\n\r\n*********** End of Transmission ***************\r\n\r\n";
    QCOMPARE(log.count("Output from: "), 5);
    qsizetype at = 0;
    for (const QStringList &row : rows) {
        const QByteArray header = "Output from: " + (row[1] + u' ' + row[2]).toLocal8Bit() + "\r\n";
        QVERIFY2(log.indexOf(header) == at, log);
        at = log.indexOf(end, at) + end.size();
    }
    QCOMPARE(at, log.size());
    QVERIFY2(log.contains(simultaneous > 1 ? " -pwfile XferJob-0004.PWD\r\n"
                                           : " -pwfile XferJob.PWD\r\n"),
             log);
    QVERIFY2(log.contains("psftp -P " + QByteArray::number(tb.sshPort) + ' '), log);
    for (const QString &password : {tb.plain.password, tb.quoted.password})
        QVERIFY2(!log.contains(password.toLocal8Bit()), log);
    QCOMPARE(QFile::permissions(runDir + u"/FTPLogALL.TXT"_s).toInt() & 0x0077, 0);
    // Each failed destination says why, in its client's words.
    const QList<DestinationResult> results = window.lastRunResults();
    QCOMPARE(results.size(), 5);
    QCOMPARE(results[1].reason, u"530 Login incorrect."_s);
    QVERIFY2(results[2].reason.startsWith(u"ftp: connect: "_s), qPrintable(results[2].reason));
    QCOMPARE(results[0].outcome, Outcome::Sent);
    QCOMPARE(results[3].outcome, Outcome::Sent);
    QCOMPARE(results[4].outcome, Outcome::Sent);

    // The Results window opened with the two failed on top. The password corrected, "Send again"
    // serves those two rows only: the dead server stays dead, and the earlier log is kept.
    ResultsWindow &shown = *window.resultsWindow();
    const QAbstractItemModel &lines = *shown.lines->model();
    QCOMPARE(lines.index(0, 1).data().toString(), wrongPassword);
    QCOMPARE(lines.index(1, 1).data().toString(), deadServer);
    window.frmFTPTo->setText(2, kPasswordColumn, tb.plain.password);
    QTRY_COMPARE(QApplication::activeWindow(), &shown);
    QTest::keyClick(&shown, Qt::Key_S, Qt::AltModifier); // the button clicks a moment later
    QTRY_VERIFY(!shown.cmdSendAgain->isDown());
    QCOMPARE(readBytes(runDir + u"/FTPLogALL.1.TXT"_s), log);
    QCOMPARE(shown.countLabel->text(), u"1 sent, 1 failed"_s);
    QCOMPARE(readBytes(runDir + u"/FTPLogALL.TXT"_s).count("Output from: "), 2);
    QCOMPARE(QDir(runDir).entryList(QDir::Files),
             (QStringList{u"FTPLogALL.1.TXT"_s, u"FTPLogALL.TXT"_s}));
}

void WindowSendTest::twoUsersWithTheDefaults()
{
    PW_REQUIRE_ROOT("only root can run the program as two other users");
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir root;
    QTemporaryDir remote(tb.plain.home + u"/pw-two-users-XXXXXX"_s);
    QVERIFY(root.isValid() && remote.isValid());
    // Homes that others may look into, as many are: only the program's own folder keeps them out.
    QVERIFY(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
    QVERIFY(QFile::setPermissions(remote.path(), QFileDevice::Permissions(0x7777)));
    const QStringList users{tb.plain.user, tb.quoted.user};
    const auto homeOf = [&root](const QString &user) {
        return root.filePath(u"home of "_s + user);
    };
    for (const QString &user : users) {
        const passwd *account = ::getpwnam(user.toLocal8Bit().constData());
        QVERIFY(account && QDir().mkdir(homeOf(user)));
        QVERIFY(writeBytes(homeOf(user) + u"/from "_s + user, (user + u'\n').toLocal8Bit()));
        for (const QString &path : {homeOf(user), homeOf(user) + u"/from "_s + user})
            QVERIFY(::chown(QFile::encodeName(path).constData(), account->pw_uid,
                            account->pw_gid) == 0);
    }

    const auto start = [&](QProcess &program, const QString &user) {
        program.setWorkingDirectory(homeOf(user));
        // Nothing of root's settings, runtime or PuTTY directories reaches the user's program.
        program.start(u"runuser"_s,
                      {u"-u"_s, user, u"--"_s, u"env"_s, u"-u"_s, u"XDG_CONFIG_HOME"_s, u"-u"_s,
                       u"XDG_RUNTIME_DIR"_s, u"-u"_s, u"PUTTYDIR"_s, u"HOME="_s + homeOf(user),
                       QCoreApplication::applicationFilePath(), QString::fromLatin1(kSendSwitch)});
        const QStringList request{homeOf(user) + u"/from "_s + user, tb.ftpHost, remote.path(),
                                  tb.plain.user, tb.plain.password};
        program.write((request.join(u'\n') + u'\n').toLocal8Bit());
        program.closeWriteChannel();
    };
    const auto finish = [](QProcess &program) {
        QVERIFY(program.waitForFinished(120000));
        const QString said = QString::fromLocal8Bit(program.readAllStandardOutput());
        QVERIFY2(said.startsWith(u"All Transmissions are complete"_s), qPrintable(said));
    };
    // One after the other, then both at once.
    for (const QString &user : users) {
        QProcess program;
        start(program, user);
        finish(program);
    }
    QProcess first, second;
    start(first, users[0]);
    start(second, users[1]);
    finish(first);
    finish(second);

    for (const QString &user : users) {
        QCOMPARE(readBytes(remote.filePath(u"from "_s + user)), (user + u'\n').toLocal8Bit());
        const QString log = homeOf(user) + u"/Parcelwright/FTPLogALL.TXT"_s;
        QVERIFY(QFileInfo::exists(log));
        QProcess other; // the other user reads it
        other.start(u"runuser"_s,
                    {u"-u"_s, users[1 - users.indexOf(user)], u"--"_s, u"cat"_s, log});
        QVERIFY(other.waitForFinished() && other.exitCode() != 0);
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kSendSwitch) == 0)
        return sendWithTheDefaults();
    WindowSendTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_send_test.moc"
