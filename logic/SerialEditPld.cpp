#include "logic/SerialEditPld.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"
#include "logic/GalRowSerial.h"
#include "logic/InstallLogicRows.h"
#include "logic/PalEmulation.h"
#include "logic/PldPower.h"

EditModeState Edit207{};
EditModeState Edit208{};

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

void ClockEditBit(const EditRow& t, uint32_t bit) {
    SetPin(t.DataPin, static_cast<int>(bit & 1));
    PulsePin(t.ClockPin, 3);
    SetPin(t.DataPin, 0);
}
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

int Identify(const EditRow& t) {
    EditModeState& s = *t.State;
    s.ChipIdCode = ReadChipIdCode(t);
    for (int k = 0; k < t.CodeCount; ++k) {
        if (t.Codes[k].Code != s.ChipIdCode) continue;
        s.ProgramVpp = t.Codes[k].ProgramVpp;
        s.ReadVpp = t.Codes[k].ReadVpp;
        return 1;
    }
    ShowMessageLine(" Incorrect device ID");
    return -1;
}

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
    int result = OpenDeviceAccess(t, t.ReadAtReadSupply ? 2 : mode);
    if (result == 1) {
        for (int k = 0; k < AddressCount(t) && result != -1; ++k) result = ReadRow(t, AddressAt(t, k), mode);
        PowerDownEditMode(t);
    }
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

} // namespace

int Alg207Read(int mode) { return ReadEntry(kRow207, mode); }
int Alg207Program() { return ProgramEntry(kRow207); }
int Alg207Erase() { return EraseEntry(kRow207); }
int Alg207Secure() { return SecureEntry(kRow207); }
int Alg208Read(int mode) { return ReadEntry(kRow208, mode); }
int Alg208Program() { return ProgramEntry(kRow208); }
int Alg208Erase() { return EraseEntry(kRow208); }
int Alg208Secure() { return SecureEntry(kRow208); }

void InstallEditModeRows() {
    static const LogicRowEntries rows[] = {
        {207, Alg207Read, Alg207Program, Alg207Erase, Alg207Secure, Alg207Options},
        {208, Alg208Read, Alg208Program, Alg208Erase, Alg208Secure, Alg208Options},
    };
    InstallLogicRows(rows);
}
