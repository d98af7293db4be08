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

/// Every file an installation holds, relative to its prefix; a trailing "*" marks an executable.
const QStringList kInstalledFiles{
    u"bin/parcelwright*"_s,
    u"bin/parcelwright-batch*"_s,
    u"bin/parcelwright-cmd*"_s,
    u"bin/parcelwright-desktop*"_s,
    u"bin/parcelwright-ftp*"_s,
    u"share/applications/parcelwright.desktop"_s,
    u"share/doc/parcelwright/changelog.Debian.gz"_s,
    u"share/doc/parcelwright/copyright"_s,
    u"share/icons/hicolor/128x128/apps/parcelwright.png"_s,
    u"share/icons/hicolor/256x256/apps/parcelwright.png"_s,
    u"share/icons/hicolor/48x48/apps/parcelwright.png"_s,
    u"share/icons/hicolor/64x64/apps/parcelwright.png"_s,
    u"share/lintian/overrides/parcelwright"_s,
    u"share/man/man1/parcelwright-batch.1.gz"_s,
    u"share/man/man1/parcelwright-cmd.1.gz"_s,
    u"share/man/man1/parcelwright-desktop.1.gz"_s,
    u"share/man/man1/parcelwright-ftp.1.gz"_s,
    u"share/man/man1/parcelwright.1.gz"_s,
    u"share/parcelwright/Help.rtf"_s,
};

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

enum class Folder
{
    Absent,
    Present,
    LinkToFolder,
    FileInTheWay,
    DanglingLink
};

enum class Help
{
    Absent,
    UsersOwn,
    DanglingLink
};

enum class Home
{
    Given,
    Unset,
    Empty,
    Relative
};

} // namespace

Q_DECLARE_METATYPE(Folder)
Q_DECLARE_METATYPE(Help)
Q_DECLARE_METATYPE(Home)

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

    /// Sets up ~/Parcelwright and its help text as a row asks.
    void prepare(Folder folder, Help help)
    {
        const QString elsewhere = m_home + u"/elsewhere"_s;
        QVERIFY(QDir().mkpath(elsewhere));
        if (folder == Folder::Present)
            QVERIFY(QDir().mkpath(m_folder));
        if (folder == Folder::LinkToFolder)
            QVERIFY(QFile::link(elsewhere, m_folder));
        if (folder == Folder::FileInTheWay)
            QVERIFY(writeBytes(m_folder, "not a folder"));
        if (folder == Folder::DanglingLink)
            QVERIFY(QFile::link(m_home + u"/nowhere"_s, m_folder));
        if (help == Help::UsersOwn)
            QVERIFY(writeBytes(m_folder + u"/Help.rtf"_s, "{\\rtf1 my own notes}"));
        if (help == Help::DanglingLink)
            QVERIFY(QFile::link(elsewhere + u"/Help.rtf"_s, m_folder + u"/Help.rtf"_s));
    }

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
        QTest::addColumn<Folder>("folder");
        QTest::addColumn<Help>("help");
        QTest::addColumn<Home>("home");
        QTest::addColumn<QString>("refusal"); // empty: the program starts
        // clang-format off
        QTest::newRow("first start") << Folder::Absent << Help::Absent << Home::Given << QString();
        QTest::newRow("folder without help") << Folder::Present << Help::Absent << Home::Given << QString();
        QTest::newRow("user's own help") << Folder::Present << Help::UsersOwn << Home::Given << QString();
        QTest::newRow("help a dangling link") << Folder::Present << Help::DanglingLink << Home::Given << QString();
        QTest::newRow("folder a link") << Folder::LinkToFolder << Help::UsersOwn << Home::Given << QString();
        QTest::newRow("a file in the way") << Folder::FileInTheWay << Help::Absent << Home::Given << u"Parcelwright is not a folder"_s;
        QTest::newRow("a dangling link") << Folder::DanglingLink << Help::Absent << Home::Given << u"Parcelwright is not a folder"_s;
        QTest::newRow("no HOME") << Folder::Absent << Help::Absent << Home::Unset << u"HOME is not set"_s;
        QTest::newRow("empty HOME") << Folder::Absent << Help::Absent << Home::Empty << u"HOME is not set"_s;
        QTest::newRow("relative HOME") << Folder::Absent << Help::Absent << Home::Relative << u"is not an absolute path"_s;
        // clang-format on
    }
    void launchScript()
    {
        QFETCH(Folder, folder);
        QFETCH(Help, help);
        QFETCH(Home, home);
        QFETCH(QString, refusal);
        prepare(folder, help);
        if (QTest::currentTestFailed())
            return;
        const QByteArray helpBefore = readBytes(m_folder + u"/Help.rtf"_s);
        const QByteArray folderBefore = readBytes(m_folder);

        QProcess launch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QString homeValue = m_home;
        if (home == Home::Empty)
            homeValue.clear();
        if (home == Home::Relative)
            homeValue = QDir(m_root.path()).relativeFilePath(m_home);
        environment.remove(u"HOME"_s);
        if (home != Home::Unset)
            environment.insert(u"HOME"_s, homeValue);
        launch.setProcessEnvironment(environment);
        launch.setWorkingDirectory(m_root.path()); // anywhere but the folder
        launch.start(m_prefix + u"/bin/parcelwright-desktop"_s, {});
        if (!refusal.isEmpty()) {
            QVERIFY(launch.waitForFinished() && launch.exitCode() != 0);
            const QString said = QString::fromLocal8Bit(launch.readAllStandardError());
            QVERIFY2(said.contains(refusal), qPrintable(said));
            // Nothing is made or changed, wherever a relative HOME might have pointed.
            QCOMPARE(readBytes(m_folder), folderBefore);
            QVERIFY(folder != Folder::Absent || !QFileInfo::exists(m_folder));
            return;
        }
        // The script hands its process over to the program found beside its real self.
        QTRY_VERIFY_WITH_TIMEOUT(
            processIdsIn(QFileInfo(m_folder).canonicalFilePath(), u"parcelwright"_s)
                .contains(launch.processId()),
            20000);
        launch.terminate();
        QVERIFY(launch.waitForFinished());
        if (folder == Folder::Absent)
            QVERIFY(isOwnerOnly(m_folder));
        QCOMPARE(readBytes(m_folder + u"/Help.rtf"_s),
                 help == Help::Absent
                     ? readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf"))
                     : helpBefore);
        if (help == Help::DanglingLink) // nothing written through the link either
            QVERIFY(!QFileInfo::exists(m_home + u"/elsewhere/Help.rtf"_s));
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
        QCOMPARE(installed, kInstalledFiles);
        QCOMPARE(readBytes(m_prefix + u"/share/parcelwright/Help.rtf"_s),
                 readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf")));

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
        QCOMPARE(packaged, kInstalledFiles);
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
