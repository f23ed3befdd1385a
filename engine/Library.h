// The device library file: a directory of {offset, size} pairs (entry n at
// file offset 2 + 8n, little-endian u32 each) and the entries they point to:
// the device lists of the four sections, the logic images and module data.
// One entry is open at a time per thread and read through a 10000-byte block
// cache. Every thread has a reader of its own (file handle, entry and cache),
// so the device selection on the UI thread never disturbs an operation thread
// that reads its logic image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Directory the library file lies in (the program's directory, original case)
// and the file name of the product's library.
extern std::string ProgramDirectory;
extern std::string LibraryFileName;
// The product's name ("Vexlor" by default), set with the library file name
// by the product selection at start-up.
extern const char* ProductName;

// Device-list entries of the four sections and the entry that must exist
// before the device selection opens.
constexpr uint32_t kLibraryEntryEprom = 0;
constexpr uint32_t kLibraryEntryPld = 1;
constexpr uint32_t kLibraryEntryMicro = 2;
constexpr uint32_t kLibraryEntryPrompt = 5;
constexpr uint32_t kLibraryEntryProm = 48;
// The highest entry the system opens (the last logic image).
constexpr uint32_t kLibraryMaxEntry = 400;
// The insertion check, package detection and test forms use this image.
constexpr uint32_t kLibraryTestImage = 47;

constexpr uint32_t kLibraryCacheBytes = 10000;

// Reader state of the calling thread.
extern thread_local uint64_t LibraryEntryOffset;
extern thread_local uint32_t LibraryEntrySize;
extern thread_local uint8_t LibraryCache[kLibraryCacheBytes];
extern thread_local int64_t LibraryCacheBlock; // block held by the cache, -1 none

// "<ProgramDirectory>/<LibraryFileName>".
std::string LibraryFilePath();

// Opens entry n for the calling thread: its size in bytes, 0 when the file cannot be opened or the
// directory pair lies outside the file (the entry then reads as empty).
uint32_t OpenLibraryEntry(uint32_t n);
// Byte k of the open entry; 0 at or beyond its size.
uint8_t ReadLibraryByte(uint32_t k);
// Word k: byte 2k plus 256 times byte 2k+1.
uint16_t ReadLibraryWord(uint32_t k);
// Reads the blank-separated token from `position` (characters 21h-7Eh; the
// entry's last byte never belongs to a token) into `text`, cut to
// capacity - 1 characters and 0-terminated. Returns the position after the
// token's terminating byte, or the entry's size at its end; at the end with
// no token the text is left untouched. Callers test position >= size.
uint32_t ReadLibraryToken(uint32_t position, char* text, size_t capacity);
uint32_t ReadLibraryToken(uint32_t position, std::string& text);

// Closes the calling thread's file and empties its cache.
void CloseLibrary();
// Back to the start-up state of this area.
void ResetLibraryState();
