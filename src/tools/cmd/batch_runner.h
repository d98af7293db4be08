#pragma once

#include <string>
#include <vector>

/// How parcelwright-cmd was asked to run: the switch and the batch file named on its command line.
struct CommandLine
{
    enum class Mode
    {
        RunAndExit, // /C
        RunAndStay  // /K
    };

    Mode mode = Mode::RunAndExit;
    std::string batchFile;
};

/// Reads `/C FILE`, `/K FILE`, `/CFILE` or `/KFILE` (either letter case); false and *error when the
/// arguments hold none of these.
bool parseCommandLine(const std::vector<std::string> &arguments, CommandLine *commandLine,
                      std::string *error);

/// The batch file a name stands for: the name itself when it exists, else the one file of its
/// directory whose name matches it without regard to letter case, else the name unchanged.
std::string resolveBatchFile(const std::string &name);

/// Reads a whole batch file as bytes; false and *error (naming the file) when it cannot be read.
bool readBatchFile(const std::string &path, std::string *text, std::string *error);

/// Splits batch file bytes into lines at LF, dropping the CR of a CR LF ending.
std::vector<std::string> splitBatchLines(const std::string &text);

/// What one batch file line asks for, read without running anything.
struct BatchLine
{
    enum class Kind
    {
        Nothing, // a blank line or a label: never echoed
        Remark,  // rem: echoed, nothing runs
        Echo,    // the built-in echo, with echoText after the word
        Program  // a program and its arguments in words
    };

    Kind kind = Kind::Nothing;
    bool quiet = false; // led by "@": the line is not echoed
    std::string echoText;
    std::vector<std::string> words;
};

/// Reads one batch file line the way the Windows command interpreter does: leading blanks and
/// "@" signs, labels, rem, echo, and the words of a program's command line.
BatchLine parseBatchLine(const std::string &line);

/// Carries out batch file lines one after another the way the Windows command interpreter does.
class BatchRunner final
{
public:
    /// ftpClient: the program that the command word `ftp` stands for.
    explicit BatchRunner(std::string ftpClient);

    /// Runs the lines and returns the status of the last program that ran (0 when none did).
    int run(const std::vector<std::string> &lines);

private:
    void runLine(const std::string &line);
    void echoCommand(const std::string &line) const;
    void runEcho(const std::string &rest);
    int runProgram(const std::vector<std::string> &words) const;
    std::string findProgram(const std::string &word, std::string *notFound) const;

    std::string m_ftpClient;
    bool m_echo = true;
    int m_status = 0;
};

/// The directory that holds the running executable, without a closing separator.
std::string ownExecutableDirectory();

/// Replaces this process with an interactive shell ($SHELL, else /bin/sh) in the current
/// directory; returns only when no shell could be started.
void handOverToShell();
