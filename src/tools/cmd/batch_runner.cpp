#include "tools/cmd/batch_runner.h"

#include "tools/cmd/batch_system.h"
#include "tools/common/words.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kSelf = "parcelwright-cmd: ";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string lowerCase(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string trimmed(const std::string &text)
{
    size_t first = 0;
    while (first < text.size() && isBlank(text[first]))
        ++first;
    size_t last = text.size();
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// True when text starts with the built-in command word (any letter case) followed by its end or
// one of the characters that may end it.
bool startsWithCommand(const std::string &text, const char *word, const char *enders)
{
    const size_t length = std::strlen(word);
    if (text.size() < length || strncasecmp(text.c_str(), word, length) != 0)
        return false;
    return text.size() == length || std::strchr(enders, text[length]) != nullptr;
}

bool isExecutableFile(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

void writeOut(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string currentDirectory()
{
    char *path = ::getcwd(nullptr, 0);
    if (path == nullptr)
        return std::string();
    std::string result(path);
    std::free(path);
    return result;
}

} // namespace

void writeError(const std::string &text)
{
    std::fflush(stdout);
    std::fputs(kSelf, stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool parseCommandLine(const std::vector<std::string> &arguments, CommandLine *commandLine,
                      std::string *error)
{
    const std::string usage = "usage: parcelwright-cmd /C FILE | /K FILE";
    if (arguments.empty() || arguments[0].size() < 2 || arguments[0][0] != '/') {
        *error = usage;
        return false;
    }
    const char letter = arguments[0][1];
    if (letter == 'C' || letter == 'c') {
        commandLine->mode = CommandLine::Mode::RunAndExit;
    } else if (letter == 'K' || letter == 'k') {
        commandLine->mode = CommandLine::Mode::RunAndStay;
    } else {
        *error = "unknown switch '" + arguments[0] + "'; " + usage;
        return false;
    }
    const std::string glued = arguments[0].substr(2);
    if (!glued.empty() && arguments.size() == 1) {
        commandLine->batchFile = glued;
        return true;
    }
    if (glued.empty() && arguments.size() == 2 && !arguments[1].empty()) {
        commandLine->batchFile = arguments[1];
        return true;
    }
    *error = usage;
    return false;
}

std::string resolveBatchFile(const std::string &name)
{
    // The exact name wins whenever it is there: another user's case variant of it must never be
    // picked instead. A link of that name is taken too, for the reader to refuse.
    struct stat info;
    if (name.empty() || ::lstat(name.c_str(), &info) == 0)
        return name;

    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string prefix =
        slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string directory = slash == std::string::npos ? std::string(".")
                                  : slash == 0               ? std::string("/")
                                                             : name.substr(0, slash);
    if (base.empty())
        return name;

    DIR *dir = ::opendir(directory.c_str());
    if (dir == nullptr)
        return name;
    // Several spellings of one name can live side by side here; take the first in byte order so
    // that the choice does not depend on the directory's internal order. Whose file it is, the
    // reader checks.
    std::string best;
    while (const dirent *entry = ::readdir(dir)) {
        if (strcasecmp(entry->d_name, base.c_str()) == 0 && (best.empty() || entry->d_name < best))
            best = entry->d_name;
    }
    ::closedir(dir);
    return best.empty() ? name : prefix + best;
}

std::vector<std::string> splitBatchLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            end = text.size();
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
    return lines;
}

BatchLine parseBatchLine(const std::string &line)
{
    BatchLine parsed;
    size_t start = 0;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    while (start < line.size() && line[start] == '@') {
        parsed.quiet = true;
        ++start;
        while (start < line.size() && isBlank(line[start]))
            ++start;
    }
    const std::string text = line.substr(start);
    // Blank lines and labels (":name", and the "::" comments built on them) are never echoed.
    if (trimmed(text).empty() || text[0] == ':')
        return parsed;

    if (startsWithCommand(text, "rem", " \t")) {
        parsed.kind = BatchLine::Kind::Remark;
    } else if (startsWithCommand(text, "echo", " \t.")) {
        parsed.kind = BatchLine::Kind::Echo;
        parsed.echoText = text.substr(4);
    } else {
        parsed.words = splitWords(text);
        // A line that is not blank always holds a word; should none come back, nothing runs.
        parsed.kind = parsed.words.empty() ? BatchLine::Kind::Remark : BatchLine::Kind::Program;
    }
    return parsed;
}

BatchRunner::BatchRunner(std::string ftpClient) : m_ftpClient(std::move(ftpClient)) {}

int BatchRunner::run(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        runLine(line);
    return m_status;
}

void BatchRunner::runLine(const std::string &line)
{
    const BatchLine parsed = parseBatchLine(line);
    if (parsed.kind == BatchLine::Kind::Nothing)
        return;
    if (m_echo && !parsed.quiet)
        echoCommand(line);
    switch (parsed.kind) {
    case BatchLine::Kind::Echo:
        runEcho(parsed.echoText);
        return;
    case BatchLine::Kind::Program:
        m_status = runProgram(parsed.words);
        return;
    default:
        return;
    }
}

void BatchRunner::echoCommand(const std::string &line) const
{
    writeOut("\n" + currentDirectory() + ">" + line + "\n");
}

void BatchRunner::runEcho(const std::string &rest)
{
    // "echo." always prints what follows the dot, even "on", "off" or nothing.
    if (!rest.empty() && rest[0] == '.') {
        writeOut(rest.substr(1) + "\n");
        return;
    }
    const std::string argument = trimmed(rest);
    if (argument.empty()) {
        writeOut(m_echo ? "ECHO is on.\n" : "ECHO is off.\n");
        return;
    }
    const std::string word = lowerCase(argument);
    if (word == "on" || word == "off") {
        m_echo = word == "on";
        return;
    }
    writeOut(rest.substr(1) + "\n");
}

std::string BatchRunner::findProgram(const std::string &word, std::string *notFound) const
{
    const std::string lower = lowerCase(word);
    if (lower == "ftp") {
        if (isExecutableFile(m_ftpClient))
            return m_ftpClient;
        *notFound =
            "'" + word + "' stands for parcelwright-ftp, which was not found at " + m_ftpClient;
        return std::string();
    }
    if (word.empty()) {
        *notFound = "an empty program name cannot be run";
        return std::string();
    }
    if (word.find('/') != std::string::npos) {
        if (isExecutableFile(word))
            return word;
        *notFound = "'" + word + "' was not found or is not an executable file";
        return std::string();
    }

    const char *pathVariable = std::getenv("PATH");
    const std::string path =
        pathVariable != nullptr ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    // Windows finds "PSFTP" as readily as "psftp"; here the lower-case spelling is the usual one.
    std::vector<std::string> spellings{word};
    if (lower != word)
        spellings.push_back(lower);
    for (const std::string &spelling : spellings) {
        size_t start = 0;
        for (;;) {
            const size_t colon = path.find(':', start);
            const std::string directory =
                path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            const std::string candidate = (directory.empty() ? "." : directory) + "/" + spelling;
            if (isExecutableFile(candidate))
                return candidate;
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    *notFound = "'" + word + "' was not found on PATH";
    if (lower == "psftp")
        *notFound += ": psftp comes with PuTTY (Debian package putty-tools)";
    return std::string();
}

int BatchRunner::runProgram(const std::vector<std::string> &words) const
{
    std::string notFound;
    const std::string program = findProgram(words[0], &notFound);
    if (program.empty()) {
        writeError(notFound);
        return 127;
    }
    std::vector<std::string> arguments = words;
    if (lowerCase(words[0]) == "ftp")
        arguments[0] = program;
    return runAndWait(program, arguments);
}

std::vector<std::string> clientJobFiles(const std::vector<std::string> &lines)
{
    std::vector<std::string> files;
    for (const std::string &line : lines) {
        const BatchLine parsed = parseBatchLine(line);
        if (parsed.kind != BatchLine::Kind::Program)
            continue;
        const std::string program = lowerCase(parsed.words[0]);
        for (size_t i = 1; i < parsed.words.size(); ++i) {
            const std::string &word = parsed.words[i];
            const bool hasNext = i + 1 < parsed.words.size();
            if (program == "ftp" && word.size() > 3 && lowerCase(word.substr(0, 3)) == "-s:")
                files.push_back(word.substr(3));
            else if (program == "psftp" && hasNext && (word == "-b" || word == "-pwfile"))
                files.push_back(parsed.words[++i]);
        }
    }
    return files;
}
