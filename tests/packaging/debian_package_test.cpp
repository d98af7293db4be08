#include "packaging/installation.h"
#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/// Standard output of a program that must succeed; empty, with the test failed, otherwise.
QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(300000) || process.exitCode() != 0) {
        QTest::qFail(qPrintable(program + u" failed: "_s +
                                QString::fromLocal8Bit(process.readAllStandardError())),
                     __FILE__, __LINE__);
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace

/// The Debian package that `cpack -G DEB` makes of this build.
class DebianPackageTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_package;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        output(QStringLiteral(PARCELWRIGHT_CPACK),
               {u"-G"_s, u"DEB"_s, u"-B"_s, m_dir.path(), u"--config"_s,
                QStringLiteral(PARCELWRIGHT_BUILD_DIR "/CPackConfig.cmake")});
        const QString architecture =
            QString::fromLatin1(output(u"dpkg"_s, {u"--print-architecture"_s})).trimmed();
        m_package =
            m_dir.filePath(u"parcelwright_" PARCELWRIGHT_VERSION "_"_s + architecture + u".deb"_s);
        QVERIFY2(QFileInfo::exists(m_package), qPrintable(m_package));
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("Package") << u"Package"_s << u"^parcelwright$"_s;
        QTest::newRow("Version") << u"Version"_s << u"^" PARCELWRIGHT_VERSION "$"_s;
        QTest::newRow("Maintainer") << u"Maintainer"_s << u"^\\S.* <[^ ]+@[^ ]+>$"_s;
        QTest::newRow("Description") << u"Description"_s << u"^\\S.+\\n( .+\\n)+"_s;
        QTest::newRow("Qt Widgets") << u"Depends"_s << u"\\blibqt6widgets6\\b"_s;
        QTest::newRow("libcurl") << u"Depends"_s << u"\\blibcurl4\\b"_s;
        QTest::newRow("psftp") << u"Recommends"_s << u"\\bputty-tools\\b"_s;
        QTest::newRow("Section") << u"Section"_s << u"^net$"_s;
    }
    void controlFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const QString value =
            QString::fromUtf8(output(u"dpkg-deb"_s, {u"--field"_s, m_package, field}));
        QVERIFY2(QRegularExpression(pattern).match(value.trimmed() + u'\n').hasMatch(),
                 qPrintable(field + u": "_s + value));
    }

    void installsUnderUsr()
    {
        QStringList files;
        const QString listing =
            QString::fromUtf8(output(u"dpkg-deb"_s, {u"--contents"_s, m_package}));
        for (const QString &line : listing.split(u'\n', Qt::SkipEmptyParts)) {
            // -rwxr-xr-x root/root 297776 2024-01-01 12:00 ./usr/bin/parcelwright
            const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
            QCOMPARE(columns.value(1), u"root/root"_s);
            if (!columns.value(0).startsWith(u'd'))
                files << columns.value(5).mid(2) +
                             (columns.value(0).at(3) == u'x' ? u"*"_s : QString());
        }
        files.sort();
        QStringList expected;
        for (const QString &file : installedFiles())
            expected << u"usr/"_s + file;
        QCOMPARE(files, expected);
    }

    void desktopEntryNamesTheInstalledScript()
    {
        const QString root = m_dir.filePath(u"root"_s);
        output(u"dpkg-deb"_s, {u"--extract"_s, m_package, root});
        const QByteArray entry =
            readBytes(root + u"/usr/share/applications/parcelwright.desktop"_s);
        QVERIFY2(entry.contains("\nExec=/usr/bin/parcelwright-desktop\n"), entry.constData());
        QVERIFY2(entry.contains("\nTryExec=/usr/bin/parcelwright-desktop\n"), entry.constData());
    }
};

QTEST_GUILESS_MAIN(DebianPackageTest)
#include "debian_package_test.moc"
