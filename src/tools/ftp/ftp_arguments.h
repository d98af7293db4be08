#pragma once

#include <string>
#include <vector>

/// What the command line of parcelwright-ftp asks for.
struct FtpArguments
{
    std::string scriptPath; // empty: everything comes from standard input
    std::string host;       // the host name or address, without the port
    long port = 21;
    long timeoutSeconds = 30; // connect and reply time-out; a stalled transfer gets twice this
};

/// Reads `-s:SCRIPT`, `-t:SECONDS` and `HOST[:PORT]` (IPv6 addresses in brackets) from the
/// arguments after the program name; false and *error on anything it cannot use.
bool parseArguments(const std::vector<std::string> &arguments, FtpArguments *result,
                    std::string *error);

/// The usage text printed with an argument error.
std::string usageText();
