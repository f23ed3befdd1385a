#include "memory/Eprom.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"

const EpromEraseVariant EpromEraseVariantTable[EpromEraseVariantCount] = {
    {0, 0, 1, 0, PulseWithSocketMask}, // 0
    {1, 1, 0, 0, PulseWithVpp},        // 1
    {0, 1, 1, 0, PulseStrobe},         // 2
    {0, 1, 1, 0, PulseStrobe},         // 3
    {0, 0, 0, 0, PulseStrobe},         // 4
    {1, 1, 0, 0, PulseWithVpp},        // 5
    {1, 1, 0, 0, PulseWithVpp},        // 6
    {0, 1, 1, 0, PulseStrobe},         // 7
    {0, 1, 0, 0, PulseStrobe},         // 8
    {0, 1, 1, 0, PulseStrobe},         // 9
    {0, 0, 0, 0, PulseStrobe},         // 10
    {1, 1, 0, 0, PulseWithVpp},        // 11
    {0, 0, 0, 0, PulseStrobe},         // 12
};

namespace {

// With gang sockets the datum is read back from each socket in turn and
// counts only when every socket has it; the mask returns to all sockets.
bool ReadBackEachSocketWhenGanged() { return GangInUse() ? ReadBackEverySocket(0) : ReadBackMatches(); }

// ---- rows 0 and 90 ------------------------------------------------------------

// These two parts of maker "CYPRESS" are blank at 00h: blank check compares
// with 00h and programming skips 00h data.
void CypressBlankRule() {
    if (CurrentMakerName == "CYPRESS" && (CurrentDeviceName == "CY27C128" || CurrentDeviceName == "CY27C256")) {
        BlankValue = 0;
    }
}

// A read strobed per datum: the counter steps as register 4 goes back to 1Fh.
void ReadStrobed() {
    WriteRegister(4, 0x0F);
    WriteRegister(4, 0x0F);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x1F);
}

// Variants 0 and 1 load the image's read counter with register 1 = FFh, 0;
// that leaves the upper address at 0, so a range from 100h up needs its own.
void LoadReadCounter() {
    WriteRegister(1, 0xFF);
    WriteRegister(1, 0);
    if (((DeviceStart >> 8) & 0xFF) != 0) WriteRegister(1, (DeviceStart >> 8) & 0xFF);
}

FrameProfile Row0Or90Profile(bool twin) {
    const EpromEraseVariant& v = EpromVariantOf(EpromEraseVariantTable);
    FrameProfile f;
    if (!twin) f.BeforePowerUp = CypressBlankRule;
    f.SlowPulseProgress = true;
    f.VccRange = GangCappedVccRange;
    f.Pulse = v.Pulse;
    f.ReadBack = !twin;
    // A variant that holds every socket selected through the loop would read
    // them all at once: their outputs drive the data lines together, and a
    // socket whose cell still reads blank hides behind the others. In a gang
    // it reads each socket back in turn too.
    if (v.GangReadBack || v.AllSocketsDuringProgram) f.Verify = ReadBackEachSocketWhenGanged;
    if (v.AllSocketsDuringProgram) f.BeforeVpp[0] = {3, 0};
    f.ProgramVpp = !v.PulseSwitchesVpp;
    // Reads with the programming pin at 5.0 V, sequential or strobed per datum.
    f.ReadVpp = !v.PulseSwitchesVpp;
    f.ReadVppTenths = 50;
    f.ReadVppOffTenths = 50;
    const bool sequential = twin || DeviceSubVariant == 0;
    f.ReadBusMode = sequential ? 9 : 1;
    if (!sequential) f.Read = ReadStrobed;
    if (!twin && DeviceVariant <= 1) f.ReadSetup = LoadReadCounter;
    return f;
}

FrameProfile Row0Profile() { return Row0Or90Profile(false); }
FrameProfile Row90Profile() { return Row0Or90Profile(true); }

constexpr AlgReadFn Alg0Read = FrameRead<Row0Profile>;
constexpr AlgOperationFn Alg0Program = FrameProgram<Row0Profile>;

int Alg0Erase() {
    FrameUse(Row0Profile());
    return EraseChip(EpromEraseVariantTable);
}

constexpr AlgReadFn Alg90Read = FrameRead<Row90Profile>;
constexpr AlgOperationFn Alg90Program = FrameProgram<Row90Profile>;

int Alg90Erase() {
    // One pulse with no read of its own: the operation driver's blank check
    // after the erase step finds a cell it left.
    BlankCheckAfterErase = 1;
    FrameUse(Row90Profile());
    return EraseChipOnce(EpromEraseVariantTable);
}

// ---- rows 67 and 68: paged EPROMs ------------------------------------------------

// Registers 0 and 1 back to the address after the page register took the data lines.
void RestoreAddress() {
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
}

void SelectPage67(uint32_t page) {
    WriteRegister(6, page & 0xFF);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x15);
    WriteRegister(4, 0x1F);
    RestoreAddress();
}

// The page register is written with the programming pin at 5.0 V.
void SelectPage67AtVcc(uint32_t page) {
    SetDacVoltage(1, 50);
    DelayUsSlot(100);
    SelectPage67(page);
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(100);
}

void SelectPage68(uint32_t page) {
    WriteRegister(6, page & 0xFF);
    WriteRegister(4, 0x1D);
    WriteRegister(3, 0);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x1D);
    WriteRegister(4, 0x1F);
    WriteRegister(3, 0xFF);
    RestoreAddress();
}

void SelectPage68ForRead(uint32_t page) {
    SelectPage68(page);
    WriteRegister(3, NotSocket(CurrentSocket));
}

FrameProfile Row67Profile() {
    FrameProfile f;
    f.SlowPulseProgress = true;
    f.AfterPowerUp[0] = {7, 3};
    f.Verify = ReadBackEachSocketWhenGanged;
    f.ReadStrobeFirst = false;
    f.ReadPage = SelectPage67;
    f.BeforeVpp[0] = {3, 0};
    f.ProgramUpper = UpperLatches{0, 0x10000, false};
    f.ProgramPage = SelectPage67AtVcc;
    return f;
}

// The programming voltage and the socket enable inside each pulse.
void PulseRow68(uint32_t widthUs) {
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x1D);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    DelayUsSlot(widthUs);
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 0);
}

// Every socket reads back after each pulse, ganged or not; then none is enabled.
bool ReadBackEverySocketThenNone() { return ReadBackEverySocket(0xFF); }

FrameProfile Row68Profile() {
    FrameProfile f = Row67Profile();
    f.AddressLatches = 2;
    f.Pulse = PulseRow68;
    f.ReadBackStrobe = 0x1F;
    f.Verify = ReadBackEverySocketThenNone;
    f.ReadPage = SelectPage68ForRead;
    f.ProgramVpp = false;
    f.BeforeVpp = {};
    f.ProgramUpper = UpperLatches{0, 0, false};
    f.ProgramPage = SelectPage68;
    return f;
}

constexpr AlgReadFn Alg67Read = FrameRead<Row67Profile>;
constexpr AlgOperationFn Alg67Program = FrameProgram<Row67Profile>;

constexpr AlgReadFn Alg68Read = FrameRead<Row68Profile>;
constexpr AlgOperationFn Alg68Program = FrameProgram<Row68Profile>;

// ---- row 76: electrically erasable, timed writes ------------------------------

// An erase in a single-socket erase operation is followed by the driver's blank check.
void BlankCheckAfterEraseRule() {
    if (!GangInUse() && CurrentOperation != 10) BlankCheckAfterErase = 1;
}

// The part times its own write: address, datum, then the write time.
int TimedWriteDatum() {
    if (ExpectedValue != 0xFF) {
        WriteRegister(0, ChipAddress & 0xFF);
        WriteRegister(6, ExpectedValue);
        DelayUsSlot(PulseWidth);
    }
    return 1;
}

FrameProfile Row76Profile() {
    FrameProfile f;
    f.BeforePowerUp = BlankCheckAfterEraseRule;
    f.IdleWrites[2] = {7, 1};
    f.ParkWrites = {{{3, 0xFF}, {4, 0x1F}, {}, {}}};
    f.AfterVpp = {{{4, 0x15}, {3, 0}, {}, {}}};
    f.AfterLoop[0] = {3, 0xFF};
    f.Datum = TimedWriteDatum;
    return f;
}

constexpr AlgReadFn Alg76Read = FrameRead<Row76Profile>;
constexpr AlgOperationFn Alg76Program = FrameProgram<Row76Profile>;

int Alg76Erase() {
    FrameUse(Row76Profile());
    PowerOnDevice(1);
    SetDeviceVpp(1, 120);
    WriteRegister(3, 0);
    SetSupplyPinA(34, 1);
    WriteRegister(4, 0x13);
    DelayMsSlot(100);
    WriteRegister(4, 0x1F);
    SetSupplyPinA(34, 0);
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 50);
    PowerOffDevice();
    return 1;
}

// ---- row 60: byte-write part ------------------------------------------------------

// The image's address counter: register 1 = A0h at power-up clears bits 8-15,
// which then move only by the carry of register 0 going from FFh to 00h.
// Bits 8-15 of the start are reached by that many carries, then the low byte.
void LoadStartAddress60() {
    for (uint32_t k = 0; k < ((DeviceStart >> 8) & 0xFF); ++k) {
        WriteRegister(0, 0xFF);
        WriteRegister(0, 0);
    }
    WriteRegister(0, DeviceStart & 0xFF);
}

// Writes the datum with a /WE strobe and reads it back.
int ByteWriteDatum() {
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(4, 0x15);
    WriteRegister(6, ExpectedValue & 0xFF);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x1D);
    WriteRegister(4, 0x0F);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x1F);
    return ReadValue == ExpectedValue ? 1 : -1;
}

FrameProfile Row60Profile() {
    FrameProfile f;
    f.Dac1 = 0;
    f.AddressLatches = 0;
    f.IdleWrites[2] = {5, 0};
    f.IdleWrites[3] = {1, 0xA0};
    f.SettleMs = 20;
    f.ParkWrites = {{{4, 0x1F}, {5, 0}, {3, 0xFF}, {}}};
    f.AfterPowerOff = ResetProgrammerOutputs;
    f.ReadBusMode = 1;
    f.ReadSetup = LoadStartAddress60;
    f.ReadUpper = UpperLatches{0, 0x1000, true};
    f.ProgramVpp = false;
    f.BeforeVpp[0] = {3, 0};
    f.ProgramSetup = LoadStartAddress60;
    f.ProgramUpper = UpperLatches{0, 0x1000, true};
    f.Datum = ByteWriteDatum;
    return f;
}

constexpr AlgReadFn Alg60Read = FrameRead<Row60Profile>;
constexpr AlgOperationFn Alg60Program = FrameProgram<Row60Profile>;

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 0,
     .Read = Alg0Read,
     .Program = Alg0Program,
     .Erase = Alg0Erase,
     .VariantCount = EpromEraseVariantCount,
     .VariantTable = "EpromEraseVariantTable",
     .LeastPage = 2},
    {.Row = 90,
     .Read = Alg90Read,
     .Program = Alg90Program,
     .Erase = Alg90Erase,
     .VariantCount = EpromEraseVariantCount,
     .VariantTable = "EpromEraseVariantTable"},
    {.Row = 67, .Read = Alg67Read, .Program = Alg67Program},
    {.Row = 68, .Read = Alg68Read, .Program = Alg68Program},
    {.Row = 76, .Read = Alg76Read, .Program = Alg76Program, .Erase = Alg76Erase},
    {.Row = 60, .Read = Alg60Read, .Program = Alg60Program},
};

ROW_FAMILY("ByteEprom", Memory, 10, kAlgorithmRows);
