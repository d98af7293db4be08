#include "support/files.h"
#include "support/processes.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

/// Standard output of a program that must succeed; empty, with the test failed, otherwise.
QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(300000) || process.exitCode() != 0) {
        QTest::qFail(qPrintable(program + u" failed: "_s +
                                QString::fromLocal8Bit(process.readAllStandardError() +
                                                       process.readAllStandardOutput())),
                     __FILE__, __LINE__);
        return {};
    }
    return process.readAllStandardOutput();
}

/// A home as the launch script may find it.
struct LaunchRow
{
    QString setUp;                           // a shell command run in the home beforehand
    QString home = QStringLiteral("{HOME}"); // or {RELATIVE} to it, or {UNSET}
    QString refusal;                         // empty: the program starts
};

} // namespace

Q_DECLARE_METATYPE(LaunchRow)

/// One installation of this build, moved after it was installed, and the Debian package of it.
class PackagingTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;
    QString m_package;
    QString m_home; // a new one for each test, with a blank in its path
    QString m_folder;
    int m_users = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // Blanks and quotes in the prefix reach the desktop entry's command line. The
        // installation is then moved, its old place left as a link to the new one: what the
        // entry starts must find the rest from where it really is.
        const QString installed = m_root.filePath(u"it's \"our\" prefix"_s);
        output(QStringLiteral(PARCELWRIGHT_CMAKE),
               {u"--install"_s, QStringLiteral(PARCELWRIGHT_BUILD_DIR), u"--prefix"_s, installed});
        m_prefix = m_root.filePath(u"moved elsewhere"_s);
        QVERIFY(QDir().rename(installed, m_prefix));
        QVERIFY(QFile::link(m_prefix, installed));

        const QString packages = m_root.filePath(u"packages"_s);
        output(QStringLiteral(PARCELWRIGHT_CPACK),
               {u"-G"_s, u"DEB"_s, u"-B"_s, packages, u"--config"_s,
                QStringLiteral(PARCELWRIGHT_BUILD_DIR "/CPackConfig.cmake")});
        m_package = QDir(packages).entryInfoList({u"parcelwright_*.deb"_s}).value(0).filePath();
        QVERIFY2(!m_package.isEmpty(), "cpack made no package");
    }
    void init()
    {
        m_home = m_root.filePath(u"home of user %1"_s.arg(++m_users));
        m_folder = m_home + u"/Parcelwright"_s;
        QVERIFY(QDir().mkpath(m_home));
    }

    void menuEntryStartsTheProgramInTheUsersFolder()
    {
        const QString entry = m_prefix + u"/share/applications/parcelwright.desktop"_s;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_home);
        QProcess desktop;
        desktop.setProcessEnvironment(environment);
        // The program inherits these, and a pipe closed behind it would end it at its first word.
        desktop.setStandardInputFile(QProcess::nullDevice());
        desktop.setStandardOutputFile(QProcess::nullDevice());
        desktop.setStandardErrorFile(QProcess::nullDevice());
        // gio reads the entry's Exec line as a desktop does and starts what it names.
        desktop.start(u"gio"_s, {u"launch"_s, entry});
        QVERIFY2(desktop.waitForFinished(), "gio (libglib2.0-bin) is needed");
        QCOMPARE(desktop.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(processIdsIn(m_folder, u"parcelwright"_s).size(), 1, 20000);
        const pid_t pid = processIdsIn(m_folder, u"parcelwright"_s).constFirst();
        ::kill(pid, SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(pid), 20000);
    }

    void launchScript_data()
    {
        QTest::addColumn<LaunchRow>("row");
        const QString notAFolder = u"Parcelwright is not a folder"_s;
        const QString noHome = u"HOME is not set"_s;
        // clang-format off
        QTest::newRow("first start") << LaunchRow{};
        QTest::newRow("folder without help") << LaunchRow{u"mkdir Parcelwright"_s, u"{HOME}"_s, {}};
        QTest::newRow("user's own help") << LaunchRow{u"mkdir Parcelwright && echo mine > Parcelwright/Help.rtf"_s, u"{HOME}"_s, {}};
        QTest::newRow("help a dangling link") << LaunchRow{u"mkdir Parcelwright elsewhere && ln -s ../elsewhere/Help.rtf Parcelwright/Help.rtf"_s, u"{HOME}"_s, {}};
        QTest::newRow("folder a link") << LaunchRow{u"mkdir elsewhere && echo mine > elsewhere/Help.rtf && ln -s elsewhere Parcelwright"_s, u"{HOME}"_s, {}};
        QTest::newRow("a file in the way") << LaunchRow{u"echo mine > Parcelwright"_s, u"{HOME}"_s, notAFolder};
        QTest::newRow("a dangling link") << LaunchRow{u"ln -s nowhere Parcelwright"_s, u"{HOME}"_s, notAFolder};
        QTest::newRow("no HOME") << LaunchRow{{}, u"{UNSET}"_s, noHome};
        QTest::newRow("empty HOME") << LaunchRow{{}, u""_s, noHome};
        QTest::newRow("relative HOME") << LaunchRow{{}, u"{RELATIVE}"_s, u"is not an absolute path"_s};
        // clang-format on
    }
    void launchScript()
    {
        QFETCH(LaunchRow, row);
        QCOMPARE(QProcess::execute(
                     u"sh"_s, {u"-c"_s, u"cd \"$1\" || exit 1; "_s + row.setUp, u"sh"_s, m_home}),
                 0);
        const QString help = m_folder + u"/Help.rtf"_s;
        const bool folderHeld = QFileInfo(m_folder).exists() || QFileInfo(m_folder).isSymLink();
        const bool helpHeld = QFileInfo(help).exists() || QFileInfo(help).isSymLink();
        const QByteArray helpBefore = readBytes(help);
        const QByteArray folderBefore = readBytes(m_folder);

        QProcess launch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"HOME"_s);
        if (row.home != u"{UNSET}"_s)
            environment.insert(
                u"HOME"_s,
                row.home.replace(u"{HOME}"_s, m_home)
                    .replace(u"{RELATIVE}"_s, QDir(m_root.path()).relativeFilePath(m_home)));
        launch.setProcessEnvironment(environment);
        launch.setWorkingDirectory(m_root.path()); // anywhere but the folder
        launch.start(m_prefix + u"/bin/parcelwright-desktop"_s, {});
        if (!row.refusal.isEmpty()) {
            QVERIFY(launch.waitForFinished() && launch.exitCode() != 0);
            const QString said = QString::fromLocal8Bit(launch.readAllStandardError());
            QVERIFY2(said.contains(row.refusal), qPrintable(said));
            // Nothing is made or changed, wherever a relative HOME might have pointed.
            QCOMPARE(readBytes(m_folder), folderBefore);
            QVERIFY(folderHeld || !QFileInfo::exists(m_folder));
            return;
        }
        // The script hands its process over to the program found beside its real self.
        QTRY_VERIFY_WITH_TIMEOUT(
            processIdsIn(QFileInfo(m_folder).canonicalFilePath(), u"parcelwright"_s)
                .contains(launch.processId()),
            20000);
        launch.terminate();
        QVERIFY(launch.waitForFinished());
        if (!folderHeld)
            QVERIFY(isOwnerOnly(m_folder));
        // Whatever stands at Help.rtf, a link too, is the user's own and never written to.
        QCOMPARE(readBytes(help),
                 helpHeld ? helpBefore
                          : readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf")));
    }

    void packageHoldsTheInstalledTree()
    {
        QStringList installed;
        QDirIterator it(m_prefix, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo file(it.next());
            installed << QDir(m_prefix).relativeFilePath(file.filePath()) +
                             (file.isExecutable() ? u"*"_s : QString());
        }
        installed.sort();
        QStringList packaged;
        const QString listing =
            QString::fromUtf8(output(u"dpkg-deb"_s, {u"--contents"_s, m_package}));
        for (const QString &line : listing.split(u'\n', Qt::SkipEmptyParts)) {
            // -rwxr-xr-x root/root 297776 2024-01-01 12:00 ./usr/bin/parcelwright
            const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
            if (!columns.value(0).startsWith(u'd'))
                packaged << columns.value(5).mid(6) +
                                (columns.value(0).at(3) == u'x' ? u"*"_s : QString());
        }
        packaged.sort();
        QCOMPARE(packaged, installed);
        // Every program has its manual page (lintian checks), and every manual page its program.
        for (const QString &page : installed.filter(u"share/man/man1/"_s))
            QVERIFY2(installed.contains(u"bin/"_s + QFileInfo(page).completeBaseName().chopped(2) +
                                        u'*'),
                     qPrintable(page));
        // Every option that parcelwright-batch --help lists is in its manual page.
        const QString page =
            QString::fromUtf8(readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR
                                                       "/packaging/man/parcelwright-batch.1")))
                .replace(u"\\-"_s, u"-"_s);
        const QString help = QString::fromUtf8(output(
            QStringLiteral(PARCELWRIGHT_BUILD_DIR "/bin/parcelwright-batch"), {u"--help"_s}));
        for (const QRegularExpressionMatch &option :
             QRegularExpression(u"--[a-z-]+"_s).globalMatch(help))
            QVERIFY2(page.contains(option.captured()), qPrintable(option.captured()));
        QCOMPARE(readBytes(m_prefix + u"/share/parcelwright/Help.rtf"_s),
                 readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf")));
    }

    void packageInstallsWithItsDependencies()
    {
        // apt resolves the package's dependencies as it would install them, changing nothing.
        const QString plan =
            QString::fromUtf8(output(u"apt-get"_s, {u"install"_s, u"--simulate"_s,
                                                    u"--no-install-recommends"_s, m_package}));
        QVERIFY2(QRegularExpression(u"^Inst parcelwright "_s, QRegularExpression::MultilineOption)
                     .match(plan)
                     .hasMatch(),
                 qPrintable(plan));
    }

    void lintianFindsNothing()
    {
        // Among much else, lintian checks the files' owners and that the menu entry's command is
        // in the package. Informational tags that stay, and why:
        const QStringList accepted{
            // Built with _FORTIFY_SOURCE; no call of its own writes to a buffer of known size.
            u"hardening-no-fortify-functions"_s,
            // The program reads Help.rtf from the user's folder, where the launch script puts it.
            u"package-contains-documentation-outside-usr-share-doc"_s,
            // The compiler keeps a message in eight-byte pieces; lintian reads one as a word.
            u"spelling-error-in-binary"_s,
        };
        const QString report =
            QString::fromUtf8(output(u"lintian"_s, {u"--display-info"_s, m_package}));
        QStringList findings;
        for (const QString &line : report.split(u'\n', Qt::SkipEmptyParts)) {
            // I: parcelwright: TAG [DETAILS]
            if (!(line.startsWith(u"I: "_s) && accepted.contains(line.section(u' ', 2, 2))))
                findings << line;
        }
        QVERIFY2(findings.isEmpty(), qPrintable(findings.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(PackagingTest)
#include "packaging_test.moc"
