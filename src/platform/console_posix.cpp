#include "platform/console.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

/// How a terminal emulator is told which program to run in its window.
enum class CommandStyle
{
    DashE,       // -e PROGRAM ARGS... (xterm and the Debian x-terminal-emulator contract)
    DoubleDash,  // -- PROGRAM ARGS... (gnome-terminal)
    DashX,       // -x PROGRAM ARGS... (xfce4-terminal, mate-terminal: their -e takes one string)
    Bare,        // PROGRAM ARGS...    (kitty)
    QuotedString // -e "PROGRAM ARGS" (lxterminal parses a single command string)
};

struct Terminal
{
    const char *name;
    CommandStyle style;
};

constexpr Terminal kKnownTerminals[] = {
    {"x-terminal-emulator", CommandStyle::DashE},
    {"xterm", CommandStyle::DashE},
    {"gnome-terminal", CommandStyle::DoubleDash},
    {"konsole", CommandStyle::DashE},
    {"xfce4-terminal", CommandStyle::DashX},
    {"lxterminal", CommandStyle::QuotedString},
    {"mate-terminal", CommandStyle::DashX},
    {"urxvt", CommandStyle::DashE},
    {"kitty", CommandStyle::Bare},
    {"alacritty", CommandStyle::DashE},
};

CommandStyle styleOf(const QString &program)
{
    const QString name = QFileInfo(program).fileName();
    for (const Terminal &terminal : kKnownTerminals) {
        if (name == QLatin1String(terminal.name))
            return terminal.style;
    }
    return CommandStyle::DashE;
}

QString findExecutable(const QString &program)
{
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

// The user's choice in $TERMINAL first, then the system's default, then the usual suspects.
QString findTerminal(QString *tried)
{
    QStringList candidates;
    const QString chosen = qEnvironmentVariable("TERMINAL").trimmed();
    if (!chosen.isEmpty())
        candidates << chosen;
    for (const Terminal &terminal : kKnownTerminals)
        candidates << QLatin1String(terminal.name);
    for (const QString &candidate : candidates) {
        const QString path = findExecutable(candidate);
        if (!path.isEmpty())
            return path;
    }
    *tried = candidates.join(QLatin1String(", "));
    return QString();
}

QString shellQuoted(const QString &word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList terminalArguments(CommandStyle style, const QString &workingDirectory,
                              const QStringList &command)
{
    switch (style) {
    case CommandStyle::DoubleDash:
        // gnome-terminal hands the window to a server whose own directory is not ours.
        return QStringList{QLatin1String("--working-directory=") + workingDirectory,
                           QLatin1String("--")} +
               command;
    case CommandStyle::DashX:
        return QStringList{QLatin1String("-x")} + command;
    case CommandStyle::Bare:
        return command;
    case CommandStyle::QuotedString: {
        QStringList quoted;
        for (const QString &word : command)
            quoted << shellQuoted(word);
        return {QLatin1String("-e"), quoted.join(QLatin1Char(' '))};
    }
    case CommandStyle::DashE:
        break;
    }
    return QStringList{QLatin1String("-e")} + command;
}

} // namespace

ConsoleOutcome startConsole(const QString &workingDirectory, const QString &batchFile,
                            const QString &interpreterPath)
{
    auto fail = [](const QString &why, bool noTerminal = false) {
        return ConsoleOutcome{false, noTerminal, why};
    };

    if (workingDirectory.isEmpty() || !QFileInfo(workingDirectory).isDir())
        return fail(
            QStringLiteral("The working directory %1 does not exist.").arg(workingDirectory));
    const QString interpreter = interpreterPath.isEmpty()
                                    ? companionProgram(QStringLiteral("parcelwright-cmd"))
                                    : interpreterPath;
    if (!QFileInfo(interpreter).isExecutable())
        return fail(QStringLiteral("The command interpreter %1 was not found.").arg(interpreter));

    QString tried;
    const QString terminal = findTerminal(&tried);
    if (terminal.isEmpty())
        return fail(
            QStringLiteral("No terminal emulator was found (tried %1). Set TERMINAL to one.")
                .arg(tried),
            true);

    // The batch file is named as the caller gave it; a relative name is meant from the working
    // directory, which is the window's current directory.
    const QStringList command{interpreter, QStringLiteral("/K"), batchFile};
    const QStringList arguments =
        terminalArguments(styleOf(terminal), QDir(workingDirectory).absolutePath(), command);
    if (!QProcess::startDetached(terminal, arguments, workingDirectory))
        return fail(QStringLiteral("The terminal emulator %1 could not be started.").arg(terminal));
    return {true, false, {}};
}
