#include "testing/TestRun.h"

#include "engine/OperationState.h"

std::atomic<bool> TestBusy{false};
void (*TestIdleHook)() = nullptr;

TestRunScope::TestRunScope() {
    UserBreak = 0;
    TestBusy = true;
}

TestRunScope::~TestRunScope() { TestBusy = false; }

int PollTestBreak() {
    if (TestIdleHook != nullptr) TestIdleHook();
    return UserBreak.exchange(0) != 0 ? 3 : 1;
}
