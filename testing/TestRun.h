// A test of the testers (RAM test, IC test, vector test, self-test) runs on
// the UI thread inside its form's handler. While one runs, a quit (a signal,
// closing the main window) asks it to stop through UserBreak and waits for it;
// the test polls between its steps, ends as a user break with the socket
// powered down, and the quit then goes on.
#pragma once
#include <atomic>

// Set while such a test runs.
extern std::atomic<bool> TestBusy;
// Run at every poll: lets the window system's events other than user input
// in (the quit signal's pipe, a close request). The shell installs it; none
// by default (the tests drive UserBreak directly).
extern void (*TestIdleHook)();

// Marks a test running for its lifetime; a break left from before is dropped.
class TestRunScope {
public:
    TestRunScope();
    ~TestRunScope();
    TestRunScope(const TestRunScope&) = delete;
    TestRunScope& operator=(const TestRunScope&) = delete;
};

// Between two steps of a test: 3 when it is to stop (user break), else 1.
int PollTestBreak();
