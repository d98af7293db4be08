#pragma once

#include <QList>
#include <QString>
#include <QtTest>

#include <optional>
#include <unistd.h>

/// A login on both test servers.
struct TestbedAccount
{
    QString user;
    QString password;
    QString home; // the account's home directory: where FTP and SFTP log-ins start
};

/// The real servers that scripts/testbed.sh started on 127.0.0.1 for the end-to-end tests.
struct Testbed
{
    QString ftpHost; // "127.0.0.1:PORT": the host as parcelwright-ftp takes it
    int ftpPort = 0;
    QString sshSession; // saved PuTTY session reaching the test sshd: the host as psftp takes it
    int sshPort = 0;
    QString puttyDir;      // PUTTYDIR holding that session and the server's trusted host key
    TestbedAccount plain;  // a password of letters and digits
    TestbedAccount quoted; // a password holding a blank and & | ; $ ` characters
    // A password with blanks at both ends, double quotes and shell commands, each of which would
    // leave a file pw-marker behind if it ever ran.
    TestbedAccount hostile;
    QString ftpTlsHost{};  // a vsftpd that demands TLS, as parcelwright-ftp takes it
    QString ftpCaFile{};   // the one certificate that vouches for it
    QString ftpSlowHost{}; // a vsftpd that takes uploads at 800 kB/s

    /// Reads $PARCELWRIGHT_TESTBED/testbed.env and puts PUTTYDIR into this process's environment
    /// so that every psftp started from here finds the saved session; nullopt and *why on failure.
    static std::optional<Testbed> load(QString *why);
};

/// Path of one of the built programs (parcelwright-cmd, parcelwright-ftp, parcelwright).
QString builtProgram(const QString &name);

/// Skips the test, saying why, or fails it under CI, where nothing may be missing.
#define PW_SKIP_OR_FAIL(why)                                                                       \
    do {                                                                                           \
        if (!qEnvironmentVariableIsEmpty("CI"))                                                    \
            QFAIL(why);                                                                            \
        QSKIP(why);                                                                                \
    } while (false)

/// Declares `Testbed var` in a test function, or skips or fails the test when the servers are
/// not there.
#define PW_REQUIRE_TESTBED(var)                                                                    \
    QString var##Why;                                                                              \
    const std::optional<Testbed> var##Loaded = Testbed::load(&var##Why);                           \
    if (!var##Loaded)                                                                              \
        PW_SKIP_OR_FAIL(qPrintable(var##Why));                                                     \
    const Testbed &var = *var##Loaded

/// Skips or fails the test, saying why it must be root, when the process is not.
#define PW_REQUIRE_ROOT(why)                                                                       \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            PW_SKIP_OR_FAIL(why);                                                                  \
    } while (false)

enum class Client
{
    Ftp,
    Psftp
};
