#include "platform/launcher.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/testbed.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"
#include "ui/user_settings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <iostream>
#include <pwd.h>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const char kSendSwitch[] = "--send-with-the-defaults";

// Runs in a second process, as the user it was started as: the window built as the program
// builds it, in the current directory, with the working directory it starts with. Reads the file
// to send and the host, remote directory, user id and password of one plain FTP destination from
// standard input, one a line, sends, and prints every message and then the status line.
int sendWithTheDefaults()
{
    QStringList values;
    for (std::string line; values.size() < 5 && std::getline(std::cin, line);)
        values << QString::fromStdString(line);
    UserSettings::makeDefaultWorkingDirectory();
    CommandInterpreterLauncher launcher(builtProgram(u"parcelwright-cmd"_s));
    const ProfileStore profiles(QDir::currentPath());
    FakeConsoleStarter consoles;
    FTP_Information window(launcher, profiles, consoles);
    window.setMessageSink(
        [](const QString &text, const QString &) { std::cout << qPrintable(text) << std::endl; });
    window.frmFileList->setText(1, 0, values.value(0));
    window.frmFTPTo->setText(1, 0, u"N"_s);
    for (int column = 1; column < 5; ++column)
        window.frmFTPTo->setText(1, column, values.value(column));
    window.cmdProcess_Click();
    std::cout << qPrintable(window.frmMessage->text()) << std::endl;
    return 0;
}

} // namespace

/// Requests sent from the real window to the test bed's servers: a user's whole request, keyed;
/// two users of one machine with the program's defaults, neither refused because of the other's
/// files and neither able to read what the other's runs leave behind.
class WindowSendTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedRequestArrives();
    void twoUsersWithTheDefaults();
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

void WindowSendTest::twoUsersWithTheDefaults()
{
    PW_REQUIRE_ROOT("only root can run the program as two other users");
    PW_REQUIRE_TESTBED(tb);
    QTemporaryDir root;
    QTemporaryDir remote(tb.plain.home + u"/pw-two-users-XXXXXX"_s);
    QVERIFY(root.isValid() && remote.isValid());
    // Homes that others may look into, as many are: only the program's own folder keeps them out.
    QVERIFY(QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7755)));
    QVERIFY(QFile::setPermissions(remote.path(), QFileDevice::Permissions(0x7777)));
    const QStringList users{tb.plain.user, tb.quoted.user};
    const auto homeOf = [&root](const QString &user) {
        return root.filePath(u"home of "_s + user);
    };
    for (const QString &user : users) {
        const passwd *account = ::getpwnam(user.toLocal8Bit().constData());
        QVERIFY(account && QDir().mkdir(homeOf(user)));
        QVERIFY(writeBytes(homeOf(user) + u"/from "_s + user, (user + u'\n').toLocal8Bit()));
        for (const QString &path : {homeOf(user), homeOf(user) + u"/from "_s + user})
            QVERIFY(::chown(QFile::encodeName(path).constData(), account->pw_uid,
                            account->pw_gid) == 0);
    }

    const auto start = [&](QProcess &program, const QString &user) {
        program.setWorkingDirectory(homeOf(user));
        // Nothing of root's settings, runtime or PuTTY directories reaches the user's program.
        program.start(u"runuser"_s,
                      {u"-u"_s, user, u"--"_s, u"env"_s, u"-u"_s, u"XDG_CONFIG_HOME"_s, u"-u"_s,
                       u"XDG_RUNTIME_DIR"_s, u"-u"_s, u"PUTTYDIR"_s, u"HOME="_s + homeOf(user),
                       QCoreApplication::applicationFilePath(), QString::fromLatin1(kSendSwitch)});
        const QStringList request{homeOf(user) + u"/from "_s + user, tb.ftpHost, remote.path(),
                                  tb.plain.user, tb.plain.password};
        program.write((request.join(u'\n') + u'\n').toLocal8Bit());
        program.closeWriteChannel();
    };
    const auto finish = [](QProcess &program) {
        QVERIFY(program.waitForFinished(120000));
        const QString said = QString::fromLocal8Bit(program.readAllStandardOutput());
        QVERIFY2(said.startsWith(u"All Transmissions are complete"_s), qPrintable(said));
    };
    // One after the other, then both at once.
    for (const QString &user : users) {
        QProcess program;
        start(program, user);
        finish(program);
    }
    QProcess first, second;
    start(first, users[0]);
    start(second, users[1]);
    finish(first);
    finish(second);

    for (const QString &user : users) {
        QCOMPARE(readBytes(remote.filePath(u"from "_s + user)), (user + u'\n').toLocal8Bit());
        const QString log = homeOf(user) + u"/Parcelwright/FTPLogALL.TXT"_s;
        QVERIFY(QFileInfo::exists(log));
        QProcess other; // the other user reads it
        other.start(u"runuser"_s,
                    {u"-u"_s, users[1 - users.indexOf(user)], u"--"_s, u"cat"_s, log});
        QVERIFY(other.waitForFinished() && other.exitCode() != 0);
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kSendSwitch) == 0)
        return sendWithTheDefaults();
    WindowSendTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_send_test.moc"
