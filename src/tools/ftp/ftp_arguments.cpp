#include "tools/ftp/ftp_arguments.h"

#include <cctype>
#include <utility>

namespace {

/// Parses a whole decimal number within [low, high]; anything else (signs, blanks) is refused.
bool parseNumber(const std::string &text, long low, long high, long *value)
{
    if (text.empty() || text.size() > 9)
        return false;
    long number = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high)
        return false;
    *value = number;
    return true;
}

bool hasPrefix(const std::string &text, const char *prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

bool splitHost(const std::string &text, FtpArguments *result, std::string *error)
{
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) {
            *error = "Invalid host " + text + ": \"[\" without \"]\".";
            return false;
        }
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                *error = "Invalid host " + text + ".";
                return false;
            }
            port = rest.substr(1);
        }
    } else {
        const std::size_t colon = text.find(':');
        // More than one colon is a bare IPv6 address, which cannot carry a port.
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty()) {
                *error = "Invalid port in " + text + ".";
                return false;
            }
        }
    }
    if (host.empty()) {
        *error = "Invalid host " + text + ".";
        return false;
    }
    if (!port.empty() && !parseNumber(port, 1, 65535, &result->port)) {
        *error = "Invalid port " + port + " in " + text + ".";
        return false;
    }
    result->host = host;
    return true;
}

bool parseTlsMode(const std::string &text, TlsMode *mode)
{
    const std::pair<const char *, TlsMode> modes[] = {
        {"never", TlsMode::Never}, {"offered", TlsMode::Offered}, {"required", TlsMode::Required}};
    for (const auto &[name, value] : modes) {
        if (text == name) {
            *mode = value;
            return true;
        }
    }
    return false;
}

} // namespace

bool parseArguments(const std::vector<std::string> &arguments, FtpArguments *result,
                    std::string *error)
{
    FtpArguments parsed;
    bool haveHost = false;
    for (const std::string &argument : arguments) {
        if (hasPrefix(argument, "-s:")) {
            parsed.scriptPath = argument.substr(3);
            if (parsed.scriptPath.empty()) {
                *error = "Option -s: needs a script file name.";
                return false;
            }
        } else if (hasPrefix(argument, "-t:")) {
            if (!parseNumber(argument.substr(3), 1, 86400, &parsed.timeoutSeconds)) {
                *error = "Option -t: needs a number of seconds from 1 to 86400.";
                return false;
            }
        } else if (hasPrefix(argument, "-tls:")) {
            if (!parseTlsMode(argument.substr(5), &parsed.tls)) {
                *error = "Option -tls: needs never, offered or required.";
                return false;
            }
        } else if (hasPrefix(argument, "-cafile:")) {
            parsed.caFile = argument.substr(8);
            if (parsed.caFile.empty()) {
                *error = "Option -cafile: needs a certificate file name.";
                return false;
            }
        } else if (!argument.empty() && argument.front() == '-') {
            *error = "Unknown option " + argument + ".";
            return false;
        } else if (haveHost) {
            *error = "Only one host may be given; " + argument + " is one too many.";
            return false;
        } else {
            if (!splitHost(argument, &parsed, error))
                return false;
            haveHost = true;
        }
    }
    if (!haveHost) {
        *error = "No host given.";
        return false;
    }
    if (!parsed.caFile.empty() && parsed.tls == TlsMode::Never) {
        *error = "Option -cafile: needs -tls:offered or -tls:required.";
        return false;
    }
    *result = parsed;
    return true;
}

std::string usageText()
{
    return "Usage: parcelwright-ftp [-s:SCRIPT] [-t:SECONDS] [-tls:MODE [-cafile:FILE]] "
           "HOST[:PORT]\n"
           "  -s:SCRIPT     read the user id, the password and then the commands from SCRIPT,\n"
           "                then go on reading commands from standard input\n"
           "  -t:SECONDS    connect and reply time-out (default 30); a stalled transfer\n"
           "                is given up after twice this time\n"
           "  -tls:MODE     never (default): plain FTP; offered: TLS where the server offers\n"
           "                it; required: no log-in without TLS. The server's certificate is\n"
           "                always checked, and the data connections are protected too\n"
           "  -cafile:FILE  trust the PEM certificates in FILE instead of the system's\n";
}
