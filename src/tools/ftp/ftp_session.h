#pragma once

#include "tools/ftp/ftp_arguments.h"
#include "tools/ftp/ftp_command.h"
#include "tools/ftp/reply_filter.h"

#include <curl/curl.h>

#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

/// One FTP session over a single control connection that libcurl keeps open between commands;
/// it prints what the Windows command-line client prints for each command.
class FtpSession final
{
public:
    explicit FtpSession(const FtpArguments &arguments);
    ~FtpSession();
    FtpSession(const FtpSession &) = delete;
    FtpSession &operator=(const FtpSession &) = delete;

    /// Connects and logs in; promptsShown says the user and password prompts were printed while
    /// reading them, else they are printed as the log-in goes. False when the log-in failed.
    bool logIn(const std::string &user, const std::string &password, bool promptsShown);

    /// Runs one command that is neither quit nor invalid; false when it failed.
    bool run(const FtpCommand &command);

    /// Ends the session with QUIT, showing the server's farewell.
    void quit();

private:
    /// What one libcurl transfer is to do.
    struct Request
    {
        std::string url;
        std::vector<std::string> quote;     // sent before libcurl's own CWD
        std::vector<std::string> postQuote; // sent after it
        std::vector<std::string> visibleVerbs;
        bool noBody = true;
        bool listOnly = false;
        std::FILE *upload = nullptr;
        curl_off_t uploadSize = 0;
        bool closeAfter = false;
    };

    /// Where received data goes: standard output (listings) or a local file opened on first use.
    struct Download
    {
        std::string localPath; // empty: standard output
        std::FILE *file = nullptr;
        bool localFileFailed = false; // opening, writing or closing the local file failed
        int localErrno = 0;
        TerminalText listing{true};
    };

    void useTls();
    bool perform(const Request &request, bool showGreeting = false);
    CURLcode drive();
    void reportFailure(CURLcode code);
    std::string certificateProblem() const;
    void noteTlsReply(std::string_view line);
    bool changeDirectory(const std::string &argument);
    bool printDirectory();
    bool list(const std::vector<std::string> &arguments, bool namesOnly);
    bool quoteCommands(const std::vector<std::string> &commands,
                       const std::vector<std::string> &verbs);
    bool quoteOnName(const std::string &verb, const std::string &argument);
    bool makeDirectory(const std::string &argument);
    bool rename(const std::string &from, const std::string &to);
    bool put(const std::vector<std::string> &arguments);
    bool checkStoredSize(const std::string &name);
    bool get(const std::vector<std::string> &arguments);
    bool setType(bool binary);
    bool changeLocalDirectory(const std::vector<std::string> &arguments);
    bool remotePath(const std::string &argument, std::string *path);
    bool remoteName(const std::string &argument, std::string *path);
    std::string directoryUrl(const std::string &path) const;
    void printTransferSummary(bool sent);

    static int debugCallback(CURL *handle, curl_infotype type, char *data, std::size_t size,
                             void *self);
    static std::size_t readCallback(char *buffer, std::size_t size, std::size_t count, void *file);
    static std::size_t writeCallback(char *data, std::size_t size, std::size_t count, void *self);

    FtpArguments m_arguments;
    CURL *m_curl = nullptr;
    CURLM *m_multi = nullptr;
    ReplyFilter m_filter;
    std::string m_remoteDirectory = "/";
    bool m_loggedIn = false;
    // Log-in prompts printed from the debug callback, when USER and PASS go out.
    bool m_promptOnSend = false;
    bool m_connectAnnounced = false;
    bool m_binary = true;
    bool m_sizeUnsupportedNoted = false;
    bool m_directoryRefused = false; // a script's latest cd failed: its puts are not sent
    std::string m_lastVerb;          // of the latest command sent, libcurl's own ones too
    bool m_tlsStarted = false;       // the server accepted AUTH TLS
    CURLcode m_lastCode = CURLE_OK;
    std::string m_user;
    std::set<std::string> m_failedUploads; // remote paths whose latest put failed
    Download m_download;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

/// The line the Windows client prints after a transfer, e.g. "ftp: 12 bytes sent in
/// 0.00Seconds 12.00Kbytes/sec."; a transfer faster than a millisecond counts as one.
std::string transferSummary(long long bytes, long long microseconds, bool sent);
