#include "shell/Thread.h"

#include <exception>
#include <memory>

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "shell/MainFormView.h"
#include "shell/QtUiBridge.h"

namespace {
// The last worker started; joined before the next one starts and at exit.
std::unique_ptr<TMyThread> g_lastThread;
} // namespace

const char* OperationName(int op) {
    switch (op) {
    case OpBlankCheck: return "Blank Check";
    case OpProgram: return "Program";
    case OpRead: return "Read";
    case OpVerify: return "Verify";
    case OpCompare: return "Data Compare";
    case OpErase: return "Erase";
    case OpSecurity: return "Security";
    case OpEncryption: return "Encryption";
    case OpAuto: return "Auto";
    default: return "Operation";
    }
}

// A step that threw ends the run like a failed one: the socket is powered
// down, the step is logged and the message shown; the bracket around the run
// then releases the busy state as always.
void TMyThread::ReportFailedRun(const char* what) {
    try {
        ResetProgrammerOutputs();
    } catch (...) {
        // The programmer is what failed; the report goes on without it.
    }
    ShowMessageLine("%s failed: %s", OperationName(static_cast<int>(OperationCode)), what);
    CurrentUi().MessageBox(what, "", UiButtons::Ok, UiIcon::Error);
}

TMyThread::TMyThread(uint32_t operationCode) : OperationCode(operationCode) {
    setObjectName("TMyThread");
}

void TMyThread::run() {
    PostToUi([] {
        if (MainFormView* form = MainView()) form->DisableOperationControls();
    });
    CurrentUi().SetStatusPanel(2, "Press ESC to Cancel");
    try {
        RunOperation(MainEngine, static_cast<int>(OperationCode));
    } catch (const std::exception& e) {
        ReportFailedRun(e.what());
    } catch (...) {
        ReportFailedRun("Unknown exception.");
    }
    if (OperationCode == OpRead) {
        // The editor and the checksum show what was read.
        PostToUi([] {
            if (MainFormView* form = MainView()) form->ShowReadResult();
        });
    }
    PostToUi([] {
        if (MainFormView* form = MainView()) form->EnableOperationControls(SupportedOperationMask);
    });
    CurrentUi().SetStatusPanel(2, "");
    OperationBusy.store(false);
    // A run started again in the meantime keeps its commands withdrawn.
    PostToUi([] {
        MainFormView* form = MainView();
        if (form && !OperationBusy.load()) form->SetOperationRunning(false);
    });
}

int StartOperation(uint32_t op) {
    bool idle = false;
    if (!OperationBusy.compare_exchange_strong(idle, true)) return -1;
    // A click or ESC while idle is no request to stop this run.
    UserBreak.store(0);
    // The previous worker has cleared the flag; it is at most posting its
    // last notice.
    if (g_lastThread) g_lastThread->wait();
    PostToUi([] {
        if (MainFormView* form = MainView()) form->SetOperationRunning(true);
    });
    g_lastThread = std::make_unique<TMyThread>(op);
    g_lastThread->start(QThread::HighestPriority);
    return g_lastThread->Result;
}

void WaitForOperationThread() {
    if (!g_lastThread) return;
    g_lastThread->wait();
    g_lastThread.reset();
}
