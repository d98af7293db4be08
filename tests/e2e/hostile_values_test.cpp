#include "support/files.h"
#include "support/testbed.h"
#include "transfer/transfer_scripts.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What every command hidden in the test values would create in the directory it runs in.
const QString kMarker = u"pw-marker"_s;

// A psftp host given by a saved session, or a plain host name that only the default settings
// lead to the test server: psftp lets a saved session override some command-line options, so an
// injected option must also meet a plain host.
enum class Host
{
    Ftp,
    Session,
    Plain
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

// What stands at the top of an account's home, but for the scratch directories ("pw-...", "pw
// ...") that tests running meanwhile, here or in another build, make and remove there: a file
// that escapes its remote directory lands here.
QStringList homeEntries(const QString &home)
{
    QStringList entries =
        QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    entries.removeIf(
        [](const QString &name) { return name.startsWith(u"pw-"_s) || name.startsWith(u"pw "_s); });
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

/// The three generated files of one destination, written by the real writers into a working
/// directory of their own, as the transfer run writes them.
struct Job
{
    QTemporaryDir work;
    QString dir = QDir(work.path()).canonicalPath();

    bool write(Host host, const QString &hostName, const TestbedAccount &account,
               const QString &remoteDirectory, const QStringList &files)
    {
        const bool secure = host != Host::Ftp;
        const QString flag = secure ? u"Y"_s : u"N"_s;
        // A Secure Shell row's account is on the launcher line and in the password file only.
        const QString user = secure ? QString() : account.user;
        const QString password = secure ? QString() : account.password;
        const JobFileNames names;
        removeJobFiles(dir, names);
        const JobFiles jobFiles{
            launcherLines(flag, hostName, account.user, names),
            transferScriptLines(flag, remoteDirectory, user, password, hostName, files), secure,
            passwordFileLines(account.password)};
        return writeJobFiles(dir, names, jobFiles, nullptr);
    }
};

} // namespace

Q_DECLARE_METATYPE(Host)

/// Values a hostile user could key or pick, written by the real writers and run by the real
/// interpreter and clients against the test bed's servers: each arrives as plain data, and
/// nothing of it runs as a command or an option.
class HostileValuesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sendsValuesAsData_data();
    void sendsValuesAsData();
    void userIdIsOneName_data();
    void userIdIsOneName();

private:
    QString hostName(const Testbed &tb, Host host) const;
    void usePrivateSettings() const;

    QTemporaryDir m_putty;
};

void HostileValuesTest::initTestCase()
{
    PW_REQUIRE_TESTBED(tb);
    // A settings tree of this test's own: the test bed's session, and the same settings as the
    // defaults for a plain host. Both send even local connections through a proxy when one is
    // asked for, so that an injected -proxycmd would run.
    QByteArray settings = readBytes(tb.puttyDir + u"/sessions/"_s + tb.sshSession);
    QVERIFY2(!settings.isEmpty(), qPrintable(tb.puttyDir));
    settings += "ProxyLocalhost=1\n";
    QVERIFY(QDir(m_putty.path()).mkpath(u"sessions"_s));
    QVERIFY(writeBytes(m_putty.filePath(u"sessions/"_s + tb.sshSession), settings));
    QVERIFY(writeBytes(m_putty.filePath(u"sessions/Default%20Settings"_s), settings));
}

void HostileValuesTest::usePrivateSettings() const
{
    // Loading the test bed points PUTTYDIR at its own settings tree.
    qputenv("PUTTYDIR", QFile::encodeName(m_putty.path()));
}

QString HostileValuesTest::hostName(const Testbed &tb, Host host) const
{
    switch (host) {
    case Host::Ftp:
        return tb.ftpHost;
    case Host::Session:
        return tb.sshSession;
    case Host::Plain:
        break;
    }
    return u"127.0.0.1"_s;
}

void HostileValuesTest::sendsValuesAsData_data()
{
    QTest::addColumn<Host>("host");
    QTest::newRow("ftp") << Host::Ftp;
    QTest::newRow("psftp, saved session") << Host::Session;
    QTest::newRow("psftp, plain host") << Host::Plain;
}

void HostileValuesTest::sendsValuesAsData()
{
    PW_REQUIRE_TESTBED(tb);
    usePrivateSettings();
    QFETCH(Host, host);
    const TestbedAccount &account = tb.hostile;

    // Listed files whose names would split, move, add an option or run a command; qxy.txt lies
    // beside them unlisted, and a name beginning with "-" is listed by a path relative to the
    // working directory, the only way a path can begin so.
    Job job;
    QTemporaryDir local;
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
    QVERIFY(writeBytes(job.dir + u'/' + dashed, "relative"));

    // A remote directory holding a blank and double quotes, made by root for the account.
    const QStringList homeBefore = homeEntries(account.home);
    QTemporaryDir remote(account.home + uR"(/pw "q" x-XXXXXX)"_s);
    QVERIFY(QFile::setPermissions(remote.path(), QFileDevice::Permissions(0x7777)));

    QVERIFY(job.write(host, hostName(tb, host), account, remote.path(), files));
    const LauncherRun run = runLauncher(job.dir);

    QCOMPARE(markersIn({job.dir, local.path(), account.home}), QStringList());
    QVERIFY2(run.finished && run.exitCode == 0, run.log.constData());
    QVERIFY2(run.log.contains(host == Host::Ftp
                                  ? "230 Login successful."
                                  : "Remote directory is now " + QFile::encodeName(remote.path())),
             run.log.constData());
    QStringList expected = names;
    expected.append(dashed);
    expected.sort();
    QCOMPARE(entriesBelow(remote.path()), expected);
    for (const QString &file : files) {
        const QString name = QFileInfo(file).fileName();
        QCOMPARE(readBytes(remote.filePath(name)),
                 readBytes(file.startsWith(u'-') ? job.dir + u'/' + file : file));
    }
    QCOMPARE(homeEntries(account.home), homeBefore);
    QVERIFY2(!run.log.contains(account.password.trimmed().toLocal8Bit()), run.log.constData());
}

void HostileValuesTest::userIdIsOneName_data()
{
    QTest::addColumn<Host>("host");
    QTest::addColumn<QByteArray>("reported"); // what the log must say of the user id
    const QByteArray name = R"(u" -proxycmd "touch pw-marker)";
    QTest::newRow("ftp") << Host::Ftp << "User (127.0.0.1:(none)): " + name + "\n";
    QTest::newRow("psftp, saved session") << Host::Session << "Using username \"" + name + "\".";
    QTest::newRow("psftp, plain host") << Host::Plain << "Using username \"" + name + "\".";
}

void HostileValuesTest::userIdIsOneName()
{
    PW_REQUIRE_TESTBED(tb);
    usePrivateSettings();
    QFETCH(Host, host);
    QFETCH(QByteArray, reported);
    TestbedAccount account = tb.hostile;
    account.user = uR"(u" -proxycmd "touch pw-marker)"_s;

    Job job;
    QVERIFY(writeBytes(job.dir + u"/a.txt"_s, "a"));
    QVERIFY(job.write(host, hostName(tb, host), account, QString(), {u"a.txt"_s}));
    const LauncherRun run = runLauncher(job.dir);

    QCOMPARE(markersIn({job.dir}), QStringList());
    QVERIFY2(run.finished && run.exitCode == 1, run.log.constData());
    QVERIFY2(run.log.contains(reported), run.log.constData());
    QVERIFY2(run.log.contains(host == Host::Ftp ? "530 Login incorrect." : "Access denied"),
             run.log.constData());
}

QTEST_GUILESS_MAIN(HostileValuesTest)
#include "hostile_values_test.moc"
