#include "logic/SerialEditPld.h"

#include <initializer_list>

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
#include "logic/GalFrame.h"
#include "logic/PalEmulation.h"
#include "logic/PldPower.h"

EditModeState Edit207{};
EditModeState Edit208{};
EditModeState Edit210{};
EditModeState Edit209{};
EditModeState Edit240{};
EditModeState Edit241{};

namespace {

constexpr int kWriting = 1;
constexpr int kPositions = 64;
constexpr int kDataPins = 8;
constexpr int kIdRow = 58, kSecureRow = 59, kTermUseRow = 57;
constexpr int kSpecialRows[4] = {60, 61, 62, 63};
constexpr int kIdentifyTenths = 92;
constexpr int kIdleTenths = 50;
constexpr uint32_t kRowPulseUs = 50000;
constexpr uint32_t kErasePulseUs = 100000;
constexpr uint32_t kErasePassUs = 250000;

enum Command { kIdle = 0, kAddress = 1, kData = 2, kWrite = 3, kRead = 4, kErasePass = 14 };

// Edit voltages chosen by an identification code.
struct CodeVoltages {
    uint32_t Code, ProgramVpp, ReadVpp;
};
constexpr CodeVoltages k207Codes[] = {{128, 135, 105}, {64, 92, 92}, {144, 92, 92},
                                      {160, 92, 92},   {192, 92, 92}, {224, 92, 92}};
constexpr CodeVoltages k208Codes[] = {{1, 135, 105}, {64, 92, 92}};

struct EditRow {
    uint32_t Row;
    EditModeState* State;
    int ClockPin, DataPin, StrobePin, EditPin;
    int HeldLow[6];  // pin group 0 (0 ends the list)
    int BusPins[4];  // pin group 1, the command bus
    int FirstDataPin; // pin group 2: eight pins from here
    int Columns;     // array rows 0..Columns-1, then the UES and term-disable rows
    uint32_t Xor, Ues, Ac1, Ptd, Syn, Ac0; // JEDEC fuses of the fields past the array
    const CodeVoltages* Codes;
    int CodeCount;
    bool SupplyAEdit;      // edit voltage through supply A and DAC channel 1 (else the Vpp switch)
    uint32_t CommandSettleUs;
    int MultiPassCode;     // the code erased in three passes (0: none)
    bool TermUseRow;       // variant 1 parts get the term-use row
    bool ReadAtReadSupply; // Read opens with the read supply whatever its mode
};

const EditRow kRow207{207, &Edit207, 15, 16, 22, 17, {23, 25, 0}, {18, 19, 20, 21}, 26, 32,
                      2048, 2056, 2120, 2128, 2192, 2193, k207Codes, 6, false, 30, 128, true, false};
const EditRow kRow208{208, &Edit208, 13, 14, 22, 15, {20, 21, 23, 25, 26, 35}, {16, 17, 18, 19}, 27, 40,
                      2560, 2568, 2632, 2640, 2704, 2705, k208Codes, 2, true, 0, 0, false, true};

int AddressCount(const EditRow& t) { return t.Columns + 2 + 4; }
int AddressAt(const EditRow& t, int k) { return k < t.Columns + 2 ? k : kSpecialRows[k - t.Columns - 2]; }

// JEDEC fuse carried by shift position p of row address a (rows 62 and 63:
// positions 0-55 repeat the bit sent before them).
uint32_t FuseAt(const EditRow& t, int a, int p) {
    const auto up = static_cast<uint32_t>(p);
    if (a < t.Columns) return static_cast<uint32_t>(kPositions - 1 - p) * static_cast<uint32_t>(t.Columns) + static_cast<uint32_t>(a);
    if (a == t.Columns) return t.Ues + 8 * (up / 8) + 7 - up % 8;
    if (a == t.Columns + 1) return t.Ptd + up;
    if (a == 60) return t.Xor + 7 - up / 8;
    if (a == 61) return t.Ac1 + 7 - up / 8;
    if (a == 62) return p >= 56 ? t.Syn : t.Ac1;
    return p >= 56 ? t.Ac0 : t.Syn;
}

void ClockEditBit(int clockPin, int dataPin, uint32_t bit) {
    SetPin(dataPin, static_cast<int>(bit & 1));
    PulsePin(clockPin, 3);
    SetPin(dataPin, 0);
}
void ClockEditBit(const EditRow& t, uint32_t bit) { ClockEditBit(t.ClockPin, t.DataPin, bit); }
void PutBus(uint32_t c) { WritePinGroup(1, 0, 3, c); }
void ClockConstant(const EditRow& t, uint32_t bit, int n) {
    for (int k = 0; k < n; ++k) ClockEditBit(t, bit);
}

void ShiftRowAddress(const EditRow& t, int a) {
    PutBus(kAddress);
    for (int b = 5; b >= 0; --b) ClockEditBit(t, static_cast<uint32_t>(a >> b) & 1u);
}

void PulseCommand(const EditRow& t, uint32_t c, uint32_t us) {
    PutBus(c);
    if (t.CommandSettleUs != 0) DelayShortUsSlot(t.CommandSettleUs);
    PulsePinTimed(t.StrobePin, 3, us);
}

uint32_t ReadDataPins() {
    ReadValue = static_cast<uint32_t>(ReadPinGroup(2, 0, kDataPins - 1));
    return ReadValue;
}

int HeldLowCount(const EditRow& t) {
    int n = 0;
    while (n < 6 && t.HeldLow[n] != 0) ++n;
    return n;
}

void DefineGroups(const EditRow& t) {
    const int* h = t.HeldLow;
    DefinePinGroup("", 0, h[0], h[1], h[2], h[3], h[4], h[5], 0);
    DefinePinGroup("", 1, t.BusPins[0], t.BusPins[1], t.BusPins[2], t.BusPins[3], 0);
    const int d = t.FirstDataPin;
    DefinePinGroup("", 2, d, d + 1, d + 2, d + 3, d + 4, d + 5, d + 6, d + 7, 0);
}

// Powers the socket for edit mode; the Vpp-switch row raises its edit
// voltage here, the supply-A row afterwards (ApplyEditVoltage).
void PowerUpEditMode(const EditRow& t, uint32_t vpp) {
    const auto supply = static_cast<int>(SupplyVoltage);
    if (t.SupplyAEdit) {
        SetVccRange(1, supply);
        SetAllDacVoltages(kIdleTenths, kIdleTenths, 0, 0);
        SetDeviceGround(1);
        DelayMsSlot(100);
    } else {
        PldSupplyRangeAndGround(supply);
    }
    FloatPinRange(1, 48);
    WritePinGroup(0, 0, HeldLowCount(t) - 1, 0);
    PutBus(kIdle);
    SetPin(t.DataPin, 0);
    SetPin(t.ClockPin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    if (!t.SupplyAEdit) ApplyVppToPin(t.EditPin, 1, static_cast<int>(vpp));
}

void ApplyEditVoltage(const EditRow& t, uint32_t vpp) {
    if (!t.SupplyAEdit) return;
    SetSupplyPinA(t.EditPin, 1);
    SetDacVoltage(1, static_cast<int>(vpp));
}

void PowerDownEditMode(const EditRow& t) {
    PutBus(kIdle);
    if (t.SupplyAEdit) {
        SetDacVoltage(1, kIdleTenths);
        SetSupplyPinA(t.EditPin, 0);
    } else {
        ApplyVppToPin(t.EditPin, 0, kIdleTenths);
    }
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
}

// The code of the row-58 read (Vpp-switch row) or of the data pins under
// 9.2 V on the serial data pin (supply-A row).
uint32_t ReadChipIdCode(const EditRow& t) {
    PowerUpEditMode(t, kIdentifyTenths);
    if (t.SupplyAEdit) {
        SetSupplyPinA(t.DataPin, 1);
        SetDacVoltage(2, kIdentifyTenths);
        DelayShortUsSlot(10);
        ReadDataPins();
        SetDacVoltage(2, kIdleTenths);
        SetSupplyPinA(t.DataPin, 0);
    } else {
        ShiftRowAddress(t, kIdRow);
        PutBus(kData);
        ClockConstant(t, 0, kPositions);
        PutBus(kRead);
        ReadDataPins();
    }
    PowerDownEditMode(t);
    return ReadValue;
}

// Chooses the edit voltages of the code read; an unknown code is refused.
int ChooseVoltages(EditModeState& s, uint32_t code, const CodeVoltages* codes, int count) {
    s.ChipIdCode = code;
    for (int k = 0; k < count; ++k) {
        if (codes[k].Code != code) continue;
        s.ProgramVpp = codes[k].ProgramVpp;
        s.ReadVpp = codes[k].ReadVpp;
        return 1;
    }
    return RefuseIdentity(false, " Incorrect device ID");
}

int Identify(const EditRow& t) { return ChooseVoltages(*t.State, ReadChipIdCode(t), t.Codes, t.CodeCount); }

int OpenDeviceAccess(const EditRow& t, int mode) {
    DefineGroups(t);
    GalChooseSupply(mode);
    if (Identify(t) != 1) return -1;
    const uint32_t vpp = mode == kWriting ? t.State->ProgramVpp : t.State->ReadVpp;
    PowerUpEditMode(t, vpp);
    ApplyEditVoltage(t, vpp);
    return 1;
}

// A row as clocked in: the fuse bits of the working area (writing) or the
// read markers, a 1 at the last position of each data pin's block.
void SendRow(const EditRow& t, int a, bool writing) {
    ShiftRowAddress(t, a);
    PutBus(kData);
    for (int p = 0; p < kPositions; ++p) {
        if (!writing) {
            ClockEditBit(t, a < 60 && p % 8 == 7 ? 1u : 0u);
            continue;
        }
        const uint32_t fuse = FuseAt(t, a, p);
        StepProgressByAddress(fuse); // a break does not stop programming
        ClockEditBit(t, GetBufferBit(ShadowFuseBase + fuse));
    }
}

// Read r shows on data pin b the position 8b + 7 - r; the rows past 59 are
// read once, rows 62 and 63 on pin 7 only.
int ReadRow(const EditRow& t, int a, int mode) {
    SendRow(t, a, false);
    PutBus(kRead);
    const int reads = a < 60 ? 8 : 1;
    int result = 1;
    for (int r = 0; r < reads; ++r) {
        ReadDataPins();
        ClockEditBit(t, 0);
        for (int b = a >= 62 ? 7 : 0; b < kDataPins; ++b) {
            const uint32_t fuse = FuseAt(t, a, 8 * b + 7 - r);
            result = CheckShadowFuseBit(static_cast<int>(ShadowFuseBase + fuse), b, static_cast<int>(ReadValue), mode);
            if (result == -1) return -1;
        }
    }
    return result;
}

int ReadEntry(const EditRow& t, int mode) {
    if (mode == 3) RemapFuseRows(1);
    // A part refused before the rows are read gave nothing: the fuse map
    // stays as the user has it.
    int result = OpenDeviceAccess(t, t.ReadAtReadSupply ? 2 : mode);
    if (result != 1) return result;
    for (int k = 0; k < AddressCount(t) && result != -1; ++k) result = ReadRow(t, AddressAt(t, k), mode);
    PowerDownEditMode(t);
    if (mode == 2) RemapFuseRows(2);
    return result;
}

void WriteRow(const EditRow& t, int a) {
    SendRow(t, a, true);
    PulseCommand(t, kWrite, kRowPulseUs);
}

// Flag t is 1 when any fuse of array row t (JEDEC map) is 1; sent from flag 63 down.
void WriteTermUseRow(const EditRow& t) {
    ShiftRowAddress(t, kTermUseRow);
    PutBus(kData);
    for (int term = kPositions - 1; term >= 0; --term) {
        uint32_t used = 0;
        for (int c = 0; c < t.Columns; ++c)
            used |= GetBufferBit(ShadowFuseBase + static_cast<uint32_t>(term * t.Columns + c));
        ClockEditBit(t, used);
    }
    PulseCommand(t, kWrite, kRowPulseUs);
}

int ProgramEntry(const EditRow& t) {
    RemapFuseRows(1);
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    for (int k = 0; k < AddressCount(t); ++k) WriteRow(t, AddressAt(t, k));
    if (t.TermUseRow && DeviceVariant == 1) WriteTermUseRow(t);
    PowerDownEditMode(t);
    return 1;
}

int EraseEntry(const EditRow& t) {
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    const int passes = t.MultiPassCode != 0 && t.State->ChipIdCode == static_cast<uint32_t>(t.MultiPassCode) ? 3 : 0;
    for (int k = 0; k < passes; ++k) {
        PutBus(kData);
        ClockConstant(t, 0, kPositions);
        PulseCommand(t, kErasePass, kErasePassUs);
        PulseCommand(t, kIdle, kErasePulseUs);
    }
    if (passes == 0) PulseCommand(t, kIdle, kErasePulseUs);
    PowerDownEditMode(t);
    return 1;
}

int SecureEntry(const EditRow& t) {
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    ShiftRowAddress(t, kSecureRow);
    PutBus(kData);
    ClockConstant(t, 0, kPositions);
    PulseCommand(t, kWrite, kRowPulseUs);
    PowerDownEditMode(t);
    return 1;
}

// ---- Latch-addressed rows: the row address goes in least significant bit
// first with the select pin high and the latch pin low; the row register
// (pin 22 high) follows at once; pin 22 low reads it out in blocks.

// Per code: the edit voltages, the strobe voltage, the width of the first
// pulse of an erase pass and the number of passes.
struct LatchCode {
    uint32_t Code, ProgramVpp, ReadVpp, PulseVpp, FirstEraseUs;
    int ErasePasses;
};
constexpr LatchCode k210Codes[] = {{2, 95, 95, 95, 0, 1}, {3, 92, 92, 92, 0, 1}};
constexpr LatchCode k209Codes[] = {{2, 90, 87, 90, 50000, 1},  {3, 90, 87, 90, 50000, 1},
                                   {12, 90, 87, 90, 50000, 1}, {8, 92, 92, 92, 50000, 1},
                                   {9, 87, 87, 87, 50000, 1},  {10, 87, 87, 87, 50000, 1},
                                   {15, 105, 105, 135, 250000, 4}};
constexpr LatchCode k240Codes[] = {{0, 135, 105, 135, 250000, 4}, {15, 135, 105, 135, 250000, 4},
                                   {12, 92, 92, 92, 250000, 4}};

// Fuses of the rows past the array: position p of row a (-1: the position
// carries 0, -2: it repeats the bit sent before it), and the fuse shown on
// data pin i by the row's single read.
using SpecialFuseFn = int (*)(int a, int p);
using SpecialReadFn = int (*)(int a, int i);

struct LatchRow {
    EditModeState* State;
    int ClockPin, DataPin, SelectPin, LatchPin, ShiftPin, StrobePin, EditPin, PulsePin, ErasePin, PassPin;
    int HeldLow[4];   // pins held low as one group (0 ends the list)
    int DataPins[12]; // the data group: data pin i at position i
    int DataCount;
    int HeldGroup;    // group number of HeldLow; the data group is the other
    int LowPins[12];  // further pins driven low at power-up (0 ends the list)
    int Positions;    // stages of the row register
    int Columns;      // inputs per term: array rows 0..Columns-1
    int Markers[12];  // marker position of each data pin's block
    int Terms[12];    // terms read on each data pin
    int Reads;        // reads per array row
    bool ClockBeforeRead; // reads after the first are preceded by a clock (else followed by one)
    int IdRow, IdShift, IdTenths;
    const LatchCode* Codes;
    int CodeCount;
    int SecureRow;
    int SpecialRows[4]; // rows after the array (0 ends the list)
    SpecialFuseFn SpecialFuse;
    SpecialReadFn SpecialRead;
    bool Ramped;        // the edit voltage ramps up from 5.0 V
    bool LowSupplySubVariant; // sub-variant parts run at 4.5 V and identify at 8.7 V
    bool SecuredReadsZero;
    bool TermUseRow;      // variant 1 parts get the term-use row
    bool LatchLowToWrite; // the latch pin goes low before a row's strobe
    bool OnePowerUp;      // identifies within the access's own power-up, strong ground on, short settling
    int EraseAddress;     // erase steps address this row first (0: erase passes without an address)
    uint32_t VariantCount = 0; // variants the row's lists cover (0: any)
    int VccRangeFlag = 0;      // first argument of SetVccRange at power-up
};

const LatchCode* CodeOf(const LatchRow& t) {
    for (int k = 0; k < t.CodeCount; ++k)
        if (t.Codes[k].Code == t.State->ChipIdCode) return &t.Codes[k];
    return nullptr;
}

void ClockLatchBit(const LatchRow& t, uint32_t bit) { ClockEditBit(t.ClockPin, t.DataPin, bit); }

void ShiftLatchAddress(const LatchRow& t, int a) {
    SetPin(t.SelectPin, 1);
    SetPin(t.LatchPin, 0);
    SetPin(t.ShiftPin, 1);
    for (int b = 0; b < 6; ++b) ClockLatchBit(t, static_cast<uint32_t>(a >> b) & 1u);
    SetPin(t.LatchPin, 1);
    SetPin(t.SelectPin, 0);
}

void ClockLatchConstant(const LatchRow& t, uint32_t bit) {
    for (int k = 0; k < t.Positions; ++k) ClockLatchBit(t, bit);
}

int DataGroup(const LatchRow& t) { return 1 - t.HeldGroup; }

uint32_t ReadLatchPins(const LatchRow& t) {
    ReadValue = static_cast<uint32_t>(ReadPinGroup(DataGroup(t), 0, t.DataCount - 1));
    return ReadValue;
}

int LatchHeldLowCount(const LatchRow& t) {
    int n = 0;
    while (n < 4 && t.HeldLow[n] != 0) ++n;
    return n;
}

void DefineLatchGroups(const LatchRow& t) {
    const int* h = t.HeldLow;
    const int* d = t.DataPins;
    DefinePinGroup("", t.HeldGroup, h[0], h[1], h[2], h[3], 0);
    DefinePinGroup("", DataGroup(t), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9],
                   t.DataCount > 10 ? d[10] : 0, t.DataCount > 11 ? d[11] : 0, 0);
}

// Every DAC channel starts at 0 V: the edit voltage ramps or steps up from
// there once its supply switch closes.
void PowerUpLatch(const LatchRow& t, uint32_t vpp) {
    if (t.SecuredReadsZero) SecureCheckValue = 0;
    const auto supply = static_cast<int>(SupplyVoltage);
    SetVccRange(t.VccRangeFlag, supply);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(t.HeldGroup, 0, LatchHeldLowCount(t) - 1, 0);
    for (int k = 0; k < 12 && t.LowPins[k] != 0; ++k) SetPin(t.LowPins[k], 0);
    if (t.OnePowerUp) SetLatchBit(29, 2, 1); // strong ground on pin 24
    SetDevicePower(1, supply);
    if (t.OnePowerUp)
        DelayShortUsSlot(50);
    else
        DelayMsSlot(1);
    SetSupplyPinA(t.EditPin, 1);
    if (t.Ramped)
        RampVoltageUp(1, 0, static_cast<int>(vpp), 5, 10);
    else
        SetDacVoltage(1, static_cast<int>(vpp));
    if (t.OnePowerUp) DelayShortUsSlot(20);
}

void PowerDownLatch(const LatchRow& t) {
    SetPin(t.ShiftPin, 0);
    SetDacVoltage(1, kIdleTenths);
    SetSupplyPinA(t.EditPin, 0);
    if (t.OnePowerUp) DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
}

// Supply of the access: the low-voltage sub-variant identifies and writes
// at 4.5 V, every part reads at the read supply.
void ChooseLatchSupply(const LatchRow& t, int mode) {
    GalChooseSupply(mode);
    if (!t.LowSupplySubVariant || DeviceSubVariant == 0 || mode != kWriting) return;
    SupplyVoltage = 45;
    Vccp = 450;
}

// Identification at the row's identification voltage; the one-power-up row
// then stays powered at its read voltage, the others power up again.
int OpenLatchAccess(const LatchRow& t, int mode) {
    if (t.VariantCount != 0 && DeviceVariant >= t.VariantCount) return -1; // no list for it: nothing powered
    DefineLatchGroups(t);
    const bool low = t.LowSupplySubVariant && DeviceSubVariant != 0;
    ChooseLatchSupply(t, t.LowSupplySubVariant ? kWriting : mode); // the sub-variant row identifies at its write supply
    PowerUpLatch(t, low ? 87u : static_cast<uint32_t>(t.IdTenths));
    ShiftLatchAddress(t, t.IdRow);
    ClockLatchConstant(t, 1);
    SetPin(t.ShiftPin, 0);
    const uint32_t code = ReadLatchPins(t) >> t.IdShift & 15u;
    EditModeState& s = *t.State;
    s.ChipIdCode = code;
    const LatchCode* c = CodeOf(t);
    if (c == nullptr || !t.OnePowerUp) PowerDownLatch(t);
    if (c == nullptr) return RefuseIdentity(false, " Incorrect device ID");
    s.ProgramVpp = c->ProgramVpp;
    s.ReadVpp = c->ReadVpp;
    if (t.OnePowerUp) {
        SetDacVoltage(1, static_cast<int>(s.ReadVpp));
        return 1;
    }
    ChooseLatchSupply(t, mode);
    PowerUpLatch(t, mode == kWriting ? s.ProgramVpp : s.ReadVpp);
    return 1;
}

// The strobe pin high for widthUs with the strobe voltage up; a pin held
// high around it (the erase pins) makes it an erase pulse.
void LatchStrobe(const LatchRow& t, uint32_t widthUs, int heldPin = 0) {
    SetSupplyPinA(t.PulsePin, 1);
    SetDacVoltage(2, static_cast<int>(CodeOf(t)->PulseVpp));
    if (heldPin != 0) SetPin(heldPin, 1);
    PulsePinTimed(t.StrobePin, 3, widthUs);
    if (heldPin != 0) SetPin(heldPin, 0);
    SetDacVoltage(2, kIdleTenths);
    SetSupplyPinA(t.PulsePin, 0);
}

int LatchRowCount(const LatchRow& t) {
    int n = 0;
    while (n < 4 && t.SpecialRows[n] != 0) ++n;
    return t.Columns + n;
}

// A row's strobe; variant-0 parts of the one-power-up row raise the edit
// pin from the read to the programming voltage around it.
void LatchWriteStrobe(const LatchRow& t) {
    const bool raise = t.OnePowerUp && DeviceVariant == 0;
    if (raise) {
        SetDacVoltage(1, static_cast<int>(t.State->ProgramVpp));
        DelayShortUsSlot(10);
    }
    LatchStrobe(t, kRowPulseUs);
    if (raise) SetDacVoltage(1, static_cast<int>(t.State->ReadVpp));
}
int LatchAddressAt(const LatchRow& t, int k) { return k < t.Columns ? k : t.SpecialRows[k - t.Columns]; }

// Row 210's architecture row 63: positions 8k carry fuse 3209 - k.
int Arch210Fuse(int, int p) { return p % 8 == 0 ? 3209 - p / 8 : -1; }
int Arch210Read(int, int i) { return 3200 + i; }

// Row 209's architecture rows 60 and 61: block k starts at position
// kArchStarts[k]; the positions before the first repeat the bit sent before.
constexpr int kArchStarts[] = {6, 14, 22, 46, 54, 70, 86, 102, 110, 126};
int Arch209Fuse(int a, int p) {
    if (p < kArchStarts[0]) return -2;
    int k = 0;
    while (k < 9 && p >= kArchStarts[k + 1]) ++k;
    return 5826 + (a - 60) - 2 * k;
}
int Arch209Read(int a, int i) { return 5826 + (a - 60) - 2 * i; }

// Row 240's rows 60 + j: position p carries fuse 7811 + 12j - k, k the
// number of the variant's list entries below p.
constexpr int k240Lists[2][12] = {{6, 14, 22, 30, 54, 70, 78, 94, 110, 126, 134, 142},
                                  {10, 22, 35, 48, 61, 74, 87, 100, 113, 126, 138, 149}};
int Arch240Fuse(int a, int p) {
    const int* list = k240Lists[DeviceVariant == 0 ? 0 : 1];
    int k = 0;
    while (k < 12 && list[k] < p) ++k;
    return 7811 + 12 * (a - 60) - k;
}
int Arch240Read(int a, int i) { return 7800 + 12 * (a - 60) + 11 - i; }

const LatchRow kRow210{&Edit210, 13, 14, 18, 17, 22, 21, 15, 16, 19, 0, {20, 23, 25},
                       {35, 34, 33, 32, 31, 30, 29, 28, 27, 26}, 10, 0, {13, 14, 17, 18, 19, 21, 22}, 80, 40,
                       {79, 71, 63, 55, 47, 39, 31, 23, 15, 7}, {8, 8, 8, 8, 8, 8, 8, 8, 8, 8}, 8, false,
                       40, 0, 95, k210Codes, 2, 62, {63}, Arch210Fuse, Arch210Read, true, false, true, false, false,
                       false, 0, 0, 0};
const LatchRow kRow209{&Edit209, 13, 14, 18, 17, 22, 21, 15, 16, 19, 23, {20, 25},
                       {26, 27, 28, 29, 30, 31, 32, 33, 34, 35}, 10, 0, {13, 14, 17, 18, 19, 23, 21, 22}, 132, 44,
                       {9, 20, 33, 48, 65, 82, 97, 110, 121, 131}, {10, 11, 13, 15, 17, 17, 15, 13, 11, 10}, 17, true,
                       58, 6, 92, k209Codes, 7, 59, {60, 61}, Arch209Fuse, Arch209Read, false, true, false, true, true,
                       false, 0, 0, 1};
const LatchRow kRow240{&Edit240, 11, 12, 16, 15, 22, 21, 13, 14, 18, 23, {19, 20, 24, 38},
                       {25, 26, 27, 28, 29, 30, 32, 33, 34, 35, 36, 37}, 12, 1,
                       {11, 12, 13, 14, 15, 16, 18, 21, 22, 23, 31}, 150, 52,
                       {9, 18, 29, 42, 57, 74, 91, 106, 119, 130, 139, 149},
                       {10, 9, 11, 13, 15, 17, 17, 15, 13, 11, 9, 10}, 17, false,
                       58, 8, 92, k240Codes, 3, 59, {60, 61, 62, 63}, Arch240Fuse, Arch240Read, false, false, false,
                       false, false, true, 56, 2, 0};

// Fuse at position p of row a; -1 where the position carries 0 and -2 where
// it repeats the bit sent before it.
int LatchFuseAt(const LatchRow& t, int a, int p) {
    if (a < t.Columns) return (t.Positions - 1 - p) * t.Columns + a;
    return t.SpecialFuse(a, p);
}

bool IsMarker(const LatchRow& t, int p) {
    for (int i = 0; i < t.DataCount; ++i)
        if (t.Markers[i] == p) return true;
    return false;
}

// Data pin i reads, at read r, term (Positions - 1 - marker) + r of the row.
int ReadLatchRow(const LatchRow& t, int a, int mode) {
    ShiftLatchAddress(t, a);
    const bool array = a < t.Columns;
    for (int p = 0; p < t.Positions; ++p) ClockLatchBit(t, array && IsMarker(t, p) ? 1u : 0u);
    SetPin(t.ShiftPin, 0);
    int result = 1;
    for (int r = 0; r < (array ? t.Reads : 1); ++r) {
        if (t.ClockBeforeRead && r > 0) ClockLatchBit(t, 0);
        ReadLatchPins(t);
        if (!t.ClockBeforeRead || !array) ClockLatchBit(t, 0);
        for (int i = 0; i < t.DataCount; ++i) {
            if (array && r >= t.Terms[i]) continue;
            const int fuse =
                array ? (t.Positions - 1 - t.Markers[i] + r) * t.Columns + a : t.SpecialRead(a, i);
            result = CheckFuseBit(fuse, i, static_cast<int>(ReadValue), mode);
            if (result == -1) return -1;
        }
    }
    return result;
}

int LatchReadEntry(const LatchRow& t, int mode) {
    int result = OpenLatchAccess(t, mode);
    if (result != 1) return -1;
    for (int k = 0; k < LatchRowCount(t) && result != -1; ++k) result = ReadLatchRow(t, LatchAddressAt(t, k), mode);
    PowerDownLatch(t);
    return result;
}

// `bit` is the last bit sent, which positions without a fuse of their own repeat.
void WriteLatchRow(const LatchRow& t, int a, uint32_t& bit) {
    ShiftLatchAddress(t, a);
    for (int p = 0; p < t.Positions; ++p) {
        const int fuse = LatchFuseAt(t, a, p);
        if (fuse == -1) bit = 0;
        if (fuse >= 0) {
            bit = GetBufferBit(static_cast<uint32_t>(fuse));
            ExpectedValue = bit;
            StepProgressByAddress(static_cast<uint32_t>(fuse)); // a break does not stop programming
        }
        ClockLatchBit(t, bit);
    }
}

// Position p is 1 when any fuse of term Positions - 1 - p is 1.
void WriteLatchTermUseRow(const LatchRow& t) {
    ShiftLatchAddress(t, kTermUseRow);
    for (int p = 0; p < t.Positions; ++p) {
        uint32_t used = 0;
        const int term = t.Positions - 1 - p;
        for (int c = 0; c < t.Columns; ++c) used |= GetBufferBit(static_cast<uint32_t>(term * t.Columns + c));
        ClockLatchBit(t, used);
    }
    if (t.LatchLowToWrite) SetPin(t.LatchPin, 0);
    LatchWriteStrobe(t);
}

int LatchProgramEntry(const LatchRow& t) {
    ExpectedValue = 0;
    if (OpenLatchAccess(t, kWriting) != 1) return -1;
    uint32_t last = 0;
    for (int k = 0; k < LatchRowCount(t); ++k) {
        WriteLatchRow(t, LatchAddressAt(t, k), last);
        if (t.LatchLowToWrite) SetPin(t.LatchPin, 0);
        LatchWriteStrobe(t);
    }
    if (t.TermUseRow && DeviceVariant == 1) WriteLatchTermUseRow(t);
    PowerDownLatch(t);
    return 1;
}

// Each pass: a pulse of the code's first width under the pass pin, then
// 100 ms under the erase pin (one pulse under the erase pin without one).
// An addressed erase step: the erase address clocked in, then a pulse of
// widthUs under heldPin.
void AddressedEraseStep(const LatchRow& t, int heldPin, uint32_t widthUs) {
    SetPin(t.ShiftPin, 1);
    SetPin(t.SelectPin, 1);
    for (int b = 0; b < 6; ++b) ClockLatchBit(t, static_cast<uint32_t>(t.EraseAddress >> b) & 1u);
    SetPin(t.SelectPin, 0);
    LatchStrobe(t, widthUs, heldPin);
}

// Variant 0: four steps under the pass pin and the erase pin at the
// programming edit voltage; other variants one step under the erase pin.
void AddressedErase(const LatchRow& t) {
    if (DeviceVariant != 0) {
        AddressedEraseStep(t, t.ErasePin, kErasePulseUs);
        return;
    }
    SetDacVoltage(1, static_cast<int>(t.State->ProgramVpp));
    DelayShortUsSlot(10);
    for (int k = 0; k < 4; ++k) {
        AddressedEraseStep(t, t.PassPin, kErasePassUs);
        AddressedEraseStep(t, t.ErasePin, kErasePulseUs);
    }
    SetDacVoltage(1, static_cast<int>(t.State->ReadVpp));
}

int LatchEraseEntry(const LatchRow& t) {
    if (OpenLatchAccess(t, kWriting) != 1) return -1;
    if (t.EraseAddress != 0) {
        AddressedErase(t);
        PowerDownLatch(t);
        return 1;
    }
    const LatchCode& c = *CodeOf(t);
    for (int pass = 0; pass < c.ErasePasses; ++pass) {
        SetPin(t.ShiftPin, 1);
        SetSupplyPinA(t.PulsePin, 1);
        SetDacVoltage(2, static_cast<int>(c.PulseVpp));
        for (int pin : {t.PassPin, t.ErasePin}) {
            if (pin == 0) continue;
            SetPin(pin, 1);
            PulsePinTimed(t.StrobePin, 3, pin == t.PassPin ? c.FirstEraseUs : kErasePulseUs);
            SetPin(pin, 0);
        }
        SetDacVoltage(2, kIdleTenths);
        SetSupplyPinA(t.PulsePin, 0);
        SetPin(t.ShiftPin, 0);
        DelayMsSlot(1);
    }
    PowerDownLatch(t);
    return 1;
}

int LatchSecureEntry(const LatchRow& t) {
    if (OpenLatchAccess(t, kWriting) != 1) return -1;
    ShiftLatchAddress(t, t.SecureRow);
    ClockLatchConstant(t, 0);
    LatchWriteStrobe(t);
    PowerDownLatch(t);
    return 1;
}

// ---- The 16-bit bus part: ten-bit cells shifted in on pin 27 (clock 13),
// the row address latched from the upper six bus pins on pin 35, the row
// read back in parallel on the 16 bus pins, complemented.

constexpr int kBusClockPin = 13, kBusIdPin = 14, kBusDataPin = 27, kBusLatchPin = 35;
constexpr int kBusStrobePin = 23, kBusEditPin = 25, kBusPulsePin = 26, kBusWritePin = 18, kBusErasePin = 20;
constexpr int kBusRows = 46, kBusArrayRows = 40, kBusSecureRow = 46;
constexpr uint32_t kBusId = 252;
constexpr uint32_t kBusIdTenths = 90, kBusEditTenths = 92;
constexpr uint32_t kBusPulseUs = 100000;
constexpr int kBusRowAddress[kBusRows] = {19, 17, 15, 13, 11, 9,  7,  5,  3,  1,  2,  0,  6,  4,  10, 8,
                                          14, 12, 18, 16, 22, 20, 26, 24, 30, 28, 34, 32, 38, 36, 27, 25,
                                          31, 29, 35, 33, 39, 37, 23, 21, 40, 42, 44, 43, 41, 45};

void ShiftBits(uint32_t value, int n) {
    for (int k = 0; k < n; ++k) ClockEditBit(kBusClockPin, kBusDataPin, value >> k & 1u);
}

void LatchRowAddress(int a) {
    WritePinGroup(1, 0, 5, static_cast<uint64_t>(a));
    PulsePin(kBusLatchPin, 3);
    WritePinGroup(1, 0, 5, 0);
}

void DriveBus() {
    WritePinGroup(0, 0, 3, 0);
    SetPin(20, 0);
    WritePinGroup(0, 8, 15, 0);
}

void PowerDownBus() {
    FloatPinGroup(0, 8, 15);
    SetDacVoltage(1, kIdleTenths);
    SetSupplyPinA(kBusEditPin, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
}

// Powers the part, reads its identification byte with 9.0 V on pin 14 and,
// for the one part it knows, stays powered with the edit voltage on.
int OpenBusAccess(int mode) {
    DefinePinGroup("", 0, 15, 16, 17, 18, 19, 20, 21, 22, 27, 28, 29, 30, 31, 32, 33, 34, 0);
    DefinePinGroup("", 1, 29, 30, 31, 32, 33, 34, 0);
    GalChooseSupply(mode);
    const auto supply = static_cast<int>(SupplyVoltage);
    SetVccRange(1, supply);
    SetAllDacVoltages(kIdleTenths, kIdleTenths, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int pin : {kBusClockPin, kBusIdPin, kBusStrobePin, kBusLatchPin}) SetPin(pin, 0);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    SetSupplyPinA(kBusIdPin, 1);
    SetDacVoltage(2, static_cast<int>(kBusIdTenths));
    DelayShortUsSlot(20);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetDacVoltage(2, kIdleTenths);
    SetSupplyPinA(kBusIdPin, 0);
    Edit241.ChipIdCode = ReadValue;
    if (ReadValue != kBusId) {
        PowerDownBus();
        return RefuseIdentity(false, " Invalid device!");
    }
    Edit241.ProgramVpp = Edit241.ReadVpp = kBusEditTenths;
    SetSupplyPinA(kBusEditPin, 1);
    SetDacVoltage(1, static_cast<int>(kBusEditTenths));
    DelayShortUsSlot(10);
    DriveBus();
    return 1;
}

// Pin 23 high for 100 ms under the strobe voltage with `pin` (the write or
// erase pins) held high.
void BusStrobe(std::initializer_list<int> held) {
    SetSupplyPinA(kBusPulsePin, 1);
    SetDacVoltage(2, static_cast<int>(kBusEditTenths));
    for (int pin : held) SetPin(pin, 1);
    PulsePinTimed(kBusStrobePin, 3, kBusPulseUs);
    for (int pin : held) SetPin(pin, 0);
    SetDacVoltage(2, kIdleTenths);
    SetSupplyPinA(kBusPulsePin, 0);
}

// Fuse shown on bus bit b by read r of row i (bit position: 15 - b below
// bit 8 on the array rows, b otherwise); -1 where the bit is not checked.
int BusReadFuse(int i, int r, int b) {
    if (i < kBusArrayRows) return i + 40 * r + 400 * b;
    if (i < 45) return b < 8 ? 6440 + 5 * b + (i - 40) : 6435 - 5 * (b - 8) + (i - 40);
    return b == 9 ? 6480 : b == 8 ? 6481 : -1;
}

int ReadBusRow(int i, int mode) {
    DriveBus();
    for (int k = 0; k < 16; ++k) ShiftBits(i < kBusArrayRows ? 512 : 0, 10);
    LatchRowAddress(kBusRowAddress[i]);
    FloatPinGroup(0, 0, 15);
    SetPin(kBusIdPin, 1);
    int result = 1;
    for (int r = 0; r < (i < kBusArrayRows ? 10 : 1) && result != -1; ++r) {
        ReadValue = ~static_cast<uint32_t>(ReadPinGroup(0, 0, 15)) & 0xFFFFu;
        if (i < kBusArrayRows) PulsePin(kBusClockPin, 3);
        for (int b = 0; b < 16 && result != -1; ++b) {
            const int fuse = BusReadFuse(i, r, b);
            if (fuse < 0) continue;
            const int position = i < kBusArrayRows && b < 8 ? 15 - b : i < kBusArrayRows ? b - 8 : b;
            result = CheckFuseBit(fuse, position, static_cast<int>(ReadValue), mode);
        }
    }
    SetPin(kBusIdPin, 0);
    return result;
}

// A check after securing expects 0: the driver's read resets the value to 1
// before every operation, so the read puts it back.
int BusReadEntry(int mode) {
    SecureCheckValue = 0;
    int result = OpenBusAccess(2);
    if (result != 1) return -1;
    for (int i = 0; i < kBusRows && result != -1; ++i) result = ReadBusRow(i, mode);
    PowerDownBus();
    return result;
}

// Ten serial bits of one cell: all 0 for a fuse of 1, all 1 for a fuse of 0.
void SendBusCell(uint32_t fuse) {
    StepProgressByAddress(fuse);
    ShiftBits(GetBufferBit(fuse) != 0 ? 0u : 0x3FFu, 10);
}

void WriteBusRow(int i) {
    if (i < kBusArrayRows) {
        for (int p = 0; p < 160; ++p) {
            const int k = p < 80 ? 159 - p : 10 * ((p - 80) / 10) + 9 - (p - 80) % 10;
            const auto fuse = static_cast<uint32_t>(k * 40 + i);
            StepProgressByAddress(fuse); // a break does not stop programming
            ShiftBits(GetBufferBit(fuse), 1);
        }
    } else if (i < 45) {
        for (int b = 0; b < 16; ++b)
            SendBusCell(static_cast<uint32_t>(b < 8 ? 6475 - 5 * b + (i - 40) : 6400 + 5 * (b - 8) + (i - 40)));
    } else {
        SendBusCell(6480);
        SendBusCell(6481);
    }
    LatchRowAddress(kBusRowAddress[i]);
    BusStrobe({kBusWritePin});
}

int BusProgramEntry() {
    if (OpenBusAccess(kWriting) != 1) return -1;
    for (int i = 0; i < kBusRows; ++i) WriteBusRow(i);
    PowerDownBus();
    return 1;
}

int BusEraseEntry() {
    if (OpenBusAccess(kWriting) != 1) return -1;
    BusStrobe({kBusErasePin, kBusWritePin});
    PowerDownBus();
    return 1;
}

int BusSecureEntry() {
    SecureCheckValue = 0;
    if (OpenBusAccess(kWriting) != 1) return -1;
    LatchRowAddress(kBusSecureRow);
    BusStrobe({kBusWritePin});
    PowerDownBus();
    return 1;
}

// Row 240 identifies the parts of the variants it has position lists for.
bool Checks240Identity() { return DeviceVariant < kRow240.VariantCount; }

} // namespace

int Alg207Read(int mode) { return ReadEntry(kRow207, mode); }
int Alg207Program() { return ProgramEntry(kRow207); }
int Alg207Erase() { return EraseEntry(kRow207); }
int Alg207Secure() { return SecureEntry(kRow207); }
int Alg208Read(int mode) { return ReadEntry(kRow208, mode); }
int Alg208Program() { return ProgramEntry(kRow208); }
int Alg208Erase() { return EraseEntry(kRow208); }
int Alg208Secure() { return SecureEntry(kRow208); }
int Alg210Read(int mode) { return LatchReadEntry(kRow210, mode); }
int Alg210Program() { return LatchProgramEntry(kRow210); }
int Alg210Erase() { return LatchEraseEntry(kRow210); }
int Alg210Secure() { return LatchSecureEntry(kRow210); }
int Alg209Read(int mode) { return LatchReadEntry(kRow209, mode); }
int Alg209Program() { return LatchProgramEntry(kRow209); }
int Alg209Erase() { return LatchEraseEntry(kRow209); }
int Alg209Secure() { return LatchSecureEntry(kRow209); }
int Alg240Read(int mode) { return LatchReadEntry(kRow240, mode); }
int Alg240Program() { return LatchProgramEntry(kRow240); }
int Alg240Erase() { return LatchEraseEntry(kRow240); }
int Alg240Secure() { return LatchSecureEntry(kRow240); }
int Alg241Read(int mode) { return BusReadEntry(mode); }
int Alg241Program() { return BusProgramEntry(); }
int Alg241Erase() { return BusEraseEntry(); }
int Alg241Secure() { return BusSecureEntry(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 207,
     .Read = Alg207Read,
     .Program = Alg207Program,
     .Erase = Alg207Erase,
     .Secure = Alg207Secure,
     .Options = Alg207Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 208,
     .Read = Alg208Read,
     .Program = Alg208Program,
     .Erase = Alg208Erase,
     .Secure = Alg208Secure,
     .Options = Alg208Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 210,
     .Read = Alg210Read,
     .Program = Alg210Program,
     .Erase = Alg210Erase,
     .Secure = Alg210Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 209,
     .Read = Alg209Read,
     .Program = Alg209Program,
     .Erase = Alg209Erase,
     .Secure = Alg209Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 240,
     .Read = Alg240Read,
     .Program = Alg240Program,
     .Erase = Alg240Erase,
     .Secure = Alg240Secure,
     .VariantCount = 2,
     .VariantTable = "the 26V12 position lists",
     .ChecksIdentity = Checks240Identity},
    {.Row = 241,
     .Read = Alg241Read,
     .Program = Alg241Program,
     .Erase = Alg241Erase,
     .Secure = Alg241Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("EditMode", Logic, 140, kAlgorithmRows);
