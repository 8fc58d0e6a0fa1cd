#pragma once
// The export worker thread: sets up MAPI for itself, switches the window into
// its exporting state, performs the run, reports a caught failure and
// switches the window back.

#include <thread>

#include "convert/ExportDriver.h"

namespace qb {

class ExportWorker {
public:
    ExportWorker(ExportDriver& driver, ExportEnvironment environment, ExportWindow& window)
        : driver_(driver), env_(environment), window_(window) {}

    // The worker's steps, on the calling thread. Returns 0 always; the run's
    // own result is left in runResult().
    int Run(const RunInputs& inputs, LNNotesSession& session);

    // Starts Run on a thread of its own at below-normal priority.
    std::thread Start(RunInputs inputs, LNNotesSession& session);

    int runResult() const { return runResult_; }

private:
    void Caught(const std::string& text);

    ExportDriver& driver_;
    ExportEnvironment env_;
    ExportWindow& window_;
    int runResult_ = 0;
};

}  // namespace qb
