#include "engine/HexFiles.h"

#include <algorithm>
#include <cstdio>

#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/LineReader.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

uint32_t HighestLoadAddress = 0;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsHexDigit(char c) { return HexValue(c) >= 0; }

// True when line[pos, pos + digits) exists and is all hexadecimal.
bool AllHex(std::string_view line, size_t pos, size_t digits) {
    if (pos > line.size() || line.size() - pos < digits)
        return false;
    for (size_t i = 0; i < digits; ++i)
        if (!IsHexDigit(line[pos + i]))
            return false;
    return true;
}

// Value of a digit known to be hexadecimal; 0 for anything else.
uint32_t DigitValue(char c) { return static_cast<uint32_t>(std::max(HexValue(c), 0)); }

// Sum of the byte pairs line[pos, pos + 2 * count), as far as the line goes.
uint32_t SumPairs(std::string_view line, size_t pos, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count && pos + 2 * i + 1 < line.size(); ++i)
        sum += DigitValue(line[pos + 2 * i]) << 4 | DigitValue(line[pos + 2 * i + 1]);
    return sum;
}

// Sum of the single digits line[pos, pos + digits), as far as the line goes.
uint32_t SumDigits(std::string_view line, size_t pos, size_t digits) {
    uint32_t sum = 0;
    for (size_t i = 0; i < digits && pos + i < line.size(); ++i)
        sum += DigitValue(line[pos + i]);
    return sum;
}

constexpr char HexUpper[] = "0123456789ABCDEF";

void PutHex(std::string& out, uint32_t value, int digits) {
    for (int d = digits - 1; d >= 0; --d)
        out.push_back(HexUpper[(value >> (4 * d)) & 15]);
}

void BadRecord(HexLoadState& state) { ++state.BadRecords; }

} // namespace

void HexImage::Store(uint32_t address, uint8_t value) {
    size_t p = address / PageBytes;
    if (p >= pages_.size())
        pages_.resize(p + 1);
    if (!pages_[p])
        pages_[p] = std::make_unique<Page>();
    uint32_t i = address % PageBytes;
    pages_[p]->Data[i] = value;
    pages_[p]->Mask[i >> 6] |= uint64_t{1} << (i & 63);
    end_ = std::max(end_, address + 1);
}

bool HexDigitsToInt(std::string_view text, size_t pos, int n, uint32_t& value) {
    if (n < 1 || n > 8 || !AllHex(text, pos, static_cast<size_t>(n)))
        return false;
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 4 | static_cast<uint32_t>(HexValue(text[pos + static_cast<size_t>(i)]));
    value = v;
    return true;
}

bool CheckHexAddressLimit(HexLoadState& state, uint32_t recordAddress) {
    int64_t address = int64_t{recordAddress} + state.Base - state.FileOffset + state.BufferOffset;
    if (address < 0 || address > HexLoadAddressLimit)
        return false;
    state.RecordAddress = static_cast<uint32_t>(address);
    return true;
}

void StoreHexRecordBytes(HexLoadState& state, std::string_view line, size_t position, uint32_t count) {
    uint32_t stored = 0;
    for (; stored < count; ++stored) {
        uint32_t v = 0;
        if (!HexDigitsToInt(line, position + 2 * size_t{stored}, 2, v))
            break;
        state.Image.Store(state.RecordAddress + stored, static_cast<uint8_t>(v));
        ++state.LoadedCount;
    }
    state.HighestAddress = std::max(state.HighestAddress, state.RecordAddress + stored);
}

// ":" count(2) address(4) type(2) data checksum(2)
void ParseIntelHexRecord(HexLoadState& state, std::string_view line) {
    uint32_t count = 0, address = 0, type = 0;
    if (!HexDigitsToInt(line, 1, 2, count) || !HexDigitsToInt(line, 3, 4, address) ||
        !HexDigitsToInt(line, 7, 2, type) || !AllHex(line, 9, 2 * size_t{count}))
        return BadRecord(state);
    size_t dataEnd = 9 + 2 * size_t{count};
    uint32_t check = 0;
    bool checkOk = HexDigitsToInt(line, dataEnd, 2, check) &&
                   ((SumPairs(line, 1, 4 + count) + check) & 0xFF) == 0;
    uint32_t upper = 0;
    if (type == 0x02 || type == 0x04) {
        if (count < 2)
            return BadRecord(state);
        HexDigitsToInt(line, 9, 4, upper);
    }
    ++state.Records;
    if (!checkOk)
        ++state.BadChecksums;
    switch (type) {
    case 0x00:
    case 0x20:
        if (CheckHexAddressLimit(state, address))
            StoreHexRecordBytes(state, line, 9, count);
        break;
    case 0x02:
        state.Base = address + 16 * upper;
        break;
    case 0x04:
        state.Base = upper << 16;
        break;
    default: // end of file, start addresses: nothing to store
        break;
    }
}

// "S" type(1) count(2) address(4, 6 or 8) data checksum(2); the count covers
// address, data and checksum.
void ParseSRecord(HexLoadState& state, std::string_view line) {
    uint32_t count = 0;
    char type = line.size() > 1 ? line[1] : 0;
    if (type < '0' || type > '9' || type == '4' || !HexDigitsToInt(line, 2, 2, count))
        return BadRecord(state);
    if (type != '1' && type != '2' && type != '3') { // header, counts, start addresses
        ++state.Records;
        return;
    }
    uint32_t addressDigits = type == '1' ? 4 : type == '2' ? 6 : 8;
    if (count < addressDigits / 2 + 1)
        return BadRecord(state);
    uint32_t dataBytes = count - (addressDigits / 2 + 1);
    uint32_t address = 0;
    if (!HexDigitsToInt(line, 4, static_cast<int>(addressDigits), address) ||
        !AllHex(line, 4 + addressDigits, 2 * size_t{dataBytes}))
        return BadRecord(state);
    size_t dataEnd = 4 + addressDigits + 2 * size_t{dataBytes};
    uint32_t check = 0;
    bool checkOk = HexDigitsToInt(line, dataEnd, 2, check) &&
                   ((SumPairs(line, 2, count) + check) & 0xFF) == 0xFF;
    ++state.Records;
    if (!checkOk)
        ++state.BadChecksums;
    if (CheckHexAddressLimit(state, address))
        StoreHexRecordBytes(state, line, 4 + addressDigits, dataBytes);
}

// "/" address(4) count(2) header check(2) data data check(2); the checks are
// sums of the single digits. A record of count 0 ends the file.
void ParseTekHexRecord(HexLoadState& state, std::string_view line) {
    uint32_t address = 0, count = 0, headerCheck = 0;
    if (!HexDigitsToInt(line, 1, 4, address) || !HexDigitsToInt(line, 5, 2, count) ||
        !HexDigitsToInt(line, 7, 2, headerCheck) || !AllHex(line, 9, 2 * size_t{count}))
        return BadRecord(state);
    bool checkOk = (SumDigits(line, 1, 6) & 0xFF) == headerCheck;
    if (count > 0) {
        uint32_t dataCheck = 0;
        checkOk = checkOk && HexDigitsToInt(line, 9 + 2 * size_t{count}, 2, dataCheck) &&
                  (SumDigits(line, 9, 2 * size_t{count}) & 0xFF) == dataCheck;
    }
    ++state.Records;
    if (!checkOk)
        ++state.BadChecksums;
    if (count > 0 && CheckHexAddressLimit(state, address))
        StoreHexRecordBytes(state, line, 9, count);
}

// "$" address "," then 16 bytes, each two digits and one separator (the last
// separator may be the end of the line).
void ParseAsciiHexLine(HexLoadState& state, std::string_view line) {
    size_t comma = line.find(',');
    uint32_t address = 0;
    if (comma == std::string_view::npos || comma < 2 || comma > 9 ||
        !HexDigitsToInt(line, 1, static_cast<int>(comma - 1), address))
        return BadRecord(state);
    size_t data = comma + 1;
    if (line.size() < data + 16 * 3 - 1)
        return BadRecord(state);
    for (size_t i = 0; i < 16; ++i)
        if (!AllHex(line, data + 3 * i, 2))
            return BadRecord(state);
    ++state.Records;
    if (!CheckHexAddressLimit(state, address))
        return;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t v = 0;
        HexDigitsToInt(line, data + 3 * size_t{i}, 2, v);
        state.Image.Store(state.RecordAddress + i, static_cast<uint8_t>(v));
        ++state.LoadedCount;
    }
    state.HighestAddress = std::max(state.HighestAddress, state.RecordAddress + 16);
}

void ParseHexFamilyLine(HexLoadState& state, std::string_view line) {
    if (line.size() < 2 || !IsHexDigit(line[1]))
        return;
    switch (line[0]) {
    case ':':
        ParseIntelHexRecord(state, line);
        break;
    case 'S':
        ParseSRecord(state, line);
        break;
    case '/':
        ParseTekHexRecord(state, line);
        break;
    case '$':
        ParseAsciiHexLine(state, line);
        break;
    default:
        break;
    }
}

void ParseHexFamilyText(HexLoadState& state, const uint8_t* data, size_t size) {
    LineReader reader(data, size);
    std::string_view line;
    while (reader.Next(line))
        ParseHexFamilyLine(state, line);
}

int LoadHexFamilyFile(const std::string& name, uint32_t fileOffset, uint32_t bufferOffset) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        ShowErrorByCode(38); // "Unable to open."
        return -1;
    }
    uint64_t fileSize = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        fileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    std::rewind(file);

    HexLoadState state;
    state.FileOffset = fileOffset;
    state.BufferOffset = bufferOffset;
    LineReader reader(file);
    std::string_view line;
    int shown = -1;
    const uint64_t perStep = fileSize / 90 + 1;
    while (reader.Next(line)) {
        int position = static_cast<int>(reader.Consumed() / perStep);
        if (position != shown) {
            SetProgressPosition(position);
            shown = position;
        }
        ParseHexFamilyLine(state, line);
    }
    bool readFailed = reader.Failed();
    std::fclose(file);
    if (readFailed) {
        ShowErrorByCode(39); // "Disk read failure."
        return -1;
    }
    if (state.Records == 0) {
        ShowErrorByCode(42); // "File type invalid."
        return -1;
    }

    // The file is good: make room, clear if asked, then store.
    if (!state.Image.Empty() && SelectBank(state.Image.EndAddress() - 1, 1) != 1)
        return -1; // the buffer cannot grow that far (already reported)
    if (BufferClearBeforeLoad)
        FillBufferRange(0, BankCount * BufferBankBytes - 1, FillByte);
    uint8_t* image = BufferImage();
    state.Image.ForEachRun([image](uint32_t address, const uint8_t* data, uint32_t length) {
        std::copy(data, data + length, image + address);
    });
    SelectBank(0, 0);
    HighestLoadAddress = std::max(HighestLoadAddress, state.HighestAddress);

    if (state.BadRecords > 0)
        ShowMessageLine("%s (%lu record(s))", ErrorTextByCode(58).c_str(),
                        static_cast<unsigned long>(state.BadRecords));
    if (state.BadChecksums > 0)
        ShowMessageLine("%s (%lu record(s))", ErrorTextByCode(56).c_str(),
                        static_cast<unsigned long>(state.BadChecksums));
    ShowMessageLine("%lxh(%lu) byte(s) loaded.", static_cast<unsigned long>(state.LoadedCount),
                    static_cast<unsigned long>(state.LoadedCount));
    return 1;
}

void AppendHexRecordChecksum(std::string& line, int format) {
    uint32_t value = 0;
    switch (format) {
    case HexFormatIntel:
        value = 0x100 - (SumPairs(line, 1, line.size() / 2) & 0xFF);
        break;
    case HexFormatMotorola:
        value = ~SumPairs(line, 2, line.size() / 2);
        break;
    case HexFormatTektronix:
        value = SumDigits(line, 9, line.size() > 9 ? line.size() - 9 : 0);
        break;
    default:
        break;
    }
    PutHex(line, value & 0xFF, 2);
    line += "\r\n";
}

bool FormatHexRecords(const uint8_t* image, uint32_t start, uint32_t end, int format,
                      const HexTextSink& sink) {
    std::string out;
    std::string record;
    out.reserve(1 << 17);
    // What a reader's base holds so far: Intel readers start at 0.
    uint32_t upper = 0;      // address >> 16 the base currently gives
    bool segmentSet = false; // an 02 record with a non-zero segment is in force
    uint64_t address = start;
    const uint64_t last = end;
    while (address <= last) {
        uint64_t left = last - address + 1;
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(16, left));
        uint32_t a = static_cast<uint32_t>(address);
        if (format == HexFormatIntel) {
            n = std::min<uint32_t>(n, 0x10000 - (a & 0xFFFF));
            if ((a >> 16) != upper) {
                upper = a >> 16;
                if (a < 0x100000) {
                    record = ":02000002";
                    PutHex(record, (a & 0xFFFF0000u) >> 4, 4);
                    AppendHexRecordChecksum(record, HexFormatIntel);
                    out += record;
                    segmentSet = upper != 0;
                } else {
                    if (segmentSet) { // a reader adds both bases: clear the segment first
                        out += ":020000020000FC\r\n";
                        segmentSet = false;
                    }
                    record = ":02000004";
                    PutHex(record, upper, 4);
                    AppendHexRecordChecksum(record, HexFormatIntel);
                    out += record;
                }
            }
            record = ":";
            PutHex(record, n, 2);
            PutHex(record, a & 0xFFFF, 4);
            record += "00";
        } else if (format == HexFormatMotorola) {
            record = "S3";
            PutHex(record, n + 5, 2);
            PutHex(record, a, 8);
        } else {
            record = "/";
            PutHex(record, a & 0xFFFF, 4);
            PutHex(record, n, 2);
            uint32_t headerCheck = 0;
            for (size_t i = 1; i < 7; ++i)
                headerCheck += DigitValue(record[i]);
            PutHex(record, headerCheck & 0xFF, 2);
        }
        for (uint32_t i = 0; i < n; ++i)
            PutHex(record, image[a + i], 2);
        AppendHexRecordChecksum(record, format);
        out += record;
        address += n;
        if (out.size() >= (1 << 16)) {
            if (!sink(out, static_cast<uint32_t>(address - start)))
                return false;
            out.clear();
        }
    }
    return sink(out, static_cast<uint32_t>(address - start));
}

bool FormatAsciiHex(const uint8_t* image, uint32_t start, uint32_t end, const HexTextSink& sink) {
    std::string out = "\x02\r\n";
    uint32_t sum = 0;
    uint64_t address = start;
    const uint64_t last = end;
    while (address <= last) {
        uint32_t a = static_cast<uint32_t>(address);
        char head[16];
        std::snprintf(head, sizeof head, "$%06lX,", static_cast<unsigned long>(a));
        out += head;
        for (uint32_t i = 0; i < 16; ++i) {
            uint8_t v = image[a + i];
            sum += v;
            PutHex(out, v, 2);
            out += i == 15 ? "\r\n" : " ";
        }
        address += 16;
        if (out.size() >= (1 << 16)) {
            if (!sink(out, static_cast<uint32_t>(std::min(address, last + 1) - start)))
                return false;
            out.clear();
        }
    }
    char tail[32];
    std::snprintf(tail, sizeof tail, "\x03\r\n$S%04lX,\r\n", static_cast<unsigned long>(sum));
    out += tail;
    return sink(out, static_cast<uint32_t>(std::min(address, last + 1) - start));
}

namespace {

// Writes the text pieces of a saver to the open file, moving the progress bar.
struct FileSink {
    std::FILE* file;
    uint64_t total;
    int shown = -1;
    bool operator()(const std::string& text, uint32_t done) {
        int position = static_cast<int>(done / (total / 98 + 1));
        if (position != shown) {
            SetProgressPosition(position);
            shown = position;
        }
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    }
};

// Creates the file; error 38 when it cannot be.
std::FILE* CreateDataFile(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr)
        ShowErrorByCode(38); // "Unable to open."
    return file;
}

// Closes a written file: -1 after "Disk write failure." when any write failed.
int FinishDataFile(std::FILE* file, bool written, uint64_t count) {
    bool ok = written && std::fflush(file) == 0 && !std::ferror(file);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        ShowErrorByCode(49); // "Disk write failure."
        return -1;
    }
    ShowMessageLine(" %lxh(%lu) byte saved.", static_cast<unsigned long>(count),
                    static_cast<unsigned long>(count));
    return 1;
}

// Saves start..end (the buffer grown to reach end) through `write`, which gets
// the file's sink and the byte count; the current bank is put back.
template <class Write> int SaveRangeToDataFile(const std::string& name, uint32_t start, uint32_t end, Write write) {
    const uint32_t bank = CurrentBank;
    if (end >= start && SelectBank(end, 1) != 1)
        return -1;
    std::FILE* file = CreateDataFile(name);
    if (file == nullptr) {
        SelectBank(bank << 16, 0);
        return -1;
    }
    const uint64_t count = end >= start ? uint64_t{end} - start + 1 : 0;
    FileSink sink{file, count};
    const bool written = write(sink, count);
    SelectBank(bank << 16, 0);
    return FinishDataFile(file, written, count);
}

} // namespace

int SaveHexFamilyFile(const std::string& name, uint32_t start, uint32_t end, int format) {
    if (format < HexFormatIntel || format > HexFormatTektronix) {
        ShowErrorByCode(47); // "Not supported."
        return -1;
    }
    // Tektronix records carry 16-bit addresses: higher bytes would wrap onto
    // bank 0 when the file is read back.
    if (format == HexFormatTektronix && end > 0xFFFF && end >= start) {
        ShowErrorByCode(47); // "Not supported."
        return -1;
    }
    return SaveRangeToDataFile(name, start, end, [&](FileSink& sink, uint64_t count) {
        bool written = count == 0 || FormatHexRecords(BufferImage(), start, end, format, std::ref(sink));
        if (written && format == HexFormatIntel) {
            std::string tail;
            // Configuration and ID words of the microcontroller rows that have them.
            if (HexConfigWriterFn writer = HooksOfRow(CurrentAlgorithm).HexConfigWriter)
                writer(tail);
            tail += ":00000001FF\r\n";
            written = sink(tail, static_cast<uint32_t>(count));
        }
        return written;
    });
}

int SaveAsciiHexFile(const std::string& name, uint32_t start, uint32_t end) {
    return SaveRangeToDataFile(name, start, end, [&](FileSink& sink, uint64_t count) {
        return count == 0 ? sink("\x02\r\n\x03\r\n$S0000,\r\n", 0)
                          : FormatAsciiHex(BufferImage(), start, end, std::ref(sink));
    });
}

void ResetHexFilesState() { HighestLoadAddress = 0; }
