#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What the server does wrong.
enum class Misreply
{
    GarbageGreeting,     // bytes without a reply code, then silence
    UnknownCode,         // a greeting with a code no server sends
    EndlessContinuation, // "220-" lines for as long as the client listens
    UnterminatedLine,    // a 50 MB greeting line that never ends
    DroppedData,         // the data connection of a put closed after its first bytes
    No226                // all data taken, and no reply after it
};

constexpr qint64 kUnterminatedBytes = 50 * 1024 * 1024;
// Larger than the sockets can buffer, so the client is still sending when the data is dropped.
constexpr qsizetype kUploadBytes = 64 * 1024 * 1024;
// Kept queued ahead of the client while the server floods it.
constexpr qint64 kFloodAhead = 256 * 1024;

/// An FTP server in the test's own event loop that speaks enough FTP for a log-in and a put, and
/// then does one thing wrong.
class ScriptedFtpServer final : public QObject
{
public:
    explicit ScriptedFtpServer(Misreply misreply) : m_misreply(misreply)
    {
        connect(&m_control, &QTcpServer::newConnection, this, &ScriptedFtpServer::accept);
        connect(&m_data, &QTcpServer::newConnection, this, &ScriptedFtpServer::acceptData);
    }

    bool listen() { return m_control.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_control.serverPort(); }

private:
    void accept()
    {
        while (QTcpSocket *client = m_control.nextPendingConnection()) {
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            switch (m_misreply) {
            case Misreply::GarbageGreeting: {
                static const char garbage[] = "\0\xff\xfe garbage, no code\r\n";
                client->write(garbage, sizeof garbage - 1); // the NUL at the start included
                break;
            }
            case Misreply::UnknownCode:
                client->write("999 not a greeting\r\n");
                break;
            case Misreply::EndlessContinuation:
            case Misreply::UnterminatedLine:
                client->write(m_misreply == Misreply::UnterminatedLine ? "220 " : "");
                connect(client, &QTcpSocket::bytesWritten, this, [this, client] { flood(client); });
                flood(client);
                break;
            case Misreply::DroppedData:
            case Misreply::No226:
                client->write("220 Scripted server ready.\r\n");
                connect(client, &QTcpSocket::readyRead, this, [this, client] { answer(client); });
                break;
            }
        }
    }

    // Keeps the client's socket topped up, the flood ending only when the client leaves.
    void flood(QTcpSocket *client)
    {
        while (client->bytesToWrite() < kFloodAhead) {
            if (m_misreply == Misreply::EndlessContinuation) {
                client->write("220-and one more line of a greeting that never ends\r\n");
            } else if (m_unterminatedSent < kUnterminatedBytes) {
                const QByteArray chunk(64 * 1024, 'x');
                client->write(chunk);
                m_unterminatedSent += chunk.size();
            } else {
                return;
            }
        }
    }

    void answer(QTcpSocket *client)
    {
        while (client->canReadLine()) {
            const QByteArray line = client->readLine().trimmed();
            const QByteArray verb = line.split(' ').constFirst().toUpper();
            if (verb == "USER")
                client->write("331 Password required.\r\n");
            else if (verb == "PASS")
                client->write("230 Logged in.\r\n");
            else if (verb == "PWD")
                client->write("257 \"/\" is the current directory.\r\n");
            else if (verb == "CWD")
                client->write("250 Directory changed.\r\n");
            else if (verb == "TYPE")
                client->write("200 Type set.\r\n");
            else if (verb == "EPSV" &&
                     (m_data.isListening() || m_data.listen(QHostAddress::LocalHost)))
                client->write("229 Entering Extended Passive Mode (|||" +
                              QByteArray::number(m_data.serverPort()) + "|)\r\n");
            else if (verb == "STOR")
                client->write("150 Ok to send data.\r\n");
            else if (verb == "QUIT") {
                client->write("221 Goodbye.\r\n");
                client->disconnectFromHost();
            } else
                client->write("502 Not implemented.\r\n");
        }
    }

    void acceptData()
    {
        while (QTcpSocket *data = m_data.nextPendingConnection()) {
            connect(data, &QTcpSocket::disconnected, data, &QObject::deleteLater);
            connect(data, &QTcpSocket::readyRead, data, [this, data] {
                data->readAll();
                if (m_misreply == Misreply::DroppedData)
                    data->abort(); // a reset, as a server that crashed or a firewall gives
            });
        }
    }

    Misreply m_misreply;
    QTcpServer m_control;
    QTcpServer m_data;
    qint64 m_unterminatedSent = 0;
};

} // namespace

Q_DECLARE_METATYPE(Misreply)

/// parcelwright-ftp against replies that no real server sends: it ends within its time-outs, says
/// why, reports the failure in its status and keeps its memory and its output bounded.
class FtpRepliesTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void misreplyEndsTheClient_data();
    void misreplyEndsTheClient();

private:
    QTemporaryDir m_work;
};

void FtpRepliesTest::initTestCase()
{
    QVERIFY(writeBytes(m_work.filePath(u"upload.bin"_s), QByteArray(kUploadBytes, 'u')));
    QVERIFY(writeBytes(m_work.filePath(u"XferJob.FTP"_s),
                       "user\r\nsecret\r\nput upload.bin\r\nquit\r\n"));
}

void FtpRepliesTest::misreplyEndsTheClient_data()
{
    QTest::addColumn<Misreply>("misreply");
    QTest::addColumn<QString>("said"); // the client's message, a pattern

    using enum Misreply;
    const QString timeOut = u"ftp: time-out after 2 seconds without an answer or progress"_s;
    const QString tooLong = u"ftp: Too large response headers"_s;
    QTest::newRow("garbage greeting") << GarbageGreeting << timeOut;
    QTest::newRow("unknown code") << UnknownCode
                                  << u"ftp: Got a 999 ftp-server response when 220 was expected"_s;
    QTest::newRow("endless continuation lines") << EndlessContinuation << tooLong;
    QTest::newRow("unterminated 50 MB line") << UnterminatedLine << tooLong;
    QTest::newRow("dropped data connection")
        << DroppedData << u"ftp> put upload.bin\n150 Ok to send data.\nftp: [^\n]+\n"_s;
    QTest::newRow("no 226 after the data")
        << No226 << u"ftp> put upload.bin\n150 Ok to send data.\n"_s + timeOut;
}

void FtpRepliesTest::misreplyEndsTheClient()
{
    QFETCH(Misreply, misreply);
    QFETCH(QString, said);
    ScriptedFtpServer server(misreply);
    QVERIFY(server.listen());

    QProcess client;
    client.setWorkingDirectory(m_work.path());
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardInputFile(QProcess::nullDevice());
    client.start(builtProgram(u"parcelwright-ftp"_s),
                 {u"-t:2"_s, u"-s:XferJob.FTP"_s, u"127.0.0.1:%1"_s.arg(server.port())});
    QVERIFY(client.waitForStarted());
    const pid_t pid = pid_t(client.processId());
    // The server lives in this thread: the wait must keep its events going. The guard only
    // stops a client that would otherwise hang the suite.
    qint64 peakKiB = 0;
    QByteArray output;
    QElapsedTimer guard;
    guard.start();
    while (client.state() != QProcess::NotRunning && guard.elapsed() < 60000) {
        peakKiB = std::max(peakKiB, peakMemoryKiB(pid));
        QTest::qWait(10);
        output += client.readAll();
    }
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished();
        QFAIL("parcelwright-ftp did not end within a minute");
    }
    output += client.readAll();

    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 1);
    const QRegularExpression expected(said);
    QVERIFY2(expected.match(QString::fromLatin1(output)).hasMatch(),
             output.right(2000).constData());
    QVERIFY2(!output.contains("bytes sent in"), output.right(2000).constData());
    QVERIFY2(!output.contains("secret"), output.right(2000).constData());
    // A flooding server fills neither the client's memory nor the log it writes.
    QVERIFY2(peakKiB < 64 * 1024, qPrintable(u"peak %1 KiB"_s.arg(peakKiB)));
    QVERIFY2(output.size() < 1024 * 1024, qPrintable(u"%1 bytes of output"_s.arg(output.size())));
}

QTEST_GUILESS_MAIN(FtpRepliesTest)
#include "ftp_replies_test.moc"
