#include "packaging/installation.h"
#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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

/// The launch script of the desktop entry, in an installation moved after it was installed and
/// for a user whose home folder has a blank in its path.
class DesktopLaunchTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;
    QString m_home;
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

    /// Starts the launch script from an unrelated directory, with HOME as a row asks.
    void start(QProcess &launch, const QString &script, Home home = Home::Given)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"HOME"_s);
        if (home == Home::Given)
            environment.insert(u"HOME"_s, m_home);
        if (home == Home::Empty)
            environment.insert(u"HOME"_s, QString());
        if (home == Home::Relative)
            environment.insert(u"HOME"_s, QDir(m_root.path()).relativeFilePath(m_home));
        launch.setProcessEnvironment(environment);
        launch.setWorkingDirectory(m_root.path());
        launch.start(script, {});
        QVERIFY(launch.waitForStarted());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QString why;
        QVERIFY2(installBuild(m_root.filePath(u"installed"_s), &why), qPrintable(why));
        m_prefix = m_root.filePath(u"moved elsewhere"_s);
        QVERIFY(QDir().rename(m_root.filePath(u"installed"_s), m_prefix));
    }
    void init()
    {
        m_home = m_root.filePath(u"home of user %1"_s.arg(++m_users));
        m_folder = m_home + u"/Parcelwright"_s;
        QVERIFY(QDir().mkpath(m_home));
    }

    void startsInTheUsersFolder_data()
    {
        QTest::addColumn<Folder>("folder");
        QTest::addColumn<Help>("help");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("first start") << Folder::Absent << Help::Absent << false;
        QTest::newRow("folder without help") << Folder::Present << Help::Absent << false;
        QTest::newRow("user's own help") << Folder::Present << Help::UsersOwn << false;
        QTest::newRow("help a dangling link") << Folder::Present << Help::DanglingLink << false;
        QTest::newRow("folder a link") << Folder::LinkToFolder << Help::UsersOwn << false;
        QTest::newRow("script reached by a link") << Folder::Absent << Help::Absent << true;
    }
    void startsInTheUsersFolder()
    {
        QFETCH(Folder, folder);
        QFETCH(Help, help);
        QFETCH(bool, throughLink);
        prepare(folder, help);
        if (QTest::currentTestFailed())
            return;
        const QByteArray helpBefore = readBytes(m_folder + u"/Help.rtf"_s);
        QString script = m_prefix + u"/bin/parcelwright-desktop"_s;
        if (throughLink) {
            QVERIFY(QFile::link(script, m_home + u"/parcelwright-desktop"_s));
            script = m_home + u"/parcelwright-desktop"_s;
        }

        QProcess launch;
        start(launch, script);
        // The script hands its process over to the program found beside its real self.
        const QString program = m_prefix + u"/bin/parcelwright"_s;
        QTRY_COMPARE_WITH_TIMEOUT(
            QFileInfo(u"/proc/%1/exe"_s.arg(launch.processId())).symLinkTarget(), program, 20000);
        const QString cwd = currentDirectoryOf(launch.processId());
        launch.terminate();
        QVERIFY(launch.waitForFinished());

        QCOMPARE(cwd, QFileInfo(m_folder).canonicalFilePath());
        if (folder == Folder::Absent)
            QVERIFY(isOwnerOnly(m_folder));
        if (help == Help::Absent)
            QCOMPARE(readBytes(m_folder + u"/Help.rtf"_s),
                     readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf")));
        else
            QCOMPARE(readBytes(m_folder + u"/Help.rtf"_s), helpBefore);
        if (help == Help::DanglingLink) // nothing written through the link either
            QVERIFY(!QFileInfo::exists(m_home + u"/elsewhere/Help.rtf"_s));
    }

    void refuses_data()
    {
        QTest::addColumn<Folder>("folder");
        QTest::addColumn<Home>("home");
        QTest::addColumn<QString>("message");
        QTest::newRow("a file in the way")
            << Folder::FileInTheWay << Home::Given << u"Parcelwright is not a folder"_s;
        QTest::newRow("a dangling link")
            << Folder::DanglingLink << Home::Given << u"Parcelwright is not a folder"_s;
        QTest::newRow("no HOME") << Folder::Absent << Home::Unset << u"HOME is not set"_s;
        QTest::newRow("empty HOME") << Folder::Absent << Home::Empty << u"HOME is not set"_s;
        QTest::newRow("relative HOME")
            << Folder::Absent << Home::Relative << u"is not an absolute path"_s;
    }
    void refuses()
    {
        QFETCH(Folder, folder);
        QFETCH(Home, home);
        QFETCH(QString, message);
        prepare(folder, Help::Absent);
        if (QTest::currentTestFailed())
            return;
        const QByteArray before = readBytes(m_folder);

        QProcess launch;
        start(launch, m_prefix + u"/bin/parcelwright-desktop"_s, home);
        QVERIFY(launch.waitForFinished());
        QVERIFY(launch.exitCode() != 0);
        const QString said = QString::fromLocal8Bit(launch.readAllStandardError());
        QVERIFY2(said.contains(message), qPrintable(said));
        // Nothing is made or changed, wherever a relative HOME might have pointed.
        QCOMPARE(readBytes(m_folder), before);
        if (folder == Folder::Absent)
            QVERIFY(!QFileInfo::exists(m_folder));
    }
};

QTEST_GUILESS_MAIN(DesktopLaunchTest)
#include "desktop_launch_test.moc"
