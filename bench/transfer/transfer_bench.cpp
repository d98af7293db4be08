// Times a transfer run of the engine against the same client commands run by a bare shell loop,
// and the request checks alone over a full Destination table.
#include "platform/launcher.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/testbed.h"
#include "transfer/transfer_engine.h"
#include "transfer/transfer_scripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace {

constexpr int kFileCount = 20;
constexpr int kFileSize = 64 * 1024;

/// One destination row of the run.
struct Destination
{
    QString secureFlag;
    QString host;
    TestbedAccount account;
    std::shared_ptr<QTemporaryDir> remote;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

void printLine(const QString &text)
{
    QTextStream(stdout) << text << Qt::endl;
}

/// A window whose status line ends the run as soon as it starts, so that only the checks count.
class ChecksOnlyWindow final : public TransferWindow
{
public:
    PlainDestinationGrid grid;
    TransferEngine *engine = nullptr;
    qint64 checksDoneNs = -1;
    QElapsedTimer clock;

    DestinationGrid &destinationGrid() override { return grid; }
    QString fileListText(int row) const override
    {
        return row == kFirstDataRow ? QStringLiteral("/a") : QString();
    }
    QString workingDirectoryText() const override { return QDir::tempPath(); }
    void setStatusText(const QString &) override
    {
        if (checksDoneNs < 0) {
            checksDoneNs = clock.nsecsElapsed();
            engine->requestCancel();
        }
    }
    void showMessage(const QString &text, const QString &) override { printLine(text); }
    void destinationStarted(const QString &, int, int) override {}
    void destinationFinished(bool) override {}
};

double checksMilliseconds()
{
    ChecksOnlyWindow window;
    FakeLauncher launcher;
    launcher.recording = false;
    TransferEngine engine(window, launcher);
    window.engine = &engine;
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {
        window.grid.setText(row, kSecureShellColumn,
                            row % 2 ? QStringLiteral("Y") : QStringLiteral("N"));
        window.grid.setText(row, kHostColumn, QStringLiteral("host%1").arg(row));
        window.grid.setText(row, kUserIdColumn, QStringLiteral("user"));
        window.grid.setText(row, kPasswordColumn, QStringLiteral("password"));
    }
    window.clock.start();
    engine.processRequest();
    return window.checksDoneNs / 1e6;
}

// The loop a user could write by hand: the same client commands, one destination after another,
// output into a log, input from the null device.
QString shellLoop(const QList<Destination> &destinations, const QString &workDir,
                  const QStringList &files)
{
    QString loop = QStringLiteral("set -e\ncd '%1'\n").arg(workDir);
    for (int i = 0; i < destinations.size(); ++i) {
        const Destination &d = destinations.at(i);
        const bool secure = d.secureFlag == QLatin1String("Y");
        const QString script = QStringLiteral("loop%1.ftp").arg(i);
        QFile out(workDir + QLatin1Char('/') + script);
        out.open(QIODevice::WriteOnly);
        for (const QByteArray &line : transferScriptLines(
                 d.secureFlag, d.remote->path(), secure ? QString() : d.account.user,
                 secure ? QString() : d.account.password, d.host, files))
            out.write(line + "\r\n");
        // As the engine does, psftp reads its password from a file of its own.
        const QString passwordFile = QStringLiteral("loop%1.pwd").arg(i);
        if (secure) {
            QFile password(workDir + QLatin1Char('/') + passwordFile);
            password.open(QIODevice::WriteOnly);
            password.write(d.account.password.toLocal8Bit() + "\r\n");
        }
        const QString command =
            secure ? QStringLiteral("psftp '%1@%2' -b %3 -pwfile %4")
                         .arg(d.account.user, d.host, script, passwordFile)
                   : QStringLiteral("'%1' -s:%2 '%3'")
                         .arg(builtProgram(QStringLiteral("parcelwright-ftp")), script, d.host);
        loop += command + QStringLiteral(" >loop%1.log 2>&1 </dev/null || true\n").arg(i);
    }
    return loop;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;
    printLine(QStringLiteral("request checks, 4,999 valid rows: %1 ms")
                  .arg(checksMilliseconds(), 0, 'f', 1));

    QString why;
    const std::optional<Testbed> tb = Testbed::load(&why);
    if (!tb) {
        printLine(why);
        return 1;
    }
    if (tb->quoted.password.contains(QLatin1Char('\''))) {
        printLine(QStringLiteral("the quoted account's password does not fit the shell loop"));
        return 1;
    }

    QTemporaryDir work;
    QStringList files;
    QRandomGenerator generator(11);
    for (int i = 0; i < kFileCount; ++i) {
        QByteArray bytes(kFileSize, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(generator.bounded(256));
        files.append(work.filePath(QStringLiteral("file%1.bin").arg(i)));
        QFile out(files.last());
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
    }
    QList<Destination> destinations;
    for (const QString &flag : {QStringLiteral("N"), QStringLiteral("Y")}) {
        for (const TestbedAccount &account : {tb->plain, tb->quoted}) {
            auto remote =
                std::make_unique<QTemporaryDir>(account.home + QStringLiteral("/pw-bench-XXXXXX"));
            QFile::setPermissions(remote->path(), QFileDevice::Permissions(0x7777));
            destinations.append({flag, flag == QLatin1String("Y") ? tb->sshSession : tb->ftpHost,
                                 account, std::move(remote)});
        }
    }

    FakeTransferWindow window;
    window.setFiles(files);
    window.setWorkingDirectory(work.path());
    for (int i = 0; i < destinations.size(); ++i) {
        const Destination &d = destinations.at(i);
        window.grid().setRow({kFirstDataRow + i, d.secureFlag, d.host, d.remote->path(),
                              d.account.user, d.account.password});
    }
    CommandInterpreterLauncher launcher(builtProgram(QStringLiteral("parcelwright-cmd")));
    TransferEngine engine(window, launcher);
    const QString loop = shellLoop(destinations, work.path(), files);

    QList<double> engineTimes;
    QList<double> loopTimes;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        engine.processRequest();
        engineTimes.append(timer.nsecsElapsed() / 1e6);
        if (!window.statusText.startsWith(QStringLiteral("All Transmissions are complete")))
            printLine(QStringLiteral("engine run %1: %2").arg(round).arg(window.statusText));

        timer.restart();
        const int status = QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-c"), loop});
        loopTimes.append(timer.nsecsElapsed() / 1e6);
        if (status != 0)
            printLine(QStringLiteral("shell loop %1 ended with %2").arg(round).arg(status));
        printLine(QStringLiteral("round %1: engine %2 ms, shell loop %3 ms")
                      .arg(round)
                      .arg(engineTimes.last(), 0, 'f', 0)
                      .arg(loopTimes.last(), 0, 'f', 0));
    }
    const double engineMedian = median(engineTimes);
    const double loopMedian = median(loopTimes);
    printLine(QStringLiteral("%1 files x %2 destinations, medians of %3 rounds: engine %4 ms, "
                             "shell loop %5 ms, ratio %6 (goal <= 1.05)")
                  .arg(kFileCount)
                  .arg(destinations.size())
                  .arg(rounds)
                  .arg(engineMedian, 0, 'f', 0)
                  .arg(loopMedian, 0, 'f', 0)
                  .arg(engineMedian / loopMedian, 0, 'f', 3));
    return 0;
}
