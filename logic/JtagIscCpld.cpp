#include "logic/JtagIscCpld.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Jtag.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "logic/FuseCells.h"
#include "logic/PldPower.h"

namespace {

enum Instruction : uint32_t {
    kEnable = 0x280,
    kIdentify = 0x059,
    kAddress = 0x2A1,
    kData0 = 0x290,
    kRead = 0x28C,
    kErase = 0x2B3,
    kPulseStart = 0x29E,
    kPulseEnd = 0x2BF,
};
constexpr uint64_t kEnableKey = 0x1B9;
constexpr int kIrLength = 10;
constexpr int kHighVoltageTenths = 110;
constexpr int kUnusedBits = 6; // register bits of the narrow rows without a cell
constexpr int kFirstGap = 108, kLastGap = 127;

int KindLength(const JtagIscType& t, int kind) {
    static const int lengths[4] = {0, 32, 4, 16};
    return kind == 0 ? t.Kind0Length : lengths[kind & 3];
}

void ProgramPulse(uint32_t ms) {
    JtagLoadInstruction(kPulseStart);
    DelayMsSlot(ms);
    JtagLoadInstruction(kPulseEnd);
}

void SetAddress(int kind, int row) {
    JtagLoadInstruction(kAddress);
    JtagShiftDr(static_cast<uint64_t>(kind) << 8 | static_cast<uint64_t>(row), 11);
}

int MapCell(const JtagIscType& t, uint32_t fuse, int bit, int mode) {
    ReadValue = GetBufferBit(t.CaptureArea + static_cast<uint32_t>(bit));
    ExpectedValue = ProcessFuseBit(static_cast<int>(fuse), 0, static_cast<int>(ReadValue), mode);
    if (mode == 1) SetBufferBit(t.ProgramArea + static_cast<uint32_t>(bit), ExpectedValue);
    return CompareFailed == 1 ? -1 : 1;
}

// The columns of one row in the fuse table's order; 1 for a row outside it.
int MapRow(const JtagIscType& t, int kind, int row, int mode) {
    uint32_t first = 0, rowStep = 0, columnStep = 1;
    int columns = t.Columns;
    if (kind != 0) {
        first = t.KindBase[kind];
        columns = KindLength(t, kind);
    } else if (row >= 12 && row <= 107) {
        first = t.Rows12Base + static_cast<uint32_t>(row - 12), columnStep = 96;
    } else if (row >= 128 && row <= 223) {
        first = t.Rows128Base + static_cast<uint32_t>(row - 128), columnStep = 96;
    } else if (row >= 0 && row <= 5) {
        first = t.Rows0Base, rowStep = static_cast<uint32_t>(t.Columns);
        first += rowStep * static_cast<uint32_t>(row);
    } else if (row >= 6 && row <= 11) {
        first = t.Rows6Base + static_cast<uint32_t>(t.Columns) * static_cast<uint32_t>(row - 6);
    } else if (row >= 224 && row <= t.LastRow) {
        first = t.LastRowsBase + static_cast<uint32_t>(row - 224), columnStep = t.LastRowsStride;
        columns = t.Kind0Length;
    } else {
        return 1;
    }
    const int length = KindLength(t, kind);
    for (int i = 0; i < columns; ++i) {
        if (MapCell(t, first + static_cast<uint32_t>(i) * columnStep, length - 1 - i, mode) == -1) return -1;
    }
    return 1;
}

bool InGap(int row) { return row >= kFirstGap && row <= kLastGap; }

int Read(const JtagIscType& t, JtagIscState& s, int mode) {
    if (Alg249PowerUp(t, s) == -1) return -1;
    int r = 1;
    for (int row = 0; row <= t.LastRow && r == 1; ++row) {
        if (!InGap(row)) r = Alg249AccessRow(t, s, 0, row, mode);
    }
    for (int kind = 1; kind <= 3 && r == 1; ++kind) r = Alg249AccessRow(t, s, kind, 0, mode);
    Alg249PowerDown(t, s);
    return r;
}

// The read-protection cell is cell 0 of the kind-2 register. Programmed with
// the other rows it would protect the part before the verify pass and the
// kind-1 register, so a file that sets it cannot be programmed: it is
// refused once the part is identified, before any write, and Secure sets
// the cell instead.
bool RefuseReadProtection(const JtagIscType& t) {
    const uint32_t fuse = t.KindBase[2];
    if (GetBufferBit(fuse) != 0) return false;
    FailAddress = fuse;
    ShowMessageLine(" Fuse %u (read protection) is programmed in the file; use Secure to set it.", fuse);
    return true;
}

int Program(const JtagIscType& t, JtagIscState& s) {
    if (Alg249PowerUp(t, s) == -1) return -1;
    if (RefuseReadProtection(t)) {
        Alg249PowerDown(t, s);
        return -1;
    }
    for (int b = 0; b < kUnusedBits; ++b) SetBufferBit(t.ProgramArea + static_cast<uint32_t>(b), 1);
    int r = 1;
    for (int row = 0; row <= t.LastRow && r == 1; ++row) {
        if (!InGap(row)) r = Alg249AccessRow(t, s, 0, row, 1);
    }
    if (r == 1) r = Alg249AccessRow(t, s, 2, 0, 1);
    if (r == 1) r = Alg249AccessRow(t, s, 3, 0, 1);
    for (int row = 224; row <= t.LastRow && r == 1; ++row) r = Alg249AccessRow(t, s, 0, row, 3);
    if (r == 1) r = Alg249AccessRow(t, s, 1, 0, 1);
    Alg249PowerDown(t, s);
    return r;
}

int Erase(const JtagIscType& t, JtagIscState& s) {
    if (Alg249PowerUp(t, s) == -1) return -1;
    JtagLoadInstruction(kErase);
    ProgramPulse(s.EraseMs);
    Alg249PowerDown(t, s);
    return 1;
}

int Secure(const JtagIscType& t, JtagIscState& s) {
    if (Alg249PowerUp(t, s) == -1) return -1;
    for (uint32_t b = 0; b < 3; ++b) SetBufferBit(t.ProgramArea + b, 1);
    SetBufferBit(t.ProgramArea + 3, 0);
    SetAddress(2, 0);
    JtagLoadInstruction(kData0 + 2);
    JtagShiftDrFromBuffer(t.ProgramArea, 4);
    ProgramPulse(s.ProgramMs);
    Alg249PowerDown(t, s);
    return Alg249CheckSecured(t, s);
}

} // namespace

const JtagIscType JtagIsc249 = {
    249, true, {0x0150403F, 0x0150503F, 0x0151403F}, 0x0151503F, 166, 160, 0, 15360, 30720, 31680,
    232, 32640, 9, {0, 34134, 34166, 34170}, 50000, 60000,
};
const JtagIscType JtagIsc298 = {
    298, false, {0x0150803F, 0x0150903F, 0x0151803F}, 0x0151903F, 326, 320, 0, 30720, 61440, 63360,
    250, 65280, 27, {0, 74082, 74114, 74118}, 80000, 90000,
};
JtagIscState Alg249State{};
JtagIscState Alg298State{};

int Alg249PowerUp(const JtagIscType& t, JtagIscState& s) {
    if (t.PinsByPackage && PackageRow(PackageIndex).PinCount == 44) {
        s.Tms = 15, s.Tck = 34, s.Tdi = 9, s.Tdo = 40, s.HighVoltage = 46;
    } else {
        s.Tms = 7, s.Tck = 8, s.Tdi = 5, s.Tdo = 6, s.HighVoltage = 13;
    }
    ReadBackAfterSecure = 0;
    BlankValue = 1;
    SupplyVoltage = ReadVccInUse;
    const int supply = static_cast<int>(SupplyVoltage);
    PldSupplyRangeAndGround(supply);
    FloatPinRange(1, 48);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    JtagInit(s.Tms, s.Tck, s.Tdi, s.Tdo, kIrLength);
    SetPin(s.Tms, 1);
    ApplyVppToPin(s.HighVoltage, 1, kHighVoltageTenths);
    SetPin(s.HighVoltage, 2);
    DelayMsSlot(50);
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kEnable);
    JtagShiftDr(kEnableKey, kIrLength);
    JtagLoadInstruction(kIdentify);
    JtagCaptureDrToBuffer(t.CaptureArea, 32);
    uint32_t id = 0;
    for (uint32_t i = 0; i < 32; ++i) id |= GetBufferBit(t.CaptureArea + i) << i;
    s.ReadMs = 20;
    s.EraseMs = 200;
    if (id == t.Ids20ms[0] || id == t.Ids20ms[1] || id == t.Ids20ms[2]) {
        s.ProgramMs = 20;
        return 1;
    }
    if (id == t.Id50ms) {
        s.ProgramMs = 50;
        return 1;
    }
    Alg249PowerDown(t, s);
    return RefuseIdentity(false, " Invalid ID");
}

void Alg249PowerDown(const JtagIscType&, JtagIscState& s) {
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kEnable);
    JtagShiftDr(0, kIrLength);
    SetPin(s.Tms, 1);
    DelayMsSlot(50);
    ApplyVppToPin(s.HighVoltage, 0, 50);
    SetPin(s.HighVoltage, 0);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(50);
}

int Alg249AccessRow(const JtagIscType& t, JtagIscState& s, int kind, int row, int mode) {
    const int length = KindLength(t, kind);
    const uint32_t data = kData0 + static_cast<uint32_t>(kind);
    SetAddress(kind, row);
    int r;
    if (mode == 1) {
        JtagLoadInstruction(data);
        r = MapRow(t, kind, row, 1);
        if (r == 1) {
            JtagShiftDrFromBuffer(t.ProgramArea, length);
            ProgramPulse(s.ProgramMs);
        }
    } else {
        JtagLoadInstruction(kRead);
        DelayMsSlot(s.ReadMs);
        JtagLoadInstruction(data);
        JtagCaptureDrToBuffer(t.CaptureArea, length);
        r = MapRow(t, kind, row, mode);
    }
    return RunCheckHook() == -1 ? 3 : r;
}

int Alg249CheckSecured(const JtagIscType& t, JtagIscState& s) {
    if (Alg249PowerUp(t, s) == -1) return -1;
    SetAddress(2, 0);
    JtagLoadInstruction(kRead);
    DelayMsSlot(s.ReadMs);
    JtagLoadInstruction(kData0 + 1);
    JtagCaptureDrToBuffer(t.CaptureArea, 33);
    Alg249PowerDown(t, s);
    if (GetBufferBit(t.CaptureArea + 32) == 1) return 1;
    return LockNotTaken(" Security cell not programmed (the secured bit reads 0).");
}

int Alg249Read(int mode) { return Read(JtagIsc249, Alg249State, mode); }
int Alg249Program() { return Program(JtagIsc249, Alg249State); }
int Alg249Erase() { return Erase(JtagIsc249, Alg249State); }
int Alg249Secure() { return Secure(JtagIsc249, Alg249State); }
int Alg298Read(int mode) { return Read(JtagIsc298, Alg298State, mode); }
int Alg298Program() { return Program(JtagIsc298, Alg298State); }
int Alg298Erase() { return Erase(JtagIsc298, Alg298State); }
int Alg298Secure() { return Secure(JtagIsc298, Alg298State); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 249,
     .Read = Alg249Read,
     .Program = Alg249Program,
     .Erase = Alg249Erase,
     .Secure = Alg249Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 298,
     .Read = Alg298Read,
     .Program = Alg298Program,
     .Erase = Alg298Erase,
     .Secure = Alg298Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("JtagIsc", Logic, 70, kAlgorithmRows);
