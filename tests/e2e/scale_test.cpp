#include "profiles/encrypt.h"
#include "profiles/profile_commands.h"
#include "profiles/profile_store.h"
#include "support/engine_run.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/testbed.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDestinations = 200;
constexpr int kFilesPerDestination = 3;

const QString kCompletion =
    u"All Transmissions are complete - if you would like to save your Profile, give it a name "
    u"and press 'Save Profile'"_s;
const QByteArray kEnd = "\r\n*********** End of Transmission ***************\r\n\r\n";

QStringList rowCells(const DestinationGrid &grid, int row)
{
    QStringList cells;
    for (int column = 0; column < kDestinationColumnCount; ++column)
        cells.append(grid.text(row, column));
    return cells;
}

} // namespace

/// The sizes the tables allow, end to end: many destinations in one run, a Profile of every row,
/// a File list of every row. Each reports how long it took.
class ScaleTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runToManyDestinations();
    void profileOfEveryRow();
    void fileListOfEveryRow_data();
    void fileListOfEveryRow();
};

void ScaleTest::runToManyDestinations()
{
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir work, local;
    QStringList files;
    for (int i = 1; i <= kFilesPerDestination; ++i) {
        files.append(local.filePath(u"file %1.txt"_s.arg(i)));
        QVERIFY(writeBytes(files.last(), QByteArray::number(i).repeated(100 * i) + "\r\n"));
    }
    const RemoteDirectory base(tb.plain);
    EngineRun run;
    run.window.setFiles(files);
    run.window.setWorkingDirectory(work.path());
    QStringList headers;
    for (int row = 1; row <= kDestinations; ++row) {
        const QString directory = base.filePath(u"row%1"_s.arg(row, 3, 10, QLatin1Char('0')));
        QVERIFY(QDir().mkpath(directory) &&
                QFile::setPermissions(directory, QFileDevice::Permissions(0x7777)));
        const bool secure = row % 2 == 0;
        const QString host = secure ? tb.sshSession : tb.ftpHost;
        run.window.grid().setRow(
            {row, secure ? u"Y"_s : u"N"_s, host, directory, tb.plain.user, tb.plain.password});
        headers.append(u"Output from: "_s + host + u' ' + directory + u"\r\n"_s);
    }

    QElapsedTimer clock;
    clock.start();
    run.processRequest();
    qInfo("%d destinations, %d files each: %lld ms", kDestinations, kFilesPerDestination,
          clock.elapsed());

    QCOMPARE(run.window.messages, Messages());
    const QByteArray log = readBytes(work.filePath(u"FTPLogALL.TXT"_s));
    QVERIFY2(run.window.statusText == kCompletion, qPrintable(run.window.statusText));
    QCOMPARE(run.engine.LogNumber, kDestinations + 1);
    QCOMPARE(run.window.progress.last(), u"finished"_s);
    QCOMPARE(run.window.progress.at(2 * kDestinations - 2),
             u"started %1 %2/%2"_s.arg(tb.sshSession).arg(kDestinations));
    // One block a destination, in row order, and nothing else.
    QCOMPARE(log.count(kEnd), kDestinations);
    qsizetype at = 0;
    for (const QString &header : std::as_const(headers)) {
        QVERIFY2(log.indexOf(header.toLocal8Bit(), at) == at, qPrintable(header));
        at = log.indexOf(kEnd, at) + kEnd.size();
    }
    QCOMPARE(at, log.size());
    for (int row = 1; row <= kDestinations; ++row) {
        const QString directory = base.filePath(u"row%1"_s.arg(row, 3, 10, QLatin1Char('0')));
        for (const QString &file : std::as_const(files))
            QVERIFY2(readBytes(directory + u'/' + QFileInfo(file).fileName()) == readBytes(file),
                     qPrintable(directory));
    }
    QCOMPARE(fileNamesIn(work.path()), QStringList{u"FTPLogALL.TXT"_s});
    QTRY_COMPARE_WITH_TIMEOUT(processesIn(work.path()), QStringList(), 5000);
}

void ScaleTest::profileOfEveryRow()
{
    QTemporaryDir startup;
    FakeProfileWindow window;
    const ProfileStore store(startup.path());
    ProfileCommands commands(window, store);
    CipherKey = kProfileCipherKey;
    // Every row different, every column used, blanks and non-ASCII letters inside.
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
        window.grid().setRow({row, row % 2 ? u"Y"_s : u"N"_s, u"host-%1.example"_s.arg(row),
                              u"/in box/%1"_s.arg(row), u"us\u00e9r %1"_s.arg(row),
                              u"pass word \u00e4 %1"_s.arg(row * 7919)});
    window.name = u"Everything"_s;
    QList<QStringList> keyed;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)
        keyed.append(rowCells(window.grid(), row));

    QElapsedTimer clock;
    clock.start();
    commands.Save();
    const qint64 saved = clock.restart();
    window.grid().clearEntries();
    commands.Get();
    const qint64 loaded = clock.restart();
    FakeProfileWindow fresh;
    ProfileCommands(fresh, store).startUp();
    qInfo("%d rows: saved in %lld ms, loaded in %lld ms, loaded at start-up in %lld ms",
          kLastDataRow, saved, loaded, clock.elapsed());

    QCOMPARE(window.messages, Messages());
    QCOMPARE(window.statusText, u"Profile 'Everything' Stored Successfully"_s);
    QCOMPARE(readBytes(startup.filePath(u"Everything.pro"_s)).count("\r\n"), kLastDataRow);
    QCOMPARE(fresh.name, u"Everything"_s);
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        QCOMPARE(rowCells(window.grid(), row), keyed.at(row - 1));
        QCOMPARE(rowCells(fresh.grid(), row), keyed.at(row - 1));
    }
}

void ScaleTest::fileListOfEveryRow_data()
{
    QTest::addColumn<Client>("client");
    QTest::newRow("ftp") << Client::Ftp;
    QTest::newRow("psftp") << Client::Psftp;
}

void ScaleTest::fileListOfEveryRow()
{
    PW_REQUIRE_TESTBED(tb);
    QFETCH(Client, client);
    QTemporaryDir work, local;
    QStringList files;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        files.append(local.filePath(u"file %1.txt"_s.arg(row, 4, 10, QLatin1Char('0'))));
        QVERIFY(writeBytes(files.last(), "file " + QByteArray::number(row) + "\r\n"));
    }
    const RemoteDirectory remote(tb.plain);
    const bool secure = client == Client::Psftp;
    EngineRun run;
    run.window.setFiles(files);
    run.window.setWorkingDirectory(work.path());
    run.window.grid().setRow({1, secure ? u"Y"_s : u"N"_s, secure ? tb.sshSession : tb.ftpHost,
                              remote.path(), tb.plain.user, tb.plain.password});

    QElapsedTimer clock;
    clock.start();
    run.processRequest();
    qInfo("%d files to one destination: %lld ms", kLastDataRow, clock.elapsed());

    QCOMPARE(run.window.messages, Messages());
    QVERIFY2(run.window.statusText == kCompletion, qPrintable(run.window.statusText));
    const QStringList arrived = remote.fileNames();
    QCOMPARE(arrived.size(), kLastDataRow);
    for (const QString &file : std::as_const(files))
        QVERIFY2(readBytes(remote.filePath(QFileInfo(file).fileName())) == readBytes(file),
                 qPrintable(file));
    QCOMPARE(fileNamesIn(work.path()), QStringList{u"FTPLogALL.TXT"_s});
}

QTEST_GUILESS_MAIN(ScaleTest)
#include "scale_test.moc"
