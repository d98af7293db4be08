#include "connection_test/connection_test.h"
#include "platform/own_files.h"
#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/engine_run.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"

#include <QLockFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How a request ends.
enum class Ending
{
    Completed,      // every destination served
    RefusedByCheck, // a row check fails: nothing is written
    RefusedBusy,    // another run holds the working directory
    RefusedForeign, // a file of the run's names belongs to another user
    Cancelled       // cancelled while the first client waits on a silent server
};

// The passwords a file or an output must never show: each account's, without the blanks at its
// ends (a password with them still holds the rest).
QByteArrayList passwordsOf(const Testbed &tb)
{
    return {tb.plain.password.trimmed().toLocal8Bit(), tb.quoted.password.trimmed().toLocal8Bit(),
            tb.hostile.password.trimmed().toLocal8Bit()};
}

bool holdsAny(const QByteArray &bytes, const QByteArrayList &passwords)
{
    return std::any_of(passwords.cbegin(), passwords.cend(),
                       [&bytes](const QByteArray &password) { return bytes.contains(password); });
}

/// Watches a working directory while a run goes on: every file that holds a password, and every
/// file named to hold one, must be readable by its owner only at every look.
struct DirectoryWatch
{
    QString directory;
    QByteArrayList passwords;
    QStringList exposed;      // "NAME mode" of each file seen readable by others
    QStringList heldPassword; // names of the files that held a password at some look

    void look()
    {
        for (const QString &name : fileNamesIn(directory)) {
            const QString path = directory + u'/' + name;
            const bool named = name == u"XferJob.PWD"_s || name == u"XferJob.FTP"_s;
            const bool holds = holdsAny(readBytes(path), passwords);
            if (holds && !heldPassword.contains(name))
                heldPassword.append(name);
            if ((named || holds) && !isOwnerOnly(path) && QFileInfo::exists(path))
                exposed.append(name + u' ' + QString::number(QFile::permissions(path), 16));
        }
    }
};

} // namespace

Q_DECLARE_METATYPE(Ending)

/// Where passwords go: into the files that must hold them, readable by their owner only while
/// they exist, and nowhere else - not into FTPLogALL.TXT, a file left behind, a console, or
/// anything parcelwright-ftp prints.
class SecretsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runLeavesNoPassword_data();
    void runLeavesNoPassword();
    void ftpClientNeverPrintsPassword_data();
    void ftpClientNeverPrintsPassword();
};

void SecretsTest::runLeavesNoPassword_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("message"); // the message box's text, empty for none
    QTest::addColumn<QStringList>("left");
    const QStringList log{u"FTPLogALL.TXT"_s};
    // clang-format off
    QTest::newRow("completed") << Ending::Completed << QString() << log;
    QTest::newRow("refused by a row check") << Ending::RefusedByCheck << u"Secure FTP can by 'Y' or 'N' (Yes/No - please correct this and continue"_s << QStringList();
    QTest::newRow("refused: another run holds the directory") << Ending::RefusedBusy << u"Another transmission is using this working directory - nothing was sent"_s << QStringList{u"XferJob.LCK"_s};
    QTest::newRow("refused: a file of another user") << Ending::RefusedForeign << u"XferJob.PWD in the working directory {DIR} belongs to another user or cannot be replaced - nothing was sent. Choose a working directory of your own (for example ~/Parcelwright)"_s << QStringList{u"XferJob.PWD"_s};
    QTest::newRow("cancelled") << Ending::Cancelled << QString() << log;
    // clang-format on
}

void SecretsTest::runLeavesNoPassword()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Ending, ending);
    QFETCH(QString, message);
    QFETCH(QStringList, left);
    if (ending == Ending::RefusedForeign)
        PW_REQUIRE_ROOT("only root can give a file to another user");

    QTemporaryDir work, local;
    QVERIFY(writeBytes(local.filePath(u"sent.txt"_s), "sent\r\n"));
    EngineRun run;
    FakeTransferWindow &window = run.window;
    window.setFiles({local.filePath(u"sent.txt"_s)});
    window.setWorkingDirectory(work.path());
    // Every account over both clients: a password of letters, one with a blank and shell
    // characters, one with blanks at its ends, quotes and commands.
    std::vector<std::unique_ptr<RemoteDirectory>> remotes;
    int row = 0;
    QTcpServer silent;
    if (ending == Ending::Cancelled) {
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        window.grid().setRow({++row,
                              u"N"_s,
                              u"127.0.0.1:%1"_s.arg(silent.serverPort()),
                              {},
                              tb.hostile.user,
                              tb.hostile.password});
    }
    for (const TestbedAccount *account : {&tb.plain, &tb.quoted, &tb.hostile}) {
        for (const bool secure : {false, true}) {
            remotes.push_back(std::make_unique<RemoteDirectory>(*account));
            window.grid().setRow({++row, secure ? u"Y"_s : u"N"_s,
                                  secure ? tb.sshSession : tb.ftpHost, remotes.back()->path(),
                                  account->user, account->password});
        }
    }
    if (ending == Ending::RefusedByCheck)
        window.grid().setRow({++row, u"X"_s, tb.ftpHost, {}, tb.plain.user, tb.plain.password});
    DirectoryLock otherRun;
    if (ending == Ending::RefusedBusy)
        QCOMPARE(otherRun.take(work.filePath(u"XferJob.LCK"_s)), DirectoryLock::Result::Taken);
    if (ending == Ending::RefusedForeign) {
        const QString planted = work.filePath(u"XferJob.PWD"_s);
        QVERIFY(writeBytes(planted, "another user's file\r\n", 0600));
        QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
    }

    DirectoryWatch watch{work.path(), passwordsOf(tb), {}, {}};
    run.processRequest([&] {
        watch.look();
        if (ending == Ending::Cancelled &&
            !processIdsIn(work.path(), u"parcelwright-ftp"_s).isEmpty())
            run.engine.requestCancel();
    });

    QCOMPARE(window.messages.value(0).text, message.replace(u"{DIR}"_s, work.path()));
    QCOMPARE(watch.exposed, QStringList());
    if (ending == Ending::Completed) {
        // The watch saw the files that carry passwords, so it would have seen them exposed.
        QVERIFY2(watch.heldPassword.contains(u"XferJob.PWD"_s) &&
                     watch.heldPassword.contains(u"XferJob.FTP"_s),
                 qPrintable(watch.heldPassword.join(u' ')));
        QVERIFY2(window.statusText.startsWith(u"All Transmissions are complete"_s),
                 qPrintable(window.statusText));
        for (const auto &remote : remotes)
            QCOMPARE(remote->fileNames(), QStringList{u"sent.txt"_s});
    }
    if (ending == Ending::Cancelled)
        QVERIFY2(window.statusText.startsWith(u"Transmission cancelled at 127.0.0.1:"_s),
                 qPrintable(window.statusText));
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
    QCOMPARE(fileNamesIn(work.path()), left);
    for (const QString &name : left) {
        const QByteArray bytes = readBytes(work.filePath(name));
        QVERIFY2(!holdsAny(bytes, watch.passwords),
                 qPrintable(name + u": "_s + QString::fromLocal8Bit(bytes)));
    }
}

void SecretsTest::ftpClientNeverPrintsPassword_data()
{
    QTest::addColumn<QString>("host");          // {FTP}: the test bed's server
    QTest::addColumn<QByteArrayList>("script"); // {USER}, {PASS}: the hostile account; {DIR}
    QTest::addColumn<QByteArray>("typed");      // standard input
    QTest::addColumn<QByteArray>("shown");      // a line the output must hold

    const QByteArrayList upload{"{USER}", "{PASS}", "cd {DIR}", "put sent.txt", "quit"};
    // clang-format off
    QTest::newRow("log-in from the script") << u"{FTP}"_s << upload << QByteArray() << QByteArray("Password:\n230 Login successful.");
    QTest::newRow("wrong password from the script") << u"{FTP}"_s << QByteArrayList{"{USER}", "x{PASS}", "quit"} << QByteArray() << QByteArray("530 Login incorrect.\nLogin failed.");
    QTest::newRow("password typed") << u"{FTP}"_s << QByteArrayList{"{USER}"} << QByteArray("{PASS}\nquit\n") << QByteArray("Password:\nConnected to 127.0.0.1.");
    QTest::newRow("everything typed") << u"{FTP}"_s << QByteArrayList() << QByteArray("{USER}\n{PASS}\nquit\n") << QByteArray("Password:\nConnected to 127.0.0.1.");
    QTest::newRow("connection refused") << u"127.0.0.1:1"_s << upload << QByteArray() << QByteArray("ftp: connect: ");
    QTest::newRow("unknown host") << u"no-such-host.invalid"_s << upload << QByteArray() << QByteArray("Unknown host no-such-host.invalid.");
    // clang-format on
}

void SecretsTest::ftpClientNeverPrintsPassword()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(QString, host);
    QFETCH(QByteArrayList, script);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, shown);
    const TestbedAccount &account = tb.hostile;
    const RemoteDirectory remote(account);
    const auto fill = [&account, &remote](QByteArray text) {
        return text.replace("{USER}", account.user.toLocal8Bit())
            .replace("{PASS}", account.password.toLocal8Bit())
            .replace("{DIR}", QFile::encodeName(remote.path()));
    };
    QTemporaryDir work;
    QVERIFY(writeBytes(work.filePath(u"sent.txt"_s), "sent\r\n"));
    QByteArray scriptBytes;
    for (const QByteArray &line : std::as_const(script))
        scriptBytes += fill(line) + "\r\n";
    QVERIFY(writeBytes(work.filePath(u"XferJob.FTP"_s), scriptBytes, 0600));

    QProcess client;
    client.setWorkingDirectory(work.path());
    client.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{host == u"{FTP}"_s ? tb.ftpHost : host};
    if (!script.isEmpty())
        arguments.prepend(u"-s:XferJob.FTP"_s);
    client.start(builtProgram(u"parcelwright-ftp"_s), arguments);
    client.write(fill(typed));
    client.closeWriteChannel();
    QVERIFY(client.waitForFinished(60000));
    const QByteArray output = client.readAll();

    QVERIFY2(output.contains(shown), output.constData());
    QVERIFY2(!output.contains(account.password.trimmed().toLocal8Bit()), output.constData());
    // Not even a piece of it: the part that would be a psftp option if it ever were split off.
    QVERIFY2(!output.contains("proxycmd"), output.constData());
}

QTEST_GUILESS_MAIN(SecretsTest)
#include "secrets_test.moc"
