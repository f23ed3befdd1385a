// Whole lines of any length from a file or from memory. A line ends at LF,
// CR LF or a lone CR; the terminator is not part of the line. A last line
// without a terminator is still returned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

class LineReader {
public:
    // Streams from an open file (read from its current position).
    explicit LineReader(std::FILE* file);
    // Reads from memory; data must outlive the reader.
    LineReader(const uint8_t* data, size_t size);

    // Next line; the view stays valid until the next call. False at the end.
    bool Next(std::string_view& line);
    // Bytes of the input consumed so far (terminators included).
    uint64_t Consumed() const { return consumed_; }
    // True when reading the file failed (as opposed to reaching its end).
    bool Failed() const { return failed_; }

private:
    bool Refill();

    std::FILE* file_ = nullptr;
    const char* mem_ = nullptr;
    std::vector<char> buf_;
    size_t begin_ = 0;   // first unread byte in buf_
    size_t end_ = 0;     // one past the last valid byte in buf_
    bool eof_ = false;
    bool failed_ = false;
    bool skipLf_ = false; // the previous line ended with CR: a following LF belongs to it
    uint64_t consumed_ = 0;
};
