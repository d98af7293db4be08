#include "tools/ftp/remote_path.h"

#include <string_view>
#include <vector>

namespace {

// Resolves "/"-separated parts against the current directory; every other byte is part of a name.
std::string resolvePath(const std::string &currentDirectory, const std::string &argument)
{
    std::string path = argument;
    if (path.empty() || path.front() != '/')
        path = currentDirectory + "/" + path;

    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string &part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

} // namespace

std::string joinRemotePath(const std::string &currentDirectory, const std::string &argument)
{
    std::string path = argument;
    for (char &c : path) {
        if (c == '\\')
            c = '/';
    }
    return resolvePath(currentDirectory, path);
}

bool joinRemoteName(const std::string &currentDirectory, const std::string &argument,
                    std::string *path)
{
    const std::size_t slash = argument.rfind('/');
    const std::string name = slash == std::string::npos ? argument : argument.substr(slash + 1);
    // A "\" in a name stays in it: taken as a separator it would move the file elsewhere.
    if (name.empty() || name == "." || name == "..")
        return false;
    const std::string directory =
        slash == std::string::npos ? currentDirectory
                                   : resolvePath(currentDirectory, argument.substr(0, slash + 1));
    *path = (directory == "/" ? std::string() : directory) + "/" + name;
    return true;
}

std::string lastPathPart(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hasControlCharacters(const std::string &path)
{
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
    }
    return false;
}

bool isPlainHost(const std::string &host)
{
    for (const char c : host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f' ||
            std::string_view("@/?#\\%[]").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

std::string ftpServerUrl(const std::string &host, long port)
{
    const std::string name = host.find(':') == std::string::npos ? host : "[" + host + "]";
    return "ftp://" + name + ":" + std::to_string(port) + "/";
}

std::string ftpUrl(const std::string &host, long port, const std::string &absolutePath,
                   bool directory)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    std::string url = ftpServerUrl(host, port) + "%2F";

    std::string path = absolutePath;
    while (!path.empty() && path.front() == '/')
        path.erase(0, 1);
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += hexDigits[byte >> 4];
            url += hexDigits[byte & 0x0f];
        }
    }
    if (directory && !path.empty())
        url += '/';
    return url;
}
