#include "engine/LogModel.h"

#include "engine/UiBridge.h"

LogLineHandle LogModel::Append(const std::string& text) {
    std::lock_guard lock(mutex_);
    return AppendLocked(text);
}

LogLineHandle LogModel::AppendLocked(const std::string& text) {
    const LogLineHandle handle = first_ + lines_.size();
    lines_.push_back(text);
    CurrentUi().LogAppended(text);
    if (lines_.size() > TrimAbove) {
        lines_.erase(lines_.begin(), lines_.begin() + TrimCount);
        first_ += TrimCount;
        CurrentUi().LogRemoved(0, TrimCount);
        lines_.emplace_back();
        CurrentUi().LogAppended(std::string());
    }
    return handle;
}

void LogModel::Replace(LogLineHandle line, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (line >= first_ && line - first_ < lines_.size()) {
        const size_t index = static_cast<size_t>(line - first_);
        lines_[index] = text;
        CurrentUi().LogReplaced(index, text);
        return;
    }
    AppendLocked(text);
}

LogLineHandle LogModel::ReplaceLast(const std::string& text) {
    std::lock_guard lock(mutex_);
    DeleteLastLocked(1);
    return AppendLocked(text);
}

void LogModel::DeleteLast(size_t count) {
    std::lock_guard lock(mutex_);
    DeleteLastLocked(count);
}

void LogModel::Remove(LogLineHandle line) {
    std::lock_guard lock(mutex_);
    if (line < first_ || line - first_ >= lines_.size()) return;
    const size_t index = static_cast<size_t>(line - first_);
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
    CurrentUi().LogRemoved(index, 1);
}

void LogModel::DeleteLastLocked(size_t count) {
    if (count > lines_.size()) count = lines_.size();
    if (count == 0) return;
    lines_.erase(lines_.end() - static_cast<std::ptrdiff_t>(count), lines_.end());
    CurrentUi().LogRemoved(lines_.size(), count);
}

LogLineHandle LogModel::NextHandle() const {
    std::lock_guard lock(mutex_);
    return first_ + lines_.size();
}

size_t LogModel::LineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<std::string> LogModel::Lines() const {
    std::lock_guard lock(mutex_);
    return {lines_.begin(), lines_.end()};
}

std::string LogModel::Line(LogLineHandle line) const {
    std::lock_guard lock(mutex_);
    if (line >= first_ && line - first_ < lines_.size()) return lines_[static_cast<size_t>(line - first_)];
    return {};
}

void LogModel::Clear() {
    std::lock_guard lock(mutex_);
    const size_t count = lines_.size();
    lines_.clear();
    first_ = 0;
    if (count) CurrentUi().LogRemoved(0, count);
}

LogModel& MainLog() {
    static LogModel log;
    return log;
}
