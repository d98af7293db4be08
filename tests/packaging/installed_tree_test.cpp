#include "packaging/installation.h"
#include "support/files.h"

#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

/// What `cmake --install` lays out, and its desktop entry started as a desktop starts it.
class InstalledTreeTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // Blanks and quotes in the prefix reach the desktop entry's command line.
        m_prefix = m_root.filePath(u"it's \"our\" prefix"_s);
        QString why;
        QVERIFY2(installBuild(m_prefix, &why), qPrintable(why));
    }

    void holdsTheFilesAndNothingElse()
    {
        QStringList files;
        QDirIterator it(m_prefix, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo file(it.next());
            files << QDir(m_prefix).relativeFilePath(file.filePath()) +
                         (file.isExecutable() ? u"*"_s : QString());
        }
        files.sort();
        QCOMPARE(files, installedFiles());
        QCOMPARE(readBytes(m_prefix + u"/share/parcelwright/Help.rtf"_s),
                 readBytes(QStringLiteral(PARCELWRIGHT_SOURCE_DIR "/data/Help.rtf")));
    }

    void icons_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {48, 64, 128, 256})
            QTest::addRow("%dx%d", size, size) << size;
    }
    void icons()
    {
        QFETCH(int, size);
        const QImage icon(m_prefix +
                          u"/share/icons/hicolor/%1x%1/apps/parcelwright.png"_s.arg(size));
        QCOMPARE(icon.size(), QSize(size, size));
        // Transparent around the drawing, opaque on the parcel in the middle.
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(icon.pixel(size / 3, size / 2)), 255);
    }

    void desktopEntryIsValid()
    {
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(u"desktop-file-validate"_s,
                       {m_prefix + u"/share/applications/parcelwright.desktop"_s});
        QVERIFY2(validate.waitForFinished(),
                 "desktop-file-validate (desktop-file-utils) is needed");
        QCOMPARE(validate.readAll(), QByteArray());
        QCOMPARE(validate.exitCode(), 0);
    }

    void desktopEntryStartsTheProgramInTheUsersFolder()
    {
        const QString home = m_root.filePath(u"home of a user"_s);
        QVERIFY(QDir().mkpath(home));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home);
        QProcess desktop;
        desktop.setProcessEnvironment(environment);
        // The program inherits these, and a pipe closed behind it would end it at its first word.
        desktop.setStandardInputFile(QProcess::nullDevice());
        desktop.setStandardOutputFile(QProcess::nullDevice());
        desktop.setStandardErrorFile(QProcess::nullDevice());
        // gio reads the entry's Exec line as a desktop does and starts what it names.
        desktop.start(u"gio"_s,
                      {u"launch"_s, m_prefix + u"/share/applications/parcelwright.desktop"_s});
        QVERIFY2(desktop.waitForFinished(), "gio (libglib2.0-bin) is needed");
        QCOMPARE(desktop.exitCode(), 0);

        const QString program = m_prefix + u"/bin/parcelwright"_s;
        QTRY_COMPARE_WITH_TIMEOUT(processesRunning(program).size(), 1, 20000);
        const qint64 pid = processesRunning(program).constFirst();
        const QString cwd = currentDirectoryOf(pid);
        ::kill(pid, SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(pid), 20000);
        QCOMPARE(cwd, home + u"/Parcelwright"_s);
    }
};

QTEST_GUILESS_MAIN(InstalledTreeTest)
#include "installed_tree_test.moc"
