#include "platform/launcher.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/testbed.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

/// A user's whole request, keyed into the real window and sent to the test bed's servers.
class WindowSendTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedRequestArrives();
};

void WindowSendTest::keyedRequestArrives()
{
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QStringList files = {work.filePath(QStringLiteral("one.txt")),
                               work.filePath(QStringLiteral("two words.txt"))};
    for (const QString &path : files) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(path.toUtf8() + "\r\n");
    }
    QTemporaryDir plainRemote(tb.plain.home + QStringLiteral("/pw-window-XXXXXX"));
    QTemporaryDir secureRemote(tb.quoted.home + QStringLiteral("/pw-window-XXXXXX"));
    QVERIFY(plainRemote.isValid() && secureRemote.isValid());
    for (const QTemporaryDir *dir : {&plainRemote, &secureRemote})
        QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7777));

    CommandInterpreterLauncher launcher(builtProgram(QStringLiteral("parcelwright-cmd")));
    const ProfileStore profiles(QDir::currentPath());
    FakeConsoleStarter consoles;
    FTP_Information window(launcher, profiles, consoles);
    QStringList messages;
    window.setMessageSink([&](const QString &text, const QString &) { messages << text; });
    window.setFileChooser([&] { return files; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(window.frmFilesToFTP, Qt::LeftButton);
    window.frmWorkingDirectory->setText(work.path());
    GridControl *grid = window.frmFTPTo;
    const QList<QStringList> rows = {
        {QStringLiteral("n"), tb.ftpHost, plainRemote.path(), tb.plain.user, tb.plain.password},
        {QStringLiteral("y"), tb.sshSession, secureRemote.path(), tb.quoted.user,
         tb.quoted.password}};
    for (int row = 1; row <= rows.size(); ++row) {
        for (int column = 0; column < 5; ++column) {
            const QRect cell = grid->visualRect(grid->model()->index(row - 1, column));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::keyClicks(window.frmInputBox, rows[row - 1][column]);
        }
    }
    // The last password is still pending in the editor: the request commits it on its way.
    QTest::mouseClick(window.cmdProcess, Qt::LeftButton);

    QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0)));
    const QByteArray log = readBytes(work.filePath(QStringLiteral("FTPLogALL.TXT")));
    QVERIFY2(window.frmMessage->text().startsWith(QStringLiteral("All Transmissions are complete")),
             log.constData());
    for (const QTemporaryDir *remote : {&plainRemote, &secureRemote}) {
        for (const QString &path : files) {
            const QString arrived = remote->filePath(QFileInfo(path).fileName());
            QVERIFY2(readBytes(arrived) == path.toUtf8() + "\r\n", log.constData());
        }
    }
}

QTEST_MAIN(WindowSendTest)
#include "window_send_test.moc"
