// A UI bridge for tests: records everything the engine shows and answers
// questions from a script.
#pragma once
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/UiBridge.h"

class RecordingUi : public UiBridge {
public:
    struct Box {
        std::string text;
        std::string caption;
        UiButtons buttons;
        UiIcon icon;
    };

    // Answers for the next questions, in order; when none is left,
    // DefaultAnswer is given.
    void QueueAnswer(UiAnswer answer);
    // Drops the queued answers no question has taken.
    void DropAnswers();
    UiAnswer DefaultAnswer = UiAnswer::Yes;

    void LogAppended(const std::string& text) override;
    void LogReplaced(size_t index, const std::string& text) override;
    void LogRemoved(size_t index, size_t count) override;
    void SetProgressBar(int position) override;
    void SetStatusPanel(int panel, const std::string& text) override;
    void ShowCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t devicesPerHour) override;
    UiAnswer MessageBox(const std::string& text, const std::string& caption, UiButtons buttons,
                        UiIcon icon) override;
    void RefreshMainForm() override;
    int MainFormLeft() override { return Left; }
    int MainFormTop() override { return Top; }

    // What was shown (read them after the engine call returned).
    std::vector<std::string> Log;       // the log as mirrored from the reported changes
    std::vector<int> Progress;          // every progress bar position set
    std::string Status[3];              // last text of each status panel
    std::vector<std::string> StatusHistory[3];
    std::vector<Box> Boxes;             // every box, questions included
    uint32_t Counters[4] = {};          // count, success, failure, devices per hour
    int Refreshes = 0;
    int Left = 100;
    int Top = 80;

    // Texts of the boxes shown, in order.
    std::vector<std::string> BoxTexts() const;
    void Clear();

private:
    std::mutex mutex_;
    std::deque<UiAnswer> answers_;
};
