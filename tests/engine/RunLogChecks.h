// Checks on the log lines of the last operation run, for fixtures whose UI
// records every line: a fixture names its recorded lines and sets runStart_
// where a run begins.
#pragma once
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

// Whether a log line names what only a read of the part could give: a
// fail-address line (a cell's datum, a PLD's fuse) or a verify level's
// result.
inline bool IsDatumLine(const std::string& line) {
    const size_t text = line.find_first_not_of(' ');
    if (text == std::string::npos) return false;
    const std::string_view body = std::string_view(line).substr(text);
    return body.starts_with("Chip addr:") || body.starts_with("Buffer addr:") || body.starts_with("VCCL(") ||
           body.starts_with("Fail address :") || line.find("  data: ") != std::string::npos;
}

class RunLogChecks {
protected:
    virtual ~RunLogChecks() = default;
    virtual const std::vector<std::string>& RecordedLines() const = 0;

    // The recorded lines from runStart_ on.
    std::vector<std::string> Log() const {
        const auto& all = RecordedLines();
        const size_t from = std::min(runStart_, all.size());
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    }
    bool HasLine(const std::string& line) const {
        const auto log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    // The lines appear in this order among the run's lines.
    void ExpectLinesInOrder(const std::vector<std::string>& expected) const {
        size_t at = 0;
        for (const auto& line : Log()) at += at < expected.size() && line == expected[at];
        EXPECT_EQ(at, expected.size()) << LogText();
    }
    // The lines appear one right after another among the run's lines.
    bool HasLinesInARow(const std::vector<std::string>& lines) const {
        const auto log = Log();
        return std::search(log.begin(), log.end(), lines.begin(), lines.end()) != log.end();
    }
    // The run's lines that name a cell's datum or a fuse (the fail-address
    // lines) or a verify level's result: a run refused before anything was
    // read has none.
    std::string DatumLines() const {
        std::string t;
        for (const auto& l : Log())
            if (IsDatumLine(l)) t += l + "\n";
        return t;
    }
    std::string LogText() const {
        std::string t;
        for (const auto& l : Log()) t += l + "\n";
        return t;
    }
    static std::string ReadText(const char* file) {
        std::ifstream f(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }

    size_t runStart_ = 0;
};
