// The operation thread: every device operation started from the main window
// runs on its own worker so the window stays responsive and ESC or a click
// can ask for a stop.
#pragma once
#include <QThread>
#include <cstdint>

class TMyThread : public QThread {
public:
    explicit TMyThread(uint32_t operationCode);

    uint32_t OperationCode;
    int32_t Result = 0;

protected:
    // Disables the commands, shows "Press ESC to Cancel", runs the operation,
    // brings the commands back and clears the busy flag, also after an
    // exception escaped the run.
    void run() override;

private:
    void ReportFailedRun(const char* what);
};

// The name of an OperationCode as the commands show it ("Blank Check",
// "Program", ...); "Operation" for a code that is none.
const char* OperationName(int op);

// Starts operation op on a new worker: -1 when an operation is running
// (OperationBusy is taken with a test-and-set, so two quick starts cannot
// both run), else 0 as soon as the worker was started.
int StartOperation(uint32_t op);

// Waits until the last worker has returned (it has cleared OperationBusy
// already, or is about to). Used before start-up state is torn down.
void WaitForOperationThread();
