#include "tools/ftp/ftp_command.h"

#include "tools/common/words.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

namespace {

/// One command name with its argument limits and help line.
struct CommandInfo
{
    const char *name;
    CommandKind kind;
    std::size_t minArguments;
    std::size_t maxArguments;
    const char *usage;
    const char *help;
};

// Sorted by name so that the help list reads in order; aliases are entries of their own.
constexpr CommandInfo commandTable[] = {
    {"?", CommandKind::Help, 0, 1, "? [command]", "print local help information"},
    {"ascii", CommandKind::Ascii, 0, 0, "ascii", "set ascii transfer type"},
    {"binary", CommandKind::Binary, 0, 0, "binary", "set binary transfer type"},
    {"bye", CommandKind::Quit, 0, 0, "bye", "terminate ftp session and exit"},
    {"cd", CommandKind::Cd, 1, 1, "cd remote-directory", "change remote working directory"},
    {"delete", CommandKind::Delete, 1, 1, "delete remote-file", "delete remote file"},
    {"dir", CommandKind::Dir, 0, 1, "dir [remote-directory]", "list contents of remote directory"},
    {"get", CommandKind::Get, 1, 2, "get remote-file [local-file]", "receive file"},
    {"help", CommandKind::Help, 0, 1, "help [command]", "print local help information"},
    {"lcd", CommandKind::Lcd, 0, 1, "lcd [local-directory]", "change local working directory"},
    {"ls", CommandKind::Ls, 0, 1, "ls [remote-directory]", "nlist contents of remote directory"},
    {"mkdir", CommandKind::Mkdir, 1, 1, "mkdir remote-directory",
     "make directory on the remote machine"},
    {"put", CommandKind::Put, 1, 2, "put local-file [remote-file]", "send one file"},
    {"pwd", CommandKind::Pwd, 0, 0, "pwd", "print working directory on remote machine"},
    {"quit", CommandKind::Quit, 0, 0, "quit", "terminate ftp session and exit"},
    {"recv", CommandKind::Get, 1, 2, "recv remote-file [local-file]", "receive file"},
    {"rename", CommandKind::Rename, 2, 2, "rename from-name to-name", "rename file"},
    {"rmdir", CommandKind::Rmdir, 1, 1, "rmdir remote-directory",
     "remove directory on the remote machine"},
    {"send", CommandKind::Put, 1, 2, "send local-file [remote-file]", "send one file"},
};

constexpr std::size_t commandCount = std::size(commandTable);

std::string lowered(const std::string &text)
{
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

/// Finds the command a word names: an exact name wins, else the single command that the word
/// abbreviates. Aliases of one command (quit, bye) do not make an abbreviation ambiguous.
const CommandInfo *findCommand(const std::string &word, bool *ambiguous)
{
    const std::string name = lowered(word);
    const CommandInfo *found = nullptr;
    *ambiguous = false;
    for (std::size_t i = 0; i < commandCount; ++i) {
        const CommandInfo &info = commandTable[i];
        if (name == info.name)
            return &info;
        if (std::string_view(info.name).substr(0, name.size()) == name) {
            if (found != nullptr && found->kind != info.kind)
                *ambiguous = true;
            found = &info;
        }
    }
    return *ambiguous ? nullptr : found;
}

} // namespace

FtpCommand parseCommand(const std::string &line)
{
    FtpCommand command;
    std::vector<std::string> words = splitWords(line);
    if (words.empty())
        return command;
    bool ambiguous = false;
    const CommandInfo *info = findCommand(words.front(), &ambiguous);
    if (info == nullptr) {
        command.kind = ambiguous ? CommandKind::Ambiguous : CommandKind::Invalid;
        return command;
    }
    command.kind = info->kind;
    command.arguments.assign(words.begin() + 1, words.end());
    if (command.arguments.size() < info->minArguments ||
        command.arguments.size() > info->maxArguments)
        command.usage = std::string("Usage: ") + info->usage;
    return command;
}

std::string helpText(const std::string &topic)
{
    if (topic.empty()) {
        std::string text = "Commands may be abbreviated.  Commands are:\n\n";
        for (std::size_t i = 0; i < commandCount; ++i) {
            std::string name = commandTable[i].name;
            name.resize(16, ' ');
            text += name;
            if (i % 5 == 4 || i + 1 == commandCount) {
                while (!text.empty() && text.back() == ' ')
                    text.pop_back();
                text += '\n';
            }
        }
        return text;
    }
    bool ambiguous = false;
    const CommandInfo *info = findCommand(topic, &ambiguous);
    if (info == nullptr)
        return (ambiguous ? "Ambiguous help command " : "Invalid help command ") + topic + ".\n";
    std::string name = info->name;
    name.resize(16, ' ');
    return name + info->help + "\n";
}
