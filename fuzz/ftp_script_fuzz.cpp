// Scripts as parcelwright-ftp reads them: the file, each command line, and the remote paths and
// URLs the commands would use; no server is involved.
#include "fuzz_check.h"
#include "scratch_file.h"

#include "tools/ftp/command_source.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/remote_path.h"

#include <cstddef>
#include <cstdint>

namespace {

/// An absolute path as the session keeps it: "/" alone, or "/"-led parts with no empty, "." or
/// ".." part among them.
bool isResolvedDirectory(const std::string &path)
{
    if (path == "/")
        return true;
    if (path.empty() || path.front() != '/' || path.back() == '/')
        return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

/// A URL that can go on the control connection as it is: printable ASCII without blanks.
bool isPlainUrl(const std::string &url)
{
    for (const char c : url) {
        if (c <= ' ' || c > '~')
            return false;
    }
    return true;
}

/// Resolves a file name argument as the session does before building its URL.
void checkRemoteName(const std::string &directory, const std::string &argument)
{
    std::string path;
    if (hasControlCharacters(argument) || !joinRemoteName(directory, argument, &path))
        return;
    fuzzCheck(!path.empty() && path.front() == '/', "a remote name resolves to an absolute path");
    fuzzCheck(lastPathPart(path) == lastPathPart(argument), "a remote name keeps its last part");
    const std::size_t slash = path.rfind('/');
    fuzzCheck(isResolvedDirectory(slash == 0 ? std::string("/") : path.substr(0, slash)),
              "a remote name's directory is resolved");
    fuzzCheck(isPlainUrl(ftpUrl("127.0.0.1", 21, path, false)), "a file URL is plain text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static ScratchFile script;
    script.write(data, size);
    std::vector<std::string> lines;
    std::string error;
    fuzzCheck(readScriptLines(script.path(), &lines, &error), "a script file is read");

    // The first two lines are the user id and the password, never commands.
    std::string directory = "/";
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        fuzzCheck(line.find('\n') == std::string::npos, "a script line holds no line feed");

        const FtpCommand command = parseCommand(line);
        if (!command.usage.empty())
            continue;
        const std::vector<std::string> &words = command.arguments;
        switch (command.kind) {
        case CommandKind::Cd:
            if (!hasControlCharacters(words[0])) {
                directory = joinRemotePath(directory, words[0]);
                fuzzCheck(isResolvedDirectory(directory), "cd leads to a resolved directory");
                fuzzCheck(isPlainUrl(ftpUrl("127.0.0.1", 21, directory, true)),
                          "a directory URL is plain text");
            }
            break;
        case CommandKind::Ls:
        case CommandKind::Dir:
            if (!words.empty() && !hasControlCharacters(words[0]))
                fuzzCheck(isResolvedDirectory(joinRemotePath(directory, words[0])),
                          "a listed directory is resolved");
            break;
        case CommandKind::Put:
            checkRemoteName(directory, words.size() > 1 ? words[1] : lastPathPart(words[0]));
            break;
        case CommandKind::Get:
        case CommandKind::Delete:
        case CommandKind::Mkdir:
        case CommandKind::Rmdir:
        case CommandKind::Rename:
            for (const std::string &word : words)
                checkRemoteName(directory, word);
            break;
        case CommandKind::Help: {
            const std::string help = helpText(words.empty() ? std::string() : words[0]);
            fuzzCheck(!help.empty() && help.back() == '\n', "help ends its line");
            break;
        }
        default:
            break;
        }
    }
    return 0;
}
