#include "tools/cmd/batch_system.h"

#include "tools/cmd/batch_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace {

/// Why a batch file must not run, or empty when it may.
std::string refusalOf(const struct stat &info)
{
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    if (info.st_uid != ::geteuid())
        return "it belongs to another user";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "other users may write to it";
    return std::string();
}

bool readAll(int fd, std::string *text)
{
    text->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0 && errno != EINTR)
            return false;
        if (count > 0)
            text->append(buffer, static_cast<size_t>(count));
    }
}

/// Runs in the child before the client: it is killed when the interpreter ends, even by SIGKILL,
/// so that no client waits on a silent server for ever after the run that started it is gone. A
/// parent that is gone already is not waited for.
void endWithParent(pid_t parent)
{
#if defined(__linux__)
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() != parent)
        ::_exit(126);
}

int waitFor(pid_t child)
{
    int raw = 0;
    pid_t waited;
    do {
        waited = ::waitpid(child, &raw, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0)
        return 126;
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : 0;
}

} // namespace

bool readBatchFile(const std::string &path, std::string *text, std::string *error)
{
    // Neither a link nor a FIFO planted under the name gets followed or waited on: the checks
    // below look at what was opened, so nothing can be swapped in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        *error = errno == ELOOP ? "refusing to run batch file '" + path + "': it is a symbolic link"
                                : "cannot open batch file '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat info;
    const std::string refusal = ::fstat(fd, &info) == 0 ? refusalOf(info) : std::strerror(errno);
    bool read = false;
    if (!refusal.empty())
        *error = "refusing to run batch file '" + path + "': " + refusal;
    else if (!(read = readAll(fd, text)))
        *error = "cannot read batch file '" + path + "': " + std::strerror(errno);
    ::close(fd);
    return read;
}

int runAndWait(const std::string &program, const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    // Like system(): a Ctrl-C in the console ends the client, not the rest of the batch file.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction oldInterrupt = {};
    struct sigaction oldQuit = {};
    ::sigaction(SIGINT, &ignore, &oldInterrupt);
    ::sigaction(SIGQUIT, &ignore, &oldQuit);

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        endWithParent(parent);
        ::sigaction(SIGINT, &oldInterrupt, nullptr);
        ::sigaction(SIGQUIT, &oldQuit, nullptr);
        ::execv(program.c_str(), argv.data());
        const int failure = errno;
        writeError("cannot run '" + program + "': " + std::strerror(failure));
        ::_exit(failure == ENOENT ? 127 : 126);
    }
    int status = 126;
    if (child < 0)
        writeError("cannot start '" + program + "': " + std::strerror(errno));
    else
        status = waitFor(child);
    ::sigaction(SIGINT, &oldInterrupt, nullptr);
    ::sigaction(SIGQUIT, &oldQuit, nullptr);
    return status;
}

bool removeOwnFile(const std::string &path, std::string *error)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return true;
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    *error = "cannot remove '" + path + "': " + std::strerror(errno);
    return false;
}

std::string ownExecutableDirectory()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return ".";
        if (static_cast<size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<size_t>(length));
            const size_t slash = path.rfind('/');
            if (slash == std::string::npos)
                return ".";
            return slash == 0 ? std::string("/") : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void handOverToShell()
{
    std::fflush(stdout);
    std::fflush(stderr);
    const char *shell = std::getenv("SHELL");
    if (shell != nullptr && *shell != '\0') {
        ::execl(shell, shell, static_cast<char *>(nullptr));
        writeError(std::string("cannot start the shell '") + shell + "': " + std::strerror(errno));
    }
    ::execl("/bin/sh", "/bin/sh", static_cast<char *>(nullptr));
    writeError(std::string("cannot start the shell '/bin/sh': ") + std::strerror(errno));
}
