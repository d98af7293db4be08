#include "platform/launcher.h"
#include "profiles/profile_store.h"
#include "support/fake_launcher.h"
#include "support/files.h"
#include "support/testbed.h"
#include "ui/controls/grid_control.h"
#include "ui/ftp_information.h"
#include "ui/user_settings.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
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

/// Two users of one machine, each with the program as it starts: neither run is refused because
/// of the other's files, and neither user can read what the other's runs leave behind.
class TwoUsersTest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaultsKeepUsersApart();
};

void TwoUsersTest::defaultsKeepUsersApart()
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
    TwoUsersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "two_users_test.moc"
