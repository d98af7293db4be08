#include "platform/launcher.h"
#include "support/fake_window.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A directory the account can write into, made by root and removed with its content afterwards.
std::unique_ptr<QTemporaryDir> remoteDirectory(const QString &home)
{
    auto dir = std::make_unique<QTemporaryDir>(home + QStringLiteral("/pw-transfer-XXXXXX"));
    if (dir->isValid())
        QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7777));
    return dir;
}

} // namespace

/// One request through the real interpreter and clients against the test bed's servers.
class TransferRunEndToEnd final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestSendsToEveryDestination();
};

void TransferRunEndToEnd::requestSendsToEveryDestination()
{
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("local files")));
    const QString local = work.path() + QStringLiteral("/local files/");
    QByteArray binary("\r\n\n\r\0\0\r\r\n", 9);
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    const QList<QPair<QString, QByteArray>> files = {
        {local + QStringLiteral("a b.txt"), "text with a blank in its path\r\nand a second line\n"},
        {work.path() + QStringLiteral("/binary.bin"), binary},
    };
    QStringList paths;
    for (const auto &file : files) {
        QFile out(file.first);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.second);
        paths.append(file.first);
    }
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("run")));
    const QString runDir = work.path() + QStringLiteral("/run");

    const auto plainRemote = remoteDirectory(tb.plain.home);
    const auto secureRemote = remoteDirectory(tb.quoted.home);
    QVERIFY(plainRemote->isValid() && secureRemote->isValid());
    const QString wrongHost = QStringLiteral("localhost:%1").arg(tb.ftpPort);

    FakeTransferWindow window;
    window.setFiles(paths);
    window.setWorkingDirectory(runDir);
    FakeDestinationGrid &grid = window.grid();
    grid.setRow(1, {QStringLiteral("N"), tb.ftpHost, plainRemote->path(), tb.plain.user,
                    tb.plain.password});
    grid.setRow(2, {QStringLiteral("N"), wrongHost, plainRemote->path(), tb.plain.user,
                    QStringLiteral("wrong") + tb.plain.password});
    grid.setRow(3, {QStringLiteral("N"), QString(), QStringLiteral("/x"), QStringLiteral("u"),
                    QStringLiteral("p")});
    grid.setRow(4, {QStringLiteral("Y"), tb.sshSession, secureRemote->path(), tb.quoted.user,
                    tb.quoted.password});
    CommandInterpreterLauncher launcher(builtProgram(QStringLiteral("parcelwright-cmd")));
    TransferEngine engine(window, launcher);

    engine.processRequest();

    const QByteArray log = readBytes(runDir + QStringLiteral("/FTPLogALL.TXT"));
    QVERIFY2(window.messages.isEmpty(), qPrintable(window.messages.value(0).first));
    QCOMPARE(window.statusText,
             QStringLiteral("Transmission ended with errors at 1 of 3 destinations (") + wrongHost +
                 QStringLiteral(") - see FTPLogALL.TXT"));
    for (const QString &remote : {plainRemote->path(), secureRemote->path()}) {
        for (const auto &file : files) {
            const QString arrived = remote + QLatin1Char('/') + QFileInfo(file.first).fileName();
            QVERIFY2(readBytes(arrived) == file.second, log.constData());
        }
    }

    const QByteArray end = "\r\n\r\n*********** End of Transmission ***************\r\n\r\n";
    QCOMPARE(log.count(end.mid(2)), 3);
    const QList<QByteArray> headers = {
        "Output from: " + tb.ftpHost.toLocal8Bit() + ' ' + plainRemote->path().toLocal8Bit(),
        "Output from: " + wrongHost.toLocal8Bit() + ' ' + plainRemote->path().toLocal8Bit(),
        "Output from: " + tb.sshSession.toLocal8Bit() + ' ' + secureRemote->path().toLocal8Bit()};
    QVERIFY2(log.startsWith(headers[0] + "\r\n"), log.constData());
    qsizetype at = 0;
    for (const QByteArray &header : headers) {
        const qsizetype next = log.indexOf(header + "\r\n", at);
        QVERIFY2(next >= at, log.constData());
        at = log.indexOf(end, next);
        QVERIFY2(at > next, log.constData());
        QVERIFY2(at + end.size() == log.size() ||
                     log.mid(at + end.size()).startsWith("Output from: "),
                 log.constData());
    }
    QVERIFY2(log.contains(" -pw ********\r\n"), log.constData());
    for (const QString &password : {tb.plain.password, tb.quoted.password})
        QVERIFY2(!log.contains(password.toLocal8Bit()), log.constData());

    QCOMPARE(QDir(runDir).entryList(QDir::Files), QStringList{QStringLiteral("FTPLogALL.TXT")});
    QCOMPARE(QFile::permissions(runDir + QStringLiteral("/FTPLogALL.TXT")).toInt() & 0x0077, 0);
}

QTEST_GUILESS_MAIN(TransferRunEndToEnd)
#include "transfer_run.moc"
