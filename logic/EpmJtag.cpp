// 3.3 V EPM-type CPLDs programmed over their JTAG port (row 297, adapter 82):
// the array is a set of 95 addresses, each a data word of 183 bits (variant
// 0) or 360 bits (variant 1); a one-hot address register selects the
// address, reads and programs step on by themselves. The module keeps the
// words at fuse 200000 of the buffer (the address image at 199000) and
// converts them to and from the user map through the variant and
// sub-variant map. Address 1 holds the identification word and the
// security bit, address 0 the configuration bit.
//
// Variant 1's sub-variant maps other than 2 follow the variant-0 maps the
// way sub-variant 2 does: sub-variant 1 with 12 fuses a macrocell (the last
// an inverted cell), 3-bit coded fields as 8 image bits and 2-bit coded I/O
// cells at addresses 93 and 94; sub-variants 0 and 3 with 14 fuses a
// macrocell, the single cells from 30208, seven fuses an I/O pin and the
// closing cells from 30710 (the last 32 at address 2, position 199).

#include <cstring>
#include <string>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Jtag.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

struct AlteraJtagVariant {
    int Addresses, Bits, SecurityBit, ConfigBit;
};
constexpr AlteraJtagVariant AlteraJtagVariantTable[2] = {{95, 183, 83, 82}, {95, 360, 179, 180}};
constexpr int JtagEpmEraseTimeTable[8] = {10, 20, 30, 40, 60, 100, 200, 500};
constexpr int JtagEpmPulseWidthTable[32] = {2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,  24,  26,  28,  30,  34,
                                            36, 38, 40, 44, 48, 52, 56, 60, 66, 72, 80, 90, 100, 130, 160, 200};

constexpr uint32_t kAddressBase = 199000;
constexpr uint32_t kWordBase = 200000;
constexpr int kWriting = 1;
constexpr int kTms = 15, kTck = 34, kTdi = 9, kTdo = 40, kIrLength = 10, kVppPin = 46;
enum : uint32_t {
    kEnterIsp = 818, kLeaveIsp = 6, kAddress = 14, kRead = 22, kReadHigh = 26, kReadLow = 30, kProgram = 18, kErase = 10
};

int JtagEpmWordBits = 183;
int JtagEpmEraseIndex = 0, JtagEpmPulseIndex = 0, JtagEpmField3 = 0;
bool g_powered = false;

uint32_t Image(int a, int p) { return kWordBase + static_cast<uint32_t>(a * JtagEpmWordBits + p); }

int PowerUpJtagEpm() {
    // Only adapter 82 carries the JTAG pins; a variant past the table has no word.
    if (AdapterCode != 82 || DeviceVariant > 1) {
        g_powered = false;
        RefuseRun(" Adapter not supported for this device");
        return -1;
    }
    JtagEpmWordBits = AlteraJtagVariantTable[DeviceVariant].Bits;
    SupplyVoltage = 33;
    SetVccRange(0, 33);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetDevicePower(1, 33);
    DelayUsSlot(10);
    ApplyVppToPin(kVppPin, 1, 112);
    DelayUsSlot(25);
    JtagInit(kTms, kTck, kTdi, kTdo, kIrLength);
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kEnterIsp);
    DelayMsSlot(10);
    g_powered = true;
    return 1;
}

void PowerDownJtagEpm() {
    if (!g_powered) return;
    g_powered = false;
    JtagLoadInstruction(kLeaveIsp);
    DelayMsSlot(10);
    ApplyVppToPin(kVppPin, 0, 50);
    DelayUsSlot(10);
    SetDevicePower(0, 33);
}

void SelectJtagEpmAddress(int a) {
    for (int i = 0; i < 95; ++i) SetBufferBit(kAddressBase + static_cast<uint32_t>(i), i == a ? 1 : 0);
    JtagLoadInstruction(kAddress);
    JtagShiftDrFromBufferReversed(kAddressBase, 95);
}

int StepWord() {
    for (int i = 0; i < JtagEpmWordBits; ++i) {
        const int r = StepProgress(0);
        if (r != 1) return r;
    }
    return 1;
}

int ReadJtagEpmAddresses(int first, int last) {
    for (int a = first; a <= last; ++a) {
        JtagCaptureDrToBufferReversed(Image(a, 0), JtagEpmWordBits);
        const int r = StepWord();
        if (r != 1) return r;
    }
    return 1;
}

int ProgramJtagEpmAddress(int a) {
    JtagInstructionThenShiftDrReversed(kProgram, Image(a, 0), JtagEpmWordBits);
    DelayMsSlot(static_cast<uint32_t>(JtagEpmPulseWidthTable[JtagEpmPulseIndex & 31]));
    return StepWord();
}

// Bit k of the result is word bit start + 5 (n - 1 - k) of address 1.
int GatherJtagEpmBits(int start, int n) {
    int v = 0;
    for (int k = 0; k < n; ++k) v |= static_cast<int>(GetBufferBit(Image(1, start + 5 * (n - 1 - k)))) << k;
    return v;
}

int IdentifyJtagEpm() {
    SelectJtagEpmAddress(1);
    JtagLoadInstruction(kRead);
    JtagCaptureDrToBufferReversed(Image(1, 0), JtagEpmWordBits);
    static constexpr int kStarts[2][8] = {{0, 40, 103, 143, 1, 41, 104, 144}, {80, 120, 0, 40, 200, 240, 280, 320}};
    static constexpr int kFields[2][3] = {{2, 17, 57}, {81, 96, 136}};
    char id[8];
    for (int i = 0; i < 8; ++i) id[i] = static_cast<char>(GatherJtagEpmBits(kStarts[DeviceVariant][i], 8));
    JtagEpmEraseIndex = GatherJtagEpmBits(kFields[DeviceVariant][0], 3);
    JtagEpmPulseIndex = GatherJtagEpmBits(kFields[DeviceVariant][1], 5);
    JtagEpmField3 = GatherJtagEpmBits(kFields[DeviceVariant][2], 5);
    if (std::memcmp(id, "ALTERA9", 7) == 0) return 1;
    PowerDownJtagEpm();
    return RefuseIdentity(false, " Invalid Chip ID");
}

// --- Cells

int CountJtagLowOnes(uint32_t bits, int n) {
    int k = 0;
    while (k < n && ((bits >> k) & 1) != 0) ++k;
    return k;
}
uint32_t JtagClearMask(int v, int n) {
    const uint32_t all = (1u << n) - 1;
    return v >= 0 && v < n ? all & ~(1u << v) : all;
}

// ReadValue holds the bit; without an image fuse (-1) blank means 0.
int TransferJtagEpmCell(uint32_t user, int64_t image, int mode) {
    FailAddress = user;
    switch (mode) {
    case 2: SetBufferBit(user, ReadValue & 1); return 1;
    case 0:
    case 6: return (ReadValue & 1) == (image >= 0 ? BlankValue : 0u) ? 1 : -1;
    case 3: return GetBufferBit(user) == (ReadValue & 1) ? 1 : -1;
    case kWriting:
        if (image >= 0) SetBufferBit(static_cast<uint32_t>(image), GetBufferBit(user));
        return 1;
    default: return 1;
    }
}

// Image bits of a coded value: address a +- i (by `up`), position p.
int CodedJtagValue(uint32_t user, int a, int p, bool up, int width, int bits, int mode) {
    auto fuse = [&](int i) { return Image(up ? a + i : a - i, p); };
    if (mode == kWriting) {
        int v = 0;
        for (int t = 0; t < width; ++t) v = v << 1 | static_cast<int>(GetBufferBit(user + static_cast<uint32_t>(t)));
        const uint32_t mask = JtagClearMask(v, bits);
        for (int i = 0; i < bits; ++i) SetBufferBit(fuse(i), (mask >> i) & 1);
        return 1;
    }
    uint32_t raw = 0;
    for (int i = 0; i < bits; ++i) raw |= GetBufferBit(fuse(i)) << i;
    const int v = CountJtagLowOnes(raw, 8);
    for (int t = 0; t < width; ++t) {
        ReadValue = static_cast<uint32_t>((v >> (width - 1 - t)) & 1);
        if (TransferJtagEpmCell(user + static_cast<uint32_t>(t), -1, mode) == -1) return -1;
    }
    return 1;
}

constexpr uint32_t kIoCodes[4] = {4, 5, 0, 7};

int MapJtagEpmField(uint32_t user, int a, int p, int n, int kind, int mode) {
    switch (kind) {
    case 0:
    case 1:
    case 2:
    case 3:
        for (int i = 0; i < n; ++i) {
            const int aa = kind == 0 ? a + i : kind == 1 ? a - i : a;
            const int pp = kind == 2 ? p + i : kind == 3 ? p - i : p;
            const uint32_t u = user + static_cast<uint32_t>(i);
            if (mode == kWriting) {
                SetBufferBit(Image(aa, pp), GetBufferBit(u));
                continue;
            }
            ReadValue = GetBufferBit(Image(aa, pp));
            if (TransferJtagEpmCell(u, Image(aa, pp), mode) == -1) return -1;
        }
        return 1;
    case 4:
        if (mode == kWriting) {
            SetBufferBit(Image(a, p), GetBufferBit(user) ^ 1);
            return 1;
        }
        ReadValue = GetBufferBit(Image(a, p)) ^ 1;
        return TransferJtagEpmCell(user, -1, mode);
    case 5:
    case 6: return CodedJtagValue(user, a, p, kind == 5, 2, 4, mode);
    case 7:
    case 8: return CodedJtagValue(user, a, p, kind == 7, 3, 8, mode);
    case 9: {
        const uint32_t f0 = Image(a + 1, p + 1), f1 = Image(a + 1, p), f2 = Image(a, p + 4);
        if (mode == kWriting) {
            const uint32_t v = GetBufferBit(user) | GetBufferBit(user + 1) << 1;
            const uint32_t c = kIoCodes[v];
            SetBufferBit(f0, c & 1);
            SetBufferBit(f1, (c >> 1) & 1);
            SetBufferBit(f2, (c >> 2) & 1);
            return 1;
        }
        const uint32_t c = GetBufferBit(f0) | GetBufferBit(f1) << 1 | GetBufferBit(f2) << 2;
        uint32_t v = 0;
        for (uint32_t k = 0; k < 4; ++k)
            if (kIoCodes[k] == c) v = k;
        for (uint32_t t = 0; t < 2; ++t) {
            ReadValue = (v >> t) & 1;
            if (TransferJtagEpmCell(user + t, f0, mode) == -1) return -1;
        }
        return 1;
    }
    default: return 1;
    }
}

// --- Maps

struct Field {
    uint32_t User;
    int A, P, N, Kind;
};

int Run(const Field& f, int mode) { return MapJtagEpmField(f.User, f.A, f.P, f.N, f.Kind, mode); }

// Macrocells: n blocks of 16, each (base + size x i) in cells 5, 5 and the
// rest at addresses 90, 91, 92; size 12 ends with an inverted cell.
int Macrocells(uint32_t base, int size, int count, const int* blockBase, int mode) {
    for (int i = 0; i < count; ++i) {
        const int q = 5 * (i % 16) + blockBase[i / 16];
        const uint32_t u = base + static_cast<uint32_t>(size * i);
        const int last = size == 13 ? 3 : size == 14 ? 4 : 1;
        if (Run({u, 90, q, 5, 2}, mode) == -1 || Run({u + 5, 91, q, 5, 2}, mode) == -1 ||
            Run({u + 10, 92, q, last, 2}, mode) == -1)
            return -1;
        if (size == 12 && Run({u + 11, 92, q + 1, 1, 4}, mode) == -1) return -1;
    }
    return 1;
}

// Coded fields: count fields of `step` user fuses; q and address by group.
int CodedFields(uint32_t base, int step, int count, int groupSize, const int* qBase, const int* addresses,
                int upKind, int downKind, int n, int mode) {
    for (int i = 0; i < count; ++i) {
        const int q = 2 * (i % 9) + qBase[i / groupSize];
        const int g = (i / 9) % 4;
        const int kind = g < 2 ? upKind : downKind;
        if (Run({base + static_cast<uint32_t>(step * i), addresses[g], q, n, kind}, mode) == -1) return -1;
    }
    return 1;
}

// The twelve single cells from `base` over the addresses of the coded fields.
int SingleCells(uint32_t base, int hi, int lo, int n, const int* ad, int mode) {
    // ad: the field addresses (first up, second up, first down, second down)
    // and the four addresses between them.
    const Field cells[12] = {
        {base, ad[2], hi, n, 1},                       {base + uint32_t(n), ad[4], hi, 1, 2},
        {base + uint32_t(n + 1), ad[0], hi, n, 0},     {base + uint32_t(2 * n + 1), ad[5], hi, 1, 2},
        {base + uint32_t(2 * n + 2), ad[0], lo, n, 0}, {base + uint32_t(3 * n + 2), ad[5], lo, 1, 2},
        {base + uint32_t(3 * n + 3), ad[1], hi, n, 0}, {base + uint32_t(4 * n + 3), ad[6], hi, 1, 2},
        {base + uint32_t(4 * n + 4), ad[1], lo, n, 0}, {base + uint32_t(5 * n + 4), ad[6], lo, 1, 2},
        {base + uint32_t(5 * n + 5), ad[3], hi, n, 1}, {base + uint32_t(6 * n + 5), ad[7], hi, 1, 2},
    };
    for (const Field& f : cells)
        if (Run(f, mode) == -1) return -1;
    return 1;
}

constexpr int kBlock0[2] = {0, 103};
constexpr int kBlock1[4] = {80, 0, 200, 280};
// Variant 0: field addresses 18, 12 (up), 11, 5 (down), then 7, 17, 16, 6.
constexpr int kAddr0[8] = {18, 12, 11, 5, 7, 17, 16, 6};
constexpr int kAddr1[8] = {30, 20, 19, 9, 11, 29, 28, 10};
constexpr int kFieldQ0[2] = {85, 86};
constexpr int kFieldQ1[4] = {160, 181, 182, 161};

int LogicArray(int mode) {
    auto row = [&](int r, uint32_t user) { return Run({user, 2, r, 88, 0}, mode); };
    if (DeviceVariant == 0) {
        for (int r = 0; r < 80; ++r)
            if (row(r, static_cast<uint32_t>(88 * r)) == -1) return -1;
        for (int r = 103; r < 183; ++r)
            if (row(r, static_cast<uint32_t>(7040 + 88 * (r - 103))) == -1) return -1;
        return 1;
    }
    for (int r = 0; r < 80; ++r)
        if (row(r, static_cast<uint32_t>(7040 + 88 * r)) == -1) return -1;
    for (int r = 80; r < 160; ++r)
        if (row(r, static_cast<uint32_t>(88 * (r - 80))) == -1) return -1;
    for (int r = 200; r < 360; ++r)
        if (row(r, static_cast<uint32_t>(14080 + 88 * (r - 200))) == -1) return -1;
    return 1;
}

int MapJtagEpm0(int mode) {
    const uint32_t sub = DeviceSubVariant;
    if (sub == 1) {
        if (Macrocells(14080, 12, 32, kBlock0, mode) == -1) return -1;
        if (CodedFields(14464, 2, 72, 36, kFieldQ0, kAddr0, 5, 6, 3, mode) == -1) return -1;
        for (int i = 0; i < 32; ++i) {
            const int q = 5 * (i % 16) + (i < 16 ? 1 : 104);
            if (Run({14608 + 2 * static_cast<uint32_t>(i), 94, q, 2, 3}, mode) == -1) return -1;
        }
        if (mode == kWriting) {
            for (auto [a, p] : {std::pair{10, 84}, {19, 84}, {2, 83}, {6, 83}}) SetBufferBit(Image(a, p), 0);
            for (int k = 0; k < 16; ++k) {
                SetBufferBit(Image(93, 5 * k), 0);
                SetBufferBit(Image(93, 103 + 5 * k), 0);
            }
        }
        return 1;
    }
    const bool wide = sub != 2;
    const uint32_t shift = wide ? 32 : 0;
    if (Macrocells(14080, wide ? 14 : 13, 32, kBlock0, mode) == -1) return -1;
    if (CodedFields(14496 + shift, 4, 72, 36, kFieldQ0, kAddr0, 0, 1, 4, mode) == -1) return -1;
    if (SingleCells(14784 + shift, 84, 83, 4, kAddr0, mode) == -1) return -1;
    if (sub == 2) {
        for (int i = 0; i < 32; ++i) {
            const int q = 5 * (i % 16) + (i < 16 ? 1 : 104);
            const uint32_t u = 14814 + 6 * static_cast<uint32_t>(i);
            if (Run({u, 94, q, 2, 3}, mode) == -1 || Run({u + 2, 93, q + 3, 1, 2}, mode) == -1 ||
                Run({u + 3, 93, q - 1, 3, 2}, mode) == -1)
                return -1;
        }
        const Field closing[3] = {{15006, 2, 83, 3, 0}, {15016, 6, 83, 1, 0}, {15017, 2, 80, 16, 0}};
        for (const Field& f : closing)
            if (Run(f, mode) == -1) return -1;
        return 1;
    }
    if (sub == 3) {
        for (int half = 0; half < 2; ++half)
            for (int j = 0; j < 8; ++j) {
                const uint32_t u = (half == 0 ? 14846 : 14942) + 12 * static_cast<uint32_t>(j);
                const int r = (half == 0 ? 0 : 103) + 10 * j;
                const Field cells[6] = {{u, 93, r, 1, 2},          {u + 1, 93, r + 2, 3, 2}, {u + 4, 94, r, 2, 2},
                                        {u + 6, 93, r + 5, 1, 2}, {u + 7, 93, r + 7, 3, 2}, {u + 10, 94, r + 5, 2, 2}};
                for (const Field& f : cells)
                    if (Run(f, mode) == -1) return -1;
            }
        const Field closing[4] = {{15038, 2, 83, 3, 0}, {15041, 6, 83, 1, 0}, {15042, 2, 80, 16, 0}, {15058, 2, 81, 16, 0}};
        for (const Field& f : closing)
            if (Run(f, mode) == -1) return -1;
        return 1;
    }
    for (int i = 0; i < 32; ++i) {
        const int q = 5 * (i % 16) + (i < 16 ? 0 : 103);
        const uint32_t u = 14846 + 7 * static_cast<uint32_t>(i);
        if (Run({u, 93, q, 5, 2}, mode) == -1 || Run({u + 5, 94, q, 2, 2}, mode) == -1) return -1;
    }
    const Field closing[4] = {{15070, 2, 83, 3, 0}, {15073, 6, 83, 1, 0}, {15074, 2, 80, 16, 0}, {15090, 2, 81, 16, 0}};
    for (const Field& f : closing)
        if (Run(f, mode) == -1) return -1;
    return 1;
}

int MapJtagEpm1(int mode) {
    const uint32_t sub = DeviceSubVariant;
    if (sub == 1) {
        if (Macrocells(28160, 12, 64, kBlock1, mode) == -1) return -1;
        if (CodedFields(28928, 3, 144, 36, kFieldQ1, kAddr1, 7, 8, 3, mode) == -1) return -1;
        for (int i = 0; i < 64; ++i) {
            const int q = 5 * (i % 16) + kBlock1[i / 16] + 1;
            if (Run({29360 + 2 * static_cast<uint32_t>(i), 93, q - 1, 2, 9}, mode) == -1) return -1;
        }
        return 1;
    }
    const bool wide = sub != 2;
    const uint32_t shift = wide ? 64 : 0;
    if (Macrocells(28160, wide ? 14 : 13, 64, kBlock1, mode) == -1) return -1;
    if (CodedFields(28992 + shift, 8, 144, 36, kFieldQ1, kAddr1, 0, 1, 8, mode) == -1) return -1;
    if (SingleCells(30144 + shift, 178, 179, 8, kAddr1, mode) == -1) return -1;
    if (sub == 2) {
        for (int i = 0; i < 64; ++i) {
            const int q = 5 * (i % 16) + kBlock1[i / 16] + 1;
            const uint32_t u = 30198 + 6 * static_cast<uint32_t>(i);
            if (Run({u, 94, q, 2, 3}, mode) == -1 || Run({u + 2, 93, q + 3, 1, 2}, mode) == -1 ||
                Run({u + 3, 93, q - 1, 3, 2}, mode) == -1)
                return -1;
        }
        const Field closing[3] = {{30582, 2, 179, 3, 0}, {30592, 6, 179, 1, 0}, {30593, 2, 199, 16, 0}};
        for (const Field& f : closing)
            if (Run(f, mode) == -1) return -1;
        return 1;
    }
    for (int i = 0; i < 64; ++i) {
        const int q = 5 * (i % 16) + kBlock1[i / 16];
        const uint32_t u = 30262 + 7 * static_cast<uint32_t>(i);
        if (Run({u, 93, q, 5, 2}, mode) == -1 || Run({u + 5, 94, q, 2, 2}, mode) == -1) return -1;
    }
    const Field closing[3] = {{30710, 2, 179, 3, 0}, {30713, 6, 179, 1, 0}, {30714, 2, 199, 32, 0}};
    for (const Field& f : closing)
        if (Run(f, mode) == -1) return -1;
    return 1;
}

int MapJtagEpm(int mode) {
    if (LogicArray(mode) == -1) return -1;
    return DeviceVariant == 0 ? MapJtagEpm0(mode) : MapJtagEpm1(mode);
}

void FillWords(int first, int last) {
    for (int a = first; a <= last; ++a)
        for (int p = 0; p < JtagEpmWordBits; ++p) SetBufferBit(Image(a, p), 1);
}

// --- Entries

int ReadPass(uint32_t instruction, int mode) {
    SelectJtagEpmAddress(2);
    JtagLoadInstruction(instruction);
    const int r = ReadJtagEpmAddresses(2, 94);
    if (r != 1) return r;
    return MapJtagEpm(mode);
}

// The user numbers between the closing cells of the sub-variant-2 maps
// have no cell: fixed at 0. Returns the first of the seven, 0 for none.
uint32_t FirstCelllessFuse() {
    if (DeviceSubVariant != 2) return 0;
    return DeviceVariant == 0 ? 15009 : 30585;
}

// A map that sets a fuse without a cell is refused before the part is
// touched: the part would read it back as 0.
bool MapFitsPart() {
    const uint32_t from = FirstCelllessFuse();
    for (uint32_t n = from; from != 0 && n <= from + 6; ++n)
        if (GetBufferBit(n) != 0) {
            FailAddress = n;
            ShowMessageLine(" Fuse %u is fixed at 0 on this device; the file sets 1.", n);
            return false;
        }
    return true;
}

int Alg297Read(int mode) {
    if (PowerUpJtagEpm() != 1) return -1;
    if (IdentifyJtagEpm() != 1) return -1;
    int r = 1;
    if (mode != 3) {
        r = ReadPass(mode == 0 ? kReadHigh : kRead, mode);
    } else {
        r = ReadPass(kReadLow, mode);
        if (r == 1) {
            ClearProgress();
            r = ReadPass(kReadHigh, mode);
        }
    }
    if (mode == 2 && r == 1)
        for (uint32_t n = FirstCelllessFuse(), last = n + 6; n != 0 && n <= last; ++n) SetBufferBit(n, 0);
    PowerDownJtagEpm();
    return r;
}

int Alg297Program() {
    if (!MapFitsPart()) return -1;
    if (PowerUpJtagEpm() != 1) return -1;
    if (IdentifyJtagEpm() != 1) return -1;
    FillWords(0, 94);
    MapJtagEpm(kWriting);
    SelectJtagEpmAddress(2);
    for (int a = 2; a <= 94; ++a) {
        const int r = ProgramJtagEpmAddress(a);
        if (r != 1) {
            PowerDownJtagEpm();
            return r;
        }
    }
    SelectJtagEpmAddress(0);
    FillWords(0, 0);
    SetBufferBit(Image(0, AlteraJtagVariantTable[DeviceVariant].ConfigBit), 0);
    const int r = ProgramJtagEpmAddress(0);
    PowerDownJtagEpm();
    return r;
}

int Alg297Secure() {
    if (PowerUpJtagEpm() != 1) return -1;
    if (IdentifyJtagEpm() != 1) return -1;
    SelectJtagEpmAddress(1);
    FillWords(1, 1);
    SetBufferBit(Image(1, AlteraJtagVariantTable[DeviceVariant].SecurityBit), 0);
    const int r = ProgramJtagEpmAddress(1);
    PowerDownJtagEpm();
    return r;
}

int Alg297Erase() {
    if (PowerUpJtagEpm() != 1) return -1;
    const int r = IdentifyJtagEpm();
    if (r != 1) return r;
    JtagLoadInstruction(kErase);
    DelayMsSlot(static_cast<uint32_t>(JtagEpmEraseTimeTable[JtagEpmEraseIndex & 7]));
    PowerDownJtagEpm();
    return r;
}

std::string JtagEpmRecordCheck(uint32_t row, const RowRecordFacts& r) {
    if (r.Adapter == 82) return "";
    return "adapter " + std::to_string(r.Adapter) + " has no JTAG pins in algorithm " + std::to_string(row);
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 297,
     .Read = Alg297Read,
     .Program = Alg297Program,
     .Erase = Alg297Erase,
     .Secure = Alg297Secure,
     .VariantCount = 2,
     .VariantTable = "AlteraJtagVariantTable",
     .SubVariantCount = 4,
     .RecordCheck = JtagEpmRecordCheck,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("EpmJtag", Logic, 310, kAlgorithmRows);
