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

/// The batch file a name stands for: the name itself when anything of that name exists (a link
/// included, which the reader then refuses), else the first file of its directory in byte order
/// whose name matches it without regard to letter case, else the name unchanged.
std::string resolveBatchFile(const std::string &name);

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

/// The files that the client lines of a batch file read a script or a password from: `-s:FILE`
/// of ftp, `-b FILE` and `-pwfile FILE` of psftp, in the order they appear.
std::vector<std::string> clientJobFiles(const std::vector<std::string> &lines);

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

/// Writes one of parcelwright-cmd's own messages to standard error, after flushing standard output
/// so that a merged log keeps the order in which things happened.
void writeError(const std::string &text);
