// The window's side of the engine's UI bridge. Any thread may call it; every
// change reaches the widgets on the UI thread in the order it was made:
// writes are queued (progress and status panels coalesced to their latest
// value), boxes are shown through a blocking queued call so only the calling
// worker waits, and calls made on the UI thread are applied at once.
#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "engine/UiBridge.h"

class MainFormView;

class QtUiBridge : public QObject, public UiBridge {
    Q_OBJECT
public:
    explicit QtUiBridge(MainFormView* form);
    ~QtUiBridge() override;

    void LogAppended(const std::string& text) override;
    void LogReplaced(size_t index, const std::string& text) override;
    void LogRemoved(size_t index, size_t count) override;
    void SetProgressBar(int position) override;
    void SetStatusPanel(int panel, const std::string& text) override;
    void ShowCounters(uint32_t count, uint32_t success, uint32_t failure,
                      uint32_t devicesPerHour) override;
    UiAnswer MessageBox(const std::string& text, const std::string& caption, UiButtons buttons,
                        UiIcon icon) override;
    void RefreshMainForm() override;
    void RefreshInfoPanel() override;
    int MainFormLeft() override;
    int MainFormTop() override;

    // Runs fn on the UI thread after every change queued before it (at once,
    // after those, when called on the UI thread).
    void Post(std::function<void()> fn);
    // Applies what is queued (UI thread only).
    void Flush();

    static bool OnUiThread();

private:
    struct Change {
        enum Kind { Append, Replace, Remove, Progress, Panel, Call } kind;
        size_t index = 0;
        size_t count = 0;
        std::string text;
        std::function<void()> fn;
    };
    void Enqueue(Change change);
    void Apply(Change& change);
    UiAnswer ShowBox(const std::string& text, const std::string& caption, UiButtons buttons,
                     UiIcon icon);

    MainFormView* form_;
    std::mutex mutex_;
    std::deque<Change> queue_;
    bool drainPosted_ = false;
    // Coalesced values: a queued marker applies the latest value when it runs.
    int progress_ = 0;
    bool progressQueued_ = false;
    std::string panels_[3];
    bool panelQueued_[3] = {};
};

// Runs fn on the UI thread in order with the bridge's other changes: through
// the installed QtUiBridge, at once when called on the UI thread without one.
void PostToUi(std::function<void()> fn);
