#include "support/files.h"
#include "support/testbed.h"
#include "transfer/settings_checks.h"
#include "transfer/transfer_scripts.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What every command hidden in the test values would create in the directory it runs in.
const QString kMarker = u"pw-marker"_s;

// A psftp host given by a saved session, or a plain host name that only the default settings
// lead to the test server: psftp lets a saved session override some command-line options, so an
// injected option must meet a plain host.
enum class Host
{
    Ftp,
    Session,
    Plain
};

/// One run against a real client: the hostile account's, or its user id replaced by `user`.
struct Attack
{
    Host host;
    QString user;
    QByteArrayList said; // each in the log; {REMOTE}: the remote directory
};

// Every file and folder below a directory, as paths relative to it.
QStringList entriesBelow(const QString &directory)
{
    QStringList entries;
    QDirIterator it(directory, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(QDir(directory).relativeFilePath(it.next()));
    entries.sort();
    return entries;
}

// The markers found anywhere below the directories the commands could have run in.
QStringList markersIn(const QStringList &directories)
{
    QStringList found;
    for (const QString &directory : directories) {
        for (const QString &entry : entriesBelow(directory)) {
            if (QFileInfo(entry).fileName().startsWith(kMarker))
                found.append(directory + u'/' + entry);
        }
    }
    return found;
}

/// What one run of a launcher batch file left behind.
struct LauncherRun
{
    bool finished = false; // false: it did not end within two minutes and was killed
    int exitCode = -1;
    QByteArray log; // standard output and standard error, merged as the transfer run merges them
};

// Runs `parcelwright-cmd /C XferJob.BAT` in a directory that holds the files of one transfer as
// the transfer run does: both output streams into FTPLog0001.TXT, standard input from /dev/null.
LauncherRun runLauncher(const QString &dir)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir + u"/FTPLog0001.TXT"_s);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(builtProgram(u"parcelwright-cmd"_s), {u"/C"_s, u"XferJob.BAT"_s});
    LauncherRun run;
    run.finished = process.waitForFinished(120000);
    if (!run.finished)
        process.kill();
    process.waitForFinished(5000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.log = readBytes(dir + u"/FTPLog0001.TXT"_s);
    if (run.log.isEmpty())
        run.log = "no log: " + process.errorString().toLocal8Bit();
    return run;
}

} // namespace

Q_DECLARE_METATYPE(Attack)

/// Values a hostile user could key or pick, written by the real writers and run by the real
/// interpreter and clients against the test bed's servers: each arrives as plain data, and
/// nothing of it runs as a command or an option.
class HostileValuesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        PW_REQUIRE_TESTBED(tb);
        // A settings tree of this test's own: the test bed's session, and the same settings as the
        // defaults for a plain host. Both send even local connections through a proxy when one is
        // asked for, so that an injected -proxycmd would run; neither trusts a host key, so psftp
        // goes on only with those that the host keys file gives it.
        QByteArray settings;
        for (const QByteArray &line :
             readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession).split('\n')) {
            if (!line.isEmpty() && !line.startsWith("SSHManualHostKeys="))
                settings += line + '\n';
        }
        QVERIFY2(!settings.isEmpty(), qPrintable(tb.puttyDir));
        settings += "ProxyLocalhost=1\n";
        QVERIFY(QDir(m_putty.path()).mkpath(u"sessions"_s));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/"_s + tb.sshSession), settings));
        QVERIFY(writeBytes(m_putty.filePath(u"sessions/Default%20Settings"_s), settings));
        // The certificate file and the host keys file (the server's key for both of the psftp
        // hosts) under names that would split, add an option or run a command.
        QVERIFY(QDir(m_putty.path()).mkpath(m_folder));
        QVERIFY(QFile::copy(tb.ftpCaFile, caFile()));
        QProcess scan;
        scan.start(u"ssh-keyscan"_s, {u"-p"_s, QString::number(tb.sshPort), u"127.0.0.1"_s});
        QVERIFY(scan.waitForFinished());
        const QByteArray keys = scan.readAllStandardOutput().replace(
            "[127.0.0.1]:" + QByteArray::number(tb.sshPort), tb.sshSession.toUtf8() + ",127.0.0.1");
        QVERIFY(writeBytes(hostKeysFile(), keys, 0600));
    }

    void sendsValuesAsData_data()
    {
        QTest::addColumn<Attack>("attack");
        // The files and the directory travel in the script, whatever the host; the user id travels
        // on the launcher line, where a plain host lets an option in it act.
        const QString user = uR"(u" -proxycmd "touch pw-marker)"_s;
        const QByteArray name = user.toLocal8Bit();
        QTest::newRow("ftp, names")
            << Attack{Host::Ftp, {}, {"Control and data connections protected by TLS."}};
        QTest::newRow("psftp, names")
            << Attack{Host::Session, {}, {"Remote directory is now {REMOTE}"}};
        QTest::newRow("ftp, user id") << Attack{
            Host::Ftp, user, {"User (127.0.0.1:(none)): " + name + "\n", "530 Login incorrect."}};
        QTest::newRow("psftp, user id")
            << Attack{Host::Plain, user, {"Using username \"" + name + "\".", "Access denied"}};
    }

    void sendsValuesAsData()
    {
        PW_REQUIRE_TESTBED(tb);
        QFETCH(Attack, attack);
        // Loading the test bed points PUTTYDIR at its own settings tree.
        qputenv("PUTTYDIR", QFile::encodeName(m_putty.path()));
        TestbedAccount account = tb.hostile;
        const bool refused = !attack.user.isEmpty();
        if (refused)
            account.user = attack.user;

        // Listed files whose names would split, move, add an option or run a command; qxy.txt lies
        // beside them unlisted, and a name beginning with "-" is listed by a path relative to the
        // working directory, the only way a path can begin so.
        QTemporaryDir work, local;
        const QString dir = QDir(work.path()).canonicalPath();
        const QStringList names{uR"(q"x"y.txt)"_s, uR"(..\outside.txt)"_s, u"-r"_s, u"a b.txt"_s,
                                u"$(touch "_s + kMarker + u")"_s};
        QStringList files;
        for (const QString &name : names) {
            files.append(local.filePath(name));
            QVERIFY(writeBytes(files.last(), name.toUtf8() + " bytes\r\n"));
        }
        QVERIFY(writeBytes(local.filePath(u"qxy.txt"_s), "must stay here"));
        const QString dashed = u"-dash.txt"_s;
        files.append(dashed);
        QVERIFY(writeBytes(dir + u'/' + dashed, "relative"));
        // A remote directory holding a blank and double quotes, made by root for the account.
        QTemporaryDir remote(account.home + uR"(/pw "q" x-XXXXXX)"_s);
        QVERIFY(QFile::setPermissions(remote.path(), QFileDevice::Permissions(0x7777)));
        const QString host = attack.host == Host::Ftp       ? tb.ftpTlsHost
                             : attack.host == Host::Session ? tb.sshSession
                                                            : u"127.0.0.1"_s;

        // The generated files, by the real writers, with TLS required under the certificate file
        // and the host keys of the file, both checked and read as a request reads them.
        TransferSettings settings{
            .ftpTls = FtpTls::Required, .caFile = caFile(), .hostKeysFile = hostKeysFile()};
        std::optional<KnownHosts> keys;
        QVERIFY(!checkSettings(&settings, &keys));
        Destination destination{
            0, attack.host != Host::Ftp, host, remote.path(), account.user, account.password};
        destination.hostKeys = hostKeysFor(keys, host);
        QVERIFY(!destination.hostKeys.isEmpty() || !destination.secure);
        QVERIFY(writeJobFiles(dir, {}, jobFiles(destination, files, {}, settings), nullptr));
        const LauncherRun run = runLauncher(dir);

        QCOMPARE(markersIn({dir, local.path(), account.home}), QStringList());
        QVERIFY2(run.finished && run.exitCode == (refused ? 1 : 0), run.log.constData());
        for (QByteArray said : attack.said) {
            said.replace("{REMOTE}", QFile::encodeName(remote.path()));
            QVERIFY2(run.log.contains(said), run.log.constData());
        }
        QStringList expected = names;
        expected.append(dashed);
        expected.sort();
        QCOMPARE(entriesBelow(remote.path()), refused ? QStringList() : expected);
        for (const QString &file : refused ? QStringList() : files)
            QCOMPARE(readBytes(remote.filePath(QFileInfo(file).fileName())),
                     readBytes(file.startsWith(u'-') ? dir + u'/' + file : file));
        QVERIFY2(!run.log.contains(account.password.trimmed().toLocal8Bit()), run.log.constData());
    }

private:
    QTemporaryDir m_putty;
    const QString m_folder = uR"(keys "q" & %HOME% ^! -tls:never $(touch pw-marker))"_s;
    QString caFile() const { return m_putty.filePath(m_folder + u"/ca \"q\" & %x% ^! .pem"_s); }
    QString hostKeysFile() const { return m_putty.filePath(m_folder + u"/known hosts"_s); }
};

QTEST_GUILESS_MAIN(HostileValuesTest)
#include "hostile_values_test.moc"
