#include "platform/launcher.h"

CommandInterpreterLauncher::CommandInterpreterLauncher(QString interpreterPath)
    : m_interpreterPath(std::move(interpreterPath))
{
}

ProcessOutcome CommandInterpreterLauncher::runBatch(const QString &workingDirectory,
                                                    const QString &batchFile,
                                                    const QString &logFile)
{
    LaunchRequest request;
    request.program = m_interpreterPath;
    request.arguments = {QStringLiteral("/C"), batchFile};
    request.workingDirectory = workingDirectory;
    request.logPath = logFile;
    return m_runner.run(request);
}

void CommandInterpreterLauncher::cancel()
{
    m_runner.cancel();
}
