// The librarian: builds the binary device library from its readable sources.
//
//   data/devices/*.txt  one device per line, named fields (key=value)
//   data/images/*.txt   one logic image per line: entry, personality, params
//   data/blocks/*.txt   one module data block per line: entry and its bytes,
//                       or the name of an assembled program and its size
//
// The library is a directory of {offset, size} pairs for entries 0-400 (entry
// n at file offset 2 + 8n, little-endian) followed by the entries: the device
// lists of the sections EPROM, PLD, MICRO and PROM (entries 0, 1, 2, 48), the
// logic images (8838 bytes each, headed as the simulated programmer expects)
// and the module data blocks.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace librarian {

constexpr uint32_t kMaxEntry = 400;
constexpr uint32_t kImageBytes = 8838;
constexpr uint32_t kSectionEntries[4] = {0, 1, 2, 48};

// One source line split into key=value fields (values may be quoted).
struct SourceLine {
    std::string file;
    int line = 0;
    std::vector<std::pair<std::string, std::string>> fields;
};

// Splits a line; false with `error` set for an unterminated quote or a field
// without '='. A blank or comment line gives no fields.
bool SplitSourceLine(const std::string& text, SourceLine& out, std::string& error);

// A device in the library's record form and the section it belongs to.
struct DeviceEntry {
    uint32_t section = 0;
    std::string name;
    std::vector<uint8_t> record; // maker, n, name field, 47 parameter bytes
    uint32_t image = 0;
    SourceLine source;
};

// Turns the fields of a device line into its record; false with `error`
// naming the problem (unknown maker, package or adapter row, a name that
// does not fit, a size of 0, ...).
bool BuildDeviceEntry(const SourceLine& line, DeviceEntry& out, std::string& error);

// A logic image line to its 8838 bytes.
bool BuildImageEntry(const SourceLine& line, uint32_t& entry, std::vector<uint8_t>& bytes,
                     std::string& error);
// A module data block line to its bytes: its own bytes, words or text, or
// an assembled program ("file=NAME size=N": the file NAME of
// `assembledDir`, zero-padded to N bytes; refused when missing, empty or
// longer than N).
bool BuildBlockEntry(const SourceLine& line, uint32_t& entry, std::vector<uint8_t>& bytes,
                     std::string& error, const std::string& assembledDir = {});

// Entries by number.
using EntryMap = std::map<uint32_t, std::vector<uint8_t>>;

// Reads every source under `dataDir` and builds the entries. Errors name the
// source file and line ("devices/eprom.txt:12: unknown maker \"FOO\"").
// `assembledDir` holds the build's assembled chip-side programs. The sources
// under `extraDir` (a test build's own devices, images and blocks, in the
// same folders) are read after their folder of `dataDir`, as more lines of
// it.
bool BuildEntries(const std::string& dataDir, EntryMap& entries, std::string& error,
                  const std::string& assembledDir = {}, const std::string& extraDir = {});

// The library file of a set of entries (numbers 0-400).
std::vector<uint8_t> AssembleLibrary(const EntryMap& entries);

// Writes `bytes` to `path` through a temporary file and a rename.
bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

} // namespace librarian
