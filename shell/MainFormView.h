// What the operation thread and the UI bridge reach of the main window. The
// window implements it; the thread and the bridge see only this, so they
// need nothing of the window's own header.
#pragma once
#include <QString>
#include <atomic>
#include <cstdint>

class QWidget;

class MainFormView {
public:
    virtual ~MainFormView() = default;

    // The window itself (the parent of message boxes).
    virtual QWidget* Window() = 0;

    // Commands offered for the device; while an operation runs, every command
    // touching the buffer, the device, the settings or the programmer is off.
    virtual void DisableOperationControls() = 0;
    virtual void EnableOperationControls(uint32_t mask) = 0;
    virtual void SetOperationRunning(bool running) = 0;
    virtual void RefreshBufferView(int flag) = 0;
    // The editor, the information panel and the checksum after a read.
    virtual void ShowReadResult() = 0;

    // The log view as a mirror of the engine's log model.
    virtual void MirrorAppend(const QString& text) = 0;
    virtual void MirrorReplace(int index, const QString& text) = 0;
    virtual void MirrorRemove(int index, int count) = 0;

    // The progress bar, the status bar's panels 0-2 and the counters.
    virtual void ShowProgressPosition(int position) = 0;
    virtual void ShowStatusPanel(int panel, const QString& text) = 0;
    virtual void SetCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t devicesPerHour) = 0;

    // The last left and top, readable from any thread.
    std::atomic<int> LeftCache{0};
    std::atomic<int> TopCache{0};
};

// The main window while it exists, else nullptr (UI thread only).
MainFormView* MainView();
