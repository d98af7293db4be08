#pragma once

#include "interfaces/transfer_request.h"
#include "platform/paths.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// Names of the generated files and the logs in the working directory.
inline const QString kLauncherFileName = QStringLiteral("XferJob.BAT");
inline const QString kScriptFileName = QStringLiteral("XferJob.FTP");
inline const QString kPasswordFileName = QStringLiteral("XferJob.PWD");
/// psftp's script that makes the levels of a remote directory (only with make-dirs).
inline const QString kDirectoriesFileName = QStringLiteral("XferJob.MKD");
inline const QString kCumulativeLogName = QStringLiteral("FTPLogALL.TXT");
/// Held for the whole of a run (or a connection test's writing) so that only one uses the
/// working directory at a time.
inline const QString kLockFileName = QStringLiteral("XferJob.LCK");

/// The names of one destination's generated files in the working directory: the launcher, the
/// script, psftp's password file and its script that makes directories. A run that serves one
/// destination at a time uses the fixed names; one that serves several at once gives each
/// destination names of its own.
struct JobFileNames
{
    QString launcher = kLauncherFileName;
    QString script = kScriptFileName;
    QString password = kPasswordFileName;
    QString directories = kDirectoriesFileName;

    /// The names of the destination whose log number is `number`: XferJob-0007.BAT, ...
    static JobFileNames numbered(int number);
    /// The names a run gives its `index`-th destination (from 0): one at a time every destination
    /// uses the fixed names, one after another; several at once, each has numbered ones.
    static JobFileNames forDestination(qsizetype index, int simultaneous);
    QStringList all() const { return {launcher, script, password, directories}; }
};

/// A Secure Shell host may carry a port, as HOST:PORT or [ADDRESS]:PORT; psftp takes the port as
/// an option of its own. `port` is empty when the host names none.
struct SecureShellHost
{
    QString host;
    QString port;
};
SecureShellHost splitSecureShellHost(const QString &host);

/// A value as one argument of a generated line, read back unchanged by parcelwright-cmd,
/// parcelwright-ftp and psftp alike: a value holding a blank, a tab or a double quote is put in
/// double quotes with each of its own double quotes doubled; any other value stays as it is.
QString quotedArgument(const QString &value);

/// What the transfer settings add to a destination's launcher lines; nothing at the defaults.
struct LauncherSwitches
{
    FtpTls ftpTls = FtpTls::Never; // parcelwright-ftp's -tls: switch, when not Never
    QString caFile;                // its -cafile: switch, with TLS only
    QStringList hostKeys;          // psftp's -hostkey switches, one for each
    // psftp first runs the script that makes the remote directory's levels, in a session of its
    // own that goes on past a failed command (a level that is there already).
    bool makeDirectories = false;
};

/// Lines of the launcher batch file for one destination row, naming its script and password file.
/// A Secure Shell row's password is not on them: psftp reads it from the password file (see
/// passwordFileLines).
QList<QByteArray> launcherLines(const QString &secureFlag, const QString &host,
                                const QString &userId, const JobFileNames &names = {},
                                const LauncherSwitches &switches = {});

/// The generated files of one destination, written into the working directory.
struct JobFiles
{
    QList<QByteArray> launcher;
    QList<QByteArray> script;
    bool secure = false; // a Secure Shell row also gets the password file
    QList<QByteArray> password;
    QList<QByteArray> directories{}; // psftp's script that makes directories; empty: none written
};

/// The generated files of one destination of a request that sends `files`, under `names`, as
/// `settings` shape them: a Secure Shell row has its account in the launcher line and its
/// password in the password file, a plain row both in its script.
JobFiles jobFiles(const Destination &destination, const QStringList &files,
                  const JobFileNames &names, const TransferSettings &settings = {});

/// Writes the launcher, the password file (Secure Shell only), the script that makes directories
/// (when there is one) and the script under `names`, each
/// created new and readable by its owner only, never through a link. On failure whatever was
/// written is removed again; *error says why and *nameTaken whether something else held a name
/// (rather than the directory failing as a whole).
bool writeJobFiles(const QString &directory, const JobFileNames &names, const JobFiles &files,
                   QString *error, bool *nameTaken = nullptr);

/// Removes a destination's generated files, ignoring every error (they may be gone already).
void removeJobFiles(const QString &directory, const JobFileNames &names);

/// Lines of XferJob.PWD, from which psftp reads a Secure Shell row's password: the password
/// alone, as is, blanks and quotes included. Written like the other files with CR LF after it,
/// which psftp drops with any other line end; the file must be readable by its owner only.
QList<QByteArray> passwordFileLines(const QString &password);

/// Lines of the connection test's XferJob.FTP: the log-in lines for a row whose Secure Shell value
/// is exactly "N", then "help" alone, so that the client shows its commands and goes on reading the
/// console.
QList<QByteArray> testScriptLines(const QString &secureFlag, const QString &userId,
                                  const QString &password);

/// Lines of the transfer script XferJob.FTP; arguments in the order secure flag, remote
/// directory, user id, password, host, then the files to send; a file's remote name is the part of
/// its path after the last separator. With make-dirs in `settings`, the plain client makes each
/// level of the remote directory before the cd; with temp-names, each file is put under
/// ".NAME.part" and renamed once it is whole (psftp first removes an earlier NAME, since its
/// rename does not replace one).
QList<QByteArray> transferScriptLines(const QString &secureFlag, const QString &remoteDirectory,
                                      const QString &userId, const QString &password,
                                      const QString &host, const QStringList &files,
                                      QChar separator = QChar(kPathSeparator),
                                      const TransferSettings &settings = {});

/// Lines of psftp's script that makes each level of a remote directory, from the top down; empty
/// for an empty directory or the root.
QList<QByteArray> directoryScriptLines(const QString &remoteDirectory);
