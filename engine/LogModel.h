// The main window's log as an engine-side list of lines. Writers on either
// thread go through the mutex; every change is reported, in order, to the
// installed UI bridge so the window can mirror it.
#pragma once
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/OperationState.h"

class LogModel {
public:
    // Above this many lines the oldest TrimCount lines are deleted and one
    // empty line is appended.
    static constexpr size_t TrimAbove = 500;
    static constexpr size_t TrimCount = 100;

    // Appends one line (trimming as above); returns the appended line's handle.
    LogLineHandle Append(const std::string& text);
    // Rewrites the line with this handle. A line that is gone (trimmed or
    // deleted) or not yet written is appended instead, so the text is not lost.
    void Replace(LogLineHandle line, const std::string& text);
    // Deletes the last line (if any) and appends text, in one step.
    LogLineHandle ReplaceLast(const std::string& text);
    // Deletes up to count lines at the end.
    void DeleteLast(size_t count);
    // Deletes the line with this handle (none when it is gone); the lines
    // after it move up, and their handles with them.
    void Remove(LogLineHandle line);
    // Handle the next appended line will get: the log's line count, counted
    // from the first line ever written.
    LogLineHandle NextHandle() const;
    size_t LineCount() const;
    std::vector<std::string> Lines() const;
    // Text of a line, empty when it is gone.
    std::string Line(LogLineHandle line) const;
    void Clear();

private:
    LogLineHandle AppendLocked(const std::string& text);
    void DeleteLastLocked(size_t count);

    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
    LogLineHandle first_ = 0; // handle of lines_.front()
};

// The program's one log.
LogModel& MainLog();
