#pragma once

#include <string>
#include <vector>

/// The commands the client understands.
enum class CommandKind
{
    Empty,     // a blank line: nothing to do
    Invalid,   // no command of this name
    Ambiguous, // an abbreviation that fits more than one command
    Ascii,
    Binary,
    Cd,
    Delete,
    Dir,
    Get,
    Help,
    Lcd,
    Ls,
    Mkdir,
    Put,
    Pwd,
    Quit,
    Rename,
    Rmdir,
};

/// One parsed command line: what to do, with which arguments, or why it cannot be done.
struct FtpCommand
{
    CommandKind kind = CommandKind::Empty;
    std::vector<std::string> arguments; // without the command word; double quotes removed
    std::string usage; // set when the number of arguments does not fit: the usage line to print
};

/// Splits a command line into words (double quotes group) and looks up the command word, which
/// may be abbreviated as long as the abbreviation is unambiguous; checks the argument count.
FtpCommand parseCommand(const std::string &line);

/// The help text: with an empty topic the list of all commands, else the one line on that
/// command (or "Invalid help command TOPIC.").
std::string helpText(const std::string &topic);
