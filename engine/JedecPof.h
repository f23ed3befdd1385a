// JEDEC fuse files and POF files: the fuse map of a programmable logic device
// (fuse n = bit n mod 8 of buffer byte n / 8) to and from files. The JEDEC
// reader also collects the file's test vectors for the vector test.
//
// Both readers read the whole file, parse it into a copy and change the
// buffer only when the file was good: a bad file leaves the buffer as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Largest JEDEC or POF file read (both are read whole).
constexpr uint64_t FuseFileMaxBytes = 64u << 20;

// What the JEDEC reader needs to know of the device.
struct JedecLayout {
    uint32_t FuseCount = 0;    // DeviceSize
    uint32_t PinCount = 0;     // pins per test vector
    int32_t EFieldFuse = -1;   // base fuse of the row's "E" field, -1 none
    int32_t UFieldFuse = -1;   // base fuse of the row's "U" field, -1 none
    size_t VectorCapacity = 0; // bytes of the test-vector buffer
};

// Results of parsing a JEDEC text.
enum : int { JedecOk = 1, JedecNoFuseRows = -42, JedecFusePastMap = -43 };

bool IsBinaryDigit(char c);

// Parses a JEDEC text into map (mapBytes long, a copy of the fuse map that is
// changed in place) and vectors (pin characters back to back). Returns
// JedecOk, JedecNoFuseRows when the text has no "L" field, or
// JedecFusePastMap when an "L" field sets a fuse at or past
// layout.FuseCount (the device has no such fuse; its number goes to
// pastMapFuse when given).
int ParseJedecText(std::string_view text, const JedecLayout& layout, uint8_t* map, size_t mapBytes,
                   std::string& vectors, uint32_t& fileChecksum, uint64_t* pastMapFuse = nullptr);
// The '0'/'1' digits of every field with this letter after the "QF" field go
// to the fuses from base on; any other character abandons the field.
void ScanJedecBitField(std::string_view text, uint8_t* map, size_t mapBytes, uint32_t base,
                       char letter);
// The fuse count of the first "QF" field; false when the text has none.
bool ReadJedecFuseCountField(std::string_view text, uint64_t& count);
// The value of the first "C" field of four hexadecimal digits; 0 when none.
uint32_t ReadJedecChecksumField(std::string_view text);
// The "V" fields, each cut or padded with 'X' to pinCount characters, while
// the buffer of capacity bytes has room for another vector.
void ReadJedecVectors(std::string_view text, uint32_t pinCount, size_t capacity, std::string& vectors);

// Set fuses of the current device's map (fuses 0 to DeviceSize - 1).
uint32_t CountSetBufferBits();
// "E0110...*" style field of count fuses of the window from first.
std::string FormatFuseBits(uint32_t first, uint32_t count, char letter);

// Loads a JEDEC file into the fuse map and its vectors into TestVectorBuffer;
// fileChecksum is the file's "C" field, blowCount the set fuses. 1 or -1.
int LoadJedecFile(const std::string& name, uint32_t& fileChecksum, uint32_t& blowCount);
// The same when the caller needs neither value (the configuration's reload).
int LoadJedecFile(const std::string& name);
// Saves the fuse map and the vectors (pin characters back to back, length
// bytes; a vector starting with 00h or FFh ends the list, an unset pin 00h or
// FFh inside one is written as X). 1 or -1.
int SaveJedecFile(const std::string& name, const uint8_t* vectors, size_t length);
// The JEDEC text SaveJedecFile writes (without touching the disk).
std::string FormatJedecText(const uint8_t* vectors, size_t length);

// Where the data of a POF file go.
class PofSink {
public:
    virtual ~PofSink() = default;
    virtual void SetFuse(uint32_t n, bool set) = 0;
    virtual void SetByte(uint32_t address, uint8_t value) = 0;
    virtual void SetWord(uint32_t index, uint16_t value) = 0;
};

// Results of parsing a POF file.
enum : int { PofOk = 1, PofBadHeader = -1, PofMalformed = -2, PofPastDevice = -3 };

// Parses a POF file held in memory. Data beyond capacityBytes of the buffer
// are skipped. With sink nullptr only checks the file. endAddress receives
// one past the highest buffer byte written. A packet whose fuses (or table
// bytes) reach past deviceFuses ends the parse with PofPastDevice, its first
// fuse past the device in pastFuse.
int ParsePof(const uint8_t* data, size_t size, uint64_t capacityBytes, PofSink* sink,
             uint64_t& endAddress, uint64_t deviceFuses = UINT64_MAX, uint64_t* pastFuse = nullptr);

// Loads a POF file into the fuse map, cleared first; a packet past the
// device's fuses refuses the file and leaves the buffer as it was. 1 or -1.
int LoadPofFile(const std::string& name);
// The bytes SavePofFile writes: header, tag 2 (device name), tag 17 (the
// fuses, packed, from buffer address 0; the buffer must hold them) and tag 8.
std::string FormatPofFile();
// Saves the fuse map (PLD section) or the first DeviceSize bytes as a POF
// file; 1 or -1.
int SavePofFile(const std::string& name);
