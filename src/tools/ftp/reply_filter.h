#pragma once

#include "tools/common/terminal_text.h"

#include <string>
#include <string_view>
#include <vector>

/// Decides which lines of the control connection a user of the command-line client would see.
/// libcurl sends commands of its own around the ones a user command stands for (PWD, EPSV, TYPE,
/// SIZE, a CWD to the directory of a file); only the replies to the commands that the user
/// command stands for are shown, each of them once and in order.
class ReplyFilter final
{
public:
    /// Starts a user command whose visible commands are `verbs` (e.g. {"RNFR", "RNTO"}, in the
    /// order they are sent); showGreeting also shows the replies that arrive before any command.
    void begin(std::vector<std::string> verbs, bool showGreeting);

    /// Notes a command line sent to the server and returns its verb in upper case.
    std::string commandSent(std::string_view line);

    /// Notes a reply line (without line end) and returns true when it is to be shown.
    bool replyReceived(std::string_view line);

    /// True when a shown reply of the current user command was a failure (4xx or 5xx).
    bool failureShown() const { return m_failureShown; }

    /// The latest reply line, shown or not: the best account of a failure nobody saw.
    const std::string &lastReply() const { return m_lastReply; }

private:
    std::vector<std::string> m_verbs;
    std::size_t m_next = 0;
    bool m_showing = false;
    bool m_failureShown = false;
    std::string m_lastReply;
};

/// True when a reply line carries a failure code (4xx or 5xx).
bool isFailureReply(std::string_view line);
