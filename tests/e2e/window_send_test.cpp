#include "connection_test/connection_test.h"
#include "platform/console.h"
#include "platform/launcher.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/session_run.h"
#include "support/testbed.h"
#include "transfer/run_session.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"
#include "ui/results_window.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <iostream>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const char kSendSwitch[] = "--send-with-the-defaults";

/// The main window over the real command interpreter, as the program builds it.
struct RealWindow
{
    CommandInterpreterLauncher launcher{builtProgram(u"parcelwright-cmd"_s)};
    RunSession session{launcher};
    TerminalConsoleStarter consoles{builtProgram(u"parcelwright-cmd"_s)};
    ConnectionTest connectionTest{consoles};
    const ProfileStore store{QDir::currentPath()};
    ProfileCommands profiles{store};
    FTP_Information window{session, connectionTest, profiles};

    /// Process Request, and the run's end awaited.
    void process()
    {
        window.cmdProcess_Click();
        waitForRunEnd(session);
    }
};

// Runs in a second process, as the user it was started as: the window built as the program
// builds it, in the current directory, with the working directory it starts with. Reads the file
// to send and the host, remote directory, user id and password of one plain FTP destination from
// standard input, one a line, sends, and prints every message and then the status line.
int sendWithTheDefaults()
{
    QStringList values;
    for (std::string line; values.size() < 5 && std::getline(std::cin, line);)
        values << QString::fromStdString(line);
    makeDefaultWorkingDirectory();
    RealWindow real;
    FTP_Information &window = real.window;
    window.setMessageSink(
        [](const QString &text, const QString &) { std::cout << qPrintable(text) << std::endl; });
    window.frmFileList->setText(1, 0, values.value(0));
    window.frmFTPTo->setText(1, 0, u"N"_s);
    for (int column = 1; column < 5; ++column)
        window.frmFTPTo->setText(1, column, values.value(column));
    real.process();
    std::cout << qPrintable(window.frmMessage->text()) << std::endl;
    return 0;
}

/// A step of the user's that saves a file or writes into a directory.
enum class Step
{
    Process,
    TestConnection,
    SaveProfile,
    GetProfile,
    SaveReport, // of a run in a folder of the user's own
    Batch,      // parcelwright-batch with the row's arguments
};

/// What another user planted in a folder, or how they may change it, and what the program then
/// says to a step of the user's; it writes nothing there, and leaves the victim's file alone.
struct Plant
{
    Step step;
    QString name; // another user's link to the victim's file; "weekly.pro": a Profile of
                  // the user's that others may read (folder 0755); empty: none
    int mode;     // the folder's; it is another user's when `theirs`
    bool theirs;
    QStringList batch; // {DIR}: the folder, {HOSTS}: a destinations file, {WORK}: the user's own
    QString said;      // "TITLE: TEXT" of each message, or the status line, or standard error
    QString sent = {}; // left in the folder by a run that sent
};

} // namespace

Q_DECLARE_METATYPE(Plant)

/// The real window over the real interpreter and clients: a user's whole request, keyed, sent
/// with several destinations at once; two users of one machine sending at once with the program's
/// defaults, neither refused because of the other's files and neither able to read what the
/// other's run leaves behind; "Test the Connection" opening a working console; a signal in the
/// middle of a run.
class WindowSendTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedRequestArrives()
    {
        PW_REQUIRE_TESTBED(tb);
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath(u"local files"_s) && QDir(work.path()).mkpath(u"run"_s));
        const QString runDir = work.filePath(u"run"_s);
        QByteArray binary("\r\n\n\r\0\0\r\r\n", 9);
        for (int i = 0; i < 256; ++i)
            binary.append(char(i));
        const QList<QPair<QString, QByteArray>> files = {
            {work.filePath(u"local files/a b.txt"_s),
             "text with a blank in its path\r\nand more\n"},
            {work.filePath(u"binary.bin"_s), binary}};
        QStringList paths;
        for (const auto &[path, bytes] : files) {
            QVERIFY(writeBytes(path, bytes));
            paths.append(path);
        }
        const RemoteDirectory plainRemote(tb.plain), secureRemote(tb.quoted), portRemote(tb.plain);
        QVERIFY(plainRemote.isValid() && secureRemote.isValid() && portRemote.isValid());
        // A Secure Shell host with a port of its own and no saved session: the server's key trusted
        // by the default settings, which lead to no port of their own.
        const QString sshWithPort = u"127.0.0.1:%1"_s.arg(tb.sshPort);
        QByteArray session = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
        QTemporaryDir putty;
        QVERIFY(QDir(putty.path()).mkpath(u"sessions"_s));
        QVERIFY(writeBytes(putty.filePath(u"sessions/"_s + tb.sshSession), session));
        session.replace("PortNumber=" + QByteArray::number(tb.sshPort) + '\n', "");
        QVERIFY(writeBytes(putty.filePath(u"sessions/Default%20Settings"_s), session));
        qputenv("PUTTYDIR", QFile::encodeName(putty.path()));

        RealWindow real;
        FTP_Information &window = real.window;
        window.setSimultaneousTransfers(4);
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
        waitForRunEnd(real.session);

        QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0)));
        const QByteArray log = readBytes(runDir + u"/FTPLogALL.TXT"_s);
        QVERIFY2(window.frmMessage->text().startsWith(u"All Transmissions are complete"_s), log);
        for (const RemoteDirectory *remote : {&plainRemote, &secureRemote, &portRemote}) {
            for (const auto &[path, bytes] : files)
                QVERIFY2(readBytes(remote->filePath(QFileInfo(path).fileName())) == bytes, log);
        }
    }

    void twoUsersWithTheDefaults()
    {
        PW_REQUIRE_ROOT("only root can run the program as two other users");
        PW_REQUIRE_TESTBED(tb);
        QTemporaryDir root;
        const RemoteDirectory remote(tb.plain);
        QVERIFY(root.isValid() && remote.isValid());
        // Homes that others may look into, as many are: only the program's own folder keeps them
        // out.
        QVERIFY(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
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

        // Both at once: neither holds the other's directory, nor leaves files in its way.
        QProcess programs[2];
        for (int i = 0; i < 2; ++i) {
            programs[i].setWorkingDirectory(homeOf(users[i]));
            // Nothing of root's settings, runtime or PuTTY directories reaches the user's program.
            programs[i].start(u"runuser"_s, {u"-u"_s, users[i], u"--"_s, u"env"_s, u"-u"_s,
                                             u"XDG_CONFIG_HOME"_s, u"-u"_s, u"XDG_RUNTIME_DIR"_s,
                                             u"-u"_s, u"PUTTYDIR"_s, u"HOME="_s + homeOf(users[i]),
                                             QCoreApplication::applicationFilePath(),
                                             QString::fromLatin1(kSendSwitch)});
            const QStringList request{homeOf(users[i]) + u"/from "_s + users[i], tb.ftpHost,
                                      remote.path(), tb.plain.user, tb.plain.password};
            programs[i].write((request.join(u'\n') + u'\n').toLocal8Bit());
            programs[i].closeWriteChannel();
        }
        for (QProcess &program : programs) {
            QVERIFY(program.waitForFinished(120000));
            const QString said = QString::fromLocal8Bit(program.readAllStandardOutput());
            QVERIFY2(said.startsWith(u"All Transmissions are complete"_s), qPrintable(said));
        }

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

    void testOpensWorkingConsole_data()
    {
        QTest::addColumn<Client>("client");
        QTest::newRow("ftp: help, then a typed ls") << Client::Ftp;
        QTest::newRow("psftp: a new host key accepted, then help") << Client::Psftp;
    }

    void testOpensWorkingConsole()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(Client, client);
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath(u"bin"_s) &&
                QDir(work.path()).mkpath(u"putty/sessions"_s));
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
        // A file only a listing of the account's home can show.
        QTemporaryFile marker(tb.plain.home + u"/pw-console-XXXXXX"_s);
        QVERIFY(marker.open());
        const QString markerName = QFileInfo(marker.fileName()).fileName();

        RealWindow real;
        FTP_Information &window = real.window;
        QStringList messages;
        window.setMessageSink(
            [&messages](const QString &text, const QString &) { messages << text; });
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
            QTRY_VERIFY2_WITH_TIMEOUT(screen().contains(u"Store key in cache?"_s),
                                      qPrintable(screen()), 30000);
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
            QStringList files = fileNamesIn(work.path());
            files.removeIf([&](const QString &name) {
                return !readBytes(work.filePath(name)).contains(tb.plain.password.toLocal8Bit());
            });
            return files;
        };
        QTRY_COMPARE_WITH_TIMEOUT(passwordFiles(), QStringList(), 30000);
        QCOMPARE(window.frmMessage->text(), u"Testing: "_s + row[1]);
    }

    void plantedFilesAreRefused_data()
    {
        QTest::addColumn<Plant>("plant");
        using enum Step;
        const QStringList toWork{u"--destinations"_s, u"{HOSTS}"_s, u"--workdir"_s, u"{WORK}"_s};
        const QStringList toReport = toWork + QStringList{u"--report"_s, u"{DIR}/r.jsonl"_s};
        const QString shared =
            u"The working directory {DIR} can be changed by other users - nothing was sent. Choose a working directory of your own (for example ~/Parcelwright)"_s;
        const QString readable =
            u"{DIR}/weekly.pro may be read or changed by other users: make it yours alone (chmod 600)"_s;
        // clang-format off
        QTest::newRow("a report through a link") << Plant{Batch, u"r.jsonl"_s, 01777, false, toReport, u"parcelwright-batch: Cannot save {DIR}/r.jsonl: it is a symbolic link"_s};
        QTest::newRow("a report's partial file through a link") << Plant{Batch, u"r.jsonl.part"_s, 01777, false, toReport, u"parcelwright-batch: {DIR}/r.jsonl.part cannot be made: another user's file is there"_s};
        QTest::newRow("Save report through a link") << Plant{SaveReport, u"r.jsonl"_s, 01777, false, {}, u"Save report: The report could not be saved: Cannot save {DIR}/r.jsonl: it is a symbolic link"_s};
        QTest::newRow("Save Profile through a link") << Plant{SaveProfile, u"weekly.pro"_s, 01777, false, {}, u"Edit Error: Cannot save {DIR}/weekly.pro: it is a symbolic link - Profile NOT stored"_s};
        QTest::newRow("Save Profile into a folder others may change") << Plant{SaveProfile, {}, 0777, false, {}, u"Edit Error: The folder {DIR} can be changed by other users - Profile NOT stored. Keep Profiles in a folder of your own (for example ~/Parcelwright)"_s};
        QTest::newRow("Get Profile that others may read: loaded, and said") << Plant{GetProfile, u"weekly.pro"_s, 0755, false, {}, u"Other users can read {DIR}/weekly.pro, and the passwords in it - make it yours alone (chmod 600)"_s};
        QTest::newRow("batch profile that others may read") << Plant{Batch, u"weekly.pro"_s, 0755, false, {u"--profile"_s, u"weekly"_s, u"--profile-dir"_s, u"{DIR}"_s, u"--workdir"_s, u"{WORK}"_s}, u"parcelwright-batch: "_s + readable};
        QTest::newRow("a working directory its group may write") << Plant{Process, {}, 0770, false, {}, u"No Files: "_s + shared};
        QTest::newRow("a sticky working directory of another user") << Plant{Process, {}, 01777, true, {}, u"No Files: "_s + shared};
        QTest::newRow("Test the Connection where everyone may write") << Plant{TestConnection, {}, 0777, false, {}, u"No Files: "_s + shared};
        QTest::newRow("batch where everyone may write") << Plant{Batch, {}, 0777, false, {u"--destinations"_s, u"{HOSTS}"_s, u"--workdir"_s, u"{DIR}"_s}, u"parcelwright-batch: "_s + shared};
        QTest::newRow("a sticky working directory of root's still works") << Plant{Process, {}, 01777, false, {}, u"All Transmissions are complete - if you would like to save your Profile, give it a name and press 'Save Profile'"_s, u"FTPLogALL.TXT"_s};
        // clang-format on
    }

    void plantedFilesAreRefused()
    {
        PW_REQUIRE_ROOT("only root can plant files as another user");
        PW_REQUIRE_TESTBED(tb);
        QFETCH(Plant, plant);
        QTemporaryDir root;
        const RemoteDirectory remote(tb.plain);
        const passwd *other = ::getpwnam(tb.quoted.user.toLocal8Bit().constData());
        QVERIFY(remote.isValid() && other != nullptr && QDir(root.path()).mkdir(u"dir"_s) &&
                QDir(root.path()).mkdir(u"work"_s));
        const QString dir = root.filePath(u"dir"_s), planted = dir + u'/' + plant.name;
        const QByteArray folder = QFile::encodeName(dir), link = QFile::encodeName(planted);
        const QString victim = root.filePath(u"victim"_s), file = root.filePath(u"a.txt"_s);
        const QStringList cells{u"N"_s, tb.ftpHost, remote.path(), tb.plain.user,
                                tb.plain.password};
        QVERIFY(writeBytes(victim, "the victim's own\n", 0600) && writeBytes(file, "sent\n") &&
                writeBytes(root.filePath(u"hosts.tsv"_s), cells.join(u'\t').toUtf8(), 0600));
        if (plant.name == u"weekly.pro"_s && plant.mode == 0755)
            QVERIFY(writeBytes(planted, {}, 0644));
        else if (!plant.name.isEmpty())
            QVERIFY(QFile::link(victim, planted) && ::lchown(link, other->pw_uid, 0) == 0);
        QVERIFY(::chmod(folder, mode_t(plant.mode)) == 0 &&
                (!plant.theirs || ::chown(folder, other->pw_uid, 0) == 0));
        const QStringList before = fileNamesIn(dir);
        const QString start = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir)); // the window's start-up directory
        const auto back = qScopeGuard([&start] { QDir::setCurrent(start); });

        RealWindow real;
        FTP_Information &window = real.window;
        QStringList said;
        window.setMessageSink(
            [&](const QString &text, const QString &title) { said << title + u": "_s + text; });
        window.frmFileList->setText(1, 0, file);
        for (int column = 0; column < cells.size(); ++column)
            window.frmFTPTo->setText(1, column, cells[column]);
        window.frmWorkingDirectory->setText(
            plant.step == Step::SaveReport ? root.filePath(u"work"_s) : dir);
        window.frmProfile->setEditText(u"weekly"_s);
        switch (plant.step) {
        case Step::Process:
            real.process();
            break;
        case Step::TestConnection:
            window.frmFTPTo->setCurrentRow(1);
            window.cmdTest_Click();
            break;
        case Step::SaveProfile:
            window.cmdProfileSave_Click();
            break;
        case Step::GetProfile:
            window.CmdGet_Click();
            break;
        case Step::SaveReport:
            real.process();
            window.resultsWindow()->setReportPathChooser([&planted] { return planted; });
            window.resultsWindow()->cmdSaveReport_Click();
            break;
        case Step::Batch: {
            QProcess batch;
            batch.start(builtProgram(u"parcelwright-batch"_s),
                        plant.batch.replaceInStrings(u"{DIR}"_s, dir)
                                .replaceInStrings(u"{HOSTS}"_s, root.filePath(u"hosts.tsv"_s))
                                .replaceInStrings(u"{WORK}"_s, root.filePath(u"work"_s)) +
                            QStringList{file});
            QVERIFY(batch.waitForFinished(60000) && batch.exitCode() == 2);
            said << QString::fromLocal8Bit(batch.readAllStandardError()).trimmed();
        }
        }

        if (said.isEmpty())
            said << window.frmMessage->text();
        QCOMPARE(said.join(u'\n'), plant.said.replace(u"{DIR}"_s, dir));
        QCOMPARE(readBytes(victim), QByteArray("the victim's own\n"));
        QCOMPARE(fileNamesIn(dir),
                 plant.sent.isEmpty() ? before : before + QStringList{plant.sent});
        QCOMPARE(remote.fileNames(), plant.sent.isEmpty() && plant.step != Step::SaveReport
                                         ? QStringList()
                                         : QStringList{u"a.txt"_s});
    }

    // A signal that ends the program in the middle of a run of two clients at once: both are
    // stopped, the run's files removed, and only then does the program end.
    void signalDuringRunStopsClientsThenEnds()
    {
        QTemporaryDir work;
        QTcpServer silent; // takes the connections and never answers: the clients wait
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        RealWindow real;
        FTP_Information &window = real.window;
        window.setSimultaneousTransfers(2);
        int programEnds = 0;
        window.setProgramEnder([&programEnds] { ++programEnds; });
        window.setMessageSink(
            [](const QString &text, const QString &) { QFAIL(qPrintable(text)); });
        TerminationSignals termination;
        connect(&termination, &TerminationSignals::received, &window,
                &FTP_Information::terminationRequested);
        window.frmFileList->setText(1, 0, u"/etc/hostname"_s);
        window.frmWorkingDirectory->setText(work.path());
        const QString host = u"127.0.0.1:%1"_s.arg(silent.serverPort());
        for (int row = 1; row <= 3; ++row) {
            const QStringList cells{u"N"_s, host, u"/r%1"_s.arg(row), u"u"_s, u"Ru5-pass-7x"_s};
            for (int column = 0; column < cells.size(); ++column)
                window.frmFTPTo->setText(row, column, cells[column]);
        }

        bool clientsSeen = false;
        QByteArrayList niceness;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!clientsSeen &&
                processesIn(work.path()).join(u' ').count(u"parcelwright-ftp"_s) == 2) {
                clientsSeen = true;
                // Several at once, they run below the window's priority: it stays free to answer.
                for (const pid_t client : processIdsIn(work.path(), u"parcelwright-ftp"_s))
                    niceness << readBytes(u"/proc/%1/stat"_s.arg(client)).split(' ').value(18);
                ::kill(::getpid(), SIGTERM); // as `kill` from another terminal would
            }
        });
        poll.start(20);
        QElapsedTimer clock;
        clock.start();
        real.process();

        QVERIFY(clientsSeen);
        QCOMPARE(niceness, (QByteArrayList{"10", "10"}));
        QVERIFY2(clock.elapsed() < 15000, "the clients were left to time out by themselves");
        QCOMPARE(programEnds, 1);
        QCOMPARE(window.frmMessage->text(),
                 u"Transmission cancelled at %1, %1 - see FTPLogALL.TXT"_s.arg(host));
        QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{u"FTPLogALL.TXT"_s});
        const QByteArray log = readBytes(work.filePath(u"FTPLogALL.TXT"_s));
        QCOMPARE(log.count("was cancelled before it ended"), 2);
        QVERIFY(log.indexOf(" /r1\r\n") < log.indexOf(" /r2\r\n") && !log.contains(" /r3\r\n"));
        QVERIFY(!log.contains("Ru5-pass-7x"));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kSendSwitch) == 0)
        return sendWithTheDefaults();
    WindowSendTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_send_test.moc"
