#include "tools/ftp/command_source.h"
#include "tools/ftp/console_input.h"
#include "tools/ftp/ftp_arguments.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/ftp_session.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

namespace {

/// Reads the next line after its prompt. A script line is shown after the prompt (unless
/// hidden); a line from standard input is echoed only when no terminal shows it, so that a log
/// reads like a session at the console.
std::optional<InputLine> readLine(CommandSource &source, const std::string &prompt, bool hidden)
{
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);
    const bool fromScript = source.nextFromScript();
    std::optional<InputLine> line = source.next(hidden);
    const bool typed = line && !fromScript && standardInputIsTerminal();
    if (!line)
        std::fputs("\n", stdout);
    else if (!typed)
        std::printf("%s\n", hidden ? "" : line->text.c_str());
    std::fflush(stdout);
    return line;
}

/// Runs commands until quit or the end of input; false when any of them failed.
bool runCommands(CommandSource &source, FtpSession &session)
{
    bool allSucceeded = true;
    for (;;) {
        const std::optional<InputLine> line = readLine(source, "ftp> ", false);
        if (!line)
            return allSucceeded;
        const FtpCommand command = parseCommand(line->text);
        switch (command.kind) {
        case CommandKind::Empty:
            continue;
        case CommandKind::Invalid:
            std::puts("Invalid command.");
            allSucceeded = false;
            continue;
        case CommandKind::Ambiguous:
            std::puts("Ambiguous command.");
            allSucceeded = false;
            continue;
        case CommandKind::Quit:
            // Like the Windows client, words after quit do not keep it from quitting.
            return allSucceeded;
        default:
            break;
        }
        if (!command.usage.empty()) {
            std::puts(command.usage.c_str());
            allSucceeded = false;
        } else if (!session.run(command)) {
            allSucceeded = false;
        }
        std::fflush(stdout);
    }
}

/// Makes the certificate file's name absolute, since a data connection may load the file again
/// after an lcd; false, saying why, when it cannot be read. Checked at the start, not at the
/// first TLS handshake, so that a wrong name is not found only once a server offers TLS.
bool findCertificateFile(std::string *path)
{
    if (!std::ifstream(*path)) {
        std::printf("Error opening certificate file %s: %s.\n", path->c_str(),
                    std::strerror(errno));
        return false;
    }
    *path = std::filesystem::absolute(*path).string();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    FtpArguments arguments;
    std::string error;
    if (!parseArguments(std::vector<std::string>(argv + 1, argv + argc), &arguments, &error)) {
        std::cerr << "parcelwright-ftp: " << error << "\n" << usageText();
        return 2;
    }
    if (!arguments.caFile.empty() && !findCertificateFile(&arguments.caFile))
        return 1;
    std::vector<std::string> scriptLines;
    if (!arguments.scriptPath.empty()) {
        if (!readScriptLines(arguments.scriptPath, &scriptLines, &error)) {
            std::puts(error.c_str());
            return 1;
        }
        if (scriptLines.empty()) {
            std::printf("Script file %s is empty: no user id to log in with.\n",
                        arguments.scriptPath.c_str());
            return 1;
        }
    }

    curl_global_init(CURL_GLOBAL_DEFAULT);
    bool succeeded = false;
    {
        CommandSource source(std::move(scriptLines));
        FtpSession session(arguments);
        bool loggedIn = false;
        if (source.scriptLinesLeft() >= 2) {
            // Shown as the log-in goes, so that each prompt follows the server's last reply.
            const std::string user = source.next()->text;
            const std::string password = source.next()->text;
            loggedIn = session.logIn(user, password, false);
        } else {
            // A line typed at the console needs its prompt before it can be read.
            const std::optional<InputLine> user =
                readLine(source, "User (" + arguments.host + ":(none)): ", false);
            const std::optional<InputLine> password =
                user ? readLine(source, "Password:", true) : std::nullopt;
            if (!user)
                std::puts("Login failed: no user id given.");
            else
                loggedIn =
                    session.logIn(user->text, password ? password->text : std::string(), true);
        }
        const bool commandsSucceeded = runCommands(source, session);
        session.quit();
        succeeded = loggedIn && commandsSucceeded;
    }
    curl_global_cleanup();
    std::fflush(stdout);
    return succeeded ? 0 : 1;
}
