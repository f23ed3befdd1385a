// The buffer places each row keeps whatever Buffer Start says, written from
// the rows' descriptions apart from their declarations (RowDef::FixedPlaces),
// which the passes check against this table: where a range must be refused
// and where it must run depends on this table alone.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/Device.h"
#include "engine/RowDef.h"

namespace sweep {

// A place in buffer units (a 16-bit device's words) for the current device
// and range: units first..last hold chip addresses chip.. (of another memory
// of the part where otherMemory: never in a range); rangeOnly: used only for
// the chip addresses the range covers; inLane: in a split mode unit u lies
// at buffer unit u x step + lane (the run's own lane); memory: the other
// memory's name as the log gives it ("EEPROM", "hidden word").
struct RowPlace {
    uint64_t first = 0, last = 0, chip = 0;
    bool otherMemory = false, rangeOnly = false, inLane = false;
    const char* memory = nullptr;
    bool operator<(const RowPlace& o) const { return first < o.first; }
};

// The places of `row` for the current device, range and Buffer Start.
inline std::vector<RowPlace> RowPlaces(uint32_t row) {
    auto at = [](uint64_t first, uint64_t count, uint64_t chip) { return RowPlace{first, first + count - 1, chip}; };
    auto ownAddresses = [&](uint64_t first, uint64_t count) { return at(first, count, first); };
    const uint64_t startBank = uint64_t{BufferStart} / 0x10000 * 0x10000; // the bank the run starts in
    std::vector<RowPlace> v;
    switch (row) {
    // PIC: the configuration word, the four ID words and the data memory
    // keep the buffer words of their chip addresses. 12-bit parts: the
    // word at FFFh, the IDs after the part's last program word; 14-bit
    // parts: 2007h and 2000h-2003h, the data memory's bytes one to a word
    // from word 2100h (byte 4200h) as the PIC tools save them (row 112's
    // parts 64; row 121's 128 with 4K program words, 256 with 8K); the
    // 16-bit part: word FE00h (word 7E00h of the second bank), no IDs.
    case 110:
    case 114: v = {ownAddresses(0xFFF, 1), ownAddresses(DeviceSize, 4)}; break;
    case 111:
    case 115:
    case 116: v = {ownAddresses(0x2007, 1), ownAddresses(0x2000, 4)}; break;
    case 112: v = {ownAddresses(0x2007, 1), ownAddresses(0x2000, 4), ownAddresses(0x2100, 64)}; break;
    case 121:
        v = {ownAddresses(0x2007, 1), ownAddresses(0x2000, 4)};
        if (DeviceSize == 0x1000 || DeviceSize == 0x2000) v.push_back(ownAddresses(0x2100, DeviceSize / 32));
        break;
    case 113: v = {ownAddresses(0xFE00, 1)}; break;
    // AVR: the data EEPROM's image from the byte after Chip End; its size
    // by sub-variant on the parallel rows, 128 bytes on the serial one.
    case 117:
    case 119:
    case 125: {
        constexpr uint32_t kSizes[] = {64, 128, 256, 512};
        const uint64_t bytes = row == 119 ? 128 : DeviceSubVariant < 4 ? kSizes[DeviceSubVariant] : 0;
        if (bytes != 0) v = {RowPlace{uint64_t{DeviceEnd} + 1, uint64_t{DeviceEnd} + bytes, 0, true}};
        if (bytes != 0) v[0].memory = "EEPROM";
        break;
    }
    // Block 1 at its chip addresses F000h-FFFEh, in a split mode in the
    // run's lane (byte F000h x step + lane on).
    case 118:
        v = {ownAddresses(0xF000, 0xFFF)};
        v[0].inLane = true;
        break;
    // The ROM bytes 300h-7FFh, read whatever the range.
    case 145: v = {ownAddresses(0x300, 0x500)}; break;
    // Option rows, byte groups B and A: row 150's after its 32 KB code in
    // the bank the run starts in, row 151's in the second bank; used for
    // the cells the range covers.
    case 150:
        v = {at(startBank + 0x8040, 24 * 16, 0x8040), at(startBank + 0x81D0, 4, 0x81D0),
             at(startBank + 0x81E0, 5, 0x81E0)};
        for (RowPlace& p : v) p.rangeOnly = true;
        break;
    case 151:
        v = {ownAddresses(0x10000, 32 * 16), ownAddresses(0x10250, 4), ownAddresses(0x10260, 6)};
        for (RowPlace& p : v) p.rangeOnly = true;
        break;
    // The 32-byte area at FCE0h in the bank the run starts in, the two
    // option bytes at FD00h.
    case 189: v = {at(startBank + 0xFCE0, 32, 0xFCE0), ownAddresses(0xFD00, 2)}; break;
    // The hidden word: buffer word 4000h.
    case 301:
        v = {RowPlace{0x4000, 0x4000, 0, true}};
        v[0].memory = "hidden word";
        break;
    default: break;
    }
    std::sort(v.begin(), v.end());
    return v;
}

// What a Read stores past the range, as units after the range's last one:
// row 116's 64 calibration words follow the part's program words, each where
// its chip address puts it from Buffer Start.
struct ReadArea {
    uint64_t skip = 0, count = 0;
};
inline ReadArea RowReadArea(uint32_t row) {
    if (row != 116) return {};
    const uint64_t next = uint64_t{DeviceEnd} + 1;
    return {std::max<uint64_t>(DeviceSize, next) - next, 64};
}

// Whether a run over chip start..end from buffer unit `bufferStart` (and
// over `area` past it, for a Read) would put one chip address's datum on a
// place that keeps another's, or move a kept address off its place. In a
// split mode (`step` units a datum, the run's in `lane`) the run covers its
// lane set's whole span: every lane's units, its own lane's for the area.
inline bool MeetsAPlace(const std::vector<RowPlace>& places, uint64_t start, uint64_t end, uint64_t bufferStart,
                        ReadArea area = {}, uint64_t step = 1, uint64_t lane = 0) {
    const uint64_t count = end - start + 1;
    for (const RowPlace& p : places) {
        for (uint64_t u = p.first; u <= p.last; ++u) {
            const uint64_t kept = p.chip + (u - p.first);
            const bool keptHere = !p.otherMemory && kept >= start && kept <= end;
            if (p.rangeOnly && !keptHere) continue;
            const uint64_t at = p.inLane ? u * step + lane : u; // the place's buffer unit
            const uint64_t datum = at >= bufferStart ? (at - bufferStart) / step : 0;
            const bool inLane = at >= bufferStart && (at - bufferStart) % step == lane;
            const bool covered = (at >= bufferStart && datum < count) ||
                                 (inLane && datum >= count + area.skip && datum < count + area.skip + area.count);
            if (keptHere ? bufferStart + lane + step * (kept - start) != at : covered) return true;
        }
    }
    return false;
}

// Where the row's declaration differs from the table for the current device
// and range, described; "" when it does not.
inline std::string DeclarationDiffers(uint32_t row) {
    const RowDef* def = RowDefinition(row);
    std::vector<RowPlace> declared;
    if (def != nullptr && def->FixedPlaces != nullptr)
        for (const FixedBufferPlace& f : def->FixedPlaces())
            declared.push_back({f.First, f.Last, f.Chip, f.Memory != nullptr, f.RangeOnly, f.InLane, f.Memory});
    std::sort(declared.begin(), declared.end());
    const std::vector<RowPlace> table = RowPlaces(row);
    for (size_t i = 0; i < std::max(declared.size(), table.size()); ++i) {
        const RowPlace* d = i < declared.size() ? &declared[i] : nullptr;
        const RowPlace* t = i < table.size() ? &table[i] : nullptr;
        if (d != nullptr && t != nullptr && d->first == t->first && d->last == t->last &&
            d->otherMemory == t->otherMemory && d->rangeOnly == t->rangeOnly && d->inLane == t->inLane &&
            (d->otherMemory || d->chip == t->chip) &&
            std::string(d->memory != nullptr ? d->memory : "") == (t->memory != nullptr ? t->memory : ""))
            continue;
        char m[160];
        if (t == nullptr) {
            std::snprintf(m, sizeof m, " declares a place %llXh-%llXh its description does not give",
                          static_cast<unsigned long long>(d->first), static_cast<unsigned long long>(d->last));
        } else if (d == nullptr) {
            std::snprintf(m, sizeof m, " does not declare its place %llXh-%llXh",
                          static_cast<unsigned long long>(t->first), static_cast<unsigned long long>(t->last));
        } else {
            std::snprintf(m, sizeof m, " declares %llXh-%llXh (chip %llXh) for its place %llXh-%llXh (chip %llXh)",
                          static_cast<unsigned long long>(d->first), static_cast<unsigned long long>(d->last),
                          static_cast<unsigned long long>(d->chip), static_cast<unsigned long long>(t->first),
                          static_cast<unsigned long long>(t->last), static_cast<unsigned long long>(t->chip));
        }
        return m;
    }
    // What a Read stores past the range.
    const ReadArea want = RowReadArea(row);
    ReadAreaAfterRange has;
    if (def != nullptr && def->ReadStoresAfterRange != nullptr) has = def->ReadStoresAfterRange();
    if (has.Skip != want.skip || has.Count != want.count) {
        char m[128];
        std::snprintf(m, sizeof m, " declares a read area of %u units after %u for %llu after %llu", has.Count,
                      has.Skip, static_cast<unsigned long long>(want.count), static_cast<unsigned long long>(want.skip));
        return m;
    }
    return "";
}

// The byte a pass leaves at buffer byte i outside a range: its address's
// own, so that an image or a hidden word programmed from elsewhere, or a
// read that stores it elsewhere, shows.
inline uint8_t AddressByte(size_t i) { return static_cast<uint8_t>(i * 29 + (i >> 8) * 7 + 0x11); }

// The buffer bytes of `bytes` that hold images of another memory of the
// part at the row's places (`unit` bytes a chip address).
inline std::vector<bool> OtherMemoryBytes(const std::vector<RowPlace>& places, size_t unit, size_t bytes) {
    std::vector<bool> image(bytes);
    for (const RowPlace& f : places)
        if (f.otherMemory)
            for (size_t i = f.first * unit; i < (f.last + 1) * unit && i < bytes; ++i) image[i] = true;
    return image;
}

// Where an image programmed from its place (each byte its AddressByte) was
// read back other than it was programmed: the first such byte's line, or "".
inline std::string ImageReadBackMismatch(const uint8_t* buffer, const std::vector<bool>& image) {
    for (size_t i = 0; i < image.size(); ++i) {
        if (!image[i] || buffer[i] == AddressByte(i)) continue;
        char m[112];
        std::snprintf(m, sizeof m, " image at buffer %zXh: %02Xh read, %02Xh programmed from there", i, buffer[i],
                      AddressByte(i));
        return m;
    }
    return "";
}

} // namespace sweep
