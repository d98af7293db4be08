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

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// A user's whole request, keyed into the real window and sent by the real interpreter and
/// clients to the test bed's servers, one destination at a time and several at once.
class WindowSendTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedRequestArrives_data();
    void keyedRequestArrives();
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
    for (const QTemporaryDir *dir : {&plainRemote, &secureRemote})
        QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7777)));
    const QString wrongPassword = u"localhost:%1"_s.arg(tb.ftpPort);
    const QString deadServer = u"127.0.0.1:1"_s;

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
        {u"y"_s, tb.sshSession, secureRemote.path(), tb.quoted.user, tb.quoted.password}};
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
             u"Transmission ended with errors at 2 of 4 destinations ("_s + wrongPassword +
                 u", "_s + deadServer + u") - see FTPLogALL.TXT"_s);
    for (const QTemporaryDir *remote : {&plainRemote, &secureRemote}) {
        for (const auto &[path, bytes] : files)
            QVERIFY2(readBytes(remote->filePath(QFileInfo(path).fileName())) == bytes, log);
    }
    // Four blocks in row order, each a header line, the client's output and the end line.
    const QByteArray end = "\r\n\r\n*********** End of Transmission ***************\r\n\r\n";
    QCOMPARE(log.count("Output from: "), 4);
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
    for (const QString &password : {tb.plain.password, tb.quoted.password})
        QVERIFY2(!log.contains(password.toLocal8Bit()), log);
    QCOMPARE(QFile::permissions(runDir + u"/FTPLogALL.TXT"_s).toInt() & 0x0077, 0);
    // Each failed destination says why, in its client's words.
    const QList<DestinationResult> results = window.lastRunResults();
    QCOMPARE(results.size(), 4);
    QCOMPARE(results[1].reason, u"530 Login incorrect."_s);
    QVERIFY2(results[2].reason.startsWith(u"ftp: connect: "_s), qPrintable(results[2].reason));
    QCOMPARE(results[0].outcome, Outcome::Sent);
    QCOMPARE(results[3].outcome, Outcome::Sent);

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

QTEST_MAIN(WindowSendTest)
#include "window_send_test.moc"
