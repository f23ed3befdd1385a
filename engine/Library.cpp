#include "engine/Library.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

std::string ProgramDirectory;
std::string LibraryFileName = "krd.dat";
const char* ProductName = "Vexlor";

thread_local uint64_t LibraryEntryOffset = 0;
thread_local uint32_t LibraryEntrySize = 0;
thread_local uint8_t LibraryCache[kLibraryCacheBytes] = {};
thread_local int64_t LibraryCacheBlock = -1;

namespace {
// The calling thread's open library file, closed when the thread ends.
struct ReaderFile {
    std::FILE* file = nullptr;
    ~ReaderFile() {
        if (file != nullptr) std::fclose(file);
    }
};
thread_local ReaderFile g_reader;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsTokenChar(uint8_t c) {
    return c >= 0x21 && c <= 0x7E;
}

// Reads `count` bytes at `offset` into `out`; the bytes not read are zero.
void ReadAt(uint64_t offset, uint8_t* out, size_t count) {
    size_t got = 0;
    if (g_reader.file != nullptr && fseeko(g_reader.file, static_cast<off_t>(offset), SEEK_SET) == 0) {
        got = std::fread(out, 1, count, g_reader.file);
    }
    if (got < count) std::memset(out + got, 0, count - got);
}
} // namespace

std::string LibraryFilePath() {
    if (ProgramDirectory.empty()) return LibraryFileName;
    if (ProgramDirectory.back() == '/') return ProgramDirectory + LibraryFileName;
    return ProgramDirectory + "/" + LibraryFileName;
}

void CloseLibrary() {
    if (g_reader.file != nullptr) std::fclose(g_reader.file);
    g_reader.file = nullptr;
    LibraryEntryOffset = 0;
    LibraryEntrySize = 0;
    LibraryCacheBlock = -1;
    std::memset(LibraryCache, 0, sizeof LibraryCache);
}

uint32_t OpenLibraryEntry(uint32_t n) {
    CloseLibrary();
    g_reader.file = std::fopen(LibraryFilePath().c_str(), "rb");
    if (g_reader.file == nullptr) return 0;
    struct stat st {};
    if (fstat(fileno(g_reader.file), &st) != 0 || st.st_size < 0) return 0;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    const uint64_t pairAt = 2 + 8 * static_cast<uint64_t>(n);
    if (pairAt + 8 > fileSize) return 0;
    uint8_t pair[8];
    ReadAt(pairAt, pair, sizeof pair);
    const uint64_t offset = Le32(pair);
    const uint64_t size = Le32(pair + 4);
    // A pair pointing outside the file is an empty entry, never a short read.
    if (offset > fileSize || size > fileSize - offset) return 0;
    LibraryEntryOffset = offset;
    LibraryEntrySize = static_cast<uint32_t>(size);
    return LibraryEntrySize;
}

uint8_t ReadLibraryByte(uint32_t k) {
    const int64_t block = k / kLibraryCacheBytes;
    if (block != LibraryCacheBlock) {
        LibraryCacheBlock = block;
        const uint64_t start = static_cast<uint64_t>(block) * kLibraryCacheBytes;
        size_t count = 0;
        if (start < LibraryEntrySize) {
            const uint64_t left = LibraryEntrySize - start;
            count = left < kLibraryCacheBytes ? static_cast<size_t>(left) : kLibraryCacheBytes;
        }
        ReadAt(LibraryEntryOffset + start, LibraryCache, count);
        std::memset(LibraryCache + count, 0, kLibraryCacheBytes - count);
    }
    if (k >= LibraryEntrySize) return 0;
    return LibraryCache[k - block * kLibraryCacheBytes];
}

uint16_t ReadLibraryWord(uint32_t k) {
    const uint64_t at = 2 * static_cast<uint64_t>(k);
    if (at >= LibraryEntrySize) return 0;
    const uint32_t lo = ReadLibraryByte(static_cast<uint32_t>(at));
    const uint32_t hi = at + 1 < LibraryEntrySize ? ReadLibraryByte(static_cast<uint32_t>(at + 1)) : 0;
    return static_cast<uint16_t>(lo | (hi << 8));
}

namespace {
// Shared token scan; `put` receives each character of the token in order.
template <class Put> uint32_t ScanToken(uint32_t p, bool& found, Put put) {
    const uint32_t size = LibraryEntrySize;
    found = false;
    while (p < size && !IsTokenChar(ReadLibraryByte(p)))
        ++p;
    if (p >= size) return p;
    found = true;
    // The entry's last byte never belongs to a token.
    while (p + 1 < size) {
        const uint8_t c = ReadLibraryByte(p);
        if (!IsTokenChar(c)) return p + 1;
        put(static_cast<char>(c));
        ++p;
    }
    return size;
}
} // namespace

uint32_t ReadLibraryToken(uint32_t position, char* text, size_t capacity) {
    size_t len = 0;
    bool found = false;
    const uint32_t next = ScanToken(position, found, [&](char c) {
        if (len + 1 < capacity) text[len++] = c;
    });
    if (found && capacity > 0) text[len] = '\0';
    return next;
}

uint32_t ReadLibraryToken(uint32_t position, std::string& text) {
    std::string out;
    bool found = false;
    const uint32_t next = ScanToken(position, found, [&](char c) { out.push_back(c); });
    if (found) text = std::move(out);
    return next;
}

void ResetLibraryState() {
    CloseLibrary();
    ProgramDirectory.clear();
    LibraryFileName = "krd.dat";
    ProductName = "Vexlor";
}
