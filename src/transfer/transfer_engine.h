#pragma once

#include "interfaces/run_observer.h"
#include "interfaces/transfer_request.h"

class Launcher;
class TransferRun;
class TransferWindow;
class UserMessages;

/// The "Process Request" command and the runs it starts: one run at a time, each served by the
/// launcher it was built with. The window, a command line and a results list all drive it.
class TransferEngine final
{
public:
    explicit TransferEngine(Launcher &launcher);

    /// Process Request from `window`: checks the request, marks faulty cells and, when all is
    /// well, runs it (the window follows it as its observer) and sets the closing status text.
    /// Returns once the run is over; events keep flowing meanwhile. True when a run started.
    bool processRequest(TransferWindow &window);

    /// Runs a request whose checks have passed, reporting to `observer`; returns its end once it
    /// is over (not started: refused, the user told through `messages`).
    RunEnd run(const TransferRequest &request, UserMessages &messages, RunObserver &observer);

    /// Asks a running transfer to stop its running clients and skip the remaining destinations;
    /// does nothing when no run is in progress.
    void requestCancel();

    /// True from the start of a run to its end, the waits for the clients included.
    bool isRunning() const { return m_run != nullptr; }

private:
    Launcher &m_launcher;
    TransferRun *m_run = nullptr;
};
