#include "platform/launcher.h"

CommandInterpreterLauncher::CommandInterpreterLauncher(QString interpreterPath)
    : m_interpreterPath(std::move(interpreterPath))
{
}

void CommandInterpreterLauncher::start(const LaunchJob &job, Finished finished)
{
    LaunchRequest request;
    request.program = m_interpreterPath;
    request.arguments = {QStringLiteral("/C"), job.batchFile};
    request.workingDirectory = job.workingDirectory;
    request.outputDescriptor = job.logDescriptor;
    request.idleLimitSeconds = job.idleLimitSeconds;
    m_runner.start(request, std::move(finished));
}

void CommandInterpreterLauncher::cancelAll()
{
    m_runner.cancelAll();
}
