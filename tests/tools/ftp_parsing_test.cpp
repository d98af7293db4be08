#include "tools/ftp/ftp_arguments.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/ftp_session.h"
#include "tools/ftp/remote_path.h"
#include "tools/ftp/reply_filter.h"

#include <QtTest>

using namespace Qt::StringLiterals;

/// A remote path as a cd or a put names it, against the current directory, and its URL.
struct UrlRow
{
    QString current;
    QString argument;
    QString url;            // empty: refused as a file's name
    bool directory = false; // a cd's directory, with a trailing "/"
    bool name = false;      // a put's remote name, where a backslash is part of the name
    QString host = QStringLiteral("h");
};

Q_DECLARE_METATYPE(UrlRow)

/// The pieces of parcelwright-ftp that need no server. Script files and the choice of server
/// replies to show are tested end to end in ftp_session.
class FtpParsingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("timeout");
        // clang-format off
        QTest::newRow("script and host") << QStringList{u"-s:XferJob.FTP"_s, u"ftp.example"_s} << true << u"XferJob.FTP"_s << u"ftp.example"_s << 21 << 30;
        QTest::newRow("port and time-out") << QStringList{u"-t:2"_s, u"127.0.0.1:2121"_s} << true << QString() << u"127.0.0.1"_s << 2121 << 2;
        QTest::newRow("bracketed IPv6 with port") << QStringList{u"[::1]:2121"_s} << true << QString() << u"::1"_s << 2121 << 30;
        const QList<QStringList> refused{
            {u"h:"_s, u"h"_s},  {u"h:0"_s, u"h"_s}, {u"h:65536"_s},      {u"h:2x"_s},
            {u"[::1"_s},        {u":21"_s},         {u"-t:0"_s, u"h"_s}, {u"-t:x"_s, u"h"_s},
            {u"-s:"_s, u"h"_s}, {u"-v"_s, u"h"_s},  {u"-s:x"_s},         {u"a"_s, u"b"_s},
            {u"-tls:maybe"_s, u"h"_s}, {u"-cafile:c"_s, u"h"_s}, {u"-tls:offered"_s, u"-cafile:"_s, u"h"_s}};
        // clang-format on
        for (const QStringList &arguments : refused)
            QTest::newRow(qPrintable(arguments.join(u' ')))
                << arguments << false << QString() << QString() << 0 << 0;
    }

    void parsesArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, accepted);
        std::vector<std::string> list;
        for (const QString &argument : arguments)
            list.push_back(argument.toStdString());
        FtpArguments got;
        std::string error;
        QCOMPARE(parseArguments(list, &got, &error), accepted);
        QCOMPARE(error.empty(), accepted);
        if (!accepted)
            return;
        QTEST(QString::fromStdString(got.scriptPath), "script");
        QTEST(QString::fromStdString(got.host), "host");
        QTEST(int(got.port), "port");
        QTEST(int(got.timeoutSeconds), "timeout");
    }

    void parsesCommands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<CommandKind>("kind");
        QTest::addColumn<QString>("arguments"); // each in <>
        QTest::addColumn<bool>("usage");

        // clang-format off
        QTest::newRow("blank") << u"   "_s << CommandKind::Empty << u""_s << false;
        QTest::newRow("put with name") << u"put /tmp/a.txt a.txt"_s << CommandKind::Put << u"</tmp/a.txt><a.txt>"_s << false;
        QTest::newRow("quotes group, blanks, open quote at the end") << u"put \"/tmp/a b.txt\"  \"a b.txt\" \""_s << CommandKind::Put << u"</tmp/a b.txt><a b.txt><>"_s << true;
        QTest::newRow("upper case") << u"CD \\in"_s << CommandKind::Cd << u"<\\in>"_s << false;
        QTest::newRow("abbreviation") << u"bin"_s << CommandKind::Binary << u""_s << false;
        QTest::newRow("b fits binary and bye") << u"b"_s << CommandKind::Ambiguous << u""_s << false;
        QTest::newRow("bye") << u"bye"_s << CommandKind::Quit << u""_s << false;
        QTest::newRow("question mark") << u"?"_s << CommandKind::Help << u""_s << false;
        QTest::newRow("unknown") << u"hello world"_s << CommandKind::Invalid << u""_s << false;
        QTest::newRow("cd without directory") << u"cd"_s << CommandKind::Cd << u""_s << true;
        // clang-format on
    }

    void parsesCommands()
    {
        QFETCH(QString, line);
        const FtpCommand command = parseCommand(line.toStdString());
        std::string arguments;
        for (const std::string &argument : command.arguments)
            arguments += '<' + argument + '>';
        QTEST(command.kind, "kind");
        QTEST(QString::fromStdString(arguments), "arguments");
        QTEST(!command.usage.empty(), "usage");
    }

    void buildsUrls_data()
    {
        QTest::addColumn<UrlRow>("row");
        // clang-format off
        QTest::newRow("relative directory") << UrlRow{u"/home/u"_s, u"in"_s, u"ftp://h:21/%2Fhome/u/in/"_s, true};
        QTest::newRow("absolute file") << UrlRow{u"/home/u"_s, u"/tmp/x"_s, u"ftp://h:21/%2Ftmp/x"_s};
        QTest::newRow("backslashes") << UrlRow{u"/home/u"_s, u"\\in\\sub"_s, u"ftp://h:21/%2Fin/sub"_s};
        QTest::newRow("dot dot") << UrlRow{u"/home/u/in"_s, u"../out/./x"_s, u"ftp://h:21/%2Fhome/u/out/x"_s};
        QTest::newRow("above the root") << UrlRow{u"/"_s, u"../../a"_s, u"ftp://h:21/%2Fa"_s};
        QTest::newRow("to the root") << UrlRow{u"/home"_s, u".."_s, u"ftp://h:21/%2F"_s, true};
        QTest::newRow("doubled and trailing") << UrlRow{u"/home/u"_s, u"a//b/"_s, u"ftp://h:21/%2Fhome/u/a/b/"_s, true};
        QTest::newRow("encoded bytes") << UrlRow{u"/my dir"_s, u"a b#?%;&\u00e9"_s, u"ftp://h:21/%2Fmy%20dir/a%20b%23%3F%25%3B%26%C3%A9"_s};
        QTest::newRow("IPv6") << UrlRow{u"/"_s, u"x"_s, u"ftp://[::1]:21/%2Fx"_s, false, false, u"::1"_s};
        QTest::newRow("name: backslashes stay in it") << UrlRow{u"/home/u/in"_s, uR"(..\outside.txt)"_s, u"ftp://h:21/%2Fhome/u/in/..%5Coutside.txt"_s, false, true};
        QTest::newRow("name: and in the directory part") << UrlRow{u"/d"_s, uR"(a\b/c\d)"_s, u"ftp://h:21/%2Fd/a%5Cb/c%5Cd"_s, false, true};
        QTest::newRow("name: dash, quotes, blank") << UrlRow{u"/d"_s, uR"(-r q"x" y)"_s, u"ftp://h:21/%2Fd/-r%20q%22x%22%20y"_s, false, true};
        QTest::newRow("name: directory part resolved") << UrlRow{u"/home/u"_s, u"../x/./y"_s, u"ftp://h:21/%2Fhome/x/y"_s, false, true};
        QTest::newRow("name: absolute, at the root") << UrlRow{u"/d"_s, u"/x"_s, u"ftp://h:21/%2Fx"_s, false, true};
        // clang-format on
        for (const char *none : {"", ".", "..", "a/", "a/..", "/", "x/."})
            QTest::newRow(none) << UrlRow{u"/d"_s, QString::fromLatin1(none), {}, false, true};
    }

    void buildsUrls()
    {
        QFETCH(UrlRow, row);
        const std::string current = row.current.toStdString();
        const std::string argument = row.argument.toStdString();
        std::string path = joinRemotePath(current, argument);
        if (row.name && !joinRemoteName(current, argument, &path))
            path.clear();
        const std::string url =
            path.empty() ? std::string() : ftpUrl(row.host.toStdString(), 21, path, row.directory);
        QCOMPARE(QString::fromStdString(url), row.url);
    }

    void summarisesTransfers()
    {
        QCOMPARE(transferSummary(12, 300, true),
                 "ftp: 12 bytes sent in 0.00Seconds 12.00Kbytes/sec.");
        QCOMPARE(transferSummary(1048576, 2000000, false),
                 "ftp: 1048576 bytes received in 2.00Seconds 524.29Kbytes/sec.");
    }

    void showsListingsInPieces_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("shown");
        // clang-format off
        QTest::newRow("line ends kept, a lone CR escaped") << QByteArray("a\r\nb\rc\n\r") << QByteArray("a\r\nb^Mc\n^M");
        QTest::newRow("C1 encoded and alone; a letter ending as C1 does") << QByteArray("\xc2\x9b \x9b \xc4\x9b") << QByteArray("M-BM-^[ M-^[ \xc4\x9b");
        QTest::newRow("8-bit text kept; a cut character is bytes") << QByteArray("\xe9 \xe2\x82") << QByteArray("\xe9 \xe2M-^B");
        // clang-format on
    }

    void showsListingsInPieces()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, shown);
        // A listing arrives in pieces of any size: one byte at a time must show as the whole does.
        TerminalText whole(true);
        TerminalText bytewise(true);
        std::string inPieces;
        for (char byte : bytes)
            inPieces += bytewise.feed(std::string_view(&byte, 1));
        inPieces += bytewise.finish();
        std::string inOne = whole.feed(bytes.toStdString());
        inOne += whole.finish();
        QCOMPARE(QByteArray::fromStdString(inOne), shown);
        QCOMPARE(QByteArray::fromStdString(inPieces), shown);
    }
};

QTEST_GUILESS_MAIN(FtpParsingTest)
#include "ftp_parsing_test.moc"
