#pragma once

#include <optional>
#include <string>
#include <vector>

/// Reads a script file into lines, taking CR LF and LF line ends and a last line without one;
/// false and *error (naming the file and the reason) when it cannot be read.
bool readScriptLines(const std::string &path, std::vector<std::string> *lines, std::string *error);

/// One input line and where it came from.
struct InputLine
{
    std::string text;
    bool fromScript = false;
};

/// Hands out the script's lines and, once they run out, the lines of standard input, the way the
/// Windows client goes on at its console after a script without "quit".
class CommandSource final
{
public:
    explicit CommandSource(std::vector<std::string> scriptLines);

    /// True when the next line will come from the script, so that no prompt needs to wait for it.
    bool nextFromScript() const { return m_next < m_scriptLines.size(); }

    /// How many script lines are still to come.
    std::size_t scriptLinesLeft() const { return m_scriptLines.size() - m_next; }

    /// The next line, or nullopt at the end of standard input; `hidden` keeps a line typed at a
    /// terminal from showing.
    std::optional<InputLine> next(bool hidden = false);

private:
    std::vector<std::string> m_scriptLines;
    std::size_t m_next = 0;
};
