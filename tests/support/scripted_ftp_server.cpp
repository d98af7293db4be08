#include "support/scripted_ftp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

// What a listing or a download receives over the data connection.
constexpr char kListing[] = "upload.txt\r\nother.txt\r\n";

int listenOnLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int portOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool sendAll(int fd, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return false; // the client has gone: what it makes of that is its own business
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

ScriptedFtpServer::ScriptedFtpServer(std::vector<std::string> pieces,
                                     std::chrono::milliseconds silenceLimit, ServerQuirks quirks)
    : m_pieces(std::move(pieces)), m_silenceLimit(silenceLimit), m_quirks(std::move(quirks)),
      m_controlListener(listenOnLoopback()), m_dataListener(listenOnLoopback()),
      m_lastActivity(Clock::now())
{
    if (m_controlListener < 0 || m_dataListener < 0 || ::pipe2(m_stop, O_CLOEXEC) != 0) {
        closeFd(m_controlListener);
        closeFd(m_dataListener);
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    if (m_thread.joinable()) {
        const char stop = 0;
        while (::write(m_stop[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    closeFd(m_stop[0]);
    closeFd(m_stop[1]);
    closeFd(m_controlListener);
    closeFd(m_dataListener);
}

int ScriptedFtpServer::port() const
{
    return portOf(m_controlListener);
}

std::vector<std::string> ScriptedFtpServer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_commands;
}

void ScriptedFtpServer::serve()
{
    for (;;) {
        pollfd fds[5] = {{m_stop[0], POLLIN, 0},
                         {m_controlListener, POLLIN, 0},
                         {m_dataListener, POLLIN, 0},
                         {m_control, POLLIN, 0},
                         {m_data, POLLIN, 0}};
        // Wake when the client's silence would run out, and at least every 100 ms.
        int wait = 100;
        if (m_control >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_lastActivity + m_silenceLimit - Clock::now());
            wait = std::clamp(static_cast<int>(left.count()) + 1, 0, wait);
        }
        if ((::poll(fds, 5, wait) < 0 && errno != EINTR) || (fds[0].revents & POLLIN) != 0)
            break;
        if (fds[1].revents & POLLIN)
            acceptControl();
        if (fds[2].revents & POLLIN)
            acceptData();
        if (m_control >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)))
            readControl();
        if (m_data >= 0 && (fds[4].revents & (POLLIN | POLLHUP | POLLERR)))
            readData();
        if (m_control >= 0 && Clock::now() - m_lastActivity > m_silenceLimit)
            hangUp();
    }
    hangUp();
}

void ScriptedFtpServer::answer()
{
    if (m_next >= m_pieces.size()) {
        hangUp();
        return;
    }
    const int port = portOf(m_dataListener);
    const std::string pasv =
        "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    sendAll(m_control,
            replaced(replaced(replaced(m_pieces[m_next++], "%P", std::to_string(port)), "%A", pasv),
                     "%R", m_argument));
    // After the last piece the client learns at once that nothing more will come.
    if (m_next == m_pieces.size())
        ::shutdown(m_control, SHUT_WR);
    m_lastActivity = Clock::now();
}

void ScriptedFtpServer::acceptControl()
{
    const int fd = ::accept4(m_controlListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    hangUp();
    m_control = fd;
    m_received.clear();
    answer(); // the greeting
    for (std::size_t sent = 0; sent < m_quirks.floodBytes && !m_quirks.flood.empty();
         sent += m_quirks.flood.size()) {
        if (!sendAll(m_control, m_quirks.flood))
            break;
    }
    m_lastActivity = Clock::now();
}

void ScriptedFtpServer::acceptData()
{
    const int fd = ::accept4(m_dataListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    closeFd(m_data);
    m_data = fd;
    m_uploadTaken = 0;
    m_lastActivity = Clock::now();
    sendListing();
}

void ScriptedFtpServer::readControl()
{
    char buffer[4096];
    const ssize_t count = ::recv(m_control, buffer, sizeof buffer, 0);
    if (count <= 0) {
        hangUp();
        return;
    }
    m_lastActivity = Clock::now();
    m_received.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end = m_received.find('\n'); end != std::string::npos && m_control >= 0;
         end = m_received.find('\n')) {
        std::string line = m_received.substr(0, end);
        m_received.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string verb = line.substr(0, line.find(' '));
        m_argument = verb.size() < line.size() ? line.substr(verb.size() + 1) : std::string();
        {
            const std::lock_guard lock(m_mutex);
            m_commands.push_back(line);
        }
        for (char &c : verb)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        m_listingWanted = verb == "LIST" || verb == "NLST" || verb == "RETR";
        answer();
        sendListing();
    }
}

void ScriptedFtpServer::sendListing()
{
    if (m_data < 0 || !m_listingWanted)
        return;
    sendAll(m_data, kListing);
    closeFd(m_data);
    m_listingWanted = false;
}

void ScriptedFtpServer::readData()
{
    char buffer[4096];
    const std::size_t wanted = std::min(sizeof buffer, m_quirks.uploadBytesTaken - m_uploadTaken);
    const ssize_t count = wanted > 0 ? ::recv(m_data, buffer, wanted, 0) : 0;
    m_lastActivity = Clock::now();
    if (count > 0)
        m_uploadTaken += static_cast<std::size_t>(count);
    if (count <= 0)
        closeFd(m_data);
}

void ScriptedFtpServer::hangUp()
{
    closeFd(m_control);
    closeFd(m_data);
    m_listingWanted = false;
}
