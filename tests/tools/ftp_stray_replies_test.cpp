#include "support/scripted_ftp_server.h"
#include "support/testbed.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Runs the built parcelwright-ftp against a scripted server that sends replies no real server
/// sends: whatever arrives, the client ends normally and says what happened.
class FtpStrayRepliesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void survivesReplies_data();
    void survivesReplies();
};

void FtpStrayRepliesTest::survivesReplies_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("replies"); // the greeting, then one piece per command
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("status");

    // clang-format off
    const QStringList login{u"220 hi\r\n"_s, u"331 pw\r\n"_s, u"230 in\r\n"_s, u"257 \"/\"\r\n"_s};
    const QString shown = u"Connected to 127.0.0.1.\n220 hi\nUser (127.0.0.1:(none)): u\n331 pw\nPassword:\n230 in\n"_s;
    // A line after the last of a reply stays unread until the next request, which must not read it
    // through the buffer of the request before.
    QTest::newRow("a line too many after a cd, then quit") << u"u\np\ncd a\nquit\n"_s << login + QStringList{u"250 ok\r\n"_s, u"250 ok\r\nextra\r\n"_s, u"200 ok\r\n"_s, u"221 bye\r\n"_s} << shown + u"ftp> cd a\n250 ok\nftp> quit\n221 bye\n"_s << 0;
    QTest::newRow("a line too many after a cd, then pwd") << u"u\np\ncd a\npwd\nquit\n"_s << login + QStringList{u"250 ok\r\n"_s, u"250 ok\r\nextra\r\n"_s, u"200 ok\r\n"_s, u"257 \"/a\"\r\n"_s, u"200 ok\r\n"_s, u"221 bye\r\n"_s} << shown + u"ftp> cd a\n250 ok\nftp> pwd\n257 \"/a\"\nftp> quit\n221 bye\n"_s << 0;
    // clang-format on
}

void FtpStrayRepliesTest::survivesReplies()
{
    QFETCH(QString, script);
    QFETCH(QStringList, replies);
    QFETCH(QString, output);

    std::vector<std::string> pieces;
    for (const QString &reply : std::as_const(replies))
        pieces.push_back(reply.toStdString());
    // A silent client is one waiting for a reply the script does not give.
    const ScriptedFtpServer server(pieces, std::chrono::seconds(5));
    QVERIFY(server.port() != 0);

    QTemporaryDir work;
    QFile file(work.filePath(u"XferJob.FTP"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(script.toUtf8()) == script.size());
    file.close();
    QProcess process;
    process.setWorkingDirectory(work.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(builtProgram(u"parcelwright-ftp"_s),
                  {u"-t:5"_s, u"-s:XferJob.FTP"_s, u"127.0.0.1:%1"_s.arg(server.port())});
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromUtf8(process.readAll()), output);
    QTEST(process.exitCode(), "status");
}

QTEST_GUILESS_MAIN(FtpStrayRepliesTest)
#include "ftp_stray_replies_test.moc"
