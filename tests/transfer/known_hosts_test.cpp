#include "support/files.h"
#include "support/testbed.h"
#include "transfer/client_reason.h"
#include "transfer/known_hosts.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// clang-format off
const QByteArray kKey1 = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIKVWr8VHKyEvLLwlV1wWGkFapBswGeY04k8CjejcgvLP";
const QByteArray kKey2 = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAINIAFVoe1TK9LrghLet1zjoRqP6KtM6g75dilYjwiYH/";
const QByteArray kKey3 = "ecdsa-sha2-nistp256 AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBB/GqT8OYtnHHG0qgRItUA6lfy7Fk94zejUPBUV4hV9Vv0ivrAy+N6keAVBngXnC87tXb9btY6cvAHl5tbEo4n4=";
const QString kPrint1 = u"SHA256:L/9yRfoy8UYrHfRdB62TJSudhXiANq3tWb9sbLM/mmA"_s;
const QString kPrint2 = u"SHA256:SLTxr9AJ37YtCAb4rr53b9q+ACue9xeqFsQGDL6DryA"_s;
const QString kPrint3 = u"SHA256:7sX7FkifFyJIw4e2euW2vfibxS0RMOGHhm044SwX/Fo"_s;
// clang-format on

/// The launcher line's echo and psftp's lines, run with `-hostkey` for each of `keys` against the
/// test bed's sshd, under -batch and with no key stored; *status its exit status.
QByteArrayList runPsftp(const Testbed &tb, const QStringList &keys, int *status)
{
    QTemporaryDir dir;
    if (!writeBytes(dir.filePath(u"s"_s), "pwd\r\nquit\r\n") ||
        !writeBytes(dir.filePath(u"p"_s), tb.plain.password.toUtf8(), 0600))
        return {};
    QStringList arguments{u"-batch"_s, u"-P"_s, QString::number(tb.sshPort)};
    for (const QString &key : keys)
        arguments << u"-hostkey"_s << key;
    arguments << tb.plain.user + u"@127.0.0.1"_s << u"-b"_s << dir.filePath(u"s"_s) << u"-pwfile"_s
              << dir.filePath(u"p"_s);
    QProcess psftp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PUTTYDIR"_s, dir.path());
    psftp.setProcessEnvironment(environment);
    psftp.setProcessChannelMode(QProcess::MergedChannels);
    psftp.setStandardInputFile(QProcess::nullDevice());
    psftp.start(u"psftp"_s, arguments);
    *status = psftp.waitForFinished(30000) ? psftp.exitCode() : -1;
    return QByteArrayList{"/w>psftp " + arguments.join(u' ').toUtf8()} +
           psftp.readAll().split('\n');
}

} // namespace

/// The keys an OpenSSH known_hosts file gives psftp, and psftp taking them for real.
class KnownHostsTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void givesKeys_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("keys");
        // clang-format off
        QTest::newRow("plain name in a list, in any case") << u"B.example"_s << 22 << QStringList{kPrint1, kPrint3};
        QTest::newRow("bracketed port") << u"a.example"_s << 2222 << QStringList{kPrint2};
        QTest::newRow("wrong port") << u"a.example"_s << 2223 << QStringList();
        QTest::newRow("wildcard; junk and authorities skipped") << u"d.example"_s << 22 << QStringList{kPrint3};
        QTest::newRow("negated") << u"c.example"_s << 22 << QStringList();
        QTest::newRow("revoked") << u"r.example"_s << 22 << QStringList{kPrint3};
        // clang-format on
    }

    void givesKeys()
    {
        // clang-format off
        const KnownHosts file("# comment " + kKey1 + "\r\na.example,b.example " + kKey1 + " user@host\r\n\n[a.example]:2222 " + kKey2 +
                              "\nb.example\t" + kKey1 + "\n*.example,!c.example " + kKey3 + "\nr.example " + kKey2 +
                              "\n@revoked r.example " + kKey2 + "\n@cert-authority d.example " + kKey1 +
                              "\nd.example ssh-ed25519 !!notbase64\nd.example ssh-rsa " + kKey1.mid(12) +
                              "\nd.example ssh-dss AAAAB3NzaC1kc3MAAA==\n|1|junk " + kKey1 + "\nd.example\n");
        // clang-format on
        QFETCH(QString, host);
        QFETCH(int, port);
        QTEST(file.fingerprints(host, port), "keys");
    }

    void psftpTakesThem()
    {
        PW_REQUIRE_TESTBED(tb);
        QProcess scan;
        scan.start(u"ssh-keyscan"_s,
                   {u"-H"_s, u"-p"_s, QString::number(tb.sshPort), u"127.0.0.1"_s});
        QVERIFY(scan.waitForFinished(30000));
        const QStringList keys =
            KnownHosts(scan.readAllStandardOutput()).fingerprints(u"127.0.0.1"_s, tb.sshPort);
        int status = -1;
        const QByteArrayList sent = runPsftp(tb, keys, &status);
        QVERIFY2(status == 0 && sent.contains("Remote directory is " + tb.plain.home.toUtf8()),
                 sent.join('\n'));
        const QByteArrayList refused = runPsftp(tb, {kPrint1}, &status);
        QCOMPARE(status, 1);
        QVERIFY2(refused.contains("FATAL ERROR: Host key not in manually configured list"),
                 refused.join('\n'));
        QCOMPARE(failureReason(refused, {true, false, 1, 0, {}}),
                 u"The server's host key is not among those given for 127.0.0.1 ("_s + kPrint1 +
                     u')');
    }
};

QTEST_GUILESS_MAIN(KnownHostsTest)
#include "known_hosts_test.moc"
