#include "shell/Thread.h"

#include <memory>

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/UiBridge.h"
#include "shell/InfoPanel.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"

namespace {
// The last worker started; joined before the next one starts and at exit.
std::unique_ptr<TMyThread> g_lastThread;
} // namespace

TMyThread::TMyThread(uint32_t operationCode) : OperationCode(operationCode) {
    setObjectName("TMyThread");
}

void TMyThread::run() {
    PostToUi([] {
        if (Form1) Form1->DisableOperationControls();
    });
    CurrentUi().SetStatusPanel(2, "Press ESC to Cancel");
    RunOperation(MainEngine, static_cast<int>(OperationCode));
    if (OperationCode == OpRead) {
        // The editor and the checksum show what was read.
        PostToUi([] {
            if (Form1) Form1->RefreshBufferView(0);
            UpdateInfoPanel();
        });
    }
    PostToUi([] {
        if (Form1) Form1->EnableOperationControls(SupportedOperationMask);
    });
    CurrentUi().SetStatusPanel(2, "");
    OperationBusy.store(false);
    // A run started again in the meantime keeps its commands withdrawn.
    PostToUi([] {
        if (Form1 && !OperationBusy.load()) Form1->SetOperationRunning(false);
    });
}

int StartOperation(uint32_t op) {
    bool idle = false;
    if (!OperationBusy.compare_exchange_strong(idle, true)) return -1;
    // The previous worker has cleared the flag; it is at most posting its
    // last notice.
    if (g_lastThread) g_lastThread->wait();
    PostToUi([] {
        if (Form1) Form1->SetOperationRunning(true);
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
