#include "logic/CycleRecordPld.h"

#include <cstring>

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
#include "logic/GalFrame.h"
#include "logic/PalEmulation.h"
#include "logic/PldPower.h"

uint16_t InfoWords[38];
uint32_t CycleCounter = 0;
uint32_t LimitCounter = 0;
int32_t CachedByteIndex = -1;
int32_t ChipIdCode = 0;

namespace {

enum Command { kModeCommand = 0, kRowCommand = 1, kIndexCommand = 2, kDataCommand = 3 };
enum ChipMode { kEraseMode = 1, kProgramMode = 2, kReadMode = 3 };
constexpr int kWriting = 1;
constexpr int kRowBits = 6;
constexpr int kSecureRow = 56;
constexpr int kIdRow = 63;
// Rows of the byte types past the array.
constexpr int kUesRow = 40, kArchRow = 41, kTermDisableRow = 42;
constexpr int kEditTenths = 120;
constexpr int kIdleEditTenths = 50;
constexpr uint32_t kWritePulseUs = 2000;
constexpr uint32_t kErasePulseMs = 1000;

// Byte kinds (rows 235, 236) and word kinds (row 237).
enum Kind {
    kArray = 0, kUes = 1, kTermDisable = 2, kArchitecture = 3, kRecordLow = 4, kRecordHigh = 5,
    kRecordBits45 = 6, kRecordBits67 = 7, kSecureByte = 8,
    kWordArray = 0, kWordOe = 1, kWordClock = 2, kWordPreset = 3, kWordCellsEven = 4, kWordCellsOdd = 5,
    kSecureWord = 6, kRecordFirst = 10, kRecordSecond = 11,
};

struct CycleRow {
    uint32_t Row;
    int DataPin, ClockPin, BusPins[2], StrobePin, OutPin, VerifyPin, EditPin;
    int ModeBits, IndexBits, UnitBits;
    int RecordRow, UnitsPerRecordRow;
    int IdMask;               // 0: no identification row
    int IdLow, IdHigh;        // accepted codes
    const uint16_t* DefaultRecord;
    int CounterUnit, LimitUnit;
    int ArrayRows;            // byte types: array row addresses 0..ArrayRows-1
    int FuseSet;              // byte types: GalFuseBases set
    const uint8_t* RowAddresses; // byte types: the array rows' addresses, nullptr: as they are
};

constexpr uint16_t kDefault235[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 2};
constexpr uint16_t kDefault236[16] = {0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 100, 0, 0, 0, 0, 0};
constexpr uint16_t kDefault237[38] = {0, 0, 0, 0, 0, 0, 0, 0, 513, 513, 771, 771, 903, 903, 975, 975, 0, 1022, 511,
                                      6, 0, 100, 0, 0, 0, 0, 0, 513, 513, 771, 771, 999, 903, 975, 975, 0, 1022, 511};
constexpr uint8_t kRows236[40] = {0,  1,  38, 39, 4,  5,  2,  3,  8,  9,  6,  7,  12, 13,
                                  10, 11, 16, 17, 14, 15, 20, 21, 18, 19, 24, 25, 22, 23,
                                  28, 29, 26, 27, 34, 35, 30, 31, 36, 37, 32, 33};

const CycleRow kRow235{235, 21, 20, {22, 23}, 19, 26, 16, 18, 4, 3, 8, 43, 8, 0, 0, 0,
                       kDefault235, 8, 10, 32, 0, nullptr};
const CycleRow kRow236{236, 19, 18, {20, 21}, 17, 27, 14, 16, 4, 3, 8, 43, 8, 127, 65, 90,
                       kDefault236, 8, 10, 40, 1, kRows236};
const CycleRow kRow237{237, 21, 20, {22, 23}, 19, 26, 0, 18, 5, 5, 10, 45, 19, 1023, 65, 66,
                       kDefault237, 19, 21, 0, 0, nullptr};

bool WordType(const CycleRow& t) { return t.UnitBits == 10; }
int RecordUnits(const CycleRow& t) { return 2 * t.UnitsPerRecordRow; }
uint32_t UnitMask(const CycleRow& t) { return (1u << t.UnitBits) - 1; }
// Rows 235 and 236 work on the device image.
uint32_t FuseBase(const CycleRow& t) { return WordType(t) ? 0 : ShadowFuseBase; }

void ClockEditBit(const CycleRow& t, uint32_t b) {
    SetPin(t.DataPin, static_cast<int>(b & 1));
    SetPin(t.ClockPin, 1);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataPin, 0);
}

void PutCommand(int c) { WritePinGroup(0, 0, 1, static_cast<uint64_t>(c)); }

void SendCommand(const CycleRow& t, int c, uint32_t value, int n, bool lsbFirst = false) {
    PutCommand(c);
    for (int k = 0; k < n; ++k) ClockEditBit(t, value >> (lsbFirst ? k : n - 1 - k));
}

// ReadByte; on the word type (10 bits) it is the ReadWord of that row.
uint32_t ReadByte(const CycleRow& t, bool lsbFirst) {
    PutCommand(kDataCommand);
    SetPin(t.StrobePin, 1);
    uint32_t v = 0;
    for (int i = 0; i < t.UnitBits; ++i) {
        ClockEditBit(t, 0);
        SetPin(t.StrobePin, 0);
        const auto bit = static_cast<uint32_t>(GetPin(t.OutPin) & 1);
        v |= bit << (lsbFirst ? i : t.UnitBits - 1 - i);
    }
    return v;
}

void PowerDownEditMode(const CycleRow& t) {
    ApplyVoltageToPin(2, t.EditPin, 0, kIdleEditTenths);
    DelayShortUsSlot(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

uint32_t RecordValue(const CycleRow& t, int unit) {
    return InfoWords[unit] + (InfoWords[unit + 1] << t.UnitBits);
}
void TakeCounters(const CycleRow& t) {
    CycleCounter = RecordValue(t, t.CounterUnit);
    LimitCounter = RecordValue(t, t.LimitUnit);
}

int OpenDeviceAccess(const CycleRow& t, int mode) {
    CachedByteIndex = -1;
    if (!WordType(t)) CompareFailed = 0;
    BlankValue = 0;
    SecureCheckValue = 1;
    DefinePinGroup("", 0, t.BusPins[0], t.BusPins[1], 0);
    GalChooseSupply(mode);
    PldSupplyRangeAndGround(static_cast<int>(SupplyVoltage));
    FloatPinRange(1, 48);
    if (t.VerifyPin != 0) SetPin(t.VerifyPin, 0);
    SetPin(t.StrobePin, 0);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataPin, 1);
    PutCommand(kDataCommand);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(50);
    ApplyVoltageToPin(2, t.EditPin, 1, kEditTenths);
    DelayShortUsSlot(50);

    SendCommand(t, kModeCommand, kReadMode, t.ModeBits);
    if (t.IdMask != 0) {
        SendCommand(t, kRowCommand, kIdRow, kRowBits);
        ChipIdCode = static_cast<int32_t>(ReadByte(t, true) & static_cast<uint32_t>(t.IdMask));
        if (ChipIdCode < t.IdLow || ChipIdCode > t.IdHigh) {
            PowerDownEditMode(t);
            return RefuseIdentity(false, " Invalid Chip ID.");
        }
        if (!WordType(t)) SendCommand(t, kModeCommand, kReadMode, t.ModeBits);
    }
    for (int i = 0; i < RecordUnits(t); ++i) {
        if (i % t.UnitsPerRecordRow == 0)
            SendCommand(t, kRowCommand, static_cast<uint32_t>(t.RecordRow + i / t.UnitsPerRecordRow), kRowBits);
        SendCommand(t, kIndexCommand, static_cast<uint32_t>(i % t.UnitsPerRecordRow), t.IndexBits);
        InfoWords[i] = static_cast<uint16_t>(ReadByte(t, true));
    }
    TakeCounters(t);
    if (LimitCounter < CycleCounter) ShowMessageLine(" Device exceeded the program/erase cycle!");
    return 1;
}

// --- Bit layouts: the fuse of value bit b of a unit, or -1 where the bit is
// not a fuse (then ConstantBit gives it).

int ByteFuse(const CycleRow& t, int kind, int index, int row, int b) {
    const GalFuseBaseEntry& f = GalFuseBases[t.FuseSet];
    switch (kind) {
    case kArray: return (8 * b + index) * t.ArrayRows + row;
    case kUes: return static_cast<int>(f.Ues) + 8 * index + b;
    case kTermDisable: return static_cast<int>(f.ProductTermDisable) + index + 8 * b;
    case kArchitecture:
        if (index == 0) return static_cast<int>(f.Xor) + b;
        if (index == 1) return static_cast<int>(f.Ac1) + b;
        if (b == 0) return static_cast<int>(f.SynAc0) + 1;
        return b == 1 ? static_cast<int>(f.SynAc0) : -1;
    default: return -1;
    }
}

// Output i's product terms (S_i groups of 44 from A_i) and OE terms (O_i).
constexpr int kTermGroups[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int kTermFuse[10] = {88, 484, 968, 1540, 2200, 2948, 3696, 4356, 4928, 5412};
constexpr int kOeFuse[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kPresetFuse = 5764;
constexpr int kCellsFuse = 5808;
constexpr int kColumns = 44;

int WordFuse(int kind, int g, int c, int i) {
    switch (kind) {
    case kWordArray: return g < kTermGroups[i] ? kTermFuse[i] + 44 * g + c : -1;
    case kWordOe: return kOeFuse[i] + c;
    case kWordClock: return i == 0 ? c : -1;
    case kWordPreset: return i == 9 ? kPresetFuse + c : -1;
    case kWordCellsEven: return kCellsFuse + 2 * i;
    case kWordCellsOdd: return kCellsFuse + 2 * i + 1;
    default: return -1;
    }
}

// M(g): the bits of group g that are fuses.
uint32_t WordMask(int g) {
    if (g == 16) return 1023;
    if (g == 17) return 512;
    if (g == 18) return 1;
    uint32_t m = 0;
    for (int i = 0; i < 10; ++i)
        if (g < kTermGroups[i]) m |= 1u << i;
    return m;
}

uint32_t ConstantBit(int kind, int index, int b) {
    switch (kind) {
    case kArchitecture: return index == 2 && b == 2 ? 1 : 0;
    case kRecordLow: return (InfoWords[index] >> b) & 1u;
    case kRecordHigh: return (InfoWords[8 + index] >> b) & 1u;
    case kRecordBits45: return b < 2 ? (InfoWords[15] >> (5 - b)) & 1u : 0;
    case kRecordBits67: return b < 2 ? (InfoWords[15] >> (7 - b)) & 1u : 0;
    case kSecureByte: return 1;
    default: return 0;
    }
}

// The fuse of bit b of a unit, -1 where the bit is not a fuse.
int UnitFuse(const CycleRow& t, int kind, int index, int row, int b) {
    if (!WordType(t)) return ByteFuse(t, kind, index, row, b);
    if (kind == kSecureWord || kind == kRecordFirst || kind == kRecordSecond) return -1;
    return WordFuse(kind, index, row, b);
}

// Builds the unit to write (mode 1) or checks the unit read (other modes),
// bit by bit from the most significant, as the chip takes them.
uint32_t BuildUnit(const CycleRow& t, int kind, int index, int row, uint32_t read, int mode) {
    uint32_t v = 0;
    for (int b = t.UnitBits - 1; b >= 0; --b) {
        const int fuse = UnitFuse(t, kind, index, row, b);
        uint32_t constant = 0;
        if (WordType(t)) {
            if (kind == kSecureWord) constant = 1;
            else if (kind == kRecordFirst) constant = (InfoWords[index] >> b) & 1u;
            else if (kind == kRecordSecond) constant = (InfoWords[19 + index] >> b) & 1u;
        } else if (fuse < 0) {
            constant = ConstantBit(kind, index, b);
        }
        if (fuse >= 0)
            v |= ProcessFuseBit(static_cast<int>(FuseBase(t)) + fuse, b, static_cast<int>(read), mode);
        else if (mode == kWriting)
            v |= constant << b;
    }
    if (WordType(t) && kind <= kWordCellsOdd) v |= ~WordMask(index) & UnitMask(t);
    return v;
}

bool LsbFirstKind(const CycleRow& t, int kind) {
    return WordType(t) ? kind == kRecordFirst || kind == kRecordSecond : kind == kRecordLow || kind == kRecordHigh;
}

// A write whose status says the cells do not hold the unit: the unit read
// back (the row and index stay addressed) names the first fuse, from the
// most significant bit as the unit was built, that differs from what was
// written; when none differs, the unit's first fuse. Units without fuses
// leave FailAddress as it is.
void NameFailedFuse(const CycleRow& t, int kind, int index, int row, uint32_t written) {
    SendCommand(t, kModeCommand, kReadMode, t.ModeBits);
    const uint32_t read = ReadByte(t, false);
    SendCommand(t, kModeCommand, kProgramMode, t.ModeBits);
    int first = -1;
    for (int b = t.UnitBits - 1; b >= 0; --b) {
        const int fuse = UnitFuse(t, kind, index, row, b);
        if (fuse < 0) continue;
        if (first < 0) first = fuse;
        if (((read ^ written) >> b) & 1u) {
            first = fuse;
            break;
        }
    }
    if (first >= 0) FailAddress = FuseBase(t) + static_cast<uint32_t>(first);
}

// One unit: row address, the index when it changed, then a read and check
// or a write with its status check. -1 when CompareFailed is set.
int AccessByte(const CycleRow& t, int index, int row, int kind, int mode) {
    const uint32_t unit = mode == kWriting ? BuildUnit(t, kind, index, row, 0, kWriting) : 0;
    const int address = t.RowAddresses != nullptr && row < t.ArrayRows ? t.RowAddresses[row] : row;
    SendCommand(t, kRowCommand, static_cast<uint32_t>(address), kRowBits);
    if (index != CachedByteIndex) {
        CachedByteIndex = index;
        SendCommand(t, kIndexCommand, static_cast<uint32_t>(index), t.IndexBits);
    }
    if (mode != kWriting) {
        ReadValue = ReadByte(t, false);
        BuildUnit(t, kind, index, row, ReadValue, mode);
    } else {
        SendCommand(t, kDataCommand, unit, t.UnitBits, LsbFirstKind(t, kind));
        SetPin(t.StrobePin, 1);
        DelayUsSlot(kWritePulseUs);
        SetPin(t.StrobePin, 0);
        bool failed = false;
        if (WordType(t)) {
            failed = GetPin(t.OutPin) == 0;
        } else if (row < t.ArrayRows || row == kSecureRow) {
            SetPin(t.VerifyPin, 1);
            failed = GetPin(t.OutPin) == 0;
            SetPin(t.VerifyPin, 0);
        }
        if (failed) {
            CompareFailed = 1;
            NameFailedFuse(t, kind, index, row, unit);
        }
    }
    return CompareFailed == 1 ? -1 : 1;
}

// A failed step: powered down, the failing fuse as a device fuse number.
int Fail(const CycleRow& t) {
    PowerDownEditMode(t);
    if (FailAddress >= FuseBase(t)) FailAddress -= FuseBase(t);
    return -1;
}

int ByteWalk(const CycleRow& t, int mode) {
    for (int index = 0; index < 8; ++index)
        for (int row = 0; row < t.ArrayRows; ++row)
            if (AccessByte(t, index, row, kArray, mode) == -1) return -1;
    for (int index = 0; index < 8; ++index)
        if (AccessByte(t, index, kUesRow, kUes, mode) == -1) return -1;
    for (int index = 0; index < 8; ++index)
        if (AccessByte(t, index, kTermDisableRow, kTermDisable, mode) == -1) return -1;
    for (int index = 0; index < 3; ++index)
        if (AccessByte(t, index, kArchRow, kArchitecture, mode) == -1) return -1;
    return 1;
}

int WordWalk(const CycleRow& t, int mode) {
    for (int g = 0; g < 16; ++g)
        for (int c = 0; c < kColumns; ++c)
            if (AccessByte(t, g, c, kWordArray, mode) == -1) return -1;
    for (int c = 0; c < kColumns; ++c) {
        if (AccessByte(t, 16, c, kWordOe, mode) == -1) return -1;
        if (AccessByte(t, 18, c, kWordClock, mode) == -1) return -1;
        if (AccessByte(t, 17, c, kWordPreset, mode) == -1) return -1;
    }
    if (AccessByte(t, 0, kColumns, kWordCellsEven, mode) == -1) return -1;
    return AccessByte(t, 1, kColumns, kWordCellsOdd, mode);
}

// `opened`: set when the part was taken (its identity passed).
int Walk(const CycleRow& t, int mode, bool* opened = nullptr) {
    if (OpenDeviceAccess(t, mode) != 1) return -1;
    if (opened != nullptr) *opened = true;
    if (mode == 2) {
        ShowMessageLine(" Cycle Counter: %d", static_cast<int>(CycleCounter));
        ShowMessageLine(" Limit Counter: %d", static_cast<int>(LimitCounter));
    }
    SendCommand(t, kModeCommand, mode == kWriting ? kProgramMode : kReadMode, t.ModeBits);
    if ((WordType(t) ? WordWalk(t, mode) : ByteWalk(t, mode)) == -1) return Fail(t);
    PowerDownEditMode(t);
    return 1;
}

int ReadEntry(const CycleRow& t, int mode) {
    if (WordType(t)) return Walk(t, mode);
    if (mode == 3) RemapFuseRows(1);
    // A part refused before the walk read nothing: the fuse map stays as
    // the user has it.
    bool opened = false;
    const int r = Walk(t, mode, &opened);
    if (mode == 2 && opened) RemapFuseRows(2);
    return r;
}

int ProgramEntry(const CycleRow& t) {
    if (!WordType(t)) RemapFuseRows(1);
    return Walk(t, kWriting);
}

// Adds one to the counter, carrying into the next unit.
void CountCycle(const CycleRow& t) {
    if (CycleCounter == 0) std::memcpy(InfoWords, t.DefaultRecord, sizeof(uint16_t) * static_cast<size_t>(RecordUnits(t)));
    const int c = t.CounterUnit;
    InfoWords[c] = static_cast<uint16_t>((InfoWords[c] + 1) & UnitMask(t));
    if (InfoWords[c] == 0) InfoWords[c + 1] = static_cast<uint16_t>((InfoWords[c + 1] + 1) & UnitMask(t));
    TakeCounters(t);
}

int EraseEntry(const CycleRow& t) {
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    if (WordType(t) && ChipIdCode == 65) SendCommand(t, kRowCommand, kSecureRow, kRowBits);
    SendCommand(t, kModeCommand, kEraseMode, t.ModeBits);
    PutCommand(kIndexCommand);
    SetPin(t.StrobePin, 1);
    DelayMsSlot(kErasePulseMs);
    SetPin(t.StrobePin, 0);
    CountCycle(t);
    SendCommand(t, kModeCommand, kProgramMode, t.ModeBits);
    const int first = WordType(t) ? kRecordFirst : kRecordLow;
    const int second = WordType(t) ? kRecordSecond : kRecordHigh;
    for (int i = 0; i < t.UnitsPerRecordRow; ++i)
        if (AccessByte(t, i, t.RecordRow, first, kWriting) == -1) return Fail(t);
    for (int i = 0; i < t.UnitsPerRecordRow; ++i)
        if (AccessByte(t, i, t.RecordRow + 1, second, kWriting) == -1) return Fail(t);
    if (!WordType(t)) {
        if (AccessByte(t, 3, kArchRow, kRecordBits45, kWriting) == -1 ||
            AccessByte(t, 4, kArchRow, kRecordBits67, kWriting) == -1)
            return Fail(t);
    }
    PowerDownEditMode(t);
    return 1;
}

int SecureEntry(const CycleRow& t) {
    ReadBackAfterSecure = 0;
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    SendCommand(t, kModeCommand, kProgramMode, t.ModeBits);
    const int r = AccessByte(t, 0, kSecureRow, WordType(t) ? kSecureWord : kSecureByte, kWriting);
    PowerDownEditMode(t);
    return r;
}

} // namespace

int Alg235Read(int mode) { return ReadEntry(kRow235, mode); }
int Alg235Program() { return ProgramEntry(kRow235); }
int Alg235Erase() { return EraseEntry(kRow235); }
int Alg235Secure() { return SecureEntry(kRow235); }
int Alg236Read(int mode) { return ReadEntry(kRow236, mode); }
int Alg236Program() { return ProgramEntry(kRow236); }
int Alg236Erase() { return EraseEntry(kRow236); }
int Alg236Secure() { return SecureEntry(kRow236); }
int Alg237Read(int mode) { return ReadEntry(kRow237, mode); }
int Alg237Program() { return ProgramEntry(kRow237); }
int Alg237Erase() { return EraseEntry(kRow237); }
int Alg237Secure() { return SecureEntry(kRow237); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 235,
     .Read = Alg235Read,
     .Program = Alg235Program,
     .Erase = Alg235Erase,
     .Secure = Alg235Secure,
     .Options = Alg207Options},
    {.Row = 236,
     .Read = Alg236Read,
     .Program = Alg236Program,
     .Erase = Alg236Erase,
     .Secure = Alg236Secure,
     .Options = Alg208Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 237,
     .Read = Alg237Read,
     .Program = Alg237Program,
     .Erase = Alg237Erase,
     .Secure = Alg237Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("CycleRecord", Logic, 120, kAlgorithmRows);
