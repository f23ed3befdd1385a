// JEDEC fuse files and POF files: the fuse map of a programmable logic device
// (fuse n = bit n mod 8 of buffer byte n / 8) to and from files. The JEDEC
// reader also collects the file's test vectors for the vector test.
//
// Both readers read the whole file, parse it into a copy and change the
// buffer only when the file was good: a bad file leaves the buffer as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Largest JEDEC or POF file read (both are read whole).
constexpr uint64_t FuseFileMaxBytes = 64u << 20;

// What the JEDEC reader needs to know of the device.
struct JedecLayout {
    uint32_t FuseCount = 0;    // DeviceSize
    int32_t EFieldFuse = -1;   // base fuse of the row's "E" field, -1 none
    int32_t UFieldFuse = -1;   // base fuse of the row's "U" field, -1 none
    size_t VectorCapacity = 0; // bytes of the test-vector buffer
};

// Results of parsing a JEDEC text.
enum : int {
    JedecOk = 1,
    JedecNoFuseRows = -42,
    JedecFusePastMap = -43,
    JedecBadFuseDigit = -44,
    JedecBadFuseNumber = -45
};

// What a parse finds besides the map and the vectors.
struct JedecFindings {
    uint64_t PastMapFuse = 0;  // JedecFusePastMap: the first fuse set past the device
    uint64_t BadDigitFuse = 0; // JedecBadFuseDigit: the fuse where an "L" field
    char BadDigit = 0;         // holds this character, neither 0, 1 nor a blank
    // JedecBadFuseNumber: the "L" field's letter and what stands for its
    // number, up to the first blank (at most 24 characters of the file).
    std::string BadNumberField;
    // The sum the "C" field should hold (JedecFuseSum) of the fuses the
    // default and "L" fields set, fuses 0 to the QF count (layout.FuseCount
    // without one); none when that count is 0 or larger than the map.
    std::optional<uint32_t> FuseSum;
    // Pins per vector: the QP field's count, else the longest vector's
    // symbols; 0 when the text has neither.
    uint32_t VectorPins = 0;
    bool VectorPinsFromQp = false;
    bool Stx = false; // the text opens a transmission
    bool Etx = false; // an ETX ends its fields
    // The letter of the last field when it has no closing '*' before the
    // ETX or the end of the text, 0 when it has one.
    char OpenField = 0;
};

bool IsBinaryDigit(char c);

// The part of a JEDEC text its fields are read from: up to the ETX that
// ends the transmission (the first after the STX; the first at all without
// one), the whole text without an ETX.
std::string_view JedecFieldText(std::string_view text);

// Parses a JEDEC text into map (mapBytes long, a copy of the fuse map that is
// changed in place) and vectors (pin characters back to back, findings'
// VectorPins each). Returns JedecOk, JedecNoFuseRows when the text has no "L"
// field, JedecBadFuseNumber when an "L" field has no fuse number (decimal
// digits up to a blank or the '*', at most ten once leading zeros are
// dropped), JedecBadFuseDigit when an "L" field holds a character other than
// 0, 1 and blanks among its fuses, or JedecFusePastMap when an "L" field sets
// a fuse at or past layout.FuseCount (the device has no such fuse). The
// first bad field decides.
int ParseJedecText(std::string_view text, const JedecLayout& layout, uint8_t* map, size_t mapBytes,
                   std::string& vectors, uint32_t& fileChecksum, JedecFindings* findings = nullptr);
// The JEDEC fuse checksum of fuses 0 to fuseCount - 1 of a map (fuse n = bit
// n mod 8 of byte n / 8): the 16-bit sum of its bytes, the last byte's bits
// past the count taken as 0.
uint32_t JedecFuseSum(const uint8_t* map, uint32_t fuseCount);
// The '0'/'1' digits of every field with this letter after the "QF" field go
// to the fuses from base on; any other character abandons the field.
void ScanJedecBitField(std::string_view text, uint8_t* map, size_t mapBytes, uint32_t base,
                       char letter);
// The fuse count of the first "QF" field; false when the text has none.
bool ReadJedecFuseCountField(std::string_view text, uint64_t& count);
// The pin count of the first "QP" field; false when the text has none.
bool ReadJedecPinCountField(std::string_view text, uint64_t& count);
// The value of the first "C" field of four hexadecimal digits; 0 when none.
uint32_t ReadJedecChecksumField(std::string_view text);
// The same; false when the text has no such field.
bool FindJedecChecksumField(std::string_view text, uint32_t& value);
// The transmission checksum: the four hexadecimal digits after the first ETX
// that follows an STX go to field, the 16-bit sum of the characters from that
// STX to the ETX, both included, 7 bits each, to sum. False when the text has
// no STX, ETX and four digits.
bool ReadJedecTransmissionChecksum(std::string_view text, uint32_t& field, uint32_t& sum);
// The "V" fields, each cut or padded with 'X' to pinCount characters, while
// the buffer of capacity bytes has room for another vector.
void ReadJedecVectors(std::string_view text, uint32_t pinCount, size_t capacity, std::string& vectors);
// The symbols of the longest "V" field; 0 when the text has none.
uint32_t LongestJedecVector(std::string_view text);

// Set fuses of the current device's map (fuses 0 to DeviceSize - 1).
uint32_t CountSetBufferBits();
// "E0110...*" style field of count fuses of the window from first.
std::string FormatFuseBits(uint32_t first, uint32_t count, char letter);

// Loads a JEDEC file into the fuse map and its vectors into TestVectorBuffer;
// fileChecksum is the file's "C" field, blowCount the set fuses. The vectors
// keep the file's pin count (TestVectorPinCount; a line names it when it is
// not the device's). A "C" field that differs from the sum of the fuses the
// file sets, a transmission checksum that is neither 0000 nor the text's
// sum, and a file that ends inside a field or without the ETX its STX opened
// are named in a line; the file still loads. A fuse given as another
// character than 0 or 1, and an "L" field without a fuse number, refuse the
// file with a line and leave the buffer as it was. 1 or -1.
int LoadJedecFile(const std::string& name, uint32_t& fileChecksum, uint32_t& blowCount);
// The same when the caller needs neither value (the configuration's reload).
int LoadJedecFile(const std::string& name);
// Saves the fuse map and the vectors (pin characters back to back, length
// bytes; a vector starting with 00h or FFh ends the list, an unset pin 00h or
// FFh inside one is written as X). 1 or -1.
int SaveJedecFile(const std::string& name, const uint8_t* vectors, size_t length);
// The JEDEC text SaveJedecFile writes (without touching the disk).
std::string FormatJedecText(const uint8_t* vectors, size_t length);

// The vectors a JEDEC save of the current device carries: TestVectorBuffer
// when its list was loaded or entered for the device's pin count; none when
// it was for another pin count (a line says so when it holds vectors), as
// regrouped for this one its pins would not be the file's.
struct VectorList {
    const uint8_t* Data = nullptr;
    size_t Length = 0;
};
VectorList TestVectorsForSave();

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
