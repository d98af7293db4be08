#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// One destination of a request: a Destination table row that passed the request's checks.
struct Destination
{
    int row = 0;         // its row in the Destination table, 1 to 4,999
    bool secure = false; // served by psftp (the row's Secure Shell value is "Y")
    QString host;
    QString remoteDirectory;
    QString userId;
    QString password;
    // The SHA-256 fingerprints of the keys the host keys file gives a Secure Shell host: psftp is
    // given these and trusts nothing else. Empty: psftp's own store decides, as without the file.
    QStringList hostKeys{};
};

/// Whether plain FTP rows ask the server for TLS (AUTH TLS) before the log-in.
enum class FtpTls
{
    Never,    // plain FTP
    Offered,  // TLS where the server offers it, plain FTP where it does not
    Required, // no log-in, and so no password sent, to a server without TLS
};

/// How a run treats its destinations beyond the rows: what the user chose in "Transfer settings"
/// or on the batch command line. The defaults change nothing in the generated files.
struct TransferSettings
{
    int idleTimeoutSeconds = 120; // a destination without progress this long is stopped; 0: never
    int retries = 0;              // further tries of a destination that failed for a passing reason
    int retryWaitSeconds = 5;     // before the first further try; doubled for each next one
    bool makeDirectories = false; // each missing level of the remote directory is made first
    bool temporaryNames = false;  // each file arrives under .NAME.part, then takes its name
    FtpTls ftpTls = FtpTls::Never;
    QString caFile{};       // PEM certificates trusted for FTP over TLS instead of the system's
    QString hostKeysFile{}; // an OpenSSH known_hosts file giving Secure Shell hosts their keys

    bool operator==(const TransferSettings &) const = default;
};

/// Everything a transfer run needs, taken from the window once the checks have passed, so that
/// the run never reads the window again.
struct TransferRequest
{
    QStringList files;               // full local paths, in File list order
    QList<Destination> destinations; // in row order
    QString workingDirectory;        // absolute, resolved once where the checks found it
    int simultaneous = 1;            // how many destinations may be served at once, 1 to 64
    // The earlier FTPLogALL.TXT is kept as FTPLogALL.1.TXT (the one before it as .2, and so on
    // up to kKeptLogs) instead of being replaced.
    bool keepEarlierLog = false;
    TransferSettings settings;
};

/// How many earlier cumulative logs a request that keeps them leaves beside the new one.
inline constexpr int kKeptLogs = 9;

/// Bounds of TransferRequest::simultaneous.
inline constexpr int kMinSimultaneous = 1;
inline constexpr int kMaxSimultaneous = 64;

/// Bounds of the numbers of TransferSettings.
inline constexpr int kMaxIdleTimeoutSeconds = 86400;
inline constexpr int kMaxRetries = 9;
inline constexpr int kMaxRetryWaitSeconds = 300; // also the longest wait, however often doubled
