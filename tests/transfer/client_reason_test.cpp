#include "transfer/client_reason.h"
#include "transfer/password_mask.h"

#include <QtTest>

using namespace Qt::StringLiterals;

/// The reason a failed destination gets from what the real clients print, and whether another
/// try may help (parcelwright-ftp's lines are played against servers in ftp_session, ftp_replies).
class ClientReasonTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsReason_data()
    {
        QTest::addColumn<QByteArrayList>("output");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("passing");
        const QByteArray echo = "/w>psftp -hostkey SHA256:k1 -P 2222 -hostkey SHA256:k2 \"a "
                                "b\"@h.example -b XferJob.FTP -pwfile XferJob.PWD";
        // clang-format off
        QTest::newRow("time-out during a put") << QByteArrayList{"ftp> put a.txt", "150 Ok to send data.", "ftp: time-out after 30 seconds without an answer or progress: Operation too slow", "ftp> quit"} << u"ftp: time-out after 30 seconds without an answer or progress: Operation too slow"_s << true;
        QTest::newRow("refused cd names its directory") << QByteArrayList{"230 Login successful.", "ftp> cd \"/in \"\"box\"\"\"", "550 Failed to change directory.", "ftp> put a.txt", "553 Could not create file."} << u"550 Failed to change directory.: /in \"box\""_s << false;
        QTest::newRow("a made directory there already, then a 4xx") << QByteArrayList{"ftp> mkdir in", "550 Create directory operation failed.", "ftp> cd in", "250 ok", "ftp> put a.txt", "451 Local error."} << u"451 Local error."_s << true;
        QTest::newRow("psftp's made directories, then a local file") << QByteArrayList{"mkdir /root: permission denied", "Remote directory is now /in", "local: unable to open a.txt"} << u"local: unable to open a.txt"_s << false;
        QTest::newRow("refused log-in") << QByteArrayList{"331 Please specify the password.", "Password:", "530 Login incorrect.", "Login failed.", "ftp> cd in", "Not connected."} << u"530 Login incorrect."_s << false;
        QTest::newRow("psftp: refused log-in") << QByteArrayList{"Using username \"u\".", "Access denied", "FATAL ERROR: Configured password was not accepted"} << u"Access denied"_s << false;
        QTest::newRow("closed before the greeting") << QByteArrayList{"ftp: response reading failed (errno: 115)", "ftp> cd in", "Not connected."} << u"ftp: response reading failed (errno: 115)"_s << true;
        QTest::newRow("FTP connection refused") << QByteArrayList{"ftp: connect: Failed to connect to 127.0.0.1 port 1 after 0 ms: Couldn't connect to server"} << u"ftp: connect: Failed to connect to 127.0.0.1 port 1 after 0 ms: Couldn't connect to server"_s << true;
        QTest::newRow("psftp: closed at once") << QByteArrayList{"FATAL ERROR: Connection reset by peer"} << u"FATAL ERROR: Connection reset by peer"_s << true;
        QTest::newRow("TLS demanded, not offered") << QByteArrayList{"220 (vsFTPd 3.0.3)", "ftp: TLS required but the server does not offer it: 500 AUTH not understood.", "ftp> put a.txt", "Not connected."} << u"ftp: TLS required but the server does not offer it: 500 AUTH not understood."_s << false;
        QTest::newRow("certificate refused") << QByteArrayList{"ftp: the server's certificate has expired: SSL certificate problem: certificate has expired"} << u"ftp: the server's certificate has expired: SSL certificate problem: certificate has expired"_s << false;
        QTest::newRow("host key not among those given") << QByteArrayList{echo, "Using username \"a b\".", "FATAL ERROR: Host key not in manually configured list"} << u"The server's host key is not among those given for h.example (SHA256:k1, SHA256:k2)"_s << false;
        QTest::newRow("and the one offered, when psftp said") << QByteArrayList{echo, "Host key fingerprint is:", "ssh-ed25519 255 SHA256:k3", "FATAL ERROR: Host key not in manually configured list"} << u"The server's host key is not among those given for h.example (SHA256:k1, SHA256:k2) - it offered ssh-ed25519 255 SHA256:k3"_s << false;
        QTest::newRow("escape sequences a server sent") << QByteArrayList{"FATAL ERROR: \x1b]0;owned\x07\x1b[2J\xc2\x9b caf\xc3\xa9"} << u"FATAL ERROR: ^[]0;owned^G^[[2JM-BM-^[ caf\u00e9"_s << false;
        // clang-format on
    }

    void findsReason()
    {
        QFETCH(QByteArrayList, output);
        const QString reason = failureReason(output, {true, false, 1, 0, {}});
        QTEST(reason, "reason");
        QTEST(isPassingFailure(reason), "passing");
    }

    void stoppedForNoProgress() { QVERIFY(isPassingFailure(noProgressReason(5))); }

    void masksEchoedPasswords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("echoed, every time") << u"530 Login incorrect for s3cret (s3cret)"_s << u"s3cret"_s << u"530 Login incorrect for ******** (********)"_s;
        QTest::newRow("glued to other words") << u"PASS=xs3cretx"_s << u"s3cret"_s << u"PASS=x********x"_s;
        QTest::newRow("a short one as a word of its own") << u"530 Login incorrect for p."_s << u"p"_s << u"530 Login incorrect for ********."_s;
        QTest::newRow("a short one inside words stays") << u"ftp: connect: port 1 stopped"_s << u"p"_s << u"ftp: connect: port 1 stopped"_s;
        QTest::newRow("a short one of signs, anywhere") << u"a%$b"_s << u"%$"_s << u"a********b"_s;
        QTest::newRow("a short one beside non-ASCII letters stays") << u"für"_s << u"r"_s << u"für"_s;
        // clang-format on
    }

    void masksEchoedPasswords()
    {
        QFETCH(QString, text);
        QFETCH(QString, password);
        QTEST(withPasswordMasked(text, password), "shown");
        QTEST(QString::fromUtf8(withPasswordMasked(text.toUtf8(), password)), "shown");
    }
};

QTEST_GUILESS_MAIN(ClientReasonTest)
#include "client_reason_test.moc"
