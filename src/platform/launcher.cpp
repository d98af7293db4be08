#include "platform/launcher.h"

CommandInterpreterLauncher::CommandInterpreterLauncher(QString interpreterPath)
    : m_interpreterPath(std::move(interpreterPath))
{
}

ProcessOutcome CommandInterpreterLauncher::runBatch(const QString &workingDirectory,
                                                    const QString &batchFile,
                                                    const QString &logFile)
{
    LaunchSpec spec;
    spec.program = m_interpreterPath;
    spec.arguments = {QStringLiteral("/C"), batchFile};
    spec.workingDirectory = workingDirectory;
    spec.logPath = logFile;
    return m_runner.run(spec);
}

void CommandInterpreterLauncher::cancel()
{
    m_runner.cancel();
}
