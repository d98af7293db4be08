#include "platform/launcher.h"
#include "support/fake_window.h"
#include "support/files.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// One request through the real interpreter and clients against the test bed's servers.
class TransferRunTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestSendsToEveryDestination();
};

void TransferRunTest::requestSendsToEveryDestination()
{
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
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        paths.append(path);
    }
    // Directories the accounts can write into, made by root and removed with their content.
    QTemporaryDir plainDir(tb.plain.home + u"/pw-transfer-XXXXXX"_s);
    QTemporaryDir secureDir(tb.quoted.home + u"/pw-transfer-XXXXXX"_s);
    QVERIFY(QFile::setPermissions(plainDir.path(), QFileDevice::Permissions(0x7777)) &&
            QFile::setPermissions(secureDir.path(), QFileDevice::Permissions(0x7777)));
    const QString plainRemote = plainDir.path(), secureRemote = secureDir.path();
    const QString wrongHost = u"localhost:%1"_s.arg(tb.ftpPort);

    FakeTransferWindow window;
    window.setFiles(paths);
    window.setWorkingDirectory(runDir);
    FakeDestinationGrid &grid = window.grid();
    grid.setRow({1, u"N"_s, tb.ftpHost, plainRemote, tb.plain.user, tb.plain.password});
    grid.setRow({2, u"N"_s, wrongHost, plainRemote, tb.plain.user, u"wrong"_s + tb.plain.password});
    grid.setRow({3, u"N"_s, QString(), u"/x"_s, u"u"_s, u"p"_s});
    grid.setRow({4, u"Y"_s, tb.sshSession, secureRemote, tb.quoted.user, tb.quoted.password});
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    TransferEngine engine(window, launcher);

    engine.processRequest();

    const QByteArray log = readBytes(runDir + u"/FTPLogALL.TXT"_s);
    QVERIFY2(window.messages.isEmpty(), qPrintable(window.messages.value(0).text));
    QCOMPARE(window.statusText, u"Transmission ended with errors at 1 of 3 destinations ("_s +
                                    wrongHost + u") - see FTPLogALL.TXT"_s);
    for (const QString &remote : {plainRemote, secureRemote}) {
        for (const auto &[path, bytes] : files)
            QVERIFY2(readBytes(remote + u'/' + QFileInfo(path).fileName()) == bytes, log);
    }
    // Three blocks in row order, each a header line, the client's output and the end line.
    const QByteArray end = "\r\n\r\n*********** End of Transmission ***************\r\n\r\n";
    QCOMPARE(log.count(end.mid(2)), 3);
    QCOMPARE(log.count("Output from: "), 3);
    qsizetype at = 0;
    for (const QString &header : {tb.ftpHost + u' ' + plainRemote, wrongHost + u' ' + plainRemote,
                                  tb.sshSession + u' ' + secureRemote}) {
        QVERIFY2(log.indexOf("Output from: " + header.toLocal8Bit() + "\r\n") == at, log);
        at = log.indexOf(end, at) + end.size();
    }
    QCOMPARE(at, log.size());
    QVERIFY2(log.contains(" -pwfile XferJob.PWD\r\n"), log);
    for (const QString &password : {tb.plain.password, tb.quoted.password})
        QVERIFY2(!log.contains(password.toLocal8Bit()), log);
    QCOMPARE(QDir(runDir).entryList(QDir::Files), QStringList{u"FTPLogALL.TXT"_s});
    QCOMPARE(QFile::permissions(runDir + u"/FTPLogALL.TXT"_s).toInt() & 0x0077, 0);
}

QTEST_GUILESS_MAIN(TransferRunTest)
#include "transfer_run_test.moc"
