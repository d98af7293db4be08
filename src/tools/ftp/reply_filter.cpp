#include "tools/ftp/reply_filter.h"

#include <cctype>
#include <utility>

void ReplyFilter::begin(std::vector<std::string> verbs, bool showGreeting)
{
    m_verbs = std::move(verbs);
    m_next = 0;
    m_showing = showGreeting;
    m_failureShown = false;
    m_lastReply.clear();
}

std::string ReplyFilter::commandSent(std::string_view line)
{
    std::string verb;
    for (char c : line) {
        if (c == ' ' || c == '\r' || c == '\n')
            break;
        verb += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    m_showing = m_next < m_verbs.size() && m_verbs[m_next] == verb;
    if (m_showing)
        ++m_next;
    return verb;
}

bool ReplyFilter::replyReceived(std::string_view line)
{
    m_lastReply = std::string(line);
    if (m_showing && isFailureReply(line))
        m_failureShown = true;
    return m_showing;
}

bool isFailureReply(std::string_view line)
{
    return line.size() >= 3 && (line[0] == '4' || line[0] == '5') &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}
