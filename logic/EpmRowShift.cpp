#include "logic/EpmRowShift.h"

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

int EpmBlockCount = 2;
int EpmExtraRowCount = 0;
int EpmField1 = 0;
int EpmPulseIndex = 0;
int EpmVppIndex = 0;
int EpmField4 = 0;

const int EpmPulseWidthTable[32] = {2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,  24,  26,  28,  30,  34,
                                    36, 38, 40, 44, 48, 52, 56, 60, 66, 72, 80, 90, 100, 130, 160, 200};
const int EpmVppTable[8] = {112, 115, 117, 120, 122, 125, 127, 130};

int CountLowOneBits(uint32_t bits, int n) {
    int k = 0;
    while (k < n && ((bits >> k) & 1) != 0) ++k;
    return k;
}

uint32_t MakeClearMask(int v, int n) {
    const uint32_t all = (1u << n) - 1;
    return v >= 0 && v < n ? all & ~(1u << v) : all;
}

namespace {

constexpr uint32_t kImageBase = 100000;
constexpr uint32_t kBlockFuses = 19200;
constexpr uint32_t kImageFuses = 156000;
constexpr int kRowBits = 80;
constexpr int kIdRow = 124;
constexpr int kSecureRow = 116;
constexpr int kWriting = 1;
constexpr int kInvertedFlag = 97;
constexpr int kIdleTenths = 50;
constexpr int kFirstVpp = 120;
enum Group { kAddressGroup = 0, kDataInGroup = 1, kDataOutGroup = 2, kHighAddressGroup = 3 };

// Socket pins of one adapter column; 0: not assigned.
struct EpmPins {
    int A[8], In[8], Out[8];
    int Strobe, ReadClock, ProgramMode, RowEnable, ShiftClock, EraseMode, ReadStart, Vpp;
    int High[2];
    int EraseEnable;
};

struct EpmPinColumn {
    int AdapterFirst, AdapterLast;
    int Variant; // -1: any the data pins serve
    int DataPins;
    EpmPins Pins;
};

const EpmPinColumn EpmPinMap[] = {
    {4, 8, -1, 6, {{5, 6, 7, 8, 9, 10, 11, 12}, {13, 14, 15, 16, 17, 18}, {29, 30, 31, 32, 19, 20},
                   21, 22, 23, 25, 26, 27, 28, 33, {37, 38}, 40}},
    {47, 47, -1, 8, {{45, 46, 47, 2, 6, 4, 3, 5}, {35, 36, 40, 39, 9, 8, 14, 1}, {32, 33, 37, 41, 7, 13, 18, 23},
                     20, 22, 34, 17, 21, 26, 16, 30, {43, 42}, 31}},
    {46, 46, 2, 6, {{41, 42, 45, 47, 2, 4, 5, 7}, {29, 38, 48, 1, 10, 12}, {32, 33, 39, 9, 16, 23},
                    25, 22, 11, 21, 18, 34, 17, 30, {37, 40}, 27}},
    {46, 46, 1, 4, {{42, 43, 45, 48, 1, 4, 3, 5}, {35, 46, 6, 14}, {32, 36, 13, 23},
                    25, 22, 12, 21, 19, 33, 15, 30, {40, 41}, 29}},
    {45, 45, 2, 6, {{45, 42, 46, 47, 2, 6, 4, 5}, {34, 39, 48, 1, 9, 11}, {26, 10, 41, 7, 14, 21},
                    19, 22, 16, 17, 20, 35, 15, 23, {38, 40}, 28}},
    {45, 45, 1, 4, {{43, 42, 46, 48, 1, 6, 4, 3}, {36, 47, 2, 12}, {26, 37, 8, 21},
                    19, 22, 11, 17, 20, 10, 13, 23, {40, 45}, 34}},
    {82, 82, 1, 4, {{16, 20, 21, 23, 26, 28, 29, 33}, {13, 22, 27, 36}, {6, 15, 34, 43},
                    3, 45, 35, 41, 42, 10, 38, 46, {18, 19}, 7}},
    // A7 is not assigned: the 2-block part has no rows past 127.
    {82, 82, 0, 2, {{41, 40, 39, 38, 36, 35, 34, 0}, {7, 43}, {23, 26}, 3, 45, 20, 15, 6, 10, 42, 46, {0, 0}, 9}},
};

constexpr int kBlocksOf[4] = {2, 4, 6, 8};

const EpmPinColumn* ColumnFor(uint32_t adapter, uint32_t variant) {
    if (variant > 3) return nullptr;
    for (const EpmPinColumn& c : EpmPinMap) {
        if (adapter < static_cast<uint32_t>(c.AdapterFirst) || adapter > static_cast<uint32_t>(c.AdapterLast)) continue;
        if (c.Variant >= 0 && static_cast<uint32_t>(c.Variant) != variant) continue;
        if (kBlocksOf[variant] > c.DataPins) return nullptr;
        return &c;
    }
    return nullptr;
}

const EpmPins* g_pins = nullptr;
uint32_t g_supply = kIdleTenths;
bool g_latch = false;

// --- Tables of the maps

int ColumnOrder(int r) {
    const int run = r / 10, j = r % 10;
    return j < 5 ? 10 * run + j : 10 * run + 14 - j;
}
constexpr int EpmMacrocellRows[12] = {98, 91, 88, 89, 90, 96, 93, 92, 95, 99, 94, 97};
constexpr int EpmMacrocellColumns[16] = {0, 9, 10, 19, 20, 29, 30, 39, 40, 49, 50, 59, 60, 69, 70, 79};
constexpr int EpmFieldColumns[9] = {15, 14, 12, 10, 8, 6, 4, 2, 0};
constexpr int EpmExtraRowTable[4] = {128, 160, 192, 224};

struct PinColumns {
    int Count;
    int X[16];
};
// Variant 1 by sub-variant, block 0 then blocks 1-3.
const PinColumns kPinColumns1[2][2] = {
    {{8, {0, 2, 3, 4, 7, 10, 13, 15}}, {8, {0, 2, 3, 4, 7, 8, 13, 15}}},
    {{12, {0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}}, {12, {0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}}},
};
// Variant 2 by sub-variant: blocks 0 and 5, 1 and 4, 2 and 3.
const PinColumns kPinColumns2[2][3] = {
    {{8, {0, 3, 5, 7, 8, 11, 13, 15}}, {8, {0, 2, 4, 7, 8, 10, 12, 15}}, {8, {0, 2, 4, 7, 8, 10, 12, 15}}},
    {{10, {0, 2, 3, 5, 7, 8, 10, 11, 13, 15}},
     {10, {0, 2, 4, 5, 7, 8, 10, 11, 12, 15}},
     {10, {0, 2, 4, 5, 7, 8, 10, 12, 13, 15}}},
};

struct RowCol {
    uint8_t Row, Col;
};
const RowCol EpmIoCellTable[2][72] = {
    {{105, 9},  {101, 9},  {102, 9},  {101, 19}, {102, 19}, {105, 19}, {102, 29}, {105, 29}, {102, 39}, {105, 39},
     {105, 49}, {101, 49}, {105, 59}, {101, 59}, {105, 69}, {101, 69}, {105, 79}, {101, 79}, {100, 9},  {104, 9},
     {100, 19}, {104, 19}, {100, 29}, {104, 29}, {100, 39}, {101, 29}, {104, 39}, {101, 39}, {100, 49}, {104, 49},
     {100, 59}, {104, 59}, {100, 69}, {104, 69}, {100, 79}, {104, 79}, {100, 0},  {104, 0},  {100, 10}, {104, 10},
     {100, 20}, {104, 20}, {100, 30}, {101, 20}, {104, 30}, {101, 30}, {100, 40}, {104, 40}, {100, 50}, {104, 50},
     {100, 60}, {104, 60}, {100, 70}, {104, 70}, {105, 0},  {101, 0},  {102, 0},  {101, 10}, {102, 10}, {105, 10},
     {102, 20}, {105, 20}, {102, 30}, {105, 30}, {105, 40}, {101, 40}, {105, 50}, {101, 50}, {105, 60}, {101, 60},
     {105, 70}, {101, 70}},
    {{105, 9},  {101, 9},  {105, 19}, {101, 19}, {105, 29}, {101, 29}, {105, 39}, {101, 39}, {102, 49}, {105, 49},
     {102, 59}, {105, 59}, {102, 69}, {105, 69}, {102, 79}, {101, 69}, {101, 79}, {105, 79}, {100, 9},  {104, 9},
     {100, 19}, {104, 19}, {100, 29}, {104, 29}, {100, 39}, {104, 39}, {104, 49}, {101, 49}, {100, 49}, {101, 59},
     {100, 59}, {104, 59}, {100, 69}, {104, 69}, {100, 79}, {104, 79}, {100, 0},  {104, 0},  {100, 10}, {104, 10},
     {100, 20}, {104, 20}, {100, 30}, {104, 30}, {104, 40}, {101, 40}, {100, 40}, {101, 50}, {100, 50}, {104, 50},
     {100, 60}, {104, 60}, {100, 70}, {104, 70}, {105, 0},  {101, 0},  {105, 10}, {101, 10}, {105, 20}, {101, 20},
     {105, 30}, {101, 30}, {102, 40}, {105, 40}, {102, 50}, {105, 50}, {102, 60}, {105, 60}, {102, 70}, {101, 60},
     {101, 70}, {105, 70}},
};

uint32_t ImageFuse(int block, int row, int col) {
    return kImageBase + kBlockFuses * static_cast<uint32_t>(block) + static_cast<uint32_t>(kRowBits * row + col);
}

int PackagePins() { return PackageRow(PackageIndex).PinCount; }

// --- Power

int PowerUpEpm(int mode) {
    ReadBackAfterSecure = 0;
    // An adapter or variant the pin map does not assign drives nothing.
    const EpmPinColumn* column = ColumnFor(AdapterCode, DeviceVariant);
    if (column == nullptr) {
        g_pins = nullptr;
        RefuseRun(" Adapter not supported for this device");
        return -1;
    }
    g_pins = &column->Pins;
    const EpmPins& p = *g_pins;
    EpmBlockCount = kBlocksOf[DeviceVariant];
    // Variant 3's map uses no extra rows.
    EpmExtraRowCount = DeviceVariant == 1 ? 8 : DeviceVariant == 2 ? 10 : 0;
    const int* a = p.A;
    DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 0);
    int in[9] = {}, out[9] = {};
    for (int b = 0; b < EpmBlockCount; ++b) {
        in[b] = p.In[b];
        out[b] = p.Out[b];
    }
    DefinePinGroup("", kDataInGroup, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], 0);
    DefinePinGroup("", kDataOutGroup, out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], 0);
    if (DeviceVariant == 0) DefinePinGroup("", kHighAddressGroup, 0);
    else DefinePinGroup("", kHighAddressGroup, p.High[0], p.High[1], 0);

    g_supply = mode == kWriting ? 50 : ReadVccInUse;
    SupplyVoltage = g_supply;
    SetVccRange(0, static_cast<int>(g_supply));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(p.Strobe, 1);
    g_latch = AdapterCode >= 4 && AdapterCode <= 8;
    if (g_latch) SetLatchBit(28, 5, 1);
    SetDevicePower(1, static_cast<int>(g_supply));
    DelayUsSlot(10);
    SetSupplyPinA(p.Vpp, 1);
    SetDacVoltage(1, kFirstVpp);
    SetDacVoltage(2, kFirstVpp);
    DelayUsSlot(25);
    WritePinGroup(kAddressGroup, 0, 7, 0);
    WritePinGroup(kDataInGroup, 0, EpmBlockCount - 1, 0);
    if (DeviceVariant != 0) WritePinGroup(kHighAddressGroup, 0, 1, 0);
    for (int pin : {p.ReadClock, p.ProgramMode, p.RowEnable, p.ShiftClock, p.EraseMode, p.ReadStart, p.EraseEnable})
        SetPin(pin, 0);
    return 1;
}

void PowerDownEpm() {
    if (g_pins == nullptr) return;
    SetDacVoltage(1, kIdleTenths);
    SetDacVoltage(2, kIdleTenths);
    DelayUsSlot(100);
    SetSupplyPinA(g_pins->Vpp, 0);
    DelayUsSlot(10);
    SetDevicePower(0, static_cast<int>(g_supply));
    if (g_latch) SetLatchBit(28, 5, 0);
}

// --- Shifting, addressing, rows

void ShiftEpmByte(uint32_t value) {
    WritePinGroup(kDataInGroup, 0, EpmBlockCount - 1, value);
    PulsePin(g_pins->ShiftClock, 3);
    WritePinGroup(kDataInGroup, 0, EpmBlockCount - 1, 0);
}

void ShiftEpmPreamble(int row) {
    if (DeviceVariant != 0) {
        for (int i = 0; i < 16; ++i)
            for (uint32_t v : {0u, 0u, 0u, 0u, 255u}) ShiftEpmByte(v);
    } else if (row != 112 && row != 113) {
        for (int i = 0; i < 16; ++i)
            for (uint32_t v : {0u, 0u, 0u, 0u, 3u}) ShiftEpmByte(v);
    } else {
        for (int i = 0; i < 8; ++i)
            for (uint32_t v : {3u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 3u}) ShiftEpmByte(v);
    }
}

void SetEpmRowAddress(int row) {
    if (row < 128) {
        WritePinGroup(kAddressGroup, 0, 7, static_cast<uint64_t>(row));
    } else {
        WritePinGroup(kAddressGroup, 0, 7, static_cast<uint64_t>(row & 0x9F));
        WritePinGroup(kHighAddressGroup, 0, 1, static_cast<uint64_t>((row >> 5) & 3));
    }
}

int ReadEpmRow(int row) {
    const EpmPins& p = *g_pins;
    ShiftEpmPreamble(row);
    const int passes = DeviceVariant != 0 && row >= 88 && row != kIdRow ? 1 : 5;
    SetEpmRowAddress(row);
    int r = 1;
    for (int pass = 0; pass < passes; ++pass) {
        SetPin(p.ReadStart, 1);
        SetPin(p.ReadClock, 1);
        SetPin(p.RowEnable, 1);
        SetPin(p.ReadClock, 0);
        SetPin(p.ReadStart, 0);
        for (int s = 0; s < 16; ++s) {
            if (s > 0) PulsePin(p.ReadClock, 3);
            const uint64_t v = ReadPinGroup(kDataOutGroup, 0, EpmBlockCount - 1);
            for (int b = 0; b < EpmBlockCount; ++b) {
                SetBufferBit(ImageFuse(b, row, 5 * (15 - s) + pass), static_cast<uint32_t>((v >> b) & 1));
                r = StepProgress(FailAddress);
                if (r != 1) {
                    SetPin(p.RowEnable, 0);
                    return r;
                }
            }
        }
        SetPin(p.RowEnable, 0);
        if (pass + 1 < passes) ShiftEpmByte(0);
    }
    return r;
}

int ProgramEpmRow(int row) {
    const EpmPins& p = *g_pins;
    for (int i = 0; i < kRowBits; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < EpmBlockCount; ++b) v |= GetBufferBit(ImageFuse(b, row, kRowBits - 1 - i)) << b;
        ShiftEpmByte(v);
        const int r = StepProgress(FailAddress);
        if (r != 1) return r;
    }
    SetEpmRowAddress(row);
    SetPin(p.ProgramMode, 1);
    SetPin(p.RowEnable, 1);
    SetPin(p.Strobe, 0);
    DelayMsSlot(static_cast<uint32_t>(EpmPulseWidthTable[EpmPulseIndex & 31]));
    SetPin(p.Strobe, 1);
    SetPin(p.RowEnable, 0);
    SetPin(p.ProgramMode, 0);
    ShiftEpmByte(0);
    return 1;
}

std::vector<int> RowList() {
    std::vector<int> rows;
    if (DeviceVariant == 0) {
        for (int r = 0; r <= 102; ++r) rows.push_back(r);
        for (int r : {104, 105, 112, 113}) rows.push_back(r);
        return rows;
    }
    for (int r = 0; r <= 99; ++r) rows.push_back(r);
    rows.push_back(112);
    rows.push_back(113);
    for (int first : EpmExtraRowTable)
        for (int k = 0; k < EpmExtraRowCount; ++k) rows.push_back(first + k);
    return rows;
}

// --- Identification

// Ten bytes of the identification block from image row 124.
void GatherIdBytes(uint8_t* id) {
    for (int i = 0; i < 10; ++i) id[i] = 0;
    auto put = [&](int byte, int bit, uint32_t fuse) {
        id[byte] = static_cast<uint8_t>(id[byte] | (GetBufferBit(fuse) << bit));
    };
    if (DeviceVariant == 0) {
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 8; ++j) put(i, j, ImageFuse(0, kIdRow, 8 * i + j));
        return;
    }
    const int blocks = DeviceVariant == 1 ? 4 : 5;
    for (int b = 0; b < blocks; ++b)
        for (int k = 0; k < 16; ++k) {
            if (k < 8) put(2 * b, 7 - k, ImageFuse(b, kIdRow, 5 * k));
            else put(2 * b + 1, 15 - k, ImageFuse(b, kIdRow, 5 * k));
        }
    if (DeviceVariant == 1)
        for (int k = 0; k < 16; ++k) {
            if (k < 8) put(8, 7 - k, ImageFuse(0, kIdRow, 5 * k + 1));
            else put(9, 15 - k, ImageFuse(0, kIdRow, 5 * k + 1));
        }
}

int CheckEpmIdBlock(const uint8_t* id) {
    if (DeviceVariant == 3) {
        EpmField1 = 5;
        EpmPulseIndex = 21;
        EpmVppIndex = 4;
        EpmField4 = 0;
        return 1;
    }
    static const char kText[] = "ALTERA9";
    if (DeviceVariant == 0) {
        EpmField1 = id[0] & 7;
        EpmPulseIndex = id[0] >> 3;
        EpmVppIndex = id[1] & 7;
        EpmField4 = id[1] >> 3;
        for (int i = 0; i < 7; ++i)
            if (id[2 + i] != static_cast<uint8_t>(kText[i])) return -1;
        return 1;
    }
    EpmField1 = id[8] >> 5;
    EpmPulseIndex = id[8] & 31;
    EpmVppIndex = id[9] >> 5;
    EpmField4 = id[9] & 31;
    for (int i = 0; i < 7; ++i)
        if (id[i] != static_cast<uint8_t>(kText[i])) return -1;
    if (DeviceVariant == 1) return PackagePins() == 68 && EpmField4 != 0 ? -1 : 1;
    return EpmField4 == 0 ? 1 : -1;
}

int IdentifyEpm(int mode) {
    const int r = ReadEpmRow(kIdRow);
    if (r != 1) {
        PowerDownEpm();
        return r;
    }
    uint8_t id[10];
    GatherIdBytes(id);
    if (CheckEpmIdBlock(id) != 1) {
        PowerDownEpm();
        return RefuseIdentity(false, " Invalid Chip ID");
    }
    if (mode == kWriting) {
        const int v = EpmVppTable[EpmVppIndex & 7];
        SetDacVoltage(1, v);
        SetDacVoltage(2, v);
    }
    DelayUsSlot(100);
    return 1;
}

// --- Maps

void FillEpmImage(uint32_t value) {
    for (uint32_t n = 0; n < kImageFuses; ++n) SetBufferBit(kImageBase + n, value);
}

// One cell between the user map and the image (image offset, or value when
// image is -1); flag 97 marks an inverted cell, -1 a coded field's bit.
int TransferEpmImageCell(uint32_t user, int64_t image, int value, int mode, int flag) {
    const uint32_t bit = image == -1 ? static_cast<uint32_t>(value & 1)
                                     : GetBufferBit(kImageBase + static_cast<uint32_t>(image));
    FailAddress = user;
    const uint32_t inv = flag == kInvertedFlag ? 1 : 0;
    switch (mode) {
    case 2:
        SetBufferBit(user, bit ^ inv);
        return 1;
    case 0:
    case 6:
        BlankValue = flag == -1 ? 0 : 1;
        return bit == BlankValue ? 1 : -1;
    case 3:
        return GetBufferBit(user) == (bit ^ inv) ? 1 : -1;
    case kWriting:
        if (image >= 0) SetBufferBit(kImageBase + static_cast<uint32_t>(image), GetBufferBit(user) ^ inv);
        return 1;
    default:
        return 1;
    }
}

int64_t Img(int b, int row, int col) { return int64_t{kBlockFuses} * b + kRowBits * row + col; }

int LogicArray(int blocks, bool ordered, int mode) {
    for (int b = 0; b < blocks; ++b)
        for (int r = 0; r < 80; ++r)
            for (int c = 0; c < 88; ++c) {
                const uint32_t user = static_cast<uint32_t>(7040 * b + 88 * r + c);
                if (TransferEpmImageCell(user, Img(b, c, ordered ? ColumnOrder(r) : r), 0, mode, c) == -1) return -1;
            }
    return 1;
}

int MapEpmArray0(int mode) {
    if (LogicArray(2, true, mode) == -1) return -1;
    for (int b = 0; b < 2; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 12; ++j) {
                const uint32_t user = static_cast<uint32_t>(14080 + 192 * b + 12 * s + j);
                const int row = EpmMacrocellRows[j];
                if (TransferEpmImageCell(user, Img(b, row, EpmMacrocellColumns[s]), 0, mode, row) == -1) return -1;
            }
    for (int b = 0; b < 2; ++b)
        for (int i = 0; i < 72; ++i) {
            const RowCol rc = EpmIoCellTable[b][i];
            if (TransferEpmImageCell(static_cast<uint32_t>(14464 + 72 * b + i), Img(b, rc.Row, rc.Col), 0, mode, 0) == -1)
                return -1;
        }
    for (int b = 0; b < 2; ++b)
        for (int i = 0; i < 32; ++i) {
            const int64_t image = Img(b, 112 + i % 2, EpmMacrocellColumns[i / 2]);
            if (TransferEpmImageCell(static_cast<uint32_t>(14608 + 32 * b + i), image, 0, mode, 0) == -1) return -1;
        }
    return 1;
}

int Macrocells(int blocks, uint32_t base, int mode) {
    for (int b = 0; b < blocks; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 12; ++j) {
                const int row = EpmMacrocellRows[j];
                const uint32_t user = base + static_cast<uint32_t>(192 * b + 12 * s + j);
                if (TransferEpmImageCell(user, Img(b, row, 5 * s), 0, mode, row) == -1) return -1;
            }
    return 1;
}

const PinColumns& PinColumnsOf(int b) {
    const uint32_t sub = DeviceSubVariant > 1 ? 1 : DeviceSubVariant;
    if (DeviceVariant == 1) return kPinColumns1[sub][b == 0 ? 0 : 1];
    const int pair = b == 0 || b == 5 ? 0 : b == 1 || b == 4 ? 1 : 2;
    return kPinColumns2[sub][pair];
}

int PinCells(int blocks, uint32_t base, int n, int mode) {
    for (int b = 0; b < blocks; ++b) {
        const PinColumns& cols = PinColumnsOf(b);
        for (int i = 0; i < n && i < cols.Count; ++i)
            for (int k = 0; k < 2; ++k) {
                const uint32_t user = base + static_cast<uint32_t>(2 * (b * n + i) + k);
                if (TransferEpmImageCell(user, Img(b, 112 + k, 5 * cols.X[i]), 0, mode, k) == -1) return -1;
            }
    }
    return 1;
}

// Coded fields: `width` user fuses (most significant first) a field, stored
// as `bits` image bits with every bit set but the value's.
int CodedFields(int blocks, uint32_t base, int width, int bits, int mode) {
    const uint32_t perBlock = static_cast<uint32_t>(36 * width);
    for (int b = 0; b < blocks; ++b)
        for (int m = 0; m < 36; ++m) {
            const uint32_t first = base + perBlock * static_cast<uint32_t>(b) + static_cast<uint32_t>(width * m);
            auto imageBit = [&](int k) {
                return Img(b, EpmExtraRowTable[m / 9] + k, 5 * EpmFieldColumns[m % 9]);
            };
            if (mode == kWriting) {
                int v = 0;
                for (int t = 0; t < width; ++t) v = v << 1 | static_cast<int>(GetBufferBit(first + static_cast<uint32_t>(t)));
                const uint32_t mask = MakeClearMask(v, bits);
                for (int k = 0; k < bits; ++k)
                    SetBufferBit(kImageBase + static_cast<uint32_t>(imageBit(k)), (mask >> k) & 1);
                continue;
            }
            uint32_t raw = 0;
            for (int k = 0; k < bits; ++k)
                raw |= GetBufferBit(kImageBase + static_cast<uint32_t>(imageBit(k))) << k;
            if (mode == 0 && bits == 10) {
                // Every field must be erased, not only those up to the first
                // erased one.
                FailAddress = first;
                if (raw != (1u << bits) - 1) return -1;
                continue;
            }
            const int v = CountLowOneBits(raw, bits);
            for (int t = 0; t < width; ++t) {
                const int bit = (v >> (width - 1 - t)) & 1;
                if (TransferEpmImageCell(first + static_cast<uint32_t>(t), -1, bit, mode, -1) == -1) return -1;
            }
        }
    return 1;
}

void ClearImagePin(int b, int x) {
    for (int k = 0; k < 2; ++k) SetBufferBit(kImageBase + static_cast<uint32_t>(Img(b, 112 + k, 5 * x)), 0);
}

// The I/O bits of the package's unused pins are programmed 0.
void ClearEpmIoColumn() {
    if (DeviceSubVariant == 0) {
        for (int b = 0; b < 4; ++b)
            for (int x : {1, 5, 6, 9, 11, 12, 14}) ClearImagePin(b, x);
        ClearImagePin(0, 8);
        for (int b = 1; b < 4; ++b) ClearImagePin(b, 10);
    } else if (DeviceSubVariant == 1) {
        for (int b = 0; b < 4; ++b)
            for (int x : {1, 6, 9, 14}) ClearImagePin(b, x);
    }
}

void ClearEpmIoCells() {
    const int pins = PackagePins();
    for (int b = 0; b < 6; ++b) {
        const bool outer = b == 0 || b == 5;
        if (pins == 68) {
            static constexpr int kOuter[4] = {2, 4, 10, 12}, kInner[4] = {3, 5, 11, 13};
            for (int x : outer ? kOuter : kInner) ClearImagePin(b, x);
        } else if (pins == 84) {
            if (outer) {
                ClearImagePin(b, 4);
                ClearImagePin(b, 12);
            } else {
                ClearImagePin(b, 3);
                ClearImagePin(b, b == 1 || b == 4 ? 13 : 11);
            }
        }
    }
}

int MapEpmArray1(int mode) {
    if (LogicArray(4, false, mode) == -1 || Macrocells(4, 28160, mode) == -1) return -1;
    const int pins = PackagePins();
    const int n = pins == 44 ? 8 : pins == 68 ? 12 : pins == 84 ? 16 : 0;
    if (PinCells(4, 29360, n, mode) == -1 || CodedFields(4, 28928, 3, 8, mode) == -1) return -1;
    if (mode == kWriting) ClearEpmIoColumn();
    return 1;
}

int MapEpmArray2(int mode) {
    if (LogicArray(6, false, mode) == -1 || Macrocells(6, 42240, mode) == -1) return -1;
    const int pins = PackagePins();
    const int n = pins == 68 ? 8 : pins == 84 ? 10 : pins == 100 ? 12 : 0;
    if (PinCells(6, 44256, n, mode) == -1 || CodedFields(6, 43392, 4, 10, mode) == -1) return -1;
    if (mode == kWriting) ClearEpmIoCells();
    return 1;
}

int MapEpmArray3(int mode) { return LogicArray(8, false, mode); }

using MapFn = int (*)(int);
constexpr MapFn kMaps[4] = {MapEpmArray0, MapEpmArray1, MapEpmArray2, MapEpmArray3};

// --- Entries

int Alg295Read(int mode) {
    if (PowerUpEpm(2) != 1) return -1;
    int r = IdentifyEpm(mode);
    if (r != 1) return r;
    for (int row : RowList()) {
        r = ReadEpmRow(row);
        if (r != 1) {
            PowerDownEpm();
            return r;
        }
    }
    r = kMaps[DeviceVariant](mode);
    PowerDownEpm();
    return r;
}

// The 6-block coded fields keep one of ten cells cleared, or none: values
// 0-10. A larger value would program as 10 and fail the verify, so the map
// is refused before the part is touched, naming the field's fuses.
bool CodedFieldsFit() {
    if (DeviceVariant != 2) return true;
    for (uint32_t first = 43392; first < 44256; first += 4) {
        uint32_t v = 0;
        for (uint32_t t = 0; t < 4; ++t) v = v << 1 | GetBufferBit(first + t);
        if (v <= 10) continue;
        FailAddress = first;
        ShowMessageLine(" Fuses %u-%u hold %u; this device's field takes 0-10.", first, first + 3, v);
        return false;
    }
    return true;
}

int Alg295Program() {
    if (!CodedFieldsFit()) return -1;
    if (PowerUpEpm(kWriting) != 1) return -1;
    int r = IdentifyEpm(kWriting);
    if (r != 1) return r;
    FillEpmImage(1);
    kMaps[DeviceVariant](kWriting);
    for (int row : RowList()) {
        r = ProgramEpmRow(row);
        if (r != 1) break;
    }
    PowerDownEpm();
    return r;
}

int Alg295Erase() {
    if (PowerUpEpm(kWriting) != 1) return -1;
    const int r = IdentifyEpm(kWriting);
    if (r != 1) return r;
    const EpmPins& p = *g_pins;
    SetPin(p.ProgramMode, 1);
    SetPin(p.EraseEnable, 1);
    SetPin(p.EraseMode, 1);
    SetPin(p.Strobe, 0);
    DelayMsSlot(static_cast<uint32_t>(EpmPulseWidthTable[EpmPulseIndex & 31]));
    SetPin(p.Strobe, 1);
    if (DeviceVariant != 0) SetPin(p.ReadStart, 1);
    SetPin(p.EraseMode, 0);
    SetPin(p.EraseEnable, 0);
    if (DeviceVariant != 0) SetPin(p.ReadStart, 0);
    SetPin(p.ProgramMode, 0);
    const int w = ProgramEpmRow(kIdRow);
    PowerDownEpm();
    return w == 1 ? 1 : w;
}

// The security row read back into the zeroed image: a secured part reads 0
// everywhere but its identification row, so a 1 is a cell that did not take
// on a part left open.
int Alg295Secure() {
    if (PowerUpEpm(kWriting) != 1) return -1;
    const int r = IdentifyEpm(kWriting);
    if (r != 1) return r;
    FillEpmImage(0);
    int w = ProgramEpmRow(kSecureRow);
    if (w == 1) w = ReadEpmRow(kSecureRow);
    for (int b = 0; w == 1 && b < EpmBlockCount; ++b)
        for (int c = 0; w == 1 && c < kRowBits; ++c)
            if (GetBufferBit(ImageFuse(b, kSecureRow, c)) != 0) w = LockNotTaken(" Security row not programmed (block %d, bit %d reads 1).", b, c);
    PowerDownEpm();
    return w;
}

// Variant 3 takes whatever its identification block holds.
bool EpmChecksIdentity() { return DeviceVariant != 3; }

std::string EpmRecordCheck(uint32_t row, const RowRecordFacts& r) {
    if (EpmPinMapAssigned(r.Adapter, r.Variant)) return "";
    return "adapter " + std::to_string(r.Adapter) + " has no pins for variant " + std::to_string(r.Variant) +
           " in algorithm " + std::to_string(row);
}

} // namespace

bool EpmPinMapAssigned(uint32_t adapter, uint32_t variant) { return ColumnFor(adapter, variant) != nullptr; }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 295,
     .Read = Alg295Read,
     .Program = Alg295Program,
     .Erase = Alg295Erase,
     .Secure = Alg295Secure,
     .VariantCount = 4,
     .VariantTable = "EpmVariantTable",
     .SubVariantCount = 2,
     .SubVariantTable = "EpmPinColumnTable",
     .RecordCheck = EpmRecordCheck,
     .ChecksIdentity = EpmChecksIdentity},
};

ROW_FAMILY("EpmRowShift", Logic, 290, kAlgorithmRows);
