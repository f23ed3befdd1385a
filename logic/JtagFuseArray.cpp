#include "logic/JtagFuseArray.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
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
    kRowSelect = 1,
    kData = 2,
    kErase294 = 3,
    kProgram0 = 7,
    kProgram1 = 8,
    kSecure = 9,
    kRead0 = 10,
    kRead1 = 11,
    kRow45 = 12,
    kProgramSaved = 15,
    kErase293 = 16,
    kReadSaved = 17,
    kArrayDone = 0x1B,
    kEnable = 0x15,
    kDisable = 0x1E,
    kIdentify = 0x16,
};
constexpr uint32_t kCaptureArea = 80000;
constexpr uint32_t kShiftArea = 81000;
constexpr uint32_t kSavedArea = 82000;
constexpr uint32_t kProgramUs = 40000;
constexpr uint32_t kReadUs = 25;
constexpr uint32_t kSavedReadUs = 100;
constexpr uint32_t kEraseUs = 200000;
constexpr uint32_t kSlowClockUs = 200;
constexpr int kIrLength = 5;

// Row 294's map.
constexpr int kRows294 = 44, kBits294 = 132, kRow44Cells = 64, kRow45Cells = 20;
constexpr uint32_t kRow44Fuse = 5828, kRow45Fuse = 5808;
constexpr uint32_t kIdcode294 = 0x00009043;
constexpr int kSupply294 = 33;

JtagFuseArrayState* S = &Alg293State; // the running row's state

void Clock(int tms, int tdi) {
    SetPin(S->Tms, tms);
    SetPin(S->Tdi, tdi);
    PulsePin(S->Tck, 3);
}

void Clocks(std::initializer_list<int> tms) {
    for (int t : tms) Clock(t, 0);
}

void ResetTap() { Clocks({1, 1, 1, 1, 1}); }

// From Shift-IR: the instruction, then Update-IR.
void ShiftInstruction(uint32_t value) {
    for (int i = 0; i < kIrLength; ++i) Clock(i == kIrLength - 1 ? 1 : 0, (value >> i) & 1);
    Clock(1, 0);
}
void InstructionToShiftDr(uint32_t value) {
    ShiftInstruction(value);
    Clocks({1, 0, 0});
}
void InstructionToShiftIr(uint32_t value) {
    ShiftInstruction(value);
    Clocks({1, 1, 0, 0});
}
void InstructionToIdle(uint32_t value) {
    ShiftInstruction(value);
    Clock(0, 0);
}

// From Shift-DR: count bits, then through Update-DR back to Shift-IR.
void ShiftDrFromBuffer(uint32_t first, int count) {
    for (int i = 0; i < count; ++i)
        Clock(i == count - 1 ? 1 : 0, static_cast<int>(GetBufferBit(first + static_cast<uint32_t>(i))));
    Clocks({1, 1, 1, 0, 0});
}
void CaptureDrToBuffer(uint32_t first, int count) {
    for (int i = 0; i < count; ++i) {
        SetBufferBit(first + static_cast<uint32_t>(i), static_cast<uint32_t>(GetPin(S->Tdo)));
        Clock(i == count - 1 ? 1 : 0, 0);
    }
    Clocks({1, 1, 1, 0, 0});
}

// In Run-Test/Idle: the wait, then one slow clock with TMS high out of it;
// the TAP goes on to Shift-IR, or to Shift-DR when asked.
void WaitThen(uint32_t us, bool toShiftDr) {
    Clock(0, 0);
    DelayUsSlot(us);
    SetPin(S->Tms, 1);
    SetPin(S->Tck, 1);
    DelayShortUsSlot(kSlowClockUs);
    SetPin(S->Tck, 0);
    if (toShiftDr) {
        Clocks({0, 0});
    } else {
        Clocks({1, 0, 0});
    }
}
void Wait(uint32_t us) { WaitThen(us, false); }

void PowerDown() {
    InstructionToIdle(S->Selector == 0 ? kEnable : kDisable);
    DelayUsSlot(100);
    SetPin(S->Tms, 1);
    DelayUsSlot(1);
    for (int i = 0; i < 3; ++i) PulsePin(S->Tck, 3);
    DelayUsSlot(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(50);
}

void SetShiftBits(int from, int count, uint32_t value) {
    for (int i = 0; i < count; ++i) SetBufferBit(kShiftArea + static_cast<uint32_t>(from + i), value);
}

void ClearRowSelect() {
    InstructionToShiftDr(kRowSelect);
    SetShiftBits(0, S->Rows, 0);
    ShiftDrFromBuffer(kShiftArea, S->Rows);
}

void SaveRow() {
    InstructionToIdle(kReadSaved);
    Wait(kSavedReadUs);
    InstructionToShiftDr(kData);
    CaptureDrToBuffer(kCaptureArea, S->Bits);
    for (uint32_t i = 0; i < static_cast<uint32_t>(S->Bits); ++i)
        SetBufferBit(kSavedArea + i, GetBufferBit(kCaptureArea + i));
}

// Powers up, reads the IDCODE and enters programming; another IDCODE ends
// the run at its line, powered down (-1).
int PowerUp(bool is294, int mode) {
    ReadBackAfterSecure = 0;
    BlankValue = 1;
    if (is294) {
        *S = {18, 11, 25, 32, {0, 0}, kRows294, kBits294, 1, 1, kIdcode294};
    } else {
        const int32_t* g = SignatureGeometryTable[DeviceVariant];
        if (PackageRow(PackageIndex).PinCount == 44) {
            *S = {38, 35, 16, 26, {15, 37}, 0, 0, 0, 0, 0};
        } else {
            *S = {13, 11, 12, 25, {40, 14}, 0, 0, 0, 0, 0};
        }
        S->Rows = g[0], S->Bits = g[1], S->Selector = g[2], S->Shifts = g[3];
        S->Idcode = static_cast<uint32_t>(g[4]);
    }
    SupplyVoltage = ReadVccInUse;
    if (is294 && mode == 1) {
        SupplyVoltage = kSupply294;
        Vccp = kSupply294;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    PldSupplyRangeAndGround(supply);
    FloatPinRange(1, 48);
    for (int p : S->Low) {
        if (p != 0) SetPin(p, 0);
    }
    SetDevicePower(1, supply);
    DelayUsSlot(100);
    ResetTap();
    Clocks({0, 1, 1, 0, 0});
    InstructionToShiftDr(kIdentify);
    CaptureDrToBuffer(kCaptureArea, 32);
    uint32_t id = 0;
    for (uint32_t i = 0; i < 32; ++i) id |= GetBufferBit(kCaptureArea + i) << i;
    if (id != S->Idcode) {
        PowerDown();
        return RefuseIdentity(false, " Invalid ID");
    }
    for (int i = 0; i < 3; ++i) InstructionToShiftIr(kEnable);
    ClearRowSelect();
    if (!is294) SaveRow();
    return 1;
}

void SelectRow(int row) {
    for (int i = 0; i < S->Rows; ++i) SetBufferBit(kShiftArea + static_cast<uint32_t>(i), i == row ? 1 : 0);
    InstructionToShiftDr(kRowSelect);
    ShiftDrFromBuffer(kShiftArea, S->Rows);
}

int MapCell(uint32_t fuse, int position, int mode) {
    ReadValue = GetBufferBit(kCaptureArea + static_cast<uint32_t>(position));
    ExpectedValue = ProcessFuseBit(static_cast<int>(fuse), 0, static_cast<int>(ReadValue), mode);
    if (mode == 1) SetBufferBit(kShiftArea + static_cast<uint32_t>(position), ExpectedValue);
    return CompareFailed == 1 ? -1 : 1;
}

// Fuse of a position of a row: 293 by row, 294 by column.
uint32_t FuseOf(bool is294, int row, int position) {
    if (!is294) return static_cast<uint32_t>(80 * row + position);
    if (row < kRows294) return static_cast<uint32_t>(kRows294 * position + row);
    if (row == kRows294) return kRow44Fuse + static_cast<uint32_t>(position);
    return kRow45Fuse + static_cast<uint32_t>(position ^ 1);
}

int MapRow(bool is294, int row, int mode, int cells) {
    for (int p = 0; p < cells; ++p) {
        if (MapCell(FuseOf(is294, row, p), p, mode) == -1) return -1;
    }
    return 1;
}

int Finish(int r) { return RunCheckHook() == -1 ? 3 : r; }

int AccessRow(bool is294, int row, int mode) {
    const int width = S->Bits;
    SelectRow(row);
    int r = 1;
    if (mode == 1) {
        r = MapRow(is294, row, 1, width * S->Shifts);
        for (int s = 0; s < S->Shifts && r == 1; ++s) {
            InstructionToShiftDr(kData);
            ShiftDrFromBuffer(kShiftArea + static_cast<uint32_t>(s * width), width);
            InstructionToIdle(s == 0 ? kProgram0 : kProgram1);
            Wait(kProgramUs);
        }
    } else {
        for (int s = 0; s < S->Shifts; ++s) {
            InstructionToIdle(s == 0 ? kRead0 : kRead1);
            Wait(kReadUs);
            InstructionToShiftDr(kData);
            CaptureDrToBuffer(kCaptureArea + static_cast<uint32_t>(s * width), width);
        }
        r = MapRow(is294, row, mode, width * S->Shifts);
    }
    return Finish(r);
}

// Row 294's row 44: 64 cells in a 132-bit data shift, the rest shifted as 1.
int AccessRow44(int mode) {
    int r = 1;
    if (mode == 1) {
        r = MapRow(true, kRows294, 1, kRow44Cells);
        SetShiftBits(kRow44Cells, kBits294 - kRow44Cells, 1);
        if (r == 1) {
            InstructionToShiftDr(kData);
            ShiftDrFromBuffer(kShiftArea, kBits294);
            InstructionToIdle(kProgramSaved);
            Wait(kProgramUs);
        }
    } else {
        InstructionToIdle(kReadSaved);
        Wait(kReadUs);
        InstructionToShiftDr(kData);
        CaptureDrToBuffer(kCaptureArea, kBits294);
        r = MapRow(true, kRows294, mode, kRow44Cells);
    }
    return Finish(r);
}

// Row 294's row 45: 20 cells in their own register.
int AccessRow45(int mode) {
    int r = 1;
    if (mode == 1) {
        r = MapRow(true, kRows294 + 1, 1, kRow45Cells);
        if (r == 1) {
            InstructionToShiftDr(kRow45);
            ShiftDrFromBuffer(kShiftArea, kRow45Cells);
            InstructionToIdle(kRead1);
            Wait(kProgramUs);
        }
    } else {
        InstructionToIdle(kRow45);
        WaitThen(kReadUs, true);
        CaptureDrToBuffer(kCaptureArea, kRow45Cells);
        r = MapRow(true, kRows294 + 1, mode, kRow45Cells);
    }
    return Finish(r);
}

bool Supported(bool is294) {
    if (is294 || DeviceVariant < SignatureGeometryCount) return true;
    RefuseRun(" Device not supported!");
    return false;
}

int Walk(bool is294, int mode) {
    S = is294 ? &Alg294State : &Alg293State;
    if (!Supported(is294) || PowerUp(is294, mode) == -1) return -1;
    int r = 1;
    for (int row = 0; row < S->Rows && r == 1; ++row) r = AccessRow(is294, row, mode);
    if (is294 && r == 1 && mode == 1) {
        InstructionToIdle(kArrayDone);
        Wait(kProgramUs);
    }
    if (is294 && r == 1) r = AccessRow44(mode);
    if (is294 && r == 1) r = AccessRow45(mode);
    PowerDown();
    return r;
}

int Erase(bool is294) {
    S = is294 ? &Alg294State : &Alg293State;
    if (!Supported(is294) || PowerUp(is294, 1) == -1) return -1;
    if (is294) {
        InstructionToIdle(kErase294);
        Wait(kEraseUs);
    } else {
        InstructionToIdle(kErase293);
        Wait(kEraseUs);
        InstructionToShiftDr(kData);
        ShiftDrFromBuffer(kSavedArea, S->Bits);
        InstructionToIdle(kProgramSaved);
        Wait(kProgramUs);
    }
    PowerDown();
    return 1;
}

int Secure(bool is294) {
    S = is294 ? &Alg294State : &Alg293State;
    if (!Supported(is294) || PowerUp(is294, 1) == -1) return -1;
    InstructionToIdle(kSecure);
    Wait(kProgramUs);
    PowerDown();
    return 1;
}

} // namespace

const int32_t SignatureGeometryTable[SignatureGeometryCount][5] = {
    {102, 40, 0, 2, 0x00301043},
    {102, 80, 1, 1, 0x00527043},
    {102, 80, 1, 1, 0x10301043},
};
JtagFuseArrayState Alg293State{};
JtagFuseArrayState Alg294State{};

int Alg293Read(int mode) { return Walk(false, mode); }
int Alg293Program() { return Walk(false, 1); }
int Alg293Erase() { return Erase(false); }
int Alg293Secure() { return Secure(false); }
int Alg294Read(int mode) { return Walk(true, mode); }
int Alg294Program() { return Walk(true, 1); }
int Alg294Erase() { return Erase(true); }
int Alg294Secure() { return Secure(true); }

namespace {
// Row 293 checks the IDCODE of the variants its table holds.
bool Checks293Identity() { return DeviceVariant < SignatureGeometryCount; }

// Row 293 takes its fuse geometry from SignatureGeometryTable by the variant.
std::string GeometryCheck(uint32_t row, const RowRecordFacts& r) {
    if (r.Variant < SignatureGeometryCount) return "";
    return "variant " + std::to_string(r.Variant) + " past the " + std::to_string(SignatureGeometryCount) +
           " of algorithm " + std::to_string(row);
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 293,
     .Read = Alg293Read,
     .Program = Alg293Program,
     .Erase = Alg293Erase,
     .Secure = Alg293Secure,
     .RecordCheck = GeometryCheck,
     .ChecksIdentity = Checks293Identity},
    {.Row = 294,
     .Read = Alg294Read,
     .Program = Alg294Program,
     .Erase = Alg294Erase,
     .Secure = Alg294Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("JtagFuseArray", Logic, 80, kAlgorithmRows);
