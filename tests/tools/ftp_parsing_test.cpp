#include "tools/ftp/command_source.h"
#include "tools/ftp/ftp_arguments.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/ftp_session.h"
#include "tools/ftp/remote_path.h"
#include "tools/ftp/reply_filter.h"

#include <QTemporaryDir>
#include <QtTest>

/// The pieces of parcelwright-ftp that need no server: command lines, script lines, remote paths
/// and URLs, and the choice of server replies to show.
class FtpParsingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesArguments_data();
    void parsesArguments();
    void parsesCommands_data();
    void parsesCommands();
    void joinsRemotePaths_data();
    void joinsRemotePaths();
    void buildsUrls_data();
    void buildsUrls();
    void showsOnlyTheUserCommandsReplies();
    void readsScriptLines_data();
    void readsScriptLines();
    void summarisesTransfers_data();
    void summarisesTransfers();
};

static std::string s(const QString &text)
{
    return text.toStdString();
}

void FtpParsingTest::parsesArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("timeout");

    QTest::newRow("script and host") << QStringList{u"-s:XferJob.FTP"_qs, u"ftp.example"_qs} << true
                                     << u"XferJob.FTP"_qs << u"ftp.example"_qs << 21 << 30;
    QTest::newRow("port and time-out") << QStringList{u"-t:2"_qs, u"127.0.0.1:2121"_qs} << true
                                       << QString() << u"127.0.0.1"_qs << 2121 << 2;
    QTest::newRow("upper-case option")
        << QStringList{u"-S:a b.ftp"_qs, u"h"_qs} << true << u"a b.ftp"_qs << u"h"_qs << 21 << 30;
    QTest::newRow("bracketed IPv6 with port")
        << QStringList{u"[::1]:2121"_qs} << true << QString() << u"::1"_qs << 2121 << 30;
    QTest::newRow("bare IPv6") << QStringList{u"::1"_qs} << true << QString() << u"::1"_qs << 21
                               << 30;
    for (const char *bad :
         {"h:", "h:0", "h:65536", "h:2x", "[::1", ":21", "-t:0", "-t:x", "-s:", "-v"})
        QTest::newRow(bad) << QStringList{QString::fromLatin1(bad), u"h"_qs} << false << QString()
                           << QString() << 0 << 0;
    QTest::newRow("no host") << QStringList{u"-s:x"_qs} << false << QString() << QString() << 0
                             << 0;
    QTest::newRow("two hosts") << QStringList{u"a"_qs, u"b"_qs} << false << QString() << QString()
                               << 0 << 0;
}

void FtpParsingTest::parsesArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    std::vector<std::string> words;
    for (const QString &argument : arguments)
        words.push_back(s(argument));
    FtpArguments parsed;
    std::string error;
    QCOMPARE(parseArguments(words, &parsed, &error), ok);
    if (!ok) {
        QVERIFY(!error.empty());
        return;
    }
    QTEST(QString::fromStdString(parsed.scriptPath), "script");
    QTEST(QString::fromStdString(parsed.host), "host");
    QTEST(static_cast<int>(parsed.port), "port");
    QTEST(static_cast<int>(parsed.timeoutSeconds), "timeout");
}

void FtpParsingTest::parsesCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("usage");

    QTest::newRow("blank") << u"   "_qs << CommandKind::Empty << QStringList() << false;
    QTest::newRow("put with name") << u"put /tmp/a.txt a.txt"_qs << CommandKind::Put
                                   << QStringList{u"/tmp/a.txt"_qs, u"a.txt"_qs} << false;
    QTest::newRow("quoted blank") << u"put \"/tmp/a b.txt\" \"a b.txt\""_qs << CommandKind::Put
                                  << QStringList{u"/tmp/a b.txt"_qs, u"a b.txt"_qs} << false;
    QTest::newRow("upper case") << u"CD \\in"_qs << CommandKind::Cd << QStringList{u"\\in"_qs}
                                << false;
    QTest::newRow("abbreviation") << u"bin"_qs << CommandKind::Binary << QStringList() << false;
    QTest::newRow("b fits binary and bye")
        << u"b"_qs << CommandKind::Ambiguous << QStringList() << false;
    QTest::newRow("bye") << u"bye"_qs << CommandKind::Quit << QStringList() << false;
    QTest::newRow("qu is quit") << u"qu"_qs << CommandKind::Quit << QStringList() << false;
    QTest::newRow("ambiguous") << u"re"_qs << CommandKind::Ambiguous << QStringList() << false;
    QTest::newRow("question mark") << u"?"_qs << CommandKind::Help << QStringList() << false;
    QTest::newRow("unknown") << u"hello world"_qs << CommandKind::Invalid << QStringList() << false;
    QTest::newRow("cd without directory") << u"cd"_qs << CommandKind::Cd << QStringList() << true;
    QTest::newRow("put too many") << u"put a b c"_qs << CommandKind::Put
                                  << QStringList{u"a"_qs, u"b"_qs, u"c"_qs} << true;
    QTest::newRow("rename one name")
        << u"rename a"_qs << CommandKind::Rename << QStringList{u"a"_qs} << true;
}

void FtpParsingTest::parsesCommands()
{
    QFETCH(QString, line);
    QFETCH(QStringList, arguments);
    const FtpCommand command = parseCommand(s(line));
    QTEST(command.kind, "kind");
    QStringList got;
    for (const std::string &argument : command.arguments)
        got << QString::fromStdString(argument);
    QCOMPARE(got, arguments);
    QTEST(!command.usage.empty(), "usage");
}

void FtpParsingTest::joinsRemotePaths_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("joined");

    QTest::newRow("relative") << u"/home/u"_qs << u"in"_qs << u"/home/u/in"_qs;
    QTest::newRow("absolute") << u"/home/u"_qs << u"/tmp/x"_qs << u"/tmp/x"_qs;
    QTest::newRow("backslashes") << u"/home/u"_qs << u"\\in\\sub"_qs << u"/in/sub"_qs;
    QTest::newRow("dot dot") << u"/home/u/in"_qs << u"../out/./x"_qs << u"/home/u/out/x"_qs;
    QTest::newRow("above the root") << u"/"_qs << u"../../a"_qs << u"/a"_qs;
    QTest::newRow("to the root") << u"/home"_qs << u".."_qs << u"/"_qs;
    QTest::newRow("doubled and trailing") << u"/home/u"_qs << u"a//b/"_qs << u"/home/u/a/b"_qs;
    QTest::newRow("blank kept") << u"/"_qs << u"my dir"_qs << u"/my dir"_qs;
}

void FtpParsingTest::joinsRemotePaths()
{
    QFETCH(QString, current);
    QFETCH(QString, argument);
    QTEST(QString::fromStdString(joinRemotePath(s(current), s(argument))), "joined");
}

void FtpParsingTest::buildsUrls_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QString>("url");

    QTest::newRow("root") << u"h"_qs << u"/"_qs << true << u"ftp://h:21/%2F"_qs;
    QTest::newRow("directory") << u"h"_qs << u"/home/u"_qs << true << u"ftp://h:21/%2Fhome/u/"_qs;
    QTest::newRow("file") << u"h"_qs << u"/a.txt"_qs << false << u"ftp://h:21/%2Fa.txt"_qs;
    QTest::newRow("encoded bytes") << u"h"_qs << u"/a b#?%;&\u00e9"_qs << false
                                   << u"ftp://h:21/%2Fa%20b%23%3F%25%3B%26%C3%A9"_qs;
    QTest::newRow("IPv6") << u"::1"_qs << u"/x"_qs << false << u"ftp://[::1]:21/%2Fx"_qs;
}

void FtpParsingTest::buildsUrls()
{
    QFETCH(QString, host);
    QFETCH(QString, path);
    QFETCH(bool, directory);
    QTEST(QString::fromStdString(ftpUrl(s(host), 21, s(path), directory)), "url");
}

void FtpParsingTest::showsOnlyTheUserCommandsReplies()
{
    ReplyFilter filter;
    // A log-in: the greeting, USER and PASS show; libcurl's own PWD does not.
    filter.begin({"USER", "PASS"}, true);
    QVERIFY(filter.replyReceived("220 (vsFTPd 3.0.3)"));
    QCOMPARE(filter.commandSent("USER alice\r\n"), std::string("USER"));
    QVERIFY(filter.replyReceived("331 Please specify the password."));
    filter.commandSent("PASS secret\r\n");
    QVERIFY(filter.replyReceived("230-Welcome"));
    QVERIFY(filter.replyReceived("230 Login successful."));
    filter.commandSent("PWD\r\n");
    QVERIFY(!filter.replyReceived("257 \"/home/alice\""));
    QVERIFY(!filter.failureShown());

    // A cd: the quoted CWD shows, libcurl's second CWD to the same place does not.
    filter.begin({"CWD"}, false);
    QVERIFY(!filter.replyReceived("220 reconnected"));
    filter.commandSent("cwd /in\r\n");
    QVERIFY(filter.replyReceived("550 Failed to change directory."));
    QVERIFY(filter.failureShown());
    filter.commandSent("CWD /in\r\n");
    QVERIFY(!filter.replyReceived("250 Directory successfully changed."));

    // A put into a directory that has gone: the hidden CWD fails before STOR is ever sent.
    filter.begin({"STOR"}, false);
    filter.commandSent("CWD /gone\r\n");
    QVERIFY(!filter.replyReceived("550 Failed to change directory."));
    QVERIFY(!filter.failureShown());
    QCOMPARE(filter.lastReply(), std::string("550 Failed to change directory."));
}

void FtpParsingTest::readsScriptLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("CR LF") << QByteArray("u\r\np w\r\nquit\r\n")
                           << QStringList{u"u"_qs, u"p w"_qs, u"quit"_qs};
    QTest::newRow("LF, last line open")
        << QByteArray("u\n\ncd x") << QStringList{u"u"_qs, QString(), u"cd x"_qs};
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void FtpParsingTest::readsScriptLines()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"XferJob.FTP"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    std::vector<std::string> lines;
    std::string error;
    QVERIFY(readScriptLines(s(file.fileName()), &lines, &error));
    QStringList got;
    for (const std::string &line : lines)
        got << QString::fromStdString(line);
    QTEST(got, "lines");

    QVERIFY(!readScriptLines(s(dir.filePath(u"missing.ftp"_qs)), &lines, &error));
    QVERIFY(QString::fromStdString(error).contains(u"missing.ftp"_qs));
}

void FtpParsingTest::summarisesTransfers_data()
{
    QTest::addColumn<qlonglong>("bytes");
    QTest::addColumn<qlonglong>("microseconds");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("line");

    QTest::newRow("under a millisecond")
        << 12LL << 300LL << true << u"ftp: 12 bytes sent in 0.00Seconds 12.00Kbytes/sec."_qs;
    QTest::newRow("received") << 1048576LL << 2000000LL << false
                              << u"ftp: 1048576 bytes received in 2.00Seconds 524.29Kbytes/sec."_qs;
}

void FtpParsingTest::summarisesTransfers()
{
    QFETCH(qlonglong, bytes);
    QFETCH(qlonglong, microseconds);
    QFETCH(bool, sent);
    QTEST(QString::fromStdString(transferSummary(bytes, microseconds, sent)), "line");
}

QTEST_GUILESS_MAIN(FtpParsingTest)
#include "ftp_parsing_test.moc"
