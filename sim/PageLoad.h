// The page buffer of a page-write memory: words written one after the other,
// each within the load window of the one before, fill the page of the first
// (later words keep their low address bits within it).
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

namespace sim {

struct PageLoad {
    bool loading = false;
    uint32_t page = 0;          // first address of the page
    std::vector<int32_t> words; // the loaded words, -1 where none was
    uint64_t lastUs = 0;        // when the last word came
    uint16_t lastData = 0;

    void Add(uint32_t a, uint16_t d, uint64_t now, uint32_t pageWords) {
        const uint32_t size = std::max<uint32_t>(pageWords, 1);
        if (!loading) {
            loading = true;
            page = a & ~(size - 1);
            words.assign(size, -1);
        }
        words[a & (size - 1)] = d;
        lastUs = now;
        lastData = d;
    }
    // The window after the last word has run out by now.
    bool Lapsed(uint64_t now, uint32_t windowUs) const { return now > lastUs + windowUs; }
};

} // namespace sim
