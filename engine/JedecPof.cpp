#include "engine/JedecPof.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/Tables.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The four hexadecimal digits from text[at] on (the caller has checked that
// they are there); false when one is no digit.
bool ReadFourHexDigits(std::string_view text, size_t at, uint32_t& value) {
    uint32_t v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int d = HexNibble(text[i]);
        if (d < 0)
            return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    value = v;
    return true;
}

void PutBit(uint8_t* map, size_t mapBytes, uint64_t n, bool set) {
    if (n / 8 >= mapBytes)
        return;
    if (set)
        map[n / 8] |= static_cast<uint8_t>(1u << (n % 8));
    else
        map[n / 8] &= static_cast<uint8_t>(~(1u << (n % 8)));
}

// Visits the fields of a JEDEC text: fn(letter position, field end), the
// field end being its '*' or the end of the text. Fields start after a '*';
// the letter is the first character after blanks and further '*'. The text
// before the first '*' (the free-text header) is no field.
template <typename Fn> void ForEachJedecField(std::string_view text, Fn fn) {
    size_t pos = text.find('*');
    while (pos != std::string_view::npos) {
        size_t letter = pos + 1;
        while (letter < text.size() && (IsBlank(text[letter]) || text[letter] == '*'))
            ++letter;
        if (letter >= text.size())
            return;
        size_t end = text.find('*', letter);
        if (end == std::string_view::npos)
            end = text.size();
        if (!fn(letter, end))
            return;
        pos = end < text.size() ? end : std::string_view::npos;
    }
}

// Reads whole files of at most FuseFileMaxBytes; error 38, 43 or 39.
bool ReadWholeFile(const std::string& name, std::vector<uint8_t>& data) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        ShowErrorByCode(38); // "Unable to open."
        return false;
    }
    data.clear();
    uint8_t chunk[1 << 15];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (data.size() + n > FuseFileMaxBytes) {
            std::fclose(file);
            ShowErrorByCode(43); // "File is too large."
            return false;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        ShowErrorByCode(39); // "Disk read failure."
        return false;
    }
    return true;
}

// Writes text to a new file: error 38 when it cannot be created, 49 when a
// write fails.
int WriteWholeFile(const std::string& name, const void* data, size_t size) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        ShowErrorByCode(38); // "Unable to open."
        return -1;
    }
    bool ok = std::fwrite(data, 1, size, file) == size;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        ShowErrorByCode(49); // "Disk write failure."
        return -1;
    }
    return 1;
}

uint32_t PinCountOfDevice() { return PackageRow(PackageIndex).PinCount; }

} // namespace

bool IsBinaryDigit(char c) { return c == '0' || c == '1'; }

void ScanJedecBitField(std::string_view text, uint8_t* map, size_t mapBytes, uint32_t base, char letter) {
    bool afterQf = false;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (!afterQf) {
            afterQf = text[at] == 'Q' && at + 1 < end && text[at + 1] == 'F';
            return true;
        }
        if (text[at] != letter)
            return true;
        // Check the whole field first: another character abandons it.
        for (size_t i = at + 1; i < end; ++i)
            if (!IsBinaryDigit(text[i]) && !IsBlank(text[i]))
                return true;
        uint64_t fuse = base;
        for (size_t i = at + 1; i < end; ++i)
            if (IsBinaryDigit(text[i]))
                PutBit(map, mapBytes, fuse++, text[i] == '1');
        return true;
    });
}

bool FindJedecChecksumField(std::string_view text, uint32_t& value) {
    bool found = false;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] != 'C' || end - at < 5 || (end == text.size() && end == at + 5))
            return true; // not a checksum field, or four digits and no terminator
        uint32_t v = 0;
        if (!ReadFourHexDigits(text, at + 1, v))
            return true;
        for (size_t i = at + 5; i < end; ++i)
            if (!IsBlank(text[i]))
                return true;
        value = v;
        found = true;
        return false;
    });
    return found;
}

uint32_t ReadJedecChecksumField(std::string_view text) {
    uint32_t value = 0;
    return FindJedecChecksumField(text, value) ? value : 0;
}

bool ReadJedecTransmissionChecksum(std::string_view text, uint32_t& field, uint32_t& sum) {
    const size_t stx = text.find('\x02');
    if (stx == std::string_view::npos)
        return false;
    const size_t etx = text.find('\x03', stx);
    if (etx == std::string_view::npos || text.size() - etx < 5)
        return false;
    uint32_t value = 0;
    if (!ReadFourHexDigits(text, etx + 1, value))
        return false;
    uint32_t total = 0;
    for (size_t i = stx; i <= etx; ++i)
        total += static_cast<uint8_t>(text[i]) & 0x7Fu; // the parity bit is no part of it
    field = value;
    sum = total & 0xFFFF;
    return true;
}

uint32_t JedecFuseSum(const uint8_t* map, uint32_t fuseCount) {
    uint32_t sum = 0;
    for (uint32_t b = 0; b < fuseCount / 8; ++b)
        sum += map[b];
    if (fuseCount % 8)
        sum += map[fuseCount / 8] & ((1u << (fuseCount % 8)) - 1);
    return sum & 0xFFFF;
}

namespace {

// The number of the first "Q<kind>" field (blanks around it allowed); false
// when the text has none.
bool ReadJedecQField(std::string_view text, char kind, uint64_t& count) {
    bool found = false;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] != 'Q' || at + 1 >= end || text[at + 1] != kind)
            return true;
        size_t i = at + 2;
        while (i < end && IsBlank(text[i]))
            ++i;
        uint64_t value = 0;
        size_t digits = 0;
        while (i < end && text[i] >= '0' && text[i] <= '9') {
            if (++digits > 10)
                return true; // no count that large
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            ++i;
        }
        while (i < end && IsBlank(text[i]))
            ++i;
        if (digits == 0 || i != end)
            return true; // not a number
        count = value;
        found = true;
        return false;
    });
    return found;
}

// The symbols of a "V" field from its letter at `at` to `end`: first and
// one past the last; empty when the field has no vector number.
std::pair<size_t, size_t> JedecVectorSymbols(std::string_view text, size_t at, size_t end) {
    size_t i = at + 1;
    size_t digits = 0;
    while (i < end && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (digits == 0)
        return {end, end};
    while (i < end && IsBlank(text[i]))
        ++i;
    size_t last = i;
    while (last < end && !IsBlank(text[last]))
        ++last;
    return {i, last};
}

bool OnlyBlanks(std::string_view text) { return std::all_of(text.begin(), text.end(), IsBlank); }

// The opening of a field from its letter to the first blank, at most 24
// characters of it (then "...").
std::string FieldOpening(std::string_view text, size_t at, size_t end) {
    size_t last = at;
    while (last < end && !IsBlank(text[last]))
        ++last;
    if (last - at <= 24)
        return std::string(text.substr(at, last - at));
    return std::string(text.substr(at, 24)) + "...";
}

// The letter of the field the text ends inside: the first character after
// the last '*' that is neither a blank nor a DOS end-of-file mark; 0 when
// none.
char OpenFieldAtEnd(std::string_view text) {
    const size_t star = text.rfind('*');
    if (star == std::string_view::npos)
        return 0; // no field at all (a text without "L" fields is refused)
    for (size_t i = star + 1; i < text.size(); ++i)
        if (!IsBlank(text[i]) && text[i] != '\x1A')
            return text[i];
    return 0;
}

} // namespace

bool ReadJedecFuseCountField(std::string_view text, uint64_t& count) { return ReadJedecQField(text, 'F', count); }

bool ReadJedecPinCountField(std::string_view text, uint64_t& count) { return ReadJedecQField(text, 'P', count); }

void ReadJedecVectors(std::string_view text, uint32_t pinCount, size_t capacity, std::string& vectors) {
    vectors.clear();
    if (pinCount == 0)
        return;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] != 'V')
            return true;
        const auto [first, last] = JedecVectorSymbols(text, at, end);
        if (first == last || vectors.size() + pinCount >= capacity || capacity < 2)
            return true;
        const size_t taken = std::min<size_t>(last - first, pinCount);
        vectors.append(text.substr(first, taken));
        vectors.append(pinCount - taken, 'X');
        return true;
    });
}

uint32_t LongestJedecVector(std::string_view text) {
    size_t longest = 0;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] == 'V') {
            const auto [first, last] = JedecVectorSymbols(text, at, end);
            longest = std::max(longest, last - first);
        }
        return true;
    });
    return static_cast<uint32_t>(std::min<size_t>(longest, UINT32_MAX));
}

std::string_view JedecFieldText(std::string_view text) {
    const size_t stx = text.find('\x02');
    const size_t etx = text.find('\x03', stx == std::string_view::npos ? 0 : stx);
    return etx == std::string_view::npos ? text : text.substr(0, etx);
}

int ParseJedecText(std::string_view file, const JedecLayout& layout, uint8_t* map, size_t mapBytes,
                   std::string& vectors, uint32_t& fileChecksum, JedecFindings* findings) {
    JedecFindings found;
    const std::string_view text = JedecFieldText(file);
    found.Stx = file.find('\x02') != std::string_view::npos;
    found.Etx = text.size() < file.size();
    found.OpenField = OpenFieldAtEnd(text);

    const size_t mapEnd = std::min<size_t>(size_t{layout.FuseCount} / 8 + 1, mapBytes);
    std::memset(map, 0, mapEnd);

    // The default state of fuses the file does not list.
    bool defaultSet = false;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] != 'F')
            return true;
        size_t i = at + 1;
        while (i < end && IsBlank(text[i]))
            ++i;
        defaultSet = i < end && text[i] == '1';
        return false;
    });
    if (defaultSet)
        std::memset(map, 0xFF, mapEnd);

    // The fuses the file sets, as its "C" field sums them: all its QF fuses,
    // also those past the device's map (set by default F1).
    uint64_t fileFuses = layout.FuseCount;
    ReadJedecFuseCountField(text, fileFuses);
    std::vector<uint8_t> fileMap;
    if (findings != nullptr && fileFuses > 0 && fileFuses <= uint64_t{mapBytes} * 8)
        fileMap.assign(static_cast<size_t>((fileFuses + 7) / 8), defaultSet ? 0xFF : 0x00);

    bool anyRow = false;
    bool badDigit = false;
    bool badNumber = false;
    uint64_t pastMap = UINT64_MAX; // the first fuse set past the device's map
    const uint64_t mapBits = uint64_t{mapBytes} * 8;
    ForEachJedecField(text, [&](size_t at, size_t end) {
        if (text[at] != 'L')
            return true;
        anyRow = true;
        size_t i = at + 1;
        uint64_t fuse = 0;
        size_t digits = 0;
        size_t significant = 0; // digits after the leading zeros
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
            ++digits;
            if (significant > 0 || text[i] != '0')
                ++significant;
            if (significant <= 10)
                fuse = fuse * 10 + static_cast<uint64_t>(text[i] - '0');
        }
        if (digits == 0 || significant > 10 || (i < end && !IsBlank(text[i]))) {
            // A file cut off right after an "L" has no field there yet: the
            // cut-file warning tells of it.
            if (digits == 0 && end == text.size() && OnlyBlanks(text.substr(at + 1)))
                return true;
            // Refused, not skipped: its fuses would keep their default unseen.
            badNumber = true;
            found.BadNumberField = FieldOpening(text, at, end);
            return false;
        }
        for (; i < end; ++i) {
            const char c = text[i];
            if (IsBlank(c))
                continue;
            if (!IsBinaryDigit(c)) {
                // Skipped, it would move every later fuse of the field.
                badDigit = true;
                found.BadDigitFuse = fuse;
                found.BadDigit = c;
                return false;
            }
            if (c == '1' && layout.FuseCount != 0 && fuse >= layout.FuseCount) {
                pastMap = std::min(pastMap, fuse);
                return true;
            }
            if (fuse >= mapBits)
                return true;
            if (defaultSet) {
                if (c == '0') {
                    PutBit(map, mapBytes, fuse, false);
                    PutBit(fileMap.data(), fileMap.size(), fuse, false);
                }
            } else if (c == '1') {
                PutBit(map, mapBytes, fuse, true);
                PutBit(fileMap.data(), fileMap.size(), fuse, true);
            }
            ++fuse;
        }
        return true;
    });
    const auto give = [&](int result) {
        if (findings != nullptr)
            *findings = found;
        return result;
    };
    if (!anyRow)
        return give(JedecNoFuseRows);
    if (badNumber)
        return give(JedecBadFuseNumber);
    if (badDigit)
        return give(JedecBadFuseDigit);
    if (pastMap != UINT64_MAX) {
        found.PastMapFuse = pastMap;
        return give(JedecFusePastMap);
    }

    if (!fileMap.empty())
        found.FuseSum = JedecFuseSum(fileMap.data(), static_cast<uint32_t>(fileFuses));
    if (layout.EFieldFuse >= 0)
        ScanJedecBitField(text, map, mapBytes, static_cast<uint32_t>(layout.EFieldFuse), 'E');
    if (layout.UFieldFuse >= 0)
        ScanJedecBitField(text, map, mapBytes, static_cast<uint32_t>(layout.UFieldFuse), 'U');
    // The vectors keep the file's pin count: read by another, each would
    // drive its pins with the symbols of other pins.
    uint64_t qp = 0;
    if (ReadJedecPinCountField(text, qp) && qp > 0 && qp < layout.VectorCapacity) {
        found.VectorPins = static_cast<uint32_t>(qp);
        found.VectorPinsFromQp = true;
    } else {
        found.VectorPins = static_cast<uint32_t>(std::min<size_t>(LongestJedecVector(text), layout.VectorCapacity));
    }
    ReadJedecVectors(text, found.VectorPins, layout.VectorCapacity, vectors);
    fileChecksum = ReadJedecChecksumField(text);
    return give(JedecOk);
}

uint32_t CountSetBufferBits() {
    uint32_t fuses = std::min<uint32_t>(DeviceSize, BufferWindowBytes * 8);
    const uint8_t* map = FuseMap();
    uint32_t count = 0;
    for (uint32_t b = 0; b < fuses / 8; ++b)
        count += static_cast<uint32_t>(__builtin_popcount(map[b]));
    if (fuses % 8)
        count += static_cast<uint32_t>(__builtin_popcount(map[fuses / 8] & ((1u << (fuses % 8)) - 1)));
    return count;
}

std::string FormatFuseBits(uint32_t first, uint32_t count, char letter) {
    std::string text(1, letter);
    for (uint64_t n = first; n < uint64_t{first} + count; ++n)
        text += n < uint64_t{BufferWindowBytes} * 8 && GetBufferBit(static_cast<uint32_t>(n)) ? '1' : '0';
    text += "*\n";
    return text;
}

namespace {

// A character of the file as a line names it: itself (in quotes when
// asked), or its code when it is no printable one.
std::string CharacterText(char c, bool quoted) {
    char text[8];
    if (c > ' ' && c < 0x7F)
        std::snprintf(text, sizeof text, quoted ? "'%c'" : "%c", c);
    else
        std::snprintf(text, sizeof text, "%02Xh", static_cast<unsigned>(static_cast<uint8_t>(c)));
    return text;
}

} // namespace

int LoadJedecFile(const std::string& name, uint32_t& fileChecksum, uint32_t& blowCount) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(name, data))
        return -1;
    const RowHooks& hooks = HooksOfRow(CurrentAlgorithm);
    JedecLayout layout;
    layout.FuseCount = DeviceSize;
    layout.EFieldFuse = hooks.JedecEFieldFuse;
    layout.UFieldFuse = hooks.JedecUFieldFuse;
    layout.VectorCapacity = TestVectorBufferBytes - 2;
    std::vector<uint8_t> map(FuseMap(), FuseMap() + BufferWindowBytes);
    std::string vectors;
    uint32_t checksum = 0;
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    JedecFindings found;
    // A file made for another device (or another PAL type) still loads as
    // before; the user is told the counts differ.
    uint64_t fileFuses = 0;
    if (ReadJedecFuseCountField(JedecFieldText(text), fileFuses) && fileFuses != DeviceSize)
        ShowMessageLine(" The file has %llu fuses (QF); the device has %lu.", static_cast<unsigned long long>(fileFuses),
                        static_cast<unsigned long>(DeviceSize));
    const int parsed = ParseJedecText(text, layout, map.data(), map.size(), vectors, checksum, &found);
    if (parsed == JedecFusePastMap) {
        // The device has no such fuse: programming would drop it unseen.
        ShowMessageLine(" The file sets fuse %llu; the device has fuses 0 to %lu only.",
                        static_cast<unsigned long long>(found.PastMapFuse), static_cast<unsigned long>(DeviceSize - 1));
        return -1;
    }
    if (parsed == JedecBadFuseNumber) {
        // Skipped, its fuses would keep their default and nothing would say so.
        std::string field;
        for (char c : found.BadNumberField)
            field += c > ' ' && c < 0x7F ? std::string(1, c) : "<" + CharacterText(c, false) + ">";
        ShowMessageLine(" The file's field '%s' has no fuse number of at most 10 digits.", field.c_str());
        return -1;
    }
    if (parsed == JedecBadFuseDigit) {
        // Neither skipped (the later fuses would move) nor guessed.
        ShowMessageLine(" The file gives fuse %llu as %s, neither 0 nor 1.",
                        static_cast<unsigned long long>(found.BadDigitFuse),
                        CharacterText(found.BadDigit, true).c_str());
        return -1;
    }
    if (parsed != JedecOk) {
        ShowErrorByCode(42); // "File type invalid."
        return -1;
    }
    // A damaged file still loads, but the user is told before programming
    // a part that may be one-time programmable.
    uint32_t field = 0;
    if (found.FuseSum.has_value() && FindJedecChecksumField(JedecFieldText(text), field) && field != *found.FuseSum)
        ShowMessageLine("Invalid check in JEDEC file. (fuse checksum %04Xh, the fuses sum to %04Xh)", field,
                        *found.FuseSum);
    uint32_t textSum = 0;
    if (ReadJedecTransmissionChecksum(text, field, textSum) && field != 0 && field != textSum)
        ShowMessageLine("Invalid check in JEDEC file. (transmission checksum %04Xh, the text sums to %04Xh)", field,
                        textSum);
    // A file cut short has lost its last fields, and usually its checksums.
    if (found.OpenField != 0 && !found.Etx)
        ShowMessageLine(" Warning: the file ends inside its %s field (no closing *); it may be cut short.",
                        CharacterText(found.OpenField, false).c_str());
    else if (found.OpenField != 0)
        ShowMessageLine(" Warning: the %s field before the ETX has no closing *; the file may be cut short.",
                        CharacterText(found.OpenField, false).c_str());
    else if (found.Stx && !found.Etx)
        ShowMessageLine(" Warning: no ETX after the STX; the file may be cut short.");
    const uint32_t devicePins = PinCountOfDevice();
    const uint32_t vectorPins = vectors.empty() ? devicePins : found.VectorPins;
    if (vectorPins != devicePins)
        ShowMessageLine(" The file's vectors are for %lu pins%s; the device has %lu.",
                        static_cast<unsigned long>(vectorPins), found.VectorPinsFromQp ? " (QP)" : "",
                        static_cast<unsigned long>(devicePins));
    std::memcpy(FuseMap(), map.data(), map.size());
    std::memset(TestVectorBuffer, 0, TestVectorBufferBytes);
    std::memcpy(TestVectorBuffer, vectors.data(), vectors.size());
    TestVectorPinCount = vectorPins;
    fileChecksum = checksum;
    blowCount = CountSetBufferBits();
    return 1;
}

int LoadJedecFile(const std::string& name) {
    uint32_t fileChecksum = 0;
    uint32_t blowCount = 0;
    return LoadJedecFile(name, fileChecksum, blowCount);
}

std::string FormatJedecText(const uint8_t* vectors, size_t length) {
    const uint32_t pins = PinCountOfDevice();
    size_t vectorCount = 0;
    if (pins > 0 && vectors != nullptr)
        while ((vectorCount + 1) * pins <= length && vectors[vectorCount * pins] != 0 &&
               vectors[vectorCount * pins] != 0xFF)
            ++vectorCount;

    std::string out = "\x02\n";
    char line[160];
    out += "JEDEC file generated by " + std::string(ProductName != nullptr ? ProductName : "") + "*\n";
    out += "DM " + CurrentMakerName + "*\n";
    out += "DD " + CurrentDeviceName + "*\n";
    std::snprintf(line, sizeof line, "QP%d*\nQF%lu*\nQV%d*\nG0*F0*\n", static_cast<int>(pins),
                  static_cast<unsigned long>(DeviceSize), static_cast<int>(vectorCount));
    out += line;

    // Fuse rows; a device without a row length gets rows of 64 fuses.
    const uint32_t fuses = std::min<uint32_t>(DeviceSize, BufferWindowBytes * 8);
    const uint32_t rowLength = FuseRowLength != 0 ? FuseRowLength : 64;
    for (uint64_t first = 0; first < fuses; first += rowLength) {
        std::snprintf(line, sizeof line, "L%05lu ", static_cast<unsigned long>(first));
        out += line;
        uint64_t last = std::min<uint64_t>(first + rowLength, fuses);
        for (uint64_t n = first; n < last; ++n)
            out += GetBufferBit(static_cast<uint32_t>(n)) ? '1' : '0';
        out += "*\n";
    }

    const RowHooks& hooks = HooksOfRow(CurrentAlgorithm);
    if (hooks.JedecEFieldFuse >= 0 && hooks.JedecEFieldSaveCount > 0)
        out += FormatFuseBits(static_cast<uint32_t>(hooks.JedecEFieldFuse), hooks.JedecEFieldSaveCount, 'E');
    if (hooks.JedecUFieldFuse >= 0 && hooks.JedecUFieldSaveCount > 0)
        out += FormatFuseBits(static_cast<uint32_t>(hooks.JedecUFieldFuse), hooks.JedecUFieldSaveCount, 'U');

    for (size_t v = 0; v < vectorCount; ++v) {
        std::snprintf(line, sizeof line, "V%05u ", static_cast<unsigned>(v + 1));
        out += line;
        // A pin the list leaves unset (00h, as the vector editor's '.', or
        // FFh) is written as X: no control byte goes into the text.
        for (size_t p = 0; p < pins; ++p) {
            const uint8_t c = vectors[v * pins + p];
            out += c == 0 || c == 0xFF ? 'X' : static_cast<char>(c);
        }
        out += "*\n";
    }

    // The fuse checksum of the fuses the L fields hold, as every reader sums
    // them (a row's own buffer checksum or the user's range may differ).
    std::snprintf(line, sizeof line, "C%04X*\n", static_cast<unsigned>(JedecFuseSum(FuseMap(), fuses)));
    out += line;
    out += "\x03" "0000";
    return out;
}

VectorList TestVectorsForSave() {
    if (TestVectorBuffer == nullptr)
        return {};
    const uint32_t pins = PinCountOfDevice();
    if (TestVectorPinCount == pins)
        return {TestVectorBuffer, TestVectorBufferBytes - 2};
    // Read by this device's pin count, each vector would take pins of the
    // next: the file's vectors would test other pins than they were made for.
    if (TestVectorBuffer[0] != 0 && TestVectorBuffer[0] != 0xFF)
        ShowMessageLine(" The vectors are for %lu pins; the device has %lu: none saved.",
                        static_cast<unsigned long>(TestVectorPinCount), static_cast<unsigned long>(pins));
    return {};
}

int SaveJedecFile(const std::string& name, const uint8_t* vectors, size_t length) {
    std::string text = FormatJedecText(vectors, length);
    return WriteWholeFile(name, text.data(), text.size());
}

// ---------------------------------------------------------------------------
// POF
// ---------------------------------------------------------------------------

namespace {

// Little-endian reads from the file in memory; false past its end.
struct PofReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 12;

    bool Has(uint64_t n) const { return pos <= size && size - pos >= n; }
    bool ReadPofU16(uint16_t& v) {
        if (!Has(2))
            return false;
        v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return true;
    }
    bool ReadPofU32(uint32_t& v) {
        if (!Has(4))
            return false;
        v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
            static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return true;
    }
};

// How far a file may reach: fuses (tag 17) and whole bytes (tag 7) of the
// device; the first fuse of a packet that reaches past goes to pastFuse.
struct PofLimit {
    uint64_t fuses = UINT64_MAX;
    uint64_t pastFuse = UINT64_MAX;
    bool Past() const { return pastFuse != UINT64_MAX; }
};

// Tag 7: a rows x columns table of bytes or words.
bool ReadPofPacket7(PofReader& in, uint32_t length, uint64_t capacity, PofSink* sink, uint64_t& endAddress,
                    PofLimit& limit) {
    uint16_t firstRow = 0, firstColumn = 0, rows = 0, columns = 0, mask = 0, flags = 0;
    if (length < 12 || !in.ReadPofU16(firstRow) || !in.ReadPofU16(firstColumn) || !in.ReadPofU16(rows) ||
        !in.ReadPofU16(columns) || !in.ReadPofU16(mask) || !in.ReadPofU16(flags))
        return false;
    const bool words = flags & 1;
    const uint64_t cells = uint64_t{rows} * columns;
    if (cells * (words ? 2 : 1) > length - 12u)
        return false;
    const uint64_t deviceBytes = limit.fuses == UINT64_MAX ? UINT64_MAX : (limit.fuses + 7) / 8;
    if (cells * (words ? 2 : 1) > deviceBytes) {
        limit.pastFuse = deviceBytes * 8;
        return true;
    }
    for (uint64_t i = 0; i < cells; ++i) {
        uint16_t value = 0;
        if (words) {
            in.ReadPofU16(value);
        } else {
            value = in.data[in.pos++];
        }
        value &= mask;
        uint64_t address = words ? 2 * i : i;
        if (address + (words ? 2 : 1) > capacity)
            continue;
        endAddress = std::max(endAddress, address + (words ? 2 : 1));
        if (sink == nullptr)
            continue;
        if (words)
            sink->SetWord(static_cast<uint32_t>(i), value);
        else
            sink->SetByte(static_cast<uint32_t>(i), static_cast<uint8_t>(value));
    }
    in.pos += length - 12 - cells * (words ? 2 : 1);
    return true;
}

// Tag 17: fuses from a first fuse, packed or one character per fuse.
bool ReadPofPacket17(PofReader& in, uint32_t length, uint64_t capacity, PofSink* sink, uint64_t& endAddress,
                     PofLimit& limit) {
    uint32_t first = 0, count = 0;
    uint16_t zero = 0, flags = 0;
    if (length < 12 || !in.ReadPofU32(first) || !in.ReadPofU16(zero) || !in.ReadPofU32(count) ||
        !in.ReadPofU16(flags))
        return false;
    const bool packed = flags & 1;
    const uint64_t bytes = packed ? (uint64_t{count} + 7) / 8 : count;
    if (bytes > length - 12u)
        return false;
    if (count > 0 && uint64_t{first} + count > limit.fuses) {
        limit.pastFuse = std::max<uint64_t>(first, limit.fuses);
        return true;
    }
    const uint64_t capacityBits = capacity * 8;
    const uint8_t* fuses = in.data + in.pos;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t n = uint64_t{first} + i;
        if (n >= capacityBits)
            break;
        bool set = packed ? (fuses[i / 8] >> (i % 8) & 1) : fuses[i] != '1';
        endAddress = std::max(endAddress, n / 8 + 1);
        if (sink != nullptr)
            sink->SetFuse(static_cast<uint32_t>(n), set);
    }
    in.pos += length - 12;
    return true;
}

} // namespace

int ParsePof(const uint8_t* data, size_t size, uint64_t capacityBytes, PofSink* sink, uint64_t& endAddress,
             uint64_t deviceFuses, uint64_t* pastFuse) {
    endAddress = 0;
    PofLimit limit;
    limit.fuses = deviceFuses;
    if (size < 3 || std::memcmp(data, "POF", 3) != 0)
        return PofBadHeader;
    if (size < 12)
        return PofMalformed;
    PofReader in{data, size};
    while (in.pos < size) {
        uint16_t tag = 0;
        uint32_t length = 0;
        if (!in.ReadPofU16(tag) || !in.ReadPofU32(length) || !in.Has(length))
            return PofMalformed; // a packet cut off by the end of the file
        switch (tag) {
        case 7:
        case 17:
            if (!(tag == 7 ? ReadPofPacket7 : ReadPofPacket17)(in, length, capacityBytes, sink, endAddress, limit))
                return PofMalformed;
            if (limit.Past()) {
                if (pastFuse != nullptr)
                    *pastFuse = limit.pastFuse;
                return PofPastDevice;
            }
            break;
        case 8: {
            uint16_t end = 0;
            return length >= 2 && in.ReadPofU16(end) ? PofOk : PofMalformed;
        }
        default:
            in.pos += length;
            break;
        }
    }
    return PofOk;
}

namespace {

// Collects POF data in a cleared copy of the device's map (the parse keeps
// every packet inside it), and which of the device's fuses they cover.
class MapPofSink : public PofSink {
public:
    explicit MapPofSink(uint64_t fuses) : map((fuses + 7) / 8, 0), covered_(fuses, false), fuses_(fuses) {}
    void SetFuse(uint32_t n, bool set) override {
        if (set)
            map[n / 8] |= static_cast<uint8_t>(1u << (n % 8));
        else
            map[n / 8] &= static_cast<uint8_t>(~(1u << (n % 8)));
        Cover(n, 1);
    }
    void SetByte(uint32_t address, uint8_t value) override {
        map[address] = value;
        Cover(uint64_t{address} * 8, 8);
    }
    void SetWord(uint32_t index, uint16_t value) override {
        SetByte(2 * index, static_cast<uint8_t>(value));
        SetByte(2 * index + 1, static_cast<uint8_t>(value >> 8));
    }
    uint64_t Covered() const { return coveredCount_; }
    std::vector<uint8_t> map;

private:
    void Cover(uint64_t first, uint64_t count) {
        for (uint64_t n = first; n < first + count && n < fuses_; ++n)
            if (!covered_[n]) {
                covered_[n] = true;
                ++coveredCount_;
            }
    }
    std::vector<bool> covered_;
    uint64_t fuses_;
    uint64_t coveredCount_ = 0;
};

// The fuses a POF file holds for the current device: the PLD's fuse count,
// else a fuse per bit of its bytes.
uint64_t PofDeviceFuses() {
    return DeviceSection == SectionPld ? uint64_t{DeviceSize} : uint64_t{DeviceSize} * 8;
}

void PutU16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

} // namespace

int LoadPofFile(const std::string& name) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(name, data))
        return -1;
    // The file is read into a cleared copy of the device's map and replaces
    // the whole map only when it is good: no fuse of the previous design stays.
    const uint64_t fuses = PofDeviceFuses();
    const uint64_t bytes = (fuses + 7) / 8;
    if (bytes > MaxImageBytes) {
        ShowErrorByCode(47); // "Not supported."
        return -1;
    }
    MapPofSink sink(fuses);
    uint64_t end = 0;
    uint64_t pastFuse = 0;
    const int result = ParsePof(data.data(), data.size(), bytes, &sink, end, fuses, &pastFuse);
    if (result == PofBadHeader) {
        ShowMessageLine("Invalid HEADER!");
        return -1;
    }
    if (result == PofPastDevice) {
        ShowMessageLine(" The file has fuse %llu; the device has %llu fuses only.",
                        static_cast<unsigned long long>(pastFuse), static_cast<unsigned long long>(fuses));
        return -1;
    }
    if (result != PofOk) {
        ShowErrorByCode(42); // "File type invalid."
        return -1;
    }
    if (bytes > 0 && SelectBank(static_cast<uint32_t>(bytes - 1), 1) != 1)
        return -1; // the buffer cannot grow that far (already reported)
    std::memcpy(BufferImage(), sink.map.data(), sink.map.size());
    SelectBank(0, 0);
    if (sink.Covered() != fuses)
        ShowMessageLine(" The file holds %llu of the device's %llu fuses; the others are clear.",
                        static_cast<unsigned long long>(sink.Covered()), static_cast<unsigned long long>(fuses));
    return 1;
}

std::string FormatPofFile() {
    std::string out("POF\0", 4);
    PutU32(out, 0x10000);
    PutU32(out, 3);

    std::string text = CurrentDeviceName;
    size_t as = text.find("as");
    if (HooksOfRow(CurrentAlgorithm).PofNameAfterAs && as != std::string::npos)
        text = as + 3 <= text.size() ? text.substr(as + 3) : std::string();
    PutU16(out, 2);
    PutU32(out, static_cast<uint32_t>(text.size() + 1));
    out += text;
    out += '\0';

    // Every fuse, the last partial byte included.
    const bool pld = DeviceSection == SectionPld;
    const uint64_t bytes = pld ? (uint64_t{DeviceSize} + 7) / 8 : DeviceSize;
    const uint32_t count = pld ? DeviceSize : static_cast<uint32_t>(uint64_t{DeviceSize} * 8);
    PutU16(out, 17);
    PutU32(out, static_cast<uint32_t>(bytes + 12));
    PutU32(out, 0);
    PutU16(out, 0);
    PutU32(out, count);
    PutU16(out, 1);
    const uint8_t* image = BufferImage();
    out.append(reinterpret_cast<const char*>(image), bytes);

    PutU16(out, 8);
    PutU32(out, 2);
    PutU16(out, 0);
    return out;
}

int SavePofFile(const std::string& name) {
    const bool pld = DeviceSection == SectionPld;
    const uint64_t bytes = pld ? (uint64_t{DeviceSize} + 7) / 8 : DeviceSize;
    if (bytes > uint64_t{MaxBankCount} * BufferBankBytes) {
        ShowErrorByCode(47); // "Not supported."
        return -1;
    }
    const uint32_t bank = CurrentBank;
    if (bytes > 0 && SelectBank(static_cast<uint32_t>(bytes - 1), 1) != 1)
        return -1;
    std::string data = FormatPofFile();
    SelectBank(bank << 16, 0);
    return WriteWholeFile(name, data.data(), data.size());
}
