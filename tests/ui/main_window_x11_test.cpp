#include "window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

/// Why the tests cannot use the virtual X server; empty when they can.
QString g_noDisplay;

/// Points the application about to be made at the fixture's virtual X server, on the X11
/// platform, whose key bindings and input focus are those a user meets; returns why it cannot.
QString useVirtualDisplay()
{
    const QString dir = qEnvironmentVariable("PARCELWRIGHT_XVFB");
    if (dir.isEmpty())
        return u"PARCELWRIGHT_XVFB names no virtual X server (run through ctest, or start one "
               "with scripts/xvfb.sh start DIR)"_s;
    QFile file(dir + u"/display"_s);
    if (!file.open(QIODevice::ReadOnly))
        return u"%1 cannot be read: the virtual X server is not running"_s.arg(file.fileName());
    qputenv("DISPLAY", file.readAll().trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    return {};
}

/// Gives the window the input focus, as a click on it would.
bool activate(QWidget &window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

/// The program as the user runs it, in this process: the real window, left with an edit open and
/// the focus in `focus` ("editor" or "directory"). It prints where its button and menu are, then
/// how its event loop ended and what the cell of the pending edit holds by then.
int runProgram(QApplication &app, const QString &focus)
{
    FakeLauncher launcher;
    RunSession session(launcher);
    const ProfileStore store(QDir::currentPath());
    ProfileCommands profiles(store);
    FakeConsoleStarter consoles;
    ConnectionTest connectionTest(consoles);
    FTP_Information window(session, connectionTest, profiles);
    window.show();
    if (!activate(window)) {
        std::puts("the window never had the focus");
        return 3;
    }
    GridControl &grid = *window.frmFTPTo;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      grid.visualRect(grid.model()->index(2, 1)).center());
    QTest::keyClicks(window.frmInputBox, u"pending"_s);
    if (focus == u"directory")
        window.frmWorkingDirectory->setFocus();

    const QPoint button = window.cmdExit->mapToGlobal(window.cmdExit->rect().center());
    const QMenuBar *bar = window.menuBar();
    const QPoint menu =
        bar->mapToGlobal(bar->actionGeometry(window.mnuFile->menuAction()).center());
    std::printf("ready %d %d %d %d\n", button.x(), button.y(), menu.x(), menu.y());
    std::fflush(stdout);
    const int status = app.exec();
    std::printf("ended %d, the cell holds '%s'\n", status, qPrintable(grid.text(3, 1)));
    return status;
}

} // namespace

/// The main window on the X11 platform: the menu's keys over every text box, and the program's
/// real ending, in a process of its own, by the user's own clicks and keys.
class MainWindowX11Test final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (g_noDisplay.isEmpty())
            return;
        if (!qEnvironmentVariableIsEmpty("CI"))
            QFAIL(qPrintable(g_noDisplay));
        QSKIP(qPrintable(g_noDisplay));
    }

    void exitAndHelp_data()
    {
        QTest::addColumn<Action>("focus"); // after an edit was left open in the editor
        QTest::addColumn<Action>("how");
        QTest::addColumn<int>("ends");
        QTest::addColumn<Messages>("messages"); // no Help.rtf where the tests run
        const Action editor = [](WindowFixture &) {};
        const Action directory = [](WindowFixture &f) { f.window.frmWorkingDirectory->setFocus(); };
        const Action profile = [](WindowFixture &f) { f.window.frmProfile->setFocus(); };
        const Action ctrlE = [](WindowFixture &) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        };
        const Action f1 = [](WindowFixture &) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        };
        const Messages noHelp{
            {u"System Error"_s,
             u"Help File not found - please contact Tallowmere for assistance"_s}};
        // clang-format off
        QTest::newRow("Ctrl+E in the editor") << editor << ctrlE << 1 << Messages();
        QTest::newRow("Ctrl+E in the working directory") << directory << ctrlE << 1 << Messages();
        QTest::newRow("Ctrl+E in the profile name") << profile << ctrlE << 1 << Messages();
        QTest::newRow("F1 in the editor") << editor << f1 << 0 << noHelp;
        QTest::newRow("F1 in the working directory") << directory << f1 << 0 << noHelp;
        QTest::newRow("F1 in the profile name") << profile << f1 << 0 << noHelp;
        QTest::newRow("Cancel/Exit") << editor << +[](WindowFixture &f) { QTest::mouseClick(f.window.cmdExit, Qt::LeftButton); } << 1 << Messages();
        QTest::newRow("termination signal") << editor << +[](WindowFixture &f) { f.window.terminationRequested(); } << 1 << Messages();
        // clang-format on
    }
    void exitAndHelp()
    {
        QFETCH(Action, focus);
        QFETCH(Action, how);
        QFETCH(int, ends);
        QFETCH(Messages, messages);

        WindowFixture f;
        QVERIFY(activate(f.window));
        f.type(3, 1, u"pending"_s);
        focus(f);
        how(f);
        QCOMPARE(f.programEnds, ends);
        QCOMPARE(f.messages, messages);
        QVERIFY(f.grid().text(3, 1).isEmpty()); // nothing is committed on the way out
    }

    void endsTheProgram_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("click"); // 1 Cancel/Exit, 3 the menu, as "ready" names them; 0 none
        QTest::addColumn<QStringList>("keys"); // then typed, as xdotool names them
        const QStringList ctrlE{u"ctrl+e"_s};
        QTest::newRow("Cancel/Exit") << u"editor"_s << 1 << QStringList();
        QTest::newRow("Ctrl+E in the editor") << u"editor"_s << 0 << ctrlE;
        QTest::newRow("Ctrl+E in the working directory") << u"directory"_s << 0 << ctrlE;
        QTest::newRow("menu Exit")
            << u"editor"_s << 3
            << QStringList{u"Down"_s, u"Down"_s, u"Down"_s, u"Down"_s, u"Down"_s, u"Return"_s};
    }
    void endsTheProgram()
    {
        const QString xdotool = QStandardPaths::findExecutable(u"xdotool"_s);
        if (xdotool.isEmpty() && !qEnvironmentVariableIsEmpty("CI"))
            QFAIL("xdotool is missing: scripts/install-deps.sh test brings it");
        if (xdotool.isEmpty())
            QSKIP("xdotool is missing: scripts/install-deps.sh test brings it");
        QFETCH(QString, focus);
        QFETCH(int, click);
        QFETCH(QStringList, keys);

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(), {u"--program"_s, focus});
        const auto killIt = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished();
        });
        const QDeadlineTimer deadline(30000);
        while (!program.canReadLine() && program.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        const QStringList ready = QString::fromLatin1(program.readLine().trimmed()).split(u' ');
        QVERIFY2(ready.size() == 5 && ready[0] == u"ready", qPrintable(ready.join(u' ')));

        QStringList typed;
        if (click != 0)
            typed << u"mousemove"_s << u"--sync"_s << ready.mid(click, 2) << u"click"_s << u"1"_s;
        if (!keys.isEmpty())
            typed << u"key"_s << keys;
        // Through XTEST: the X server takes them as the user's own clicks and keys.
        QCOMPARE(QProcess::execute(xdotool, typed), 0);

        QVERIFY2(program.waitForFinished(10000), "the program is still running");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // Through the event loop, and nothing committed on the way out.
        QCOMPARE(program.readAllStandardOutput(), QByteArray("ended 0, the cell holds ''\n"));
    }
};

int main(int argc, char *argv[])
{
    // The platform and the display are taken when the application is made.
    g_noDisplay = useVirtualDisplay();
    if (!g_noDisplay.isEmpty()) // the tests are skipped, but the application needs a platform
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--program") == 0)
        return runProgram(app, QString::fromLocal8Bit(argv[2]));
    MainWindowX11Test test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_x11_test.moc"
