// Text hex data files: one reader for Intel hex, Motorola S-records,
// Tektronix hex and ASCII hex (recognised line by line, mixed freely), and a
// writer for each format.
//
// Loading parses the whole file into a staging image first; the buffer is
// cleared (when the user asked for that) and written only once the file has
// been read and found to hold hex records, so a failed load changes nothing.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Records whose buffer address lies above this are skipped whole (the
// address itself is still accepted).
constexpr uint32_t HexLoadAddressLimit = 0x400000;

// Highest buffer address + 1 ever stored by a hex load; only ever raised.
extern uint32_t HighestLoadAddress;

// Formats of SaveHexFamilyFile.
enum : int { HexFormatIntel = 1, HexFormatMotorola = 2, HexFormatTektronix = 3 };

// Bytes parsed from a file before they go into the buffer: 64 KB pages with
// a mask of the bytes written. A later record overwrites an earlier one.
class HexImage {
public:
    void Store(uint32_t address, uint8_t value);
    bool Empty() const { return pages_.empty(); }
    // One past the highest address stored (0 when empty).
    uint32_t EndAddress() const { return end_; }
    // Calls fn(address, data, length) for every run of stored bytes, in
    // address order.
    template <typename Fn> void ForEachRun(Fn fn) const {
        for (size_t p = 0; p < pages_.size(); ++p) {
            if (!pages_[p])
                continue;
            const Page& page = *pages_[p];
            uint32_t i = 0;
            while (i < PageBytes) {
                if (!(page.Mask[i >> 6] >> (i & 63) & 1)) {
                    ++i;
                    continue;
                }
                uint32_t j = i + 1;
                while (j < PageBytes && (page.Mask[j >> 6] >> (j & 63) & 1))
                    ++j;
                fn(static_cast<uint32_t>(p) * PageBytes + i, page.Data + i, j - i);
                i = j;
            }
        }
    }

private:
    static constexpr uint32_t PageBytes = 0x10000;
    struct Page {
        uint8_t Data[PageBytes];
        uint64_t Mask[PageBytes / 64];
    };
    std::vector<std::unique_ptr<Page>> pages_;
    uint32_t end_ = 0;
};

// State of one load (reset at each load).
struct HexLoadState {
    uint32_t FileOffset = 0;     // subtracted from every record address
    uint32_t BufferOffset = 0;   // added to every record address
    uint32_t RecordAddress = 0;  // buffer address of the current record
    uint32_t Base = 0;           // from Intel types 02 and 04
    uint32_t LoadedCount = 0;    // bytes stored
    uint32_t Records = 0;        // well-formed records of any known kind
    uint32_t BadRecords = 0;     // malformed records skipped
    uint32_t BadChecksums = 0;   // records loaded although their checksum is wrong
    uint32_t HighestAddress = 0; // highest buffer address + 1 stored
    HexImage Image;
};

// Value of n hexadecimal digits (1-8, either case) at text[pos]; false when
// they are not all there or not all hexadecimal.
bool HexDigitsToInt(std::string_view text, size_t pos, int n, uint32_t& value);

// Record parsers: each takes one line (its terminator removed), stores its
// data into state.Image and counts it. Malformed records are skipped and
// counted in BadRecords; nothing is read past the end of the line.
void ParseIntelHexRecord(HexLoadState& state, std::string_view line);
void ParseSRecord(HexLoadState& state, std::string_view line);
void ParseTekHexRecord(HexLoadState& state, std::string_view line);
void ParseAsciiHexLine(HexLoadState& state, std::string_view line);
// Dispatches a line by its first character; lines that are no record at all
// (headers, blank lines, the ASCII-hex STX, ETX and "$S" lines) are skipped.
void ParseHexFamilyLine(HexLoadState& state, std::string_view line);
// Parses a whole text held in memory, line by line.
void ParseHexFamilyText(HexLoadState& state, const uint8_t* data, size_t size);
// Sets RecordAddress from a record address; false (record to be skipped)
// when the buffer address is negative or above HexLoadAddressLimit.
bool CheckHexAddressLimit(HexLoadState& state, uint32_t recordAddress);
// Stores count bytes given as digit pairs from line[position] at RecordAddress.
void StoreHexRecordBytes(HexLoadState& state, std::string_view line, size_t position,
                         uint32_t count);

// Loads a hex-family file: record address - fileOffset + bufferOffset gives
// the buffer address. 1, or -1 when the file cannot be opened or holds no
// hex record (the buffer is then unchanged).
int LoadHexFamilyFile(const std::string& name, uint32_t fileOffset, uint32_t bufferOffset);

// Appends "%02X\r\n" of the record's checksum (format as HexFormat*) to a
// record line that holds everything up to the checksum.
void AppendHexRecordChecksum(std::string& line, int format);

// Receives the text of a writer piece by piece, with the count of buffer
// bytes formatted so far; returns false to stop (a write failed).
using HexTextSink = std::function<bool(const std::string& text, uint32_t bytesDone)>;

// Data records of buffer bytes start..end in a format, read from image
// (indexed by buffer address): Intel records never cross a 64 KB boundary and
// are preceded by an extended segment (02, below 1 MB) or extended linear
// (04, from 1 MB) address record whenever the upper address changes.
// Tektronix cannot address past FFFFh: the caller refuses such ranges. No
// end record. False when the sink stopped.
bool FormatHexRecords(const uint8_t* image, uint32_t start, uint32_t end, int format,
                      const HexTextSink& sink);
// A whole ASCII-hex file of start..end (the last line filled up to 16 bytes
// from the bytes that follow end in image).
bool FormatAsciiHex(const uint8_t* image, uint32_t start, uint32_t end, const HexTextSink& sink);

// Saves buffer bytes start..end as Intel (1), Motorola S3 (2) or Tektronix
// (3) records; 1 or -1.
int SaveHexFamilyFile(const std::string& name, uint32_t start, uint32_t end, int format);
int SaveAsciiHexFile(const std::string& name, uint32_t start, uint32_t end);

// Back to the start-up state of this area.
void ResetHexFilesState();
