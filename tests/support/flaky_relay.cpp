#include "support/flaky_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

void closeFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace

FlakyRelay::FlakyRelay(int dropped, int targetPort) : m_dropped(dropped), m_targetPort(targetPort)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0) {
        closeFd(m_listener);
        m_listener = -1;
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

FlakyRelay::~FlakyRelay()
{
    if (m_thread.joinable()) {
        const char stop = 0;
        while (::write(m_stop[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (const auto &[client, server] : m_pairs) {
        closeFd(client);
        closeFd(server);
    }
    closeFd(m_listener);
    closeFd(m_stop[0]);
    closeFd(m_stop[1]);
}

int FlakyRelay::port() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void FlakyRelay::serve()
{
    for (;;) {
        std::vector<pollfd> fds{{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const auto &[client, server] : m_pairs) {
            // A held connection is not read: its client waits for a greeting that never comes.
            fds.push_back({server >= 0 ? client : -1, POLLIN, 0});
            fds.push_back({server, POLLIN, 0});
        }
        if ((::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) ||
            (fds[0].revents & POLLIN) != 0)
            return;
        if (fds[1].revents & POLLIN)
            accept();
        for (std::size_t i = 0; i < m_pairs.size() && 2 * i + 3 < fds.size(); ++i) {
            const bool ended =
                ((fds[2 * i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !pass(i, true)) ||
                ((fds[2 * i + 3].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !pass(i, false));
            if (ended) {
                closeFd(m_pairs[i].first);
                closeFd(m_pairs[i].second);
                m_pairs[i] = {-1, -1};
            }
        }
        std::erase(m_pairs, std::pair<int, int>{-1, -1});
    }
}

void FlakyRelay::accept()
{
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    if (++m_accepted <= m_dropped) {
        ::close(client);
        return;
    }
    const int server = m_targetPort != 0 ? connectTo(m_targetPort) : -1;
    if (m_targetPort != 0 && server < 0)
        ::close(client);
    else
        m_pairs.emplace_back(client, server);
}

bool FlakyRelay::pass(std::size_t pair, bool fromClient)
{
    const auto [client, server] = m_pairs[pair];
    char buffer[65536];
    const ssize_t count = ::recv(fromClient ? client : server, buffer, sizeof buffer, 0);
    if (count <= 0)
        return false;
    for (ssize_t sent = 0; sent < count;) {
        const ssize_t now =
            ::send(fromClient ? server : client, buffer + sent, count - sent, MSG_NOSIGNAL);
        if (now <= 0)
            return false;
        sent += now;
    }
    return true;
}
