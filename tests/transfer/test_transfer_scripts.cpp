#include "transfer/transfer_scripts.h"

#include <QtTest>

namespace {

QStringList cells(const char *joined)
{
    return QString::fromUtf8(joined).split(QLatin1Char('|'));
}

} // namespace

class TestTransferScripts final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writers_data();
    void writers();
};

void TestTransferScripts::writers_data()
{
    QTest::addColumn<QStringList>("row"); // secure flag, host, remote directory, user id, password
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QString>("script");

    const QStringList windowsFile = cells("C:\\data\\a.txt");
    QTest::newRow("plain, backslash directory")
        << cells("N|ftp.example|\\in|joe|pw1") << windowsFile << QChar(u'\\')
        << "@echo on|ftp -s:XferJob.FTP ftp.example"
        << "joe|pw1|cd \\in|put C:\\data\\a.txt a.txt|quit";
    QTest::newRow("secure, slash directory")
        << cells("Y|sftp.example|/in|ann|pw2") << windowsFile << QChar(u'\\')
        << "@echo on|psftp ann@sftp.example -b XferJob.FTP -pw pw2"
        << "cd /in|put C:\\data\\a.txt a.txt|quit";
    QTest::newRow("secure, no directory, posix paths")
        << cells("Y|h||ann|pw") << cells("/d/a|/d/e/b.bin") << QChar(u'/')
        << "@echo on|psftp ann@h -b XferJob.FTP -pw pw"
        << "put /d/a a|put /d/e/b.bin b.bin|quit";
    QTest::newRow("plain, empty user id, path without separator")
        << cells("N|h|||pw") << cells("plain.txt") << QChar(u'/') << "@echo on|ftp -s:XferJob.FTP h"
        << "|pw|put plain.txt plain.txt|quit";
    QTest::newRow("secure, empty account")
        << cells("Y|h|||") << cells("/a") << QChar(u'/') << "@echo on|psftp @h -b XferJob.FTP -pw "
        << "put /a a|quit";
    QTest::newRow("lower-case y is a plain row")
        << cells("y|h||u|p") << cells("/a") << QChar(u'/') << "@echo on|ftp -s:XferJob.FTP h"
        << "u|p|put /a a|quit";
    QTest::newRow("blanks are quoted, log-in lines are not")
        << cells("Y|h|/my dir|a b|p w") << cells("/tmp/x y/a b.txt") << QChar(u'/')
        << "@echo on|psftp \"a b\"@h -b XferJob.FTP -pw \"p w\""
        << "cd \"/my dir\"|put \"/tmp/x y/a b.txt\" \"a b.txt\"|quit";
    QTest::newRow("plain log-in lines keep their blanks")
        << cells("N|h|in box| u |p w ") << cells("/a") << QChar(u'/')
        << "@echo on|ftp -s:XferJob.FTP h"
        << " u |p w |cd \"in box\"|put /a a|quit";
}

void TestTransferScripts::writers()
{
    QFETCH(QStringList, row);
    QFETCH(QStringList, files);
    QFETCH(QChar, separator);
    QFETCH(QString, launcher);
    QFETCH(QString, script);

    // The engine hands a Secure Shell row's script writer no account: it is on the launcher line.
    const bool secure = row[0] == QLatin1String("Y");
    const QList<QByteArray> launcherText = launcherLines(row[0], row[1], row[3], row[4]);
    const QList<QByteArray> scriptText =
        transferScriptLines(row[0], row[2], secure ? QString() : row[3],
                            secure ? QString() : row[4], row[1], files, separator);
    QCOMPARE(QString::fromLocal8Bit(QByteArrayList(launcherText).join('|')), launcher);
    QCOMPARE(QString::fromLocal8Bit(QByteArrayList(scriptText).join('|')), script);
}

QTEST_APPLESS_MAIN(TestTransferScripts)
#include "test_transfer_scripts.moc"
