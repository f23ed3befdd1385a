#include "engine/RecordingUi.h"

void RecordingUi::QueueAnswer(UiAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void RecordingUi::DropAnswers() {
    std::lock_guard lock(mutex_);
    answers_.clear();
}

void RecordingUi::LogAppended(const std::string& text) {
    std::lock_guard lock(mutex_);
    Log.push_back(text);
}

void RecordingUi::LogReplaced(size_t index, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (index < Log.size()) Log[index] = text;
}

void RecordingUi::LogRemoved(size_t index, size_t count) {
    std::lock_guard lock(mutex_);
    if (index > Log.size()) return;
    if (count > Log.size() - index) count = Log.size() - index;
    Log.erase(Log.begin() + static_cast<std::ptrdiff_t>(index),
              Log.begin() + static_cast<std::ptrdiff_t>(index + count));
}

void RecordingUi::SetProgressBar(int position) {
    std::lock_guard lock(mutex_);
    Progress.push_back(position);
}

void RecordingUi::SetStatusPanel(int panel, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (panel < 0 || panel > 2) return;
    Status[panel] = text;
    StatusHistory[panel].push_back(text);
}

void RecordingUi::ShowCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t devicesPerHour) {
    std::lock_guard lock(mutex_);
    Counters[0] = count;
    Counters[1] = success;
    Counters[2] = failure;
    Counters[3] = devicesPerHour;
}

UiAnswer RecordingUi::MessageBox(const std::string& text, const std::string& caption, UiButtons buttons,
                                 UiIcon icon) {
    std::lock_guard lock(mutex_);
    Boxes.push_back({text, caption, buttons, icon});
    if (buttons == UiButtons::Ok) return UiAnswer::Ok;
    if (answers_.empty()) return DefaultAnswer;
    UiAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void RecordingUi::RefreshMainForm() {
    std::lock_guard lock(mutex_);
    ++Refreshes;
}

std::vector<std::string> RecordingUi::BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : Boxes) texts.push_back(box.text);
    return texts;
}

void RecordingUi::Clear() {
    std::lock_guard lock(mutex_);
    Log.clear();
    Progress.clear();
    for (int i = 0; i < 3; ++i) {
        Status[i].clear();
        StatusHistory[i].clear();
    }
    Boxes.clear();
    for (uint32_t& c : Counters) c = 0;
    Refreshes = 0;
    answers_.clear();
}
