#include "support/files.h"
#include "support/processes.h"
#include "support/scripted_ftp_server.h"
#include "support/testbed.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Larger than the sockets can buffer, so the client is still sending when the data is dropped.
constexpr qsizetype kUploadBytes = 64 * 1024 * 1024;

/// A server that misbehaves, and the client's message that says so (a pattern).
struct Misreply
{
    QByteArrayList pieces;
    ServerQuirks quirks;
    QString said;
    QStringList options{}; // before the script's
};

/// What the client printed (both streams) and how it ended.
struct ClientRun
{
    QByteArray output;
    int status = -1;
    qint64 peakKiB = 0;
    QByteArrayList received; // by the server
};

/// Runs parcelwright-ftp on `script` in `directory`, with time-outs of 2 s, against a server
/// playing `pieces`; fails the test when it does not end within a minute.
ClientRun runClient(const QByteArrayList &pieces, const ServerQuirks &quirks,
                    const QString &directory, const QByteArray &script,
                    const QStringList &options = {})
{
    std::vector<std::string> replies;
    for (const QByteArray &piece : pieces)
        replies.emplace_back(piece.constData(), std::size_t(piece.size()));
    const ScriptedFtpServer server(replies, std::chrono::seconds(10), quirks);
    ClientRun run;
    if (server.port() == 0 || !writeBytes(directory + u"/XferJob.FTP"_s, script))
        return run;
    QProcess client;
    client.setWorkingDirectory(directory);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardInputFile(QProcess::nullDevice());
    client.start(builtProgram(u"parcelwright-ftp"_s),
                 options + QStringList{u"-t:2"_s, u"-s:XferJob.FTP"_s,
                                       u"127.0.0.1:%1"_s.arg(server.port())});
    if (!client.waitForStarted())
        return run;
    const pid_t pid = pid_t(client.processId());
    for (int waited = 0; waited < 6000 && !client.waitForFinished(10); ++waited) {
        run.peakKiB = std::max(run.peakKiB, peakMemoryKiB(pid));
        run.output += client.readAll();
    }
    run.output += client.readAll();
    if (client.state() == QProcess::NotRunning && client.exitStatus() == QProcess::NormalExit)
        run.status = client.exitCode();
    for (const std::string &line : server.received())
        run.received.append(QByteArray::fromStdString(line));
    return run;
}

} // namespace

Q_DECLARE_METATYPE(Misreply)

/// parcelwright-ftp against a scripted server that sends what no real server sends: the client
/// ends within its time-outs, says why, reports a failure in its status, keeps its memory and its
/// output bounded, and shows nothing of the server's that could act on a terminal.
class FtpRepliesTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(writeBytes(m_work.filePath(u"upload.bin"_s), QByteArray(kUploadBytes, 'u')));
        QVERIFY(writeBytes(m_work.filePath(u"small.bin"_s), QByteArray(4096, 's')));
    }

    void misreplyEndsTheClient_data()
    {
        QTest::addColumn<Misreply>("row");
        // clang-format off
        const QByteArrayList login{"220 Ready.\r\n", "331 Password.\r\n", "230 In.\r\n", "257 \"/\"\r\n", "250 Ok.\r\n", "229 Extended Passive Mode (|||%P|)\r\n", "200 Binary.\r\n"};
        const QByteArrayList sending = login + QByteArrayList{"150 Ok to send data.\r\n", ""};
        const QString timeOut = u"ftp: time-out after 2 seconds without an answer or progress"_s;
        const QString tooLong = u"ftp: Too large response headers"_s;
        QTest::newRow("garbage greeting") << Misreply{{QByteArray("\0\xff\xfe garbage, no code\r\n", 22), ""}, {}, timeOut};
        QTest::newRow("unknown code") << Misreply{{"999 not a greeting\r\n"}, {}, u"ftp: Got a 999 ftp-server response when 220 was expected"_s};
        QTest::newRow("endless continuation lines") << Misreply{{"", ""}, {"220-and one more line of a greeting that never ends\r\n", std::size_t(1) << 32}, tooLong};
        QTest::newRow("unterminated 50 MB line") << Misreply{{"220 ", ""}, {std::string(64 * 1024, 'x'), 50 * 1024 * 1024}, tooLong};
        QTest::newRow("data connection reset") << Misreply{sending, {{}, 0, 1}, u"ftp> put upload.bin\n150 Ok to send data.\nftp: [^\n]+\n"_s};
        QTest::newRow("no 226 after the data") << Misreply{sending, {}, u"ftp> put upload.bin\n150 Ok to send data.\n"_s + timeOut};
        QTest::newRow("no TLS where it is required") << Misreply{{"220 Ready.\r\n", "500 AUTH not understood.\r\n", "500 AUTH not understood.\r\n", "331 Password.\r\n", "230 In.\r\n"}, {}, u"\nftp: TLS required but the server does not offer it: 500 AUTH not understood.\nftp> put upload.bin\nNot connected.\n"_s, {u"-tls:required"_s}};
        // clang-format on
    }

    void misreplyEndsTheClient()
    {
        QFETCH(Misreply, row);
        const ClientRun run =
            runClient(row.pieces, row.quirks, m_work.path(),
                      "user\r\nsecret\r\nput upload.bin\r\nquit\r\n", row.options);

        const QByteArray tail = run.output.right(2000);
        QCOMPARE(run.status, 1);
        QVERIFY2(QRegularExpression(row.said).match(QString::fromLatin1(run.output)).hasMatch(),
                 tail);
        QVERIFY2(!run.output.contains("bytes sent in"), tail);
        QVERIFY2(!run.output.contains("secret"), tail);
        // A server that did not take up TLS never learns the account, let alone the password.
        if (row.options.contains(u"-tls:required"_s))
            QCOMPARE(run.received, (QByteArrayList{"AUTH TLS", "AUTH SSL"}));
        // A flooding server fills neither the client's memory nor the log it writes.
        QVERIFY2(run.peakKiB < 64 * 1024, qPrintable(u"peak %1 KiB"_s.arg(run.peakKiB)));
        QVERIFY2(run.output.size() < 1024 * 1024, qPrintable(u"%1 bytes"_s.arg(run.output.size())));
    }

    void repliesShown_data()
    {
        QTest::addColumn<QByteArray>("script"); // after the log-in
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArray>("output"); // after the log-in
        QTest::addColumn<int>("status");

        // clang-format off
        const QByteArrayList greeting{"220 hi\r\n", "331 pw\r\n", "230 in\r\n", "257 \"/\"\r\n"};
        // The first put changes to the directory and the type, the next one finds them as they are.
        const QByteArrayList put{"229 Extended Passive Mode (|||%P|)\r\n", "150 Ok\r\n226 Done\r\n"};
        const QByteArrayList firstPut = QByteArrayList{"250 ok\r\n", put[0], "200 ok\r\n", put[1]};
        const QByteArray sent = "ftp> put small.bin\n150 Ok\n226 Done\nftp: sent\n";
        const QByteArray bye = "ftp> quit\n221 bye\n";
        // A line after the last of a reply stays unread until the next request, which must not read it
        // through the buffer of the request before.
        QTest::newRow("a line too many after a cd, then quit") << QByteArray("cd a\nquit\n") << greeting + QByteArrayList{"250 ok\r\n", "250 ok\r\nextra\r\n", "200 ok\r\n", "221 bye\r\n"} << "ftp> cd a\n250 ok\n" + bye << 0;
        QTest::newRow("a line too many after a cd, then pwd") << QByteArray("cd a\npwd\nquit\n") << greeting + QByteArrayList{"250 ok\r\n", "250 ok\r\nextra\r\n", "200 ok\r\n", "257 \"/a\"\r\n", "200 ok\r\n", "221 bye\r\n"} << "ftp> cd a\n250 ok\nftp> pwd\n257 \"/a\"\n" + bye << 0;
        QTest::newRow("control characters escaped, UTF-8 and 8-bit text kept") << QByteArray("cd a\nquit\n") << greeting + QByteArrayList{QByteArray("250-\x1b]0;title\x07\x1b[2J") + '\0' + "\x7f|\r|\x9b|\xc2\x9b|\r\n250 caf\xc3\xa9 \xe9\t\xc4\x9b\r\n", "250 ok\r\n", "200 ok\r\n", "221 bye\r\n"} << "ftp> cd a\n250-^[]0;title^G^[[2J^@^?|^M|M-^[|M-BM-^[|\n250 caf\xc3\xa9 \xe9\t\xc4\x9b\n" + bye << 0;
        // A server that answers 226 before it has read the whole file: what it holds tells.
        QTest::newRow("226 before all the bytes") << QByteArray("put small.bin\nquit\n") << greeting + firstPut + QByteArrayList{"213 1000\r\n", "200 ok\r\n", "221 bye\r\n"} << sent + "put small.bin: the server holds 1000 bytes, 4096 were sent\n" + bye << 1;
        // SIZE goes out on the connection of the puts; its refusal is noted once and shown nowhere else.
        QTest::newRow("550 to SIZE after a put: the file is not there") << QByteArray("put small.bin\nquit\n") << greeting + firstPut + QByteArrayList{"550 Could not get file size.\r\n", "200 ok\r\n", "221 bye\r\n"} << sent + "put small.bin: the server did not tell the size it holds: 550 Could not get file size.\n" + bye << 1;
        QTest::newRow("no SIZE: noted once, two puts") << QByteArray("put small.bin\nput small.bin\nquit\n") << greeting + firstPut + QByteArrayList{"502 no\r\n"} + put + QByteArrayList{"500 no\r\n", "200 ok\r\n", "221 bye\r\n"} << sent + "ftp: the server does not answer SIZE (502 no): uploads are not checked.\n" + sent + bye << 0;
        // A 4xx reply fails the command with the server's line alone; after a 421 the server has hung up.
        const QByteArrayList hiddenCwd = greeting + QByteArrayList{"250 ok\r\n", put[0], "200 ok\r\n"};
        QTest::newRow("421 to a cd") << QByteArray("cd a\nquit\n") << greeting + QByteArrayList{"421 Closing.\r\n"} << QByteArray("ftp> cd a\n421 Closing.\nftp> quit\n") << 1;
        QTest::newRow("421 to the CWD of a put") << QByteArray("put small.bin\nquit\n") << greeting + QByteArrayList{"421 Closing.\r\n"} << QByteArray("ftp> put small.bin\n421 Closing.\nftp> quit\n") << 1;
        QTest::newRow("451 to the CWD of a put") << QByteArray("put small.bin\nquit\n") << greeting + QByteArrayList{"451 Not now.\r\n", "200 ok\r\n", "200 ok\r\n", "221 bye\r\n"} << "ftp> put small.bin\n451 Not now.\n" + bye << 1;
        QTest::newRow("421 to STOR") << QByteArray("put small.bin\nquit\n") << hiddenCwd + QByteArrayList{"421 Closing.\r\n"} << QByteArray("ftp> put small.bin\n421 Closing.\nftp> quit\n") << 1;
        QTest::newRow("450 to STOR") << QByteArray("put small.bin\nquit\n") << hiddenCwd + QByteArrayList{"450 Busy.\r\n", "200 ok\r\n", "221 bye\r\n"} << "ftp> put small.bin\n450 Busy.\n" + bye << 1;
        // clang-format on
    }

    void repliesShown()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArray, output);
        // Every upload is cut short, which only the size the server holds can tell.
        const ClientRun run = runClient(pieces, {{}, 0, 1000}, m_work.path(), "u\np\n" + script);

        const QByteArray login = "Connected to 127.0.0.1.\n220 hi\nUser (127.0.0.1:(none)): u\n331 "
                                 "pw\nPassword:\n230 in\n";
        const QRegularExpression summary(u"^ftp: \\d+ bytes sent in .*$"_s,
                                         QRegularExpression::MultilineOption);
        QCOMPARE(QString::fromLatin1(run.output).replace(summary, u"ftp: sent"_s).toLatin1(),
                 login + output);
        QTEST(run.status, "status");
    }

private:
    QTemporaryDir m_work;
};

QTEST_GUILESS_MAIN(FtpRepliesTest)
#include "ftp_replies_test.moc"
