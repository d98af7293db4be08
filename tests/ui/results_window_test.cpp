#include "support/files.h"
#include "transfer/cumulative_log.h"
#include "transfer/run_report.h"
#include "transfer/transfer_scripts.h"
#include "ui/log_viewer.h"
#include "ui/results_window.h"
#include "ui/run_results_model.h"
#include "window_fixture.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kPassword = "s3cret-2";
const QString kLongHost = u"sftp-eu-west-3.warehouse.example.org:222"_s; // 40 characters
// A server's reply of several lines that holds lines like the log's own.
const QString kForged =
    u"220-Hi\n\n*********** End of Transmission ***************\n\nOutput from: "
    "h2 \n530 Login incorrect for ********\n220 Ready\n"_s;

/// A run of five rows through Process Request: h1 (whose server forges the log's lines) and the
/// long host sent, h2 refused by a server that echoes the password, h4 cancelled while it runs,
/// h5 never started.
void mixedRun(WindowFixture &f)
{
    for (int row = 1; row <= 5; ++row)
        f.fill(row, {u"N"_s,
                     row == 3 ? kLongHost : u"h%1"_s.arg(row),
                     {},
                     u"u"_s,
                     u"s3cret-%1"_s.arg(row)});
    f.launcher.logTexts[0] = kForged.toLatin1().replace("\n", "\r\n");
    f.launcher.logTexts[1] = "530 Login incorrect for " + kPassword + "\r\n";
    f.launcher.whileRunning = [&f](int call, ProcessOutcome &outcome) {
        if (call == 1)
            outcome.exitStatus = 1;
        if (call == 3)
            f.session.cancel();
    };
    QTest::mouseClick(f.window.cmdProcess, Qt::LeftButton);
    waitForRunEnd(f.session);
    f.launcher.whileRunning = nullptr;
}

/// Every line as the view orders it, its cells but the time joined by "|".
QStringList shownLines(const QTableView &view)
{
    QStringList shown;
    for (int line = 0; line < view.model()->rowCount(); ++line) {
        QStringList cells;
        for (int column = 0; column < RunResultsModel::TimeColumn; ++column)
            cells.append(view.model()->index(line, column).data().toString());
        shown.append(cells.join(u'|'));
    }
    return shown;
}

/// Answers the next question box with `button` once it shows.
void answerQuestion(QMessageBox::StandardButton button)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, button] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            box->button(button)->click();
        }
    });
    poll->start(10);
}

} // namespace

class ResultsWindowTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linesOfAMixedRun()
    {
        WindowFixture f;
        ResultsWindow &results = *f.window.resultsWindow();
        QTableView &view = *results.lines;
        QAbstractItemModelTester tester(
            qobject_cast<QSortFilterProxyModel *>(view.model())->sourceModel(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        mixedRun(f);

        // It opened by itself, failed lines first and in red, the first one current.
        QVERIFY(results.isVisible());
        QCOMPARE(results.countLabel->text(), u"2 sent, 1 failed, 1 cancelled, 1 not started"_s);
        QCOMPARE(shownLines(view),
                 (QStringList{u"2|h2|N|failed|530 Login incorrect for ********"_s,
                              u"4|h4|N|cancelled|Cancelled while the client ran"_s,
                              u"5|h5|N|not started|The run was cancelled before its turn"_s,
                              u"1|h1|N|sent|"_s, u"3|"_s + kLongHost + u"|N|sent|"_s}));
        QVERIFY(
            view.model()->index(0, RunResultsModel::TimeColumn).data().toString().endsWith(u" s"));
        QVERIFY(view.model()->index(2, RunResultsModel::TimeColumn).data().toString().isEmpty());
        QCOMPARE(view.model()->index(0, 0).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(Qt::red));
        QVERIFY(!view.model()->index(1, 0).data(Qt::ForegroundRole).isValid());
        QCOMPARE(view.currentIndex().row(), 0);
        QVERIFY(results.cmdSendAgain->isEnabled());
        // Opened wide enough for the long host beside every column, the Reason taking the rest
        // and showing a reason it cuts as its tool tip.
        const int host = RunResultsModel::HostColumn, time = RunResultsModel::TimeColumn;
        QVERIFY(view.columnWidth(host) > view.fontMetrics().horizontalAdvance(kLongHost));
        QVERIFY(view.columnViewportPosition(time) + view.columnWidth(time) <=
                view.viewport()->width());
        QCOMPARE(view.model()->index(0, RunResultsModel::ReasonColumn).data(Qt::ToolTipRole),
                 u"530 Login incorrect for ********"_s);

        // Sorted by any column: a click on "Row" puts the lines in row order.
        const QHeaderView &heading = *view.horizontalHeader();
        QTest::mouseClick(heading.viewport(), Qt::LeftButton, {},
                          QPoint(heading.sectionViewportPosition(0) + 5, heading.height() / 2));
        QCOMPARE(view.model()->index(0, 1).data().toString(), u"h1"_s);

        // Selected lines copied as text; the report saved as the batch writes it.
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().count(u'\n'), 5);
        QVERIFY(QApplication::clipboard()->text().startsWith(u"1\th1\tN\tsent\t\t"_s));
        const QString reportPath = f.work.filePath(u"report.jsonl"_s);
        results.setReportPathChooser([&] { return reportPath; });
        QTest::mouseClick(results.cmdSaveReport, Qt::LeftButton);
        QList<RunReport::Entry> entries;
        QString error;
        QVERIFY2(RunReport::read(readBytes(reportPath), &entries, &error), qPrintable(error));
        QCOMPARE(entries.size(), 5);
        QCOMPARE(entries[1].outcome, Outcome::Failed);

        // Escape closes it; Ctrl+R from a text box of the main window opens it again.
        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(!results.isVisible());
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.window.frmWorkingDirectory->setFocus();
        QTest::keyClick(f.window.frmWorkingDirectory, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(results.isVisible());
        QCOMPARE(f.window.frmWorkingDirectory->text(), f.work.path());
    }

    void logOfALine_data()
    {
        QTest::addColumn<QString>("change"); // to FTPLogALL.TXT after the run
        QTest::addColumn<QString>("host");   // whose line is opened
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("shown"); // the block
        const QString h2 = u"Output from: h2 \n530 Login incorrect for ********\n"_s;
        const QString end = u"\n*********** End of Transmission ***************\n\n"_s;
        // clang-format off
        QTest::newRow("as the run left it") << QString() << u"h2"_s << QString() << h2 + end;
        QTest::newRow("grown since") << u"grow"_s << u"h2"_s << u"FTPLogALL.TXT has changed since the run"_s << h2 + end;
        QTest::newRow("a FIFO in its place") << u"fifo"_s << u"h2"_s << u"FTPLogALL.TXT is gone since the run"_s << QString();
        // Found by where the run wrote it, not by lines a server can forge.
        QTest::newRow("the first block, holding lines like the log's own") << QString() << u"h1"_s << QString() << u"Output from: h1 \n"_s + kForged + end;
        // clang-format on
    }

    void logOfALine()
    {
        QFETCH(QString, change);
        QFETCH(QString, host);
        QFETCH(QString, notice);
        QFETCH(QString, shown);
        WindowFixture f;
        mixedRun(f);
        const QString log = f.work.filePath(kCumulativeLogName);
        if (change == u"grow")
            QVERIFY(writeBytes(log, readBytes(log) + "more\r\n", 0600));
        else if (!change.isEmpty())
            QVERIFY(QFile::remove(log));
        if (change == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);

        ResultsWindow &results = *f.window.resultsWindow();
        QTableView &view = *results.lines;
        const QModelIndex line =
            view.model()
                ->match(view.model()->index(0, 1), Qt::DisplayRole, host, 1, Qt::MatchExactly)
                .value(0);
        const QPoint at = view.visualRect(line).center();
        QTest::mouseDClick(results.windowHandle(), Qt::LeftButton, {},
                           view.viewport()->mapTo(&results, at));
        LogViewer *viewer = results.logViewer();
        QVERIFY(viewer != nullptr && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), u"Log: "_s + host);
        QVERIFY2(viewer->notice->text().startsWith(notice), qPrintable(viewer->notice->text()));
        QCOMPARE(viewer->text->toPlainText(), shown);
        if (!shown.isEmpty()) { // Find
            QTest::keyClick(viewer->text, Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(viewer->findField, u"incorrect"_s);
            QTest::keyClick(viewer->findField, Qt::Key_Return);
            QCOMPARE(viewer->text->textCursor().selectedText(), u"incorrect"_s);
        }
        QTest::keyClick(viewer->text, Qt::Key_Escape);
        QVERIFY(!viewer->isVisible() && results.isVisible());

        // Enter on a line opens its log too; a destination that never ran says it has none.
        view.setCurrentIndex(view.model()->index(2, 0));
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(viewer->windowTitle(), u"Log: h5"_s);
        QCOMPARE(
            viewer->notice->text(),
            u"FTPLogALL.TXT holds nothing of this destination: The run was cancelled before its turn"_s);
    }

    void sendAgainToTheFailed_data()
    {
        QTest::addColumn<QString>("newHost"); // keyed into row 4 after the run; empty: none
        QTest::addColumn<int>("answer");      // to the question; 0: no question
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("same hosts") << QString() << 0 << QStringList{u"h2"_s, u"h4"_s, u"h5"_s};
        QTest::newRow("host changed, Yes")
            << u"h4b"_s << int(QMessageBox::Yes) << QStringList{u"h2"_s, u"h4b"_s, u"h5"_s};
        QTest::newRow("host changed, No") << u"h4b"_s << int(QMessageBox::No) << QStringList();
    }

    void sendAgainToTheFailed()
    {
        QFETCH(QString, newHost);
        QFETCH(int, answer);
        QFETCH(QStringList, sent);
        WindowFixture f;
        mixedRun(f);
        const qsizetype firstCalls = f.launcher.calls.size();
        // Rows edited after the run: the table as it is now; the File list and number at once are
        // the run's.
        f.window.frmFileList->setText(1, 0, u"/etc/other"_s);
        f.window.setSimultaneousTransfers(3);
        if (!newHost.isEmpty())
            f.grid().setText(4, kHostColumn, newHost);
        if (answer != 0)
            answerQuestion(QMessageBox::StandardButton(answer));

        ResultsWindow &results = *f.window.resultsWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &results);
        QTest::keyClick(&results, Qt::Key_S, Qt::AltModifier);
        // The key presses the button, which clicks a moment later.
        QVERIFY(results.cmdSendAgain->isDown());
        QTRY_VERIFY(!results.cmdSendAgain->isDown());
        waitForRunEnd(f.session);

        QStringList hosts;
        for (const FakeLauncher::Call &call : f.launcher.calls.mid(firstCalls)) {
            hosts.append(QString::fromLatin1(call.launcher.split(' ').last().trimmed()));
            QVERIFY(call.script.contains("put /etc/hostname hostname\r\n"));
        }
        QCOMPARE(hosts, sent);
        QCOMPARE(QFile::exists(f.work.filePath(keptLogName(1))), !sent.isEmpty());
        QCOMPARE(f.launcher.mostAtOnce, 1);
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(results.countLabel->text(),
                 sent.isEmpty() ? u"2 sent, 1 failed, 1 cancelled, 1 not started"_s : u"3 sent"_s);
        QCOMPARE(results.cmdSendAgain->isEnabled(), sent.isEmpty());
    }
};

QTEST_MAIN(ResultsWindowTest)
#include "results_window_test.moc"
