#include "support/testbed.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

/// Sends real files through parcelwright-cmd and either client to the test bed's servers, and
/// runs the connection test's script: the log-in and "help", no "quit".
class FoundationUploadTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sends_data();
    void sends();
};

void FoundationUploadTest::sends_data()
{
    // quotedAccount: the password with a blank and & | ; $ `; remote: the pattern of the remote
    // directory, or empty for the help script.
    QTest::addColumn<Client>("client");
    QTest::addColumn<bool>("quotedAccount");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<bool>("quit");

    // clang-format off
    QTest::newRow("ftp") << Client::Ftp << false << u"pw-e2e-XXXXXX"_s << true;
    QTest::newRow("ftp, quoted password, blank in directory, no quit") << Client::Ftp << true << u"pw e2e XXXXXX"_s << false;
    QTest::newRow("psftp, blank in directory") << Client::Psftp << false << u"pw e2e XXXXXX"_s << true;
    QTest::newRow("psftp, quoted password, no quit") << Client::Psftp << true << u"pw-e2e-XXXXXX"_s << false;
    QTest::newRow("ftp, help") << Client::Ftp << false << QString() << false;
    QTest::newRow("psftp, help") << Client::Psftp << true << QString() << false;
    // clang-format on
}

void FoundationUploadTest::sends()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QFETCH(bool, quotedAccount);
    QFETCH(QString, remote);
    QFETCH(bool, quit);
    const TestbedAccount &account = quotedAccount ? tb.quoted : tb.plain;

    // Every byte value, the line ends and NULs a text-mode transfer would damage, then enough
    // random bytes to take many blocks; a text whose path holds a blank; an empty file.
    QByteArray binary("\r\n\n\r\0\0\r\r\n", 9);
    QRandomGenerator generator(7);
    for (int i = 0; i < 300 * 1024; ++i)
        binary += char(i < 256 ? i : generator.bounded(256));
    QList<std::pair<QString, QByteArray>> files = {
        {u"data.bin"_s, binary},
        {u"with blank/a b.txt"_s, "one\r\ntwo\nthree\r\n"},
        {u"empty"_s, {}}};
    QTemporaryDir local;
    QTemporaryDir remoteDir(account.home + u'/' + (remote.isEmpty() ? u"pw-e2e-XXXXXX"_s : remote));
    // Made by root, written by the account.
    QVERIFY(QDir(local.path()).mkpath(u"with blank"_s) &&
            QFile::setPermissions(remoteDir.path(), QFileDevice::Permissions(0x7777)));
    QList<QByteArray> commands = {"cd " + quotedIfBlank(remoteDir.path())};
    if (remote.isEmpty()) {
        commands = {"help"};
        files.clear();
    }
    for (const auto &[path, content] : files) {
        QFile file(local.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        commands << "put " + quotedIfBlank(file.fileName()) + ' ' +
                        quotedIfBlank(QFileInfo(path).fileName());
    }
    if (quit)
        commands << "quit";

    const LauncherRun run =
        runXferJob(client, client == Client::Ftp ? tb.ftpHost : tb.sshSession, account, commands);
    QVERIFY2(run.finished && run.exitCode == 0, run.log.constData());
    QVERIFY2(run.log.startsWith(run.echo), run.log.constData());
    const QByteArray output = run.log.mid(run.echo.size());
    for (const auto &[path, content] : files) {
        QFile arrived(remoteDir.filePath(QFileInfo(path).fileName()));
        QVERIFY2(arrived.open(QIODevice::ReadOnly) && arrived.readAll() == content,
                 qPrintable(arrived.fileName() + u" differs; log:\n"_s +
                            QString::fromLocal8Bit(run.log)));
    }
    // ftp: standard output only when all goes well. psftp: the user name on standard error, the
    // rest on standard output.
    const QList<QByteArray> expected =
        client == Client::Ftp
            ? QList<QByteArray>{"230 Login successful.", remote.isEmpty() ? "put" : "226 "}
            : QList<QByteArray>{"Using username \"" + account.user.toLocal8Bit() + "\".",
                                "Remote working directory is " + account.home.toLocal8Bit(),
                                remote.isEmpty() ? "put" : "=> remote:"};
    for (const QByteArray &text : expected)
        QVERIFY2(output.contains(text), (text + "\nnot in:\n" + run.log).constData());
}

QTEST_GUILESS_MAIN(FoundationUploadTest)
#include "foundation_upload_test.moc"
