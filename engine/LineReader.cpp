#include "engine/LineReader.h"

#include <cstring>

namespace {
constexpr size_t ChunkBytes = 1 << 16;
}

LineReader::LineReader(std::FILE* file) : file_(file) { buf_.resize(ChunkBytes); }

LineReader::LineReader(const uint8_t* data, size_t size)
    : mem_(reinterpret_cast<const char*>(data)), end_(size), eof_(true) {}

// Keeps the unread bytes and appends the next chunk of the file; the buffer
// grows while one line fills it.
bool LineReader::Refill() {
    if (eof_ || file_ == nullptr)
        return false;
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buf_.size())
        buf_.resize(buf_.size() * 2);
    size_t n = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
    if (n == 0) {
        eof_ = true;
        failed_ = std::ferror(file_) != 0;
        return false;
    }
    end_ += n;
    return true;
}

bool LineReader::Next(std::string_view& line) {
    const char* base = mem_ != nullptr ? mem_ : buf_.data();
    if (skipLf_) {
        if (begin_ == end_ && file_ != nullptr)
            Refill();
        base = mem_ != nullptr ? mem_ : buf_.data();
        if (begin_ < end_ && base[begin_] == '\n') {
            ++begin_;
            ++consumed_;
        }
        skipLf_ = false;
    }
    size_t scan = begin_;
    for (;;) {
        base = mem_ != nullptr ? mem_ : buf_.data();
        for (; scan < end_; ++scan) {
            char c = base[scan];
            if (c == '\n' || c == '\r') {
                line = std::string_view(base + begin_, scan - begin_);
                consumed_ += scan - begin_ + 1;
                begin_ = scan + 1;
                if (c == '\r') {
                    if (begin_ < end_) {
                        if (base[begin_] == '\n') {
                            ++begin_;
                            ++consumed_;
                        }
                    } else {
                        skipLf_ = true;
                    }
                }
                return true;
            }
        }
        size_t offset = scan - begin_;
        if (!Refill())
            break;
        scan = begin_ + offset;
    }
    if (begin_ == end_)
        return false;
    base = mem_ != nullptr ? mem_ : buf_.data();
    line = std::string_view(base + begin_, end_ - begin_);
    consumed_ += end_ - begin_;
    begin_ = end_;
    return true;
}
