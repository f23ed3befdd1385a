#include "logic/SignatureEpld.h"

#include <cstring>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/FuseCells.h"

int EpldSubType = 0;
int EpldStrobeLevel = 0;
int EpldVppLevel = 0;
int EpldCompareMask = 255;
const int EpldPulseLimit = 100;
const int EpldOverProgramFactor = 3;

constexpr uint16_t kNo = 999;
const uint16_t EpldCellBitTable256[10][8] = {
    {0, 720, 2880, 3600, 4320, 5040, 7200, 7920},
    {kNo, 1440, 2160, kNo, kNo, 5760, 6480, kNo},
    {8640, 9360, 11520, 12240, 12960, 13680, 15840, 16560},
    {kNo, 10080, 10800, kNo, kNo, 14400, 15120, kNo},
    {17280, 17285, 17300, 17305, 17310, 17315, 17330, 17335},
    {kNo, 17290, 17295, kNo, kNo, 17320, 17325, kNo},
    {17340, 17345, 17360, 17365, 17370, 17375, 17390, 17395},
    {kNo, 17350, 17355, kNo, kNo, 17380, 17385, kNo},
    {17400, kNo, kNo, kNo, kNo, kNo, kNo, kNo},
    {17401, kNo, kNo, kNo, kNo, kNo, kNo, kNo},
};
const uint16_t EpldCellBitTable257[12][8] = {
    {2640, 1760, 880, 0, 41360, 40480, 39600, 38720},
    {6160, 5280, 4400, 3520, 37840, 36960, 36080, 35200},
    {9680, 8800, 7920, 7040, 34320, 33440, 32560, 31680},
    {17600, 18480, 19360, 20240, 21120, 22000, 22880, 23760},
    {14080, 14960, 15840, 16720, 24640, 25520, 26400, 27280},
    {10560, 11440, 12320, 13200, 28160, 29040, 29920, 30800},
    {42255, 42250, 42245, 42240, 42475, 42470, 42465, 42460},
    {42275, 42270, 42265, 42260, 42455, 42450, 42445, 42440},
    {42295, 42290, 42285, 42280, 42435, 42430, 42425, 42420},
    {42340, 42345, 42350, 42355, 42360, 42365, 42370, 42375},
    {42320, 42325, 42330, 42335, 42380, 42385, 42390, 42395},
    {42300, 42305, 42310, 42315, 42400, 42405, 42410, 42415},
};
const uint8_t EpldSpecialRowTable[2][5] = {{6, 0, 4, 9, 2}, {22, 16, 20, 25, 18}};

namespace {

constexpr int kWriting = 1;
constexpr int kSignatureRead = 11;
constexpr int kAfterSecure = 6;
enum Group { kDataGroup = 0, kAddressGroup = 1, kColumnGroup = 2 };
constexpr int kFirstLevel = 100; // 10.0 V: signature read, strobe and VPP
constexpr int kIdleTenths = 50;
constexpr uint32_t kStrobePulseUs = 100;
// The supply the socket was powered with: the power-down ramps it down from
// there (row 256's identification changes SupplyVoltage while powered).
int g_appliedSupply = kIdleTenths;

// One cell of a walk: its address, the kind of its fuse map and its index
// among the cells of that kind.
struct EpldCell {
    int A, C, Kind, Index;
};

// One (bit, fuse) of a cell, and the bits of the cell that carry fuses.
struct CellFuses {
    int Count = 0;
    int Bit[8];
    uint32_t Fuse[8];
    int Mask = 0;
    void Add(int bit, uint32_t fuse) {
        Bit[Count] = bit;
        Fuse[Count++] = fuse;
        Mask |= 1 << bit;
    }
};

struct Levels {
    int L, V; // V < 0: ReadVccInUse
};

// A signature the identification accepts.
struct Signature {
    bool FirstRead;      // taken from the read at 10.0 V
    const char* Text;    // s[0..7]
    uint8_t S8[4];       // accepted s[8] (0: end of list; empty list: any)
    int S9, S10a, S10b;  // -1: not checked
    int SubType;
    Levels Set;          // row 256: the levels the identification sets (L 0: none)
};

struct SigRow {
    uint32_t Row;
    int Address[6], AddressBits;
    int Column[8], ColumnBits;
    int Data[8];
    int Strobe, StrobeChannel, Vpp, VppChannel;
    int FixedHigh; // a further pin held high (0: none)
    int C1, C2, Raised;
    bool RaiseWaits;
    uint32_t SupplyWaitUs;
    int OverFactor;
    uint8_t SecureData;
    int SecurePulses;
    int AllFfSubType;
    Levels AllFfSet;
    std::vector<Signature> Signatures;
};

const SigRow kRow255{255, {29, 30, 31, 32}, 4, {27, 28, 33, 34, 35, 14, 23}, 7,
                     {15, 16, 17, 18, 19, 20, 21, 22}, 13, 1, 25, 3, 26, 41, 105, 127, true, 10000, 8, 0x80, 100,
                     4, {0, 0},
                     {{true, "ALTERA95", {0xF3, 0xF4, 0xF5, 0xF6}, 0xCF, -1, -1, 3, {0, 0}},
                      {false, "ALTERA87", {0xF7}, 0xEF, -1, -1, 0, {0, 0}},
                      {false, "ALTERA90", {0xFE}, 0x7F, -1, -1, 2, {0, 0}},
                      {false, "ALTERA89", {0xFB}, 0xDF, 0x0C, 0x10, 1, {0, 0}}}};
const SigRow kRow256{256, {33, 34, 35, 36, 37}, 5, {29, 30, 39, 40, 43, 6, 21, 27}, 8,
                     {9, 10, 13, 14, 15, 16, 19, 20}, 5, 3, 25, 1, 0, 73, 201, 127, false, 100, 3, 0x80, 25,
                     0, {127, 60},
                     {{true, "ALTERA95", {}, -1, -1, -1, 1, {100, 62}},
                      {false, "ALTERA87", {}, -1, -1, -1, 0, {127, 60}}}};
const SigRow kRow257{257, {17, 18, 19, 20, 21, 22}, 6, {15, 16, 33, 34, 13, 14, 35, 36}, 8,
                     {25, 26, 27, 28, 29, 30, 31, 32}, 8, 2, 5, 1, 0, 89, 217, 125, true, 100, 8, 0x01, 100,
                     9, {0, 0},
                     {{true, "ALTERA95", {0xF3, 0xF4, 0xF5}, 0xDF, -1, -1, 2, {0, 0}},
                      {false, "ALTERA88", {0xF7}, 0xEF, -1, -1, 0, {0, 0}},
                      {false, "ALTERA89", {0xFB}, 0xDF, -1, -1, 1, {0, 0}}}};

// --- Levels of a power-up; false: a combination that leaves them as they are.

bool ChooseLevels(const SigRow& t, int mode, Levels& out) {
    const int s = EpldSubType;
    if (mode == kSignatureRead) {
        out = {kFirstLevel, t.Row == 257 ? 50 : -1};
        return true;
    }
    switch (t.Row) {
    case 255:
        if (s == 3) out = {100, mode == kWriting || mode == kAfterSecure ? 60 : 45};
        else if (s == 0 || s == 2 || s == 4) out = {127, 60};
        else if (s == 1) out = {140, -1};
        else return false;
        return true;
    case 257:
        if (s == 2) out = {100, mode == kWriting ? 60 : 45};
        else if (s == 0) out = {127, 60};
        else if (s == 1) out = {140, 50};
        else return false;
        return true;
    default:
        return false;
    }
}

void DefineGroups(const SigRow& t) {
    const int* d = t.Data;
    DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    const int* a = t.Address;
    if (t.AddressBits == 4) DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], 0);
    else if (t.AddressBits == 5) DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], 0);
    else DefinePinGroup("", kAddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], 0);
    const int* c = t.Column;
    if (t.ColumnBits == 7) DefinePinGroup("", kColumnGroup, c[0], c[1], c[2], c[3], c[4], c[5], c[6], 0);
    else DefinePinGroup("", kColumnGroup, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], 0);
}

void PowerUpEpld(const SigRow& t, int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    CompareFailed = 0;
    DefineGroups(t);
    SetVccRange(0, 50);
    Levels l{};
    if (ChooseLevels(t, mode, l)) {
        EpldStrobeLevel = EpldVppLevel = l.L;
        SupplyVoltage = l.V < 0 ? ReadVccInUse : static_cast<uint32_t>(l.V);
    }
    int dac[5] = {};
    dac[t.StrobeChannel] = EpldStrobeLevel;
    dac[t.VppChannel] = EpldVppLevel;
    SetAllDacVoltages(dac[1], dac[2], dac[3], dac[4]);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kAddressGroup, 0, t.AddressBits - 1, 0);
    WritePinGroup(kColumnGroup, 0, t.ColumnBits - 1, 0);
    SetPin(t.Strobe, 1);
    SetPin(t.Vpp, 0);
    if (t.FixedHigh != 0) SetPin(t.FixedHigh, 1);
    g_appliedSupply = static_cast<int>(SupplyVoltage);
    SetDevicePower(1, g_appliedSupply);
    DelayUsSlot(t.SupplyWaitUs);
    ApplyVoltageToPin(t.VppChannel, t.Vpp, 1, EpldVppLevel);
    DelayShortUsSlot(100);
}

void PowerDownEpld(const SigRow& t) {
    ApplyVoltageToPin(t.VppChannel, t.Vpp, 0, kIdleTenths);
    DelayShortUsSlot(100);
    SetDevicePower(0, g_appliedSupply);
}

void SetEpldAddress(const SigRow& t, int a, int c) {
    WritePinGroup(kAddressGroup, 0, t.AddressBits - 1, static_cast<uint64_t>(a));
    WritePinGroup(kColumnGroup, 0, t.ColumnBits - 1, static_cast<uint64_t>(c));
}

void ReadEpldByte(const SigRow& t) {
    ApplyVoltageToPin(t.StrobeChannel, t.Strobe, 1, EpldStrobeLevel);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 7));
    ApplyVoltageToPin(t.StrobeChannel, t.Strobe, 0, kIdleTenths);
}

void PulseEpldByte(const SigRow& t) {
    WritePinGroup(kDataGroup, 0, 7, ExpectedValue);
    SetPin(t.Strobe, 0);
    DelayShortUsSlot(kStrobePulseUs);
    SetPin(t.Strobe, 1);
    FloatPinGroup(kDataGroup, 0, 7);
}

void RaiseEpldSignatureLevel(const SigRow& t) {
    RampVoltageUp(t.VppChannel, kFirstLevel, t.Raised, 1, 10);
    if (t.RaiseWaits) DelayShortUsSlot(100);
    EpldStrobeLevel = t.Raised;
    if (t.RaiseWaits) DelayShortUsSlot(100);
}

bool Matches(const Signature& g, const uint8_t* s) {
    if (std::memcmp(s, g.Text, 8) != 0) return false;
    bool s8 = g.S8[0] == 0;
    for (uint8_t v : g.S8) s8 = s8 || (v != 0 && v == s[8]);
    const bool s9 = g.S9 < 0 || g.S9 == s[9];
    const bool s10 = g.S10a < 0 || g.S10a == s[10] || g.S10b == s[10];
    return s8 && s9 && s10;
}

void TakeSubType(const Signature& g) {
    EpldSubType = g.SubType;
    if (g.Set.L == 0) return;
    EpldStrobeLevel = EpldVppLevel = g.Set.L;
    SupplyVoltage = static_cast<uint32_t>(g.Set.V);
}

// 1 with EpldSubType set, 0 refused without a message, -1 refused with it.
int Decide(const SigRow& t, bool firstRead, const uint8_t* s) {
    bool known = false;
    for (const Signature& g : t.Signatures) {
        if (g.FirstRead != firstRead || std::memcmp(s, g.Text, 8) != 0) continue;
        if (Matches(g, s)) {
            TakeSubType(g);
            return 1;
        }
        known = true;
    }
    if (firstRead || known) return 0;
    for (int i = 0; i < 10; ++i)
        if (s[i] != 0xFF) return -1;
    EpldSubType = t.AllFfSubType;
    if (t.AllFfSet.L != 0) TakeSubType({false, "", {}, -1, -1, -1, t.AllFfSubType, t.AllFfSet});
    return 1;
}

void ReadSignature(const SigRow& t, uint8_t* s) {
    for (int i = 0; i <= 10; ++i) {
        SetEpldAddress(t, i < 5 ? 10 + i : 5 + i, i < 5 ? t.C1 : t.C2);
        ReadEpldByte(t);
        s[i] = static_cast<uint8_t>(ReadValue);
    }
}

// The signature read and judged as Decide does, powered up and down for it.
int ReadAndDecide(const SigRow& t) {
    PowerUpEpld(t, kSignatureRead);
    uint8_t s[11];
    ReadSignature(t, s);
    int r = 0;
    if (std::memcmp(s, "ALTERA95", 8) == 0) {
        r = Decide(t, true, s);
    } else {
        RaiseEpldSignatureLevel(t);
        ReadSignature(t, s);
        r = Decide(t, false, s);
    }
    PowerDownEpld(t);
    return r;
}

// A refused signature ends the run: with its line, or, for a known text
// with other part bytes, with none; either way no fuse was compared, so no
// fail-address line follows.
int IdentifyEpld(const SigRow& t) {
    const int r = ReadAndDecide(t);
    if (r == 1) return 1;
    if (r == -1) return RefuseIdentity(false, "Incorrect Device ID or Device Is Secured!");
    ReadRefusedByDevice();
    return -1;
}

// --- Cell maps

CellFuses MapFuses(const SigRow& t, int kind, int index) {
    CellFuses f;
    const auto ui = static_cast<uint32_t>(index);
    if (t.Row == 255) {
        if (kind <= 1)
            for (int k = 0; k < 8; ++k) f.Add(k, (kind == 1 ? 3200 : 0) + ui + 400u * static_cast<uint32_t>(k));
        else if (kind <= 3)
            for (int k = 0; k < 8; ++k) f.Add(k, (kind == 3 ? 6440 : 6400) + ui + 5u * static_cast<uint32_t>(k));
        else
            f.Add(0, kind == 4 ? 6480 : 6481);
        return f;
    }
    if (t.Row == 256 || kind <= 11) {
        for (int k = 0; k < 8; ++k) {
            const uint16_t e = t.Row == 256 ? EpldCellBitTable256[kind][k] : EpldCellBitTable257[kind][k];
            if (e != kNo) f.Add(k, e + ui);
        }
        if (t.Row == 257) f.Mask = 0xFF;
        return f;
    }
    struct Fixed {
        int kind, count;
        int bit[4];
        uint32_t fuse[4];
    };
    static constexpr Fixed kFixed[] = {
        {12, 4, {2, 3, 4, 5}, {42485, 42481, 42480, 42484}}, {13, 4, {2, 3, 4, 5}, {42486, 42482, 42483, 42487}},
        {14, 1, {7}, {42488}}, {15, 1, {7}, {42489}}, {20, 1, {7}, {42480}}, {21, 1, {0}, {42481}},
        {22, 1, {0}, {42482}}, {23, 1, {7}, {42483}}, {24, 2, {7, 0}, {42484, 42485}},
        {25, 2, {0, 7}, {42486, 42487}},
    };
    for (const Fixed& x : kFixed)
        if (x.kind == kind)
            for (int i = 0; i < x.count; ++i) f.Add(x.bit[i], x.fuse[i]);
    return f;
}

// Row 257's own fuse callback: as ProcessFuseBit, but a user break during a
// check fails the cell, so the walk stops as on the other rows.
uint32_t ProcessEpldFuseBit(uint32_t fuse, int k, uint32_t w, int mode) {
    const int user = StepProgressByAddress(fuse);
    if (mode == kWriting) {
        FailAddress = fuse;
        return GetBufferBitShifted(fuse, static_cast<uint32_t>(k));
    }
    if (user == 3) {
        CompareFailed = 1;
        return 0;
    }
    const uint32_t bit = (w >> k) & 1;
    bool fail = false;
    switch (mode) {
    case 2: SetBufferBit(fuse, bit); break;
    case 3: fail = GetBufferBit(fuse) != bit; break;
    case 0: fail = bit != BlankValue; break;
    case kAfterSecure: fail = bit != SecureCheckValue; break;
    default: break;
    }
    if (fail) {
        FailAddress = fuse;
        CompareFailed = 1;
    }
    return 0;
}

void MapEpldCell(const SigRow& t, int index, int kind, int mode) {
    const CellFuses f = MapFuses(t, kind, index);
    EpldCompareMask = f.Mask;
    ExpectedValue = 0;
    for (int i = 0; i < f.Count; ++i) {
        if (t.Row == 257)
            ExpectedValue |= ProcessEpldFuseBit(f.Fuse[i], f.Bit[i], ReadValue, mode);
        else
            ExpectedValue |= ProcessFuseBit(static_cast<int>(f.Fuse[i]), f.Bit[i], static_cast<int>(ReadValue), mode);
    }
}

// Pulses until the byte reads as ExpectedValue (at most 100), then
// factor x n further pulses; a byte still wrong sets CompareFailed.
void ProgramEpldByte(const SigRow& t, int factor, bool slow) {
    auto wrong = [] { return (ReadValue & static_cast<uint32_t>(EpldCompareMask)) != ExpectedValue; };
    ReadEpldByte(t);
    if (!wrong()) return;
    int n = 0;
    while (n < EpldPulseLimit && wrong()) {
        PulseEpldByte(t);
        ++n;
        ReadEpldByte(t);
    }
    for (int k = 0; k < factor * n; ++k) PulseEpldByte(t);
    ReadEpldByte(t);
    if (wrong()) CompareFailed = 1;
    else if (slow) CompareFailed = 0;
}

void ProgramEpldByteSlow(const SigRow& t, int factor, int check) {
    ProgramEpldByte(t, factor, true);
    if (check != 1) CompareFailed = 0;
}

int TransferEpldCell(const SigRow& t, const EpldCell& cell, int mode) {
    ReadValue = 0;
    if (mode == kWriting) {
        MapEpldCell(t, cell.Index, cell.Kind, kWriting);
        SetEpldAddress(t, cell.A, cell.C);
        if (EpldSubType == 1 && t.Row != 256) ProgramEpldByteSlow(t, 1, 1);
        else ProgramEpldByte(t, t.OverFactor, false);
    } else {
        SetEpldAddress(t, cell.A, cell.C);
        ReadEpldByte(t);
        MapEpldCell(t, cell.Index, cell.Kind, mode);
    }
    return CompareFailed == 1 ? -1 : 1;
}

// --- Walks

std::vector<EpldCell> Walk(const SigRow& t, int mode) {
    std::vector<EpldCell> w;
    const bool blank = mode == 0;
    const uint8_t* T = EpldSpecialRowTable[0];
    const uint8_t* T2 = EpldSpecialRowTable[1];
    auto array = [&](int kind, int a0, int columnBase, int columns) {
        int index = 0;
        for (int a = a0; a < a0 + 10; ++a)
            for (int c = 0; c < columns; ++c) w.push_back({a, columnBase + c, kind, index++});
    };
    auto special = [&](int kind, auto where) {
        for (int i = 0; i < 5; ++i) {
            const auto [a, c] = where(i);
            w.push_back({a, c, kind, i});
        }
    };
    const int s = EpldSubType;
    if (t.Row == 255) {
        const bool plain = s == 0 || s == 2 || s == 4;
        array(0, 0, 0, 40);
        array(1, 0, 64, 40);
        special(2, [&](int i) { return plain ? std::pair{10 + i, 40} : std::pair{int{T[i]}, 107}; });
        special(3, [&](int i) { return plain ? std::pair{10 + i, 104} : std::pair{int{T[i]}, 45}; });
        if (!blank) {
            w.push_back({plain ? 15 : 7, plain ? 40 : 107, 4, 0});
            w.push_back({plain ? 15 : 7, plain ? 104 : 45, 5, 0});
        }
    } else if (t.Row == 256) {
        const bool plain = s == 0;
        array(0, 0, 0, 72);
        array(1, 16, 0, 72);
        array(2, 0, 128, 72);
        array(3, 16, 128, 72);
        special(4, [&](int i) { return plain ? std::pair{10 + i, 72} : std::pair{int{T[i]}, 203}; });
        special(5, [&](int i) { return plain ? std::pair{26 + i, 72} : std::pair{int{T2[i]}, 203}; });
        special(6, [&](int i) { return plain ? std::pair{10 + i, 200} : std::pair{int{T[i]}, 77}; });
        special(7, [&](int i) { return plain ? std::pair{26 + i, 200} : std::pair{int{T2[i]}, 77}; });
        if (!blank) {
            w.push_back({plain ? 15 : 7, plain ? 200 : 203, 8, 0});
            w.push_back({plain ? 15 : 7, plain ? 72 : 77, 9, 0});
        }
    } else {
        const bool plain = s == 0 || s == 9;
        for (int k = 0; k < 3; ++k) array(k, 16 * k, 128, 88);
        for (int k = 0; k < 3; ++k) array(3 + k, 16 * k, 0, 88);
        for (int k = 0; k < 3; ++k)
            special(6 + k, [&](int i) { return plain ? std::pair{10 + 16 * k + i, 216} : std::pair{T[i] + 16 * k, 93}; });
        for (int k = 0; k < 3; ++k)
            special(9 + k, [&](int i) { return plain ? std::pair{10 + 16 * k + i, 88} : std::pair{T[i] + 16 * k, 219}; });
        if (plain) {
            w.push_back({15, 88, 12, 0});
            w.push_back({15, 216, 13, 0});
        } else {
            static constexpr int kCells[6][3] = {{37, 219, 20}, {33, 219, 21}, {33, 93, 22},
                                                 {37, 93, 23},  {35, 219, 24}, {35, 93, 25}};
            for (const auto& c : kCells) w.push_back({c[0], c[1], c[2], 0});
        }
        if (!blank) {
            w.push_back({plain ? 47 : 39, plain ? 88 : 219, 14, 0});
            w.push_back({plain ? 47 : 39, plain ? 216 : 93, 15, 0});
        }
    }
    return w;
}

int WalkEpldArray(const SigRow& t, int mode) {
    PowerUpEpld(t, mode);
    int r = 1;
    for (const EpldCell& cell : Walk(t, mode)) {
        r = TransferEpldCell(t, cell, mode);
        if (r == -1) break;
    }
    PowerDownEpld(t);
    return r;
}

int ReadEntry(const SigRow& t, int mode) {
    int r = IdentifyEpld(t);
    if (r != -1) r = WalkEpldArray(t, mode);
    PowerDownEpld(t);
    return r;
}

int SecureEntry(const SigRow& t) {
    ExpectedValue = t.SecureData;
    const int r = IdentifyEpld(t);
    if (r == -1) return -1;
    PowerUpEpld(t, kAfterSecure);
    const bool first = t.Row == 255 ? (EpldSubType == 0 || EpldSubType == 2 || EpldSubType == 4)
                                    : t.Row == 256 ? EpldSubType == 0 : (EpldSubType == 0 || EpldSubType == 9);
    static constexpr int kAddress[3][2][2] = {{{15, 104}, {8, 45}}, {{15, 200}, {8, 77}}, {{47, 216}, {40, 93}}};
    const auto& at = kAddress[t.Row - 255][first ? 0 : 1];
    SetEpldAddress(t, at[0], at[1]);
    for (int k = 0; k < t.SecurePulses; ++k) PulseEpldByte(t);
    PowerDownEpld(t);
    // A secured part reads 00h, signature included: a part that still
    // answers with a signature the identification takes is not secured.
    const int subType = EpldSubType;
    const int strobe = EpldStrobeLevel, vpp = EpldVppLevel;
    const uint32_t supply = SupplyVoltage;
    const bool open = ReadAndDecide(t) == 1;
    EpldSubType = subType;
    EpldStrobeLevel = strobe;
    EpldVppLevel = vpp;
    SupplyVoltage = supply;
    return open ? LockNotTaken(" Security not programmed: the part still gives its signature.") : r;
}

} // namespace

int Alg255Read(int mode) { return ReadEntry(kRow255, mode); }
int Alg255Program() { return ReadEntry(kRow255, kWriting); }
int Alg255Secure() { return SecureEntry(kRow255); }
int Alg256Read(int mode) { return ReadEntry(kRow256, mode); }
int Alg256Program() { return ReadEntry(kRow256, kWriting); }
int Alg256Secure() { return SecureEntry(kRow256); }
int Alg257Read(int mode) { return ReadEntry(kRow257, mode); }
int Alg257Program() { return ReadEntry(kRow257, kWriting); }
int Alg257Secure() { return SecureEntry(kRow257); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 255,
     .Read = Alg255Read,
     .Program = Alg255Program,
     .Secure = Alg255Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 256,
     .Read = Alg256Read,
     .Program = Alg256Program,
     .Secure = Alg256Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 257,
     .Read = Alg257Read,
     .Program = Alg257Program,
     .Secure = Alg257Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("SignatureEpld", Logic, 230, kAlgorithmRows);
