#include "testing/RamTester.h"

#include <vector>

#include "engine/Bringup.h"
#include "engine/Insertion.h"
#include "engine/Library.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "testing/TestRun.h"

// Rows 2 and 3 take their parts' VSS pins (chip pin 18 of the 18-pin 1M*1
// part on socket pin 33, chip pin 20 of the 20-pin 4M*1 part on 34): socket
// pin 24 is their VCC pin and must never be grounded with the supply on it.
// Size is every location of the part and RowLength its column count: the
// 4M*1 part has 2048 columns; the 16K*4 part 64 (its 14 address bits come
// in on 8 multiplexed inputs: 8 row bits for its 256 rows, the 256 refresh
// cycles, and 6 column bits). The DRAM march and the per-location check's
// row steps keep to one row by stepping exactly one row's columns between
// row cycles.
const RamTypeEntry RamTypeTable[kRamTypeCount] = {
    {351, 24, 32, 0, 65536, 256, 0},  {351, 24, 32, 0, 262144, 512, 0},  {352, 24, 33, 0, 1048576, 1024, 0},
    {353, 24, 34, 0, 4194304, 2048, 0}, {354, 24, 33, 0, 16384, 64, 1}, {354, 24, 33, 0, 65536, 256, 1},
    {355, 24, 34, 0, 262144, 512, 1}, {350, 36, 24, 0, 2048, 0, 2},     {350, 38, 24, 0, 8192, 0, 2},
    {350, 38, 24, 0, 32768, 0, 2},    {350, 40, 24, 0, 131072, 0, 2},
};

const char* const RamTypeNames[kRamTypeCount] = {
    "DRAM4164(64K*1)",    "DRAM41256(256K*1)", "DRAM41000(1M*1)", "DRAM44000(4M*1)",
    "DRAM41416(16K*4)",   "DRAM41464(64K*4)",  "DRAM414256(256K*4)", "SRAM6116(2K*8)",
    "SRAM6164(8K*8)",     "SRAM61256(32K*8)",  "SRAM610000(128K*8)",
};

uint32_t RamTestAddress = 0;

namespace {

constexpr int kResultEmpty = 98;
constexpr int kResultNoProgrammer = 99;

void LoadImage(uint32_t image) {
    if (LoadedLogicImage != static_cast<int32_t>(image)) DownloadLogicImage(image);
}

// Write-and-read of one location in the row's mode: true when both patterns
// read back.
bool TestLocation(const RamTypeEntry& e) {
    switch (e.Mode) {
    case 0:
        WriteRegister(3, 1);
        WriteRegister(3, 0);
        if ((ReadRegister(3) & 1) != 1) return false;
        WriteRegister(3, 1);
        return (ReadRegister(3) & 1) == 0;
    case 1:
        WriteRegister(3, 5);
        WriteRegister(5, 0);
        if ((ReadRegister(3) & 0x0F) != 5) return false;
        WriteRegister(3, 0x0A);
        WriteRegister(5, 0);
        return (ReadRegister(3) & 0x0F) == 0x0A;
    default:
        WriteRegister(3, 0x55);
        if (ReadRegister(3) != 0x55) return false;
        WriteRegister(3, 0xAA);
        return ReadRegister(3) == 0xAA;
    }
}

// The user's ESC, or a quit, reaches the test through the progress step.
int ShowRamProgress(uint32_t a, uint32_t size) {
    const int r = ShowPercentDone(a, size);
    if (r != 1) return r;
    return PollTestBreak();
}

int Width(uint32_t mode) { return mode == 0 ? 1 : mode == 1 ? 4 : 8; }
uint8_t WidthMask(uint32_t mode) { return mode == 0 ? 1 : mode == 1 ? 0x0F : 0xFF; }

// The fold background at location `a`: its address folded to the part's
// width, so locations differing in any one address bit differ.
uint8_t MarchPattern(uint32_t a, uint32_t mode) {
    const int width = Width(mode);
    uint32_t v = 0;
    for (; a != 0; a >>= width) v ^= a;
    return static_cast<uint8_t>(v & WidthMask(mode));
}

// One write cycle of `v` at the counter's location (by 1 the register takes
// the complement of the datum).
void WriteCell(uint32_t mode, uint8_t v) {
    if (mode == 0) {
        WriteRegister(3, (v & 1u) ^ 1u);
    } else if (mode == 1) {
        WriteRegister(3, v);
        WriteRegister(5, 0);
    } else {
        WriteRegister(3, v);
    }
}

uint8_t ReadCell(uint32_t mode) { return static_cast<uint8_t>(ReadRegister(3) & WidthMask(mode)); }

void NextLocation() { WriteRegister(6, 0); }
// Test cycles restarted: the counter and a DRAM's row back at 0.
void RestartCounter() { WriteRegister(4, 3); }

// The datum of a march step at a location: its background there with the
// bits of `flip` inverted. Backgrounds: the fold; solid (0 everywhere, so
// `flip` is the datum); a group, the part's width of address bits from bit
// `group` x width on.
struct Datum {
    enum Background : uint8_t { Fold, Solid, Group } background;
    uint8_t group;
    uint8_t flip;
};

struct MarchStep {
    bool read; // a read that must give the datum, else a write of it
    Datum datum;
};

// One element of the march: its steps at each location in turn as the
// counter counts up. The counter cannot go back, so every element reads a
// location before it writes it.
using MarchElement = std::vector<MarchStep>;

MarchStep Read(Datum d) { return {true, d}; }
MarchStep Write(Datum d) { return {false, d}; }

// Address bits a decoder fault can join: the whole address of a static RAM;
// the column bits of a DRAM, marched a row at a time.
int MarchedAddressBits(const RamTypeEntry& e) {
    const uint32_t span = e.Mode == 2 ? e.Size : e.RowLength;
    int bits = 0;
    while ((1u << bits) < span) ++bits;
    return bits;
}

// The march of a row type.
//
// First the fold background: each location starts with its pattern, and in
// each of the two middle elements every location is read and then written
// three times, so an aggressor makes both transitions there, with the
// victims above it still holding what the element before left (read next in
// this element) and the victims below holding what this element wrote (read
// in the next). The first leaves the victims the pattern, the second the
// complement, so each transition meets each victim value; three writes give
// each transition an odd count in one of the two elements, for couplings
// that flip their victim.
//
// A decoder fault joins two locations a and b: a write of a also writes b,
// or a reaches b's cell. With the counter counting up only, b below a holds
// a's last datum of an element when the next reads it, which shows when the
// two data differ: the fold's, or those of one of the group backgrounds
// that follow, each of which gives locations differing in its address bits
// different data (there is one for every group but the top one: locations
// differing only there the fold tells apart).
// b above a takes a's datum before its own read in the same element, which
// shows on a solid background: the last element reads 0 everywhere while
// the locations below have written a datum other than 0.
//
// That last element also tests the bits of each word against one another:
// for each word background w in turn (the bit pairs each one splits, then
// all bits alike), a write of w, its complement and w again, each of the
// last two read back at once, so every bit rises and falls with every other
// bit written alike and written the other way.
std::vector<MarchElement> BuildMarch(const RamTypeEntry& e) {
    const int width = Width(e.Mode);
    const uint8_t mask = WidthMask(e.Mode);
    const Datum p{Datum::Fold, 0, 0}, np{Datum::Fold, 0, mask};
    std::vector<MarchElement> march = {
        {Write(p)},
        {Read(p), Write(np), Write(p), Write(np)},
        {Read(np), Write(p), Write(np), Write(p)},
        {Read(p)},
    };
    const int groups = (MarchedAddressBits(e) + width - 1) / width;
    for (int g = 0; g + 1 < groups; ++g) {
        const Datum d{Datum::Group, static_cast<uint8_t>(g), 0};
        march.back().push_back(Write(d));
        march.push_back({Read(d)});
    }
    const auto solid = [](uint8_t v) { return Datum{Datum::Solid, 0, v}; };
    march.back().push_back(Write(solid(0)));
    MarchElement last = {Read(solid(0))};
    if (width == 1) {
        last.push_back(Write(solid(1)));
    } else {
        static constexpr uint8_t kWords[] = {0x55, 0x33, 0x0F, 0xFF};
        for (const uint8_t w : kWords) {
            const uint8_t v = w & mask;
            if (v == mask && w != 0xFF) continue; // all bits alike: last
            for (const MarchStep& s : {Write(solid(v)), Write(solid(v ^ mask)), Read(solid(v ^ mask)),
                                       Write(solid(v)), Read(solid(v))})
                last.push_back(s);
        }
    }
    march.push_back(last);
    return march;
}

uint8_t DatumAt(const Datum& d, uint32_t a, uint8_t fold, const RamTypeEntry& e) {
    const uint8_t mask = WidthMask(e.Mode);
    const uint32_t base = d.background == Datum::Fold    ? fold
                          : d.background == Datum::Group ? a >> (d.group * Width(e.Mode))
                                                         : 0;
    return static_cast<uint8_t>((base ^ d.flip) & mask);
}

class MarchProgress {
public:
    // The march's share of the progress: one pass over the part per element
    // after the one of the per-location check.
    MarchProgress(const RamTypeEntry& e, size_t elements)
        : size_(e.Size), total_(e.Size * static_cast<uint32_t>(elements + 1)) {}
    // One more cell; the result of the progress step every 256 cells.
    int Tick() {
        const uint32_t done = size_ + count_++;
        return done % 256 == 0 ? ShowRamProgress(done, total_) : 1;
    }
    uint32_t Total() const { return total_; }

private:
    uint32_t size_, total_, count_ = 0;
};

// Element `m` over `count` locations from `base`, the counter at `base`
// (left `count` locations on): -1 at the first location that reads wrong,
// with RamTestAddress on it.
int MarchOver(const MarchElement& m, const RamTypeEntry& e, uint32_t base, uint32_t count, MarchProgress& progress) {
    for (uint32_t i = 0; i < count; ++i) {
        if (const int r = progress.Tick(); r != 1) return r;
        RamTestAddress = base + i;
        const uint8_t fold = MarchPattern(RamTestAddress, e.Mode);
        for (const MarchStep& s : m) {
            const uint8_t v = DatumAt(s.datum, RamTestAddress, fold, e);
            if (!s.read) {
                WriteCell(e.Mode, v);
            } else if (ReadCell(e.Mode) != v) {
                return -1;
            }
        }
        NextLocation();
    }
    return 1;
}

// Static RAM: each element over the whole part. A location that answers for
// another (a decoder fault), or one that a write of another disturbs, above
// or below it, fails here, where the per-location check cannot see it.
int MarchStatic(const RamTypeEntry& e, const std::vector<MarchElement>& march, MarchProgress& progress) {
    for (const MarchElement& m : march) {
        RestartCounter();
        if (const int r = MarchOver(m, e, 0, e.Size, progress); r != 1) return r;
    }
    return 1;
}

// Dynamic RAM: the image gives no refresh and its counter only counts
// forward, so each row is marched on its own, every element over its
// columns (no row cycle between, so the column count wraps in the same row)
// while its own cycles keep it refreshed. The elements carry the counter one
// row on each, so the rows are taken in as many sweeps, each starting one
// row further. Rows differing in a row address bit, and a row and its
// neighbours, are never within one refresh period of each other, and every
// row is cycled all the time it is tested: address faults between rows,
// disturbances between rows and a cell's retention are not tested here.
int MarchDynamic(const RamTypeEntry& e, const std::vector<MarchElement>& march, MarchProgress& progress) {
    const uint32_t columns = e.RowLength;
    const uint32_t rows = e.Size / columns;
    const auto passes = static_cast<uint32_t>(march.size());
    for (uint32_t first = 0; first < passes; ++first) {
        RestartCounter();
        for (uint32_t i = 0; i < first * columns; ++i) NextLocation();
        WriteRegister(7, 0);
        for (uint32_t row = first; row < rows; row += passes) {
            for (const MarchElement& m : march) {
                if (const int r = MarchOver(m, e, row * columns, columns, progress); r != 1) return r;
            }
            WriteRegister(7, 0);
        }
    }
    return 1;
}

} // namespace

bool RamTypePowerable(const RamTypeEntry& e) { return e.VccPin != e.GndPin; }

void PowerUpRamTest(int row) {
    const RamTypeEntry& e = RamTypeTable[row];
    SetVccRange(0, 33);
    SetAllDacVoltages(0, 0, 50, 50);
    SetGroundPin(e.GndPin, 1);
    DelayMsSlot(100);
    if (row == 7) WriteRegister(5, 1);
    if (row == 8) WriteRegister(1, 0x20);
    if (row == 10) WriteRegister(2, 6);
    WriteRegister(4, 1);
    SetSupplyPinB(e.VccPin, 1);
    DelayMsSlot(100);
}

void PowerDownRamTest(int row) {
    const RamTypeEntry& e = RamTypeTable[row];
    SetSupplyPinB(e.VccPin, 0);
    SetGroundPin(e.GndPin, 0);
}

int RunRamTest(int row) {
    if (row < 0 || row >= kRamTypeCount) return kRamTestRefused;
    const RamTypeEntry& e = RamTypeTable[row];
    if (!RamTypePowerable(e)) return kRamTestRefused;
    if (ConnectProgrammer(0) != 1) return kResultNoProgrammer;
    LoadImage(kLibraryTestImage);
    char map[kPinMapBytes];
    ScanPinConnections(map, 2);
    bool seated = false;
    for (int i = 0; i < 48; ++i) seated |= map[i] == 'G';
    if (!seated) return kResultEmpty;
    LoadImage(e.LogicImage);
    const TestRunScope running;
    ResetProgrammerOutputs();
    PowerUpRamTest(row);
    WriteRegister(4, 3);
    if (e.Mode == 0) {
        for (int i = 0; i < 100; ++i) WriteRegister(3, 1);
    }
    const std::vector<MarchElement> march = BuildMarch(e);
    MarchProgress progress(e, march.size());
    int result = 1;
    for (RamTestAddress = 0; RamTestAddress < e.Size; ++RamTestAddress) {
        const uint32_t a = RamTestAddress;
        if (a % 256 == 0) {
            result = ShowRamProgress(a, progress.Total());
            if (result != 1) break;
        }
        if (!TestLocation(e)) {
            result = -1;
            break;
        }
        WriteRegister(6, 0);
        if (e.Mode != 2 && e.RowLength != 0 && a % e.RowLength == e.RowLength - 1) WriteRegister(7, 0);
    }
    if (result == 1) result = e.Mode == 2 ? MarchStatic(e, march, progress) : MarchDynamic(e, march, progress);
    if (result == 1) {
        ShowPercentDone(progress.Total() - 1, progress.Total());
    } else if (result != 3) {
        result = -1;
    }
    PowerDownRamTest(row);
    ResetProgrammerOutputs();
    return result;
}

void ReportRamTestResult(int result, int row) {
    const char* text = nullptr;
    switch (result) {
    case 1:
        // A DRAM's march stays within a row, kept refreshed by its own cycles.
        text = row >= 0 && row < kRamTypeCount && RamTypeTable[row].Mode != 2
                   ? "Good Memory! (row address lines, disturbance between rows and retention not tested)"
                   : "Good Memory!";
        break;
    case -1:
        text = "Defective Memory!";
        break;
    case 3:
        text = "User Break!";
        break;
    case kRamTestRefused:
        text = "This RAM type can not be tested!";
        break;
    case kResultEmpty:
        text = "Socket is empty!";
        break;
    case kResultNoProgrammer:
        text = "Can not be executed with Communication Error!";
        break;
    default:
        return;
    }
    Beep(result == 1 ? 1 : -1);
    ShowMessageLine("%s", text);
}
