#include "engine/HexFiles.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/DevicePlaces.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

uint32_t HighestLoadAddress = 0;

namespace {

// Character -> value of a hexadecimal digit; every other character maps to
// NotHex, so OR-ing the values of a field tells at once whether all were digits.
constexpr uint32_t NotHex = 0x10;
constexpr std::array<uint8_t, 256> HexTable = [] {
    std::array<uint8_t, 256> t{};
    for (auto& v : t)
        v = NotHex;
    for (int c = 0; c < 10; ++c)
        t['0' + c] = static_cast<uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        t['A' + c] = static_cast<uint8_t>(10 + c);
        t['a' + c] = static_cast<uint8_t>(10 + c);
    }
    return t;
}();

inline uint32_t Nibble(const char* p) { return HexTable[static_cast<uint8_t>(*p)]; }
inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// The text a record parser sees: the record's line starts at p and ends at a
// CR or LF (the last line of the input at a sentinel LF), and at least
// ReadAheadBytes readable characters follow the line's start. The parsers
// decode whole fields without looking for the line end first: a field that
// runs past it contains the CR or LF and so is not all digits.
constexpr size_t ReadAheadBytes = HexLineMax + 16;

// Decodes `count` digit pairs at p into out, adding their values to sum.
// Returns the OR of the digit values: above 15 when any was no digit.
inline uint32_t DecodePairs(const char* p, uint32_t count, uint8_t* out, uint32_t& sum) {
    uint32_t bad = 0;
    uint32_t s = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t hi = Nibble(p + 2 * i), lo = Nibble(p + 2 * i + 1);
        bad |= hi | lo;
        const uint32_t v = hi << 4 | lo;
        out[i] = static_cast<uint8_t>(v);
        s += v;
    }
    sum += s;
    return bad;
}

// Value of n digits at p; false when one is no digit.
inline bool Digits(const char* p, int n, uint32_t& value) {
    uint32_t v = 0, bad = 0;
    for (int i = 0; i < n; ++i) {
        const uint32_t d = Nibble(p + i);
        bad |= d;
        v = v << 4 | (d & 15);
    }
    value = v;
    return bad < NotHex;
}

// Value of the digit pair at p, or -1.
inline int Pair(const char* p) {
    uint32_t v = 0;
    return Digits(p, 2, v) ? static_cast<int>(v) : -1;
}

// Sum of the single digit values of `count` bytes.
inline uint32_t DigitSum(const uint8_t* bytes, uint32_t count) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += (bytes[i] >> 4) + (bytes[i] & 15u);
    return sum;
}

// Each parser returns how many characters from the line's start are known
// to lie before its end (at least 2).
size_t BadRecord(HexLoadState& state, size_t known) {
    ++state.BadRecords;
    return known;
}

// Buffer address of a record address (negative before File Offset).
int64_t BufferAddress(const HexLoadState& state, uint32_t recordAddress) {
    return int64_t{recordAddress} + state.Base - state.FileOffset + state.BufferOffset;
}

void StoreChecked(HexLoadState& state, uint32_t address, const uint8_t* bytes, uint32_t count) {
    if (CheckHexAddressLimit(state, address)) {
        StoreHexRecordBytes(state, bytes, count);
    } else if (BufferAddress(state, address) < 0) {
        state.BeforeStart += count;
    } else {
        state.PastBuffer += count;
    }
}

// ":" count(2) address(4) type(2) data checksum(2)
size_t ParseIntelHexRecord(HexLoadState& state, const char* line) {
    uint32_t count = 0, address = 0, type = 0;
    if (!Digits(line + 1, 2, count) || !Digits(line + 3, 4, address) || !Digits(line + 7, 2, type))
        return BadRecord(state, 2);
    uint8_t data[255];
    uint32_t sum = count + (address >> 8) + (address & 0xFF) + type;
    if (DecodePairs(line + 9, count, data, sum) >= NotHex)
        return BadRecord(state, 9);
    const size_t dataEnd = 9 + 2 * size_t{count};
    if ((type == 0x02 || type == 0x04) && count < 2)
        return BadRecord(state, dataEnd);
    const int check = Pair(line + dataEnd);
    ++state.Records;
    ++state.IntelRecords;
    if (check < 0 || ((sum + static_cast<uint32_t>(check)) & 0xFF) != 0)
        ++state.BadChecksums;
    switch (type) {
    case 0x00:
    case 0x20:
        StoreChecked(state, address, data, count);
        break;
    case 0x01:
        state.IntelEnd = true;
        break;
    case 0x02:
        state.Base = address + 16 * (uint32_t{data[0]} << 8 | data[1]);
        break;
    case 0x04:
        state.Base = (uint32_t{data[0]} << 8 | data[1]) << 16;
        break;
    default: // start addresses: nothing to store
        break;
    }
    return dataEnd;
}

// "S" type(1) count(2) address(4, 6 or 8) data checksum(2); the count covers
// address, data and checksum.
size_t ParseSRecord(HexLoadState& state, const char* line) {
    const char type = line[1];
    uint32_t count = 0;
    if (type < '0' || type > '9' || type == '4' || !Digits(line + 2, 2, count))
        return BadRecord(state, 2);
    if (type != '1' && type != '2' && type != '3') { // header, counts, start addresses
        ++state.Records;
        return 4;
    }
    const uint32_t addressBytes = static_cast<uint32_t>(type - '0') + 1;
    if (count < addressBytes + 1)
        return BadRecord(state, 4);
    const uint32_t dataBytes = count - (addressBytes + 1);
    uint8_t head[4];
    uint8_t data[255];
    uint32_t sum = count;
    if ((DecodePairs(line + 4, addressBytes, head, sum) |
         DecodePairs(line + 4 + 2 * addressBytes, dataBytes, data, sum)) >= NotHex)
        return BadRecord(state, 4);
    uint32_t address = 0;
    for (uint32_t i = 0; i < addressBytes; ++i)
        address = address << 8 | head[i];
    const size_t dataEnd = 4 + 2 * size_t{addressBytes + dataBytes};
    const int check = Pair(line + dataEnd);
    ++state.Records;
    if (check < 0 || ((sum + static_cast<uint32_t>(check)) & 0xFF) != 0xFF)
        ++state.BadChecksums;
    StoreChecked(state, address, data, dataBytes);
    return dataEnd;
}

// "/" address(4) count(2) header check(2) data data check(2); the checks are
// sums of the single digits. A record of count 0 ends the file.
size_t ParseTekHexRecord(HexLoadState& state, const char* line) {
    uint32_t address = 0, count = 0, headerCheck = 0;
    if (!Digits(line + 1, 4, address) || !Digits(line + 5, 2, count) || !Digits(line + 7, 2, headerCheck))
        return BadRecord(state, 2);
    uint8_t data[255];
    uint32_t sum = 0;
    if (DecodePairs(line + 9, count, data, sum) >= NotHex)
        return BadRecord(state, 9);
    uint32_t headerSum = 0;
    for (int i = 1; i < 7; ++i)
        headerSum += Nibble(line + i);
    bool checkOk = (headerSum & 0xFF) == headerCheck;
    const size_t dataEnd = 9 + 2 * size_t{count};
    if (count > 0) {
        const int dataCheck = Pair(line + dataEnd);
        checkOk = checkOk && dataCheck >= 0 && (DigitSum(data, count) & 0xFF) == static_cast<uint32_t>(dataCheck);
    }
    ++state.Records;
    if (!checkOk)
        ++state.BadChecksums;
    if (count > 0)
        StoreChecked(state, address, data, count);
    return dataEnd;
}

// "$" address "," then 16 bytes, each two digits and one separator (the last
// separator may be the end of the line).
size_t ParseAsciiHexLine(HexLoadState& state, const char* line) {
    size_t comma = 1;
    while (comma <= 9 && line[comma] != ',' && !IsLineEnd(line[comma]))
        ++comma;
    uint32_t address = 0;
    if (comma < 2 || comma > 9 || line[comma] != ',' ||
        !Digits(line + 1, static_cast<int>(comma - 1), address))
        return BadRecord(state, 2);
    const char* text = line + comma + 1;
    uint8_t data[16];
    uint32_t bad = 0, sum = 0;
    for (int i = 0; i < 16; ++i) {
        bad |= DecodePairs(text + 3 * i, 1, data + i, sum);
        if (i < 15 && IsLineEnd(text[3 * i + 2]))
            bad |= NotHex;
    }
    if (bad >= NotHex)
        return BadRecord(state, comma + 1);
    ++state.Records;
    StoreChecked(state, address, data, 16);
    return comma + 1 + 47;
}

// Parses the line at p; returns its end (the CR or LF).
const char* ParseHexFamilyLine(HexLoadState& state, const char* p) {
    if (IsLineEnd(p[0]))
        return p;
    size_t known = 1;
    if (Nibble(p + 1) < NotHex) {
        switch (p[0]) {
        case ':':
            known = ParseIntelHexRecord(state, p);
            break;
        case 'S':
            known = ParseSRecord(state, p);
            break;
        case '/':
            known = ParseTekHexRecord(state, p);
            break;
        case '$':
            known = ParseAsciiHexLine(state, p);
            break;
        default:
            known = 2;
            break;
        }
    }
    const char* end = p + known;
    while (!IsLineEnd(*end))
        ++end;
    return end;
}

// Parses text read piece by piece from `read` (which fills up to n bytes and
// returns how many, 0 at the end). Each piece is parsed up to its last line
// end; the unfinished line is kept for the next. `progress` gets the count
// of bytes parsed. False when a line is longer than HexLineMax.
template <class Read, class Progress>
bool ParseHexPieces(HexLoadState& state, Read read, Progress progress) {
    std::unique_ptr<char[]> text(new char[HexLineMax + HexReadChunkBytes + ReadAheadBytes]);
    char* buf = text.get();
    size_t kept = 0;
    uint64_t done = 0;
    for (;;) {
        const size_t got = read(buf + kept, HexReadChunkBytes);
        const size_t n = kept + got;
        const bool last = got == 0;
        // Read-ahead past the text, and the sentinel end of its last line.
        std::memset(buf + n, '\n', ReadAheadBytes);
        size_t cut = n;
        if (!last) {
            const size_t floor = n > HexLineMax + 1 ? n - HexLineMax - 1 : 0;
            while (cut > floor && !IsLineEnd(buf[cut - 1]))
                --cut;
            if (n - cut > HexLineMax) {
                state.LineTooLong = true;
                return false;
            }
        }
        const char* p = buf;
        const char* end = buf + cut;
        while (p < end) {
            const char* lineEnd = ParseHexFamilyLine(state, p);
            if (static_cast<size_t>(lineEnd - p) > HexLineMax) {
                state.LineTooLong = true;
                return false;
            }
            p = lineEnd + 1;
        }
        done += cut;
        progress(done);
        if (last)
            return true;
        kept = n - cut;
        std::memmove(buf, buf + cut, kept);
    }
}

} // namespace

void HexImage::Store(uint32_t address, const uint8_t* data, uint32_t count) {
    end_ = std::max(end_, address + count);
    while (count > 0) {
        const size_t p = address / PageBytes;
        if (p >= pages_.size())
            pages_.resize(p + 1);
        if (!pages_[p])
            pages_[p].reset(new Page); // data left unset: only the mask is read first
        Page& page = *pages_[p];
        const uint32_t at = address % PageBytes;
        const uint32_t n = std::min(count, PageBytes - at);
        std::memcpy(page.Data + at, data, n);
        for (uint32_t i = at; i < at + n;) {
            const uint32_t bit = i & 63, bits = std::min(64 - bit, at + n - i);
            page.Mask[i >> 6] |= (bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1) << bit;
            i += bits;
        }
        address += n;
        data += n;
        count -= n;
    }
}

uint32_t HexImage::NextMarked(const Page& page, uint32_t i, bool set) {
    while (i < PageBytes) {
        // Bits from i on, a set bit for what is looked for; the zeros shifted
        // in at the top send the search on to the next word.
        const uint64_t word = set ? page.Mask[i >> 6] : ~page.Mask[i >> 6];
        const uint64_t from = word >> (i & 63);
        if (from != 0)
            return i + static_cast<uint32_t>(std::countr_zero(from));
        i = (i | 63) + 1;
    }
    return PageBytes;
}

bool CheckHexAddressLimit(HexLoadState& state, uint32_t recordAddress) {
    const int64_t address = BufferAddress(state, recordAddress);
    if (address < 0 || static_cast<uint64_t>(address) >= state.BufferBytes)
        return false;
    state.RecordAddress = static_cast<uint32_t>(address);
    return true;
}

void StoreHexRecordBytes(HexLoadState& state, const uint8_t* bytes, uint32_t count) {
    const uint64_t room = state.BufferBytes > state.RecordAddress ? state.BufferBytes - state.RecordAddress : 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, room));
    state.PastBuffer += count - n;
    if (n == 0)
        return;
    state.Image.Store(state.RecordAddress, bytes, n);
    state.LoadedCount += n;
    state.HighestAddress = std::max(state.HighestAddress, state.RecordAddress + n);
}

void ParseHexFamilyText(HexLoadState& state, const uint8_t* data, size_t size) {
    size_t at = 0;
    ParseHexPieces(
        state,
        [&](char* to, size_t room) {
            const size_t n = std::min(room, size - at);
            if (n > 0)
                std::memcpy(to, data + at, n);
            at += n;
            return n;
        },
        [](uint64_t) {});
}

namespace {

// A well-formed Intel record line: ':' count address type (00-05), the
// count's data pairs and the checksum, all digits; the types other than data
// with the count of their kind.
bool IsIntelRecordLine(const uint8_t* p, size_t n) {
    uint32_t count = 0, type = 0;
    if (n < 11 || p[0] != ':' || n > 11 + 2 * 255)
        return false;
    const char* c = reinterpret_cast<const char*>(p);
    constexpr uint32_t typeCount[6] = {0, 0, 2, 4, 2, 4};
    if (!Digits(c + 1, 2, count) || !Digits(c + 7, 2, type) || type > 5 || (type > 0 && count != typeCount[type]) ||
        n != 11 + 2 * size_t{count})
        return false;
    uint32_t bad = 0;
    for (size_t i = 3; i < n; ++i)
        bad |= Nibble(c + i);
    return bad < NotHex;
}

// A well-formed S-record line: 'S', a type with an address, the count, then
// exactly the count's pairs (address, data, checksum), all digits.
bool IsSRecordLine(const uint8_t* p, size_t n) {
    if (n < 4 || p[0] != 'S' || p[1] < '0' || p[1] > '9' || p[1] == '4' || n > 4 + 2 * 255)
        return false;
    const char* c = reinterpret_cast<const char*>(p);
    // Address bytes: 2 (S0 S1 S5 S9), 3 (S2 S6 S8), 4 (S3 S7).
    constexpr uint8_t addressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    uint32_t count = 0;
    if (!Digits(c + 2, 2, count) || count < addressBytes[p[1] - '0'] + 1u || n != 4 + 2 * size_t{count})
        return false;
    uint32_t bad = 0;
    for (size_t i = 4; i < n; ++i)
        bad |= Nibble(c + i);
    return bad < NotHex;
}

} // namespace

HexRecordText DetectHexRecordText(const uint8_t* data, size_t size) {
    bool intel = false, motorola = false;
    size_t at = 0;
    while (at < size) {
        // The line from `at` to its CR or LF (or the end of the data); no
        // record is longer than 521 characters, so the search is bounded.
        constexpr size_t longest = 11 + 2 * 255;
        const size_t limit = std::min(size, at + longest + 1);
        size_t end = at;
        while (end < limit && data[end] != '\n' && data[end] != '\r')
            ++end;
        const size_t n = end - at;
        if (n > longest)
            return HexRecordText::None;
        bool blank = true;
        for (size_t i = at; i < end && blank; ++i)
            blank = data[i] == ' ' || data[i] == '\t';
        if (!blank) {
            if (IsIntelRecordLine(data + at, n)) {
                intel = true;
            } else if (IsSRecordLine(data + at, n)) {
                motorola = true;
            } else {
                return HexRecordText::None;
            }
            if (intel && motorola)
                return HexRecordText::None;
        }
        at = end + 1;
    }
    return intel ? HexRecordText::Intel : motorola ? HexRecordText::Motorola : HexRecordText::None;
}

namespace {

// The record bytes a load left out: past the buffer's last byte always,
// before File Offset only when nothing was stored (else the offset skipped
// them as asked).
void ShowBytesNotLoaded(const HexLoadState& state, bool nothingStored) {
    if (state.PastBuffer > 0)
        ShowMessageLine(" %llxh(%llu) byte(s) past the buffer's last byte %llXh not loaded.",
                        static_cast<unsigned long long>(state.PastBuffer),
                        static_cast<unsigned long long>(state.PastBuffer),
                        static_cast<unsigned long long>(state.BufferBytes - 1));
    if (nothingStored && state.BeforeStart > 0)
        ShowMessageLine(" %llxh(%llu) byte(s) before File Offset %lXh not loaded.",
                        static_cast<unsigned long long>(state.BeforeStart),
                        static_cast<unsigned long long>(state.BeforeStart),
                        static_cast<unsigned long>(state.FileOffset));
}

int LoadHexFamilyFileMovingProgress(const std::string& name, uint32_t fileOffset, uint32_t bufferOffset) {
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
    const uint64_t capacity = BufferImageCapacity();
    state.BufferBytes = capacity != 0 ? capacity : BufferBankBytes;
    int shown = -1;
    const uint64_t perStep = fileSize / 90 + 1;
    const bool complete = ParseHexPieces(
        state, [file](char* to, size_t room) { return std::fread(to, 1, room, file); },
        [&](uint64_t done) {
            const int position = static_cast<int>(done / perStep);
            if (position != shown) {
                SetProgressPosition(position);
                shown = position;
            }
        });
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) {
        ShowErrorByCode(39); // "Disk read failure."
        return -1;
    }
    if (!complete || state.Records == 0) {
        ShowErrorByCode(42); // "File type invalid."
        return -1;
    }

    if (state.BadRecords > 0)
        ShowMessageLine("%s (%lu record(s))", ErrorTextByCode(58).c_str(),
                        static_cast<unsigned long>(state.BadRecords));
    if (state.BadChecksums > 0)
        ShowMessageLine("%s (%lu record(s))", ErrorTextByCode(56).c_str(),
                        static_cast<unsigned long>(state.BadChecksums));
    if (state.Image.Empty()) {
        // Nothing to store: say so and leave the buffer (and the file name) as they were.
        ShowMessageLine("0h(0) byte(s) loaded.");
        ShowBytesNotLoaded(state, true);
        ShowMessageLine("No byte loaded: the buffer is unchanged.");
        return -1;
    }

    // The file is good: make room, clear if asked, then store.
    if (SelectBank(state.Image.EndAddress() - 1, 1) != 1)
        return -1; // the buffer cannot grow that far (already reported)
    if (BufferClearBeforeLoad)
        FillBufferRange(0, BankCount * BufferBankBytes - 1, FillByte);
    uint8_t* image = BufferImage();
    state.Image.ForEachRun([image](uint32_t address, const uint8_t* data, uint32_t length) {
        std::copy(data, data + length, image + address);
    });
    SelectBank(0, 0);
    HighestLoadAddress = std::max(HighestLoadAddress, state.HighestAddress);

    ShowMessageLine("%lxh(%lu) byte(s) loaded.", static_cast<unsigned long>(state.LoadedCount),
                    static_cast<unsigned long>(state.LoadedCount));
    // Every Intel writer ends its file with an end record; a file cut at a
    // line end shows no bad record, only the missing end.
    if (state.IntelRecords > 0 && !state.IntelEnd)
        ShowMessageLine(" Warning: no end record (:00000001FF); the file may be cut short.");
    ShowBytesNotLoaded(state, false);
    std::vector<StoredSpan> stored;
    state.Image.ForEachRun([&stored](uint32_t address, const uint8_t*, uint32_t length) {
        if (!stored.empty() && stored.back().To == address)
            stored.back().To += length;
        else
            stored.push_back({address, uint64_t{address} + length});
    });
    WarnBytesOutsideDevice(stored, bufferOffset);
    return 1;
}

} // namespace

int LoadHexFamilyFile(const std::string& name, uint32_t fileOffset, uint32_t bufferOffset) {
    const int result = LoadHexFamilyFileMovingProgress(name, fileOffset, bufferOffset);
    // The bar moved with the file read; it ends full after a load and
    // cleared after a failed one, as after an operation.
    if (result == 1) {
        SetProgressPosition(100);
    } else {
        ResetProgress();
    }
    return result;
}

namespace {

// "%02X" of every byte value.
constexpr std::array<char, 512> HexPairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> t{};
    for (int v = 0; v < 256; ++v) {
        t[2 * v] = digits[v >> 4];
        t[2 * v + 1] = digits[v & 15];
    }
    return t;
}();

inline char* PutPair(char* w, uint32_t v) {
    std::memcpy(w, &HexPairs[2 * (v & 0xFF)], 2);
    return w + 2;
}

// "%0*X" of the low `digits` digits of value (digits even).
inline char* PutHex(char* w, uint32_t value, int digits) {
    for (int d = digits - 2; d >= 0; d -= 2)
        w = PutPair(w, value >> (4 * d));
    return w;
}

void PutHex(std::string& out, uint32_t value, int digits) {
    char text[8];
    out.append(text, static_cast<size_t>(PutHex(text, value, digits) - text));
}

// Value of a digit of our own record text; 0 for anything else.
uint32_t DigitValue(char c) {
    const uint32_t d = Nibble(&c);
    return d < NotHex ? d : 0;
}

// Sum of the byte pairs from pos, as far as the line goes.
uint32_t SumPairs(std::string_view line, size_t pos) {
    uint32_t sum = 0;
    for (size_t i = pos; i + 1 < line.size(); i += 2)
        sum += DigitValue(line[i]) << 4 | DigitValue(line[i + 1]);
    return sum;
}

// Sum of the single digits from pos.
uint32_t SumDigits(std::string_view line, size_t pos) {
    uint32_t sum = 0;
    for (size_t i = pos; i < line.size(); ++i)
        sum += DigitValue(line[i]);
    return sum;
}

// Sum of the single digit values of the low `digits` digits of value.
uint32_t DigitSumOf(uint32_t value, int digits) {
    uint32_t sum = 0;
    for (int d = 0; d < digits; ++d)
        sum += value >> (4 * d) & 15;
    return sum;
}

// Text is handed to the sink in pieces of about this size.
constexpr size_t SinkPieceBytes = 1 << 20;

} // namespace

void AppendHexRecordChecksum(std::string& line, int format) {
    uint32_t value = 0;
    switch (format) {
    case HexFormatIntel:
        value = 0x100 - (SumPairs(line, 1) & 0xFF);
        break;
    case HexFormatMotorola:
        value = ~SumPairs(line, 2);
        break;
    case HexFormatTektronix:
        value = SumDigits(line, 9);
        break;
    default:
        break;
    }
    PutHex(line, value & 0xFF, 2);
    line += "\r\n";
}

namespace {

// One data record of n bytes at buffer address a, written at w; returns the
// end of its text (CR LF included).
template <int Format> inline char* PutDataRecord(char* w, const uint8_t* data, uint32_t a, uint32_t n) {
    uint32_t sum = 0;
    if constexpr (Format == HexFormatIntel) {
        *w++ = ':';
        w = PutPair(w, n);
        w = PutHex(w, a, 4);
        w = PutPair(w, 0);
        sum = n + (a >> 8 & 0xFF) + (a & 0xFF);
    } else if constexpr (Format == HexFormatMotorola) {
        *w++ = 'S';
        *w++ = '3';
        w = PutPair(w, n + 5);
        w = PutHex(w, a, 8);
        sum = n + 5 + (a >> 24) + (a >> 16 & 0xFF) + (a >> 8 & 0xFF) + (a & 0xFF);
    } else {
        *w++ = '/';
        w = PutHex(w, a, 4);
        w = PutPair(w, n);
        w = PutPair(w, DigitSumOf(a, 4) + DigitSumOf(n, 2));
    }
    for (uint32_t i = 0; i < n; ++i) {
        w = PutPair(w, data[i]);
        sum += Format == HexFormatTektronix ? (data[i] >> 4) + (data[i] & 15u) : data[i];
    }
    w = PutPair(w, Format == HexFormatIntel ? 0x100 - (sum & 0xFF) : Format == HexFormatMotorola ? ~sum : sum);
    *w++ = '\r';
    *w++ = '\n';
    return w;
}

template <int Format>
bool FormatRecords(const uint8_t* image, uint32_t start, uint32_t end, const HexTextSink& sink) {
    std::string out(SinkPieceBytes + 1024, '\0');
    char* const begin = out.data();
    char* w = begin;
    std::string record;
    // What a reader's base holds so far: Intel readers start at 0.
    uint32_t upper = 0;      // address >> 16 the base currently gives
    bool segmentSet = false; // an 02 record with a non-zero segment is in force
    uint64_t address = start;
    const uint64_t last = end;
    while (address <= last) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(16, last - address + 1));
        const uint32_t a = static_cast<uint32_t>(address);
        if (Format == HexFormatIntel) {
            n = std::min<uint32_t>(n, 0x10000 - (a & 0xFFFF));
            if ((a >> 16) != upper) {
                upper = a >> 16;
                if (a < 0x100000) {
                    record = ":02000002";
                    PutHex(record, (a & 0xFFFF0000u) >> 4, 4);
                    segmentSet = upper != 0;
                } else {
                    if (segmentSet) { // a reader adds both bases: clear the segment first
                        constexpr std::string_view clear = ":020000020000FC\r\n";
                        w = std::copy(clear.begin(), clear.end(), w);
                        segmentSet = false;
                    }
                    record = ":02000004";
                    PutHex(record, upper, 4);
                }
                AppendHexRecordChecksum(record, HexFormatIntel);
                w = std::copy(record.begin(), record.end(), w);
            }
        }
        // Whole records of 16 bytes take the unrolled form.
        w = n == 16 ? PutDataRecord<Format>(w, image + a, a, 16) : PutDataRecord<Format>(w, image + a, a, n);
        address += n;
        if (static_cast<size_t>(w - begin) >= SinkPieceBytes) {
            if (!sink(std::string_view(begin, static_cast<size_t>(w - begin)), static_cast<uint32_t>(address - start)))
                return false;
            w = begin;
        }
    }
    return sink(std::string_view(begin, static_cast<size_t>(w - begin)), static_cast<uint32_t>(address - start));
}

} // namespace

bool FormatHexRecords(const uint8_t* image, uint32_t start, uint32_t end, int format,
                      const HexTextSink& sink) {
    switch (format) {
    case HexFormatIntel:
        return FormatRecords<HexFormatIntel>(image, start, end, sink);
    case HexFormatMotorola:
        return FormatRecords<HexFormatMotorola>(image, start, end, sink);
    default:
        return FormatRecords<HexFormatTektronix>(image, start, end, sink);
    }
}

bool FormatAsciiHex(const uint8_t* image, uint32_t start, uint32_t end, const HexTextSink& sink) {
    std::string out = "\x02\r\n";
    uint32_t sum = 0;
    uint64_t address = start;
    const uint64_t last = end;
    while (address <= last) {
        uint32_t a = static_cast<uint32_t>(address);
        char line[64];
        int n = std::snprintf(line, sizeof line, "$%06lX,", static_cast<unsigned long>(a));
        char* w = line + n;
        for (uint32_t i = 0; i < 16; ++i) {
            uint8_t v = image[a + i];
            sum += v;
            w = PutPair(w, v);
            *w++ = ' ';
        }
        w[-1] = '\r';
        *w++ = '\n';
        out.append(line, static_cast<size_t>(w - line));
        address += 16;
        if (out.size() >= SinkPieceBytes) {
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
    bool operator()(std::string_view text, uint32_t done) {
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
