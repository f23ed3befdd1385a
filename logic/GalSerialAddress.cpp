#include "logic/GalSerialAddress.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
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

int Gal22V10SignatureRecord[17] = {};
uint32_t Gal22V10Vpp = 0;
uint32_t Gal22V10PulseWidth = 0;

namespace {

enum PowerMode { kWriting = 1, kReading = 2 };

constexpr int kSignatureAddress = 58;
constexpr int kSecureAddress = 61;
constexpr int kEraseAddress = 63;
constexpr int kOrRowAddress = 45;
constexpr int kEditTenths = 120;
constexpr int kIdleEditTenths = 50;
constexpr uint32_t kEraseMs = 100;
constexpr uint32_t kNoFuse = UINT32_MAX;

// Programming voltage (0.1 V) and pulse (ms) of a signature voltage code;
// a voltage of 0 marks a code the row refuses.
struct Programming {
    uint16_t tenths, ms;
};

struct SerialAddressType;
using Step = void (*)(const SerialAddressType& t);

// One row of the family: its pins, its rows and fuse formulas, its
// identity and the named steps where the rows differ.
struct SerialAddressType {
    uint32_t Row;
    int ClockPin, DataInPin, StrobePin, DataOutPin, ProgramPin, EditPin, ArchSelectPin;
    int GroupZero[8];      // low in edit mode (pin group 0), 0-ended
    int GroupOne[12];      // low in edit mode (pin group 1), 0-ended
    int EditLowPins[5];    // the erase pins but program and architecture select: low in edit mode, 0-ended
    int ErasePins[7];      // high for the erase pulse, 0-ended
    int AddressPins[7];    // parallel row address (pin group 2), 0-ended; none: shifted in
    int VccRangeFlag;
    int ArrayRows, RowBits;
    uint32_t (*ArrayFuse)(int row, int bit);
    int UesAddress, UesBits;
    uint32_t UesFuse;
    int ArchAddress, ArchBits;
    uint32_t (*ArchFuse)(int bit);
    uint32_t LastFuse;     // fuses past it are shifted as 1 and never checked
    bool ArchBeforeUes;    // walk order: array, architecture, UES (row 231)
    int SignatureBits;
    uint8_t Makers[3];
    uint8_t Types[4];
    const Programming* Table; // six voltage codes
    int (*PowerUp)(const SerialAddressType& t, int mode);
    void (*PowerDown)(const SerialAddressType& t);
    bool (*HasUes)();
    // Loads a row for reading: the address (architecture: the select pin
    // already high) and the read strobe.
    void (*LoadRow)(const SerialAddressType& t, int address);
    bool ClockAfterLastBit, ClockAfterLastArchBit;
    bool ShiftBackRead;    // each bit read goes back in (row 231)
    int (*Program)(const SerialAddressType& t);
    Step ReadBackStrobe;   // inline programs: loads the row just written
    bool ArchReadBack;
    void (*PulseWait)(uint32_t width);
    uint32_t (*ProgramWidth)();
    int (*Erase)(const SerialAddressType& t);
    bool RampEditVoltage, RampProgrammingVoltage, SupplyAtReadVcc, ClearsReadBack;
};

// --- Pins and the shift chain.

template <size_t N> void DrivePins(const int (&pins)[N], int level) {
    for (int p : pins) {
        if (p == 0) break;
        SetPin(p, level);
    }
}

template <size_t N> int Count(const int (&pins)[N]) {
    int n = 0;
    while (n < static_cast<int>(N) && pins[n] != 0) ++n;
    return n;
}

void DefineGroups(const SerialAddressType& t) {
    const int* a = t.GroupZero;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 0);
    const int* b = t.GroupOne;
    DefinePinGroup("", 1, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], 0);
    const int* c = t.AddressPins;
    if (c[0] != 0) DefinePinGroup("", 2, c[0], c[1], c[2], c[3], c[4], c[5], 0);
}

bool ParallelAddress(const SerialAddressType& t) { return t.AddressPins[0] != 0; }

void ShiftBit(const SerialAddressType& t, uint32_t bit) {
    SetPin(t.DataInPin, static_cast<int>(bit & 1));
    PulsePin(t.ClockPin, 3);
    SetPin(t.DataInPin, 0);
}

// The address, least significant bit first through the shift step, or on
// the address pins; then the strobe when asked.
void SelectRow(const SerialAddressType& t, bool strobe, int address) {
    if (ParallelAddress(t)) {
        WritePinGroup(2, 0, 5, static_cast<uint64_t>(address));
    } else {
        for (int k = 0; k < 6; ++k) ShiftBit(t, static_cast<uint32_t>(address >> k) & 1);
    }
    if (strobe) PulsePin(t.StrobePin, 2);
}

void ProgramPulse(const SerialAddressType& t, uint32_t width) {
    SetPin(t.ProgramPin, 1);
    SetPin(t.StrobePin, 0);
    t.PulseWait(width);
    SetPin(t.StrobePin, 1);
    SetPin(t.ProgramPin, 0);
}

void WaitMs(uint32_t ms) { DelayMsSlot(ms); }
void WaitUs(uint32_t us) { DelayUsSlot(us); }
uint32_t SignaturePulseWidth() { return Gal22V10PulseWidth; }
uint32_t ExtendedPulseWidth() { return GalExtended.ProgramUs; }
uint32_t FixedPulseWidth() { return 50; }

void LoadStrobed(const SerialAddressType& t, int address) { SelectRow(t, true, address); }

// The extended-ID parts load a row only after a strobe of their load time.
void LoadTimed(const SerialAddressType& t, int address) {
    SelectRow(t, false, address);
    SetPin(t.StrobePin, 0);
    DelayUsSlot(GalExtended.StrobeUs);
    SetPin(t.StrobePin, 1);
}

void StrobeReadBack(const SerialAddressType& t) { PulsePin(t.StrobePin, 2); }

// Row 222 loads the row just written through programmer register 2 rather
// than the strobe pin; the bytes go out as they are, the latch shadow keeps
// what the pin driver last wrote.
void RegisterReadBack(const SerialAddressType&) {
    WriteRegister(2, 4);
    WriteRegister(2, 5);
}

bool UesAlways() { return true; }
bool UesOnVariantZero() { return DeviceVariant == 0; }

// --- The walk: array rows, then the UES and the architecture row (row 231:
// the architecture row first).

enum class StepKind { Array, Ues, Arch };

struct WalkStep {
    StepKind kind;
    int row; // array row
};

int WalkLength(const SerialAddressType& t) { return t.ArrayRows + (t.HasUes() ? 1 : 0) + 1; }

WalkStep StepAt(const SerialAddressType& t, int step) {
    if (step < t.ArrayRows) return {StepKind::Array, step};
    const bool ues = t.HasUes();
    const int extra = step - t.ArrayRows;
    if (!ues) return {StepKind::Arch, 0};
    const bool first = extra == 0;
    return {first != t.ArchBeforeUes ? StepKind::Ues : StepKind::Arch, 0};
}

int StepAddress(const SerialAddressType& t, const WalkStep& s, int step) {
    switch (s.kind) {
    case StepKind::Array:
        return s.row;
    case StepKind::Ues:
        return t.UesAddress;
    case StepKind::Arch:
        return t.ArchAddress >= 0 ? t.ArchAddress : step;
    }
    return step;
}

int StepBits(const SerialAddressType& t, const WalkStep& s) {
    switch (s.kind) {
    case StepKind::Array:
        return t.RowBits;
    case StepKind::Ues:
        return t.UesBits;
    case StepKind::Arch:
        return t.ArchBits;
    }
    return 0;
}

uint32_t StepFuse(const SerialAddressType& t, const WalkStep& s, int b) {
    uint32_t f = 0;
    switch (s.kind) {
    case StepKind::Array:
        f = t.ArrayFuse(s.row, b);
        break;
    case StepKind::Ues:
        f = t.UesFuse + static_cast<uint32_t>(b);
        break;
    case StepKind::Arch:
        f = t.ArchFuse(b);
        break;
    }
    return f > t.LastFuse ? kNoFuse : f;
}

bool SelectedByPin(const SerialAddressType& t, const WalkStep& s) {
    return s.kind == StepKind::Arch && t.ArchSelectPin != 0;
}

// --- Signature rows (224, 221, 222, 226, 227).

bool SignatureValid(const SerialAddressType& t) {
    const int code = Gal22V10SignatureRecord[1];
    const int type = Gal22V10SignatureRecord[2];
    const int maker = Gal22V10SignatureRecord[3];
    if (code < 0 || code > 5 || t.Table[code].tenths == 0) return false;
    bool makerOk = false, typeOk = false;
    for (uint8_t m : t.Makers) makerOk = makerOk || (m != 0 && m == maker);
    for (uint8_t k : t.Types) typeOk = typeOk || (k != 0 && k == type);
    return makerOk && typeOk;
}

void SignaturePowerDown(const SerialAddressType& t) {
    FloatPinGroup(1, 0, Count(t.GroupOne) - 1);
    SetPin(t.DataInPin, 0);
    SetPin(t.ClockPin, 0);
    SetPin(t.StrobePin, 1);
    SetDacVoltage(2, kIdleEditTenths);
    SetSupplyPinA(t.EditPin, 0);
    SetPin(t.EditPin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceGround(1);
}

// Edit mode up to 12.0 V with the groups low; the caller then identifies.
void EnterEditMode(const SerialAddressType& t, int supply) {
    SetAllDacVoltages(0, kIdleEditTenths, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int p : {t.StrobePin, t.ClockPin, t.ProgramPin}) SetPin(p, 0);
    DrivePins(t.EditLowPins, 0);
    if (t.ArchSelectPin != 0) SetPin(t.ArchSelectPin, 0);
    SetDevicePower(1, supply);
    SetPin(t.StrobePin, 1);
    SetSupplyPinA(t.EditPin, 1);
    if (t.RampEditVoltage) {
        RampVoltageUp(2, kIdleEditTenths, kEditTenths, 5, 10);
    } else {
        SetDacVoltage(2, kEditTenths);
    }
    DelayShortUsSlot(100);
    WritePinGroup(0, 0, Count(t.GroupZero) - 1, 0);
    WritePinGroup(1, 0, Count(t.GroupOne) - 1, 0);
    if (ParallelAddress(t)) WritePinGroup(2, 0, 5, 0);
}

int SignaturePowerUp(const SerialAddressType& t, int mode) {
    if (t.ClearsReadBack) ReadBackAfterSecure = 0;
    DefineGroups(t);
    GalChooseSupply(mode);
    SetVccRange(t.VccRangeFlag, static_cast<int>(SupplyVoltage));
    EnterEditMode(t, static_cast<int>(t.SupplyAtReadVcc ? ReadVccInUse : SupplyVoltage));

    SelectRow(t, true, kSignatureAddress);
    for (int& e : Gal22V10SignatureRecord) e = 0;
    for (int i = 0; i < t.SignatureBits; ++i) {
        Gal22V10SignatureRecord[i / 8] |= GetPin(t.DataOutPin) << (i % 8);
        ShiftBit(t, 0);
    }
    if (!SignatureValid(t)) {
        SignaturePowerDown(t);
        return RefuseIdentity(false, " Incorrect device ID");
    }
    if (mode == kWriting) {
        const Programming& p = t.Table[Gal22V10SignatureRecord[1]];
        Gal22V10Vpp = p.tenths;
        Gal22V10PulseWidth = p.ms;
        if (t.RampProgrammingVoltage) {
            RampVoltageUp(2, kEditTenths, static_cast<int>(Gal22V10Vpp), 5, 10);
        } else {
            SetDacVoltage(2, static_cast<int>(Gal22V10Vpp));
        }
    }
    return 1;
}

// --- Row 234: the extended electronic ID of the low-voltage parts.

void ExtendedPowerDown(const SerialAddressType& t) {
    SetPin(t.ProgramPin, 2);
    FloatPinGroup(1, 0, Count(t.GroupOne) - 1);
    WritePinGroup(0, 0, Count(t.GroupZero) - 1, 0);
    GalLowerExtendedEdit();
    SetSupplyPinA(t.EditPin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetPin(t.StrobePin, 0);
    SetDeviceGround(1);
}

int ExtendedPowerUp(const SerialAddressType& t, int mode) {
    DefineGroups(t);
    SupplyVoltage = 33;
    SetVccRange(t.VccRangeFlag, 33);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(t.StrobePin, 0);
    SetPin(t.ClockPin, 0);
    WritePinGroup(0, 0, Count(t.GroupZero) - 1, 0);
    DrivePins(t.EditLowPins, 0);
    SetPin(t.ArchSelectPin, 0);
    SetDevicePower(1, 33);
    SetPin(t.StrobePin, 1);
    SetSupplyPinA(t.EditPin, 1);
    RampVoltageUp(2, 20, 100, 5, 10);
    GalExtended.EditTenths = 100;
    DelayShortUsSlot(100);
    SetPin(t.ProgramPin, 0);
    WritePinGroup(1, 0, Count(t.GroupOne) - 1, 0);

    SelectRow(t, true, kSignatureAddress);
    for (int i = 0; i < t.SignatureBits; ++i) {
        SetBufferBit(GalExtendedIdFuse + static_cast<uint32_t>(i), static_cast<uint32_t>(GetPin(t.DataOutPin)));
        ShiftBit(t, 0);
    }
    if (!GalExtendedIdAccepted(t.Types)) {
        ExtendedPowerDown(t);
        return RefuseIdentity(false, " Electronic ID Error");
    }
    GalRaiseExtendedEdit(mode);
    return 1;
}

// --- Row 231: no signature; 15.7 V when writing.

int FixedPowerUp(const SerialAddressType& t, int mode) {
    ReadBackAfterSecure = 0;
    DefineGroups(t);
    GalChooseSupply(mode);
    SetVccRange(t.VccRangeFlag, static_cast<int>(SupplyVoltage));
    EnterEditMode(t, static_cast<int>(SupplyVoltage));
    if (mode == kWriting) SetDacVoltage(2, 157);
    return 1;
}

// --- Entries.

int Read(const SerialAddressType& t, int mode) {
    if (t.PowerUp(t, kReading) != 1) return -1;
    int r = 1;
    for (int step = 0; step < WalkLength(t) && r != -1; ++step) {
        const WalkStep s = StepAt(t, step);
        const bool byPin = SelectedByPin(t, s);
        if (byPin) SetPin(t.ArchSelectPin, 1);
        // The strobed rows load the pin-selected architecture row by the
        // strobe alone: no address goes in with the select pin high.
        if (byPin && t.LoadRow == LoadStrobed) {
            PulsePin(t.StrobePin, 2);
        } else {
            t.LoadRow(t, StepAddress(t, s, step));
        }
        const int bits = StepBits(t, s);
        const bool clockLast = s.kind == StepKind::Arch ? t.ClockAfterLastArchBit : t.ClockAfterLastBit;
        for (int b = 0; b < bits; ++b) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            if (b != bits - 1 || clockLast) ShiftBit(t, t.ShiftBackRead ? ReadValue : 0);
            const uint32_t fuse = StepFuse(t, s, b);
            if (fuse == kNoFuse) continue;
            r = CheckFuseBit(static_cast<int>(fuse), 0, static_cast<int>(ReadValue), mode);
            if (r == -1) break;
        }
        if (byPin) SetPin(t.ArchSelectPin, 0);
    }
    t.PowerDown(t);
    return r;
}

uint32_t MapBit(uint32_t fuse) { return fuse == kNoFuse ? 1 : GetBufferBit(fuse); }

// After a failed inline read-back of `fuse` (ReadValue), the part powered
// down: a bit that differs from the map fails at that fuse; otherwise the
// check stopped on ESC answered No (the progress check in CheckFuseBit), a
// break rather than a failed fuse.
int FailOrBreak(uint32_t fuse) {
    if (GetBufferBit(fuse) == (ReadValue & 1)) return 3;
    FailAddress = fuse;
    return -1;
}

// Rows 224-227: each row's pulse, then the row read back while the next
// one goes in; the last array row and the UES are not read back here.
int ProgramInline(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    const int rows = t.ArrayRows + (t.HasUes() ? 1 : 0);
    const WalkStep first = StepAt(t, 0);
    for (int b = 0; b < t.RowBits; ++b) ShiftBit(t, MapBit(StepFuse(t, first, b)));
    SelectRow(t, false, 0);
    for (int a = 1; a <= rows; ++a) {
        ProgramPulse(t, Gal22V10PulseWidth);
        if (a == rows) break;
        t.ReadBackStrobe(t);
        const WalkStep next = StepAt(t, a);
        const int bits = StepBits(t, next);
        for (int b = 0; b < bits; ++b) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            const uint32_t fuse = a < t.ArrayRows && b < t.RowBits ? t.ArrayFuse(a - 1, b) : kNoFuse;
            if (fuse != kNoFuse && CheckFuseBit(static_cast<int>(fuse), 0, static_cast<int>(ReadValue), 3) == -1) {
                t.PowerDown(t);
                return FailOrBreak(fuse);
            }
            ShiftBit(t, MapBit(StepFuse(t, next, b)));
        }
        SelectRow(t, false, StepAddress(t, next, a));
    }
    uint32_t failed = kNoFuse;
    const WalkStep arch{StepKind::Arch, 0};
    SetPin(t.ArchSelectPin, 1);
    for (int i = 0; i < t.ArchBits; ++i) ShiftBit(t, MapBit(StepFuse(t, arch, i)));
    ProgramPulse(t, Gal22V10PulseWidth);
    if (t.ArchReadBack) {
        PulsePin(t.StrobePin, 2);
        for (int i = 0; i < t.ArchBits && failed == kNoFuse; ++i) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            ShiftBit(t, 0);
            if (CheckFuseBit(static_cast<int>(t.ArchFuse(i)), 0, static_cast<int>(ReadValue), 3) == -1)
                failed = t.ArchFuse(i);
        }
    }
    SetPin(t.ArchSelectPin, 0);
    t.PowerDown(t);
    return failed == kNoFuse ? 1 : FailOrBreak(failed);
}

// Row 234's OR row: bit b is 1 where any array row holds a 1 at bit b.
void ProgramOrRow(const SerialAddressType& t) {
    SelectRow(t, false, kOrRowAddress);
    for (int b = 0; b < t.RowBits; ++b) {
        uint32_t any = 0;
        for (int r = 0; r < t.ArrayRows && any == 0; ++r) any = GetBufferBit(t.ArrayFuse(r, b));
        ShiftBit(t, any);
    }
    SelectRow(t, false, kOrRowAddress);
    ProgramPulse(t, t.ProgramWidth());
}

constexpr uint8_t kOrRowType = 0x49;

// Rows 234 and 231: every step shifted in and pulsed, no read-back. A user
// break leaves the part half programmed: it powers down and is reported as
// a break, not as a success.
int ProgramShifted(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    for (int step = 0; step < WalkLength(t); ++step) {
        const WalkStep s = StepAt(t, step);
        const int address = StepAddress(t, s, step);
        const bool byPin = SelectedByPin(t, s);
        if (byPin) SetPin(t.ArchSelectPin, 1);
        SelectRow(t, false, address);
        for (int b = 0; b < StepBits(t, s); ++b) {
            const uint32_t fuse = StepFuse(t, s, b);
            if (fuse != kNoFuse && StepProgressByAddress(fuse) == 3) {
                t.PowerDown(t);
                return 3;
            }
            ExpectedValue = MapBit(fuse);
            ShiftBit(t, ExpectedValue);
        }
        if (!ParallelAddress(t)) SelectRow(t, false, address);
        ProgramPulse(t, t.ProgramWidth());
        if (byPin) SetPin(t.ArchSelectPin, 0);
    }
    if (t.Row == 234 && GalExtended.TypeCode == kOrRowType) ProgramOrRow(t);
    t.PowerDown(t);
    return 1;
}

// Bulk erase: the erase pins high through one strobe.
int EraseByPins(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    DrivePins(t.ErasePins, 1);
    SetPin(t.StrobePin, 0);
    DelayMsSlot(kEraseMs);
    SetPin(t.StrobePin, 1);
    DrivePins(t.ErasePins, 0);
    t.PowerDown(t);
    return 1;
}

// Row 234: the erase pins high through a program pulse of the erase time.
int EraseByPulse(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    DrivePins(t.ErasePins, 1);
    ProgramPulse(t, GalExtended.EraseUs);
    DrivePins(t.ErasePins, 0);
    t.PowerDown(t);
    return 1;
}

// Row 231: address 63 with program and data high through a 50 ms strobe.
int EraseAtRow63(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    SelectRow(t, false, kEraseAddress);
    SetPin(t.ProgramPin, 1);
    SetPin(t.DataInPin, 1);
    SetPin(t.StrobePin, 0);
    DelayMsSlot(50);
    SetPin(t.StrobePin, 1);
    SetPin(t.ProgramPin, 0);
    SetPin(t.DataInPin, 0);
    t.PowerDown(t);
    return 1;
}

int Secure(const SerialAddressType& t) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    SelectRow(t, false, kSecureAddress);
    ProgramPulse(t, t.ProgramWidth());
    t.PowerDown(t);
    return 1;
}

// --- The rows.

uint32_t Column44(int row, int bit) { return static_cast<uint32_t>(bit * 44 + row); }
uint32_t Column36(int row, int bit) { return static_cast<uint32_t>(bit * 36 + row); }
uint32_t Column40(int row, int bit) { return static_cast<uint32_t>(bit * 40 + row); }
uint32_t Column52(int row, int bit) { return static_cast<uint32_t>(bit * 52 + row); }
uint32_t ByteColumns40(int row, int bit) { return static_cast<uint32_t>((bit / 8) * 320 + 280 - (bit % 8) * 40 + row); }
uint32_t Arch5808(int i) { return 5808 + static_cast<uint32_t>(i ^ 1); }
uint32_t Arch3456(int i) { return 3456 + static_cast<uint32_t>(i ^ 1); }
uint32_t Arch6344(int i) { return 6344 + static_cast<uint32_t>(i ^ 1); }
uint32_t ArchDown3209(int i) { return 3209 - static_cast<uint32_t>(i); }
uint32_t Arch3200(int i) { return 3200 + static_cast<uint32_t>(i); }
constexpr uint8_t kArch226[31] = {30, 20, 21, 22, 23, 24, 10, 11, 12, 13, 14, 0,  1, 2, 3, 4,
                                  29, 28, 27, 26, 25, 19, 18, 17, 16, 15, 9,  8,  7, 6, 5};
uint32_t Arch1600(int i) { return 1600 + kArch226[i % 31]; }

constexpr Programming kTable224[6] = {{150, 10}, {154, 80}, {145, 40}, {140, 80}, {140, 80}, {150, 50}};
constexpr Programming kTable221[6] = {{155, 10}, {157, 80}, {145, 40}, {140, 80}, {0, 0}, {165, 10}};
constexpr Programming kTable222[6] = {{165, 10}, {157, 80}, {145, 40}, {140, 80}, {0, 0}, {0, 0}};

const SerialAddressType kAlg224 = {
    224, 22, 23, 25, 26, 15, 14, 20, {13, 17}, {27, 28, 29, 30, 31, 32, 33, 34, 35}, {16, 18, 19, 21},
    {16, 21, 20, 19, 18, 15}, {}, 0,
    44, 132, Column44, 44, 132, 5828, -1, 20, Arch5808, kNoFuse, false,
    32, {0xA1, 0x8F, 0x20}, {0x48, 0x49}, kTable224,
    SignaturePowerUp, SignaturePowerDown, UesAlways, LoadStrobed, true, true, false,
    ProgramInline, StrobeReadBack, true, WaitMs, SignaturePulseWidth, EraseByPins,
    true, true, false, true,
};
const SerialAddressType kAlg221 = {
    221, 20, 21, 22, 23, 33, 16, 18, {25, 26, 27, 28, 29, 31}, {}, {19, 32, 17, 30},
    {33, 19, 18, 32, 17, 30}, {}, 1,
    36, 96, Column36, 44, 96, 3476, -1, 20, Arch3456, kNoFuse, false,
    80, {0xA1}, {0x50}, kTable221,
    SignaturePowerUp, SignaturePowerDown, UesAlways, LoadStrobed, true, true, false,
    ProgramInline, StrobeReadBack, false, WaitMs, SignaturePulseWidth, EraseByPins,
    false, false, true, false,
};
const SerialAddressType kAlg222 = {
    222, 22, 23, 25, 26, 15, 14, 20, {13, 17, 21}, {27, 28, 29, 30, 31, 32, 33, 34, 35}, {16, 18, 19},
    {15, 16, 19, 18}, {}, 1,
    40, 80, Column40, 40, 80, 3210, -1, 10, ArchDown3209, kNoFuse, false,
    80, {0xA1}, {0x60, 0x61}, kTable222,
    SignaturePowerUp, SignaturePowerDown, UesOnVariantZero, LoadStrobed, true, true, false,
    ProgramInline, RegisterReadBack, false, WaitMs, SignaturePulseWidth, EraseByPins,
    false, false, false, false,
};
const SerialAddressType kAlg226 = {
    226, 22, 23, 25, 26, 15, 14, 20, {13, 17}, {27, 28, 29, 30, 31, 32, 33, 34, 35}, {16, 18, 19, 21},
    {16, 21, 20, 19, 18, 15}, {}, 0,
    40, 40, Column40, 44, 40, 1631, -1, 31, Arch1600, kNoFuse, false,
    40, {0xA1}, {0x65}, kTable222,
    SignaturePowerUp, SignaturePowerDown, UesAlways, LoadStrobed, false, false, false,
    ProgramInline, StrobeReadBack, true, WaitMs, SignaturePulseWidth, EraseByPins,
    true, false, false, true,
};
const SerialAddressType kAlg227 = {
    227, 22, 23, 24, 25, 13, 12, 20, {11, 15, 18, 38}, {26, 27, 28, 29, 30, 32, 33, 34, 35, 36, 37}, {21, 14, 19, 16},
    {13, 21, 20, 14, 19, 16}, {}, 1,
    52, 122, Column52, 52, 122, 6368, -1, 24, Arch6344, kNoFuse, false,
    122, {0xA1}, {0x58}, kTable222,
    SignaturePowerUp, SignaturePowerDown, UesAlways, LoadStrobed, false, true, false,
    ProgramInline, StrobeReadBack, true, WaitMs, SignaturePulseWidth, EraseByPins,
    false, false, false, true,
};
const SerialAddressType kAlg234 = {
    234, 22, 23, 25, 26, 15, 14, 20, {13, 17}, {27, 28, 29, 30, 31, 32, 33, 34, 35}, {16, 18, 19, 21},
    {21, 20, 19, 18, 16}, {}, 0,
    44, 132, Column44, 44, 132, 5828, -1, 20, Arch5808, kNoFuse, false,
    132, {0xA1}, {0x48, 0x49}, nullptr,
    ExtendedPowerUp, ExtendedPowerDown, UesAlways, LoadTimed, false, false, false,
    ProgramShifted, nullptr, false, WaitUs, ExtendedPulseWidth, EraseByPulse,
    false, false, false, false,
};
const SerialAddressType kAlg231 = {
    231, 22, 23, 25, 27, 34, 14, 0, {26, 28, 29, 30, 31, 32, 35}, {13, 18, 19}, {},
    {}, {33, 15, 16, 17, 20, 21}, 1,
    40, 80, ByteColumns40, 41, 80, 3210, 40, 10, Arch3200, 3273, true,
    0, {}, {}, nullptr,
    FixedPowerUp, SignaturePowerDown, UesAlways, LoadStrobed, true, true, true,
    ProgramShifted, nullptr, false, WaitMs, FixedPulseWidth, EraseAtRow63,
    false, false, false, true,
};

} // namespace

int Alg224Read(int mode) { return Read(kAlg224, mode); }
int Alg224Program() { return kAlg224.Program(kAlg224); }
int Alg224Erase() { return kAlg224.Erase(kAlg224); }
int Alg224Secure() { return Secure(kAlg224); }
int Alg221Read(int mode) { return Read(kAlg221, mode); }
int Alg221Program() { return kAlg221.Program(kAlg221); }
int Alg221Erase() { return kAlg221.Erase(kAlg221); }
int Alg221Secure() { return Secure(kAlg221); }
int Alg222Read(int mode) { return Read(kAlg222, mode); }
int Alg222Program() { return kAlg222.Program(kAlg222); }
int Alg222Erase() { return kAlg222.Erase(kAlg222); }
int Alg222Secure() {
    ReadBackAfterSecure = 0;
    return Secure(kAlg222);
}
int Alg226Read(int mode) { return Read(kAlg226, mode); }
int Alg226Program() { return kAlg226.Program(kAlg226); }
int Alg226Erase() { return kAlg226.Erase(kAlg226); }
int Alg226Secure() { return Secure(kAlg226); }
int Alg227Read(int mode) { return Read(kAlg227, mode); }
int Alg227Program() { return kAlg227.Program(kAlg227); }
int Alg227Erase() { return kAlg227.Erase(kAlg227); }
int Alg227Secure() { return Secure(kAlg227); }
int Alg234Read(int mode) { return Read(kAlg234, mode); }
int Alg234Program() { return kAlg234.Program(kAlg234); }
int Alg234Erase() { return kAlg234.Erase(kAlg234); }
int Alg234Secure() { return Secure(kAlg234); }
int Alg231Read(int mode) { return Read(kAlg231, mode); }
int Alg231Program() { return kAlg231.Program(kAlg231); }
int Alg231Erase() { return kAlg231.Erase(kAlg231); }
int Alg231Secure() { return Secure(kAlg231); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 224,
     .Read = Alg224Read,
     .Program = Alg224Program,
     .Erase = Alg224Erase,
     .Secure = Alg224Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 221,
     .Read = Alg221Read,
     .Program = Alg221Program,
     .Erase = Alg221Erase,
     .Secure = Alg221Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 222,
     .Read = Alg222Read,
     .Program = Alg222Program,
     .Erase = Alg222Erase,
     .Secure = Alg222Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 226,
     .Read = Alg226Read,
     .Program = Alg226Program,
     .Erase = Alg226Erase,
     .Secure = Alg226Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 227,
     .Read = Alg227Read,
     .Program = Alg227Program,
     .Erase = Alg227Erase,
     .Secure = Alg227Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 234,
     .Read = Alg234Read,
     .Program = Alg234Program,
     .Erase = Alg234Erase,
     .Secure = Alg234Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 231, .Read = Alg231Read, .Program = Alg231Program, .Erase = Alg231Erase, .Secure = Alg231Secure},
};

ROW_FAMILY("GalSerialAddress", Logic, 110, kAlgorithmRows);
