// The one interface through which the engine reaches the main window: log
// mirror, progress bar, status panels, counters, questions and message boxes,
// and the refresh of the main form. The shell installs an implementation that
// marshals to the UI thread; tests install RecordingUi.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum class UiButtons { Ok, YesNo };
enum class UiIcon { None, Information, Warning, Error, Question };
enum class UiAnswer { Ok, Yes, No, Cancel };

class UiBridge {
public:
    virtual ~UiBridge() = default;

    // Log changes, reported in the order they happen to the engine's LogModel
    // (index = position in the log at that moment). They are called with the
    // log locked: an implementation must not call back into the log.
    virtual void LogAppended(const std::string& text) = 0;
    virtual void LogReplaced(size_t index, const std::string& text) = 0;
    virtual void LogRemoved(size_t index, size_t count) = 0;

    virtual void SetProgressBar(int position) = 0;
    // Panel 0 percent, 1 address or time, 2 the run's status text.
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;
    virtual void ShowCounters(uint32_t count, uint32_t success, uint32_t failure,
                              uint32_t devicesPerHour) = 0;

    // Modal box; blocks the caller until the user answers.
    virtual UiAnswer MessageBox(const std::string& text, const std::string& caption,
                                UiButtons buttons, UiIcon icon) = 0;

    // EnableOperationControls for the device's operations, then the buffer view redrawn.
    virtual void RefreshMainForm() = 0;
    // The information panel redrawn from the settings as they now stand.
    virtual void RefreshInfoPanel() {}
    virtual int MainFormLeft() = 0;
    virtual int MainFormTop() = 0;
};

// The installed bridge; a silent one (answers No, shows nothing) before any
// is installed.
UiBridge& CurrentUi();
// Installs a caller-owned bridge; nullptr restores the silent one.
void InstallUiBridge(UiBridge* ui);

// Installs a bridge for a scope and restores the previous one after it.
class ScopedUiBridge {
public:
    explicit ScopedUiBridge(UiBridge& ui);
    ~ScopedUiBridge();
    ScopedUiBridge(const ScopedUiBridge&) = delete;
    ScopedUiBridge& operator=(const ScopedUiBridge&) = delete;

private:
    UiBridge* previous_;
};

// Shows a box with an OK button (file and buffer failures).
void ShowMessageBox(const std::string& text, const std::string& caption = "");
