#include "support/files.h"
#include "support/scripted_ftp_server.h"
#include "support/testbed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// How one run of parcelwright-batch ended.
struct BatchRun
{
    int status = -1; // -1: it did not end by itself within two minutes
    QByteArray out;
    QByteArray err;
};

/// Runs parcelwright-batch in `directory` (also its HOME) as a process of its own; `whileRunning`
/// is called every few milliseconds, with the event loop turning, until it has ended.
BatchRun runBatch(const QString &directory, const QStringList &arguments,
                  const std::function<void(QProcess &)> &whileRunning = nullptr)
{
    QProcess batch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, directory);
    batch.setProcessEnvironment(environment);
    batch.setWorkingDirectory(directory);
    batch.setStandardInputFile(QProcess::nullDevice());
    batch.start(builtProgram(u"parcelwright-batch"_s), arguments);
    const bool ended = QTest::qWaitFor(
        [&] {
            if (whileRunning)
                whileRunning(batch);
            return batch.state() == QProcess::NotRunning;
        },
        120000);
    BatchRun run;
    if (!ended)
        batch.kill();
    else if (batch.exitStatus() == QProcess::NormalExit)
        run.status = batch.exitCode();
    batch.waitForFinished();
    run.out = batch.readAllStandardOutput();
    run.err = batch.readAllStandardError();
    return run;
}

/// A destinations file of the user's own, one tab-separated line per row after a comment.
bool writeDestinations(const QString &path, const QList<QStringList> &rows)
{
    QByteArray text = "# Secure Shell, host, remote directory, user id, password\n";
    for (const QStringList &row : rows)
        text += row.join(u'\t').toLocal8Bit() + '\n';
    return writeBytes(path, text, 0600);
}

/// The destination objects of a report by row, and its summary under row 0.
QMap<int, QJsonObject> readReport(const QString &path)
{
    QMap<int, QJsonObject> lines;
    for (const QByteArray &line : readBytes(path).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            lines.insert(object.value(u"row"_s).toInt(), object);
    }
    return lines;
}

QStringList outcomesOf(const QMap<int, QJsonObject> &report)
{
    QStringList outcomes;
    for (auto it = report.cbegin(); it != report.cend(); ++it) {
        if (it.key() > 0)
            outcomes << u"%1 %2"_s.arg(it.key()).arg(it->value(u"outcome"_s).toString());
    }
    return outcomes;
}

/// A remote directory every test account may write into, made by root and removed with its files.
QString openDirectory(QTemporaryDir &dir)
{
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    return dir.path();
}

} // namespace

Q_DECLARE_METATYPE(Client)

/// parcelwright-batch as a scheduler runs it: argument errors, real runs against the test bed's
/// servers read back from their reports, a rerun of what a killed server did not take.
class BatchTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void refusals_data();
    void refusals();
    void sendsAndReports_data();
    void sendsAndReports();
    void resendsOnlyWhatFailed();
    void truncatedUploadFails();

private:
    std::optional<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void BatchTest::init()
{
    m_dir.emplace();
    QVERIFY(QDir(m_dir->path()).mkdir(u"work"_s));
    QVERIFY(writeBytes(path(u"a b.txt"_s), "first file\r\n"));
    QVERIFY(writeBytes(path(u"small.bin"_s), QByteArray(4096, 's')));
}

void BatchTest::refusals_data()
{
    QTest::addColumn<QString>("replaced");      // an option of a valid request left out, or none
    QTest::addColumn<QStringList>("arguments"); // added at the end
    QTest::addColumn<QString>("said");          // the one line on standard error; {DIR}
    const QString name = u"The Profile name is used as a file name - please stick to A-Z and _ "
                         "(underlines) - Profile NOT stored - Please try again, Thank You"_s;
    const QString tsv = u"--destinations"_s;
    // clang-format off
    QTest::newRow("unknown option") << QString() << QStringList{u"--frobnicate"_s} << u"parcelwright-batch: unknown option '--frobnicate' (see --help)"_s;
    QTest::newRow("missing value") << u"--report"_s << QStringList{u"--report"_s, u"--quiet"_s} << u"parcelwright-batch: missing value after --report (see --help)"_s;
    QTest::newRow("no jobs") << QString() << QStringList{u"--jobs"_s, u"0"_s} << u"parcelwright-batch: --jobs takes a number from 1 to 64, not '0' (see --help)"_s;
    QTest::newRow("rows backwards") << QString() << QStringList{u"--rows=9-3"_s} << u"parcelwright-batch: --rows takes FROM-TO, two row numbers from 1 to 4999 with FROM not above TO, not '9-3' (see --help)"_s;
    QTest::newRow("two sources") << QString() << QStringList{u"--profile"_s, u"p"_s} << u"parcelwright-batch: give --profile or --destinations, not both (see --help)"_s;
    QTest::newRow("missing profile") << tsv << QStringList{u"--profile"_s, u"weekly"_s} << u"parcelwright-batch: no profile weekly in {DIR}"_s;
    QTest::newRow("profile name with a path") << tsv << QStringList{u"--profile"_s, u"../weekly"_s} << u"Edit Error: "_s + name;
    QTest::newRow("wrong column count") << tsv << QStringList{tsv, u"columns.tsv"_s} << u"parcelwright-batch: columns.tsv, line 4: 5 tab-separated columns expected, 4 found"_s;
    QTest::newRow("destinations others may read") << tsv << QStringList{tsv, u"open.tsv"_s} << u"parcelwright-batch: open.tsv may be read or changed by other users: make it yours alone (chmod 600)"_s;
    QTest::newRow("missing file") << u"--files"_s << QStringList{u"--files"_s, u"gone.txt"_s} << u"parcelwright-batch: gone.txt is not a file that can be read"_s;
    QTest::newRow("report in a missing directory") << u"--report"_s << QStringList{u"--report"_s, u"no/r.jsonl"_s} << u"parcelwright-batch: --report no/r.jsonl: the directory {DIR}/no does not exist"_s;
    QTest::newRow("earlier report that is not one") << QString() << QStringList{u"--only-failed"_s, u"a b.txt"_s} << u"parcelwright-batch: a b.txt is not a report: line 1 is not a line of a report"_s;
    QTest::newRow("a faulty cell, row counted past the comment") << tsv << QStringList{tsv, u"nopassword.tsv"_s} << u"row 2, Password: There was no Password supplied - please correct this and continue"_s;
    QTest::newRow("a request-level fault") << u"--workdir"_s << QStringList{u"--workdir"_s, u"absent"_s} << u"No Files: Invalid working directory"_s;
    // clang-format on
}

void BatchTest::refusals()
{
    QFETCH(QString, replaced);
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QVERIFY(writeDestinations(path(u"hosts.tsv"_s), {{u"N"_s, u"h1"_s, {}, u"u"_s, u"p"_s}}));
    QVERIFY(writeBytes(path(u"columns.tsv"_s), "# c\nN\th1\t\tu\tp\n\nN\th3\tu\tp\n", 0600));
    QVERIFY(writeBytes(path(u"nopassword.tsv"_s), "# c\nN\th1\t\tu\tp\nN\th2\t\tu\t\n", 0600));
    QVERIFY(writeBytes(path(u"open.tsv"_s), "N\th1\t\tu\tp\n", 0644));
    const QStringList before = fileNamesIn(m_dir->path());
    QStringList all{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s,   u"a b.txt"_s,
                    u"--report"_s,       u"r.jsonl"_s,   u"--workdir"_s, u"work"_s};
    if (!replaced.isEmpty())
        all.remove(all.indexOf(replaced), 2);

    const BatchRun run = runBatch(m_dir->path(), all + arguments);

    QCOMPARE(run.status, 2);
    QCOMPARE(QString::fromLocal8Bit(run.err), said.replace(u"{DIR}"_s, m_dir->path()) + u'\n');
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(fileNamesIn(m_dir->path()), before);
    QCOMPARE(fileNamesIn(path(u"work"_s)), QStringList());
}

void BatchTest::sendsAndReports_data()
{
    QTest::addColumn<Client>("client");
    QTest::addColumn<QString>("refusal"); // the reason of a wrong password
    QTest::newRow("ftp") << Client::Ftp << u"530 Login incorrect."_s;
    QTest::newRow("psftp") << Client::Psftp << u"Access denied"_s;
}

void BatchTest::sendsAndReports()
{
    QFETCH(Client, client);
    QFETCH(QString, refusal);
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir plainRemote(tb.plain.home + u"/pw-batch-XXXXXX"_s);
    QTemporaryDir quotedRemote(tb.quoted.home + u"/pw-batch-XXXXXX"_s);
    const QString secure = client == Client::Psftp ? u"Y"_s : u"N"_s;
    const QString host = client == Client::Psftp ? tb.sshSession : tb.ftpHost;
    QList<QStringList> rows{
        {secure, host, openDirectory(plainRemote), tb.plain.user, tb.plain.password},
        {secure, host, plainRemote.path(), tb.plain.user, u"wrong"_s},
        {secure, host, openDirectory(quotedRemote), tb.quoted.user, tb.quoted.password}};
    // psftp abandons a host whose key it has not stored: the reason says how to store it.
    const QString sshPort = QString::number(tb.sshPort);
    if (client == Client::Psftp)
        rows.append({u"Y"_s, u"127.0.0.1:"_s + sshPort, {}, tb.plain.user, tb.plain.password});
    QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
    const QStringList arguments{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s,
                                u"a b.txt"_s,        u"small.bin"_s, u"--workdir"_s,
                                u"work"_s,           u"--jobs"_s,    u"4"_s};

    // A dry run shows the lines each client would get, passwords masked, and sends nothing.
    const BatchRun dry = runBatch(m_dir->path(), arguments + QStringList{u"--dry-run"_s});
    QCOMPARE(dry.status, 0);
    QVERIFY2(dry.out.contains("XferJob-0003.FTP") && dry.out.contains("********"), dry.out);
    const BatchRun run = runBatch(m_dir->path(), arguments + QStringList{u"--report"_s, u"r"_s});

    const QMap<int, QJsonObject> report = readReport(path(u"r"_s));
    QStringList expected{u"1 sent"_s, u"2 failed"_s, u"3 sent"_s};
    if (client == Client::Psftp)
        expected << u"4 failed"_s;
    QCOMPARE(outcomesOf(report), expected);
    QCOMPARE(run.status, 1);
    QCOMPARE(report[2].value(u"reason"_s).toString(), refusal);
    QCOMPARE(report[1].value(u"files"_s).toInt(), 2);
    QCOMPARE(report[3].value(u"userId"_s).toString(), tb.quoted.user);
    QCOMPARE(report[0].value(u"outcomes"_s).toObject().value(u"sent"_s).toInt(), 2);
    if (client == Client::Psftp)
        QCOMPARE(report[4].value(u"reason"_s).toString(),
                 u"The server's host key is not stored yet - store it once with 'Test the "
                 "Connection', or by hand with 'psftp -P %1 %2@127.0.0.1' (answer y)"_s.arg(
                     sshPort, tb.plain.user));
    const QByteArray everything = readBytes(path(u"r"_s)) + run.out + run.err + dry.out + dry.err;
    for (const QString &password : {tb.plain.password, tb.quoted.password})
        QVERIFY2(!everything.contains(password.toLocal8Bit()), everything);
    QCOMPARE(run.out.count("\nrow "), expected.size() - 1); // one line per destination
    for (const QString &remote : {plainRemote.path(), quotedRemote.path()})
        QCOMPARE(fileNamesIn(remote), (QStringList{u"a b.txt"_s, u"small.bin"_s}));
    QCOMPARE(fileNamesIn(path(u"work"_s)), QStringList{u"FTPLogALL.TXT"_s});
    QVERIFY(!QFileInfo::exists(path(u"r.part"_s)));
}

void BatchTest::resendsOnlyWhatFailed()
{
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir remote(tb.plain.home + u"/pw-batch-XXXXXX"_s);
    // A server that is gone, then back on the same port in front of the real one.
    QTcpServer gone;
    QVERIFY(gone.listen(QHostAddress::LocalHost));
    const quint16 gonePort = gone.serverPort();
    gone.close();
    // A server that takes the connection and never answers, until the run is ended.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const auto hostAt = [](quint16 port) { return u"127.0.0.1:%1"_s.arg(port); };
    QList<QStringList> rows{
        {u"N"_s, tb.ftpHost, openDirectory(remote), tb.plain.user, tb.plain.password},
        {u"N"_s, hostAt(gonePort), remote.path(), tb.plain.user, tb.plain.password},
        {u"N"_s, hostAt(silent.serverPort()), remote.path(), tb.plain.user, tb.plain.password},
        {u"N"_s, tb.ftpHost, remote.path(), tb.plain.user, tb.plain.password}};
    QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
    QStringList arguments{u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s, u"a b.txt"_s,
                          u"--workdir"_s,      u"work"_s,      u"--report"_s};

    // Once: a second signal after the run has ended would find the default action back.
    bool terminated = false;
    const BatchRun killed =
        runBatch(m_dir->path(), arguments + QStringList{u"first"_s}, [&](QProcess &batch) {
            if (silent.hasPendingConnections() && !terminated) {
                terminated = true;
                batch.terminate();
            }
        });

    QCOMPARE(killed.status, 3);
    QCOMPARE(outcomesOf(readReport(path(u"first"_s))),
             (QStringList{u"1 sent"_s, u"2 failed"_s, u"3 cancelled"_s, u"4 not started"_s}));
    QCOMPARE(fileNamesIn(path(u"work"_s)), QStringList{u"FTPLogALL.TXT"_s});

    QTcpServer back;
    QVERIFY(back.listen(QHostAddress::LocalHost, gonePort));
    QObject::connect(&back, &QTcpServer::newConnection, [&] {
        QTcpSocket *client = back.nextPendingConnection();
        auto *server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, quint16(tb.ftpPort));
        QObject::connect(client, &QTcpSocket::readyRead, [=] { server->write(client->readAll()); });
        QObject::connect(server, &QTcpSocket::readyRead, [=] { client->write(server->readAll()); });
        QObject::connect(server, &QTcpSocket::disconnected, client,
                         &QTcpSocket::disconnectFromHost);
    });
    rows[2][1] = hostAt(1);
    QVERIFY(writeDestinations(path(u"hosts.tsv"_s), rows));
    QVERIFY(QFile::remove(remote.filePath(u"a b.txt"_s)));

    const BatchRun again = runBatch(
        m_dir->path(), arguments + QStringList{u"again"_s, u"--only-failed"_s, u"first"_s});

    QCOMPARE(outcomesOf(readReport(path(u"again"_s))), (QStringList{u"2 sent"_s, u"4 sent"_s}));
    QCOMPARE(again.status, 0);
    QCOMPARE(QString::fromLocal8Bit(again.err),
             u"parcelwright-batch: row 3: the host is now '127.0.0.1:1', the report names '%1' "
             "- not sent\n"_s.arg(hostAt(silent.serverPort())));
    QCOMPARE(fileNamesIn(remote.path()), QStringList{u"a b.txt"_s});
}

void BatchTest::truncatedUploadFails()
{
    // Needs parcelwright-ftp's check of the size the server holds after each put: the server
    // answers SIZE with fewer bytes than were sent.
    const ScriptedFtpServer server({"220 hi\r\n", "331 pw\r\n", "230 in\r\n", "257 \"/\"\r\n",
                                    "250 ok\r\n", "229 Extended Passive Mode (|||%P|)\r\n",
                                    "200 ok\r\n", "150 Ok\r\n226 Done\r\n", "213 1000\r\n",
                                    "200 ok\r\n", "221 bye\r\n"},
                                   std::chrono::seconds(5));
    QVERIFY(server.port() != 0);
    QVERIFY(
        writeDestinations(path(u"hosts.tsv"_s),
                          {{u"N"_s, u"127.0.0.1:%1"_s.arg(server.port()), {}, u"u"_s, u"p"_s}}));

    const BatchRun run =
        runBatch(m_dir->path(), {u"--destinations"_s, u"hosts.tsv"_s, u"--files"_s, u"small.bin"_s,
                                 u"--workdir"_s, u"work"_s, u"--report"_s, u"-"_s});

    const QJsonObject row = QJsonDocument::fromJson(run.out.split('\n').value(0)).object();
    QCOMPARE(row.value(u"outcome"_s).toString(), u"failed"_s);
    QCOMPARE(row.value(u"reason"_s).toString(),
             u"put %1: the server holds 1000 bytes, 4096 were sent"_s.arg(path(u"small.bin"_s)));
    QCOMPARE(run.status, 1);
}

QTEST_GUILESS_MAIN(BatchTest)
#include "batch_test.moc"
