#pragma once

#include <string>

/// Resolves a directory to change to or list against the current remote directory (an absolute
/// path): "/x" is absolute, anything else relative; "\" counts as "/" since scripts for Windows
/// servers use it; "." and ".." are resolved and repeated separators dropped. The result starts
/// with "/" and has no trailing "/" except for the root itself.
std::string joinRemotePath(const std::string &currentDirectory, const std::string &argument);

/// Resolves the name of a remote file or directory to write, read, rename or remove: the part
/// before the last "/" is a directory resolved as by joinRemotePath except that "\" is an
/// ordinary character, and the part after it is the name exactly as given. False when that name
/// is empty, "." or "..", since it then names no entry of its directory.
bool joinRemoteName(const std::string &currentDirectory, const std::string &argument,
                    std::string *path);

/// The part of a path after its last "/" (the whole text when there is none).
std::string lastPathPart(const std::string &path);

/// True when a path holds a byte that must never reach the control connection (CR, LF, NUL or
/// another control character), since it could end a command and start one of its own.
bool hasControlCharacters(const std::string &path);

/// True when a host can stand in a URL as that host and no other: libcurl would read "@" as the
/// end of a user name, "/", "?", "#" and "\\" as the end of the host, "%" as an escape, and "u@h"
/// would reach h. No host name holds any of them, nor a blank or a control character.
bool isPlainHost(const std::string &host);

/// The URL of the server itself, "ftp://host:port/"; IPv6 addresses go in brackets.
std::string ftpServerUrl(const std::string &host, long port);

/// Builds the URL addressing an absolute remote path on host:port. Every path byte outside the
/// unreserved set is percent-encoded and the leading "/" is sent as "%2F", because libcurl takes
/// URL paths relative to the log-in directory. A directory URL ends with "/".
std::string ftpUrl(const std::string &host, long port, const std::string &absolutePath,
                   bool directory);
