#include "logic/GalRowSerial.h"

#include <array>

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
#include "logic/PalEmulation.h"

namespace {

constexpr int kSignatureAddress = 58;
constexpr int kOrRowAddress = 45;
constexpr int kSecureAddress = 61;
constexpr int kEraseAddress = 63;
constexpr int kSignatureBits = 64;
constexpr uint32_t kEraseMs = 130;
constexpr int kEditVoltageTenths = 120;
constexpr int kEditSupplyTenths = 50;

enum PowerMode { kWriting = 1, kReading = 2 };

void PutAddress(int address) { WritePinGroup(0, 0, 5, static_cast<uint64_t>(address)); }

void GalShiftBit(const GalRowSerialType& t, uint32_t bit) {
    SetPin(t.DataInPin, bit & 1);
    PulsePin(t.ClockPin, 3);
    SetPin(t.DataInPin, 0);
}

void DefineGroups(const GalRowSerialType& t) {
    const int* a = t.AddressPins;
    const int* e = t.EditLowPins;
    const int* g = t.GroupTwoPins;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], 0);
    DefinePinGroup("", 1, e[0], e[1], e[2], e[3], e[4], 0);
    if (g[0] != 0) DefinePinGroup("", 2, g[0], g[1], g[2], g[3], g[4], 0);
}

bool HasGroupTwo(const GalRowSerialType& t) { return t.GroupTwoPins[0] != 0; }

bool TypeAccepted(const GalRowSerialType& t, uint32_t type) {
    bool any = true;
    for (uint8_t a : t.AcceptedTypes) {
        if (a == 0) continue;
        any = false;
        if (a == type) return true;
    }
    return any;
}

// --- Signature rows (219, 220): voltage code, type code and maker code.

void SignatureProgramPulse(const GalRowSerialType& t, uint32_t ms) {
    SetPin(t.ProgramPin, 1);
    SetPin(t.StrobePin, 0);
    DelayMsSlot(ms);
    SetPin(t.StrobePin, 1);
    SetPin(t.ProgramPin, 0);
}

void SignatureSelectRow(const GalRowSerialType& t, int address) {
    PutAddress(address);
    PulsePin(t.StrobePin, 2);
}

uint32_t SignaturePulseWidth() { return GalPulseWidth; }
uint32_t SignatureEraseWidth() { return kEraseMs; }

bool ValidSignature(const GalRowSerialType& t) {
    const int code = GalSignatureRecord[1];
    const int maker = GalSignatureRecord[3];
    return code >= 0 && code <= 5 && (maker == 0xA1 || maker == 0x8F || maker == 0x20) &&
           TypeAccepted(t, static_cast<uint32_t>(GalSignatureRecord[2]));
}

void SignaturePowerDown(const GalRowSerialType& t) {
    FloatPinGroup(1, 0, 4);
    SetPin(t.AddressPins[0], 2);
    SetPin(t.ProgramPin, 2);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataInPin, 0);
    SetPin(t.StrobePin, 1);
    WritePinGroup(0, 1, 5, 0);
    SetDacVoltage(2, kEditSupplyTenths);
    SetSupplyPinA(t.EditVoltagePin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceGround(1);
}

// Powers the part into edit mode and reads its signature; a signature that
// names no voltage code, maker or type of the row ends the run at its line,
// powered down (-1).
int SignaturePowerUp(const GalRowSerialType& t, int mode) {
    DefineGroups(t);
    GalChooseSupply(mode);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, kEditSupplyTenths, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    if (t.HeldLowPin != 0) SetPin(t.HeldLowPin, 0);
    if (HasGroupTwo(t)) WritePinGroup(2, 0, 4, 0); // before the supply, and never floated
    WritePinGroup(0, 1, 5, 0);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataInPin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(t.StrobePin, 1);
    SetSupplyPinA(t.EditVoltagePin, 1);
    SetDacVoltage(2, kEditVoltageTenths);
    DelayShortUsSlot(100);
    WritePinGroup(1, 0, 4, 0);
    SetPin(t.ProgramPin, 0);
    SetPin(t.AddressPins[0], 0);

    SignatureSelectRow(t, kSignatureAddress);
    for (int& entry : GalSignatureRecord) entry = 0;
    for (int i = 0; i < kSignatureBits; ++i) {
        GalSignatureRecord[i / 8] |= GetPin(t.DataOutPin) << (i % 8);
        GalShiftBit(t, 0);
    }
    GalSecondArchOrder = GalSignatureRecord[2] >= t.SecondOrderType ? 1 : 0;
    if (!ValidSignature(t)) {
        SignaturePowerDown(t);
        return RefuseIdentity(false, " Incorrect device ID");
    }
    if (mode == kWriting) {
        const int code = GalSignatureRecord[1];
        const int national = GalSignatureRecord[3] == 0x8F ? 0 : 1;
        GalVpp = t.ProgrammingTable[national][code];
        GalPulseWidth = t.ProgrammingTable[2 + national][code];
        SetDacVoltage(2, static_cast<int>(GalVpp));
    }
    return 1;
}

// --- Extended-ID rows (232, 233): the ID's fields give the supply, the edit
// voltages and every time; the part starts at 3.3 V.

void ExtendedSelectRow(const GalRowSerialType&, int address) { PutAddress(address); }

void ExtendedLoadRow(const GalRowSerialType& t, int address) {
    PutAddress(address);
    SetPin(t.StrobePin, 0);
    DelayShortUsSlot(GalExtended.StrobeUs);
    SetPin(t.StrobePin, 1);
}

void ExtendedProgramPulse(const GalRowSerialType& t, uint32_t us) {
    SetPin(t.ProgramPin, 1);
    SetPin(t.StrobePin, 0);
    DelayUsSlot(us);
    SetPin(t.StrobePin, 1);
    SetPin(t.ProgramPin, 0);
}

uint32_t ExtendedProgramWidth() { return GalExtended.ProgramUs; }
uint32_t ExtendedEraseWidth() { return GalExtended.EraseUs; }

// The edit voltage comes down from the read edit voltage (also after a
// write; 10.0 V after a refused ID) to 2.0 V.
void ExtendedPowerDown(const GalRowSerialType& t) {
    if (t.HeldLowPin != 0) SetPin(t.HeldLowPin, 2);
    SetPin(t.AddressPins[0], 2);
    SetPin(t.ProgramPin, 2);
    if (HasGroupTwo(t)) FloatPinGroup(2, 0, 4);
    FloatPinGroup(1, 0, 4);
    WritePinGroup(0, 1, 5, 0);
    GalLowerExtendedEdit();
    SetSupplyPinA(t.EditVoltagePin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetPin(t.StrobePin, 0);
    SetDeviceGround(1);
}


int ExtendedPowerUp(const GalRowSerialType& t, int mode) {
    DefineGroups(t);
    SupplyVoltage = kGalLowSupplyTenths;
    SetVccRange(0, kGalLowSupplyTenths);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(t.StrobePin, 0);
    SetPin(t.ClockPin, 0);
    WritePinGroup(0, 1, 5, 0);
    SetDevicePower(1, kGalLowSupplyTenths);
    if (HasGroupTwo(t)) {
        WritePinGroup(2, 0, 4, 0);
        WritePinGroup(0, 0, 5, 0);
    }
    SetPin(t.StrobePin, 1);
    SetSupplyPinA(t.EditVoltagePin, 1);
    RampVoltageUp(2, kGalEditStartTenths, kGalEditModeTenths, 5, 10);
    GalExtended.EditTenths = kGalEditModeTenths;
    DelayShortUsSlot(100);
    if (t.HeldLowPin != 0) SetPin(t.HeldLowPin, 0);
    if (!HasGroupTwo(t)) SetPin(t.AddressPins[0], 0);
    SetPin(t.ProgramPin, 0);
    WritePinGroup(1, 0, 4, 0);

    PutAddress(kSignatureAddress);
    PulsePin(t.StrobePin, 2);
    for (uint32_t i = 0; i < kSignatureBits; ++i) {
        SetBufferBit(GalExtendedIdFuse + i, static_cast<uint32_t>(GetPin(t.DataOutPin)));
        GalShiftBit(t, 0);
    }
    if (!GalExtendedIdAccepted(t.AcceptedTypes)) {
        ExtendedPowerDown(t);
        return RefuseIdentity(false, " Electronic ID Error");
    }
    GalSecondArchOrder = 1;
    GalRaiseExtendedEdit(mode);
    return 1;
}

// --- The walk shared by the family.

int RowAddress(const GalRowSerialType& t, int step) {
    if (step < t.ArrayRows) return step;
    return step == t.ArrayRows ? t.UesAddress : t.ArchAddress;
}

int RowBits(const GalRowSerialType& t, int step) {
    if (step < t.ArrayRows) return t.ArrayRowBits;
    return step == t.ArrayRows ? t.UesBits : t.ArchBits;
}

uint32_t RowFuse(const GalRowSerialType& t, int step, int i) {
    if (step < t.ArrayRows) return static_cast<uint32_t>(i * t.ArrayRows + step);
    if (step == t.ArrayRows) return t.UesFuse + static_cast<uint32_t>(i);
    return t.ArchOrder[GalSecondArchOrder != 0 ? 1 : 0][i];
}

int WalkSteps(const GalRowSerialType& t) { return t.ArrayRows + 2; }

int GalRead(const GalRowSerialType& t, int mode) {
    if (mode == 3) RemapFuseRows(1);
    if (t.PowerUp(t, kReading) != 1) return -1;
    int r = 1;
    for (int step = 0; step < WalkSteps(t) && r != -1; ++step) {
        t.LoadForRead(t, RowAddress(t, step));
        const int bits = RowBits(t, step);
        for (int i = 0; i < bits; ++i) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            if (i != bits - 1) GalShiftBit(t, 0);
            r = CheckShadowFuseBit(static_cast<int>(ShadowFuseBase + RowFuse(t, step, i)), 0,
                                   static_cast<int>(ReadValue), mode);
            if (r == -1) break;
        }
    }
    t.PowerDown(t);
    if (mode == 2) RemapFuseRows(2);
    return r;
}

bool WantsOrRow(const GalRowSerialType& t) {
    for (uint8_t type : t.OrRowTypes) {
        if (type != 0 && type == GalExtended.TypeCode) return true;
    }
    return false;
}

// Row 45: bit i is 1 where any array row of the image holds a 1 at bit i.
void ProgramOrRow(const GalRowSerialType& t) {
    t.SelectForWrite(t, kOrRowAddress);
    for (int i = 0; i < t.ArrayRowBits; ++i) {
        uint32_t any = 0;
        for (int r = 0; r < t.ArrayRows && any == 0; ++r)
            any = GetBufferBit(ShadowFuseBase + static_cast<uint32_t>(i * t.ArrayRows + r));
        GalShiftBit(t, any);
    }
    t.ProgramPulse(t, t.ProgramWidth());
}

// A user break stops the walk with the part half programmed: it is reported
// as a break, not as a success.
int GalProgram(const GalRowSerialType& t) {
    RemapFuseRows(1);
    if (t.PowerUp(t, kWriting) != 1) return -1;
    for (int step = 0; step < WalkSteps(t); ++step) {
        t.SelectForWrite(t, RowAddress(t, step));
        const int bits = RowBits(t, step);
        for (int i = 0; i < bits; ++i) {
            const uint32_t fuse = RowFuse(t, step, i);
            if (StepProgressByAddress(fuse) == 3) {
                t.PowerDown(t);
                return 3;
            }
            ExpectedValue = GetBufferBit(ShadowFuseBase + fuse);
            GalShiftBit(t, ExpectedValue);
        }
        t.ProgramPulse(t, t.ProgramWidth());
    }
    if (WantsOrRow(t)) ProgramOrRow(t);
    t.PowerDown(t);
    return 1;
}

// One pulse on a control row (erase or security), data in held high, the
// row address put on the pins without a separate strobe.
int GalControlPulse(const GalRowSerialType& t, int address, uint32_t (*width)()) {
    if (t.PowerUp(t, kWriting) != 1) return -1;
    SetPin(t.DataInPin, 1);
    PutAddress(address);
    t.ProgramPulse(t, width());
    t.PowerDown(t);
    return 1;
}

int GalErase(const GalRowSerialType& t) { return GalControlPulse(t, kEraseAddress, t.EraseWidth); }
int GalSecure(const GalRowSerialType& t) { return GalControlPulse(t, kSecureAddress, t.ProgramWidth); }

} // namespace

const uint16_t GalProgrammingTable[4][6] = {
    {157, 157, 165, 155, 150, 150},
    {157, 157, 162, 145, 140, 125},
    {90, 90, 15, 15, 50, 50},
    {80, 80, 10, 40, 40, 5},
};
const uint16_t Gal20V8ProgrammingTable[4][6] = {
    {157, 157, 165, 155, 150, 140},
    {157, 157, 165, 145, 140, 140},
    {90, 90, 15, 15, 50, 10},
    {80, 80, 10, 40, 80, 10},
};

int GalSignatureRecord[8] = {};
uint32_t GalVpp = 0;
uint32_t GalPulseWidth = 0;
uint32_t GalSecondArchOrder = 0;

const GalRowSerialType Gal16V8RowSerial = {
    219, {32, 17, 18, 19, 20, 21}, {27, 28, 29, 30, 31}, {0, 0, 0, 0, 0},
    22, 23, 25, 26, 33, 15, 16,
    32, 64, 32, 64, 2056, 60, 82,
    {GalArchitectureRowOrder[0].data(), GalArchitectureRowOrder[1].data()},
    {0, 0, 0, 0}, 26, {0, 0}, GalProgrammingTable,
    SignaturePowerUp, SignaturePowerDown, SignatureSelectRow, SignatureSelectRow,
    SignatureProgramPulse, SignaturePulseWidth, SignatureEraseWidth,
};

const GalRowSerialType Gal20V8RowSerial = {
    220, {33, 15, 16, 17, 20, 21}, {28, 29, 30, 31, 32}, {13, 18, 19, 26, 35},
    22, 23, 25, 27, 34, 0, 14,
    40, 64, 40, 64, 2568, 60, 82,
    {Gal20V8ArchitectureRowOrder[0].data(), Gal20V8ArchitectureRowOrder[1].data()},
    {32, 58, 0, 0}, 58, {0, 0}, Gal20V8ProgrammingTable,
    SignaturePowerUp, SignaturePowerDown, SignatureSelectRow, SignatureSelectRow,
    SignatureProgramPulse, SignaturePulseWidth, SignatureEraseWidth,
};

const GalRowSerialType Gal16LV8RowSerial = {
    232, {32, 17, 18, 19, 20, 21}, {27, 28, 29, 30, 31}, {0, 0, 0, 0, 0},
    22, 23, 25, 26, 33, 15, 16,
    32, 64, 32, 64, 2056, 60, 82,
    {GalArchitectureRowOrder[1].data(), GalArchitectureRowOrder[1].data()},
    {0x1A, 0x1B, 0x1E, 0x1F}, 0, {0x1B, 0x1F}, nullptr,
    ExtendedPowerUp, ExtendedPowerDown, ExtendedSelectRow, ExtendedLoadRow,
    ExtendedProgramPulse, ExtendedProgramWidth, ExtendedEraseWidth,
};

const GalRowSerialType Gal20LV8RowSerial = {
    233, {33, 15, 16, 17, 20, 21}, {28, 29, 30, 31, 32}, {13, 18, 19, 26, 35},
    22, 23, 25, 27, 34, 0, 14,
    40, 64, 40, 64, 2568, 60, 82,
    {Gal20V8ArchitectureRowOrder[1].data(), Gal20V8ArchitectureRowOrder[1].data()},
    {0x3A, 0x3B, 0x3E, 0x3F}, 0, {0x3B, 0x3F}, nullptr,
    ExtendedPowerUp, ExtendedPowerDown, ExtendedSelectRow, ExtendedLoadRow,
    ExtendedProgramPulse, ExtendedProgramWidth, ExtendedEraseWidth,
};

int Alg219Read(int mode) { return GalRead(Gal16V8RowSerial, mode); }
int Alg219Program() { return GalProgram(Gal16V8RowSerial); }
int Alg219Erase() { return GalErase(Gal16V8RowSerial); }
int Alg219Secure() { return GalSecure(Gal16V8RowSerial); }
int Alg220Read(int mode) { return GalRead(Gal20V8RowSerial, mode); }
int Alg220Program() { return GalProgram(Gal20V8RowSerial); }
int Alg220Erase() { return GalErase(Gal20V8RowSerial); }
int Alg220Secure() { return GalSecure(Gal20V8RowSerial); }
int Alg232Read(int mode) { return GalRead(Gal16LV8RowSerial, mode); }
int Alg232Program() { return GalProgram(Gal16LV8RowSerial); }
int Alg232Erase() { return GalErase(Gal16LV8RowSerial); }
int Alg232Secure() { return GalSecure(Gal16LV8RowSerial); }
int Alg233Read(int mode) { return GalRead(Gal20LV8RowSerial, mode); }
int Alg233Program() { return GalProgram(Gal20LV8RowSerial); }
int Alg233Erase() { return GalErase(Gal20LV8RowSerial); }
int Alg233Secure() { return GalSecure(Gal20LV8RowSerial); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 219,
     .Read = Alg219Read,
     .Program = Alg219Program,
     .Erase = Alg219Erase,
     .Secure = Alg219Secure,
     .Options = Alg207Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 220,
     .Read = Alg220Read,
     .Program = Alg220Program,
     .Erase = Alg220Erase,
     .Secure = Alg220Secure,
     .Options = Alg208Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 232,
     .Read = Alg232Read,
     .Program = Alg232Program,
     .Erase = Alg232Erase,
     .Secure = Alg232Secure,
     .Options = Alg207Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 233,
     .Read = Alg233Read,
     .Program = Alg233Program,
     .Erase = Alg233Erase,
     .Secure = Alg233Secure,
     .Options = Alg208Options,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("GalRowSerial", Logic, 20, kAlgorithmRows);
