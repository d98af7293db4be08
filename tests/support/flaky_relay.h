#pragma once

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

/// A port on 127.0.0.1 in front of a real server, for the faults of a network that pass: the
/// first `dropped` connections are closed as soon as they are accepted, every later one is passed
/// through to 127.0.0.1:targetPort, or, with targetPort 0, held open and never answered. It runs
/// on a thread of its own until destroyed.
class FlakyRelay final
{
public:
    FlakyRelay(int dropped, int targetPort);
    ~FlakyRelay();
    FlakyRelay(const FlakyRelay &) = delete;
    FlakyRelay &operator=(const FlakyRelay &) = delete;

    /// The port to connect to, or 0 when the relay could not listen.
    int port() const;

    /// How many connections it has accepted so far, the dropped ones included.
    int accepted() const { return m_accepted; }

private:
    void serve();
    void accept();
    bool pass(std::size_t pair, bool fromClient);

    int m_dropped;
    int m_targetPort;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_accepted{0};
    std::vector<std::pair<int, int>> m_pairs; // client, server (-1 when held in silence)
    std::thread m_thread;
};
