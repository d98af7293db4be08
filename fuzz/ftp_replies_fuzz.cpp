// Replies of a broken or hostile FTP server fed to a real FtpSession. A scripted server in this
// process answers each new control connection and each command with the next piece of the input
// (pieces are separated by NUL bytes; "%P" and "%A" stand for its data port and address). The
// session runs a short fixed script (log-in, cd, pwd, put of a small file, ls, quit) with
// time-outs of one second, and the server hangs up on a client that waits longer than a moment for
// more, so no input can stall the run. The input is also shown as the session shows replies and
// listings: no control character but tab (and a listing's line ends) may come through, whatever
// pieces it arrives in.
#include "fuzz_check.h"
#include "scratch_file.h"

#include "support/scripted_ftp_server.h"
#include "tools/ftp/ftp_arguments.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/ftp_session.h"
#include "tools/ftp/reply_filter.h"

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A client on loopback answers within milliseconds; one silent for longer waits for something
// the input did not give it.
constexpr auto kSilenceLimit = std::chrono::milliseconds(25);

/// The small local file every run puts.
const std::string &localFile()
{
    static const ScratchFile file("a small file to send\r\n");
    return file.path();
}

std::vector<std::string> piecesOf(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

/// True when the shown text holds no control character but tab, nor, for a listing, a line end
/// other than LF and CR LF.
bool isHarmless(const std::string &shown, bool listing)
{
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto byte = static_cast<unsigned char>(shown[i]);
        const bool lineEnd =
            listing &&
            (byte == '\n' || (byte == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n'));
        if ((byte < 0x20 && byte != '\t' && !lineEnd) || byte == 0x7F)
            return false;
    }
    return true;
}

void checkShownText(const std::vector<std::string> &pieces)
{
    std::string whole;
    std::string inPieces;
    TerminalText listing(true);
    for (const std::string &piece : pieces) {
        whole += piece;
        inPieces += listing.feed(piece);
    }
    inPieces += listing.finish();
    TerminalText all(true);
    std::string inOne = all.feed(whole);
    inOne += all.finish();
    fuzzCheck(inPieces == inOne, "a listing shows the same in pieces as whole");
    fuzzCheck(isHarmless(inOne, true), "a listing shows no control character");
    fuzzCheck(isHarmless(visibleLine(whole), false), "a reply shows no control character");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // The session prints what the command-line client shows; only findings matter here.
    fuzzCheck(std::freopen("/dev/null", "w", stdout) != nullptr, "standard output is silenced");
    localFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string> pieces = piecesOf(data, size);
    checkShownText(pieces);
    ScriptedFtpServer server(pieces, kSilenceLimit);
    fuzzCheck(server.port() != 0, "the server listens");
    FtpArguments arguments;
    arguments.host = "127.0.0.1";
    arguments.port = server.port();
    arguments.timeoutSeconds = 1;

    FtpSession session(arguments);
    session.logIn("pwuser", "pw pass", false);
    const std::string put = "put \"" + localFile() + "\" upload.txt";
    for (const std::string &line :
         {std::string("cd incoming"), std::string("pwd"), put, std::string("ls")})
        session.run(parseCommand(line));
    session.quit();
    return 0;
}
