#pragma once

#include <string>
#include <vector>

/// Whether the session asks the server for TLS (AUTH TLS) before the log-in.
enum class TlsMode
{
    Never,    // plain FTP, as the Windows client speaks it
    Offered,  // TLS where the server offers it, plain FTP where it does not
    Required, // no log-in, and so no password sent, without TLS
};

/// What the command line of parcelwright-ftp asks for.
struct FtpArguments
{
    std::string scriptPath; // empty: everything comes from standard input
    std::string host;       // the host name or address, without the port
    long port = 21;
    long timeoutSeconds = 30; // connect and reply time-out; a stalled transfer gets twice this
    TlsMode tls = TlsMode::Never;
    std::string caFile; // PEM certificates trusted instead of the system's; empty: the system's
};

/// Reads `-s:SCRIPT`, `-t:SECONDS`, `-tls:never|offered|required`, `-cafile:FILE` and
/// `HOST[:PORT]` (IPv6 addresses in brackets) from the arguments after the program name; false
/// and *error on anything it cannot use.
bool parseArguments(const std::vector<std::string> &arguments, FtpArguments *result,
                    std::string *error);

/// The usage text printed with an argument error.
std::string usageText();
