// The logic library lg.dat: named lists of IC test vectors in a text file.
// An entry is a header line ".<name> <pins as two digits>\r\n" and one line of
// pin symbols per vector; it ends at the next '.' or the end of the file. Text
// before the first '.' belongs to no entry and is kept by every rewrite.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kLogicLibraryMaxBytes = 65536;
constexpr size_t kLogicNameMax = 10;

struct LogicLibraryEntry {
    std::string name;        // as listed: the first 10 characters
    int pins = 0;            // 0 when the header is unusable
    std::string pinsText;    // the header's two pin-count characters as found
    size_t entryOffset = 0;  // its '.'
    size_t dataOffset = 0;   // its first vector line
    bool Usable() const { return pins != 0; }
};

struct LogicLibrary {
    std::string text;
    bool read = false; // false: the file was missing, unreadable, too long or not text
    std::string error; // why it was not read
    std::vector<LogicLibraryEntry> entries;
};

// "<ProgramDirectory>/lg.dat".
std::string LogicLibraryPath();

// Reads the file: 1 when read, 0 when it cannot be opened or read, is longer
// than 65536 bytes or holds a 0 byte, which no text line has (the library is
// then empty and unread, and `error` says why).
int LoadLogicLibrary(LogicLibrary& lib, const std::string& path);
// The message for a library that was not read: its path and the reason.
std::string LogicLibraryNotReadText(const LogicLibrary& lib, const std::string& path);
// Builds the entry index from the text. A header without a blank after the
// name, or whose pin count is not two digits from 02 to 48, gives an unusable
// entry (listed, never loaded or tested).
void IndexLogicLibrary(LogicLibrary& lib);
// The vector text of entry k without line ends, up to its end; empty for an
// entry outside the index.
std::string CopyLogicLibraryEntry(const LogicLibrary& lib, size_t k);

// 1-10 printable characters, none a '.' or a blank.
bool IsValidLogicDeviceName(const std::string& name);
// Index of the first entry listed under exactly this name, -1 none.
int FindLogicLibraryEntry(const LogicLibrary& lib, const std::string& name);
// The text with an entry of `pins` symbols per line from `vectors` (lines up
// to the first line starting with a 0 byte, at most size bytes read) in place
// of entry `replace`, or appended when replace is -1. A 0 byte inside a line
// ends the list after that line, whose missing symbols are written as 'N'
// (pin unset and unchecked): the file never holds a 0 byte.
std::string LogicLibraryWithEntry(const LogicLibrary& lib, int replace, const std::string& name, int pins,
                                  const uint8_t* vectors, size_t size);
// The text without entry k.
std::string LogicLibraryWithout(const LogicLibrary& lib, size_t k);
// Writes the text through a temporary file renamed over `path`, so a failed
// write leaves the old file whole. Empty on success, else the reason.
std::string WriteLogicLibrary(const std::string& path, const std::string& text);
