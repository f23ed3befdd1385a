// Text hex data files: one reader for Intel hex, Motorola S-records,
// Tektronix hex and ASCII hex (recognised line by line, mixed freely), and a
// writer for each format.
//
// Loading parses the whole file into a staging image first; the buffer is
// cleared (when the user asked for that) and written only once the file has
// been read and found to hold hex records, so a failed load changes nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Buffer.h"

// Highest buffer address + 1 ever stored by a hex load; only ever raised.
extern uint32_t HighestLoadAddress;

// Formats of SaveHexFamilyFile.
enum : int { HexFormatIntel = 1, HexFormatMotorola = 2, HexFormatTektronix = 3 };

// The reader's limits: no record line is longer than 521 characters (255
// data bytes in Intel or Tektronix form); a file with a line longer than
// HexLineMax is not a hex file. Text is parsed in pieces of HexReadChunkBytes.
constexpr size_t HexLineMax = 1024;
constexpr size_t HexReadChunkBytes = 1 << 18;

// Bytes parsed from a file before they go into the buffer: 64 KB pages with
// a mask of the bytes written. A later record overwrites an earlier one.
class HexImage {
public:
    void Store(uint32_t address, const uint8_t* data, uint32_t count);
    bool Empty() const { return end_ == 0; }
    // One past the highest address stored (0 when empty).
    uint32_t EndAddress() const { return end_; }
    // Calls fn(address, data, length) for every run of stored bytes, in
    // address order (a run does not cross a 64 KB page).
    template <typename Fn> void ForEachRun(Fn fn) const {
        for (size_t p = 0; p < pages_.size(); ++p) {
            if (!pages_[p])
                continue;
            const Page& page = *pages_[p];
            uint32_t i = NextMarked(page, 0, true);
            while (i < PageBytes) {
                const uint32_t j = NextMarked(page, i, false);
                fn(static_cast<uint32_t>(p) * PageBytes + i, page.Data + i, j - i);
                i = NextMarked(page, j, true);
            }
        }
    }

private:
    static constexpr uint32_t PageBytes = 0x10000;
    struct Page {
        uint8_t Data[PageBytes]; // only bytes marked in Mask are meaningful
        uint64_t Mask[PageBytes / 64]{};
    };
    // First index from i whose mask bit equals `set`, or PageBytes.
    static uint32_t NextMarked(const Page& page, uint32_t i, bool set);
    std::vector<std::unique_ptr<Page>> pages_;
    uint32_t end_ = 0;
};

// State of one load (reset at each load).
struct HexLoadState {
    uint32_t FileOffset = 0;     // subtracted from every record address
    uint32_t BufferOffset = 0;   // added to every record address
    uint64_t BufferBytes = MaxImageBytes; // bytes the buffer holds: none is stored past them
    uint32_t RecordAddress = 0;  // buffer address of the current record
    uint32_t Base = 0;           // from Intel types 02 and 04
    uint32_t LoadedCount = 0;    // bytes stored
    uint32_t Records = 0;        // well-formed records of any known kind
    uint32_t BadRecords = 0;     // malformed records skipped
    uint32_t BadChecksums = 0;   // records loaded although their checksum is wrong
    uint32_t HighestAddress = 0; // highest buffer address + 1 stored
    uint32_t IntelRecords = 0;   // well-formed Intel records, end record included
    bool IntelEnd = false;       // an Intel end record (type 01) was read
    uint64_t PastBuffer = 0;     // record bytes past the buffer's last byte, not stored
    uint64_t BeforeStart = 0;    // record bytes of records before File Offset, not stored
    bool LineTooLong = false;    // a line passed HexLineMax: parsing stopped
    HexImage Image;
};

// Parses a whole text held in memory, line by line (lines end at LF, CR LF
// or a lone CR), exactly as a file is loaded: records go into state.Image
// and are counted; malformed ones are skipped and counted in BadRecords;
// lines that are no record (headers, blank lines, the ASCII-hex STX, ETX and
// "$S" lines) are skipped.
void ParseHexFamilyText(HexLoadState& state, const uint8_t* data, size_t size);
// Sets RecordAddress from a record address; false (record to be skipped)
// when the buffer address is negative or past the buffer's last byte.
bool CheckHexAddressLimit(HexLoadState& state, uint32_t recordAddress);
// Stores count decoded record bytes at RecordAddress and counts them; the
// bytes of a record across the buffer's last byte are stored up to that
// byte and the rest counted in PastBuffer.
void StoreHexRecordBytes(HexLoadState& state, const uint8_t* bytes, uint32_t count);

// What a text is when every line of it (blank lines and line ends aside) is
// a well-formed record of one format: Intel hex or Motorola S-record.
enum class HexRecordText { None, Intel, Motorola };
// One pass over any bytes, stopping at the first line that is no such record
// (a line longer than any record included); a text of no record at all, or
// of both formats, is None. A checksum is not checked: the form suffices.
HexRecordText DetectHexRecordText(const uint8_t* data, size_t size);

// Loads a hex-family file: record address - fileOffset + bufferOffset gives
// the buffer address. 1, or -1 when the file cannot be opened, holds no hex
// record, has a line longer than HexLineMax or puts no byte in the buffer
// (the buffer is then unchanged). Bytes past the buffer's last byte are
// counted in a line; so are bytes outside the device's (WarnBytesOutsideDevice).
// A file of Intel records without an end record loads with a warning that
// it may have been cut short (S-record files need no end record: our own
// Motorola saves carry none).
int LoadHexFamilyFile(const std::string& name, uint32_t fileOffset, uint32_t bufferOffset);

// Appends "%02X\r\n" of the record's checksum (format as HexFormat*) to a
// record line that holds everything up to the checksum.
void AppendHexRecordChecksum(std::string& line, int format);

// Receives the text of a writer piece by piece, with the count of buffer
// bytes formatted so far; returns false to stop (a write failed).
using HexTextSink = std::function<bool(std::string_view text, uint32_t bytesDone)>;

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
