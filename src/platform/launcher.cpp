#include "platform/launcher.h"

namespace {

// Enough for the scheduler to favour the program over each of its clients by about ten to one.
constexpr int kBackgroundNiceness = 10;

} // namespace

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
    request.niceness = job.background ? kBackgroundNiceness : 0;
    m_runner.start(request, std::move(finished));
}

void CommandInterpreterLauncher::cancelAll()
{
    m_runner.cancelAll();
}
