// EPM-type EEPROM CPLDs whose rows are selected through one-hot select
// chains (rows 296 and 299): an array area (108 or 106 rows) and a smaller
// configuration area, 80 bits a row and block shifted in and out on one data
// pin per block, as on the row shift interface. The module keeps an image of
// both areas (array at fuse 100000, configuration at 200000) and converts it
// to and from the user map through the variant's map; array row 0 holds the
// identification block, configuration row 0 the security bits.

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"

namespace {

constexpr int kChainPulseTable[32] = {2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,  24,  26,  28,  30,  34,
                                      36, 38, 40, 44, 48, 52, 56, 60, 66, 72, 80, 90, 100, 130, 160, 200};
constexpr int kChainVppTable[8] = {112, 115, 117, 120, 122, 125, 127, 130};

constexpr uint32_t kArrayBase = 100000;
constexpr uint32_t kConfigBase = 200000;
constexpr int kWriting = 1;
constexpr int kRowBits = 80;
enum Group { kDataInGroup = 0, kDataOutGroup = 1, kSelectGroup = 2 };

// Socket pins of one adapter column (0: not assigned).
struct ChainPins {
    int In[8], Out[8];
    int SelectA, SelectB, ConfigSelect, Erase, HeldLow, SelectClock, EraseEnd, ProgramMode, RowEnable, ShiftClock,
        Strobe, ReadClock, Vpp;
};
struct ChainPinColumn {
    int Adapter;
    int Variant; // -1: any the data pins serve
    int DataPins;
    ChainPins Pins;
};
const ChainPinColumn kChainPinMap[] = {
    {47, -1, 8, {{27, 36, 40, 47, 2, 8, 1, 11}, {32, 33, 37, 41, 7, 13, 18, 23}, 45, 4, 6, 12, 14, 26, 10, 38, 25, 17,
                 20, 22, 30}},
    {46, -1, 4, {{35, 46, 6, 14}, {32, 36, 13, 23}, 43, 45, 48, 31, 33, 40, 15, 16, 17, 19, 25, 22, 30}},
    {45, -1, 4, {{36, 47, 2, 12}, {26, 37, 8, 21}, 42, 46, 48, 33, 10, 40, 13, 14, 15, 20, 19, 22, 23}},
    {82, 0, 2, {{7, 43}, {23, 26}, 41, 40, 39, 9, 10, 34, 42, 20, 15, 6, 3, 45, 46}},
    {82, 1, 4, {{13, 22, 27, 36}, {6, 15, 34, 43}, 20, 21, 23, 9, 10, 18, 38, 39, 40, 42, 3, 45, 46}},
};

// The geometry of a device: blocks, configuration rows, array-chain length,
// array block stride (fuses), inverted-cell flag.
struct ChainGeometry {
    uint32_t Row;
    int Blocks, ConfigRows, Length, Stride, InvertedFlag;
};

bool Geometry(uint32_t row, uint32_t variant, ChainGeometry& g) {
    if (row == 299) {
        if (variant != 0) return false;
        g = {299, 8, 77, 106, 8480, 98};
        return true;
    }
    switch (variant) {
    case 0: g = {296, 2, 21, 108, 8640, 100}; return true;
    case 1: g = {296, 4, 37, 108, 8640, 100}; return true;
    case 3: g = {296, 8, 57, 108, 8640, 100}; return true;
    default: return false; // variant 2 is an empty slot
    }
}

const ChainPinColumn* ColumnFor(uint32_t row, uint32_t adapter, uint32_t variant) {
    ChainGeometry g{};
    if (!Geometry(row, variant, g)) return nullptr;
    if (row == 299 && adapter != 47) return nullptr;
    for (const ChainPinColumn& c : kChainPinMap) {
        if (static_cast<uint32_t>(c.Adapter) != adapter) continue;
        if (c.Variant >= 0 && static_cast<uint32_t>(c.Variant) != variant) continue;
        return g.Blocks <= c.DataPins ? &c : nullptr;
    }
    return nullptr;
}

ChainGeometry G{};
const ChainPins* P = nullptr;
uint32_t g_supply = 50;
int g_pulseIndex = 0, g_vppIndex = 0, g_field1 = 0, g_field4 = 0;

uint32_t ArrayFuse(int b, int row, int col) {
    return kArrayBase + static_cast<uint32_t>(G.Stride * b + kRowBits * row + col);
}
uint32_t ConfigFuse(int b, int row, int col) {
    return kConfigBase + static_cast<uint32_t>(kRowBits * (G.ConfigRows * b + row) + col);
}
uint32_t ImageFuse(bool config, int b, int row, int col) {
    return config ? ConfigFuse(b, row, col) : ArrayFuse(b, row, col);
}

// --- Power

int PowerUpChain(int mode) {
    ReadBackAfterSecure = 0;
    const ChainPinColumn* column = ColumnFor(CurrentAlgorithm, AdapterCode, DeviceVariant);
    if (column == nullptr) {
        P = nullptr;
        RefuseRun(" Adapter not supported for this device");
        return -1;
    }
    Geometry(CurrentAlgorithm, DeviceVariant, G);
    P = &column->Pins;
    int in[9] = {}, out[9] = {};
    for (int b = 0; b < G.Blocks; ++b) {
        in[b] = P->In[b];
        out[b] = P->Out[b];
    }
    DefinePinGroup("", kDataInGroup, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], 0);
    DefinePinGroup("", kDataOutGroup, out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], 0);
    DefinePinGroup("", kSelectGroup, P->SelectA, P->SelectB, P->ConfigSelect, 0);
    g_supply = mode == kWriting ? 50 : ReadVccInUse;
    SupplyVoltage = g_supply;
    SetVccRange(0, static_cast<int>(g_supply));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(P->Strobe, 1);
    SetDevicePower(1, static_cast<int>(g_supply));
    DelayUsSlot(10);
    const bool high = CurrentAlgorithm == 299 || CurrentDeviceName == "EPM7128E";
    ApplyVppToPin(P->Vpp, 1, high ? 120 : 100);
    DelayUsSlot(25);
    WritePinGroup(kDataInGroup, 0, G.Blocks - 1, 0);
    WritePinGroup(kSelectGroup, 0, 2, 0);
    for (int pin : {P->Erase, P->HeldLow, P->SelectClock, P->EraseEnd, P->ProgramMode, P->RowEnable, P->ShiftClock,
                    P->ReadClock})
        SetPin(pin, 0);
    return 1;
}

void PowerDownChain() {
    if (P == nullptr) return;
    ApplyVppToPin(P->Vpp, 0, 50);
    DelayUsSlot(G.Row == 299 ? 100 : 10);
    SetDevicePower(0, static_cast<int>(g_supply));
    DelayMsSlot(100);
}

// --- Shifting, selecting, rows

void ShiftEpmChainByte(uint32_t value) {
    WritePinGroup(kDataInGroup, 0, G.Blocks - 1, value);
    PulsePin(P->ShiftClock, 3);
    WritePinGroup(kDataInGroup, 0, G.Blocks - 1, 0);
}

void SelectEpmChainRow(int row, bool config) {
    const int n = config ? G.ConfigRows : G.Length;
    for (int i = 0; i < n; ++i) {
        const bool on = row == n - 1 - i;
        if (on) {
            if (config) SetPin(P->ConfigSelect, 1);
            else WritePinGroup(kSelectGroup, 0, 1, 3);
        }
        PulsePin(P->SelectClock, 3);
        if (on) WritePinGroup(kSelectGroup, 0, 2, 0);
    }
}

int ReadEpmChainRow(int row, bool config) {
    for (int i = 0; i < 16; ++i)
        for (uint32_t v : {0u, 0u, 0u, 0u, 4095u}) ShiftEpmChainByte(v);
    SelectEpmChainRow(row, config);
    int r = 1;
    for (int pass = 0; pass < 5; ++pass) {
        SetPin(P->ReadClock, 1);
        SetPin(P->RowEnable, 1);
        SetPin(P->ReadClock, 0);
        for (int s = 0; s < 16; ++s) {
            if (s > 0) PulsePin(P->ReadClock, 3);
            const uint64_t v = ReadPinGroup(kDataOutGroup, 0, G.Blocks - 1);
            for (int b = 0; b < G.Blocks; ++b) {
                SetBufferBit(ImageFuse(config, b, row, 5 * (15 - s) + pass), static_cast<uint32_t>((v >> b) & 1));
                r = StepProgress(FailAddress);
                if (r != 1) {
                    SetPin(P->RowEnable, 0);
                    return r;
                }
            }
        }
        SetPin(P->RowEnable, 0);
        if (pass < 4) ShiftEpmChainByte(0);
    }
    return r;
}

int ProgramEpmChainRow(int row, bool config) {
    for (int i = 0; i < kRowBits; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < G.Blocks; ++b) v |= GetBufferBit(ImageFuse(config, b, row, kRowBits - 1 - i)) << b;
        ShiftEpmChainByte(v);
        const int r = StepProgress(FailAddress);
        if (r != 1) return r;
    }
    SelectEpmChainRow(row, config);
    SetPin(P->ProgramMode, 1);
    SetPin(P->RowEnable, 1);
    SetPin(P->Strobe, 0);
    DelayMsSlot(static_cast<uint32_t>(kChainPulseTable[g_pulseIndex & 31]));
    SetPin(P->Strobe, 1);
    SetPin(P->RowEnable, 0);
    SetPin(P->ProgramMode, 0);
    ShiftEpmChainByte(0);
    return 1;
}

void FillEpmChainImage(uint32_t value) {
    for (uint32_t n = kArrayBase; n < kConfigBase + 56000; ++n) SetBufferBit(n, value);
}

// --- Identification

int CheckIdBytes(const uint8_t* id, const char* text, size_t length, int field4Max) {
    g_field1 = id[8] >> 5;
    g_pulseIndex = id[8] & 31;
    g_vppIndex = id[9] >> 5;
    g_field4 = id[9] & 31;
    if (std::memcmp(id, text, length) != 0) return -1;
    return g_field4 <= field4Max ? 1 : -1;
}

// Columns 5k + pass of array row 0 of block b into bytes `even` and even + 1.
void TakeIdBytes(uint8_t* id, int b, int pass, int even) {
    for (int k = 0; k < 16; ++k) {
        const uint32_t bit = GetBufferBit(ArrayFuse(b, 0, 5 * k + pass));
        if (k < 8) id[even] = static_cast<uint8_t>(id[even] | bit << (7 - k));
        else id[even + 1] = static_cast<uint8_t>(id[even + 1] | bit << (15 - k));
    }
}

int CheckEpmIdBlock296v0(uint8_t* id) {
    for (int pass = 0; pass < 2; ++pass)
        for (int b = 0; b < 2; ++b) TakeIdBytes(id, b, pass, 4 * pass + 2 * b);
    TakeIdBytes(id, 0, 2, 8);
    return CheckIdBytes(id, "ALTERA98", 8, 0);
}
int CheckEpmIdBlock296v1(uint8_t* id) {
    for (int b = 0; b < 4; ++b) TakeIdBytes(id, b, 0, 2 * b);
    TakeIdBytes(id, 0, 1, 8);
    return CheckIdBytes(id, "ALTERA9", 7, 2);
}
int CheckEpmIdBlock296v3(uint8_t* id) {
    for (int b = 0; b < 5; ++b) TakeIdBytes(id, b, 0, 2 * b);
    return CheckIdBytes(id, "ALTERA9", 7, 2);
}
int CheckEpmIdBlock299(uint8_t* id) { return CheckEpmIdBlock296v3(id); }

int IdentifyChain(int mode) {
    const int r = ReadEpmChainRow(0, false);
    if (r != 1) {
        PowerDownChain();
        return r;
    }
    uint8_t id[10] = {};
    const int ok = G.Row == 299       ? CheckEpmIdBlock299(id)
                   : G.Blocks == 2    ? CheckEpmIdBlock296v0(id)
                   : G.Blocks == 4    ? CheckEpmIdBlock296v1(id)
                                      : CheckEpmIdBlock296v3(id);
    if (ok != 1) {
        PowerDownChain();
        return RefuseIdentity(false, " Invalid Chip ID");
    }
    if (mode == kWriting) {
        SetDacVoltage(1, kChainVppTable[g_vppIndex & 7]);
        SetDacVoltage(2, kChainVppTable[g_vppIndex & 7]);
    }
    DelayUsSlot(100);
    return 1;
}

// --- Cells

int CountLowOnes(uint32_t bits, int n) {
    int k = 0;
    while (k < n && ((bits >> k) & 1) != 0) ++k;
    return k;
}
uint32_t ClearMask(int v, int n) {
    const uint32_t all = (1u << n) - 1;
    return v >= 0 && v < n ? all & ~(1u << v) : all;
}
uint32_t ReverseBits(uint32_t v, int n) {
    uint32_t r = 0;
    for (int i = 0; i < n; ++i) r |= ((v >> i) & 1) << (n - 1 - i);
    return r;
}

// One cell between the user map and the image fuse (or `value` when image
// is -1); the module's inverted-cell flag inverts, flag -1 marks a coded
// field's bit (blank 0).
int TransferEpmCell(uint32_t user, int64_t image, int value, int mode, int flag) {
    const uint32_t bit = image < 0 ? static_cast<uint32_t>(value & 1) : GetBufferBit(static_cast<uint32_t>(image));
    FailAddress = user;
    const uint32_t inv = flag == G.InvertedFlag ? 1 : 0;
    switch (mode) {
    case 2: SetBufferBit(user, bit ^ inv); return 1;
    case 0:
    case 6:
        BlankValue = flag == -1 ? 0 : 1;
        return bit == BlankValue ? 1 : -1;
    case 3: return GetBufferBit(user) == (bit ^ inv) ? 1 : -1;
    case kWriting:
        if (image >= 0) SetBufferBit(static_cast<uint32_t>(image), GetBufferBit(user) ^ inv);
        return 1;
    default: return 1;
    }
}

int CopyEpmCell(uint32_t user, uint32_t image, int mode) {
    const uint32_t bit = GetBufferBit(image);
    FailAddress = user;
    switch (mode) {
    case 2: SetBufferBit(user, bit); return 1;
    case 0:
    case 6: return bit == BlankValue ? 1 : -1;
    case 3: return GetBufferBit(user) == bit ? 1 : -1;
    case kWriting: SetBufferBit(image, GetBufferBit(user)); return 1;
    default: return 1;
    }
}

constexpr int kFieldColumns[9] = {15, 14, 12, 10, 8, 6, 4, 2, 0};

// Coded fields: 36 a block of `width` user bits (most significant first) at
// base + perBlock x b + step x m, each as `bits` image bits in consecutive
// configuration rows from rows[m / 9]; the third and fourth groups hold the
// bits reversed. Every field must be erased in a blank check.
int CodedFields(uint32_t base, uint32_t perBlock, uint32_t step, int width, int bits, const int* rows, int mode) {
    for (int b = 0; b < G.Blocks; ++b)
        for (int m = 0; m < 36; ++m) {
            const uint32_t first = base + perBlock * static_cast<uint32_t>(b) + step * static_cast<uint32_t>(m);
            const bool reversed = m / 9 >= 2;
            auto fuse = [&](int k) { return ConfigFuse(b, rows[m / 9] + k, 5 * kFieldColumns[m % 9]); };
            if (mode == kWriting) {
                int v = 0;
                for (int t = 0; t < width; ++t)
                    v = v << 1 | static_cast<int>(GetBufferBit(first + static_cast<uint32_t>(t)));
                uint32_t mask = ClearMask(v, bits);
                if (reversed) mask = ReverseBits(mask, bits);
                for (int k = 0; k < bits; ++k) SetBufferBit(fuse(k), (mask >> k) & 1);
                continue;
            }
            uint32_t raw = 0;
            for (int k = 0; k < bits; ++k) raw |= GetBufferBit(fuse(k)) << k;
            if (reversed) raw = ReverseBits(raw, bits);
            if (mode == 0) {
                FailAddress = first;
                if (raw != (1u << bits) - 1) return -1;
                continue;
            }
            const int v = CountLowOnes(raw, bits);
            for (int t = 0; t < width; ++t)
                if (TransferEpmCell(first + static_cast<uint32_t>(t), -1, (v >> (width - 1 - t)) & 1, mode, -1) == -1)
                    return -1;
        }
    return 1;
}

int LogicArray(int mode) {
    for (int b = 0; b < G.Blocks; ++b)
        for (int r = 0; r < 80; ++r)
            for (int c = 0; c < 88; ++c) {
                const uint32_t user = static_cast<uint32_t>(7040 * b + 88 * r + c);
                if (TransferEpmCell(user, 100080 + int64_t{G.Stride} * b + r + 80 * c, 0, mode, 0) == -1) return -1;
            }
    return 1;
}

// Macrocells of 12 cells: rows 89-100, column 5s.
int Macrocells12(uint32_t base, int mode) {
    for (int b = 0; b < G.Blocks; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 12; ++j) {
                const uint32_t user = base + static_cast<uint32_t>(192 * b + 12 * s + j);
                if (TransferEpmCell(user, 107120 + 8640 * b + 80 * j + 5 * s, 0, mode, 89 + j) == -1) return -1;
            }
    return 1;
}

struct PinColumns {
    int Count;
    int X[12];
};
// Row 296 variant 1, by sub-variant: block 0, blocks 1-3.
const PinColumns kPinColumns1[2][2] = {
    {{8, {0, 2, 3, 4, 7, 10, 13, 15}}, {8, {0, 2, 3, 4, 7, 8, 13, 15}}},
    {{12, {0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}}, {12, {0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}}},
};
// Row 296 variant 3 and row 299, by sub-variant: blocks 0, 2, 5, 7, then
// blocks 1, 3, 4, 6.
const PinColumns kPinColumns8[2][2] = {
    {{8, {2, 4, 5, 7, 10, 12, 13, 15}}, {8, {0, 2, 4, 7, 8, 10, 12, 15}}},
    {{10, {0, 2, 4, 5, 7, 8, 10, 12, 13, 15}}, {10, {0, 2, 4, 5, 7, 8, 10, 12, 13, 15}}},
};
const PinColumns& PinColumnsOf(int b) {
    const uint32_t sub = DeviceSubVariant > 1 ? 1 : DeviceSubVariant;
    if (G.Blocks == 4) return kPinColumns1[sub][b == 0 ? 0 : 1];
    const bool first = b == 0 || b == 2 || b == 5 || b == 7;
    return kPinColumns8[sub][first ? 0 : 1];
}

int PackagePins() { return PackageRow(PackageIndex).PinCount; }

void ClearArray(int b, int row, int col) { SetBufferBit(ArrayFuse(b, row, col), 0); }
void ClearFuses(std::initializer_list<uint32_t> fuses) {
    for (uint32_t f : fuses) SetBufferBit(f, 0);
}

constexpr int kRows296v0[4] = {17, 11, 7, 1};
constexpr int kRows296v1[4] = {29, 19, 11, 1};
constexpr int kRows13[4] = {44, 29, 16, 1};

int MapEpm296v0(int mode) {
    if (Macrocells12(14080, mode) == -1) return -1;
    for (int b = 0; b < 2; ++b)
        for (int s = 0; s < 16; ++s)
            for (int k = 0; k < 2; ++k) {
                const uint32_t user = static_cast<uint32_t>(14608 + 32 * b + 2 * s + k);
                if (TransferEpmCell(user, 108160 + 8640 * b + 80 * k + 5 * s, 0, mode, 102 + k) == -1) return -1;
            }
    if (CodedFields(14464, 72, 2, 2, 4, kRows296v0, mode) == -1) return -1;
    if (mode == kWriting) {
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < 16; ++c) ClearArray(b, 105, c);
        ClearFuses({200245, 202165, 200725, 202405, 200965, 202645, 201445, 203125});
    }
    return 1;
}

// Pin codes of row 296 variant 1: user value 0-3 as the 3-bit image code.
constexpr uint32_t kPinCodes[4] = {4, 5, 0, 7};

int PinCodes296v1(int n, int mode) {
    int previous = 0;
    for (int b = 0; b < 4; ++b) {
        const PinColumns& cols = PinColumnsOf(b);
        for (int i = 0; i < n && i < cols.Count; ++i) {
            const uint32_t user = static_cast<uint32_t>(29360 + 2 * (b * n + i));
            auto fuse = [&](int k) { return ArrayFuse(b, 102 + k, 5 * cols.X[i]); };
            if (mode == kWriting) {
                const uint32_t v = GetBufferBit(user) << 1 | GetBufferBit(user + 1);
                for (int k = 0; k < 3; ++k) SetBufferBit(fuse(k), (kPinCodes[v] >> k) & 1);
                continue;
            }
            uint32_t code = 0;
            for (int k = 0; k < 3; ++k) code |= GetBufferBit(fuse(k)) << k;
            int v = previous;
            for (int c = 0; c < 4; ++c)
                if (kPinCodes[c] == code) v = c;
            previous = v;
            for (int t = 0; t < 2; ++t)
                if (TransferEpmCell(user + static_cast<uint32_t>(t), -1, (v >> (1 - t)) & 1, mode, 0) == -1) return -1;
        }
    }
    return 1;
}

int MapEpm296v1(int mode) {
    if (Macrocells12(28160, mode) == -1) return -1;
    const int pins = PackagePins();
    const int n = pins == 44 ? 8 : pins == 68 ? 12 : pins == 84 ? 16 : 0;
    if (PinCodes296v1(n, mode) == -1) return -1;
    if (CodedFields(28928, 108, 3, 3, 8, kRows296v1, mode) == -1) return -1;
    if (mode == kWriting) {
        auto clear = [](int b, int x) {
            ClearArray(b, 102, 5 * x);
            ClearArray(b, 103, 5 * x);
        };
        if (pins == 44) {
            for (int b = 0; b < 4; ++b)
                for (int x : {1, 5, 6, 9, 11, 12, 14}) clear(b, x);
            clear(0, 8);
            for (int b = 1; b < 4; ++b) clear(b, 10);
        } else if (pins == 68) {
            for (int b = 0; b < 4; ++b)
                for (int x : {1, 6, 9, 14}) clear(b, x);
        }
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 16; ++c) ClearArray(b, 105, c);
        ClearFuses({201205, 211525, 209365, 209765});
    }
    return 1;
}

int PinCells8(uint32_t base, int mode) {
    const int pins = PackagePins();
    const int n = pins == 84 ? 8 : pins == 100 ? 10 : pins == 160 ? 12 : 0;
    for (int b = 0; b < 8; ++b) {
        const PinColumns& cols = PinColumnsOf(b);
        for (int i = 0; i < n && i < cols.Count; ++i)
            for (int k = 0; k < 2; ++k) {
                const uint32_t user = base + static_cast<uint32_t>(2 * (b * n + i) + k);
                if (TransferEpmCell(user, 108160 + 8640 * b + 80 * k + 5 * cols.X[i], 0, mode, 0) == -1) return -1;
            }
    }
    return 1;
}

int MapEpm296v3(int mode) {
    if (Macrocells12(56320, mode) == -1) return -1;
    if (PinCells8(59008, mode) == -1 || CodedFields(57856, 144, 4, 4, 13, kRows13, mode) == -1) return -1;
    if (mode == kWriting) {
        for (int b = 0; b < 8; ++b) {
            if (PackagePins() == 100)
                for (int x : {3, 11}) {
                    ClearArray(b, 102, 5 * x);
                    ClearArray(b, 103, 5 * x);
                }
            for (int c = 0; c < 16; ++c)
                if (c != 1 && c != 6 && c != 9 && c != 14) ClearArray(b, 105, c);
        }
        ClearFuses({204965, 206165, 207525, 230325, 208725, 231525, 227845, 229525});
    }
    return 1;
}

// --- Direct-cell maps

struct DirectMap {
    int Blocks;
    uint32_t MacroBase;
    uint32_t PinBase; // 0: the 12-pin layout of the 8-block part
    uint32_t FieldBase;
    int FieldBits;
    uint32_t FieldPerBlock;
    int R[4][14];
    uint32_t SharedBase;
    int SharedBits;
    int Y[6];
    bool PinsFirst;
};
constexpr int kSharedZ[6] = {2, 0, 0, 1, 1, 3};

const DirectMap kDirect0{2,    14080, 14814, 14496, 4, 144,
                         {{17, 18, 19, 20, 16}, {11, 12, 13, 14, 15}, {10, 9, 8, 7, 6}, {4, 3, 2, 1, 5}},
                         14784, 5, {0, 0, 1, 0, 1, 0}, false};
const DirectMap kDirect1{4,    28160, 30198, 28992, 8, 288,
                         {{29, 30, 31, 32, 33, 34, 35, 36, 28},
                          {19, 20, 21, 22, 23, 24, 25, 26, 27},
                          {18, 17, 16, 15, 14, 13, 12, 11, 10},
                          {8, 7, 6, 5, 4, 3, 2, 1, 9}},
                         30144, 9, {0, 0, 3, 0, 3, 0}, true};
const DirectMap kDirect3{8,    56320, 0, 57984, 14, 504,
                         {{44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 43},
                          {29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42},
                          {28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15},
                          {13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 14}},
                         62016, 14, {1, 1, 6, 1, 6, 1}, true};

struct DirectCell {
    uint32_t User, Image;
};

int RunDirect(const DirectMap& d, int mode) {
    const uint32_t cstride = static_cast<uint32_t>(80 * G.ConfigRows);
    auto cell = [&](uint32_t user, uint32_t image) { return CopyEpmCell(user, image, mode); };
    auto macro = [&] {
        for (int b = 0; b < d.Blocks; ++b)
            for (int s = 0; s < 16; ++s)
                for (int j = 0; j < 13; ++j)
                    if (cell(d.MacroBase + static_cast<uint32_t>(208 * b + 13 * s + j),
                             static_cast<uint32_t>(107120 + 8640 * b + 80 * j + 5 * s)) == -1)
                        return -1;
        return 1;
    };
    auto fields = [&] {
        for (int b = 0; b < d.Blocks; ++b)
            for (int m = 0; m < 36; ++m)
                for (int t = 0; t < d.FieldBits; ++t) {
                    const uint32_t user = d.FieldBase + d.FieldPerBlock * static_cast<uint32_t>(b) +
                                          static_cast<uint32_t>(d.FieldBits * m + t);
                    const uint32_t image = kConfigBase + cstride * static_cast<uint32_t>(b) +
                                           static_cast<uint32_t>(80 * d.R[m / 9][t] + 5 * kFieldColumns[m % 9]);
                    if (cell(user, image) == -1) return -1;
                }
        return 1;
    };
    auto shared = [&] {
        for (int g = 0; g < 6; ++g)
            for (int t = 0; t < d.SharedBits; ++t) {
                const uint32_t user = d.SharedBase + static_cast<uint32_t>(d.SharedBits * g + t);
                const uint32_t image = 200005 + cstride * static_cast<uint32_t>(d.Y[g]) +
                                       static_cast<uint32_t>(80 * d.R[kSharedZ[g]][t]);
                if (cell(user, image) == -1) return -1;
            }
        return 1;
    };
    auto pins = [&] {
        if (d.PinBase == 0) {
            static constexpr int kCols[12] = {0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15};
            for (int b = 0; b < 8; ++b)
                for (int i = 0; i < 12; ++i)
                    for (int t = 0; t < 6; ++t)
                        if (cell(static_cast<uint32_t>(62100 + 72 * b + 6 * i + t),
                                 static_cast<uint32_t>(108160 + 8640 * b + 80 * t + 5 * kCols[i])) == -1)
                            return -1;
            return 1;
        }
        for (int b = 0; b < d.Blocks; ++b)
            for (int s = 0; s < 16; ++s)
                for (int t = 0; t < 6; ++t)
                    if (cell(d.PinBase + static_cast<uint32_t>(3 * (32 * b + 2 * s) + t),
                             static_cast<uint32_t>(108160 + 8640 * b + 80 * t + 5 * s)) == -1)
                        return -1;
        return 1;
    };
    auto last = [&] {
        std::vector<DirectCell> cells;
        uint32_t setFrom = 0, setTo = 0; // user fuses a read sets to 1
        if (d.Blocks == 2) {
            for (uint32_t t = 0; t < 3; ++t) cells.push_back({15006 + t, 201685 + 80 * (t + 6)});
            setFrom = 15009;
            setTo = 15015;
            cells.push_back({15016, 202405});
            for (uint32_t t = 0; t < 16; ++t) cells.push_back({15017 + t, 201695 + 80 * (t + 1)});
        } else if (d.Blocks == 4) {
            for (uint32_t t = 0; t < 3; ++t) cells.push_back({30582 + t, 208885 + 80 * (t + 6)});
            setFrom = 30585;
            setTo = 30591;
            cells.push_back({30592, 209765});
            for (uint32_t t = 0; t < 16; ++t) cells.push_back({30593 + t, 209919 + 80 * (t + 1)});
        } else {
            for (uint32_t t = 0; t < 4; ++t) cells.push_back({62676 + t, 227365 + 80 * (t + 6)});
            for (uint32_t t = 0; t < 2; ++t) cells.push_back({62680 + t, 227365 + 80 * (t + 1)});
            cells.push_back({62682, 227765});
            cells.push_back({62683, 228165});
            for (uint32_t t = 0; t < 2; ++t) cells.push_back({62684 + t, 227365 + 80 * (t + 22)});
            cells.push_back({62686, 229525});
            for (uint32_t t = 0; t < 16; ++t) cells.push_back({62687 + t, 227375 + 80 * (t + 6)});
        }
        if (mode == 2)
            for (uint32_t n = setFrom; setTo != 0 && n <= setTo; ++n) SetBufferBit(n, 1);
        for (const DirectCell& c : cells)
            if (cell(c.User, c.Image) == -1) return -1;
        return 1;
    };
    if (macro() == -1) return -1;
    if (d.PinsFirst) {
        if (pins() == -1 || fields() == -1 || shared() == -1) return -1;
    } else if (fields() == -1 || shared() == -1 || pins() == -1) {
        return -1;
    }
    return last();
}

int MapEpm296(int mode) {
    if (LogicArray(mode) == -1) return -1;
    if (G.Blocks == 2 && DeviceSize == 15033) return RunDirect(kDirect0, mode);
    if (G.Blocks == 4 && DeviceSize == 30609) return RunDirect(kDirect1, mode);
    if (G.Blocks == 8 && CurrentDeviceName == "EPM7128S") return RunDirect(kDirect3, mode);
    if (G.Blocks == 2) return MapEpm296v0(mode);
    if (G.Blocks == 4) return MapEpm296v1(mode);
    return MapEpm296v3(mode);
}

int MapEpm299(int mode) {
    if (LogicArray(mode) == -1) return -1;
    static constexpr int kM[14] = {96, 92, 90, 94, 91, 100, 89, 99, 95, 93, 101, 98, 97, 102};
    for (int b = 0; b < 8; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 14; ++j) {
                const uint32_t user = static_cast<uint32_t>(56320 + 224 * b + 14 * s + j);
                if (TransferEpmCell(user, 100000 + 8480 * b + 80 * kM[j] + 5 * s, 0, mode, kM[j]) == -1) return -1;
            }
    const int pins = PackagePins();
    const int n = pins == 84 ? 8 : pins == 100 ? 10 : pins == 160 ? 12 : 0;
    for (int b = 0; b < 8; ++b) {
        const PinColumns& cols = PinColumnsOf(b);
        for (int i = 0; i < n && i < cols.Count; ++i)
            for (int t = 0; t < 3; ++t)
                if (CopyEpmCell(static_cast<uint32_t>(59582 + 3 * (b * n + i) + t),
                                static_cast<uint32_t>(108240 + 8480 * b + 80 * t + 5 * cols.X[i]), mode) == -1)
                    return -1;
    }
    const uint32_t pinEnd = static_cast<uint32_t>(59582 + 24 * n);
    for (uint32_t t = 0; t < 3; ++t)
        if (CopyEpmCell(pinEnd + t, 236965 + 80 * (t + 6), mode) == -1) return -1;
    static constexpr int kDirectRows[4] = {43, 42, 15, 14};
    for (int b = 0; b < 8; ++b)
        for (int m = 0; m < 36; ++m)
            if (CopyEpmCell(static_cast<uint32_t>(58116 + 180 * b + 5 * m),
                            static_cast<uint32_t>(200000 + 6160 * b + 80 * kDirectRows[m / 9] + 5 * kFieldColumns[m % 9]),
                            mode) == -1)
                return -1;
    static constexpr DirectCell kFixed[] = {{59556, 207365}, {59561, 209605}, {59566, 240405},
                                            {59571, 209525}, {59576, 240325}, {59581, 207285}};
    for (const DirectCell& c : kFixed)
        if (CopyEpmCell(c.User, c.Image, mode) == -1) return -1;
    for (uint32_t t = 0; t < 4; ++t) {
        const DirectCell cells[6] = {{59552 + t, 206165 + 80 * (28 - t)}, {59557 + t, 206165 + 80 * (44 + t)},
                                     {59562 + t, 236965 + 80 * (44 + t)}, {59567 + t, 206165 + 80 * (29 + t)},
                                     {59572 + t, 236965 + 80 * (29 + t)}, {59577 + t, 206165 + 80 * (13 - t)}};
        for (const DirectCell& c : cells)
            if (CopyEpmCell(c.User, c.Image, mode) == -1) return -1;
    }
    if (CodedFields(58112, 180, 5, 4, 13, kRows13, mode) == -1) return -1;
    if (mode == kWriting) {
        auto clear = [](int b, int x) {
            ClearArray(b, 103, 5 * x);
            ClearArray(b, 104, 5 * x);
        };
        for (int b = 0; b < 8; ++b) {
            const bool first = b == 0 || b == 2 || b == 5 || b == 7;
            if (pins == 84) {
                for (int x0 : {0, 8}) {
                    if (first) clear(b, x0);
                    clear(b, x0 + 3);
                    if (!first) clear(b, x0 + 5);
                }
            } else if (pins == 100) {
                clear(b, 3);
                clear(b, 11);
            }
        }
    }
    return 1;
}

int Map(int mode) {
    if (G.Row == 299) return MapEpm299(mode);
    return MapEpm296(mode);
}

// --- Entries

int ChainRead(int mode) {
    if (PowerUpChain(2) != 1) return -1;
    int r = IdentifyChain(mode);
    if (r != 1) return r;
    for (int row = 1; row < G.Length && r == 1; ++row) r = ReadEpmChainRow(row, false);
    for (int row = 1; row < G.ConfigRows && r == 1; ++row) r = ReadEpmChainRow(row, true);
    if (r != 1) {
        PowerDownChain();
        return r;
    }
    r = Map(mode);
    PowerDownChain();
    return r;
}

// What a map may not ask of the part, refused before the part is touched:
// the 8-block coded fields keep one of 13 cells cleared, or none (values
// 0-13), and the user numbers between the closing cells of the 2- and
// 4-block cell-by-cell maps have no cell and read 1.
bool MapFitsPart() {
    ChainGeometry g{};
    if (!Geometry(CurrentAlgorithm, DeviceVariant, g)) return true; // the power-up refuses it
    uint32_t first = 0, step = 0;
    if (g.Row == 299) {
        first = 58112;
        step = 5;
    } else if (g.Blocks == 8 && CurrentDeviceName != "EPM7128S") {
        first = 57856;
        step = 4;
    }
    for (uint32_t m = 0; step != 0 && m < 8 * 36; ++m) {
        const uint32_t f = first + step * m;
        uint32_t v = 0;
        for (uint32_t t = 0; t < 4; ++t) v = v << 1 | GetBufferBit(f + t);
        if (v <= 13) continue;
        FailAddress = f;
        ShowMessageLine(" Fuses %u-%u hold %u; this device's field takes 0-13.", f, f + 3, v);
        return false;
    }
    uint32_t from = 0;
    if (g.Blocks == 2 && DeviceSize == 15033) from = 15009;
    if (g.Blocks == 4 && DeviceSize == 30609) from = 30585;
    for (uint32_t n = from; from != 0 && n <= from + 6; ++n)
        if (GetBufferBit(n) != 1) {
            FailAddress = n;
            ShowMessageLine(" Fuse %u is fixed at 1 on this device; the file sets 0.", n);
            return false;
        }
    return true;
}

int ChainProgram() {
    if (!MapFitsPart()) return -1;
    if (PowerUpChain(kWriting) != 1) return -1;
    int r = IdentifyChain(kWriting);
    if (r != 1) return r;
    FillEpmChainImage(1);
    Map(kWriting);
    for (int row = 1; row < G.Length && r == 1; ++row) r = ProgramEpmChainRow(row, false);
    for (int row = 1; row < G.ConfigRows && r == 1; ++row) r = ProgramEpmChainRow(row, true);
    PowerDownChain();
    return r;
}

int ChainErase() {
    if (PowerUpChain(kWriting) != 1) return -1;
    const int r = IdentifyChain(kWriting);
    if (r != 1) return r;
    SetPin(P->ProgramMode, 1);
    SetPin(P->Erase, 1);
    SetPin(P->Strobe, 0);
    DelayMsSlot(static_cast<uint32_t>(kChainPulseTable[g_pulseIndex & 31]));
    SetPin(P->Strobe, 1);
    SetPin(P->EraseEnd, 1);
    SetPin(P->Erase, 0);
    SetPin(P->EraseEnd, 0);
    SetPin(P->ProgramMode, 0);
    PowerDownChain();
    return 1;
}

// The security row read back into the zeroed image: a secured part reads 0
// everywhere but array row 0, so a 1 is a cell that did not take on a part
// left open.
int ChainSecure() {
    if (PowerUpChain(kWriting) != 1) return -1;
    const int r = IdentifyChain(kWriting);
    if (r != 1) return r;
    FillEpmChainImage(0);
    int w = ProgramEpmChainRow(0, true);
    if (w == 1) w = ReadEpmChainRow(0, true);
    for (int b = 0; w == 1 && b < G.Blocks; ++b)
        for (int c = 0; w == 1 && c < kRowBits; ++c)
            if (GetBufferBit(ConfigFuse(b, 0, c)) != 0) w = LockNotTaken(" Security row not programmed (block %d, bit %d reads 1).", b, c);
    PowerDownChain();
    return w;
}

int Alg296Read(int mode) { return ChainRead(mode); }
int Alg296Program() { return ChainProgram(); }
int Alg296Erase() { return ChainErase(); }
int Alg296Secure() { return ChainSecure(); }
int Alg299Read(int mode) { return ChainRead(mode); }
int Alg299Program() { return ChainProgram(); }
int Alg299Erase() { return ChainErase(); }
int Alg299Secure() { return ChainSecure(); }

std::string ChainRecordCheck(uint32_t row, const RowRecordFacts& r) {
    if (ColumnFor(row, r.Adapter, r.Variant) != nullptr) return "";
    return "adapter " + std::to_string(r.Adapter) + " has no pins for variant " + std::to_string(r.Variant) +
           " in algorithm " + std::to_string(row);
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 296,
     .Read = Alg296Read,
     .Program = Alg296Program,
     .Erase = Alg296Erase,
     .Secure = Alg296Secure,
     .VariantCount = 4,
     .VariantTable = "EpmChainVariantTable",
     .SubVariantCount = 2,
     .SubVariantTable = "EpmPinColumnTable",
     .RecordCheck = ChainRecordCheck,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 299,
     .Read = Alg299Read,
     .Program = Alg299Program,
     .Erase = Alg299Erase,
     .Secure = Alg299Secure,
     .VariantCount = 1,
     .VariantTable = "EpmChainVariantTable",
     .SubVariantCount = 2,
     .SubVariantTable = "EpmPinColumnTable",
     .RecordCheck = ChainRecordCheck,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("EpmRowChain", Logic, 300, kAlgorithmRows);
