#include "memory/Eprom.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"

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

// ---- rows 0 and 90 ------------------------------------------------------------

// A read strobed per datum: the counter steps as register 4 goes back to 1Fh.
void ReadStrobed() {
    WriteRegister(4, 0x0F);
    WriteRegister(4, 0x0F);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x1F);
}

FrameProfile Row0Profile(bool twin) {
    const EpromEraseVariant& v = EpromVariantOf(EpromEraseVariantTable);
    FrameProfile f;
    f.CypressBlankRule = !twin;
    f.SlowPulseProgress = true;
    f.GangSupplyCap = true;
    f.Pulse = v.Pulse;
    f.ReadBack = !twin;
    f.ReadBackEverySocket = v.GangReadBack != 0;
    f.MaskAllBeforeVpp = v.AllSocketsDuringProgram != 0;
    f.ProgramVpp = !v.PulseSwitchesVpp;
    // Reads with the programming pin at 5.0 V, sequential or strobed per datum.
    f.ReadVpp = !v.PulseSwitchesVpp;
    f.ReadVppTenths = 50;
    f.ReadVppOffTenths = 50;
    const bool sequential = twin || DeviceSubVariant == 0;
    f.ReadBusMode = sequential ? 9 : 1;
    if (!sequential) f.Read = ReadStrobed;
    f.RestoreUpperAfterStrobe = !twin && DeviceVariant <= 1;
    return f;
}

} // namespace

int Alg0Read(int mode) {
    FrameUse(Row0Profile(false));
    return ReadRange(mode);
}

int Alg0Program() {
    FrameUse(Row0Profile(false));
    return ProgramRange(0);
}

int Alg0Erase() {
    FrameUse(Row0Profile(false));
    return EraseChip(EpromEraseVariantTable);
}

int Alg90Read(int mode) {
    FrameUse(Row0Profile(true));
    return ReadRange(mode);
}

int Alg90Program() {
    FrameUse(Row0Profile(true));
    return ProgramRange(0);
}

int Alg90Erase() {
    FrameUse(Row0Profile(true));
    return EraseChipOnce(EpromEraseVariantTable);
}

// ---- rows 67 and 68: paged EPROMs ------------------------------------------------

namespace {

void SelectPage67(uint32_t page) {
    WriteRegister(6, page & 0xFF);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x15);
    WriteRegister(4, 0x1F);
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
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
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
}

void SelectPage68ForRead(uint32_t page) {
    SelectPage68(page);
    WriteRegister(3, NotSocket(CurrentSocket));
}

FrameProfile Row67Profile() {
    FrameProfile f;
    f.SlowPulseProgress = true;
    f.ExtraRegister = 7;
    f.ExtraValue = 3;
    f.ReadBackEverySocket = true;
    f.ReadStrobeFirst = false;
    f.ReadPage = SelectPage67;
    f.MaskAllBeforeVpp = true;
    f.ProgramUpper = UpperLatches{0, 0x10000, false};
    f.ProgramPage = SelectPage67AtVcc;
    return f;
}

void PulseRow68(uint32_t widthUs) {
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x1D);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    DelayUsSlot(widthUs);
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 0);
}

FrameProfile Row68Profile() {
    FrameProfile f = Row67Profile();
    f.WriteUpperLatch = false;
    f.Pulse = PulseRow68;
    f.ReadBackStrobe = 0x1F;
    f.ReadBackEverySocketAlways = true;
    f.MaskAfterEverySocket = 0xFF;
    f.ReadPage = SelectPage68ForRead;
    f.ProgramVpp = false;
    f.MaskAllBeforeVpp = false;
    f.ProgramUpper = UpperLatches{0, 0, false};
    f.ProgramPage = SelectPage68;
    return f;
}

} // namespace

int Alg67Read(int mode) {
    FrameUse(Row67Profile());
    return ReadRange(mode);
}

int Alg67Program() {
    FrameUse(Row67Profile());
    return ProgramRange(0);
}

int Alg68Read(int mode) {
    FrameUse(Row68Profile());
    return ReadRange(mode);
}

int Alg68Program() {
    FrameUse(Row68Profile());
    return ProgramRange(0);
}

// ---- row 76: electrically erasable, timed writes ------------------------------

namespace {

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
    f.BlankCheckAfterEraseRule = true;
    f.IdleWrites[2] = {7, 1};
    f.ParkWrites[0] = {3, 0xFF};
    f.ParkWrites[1] = {4, 0x1F};
    f.ReadBack = false;
    f.ProgramStrobe = 0x15;
    f.MaskAllAfterVpp = true;
    f.MaskOffAfterLoop = true;
    f.Datum = TimedWriteDatum;
    return f;
}

} // namespace

int Alg76Read(int mode) {
    FrameUse(Row76Profile());
    return ReadRange(mode);
}

int Alg76Program() {
    FrameUse(Row76Profile());
    return ProgramRange(0);
}

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

namespace {

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
    f.WriteAddressLatches = false;
    f.IdleWrites[2] = {5, 0};
    f.IdleWrites[3] = {1, 0xA0};
    f.SettleMs = 20;
    f.ParkWrites[1] = {5, 0};
    f.ParkWrites[2] = {3, 0xFF};
    f.ResetOutputsAfterPowerOff = true;
    f.ReadBusMode = 1;
    f.ReadUpper = UpperLatches{0, 0x1000, false};
    f.ProgramVpp = false;
    f.MaskAllBeforeVpp = true;
    f.ProgramUpper = UpperLatches{0, 0x1000, false};
    f.Datum = ByteWriteDatum;
    return f;
}

} // namespace

int Alg60Read(int mode) {
    FrameUse(Row60Profile());
    return ReadRange(mode);
}

int Alg60Program() {
    FrameUse(Row60Profile());
    return ProgramRange(0);
}

// ---- 16-bit EPROMs: rows 3/4, 69, 75, 84 -------------------------------------------

namespace {

FrameProfile WordProfile() {
    FrameProfile f;
    f.Word = true;
    f.Dac1 = 0;
    f.SettleMs = 10;
    f.ReadVpp = true;
    f.ProgramUpper = UpperLatches{0x100, 0x100, false};
    return f;
}

void PulseRow75(uint32_t widthUs) {
    WriteRegister(4, 0x95);
    DelayUsSlot(widthUs);
}

void PulseRow69(uint32_t widthUs) {
    WriteRegister(4, 0x15);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(widthUs);
    SetDeviceVpp(0, 0);
}

FrameProfile Row75Profile() {
    FrameProfile f = WordProfile();
    if (DeviceVariant == 1) f.FixedVccRange = 33;
    f.HighAddressFlag = 0x10;
    f.Pulse = PulseRow75;
    f.ReadBackStrobe = 0x97;
    f.OverPulse = false;
    f.ReadMaskThroughLatch = true;
    f.ProgramStrobe = 0x9F;
    return f;
}

FrameProfile Row69Profile() {
    FrameProfile f = WordProfile();
    f.Pulse = PulseRow69;
    f.ReadBackStrobe = 0x1F;
    f.ReadBackWithSocketMask = true;
    f.ReadVpp = false;
    f.ProgramVpp = false;
    return f;
}

FrameProfile Row84Profile() {
    FrameProfile f = WordProfile();
    f.ReadBack = false;
    f.ReadMaskThroughLatch = true;
    return f;
}

FrameProfile Row3Profile() {
    FrameProfile f = WordProfile();
    if (DeviceVariant == 1) {
        f.UpperFlagRegister8 = 1;
    } else {
        f.HighAddressFlag = 0x10;
    }
    f.ReadBackStrobe = 0x1F;
    f.MaskAllAfterVpp = DeviceSubVariant == 0;
    return f;
}

int g_erasePin3 = 37;

void ErasePulseRow3() {
    WriteRegister(0, 0);
    SetSupplyPinA(g_erasePin3, 1);
    PulseStrobe(50000);
    SetSupplyPinA(g_erasePin3, 0);
}

} // namespace

int Alg3Read(int mode) {
    FrameUse(Row3Profile());
    return ReadRange(mode);
}

int Alg3Program() {
    FrameUse(Row3Profile());
    return ProgramRange(0);
}

int Alg3Erase() {
    FrameUse(Row3Profile());
    const bool forty = PackageRow(PackageIndex).PinCount == 40;
    g_erasePin3 = forty ? 35 : 37;
    const int channel = forty ? 1 : 2;
    PowerOnDevice(1);
    SetDeviceVpp(1, 140);
    SetDacVoltage(channel, 140);
    DelayShortUsSlot(50);
    if (DeviceSubVariant == 0) WriteRegister(3, 0);
    const int result = EraseWalk(20, 0xFFFF, ErasePulseRow3);
    SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

int Alg69Read(int mode) {
    FrameUse(Row69Profile());
    return ReadRange(mode);
}

int Alg69Program() {
    FrameUse(Row69Profile());
    return ProgramRange(0);
}

int Alg75Read(int mode) {
    FrameUse(Row75Profile());
    return ReadRange(mode);
}

int Alg75Program() {
    FrameUse(Row75Profile());
    return ProgramRange(0);
}

int Alg84Read(int mode) {
    FrameUse(Row84Profile());
    return ReadRange(mode);
}

int Alg84Program() {
    FrameUse(Row84Profile());
    return ProgramRange(0);
}
