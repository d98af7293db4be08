#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// What a scripted server does wrong besides its replies.
struct ServerQuirks
{
    std::string flood;         // after the greeting, sent again and again before anything else,
    std::size_t floodBytes{0}; // this many bytes in all, or until the client leaves
    // An upload's data connection is closed once this many bytes have been read; with more still
    // on its way the client gets a reset.
    std::size_t uploadBytesTaken = static_cast<std::size_t>(-1);
};

/// An FTP server on 127.0.0.1 that plays a script of raw replies, for the replies no real server
/// sends. It answers each new control connection and each command line with the next piece, sent
/// as it is; "%P" in a piece stands for the port of its data listener and "%A" for that address
/// in PASV's six numbers, "%R" for the argument of the command it answers (a server that echoes
/// a password: "530 Login incorrect for %R\r\n"). A passive data connection gets a short listing
/// after LIST, NLST or RETR and is otherwise read to its end (or to the quirks' limit). The server
/// hangs up when the pieces run out or when the client has been silent for the silence limit. It
/// runs on a thread of its own until destroyed.
class ScriptedFtpServer final
{
public:
    ScriptedFtpServer(std::vector<std::string> pieces, std::chrono::milliseconds silenceLimit,
                      ServerQuirks quirks = {});
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer &) = delete;
    ScriptedFtpServer &operator=(const ScriptedFtpServer &) = delete;

    /// The control port, or 0 when the server could not listen.
    int port() const;

    /// Every command line received so far, without its line end.
    std::vector<std::string> received() const;

private:
    void serve();
    void answer();
    void acceptControl();
    void acceptData();
    void readControl();
    void readData();
    void sendListing();
    void hangUp();

    std::vector<std::string> m_pieces;
    std::size_t m_next = 0;
    std::chrono::milliseconds m_silenceLimit;
    ServerQuirks m_quirks;
    std::size_t m_uploadTaken = 0;
    int m_controlListener = -1;
    int m_dataListener = -1;
    int m_stop[2] = {-1, -1};
    int m_control = -1;
    int m_data = -1;
    std::string m_received;
    std::string m_argument; // of the command being answered
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    bool m_listingWanted = false;
    std::chrono::steady_clock::time_point m_lastActivity;
    std::thread m_thread;
};
