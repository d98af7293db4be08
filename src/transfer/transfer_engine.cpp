#include "transfer/transfer_engine.h"

#include "interfaces/transfer_window.h"
#include "transfer/request_checks.h"
#include "transfer/transfer_run.h"

#include <QCoreApplication>
#include <QEventLoop>

TransferEngine::TransferEngine(Launcher &launcher) : m_launcher(launcher) {}

bool TransferEngine::processRequest(TransferWindow &window)
{
    // The wait for the clients keeps events flowing, so a second request could arrive mid-run.
    if (isRunning())
        return false;
    const std::optional<TransferRequest> request = checkedRequest(window);
    if (!request)
        return false;
    const RunEnd end = run(*request, window, window);
    if (!end.started)
        return false;
    window.setStatusText(end.statusText);
    return true;
}

RunEnd TransferEngine::run(const TransferRequest &request, UserMessages &messages,
                           RunObserver &observer)
{
    if (isRunning())
        return {};
    TransferRun transfer(request, m_launcher, messages, observer);
    if (!transfer.start())
        return {};
    m_run = &transfer;
    if (!transfer.isFinished()) {
        QEventLoop loop;
        QObject::connect(&transfer, &TransferRun::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!transfer.isFinished()) {
        // The application is quitting and took the loop with it: the clients still must not
        // outlive the run, nor its files stay behind.
        transfer.cancel();
        while (!transfer.isFinished())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    m_run = nullptr;
    return transfer.end();
}

void TransferEngine::requestCancel()
{
    if (m_run != nullptr)
        m_run->cancel();
}
