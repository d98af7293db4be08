#pragma once

#include <string>
#include <vector>

// What parcelwright-cmd asks of the operating system; one implementation per system.

/// Reads a whole batch file as bytes, refusing (false, with *error naming the file and the reason)
/// a link, anything but a regular file, a file another user owns and one that others may write:
/// in a shared directory such a file may have been planted to run under this user's name.
bool readBatchFile(const std::string &path, std::string *text, std::string *error);

/// Starts `program` with `arguments` (the first one its own name), waits for it and returns its
/// exit status, 128 + the signal that ended it, or 126/127 when it could not be run. A Ctrl-C in
/// the console ends the program, not the interpreter, as with system(); the program ends with
/// the interpreter, however that ends.
int runAndWait(const std::string &program, const std::vector<std::string> &arguments);

/// Removes the file of `path` when it is a regular file of the current user's own; anything else
/// of that name (another user's file, a link, a directory) is not ours to remove and is left
/// alone. False, with *error naming the file and the reason, only when an own file stays.
bool removeOwnFile(const std::string &path, std::string *error);

/// The directory that holds the running executable, without a closing separator.
std::string ownExecutableDirectory();

/// Replaces this process with an interactive shell ($SHELL, else /bin/sh) in the current
/// directory; returns only when no shell could be started.
void handOverToShell();
