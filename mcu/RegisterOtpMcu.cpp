// One-time-programmable microcontrollers on the register bus of their logic
// image. Rows 102 and 103: the high address on register 0, the low address
// and the data multiplexed on register 9, bus modes on register 1; blank
// cells read 00h. Row 102 pulses a pin to 18.0 or 23.0 V (by variant), row
// 103 strobes register 3 and over-programs, and keeps a security byte. Row
// 109: blank FFh, the whole address latched by a strobe at every cell, 1 ms
// pulses of the programming voltage on pin 9.

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

enum OtpRegister : uint32_t { RegHigh = 0, RegMode = 1, RegStrobe = 3, RegLines = 4, RegBus = 9 };
enum : uint32_t { ModeAle = 4, ModeData = 5, ModeIdle = 6, ModeRead = 7 };
enum : uint32_t { LinesReleased = 0x0B, LinesRead = 0x0F, LinesDriven = 0x0D };
enum : uint32_t { StrobeIdle = 9, StrobeProgram = 0x0D };
constexpr int kModePin = 11;  // supply B, channel 3
constexpr int kPulsePin = 29; // channel 1 (row 102)
constexpr int kVppPin = 30;   // channel 2
constexpr int kSecurityPin = 31;
constexpr uint32_t kSecurityAddress = 0x1F;

// Row 102's pulse and mode level: 23.0 V on variant 1, else 18.0 V.
int PulseTenths102() { return DeviceVariant == 1 ? 230 : 180; }
int VppTenths() { return static_cast<int>(Vpp / 10); }

// The supply of the entry's mode: Vccp for programming and mode 1, the read
// supply otherwise; ground, DACs at their floor, then 100 ms.
void SharedStart(int mode) {
    BlankValue = 0;
    ProgressStep = 16;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    WriteRegister(RegMode, ModeIdle);
    WriteRegister(RegLines, LinesReleased);
}

// Row 102: pins 11, 29 and 30 at 5.0 V, then pin 11 to the mode level.
void PowerUp102(int mode) {
    SharedStart(mode);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    ApplyVoltageToPin(3, kModePin, 1, 50);
    ApplyVoltageToPin(1, kPulsePin, 1, 50);
    ApplyVoltageToPin(2, kVppPin, 1, 50);
    WriteRegister(RegLines, LinesRead);
    DelayUsSlot(100);
    WriteRegister(RegMode, ModeAle);
    SetDacVoltage(3, PulseTenths102());
    DelayUsSlot(100);
    WriteRegister(RegLines, LinesDriven);
}

void PowerDown102() {
    ApplyVoltageToPin(1, kPulsePin, 0, 50);
    ApplyVoltageToPin(2, kVppPin, 0, 50);
    ApplyVoltageToPin(3, kModePin, 0, 50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// Row 103: pins 11 and 30 at 5.0 V, then pin 11 to Vpp.
void PowerUp103(int mode) {
    SharedStart(mode);
    WriteRegister(RegStrobe, StrobeIdle);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    ApplyVoltageToPin(3, kModePin, 1, 50);
    ApplyVoltageToPin(2, kVppPin, 1, 50);
    WriteRegister(RegLines, LinesRead);
    DelayUsSlot(100);
    WriteRegister(RegMode, ModeAle);
    SetDacVoltage(3, VppTenths());
    DelayUsSlot(100);
    WriteRegister(RegLines, LinesDriven);
}

void PowerDown103() {
    ApplyVoltageToPin(2, kVppPin, 0, 50);
    ApplyVoltageToPin(3, kModePin, 0, 50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The low address through the latch (row 102 waits before it closes, row
// 103 after).
void Address102(uint32_t a) {
    WriteRegister(RegMode, ModeAle);
    WriteRegister(RegBus, a & 0xFF);
    DelayUsSlot(10);
    WriteRegister(RegMode, ModeData);
}

void Address103(uint32_t a) {
    WriteRegister(RegMode, ModeAle);
    WriteRegister(RegBus, a & 0xFF);
    WriteRegister(RegMode, ModeData);
    DelayUsSlot(50);
}

void ReadCycle() {
    WriteRegister(RegLines, LinesRead);
    WriteRegister(RegMode, ModeRead);
    DelayUsSlot(100);
    ReadValue = ReadRegister(RegBus);
    WriteRegister(RegMode, ModeData);
    WriteRegister(RegLines, LinesDriven);
}

// Pin 30 at Vpp, then pin 29 raised to the mode level for PulseWidth.
void Pulse102() {
    SetDacVoltage(2, VppTenths());
    DelayUsSlot(50);
    SetDacVoltage(1, PulseTenths102());
    DelayUsSlot(PulseWidth);
    SetDacVoltage(1, 50);
    DelayUsSlot(50);
    SetDacVoltage(2, 50);
    DelayUsSlot(50);
}

int ProgramCell102() {
    if (ExpectedValue == 0) return 1;
    for (uint32_t n = 0; n < Retry; ++n) {
        WriteRegister(RegBus, ExpectedValue & 0xFF);
        Pulse102();
        ReadCycle();
        if (ReadValue == ExpectedValue) return 1;
    }
    return -1;
}

void Pulse103(uint32_t width) {
    WriteRegister(RegStrobe, StrobeProgram);
    DelayUsSlot(width);
    WriteRegister(RegStrobe, StrobeIdle);
}

// Up to Retry - 1 pulses, each read back; a cell that took n pulses gets
// one of 3 x n x PulseWidth more.
int ProgramCell103() {
    if (ExpectedValue == 0) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        Pulse103(PulseWidth);
        ReadCycle();
        if (ReadValue == ExpectedValue) {
            Pulse103(3 * n * PulseWidth);
            return 1;
        }
    }
    return -1;
}

// ---- row 109: blank FFh, the address latched by a strobe, 1 ms pulses on pin 9

enum Register109 : uint32_t { Reg109High = 1, Reg109Strobe = 2, Reg109Read = 3, Reg109Lines = 4, Reg109Bus = 6 };
enum : uint32_t { Lines109Released = 6, Lines109Read = 7, Lines109Write = 5 };
enum : uint32_t { Strobe109Idle = 0, Strobe109Latch = 1, Strobe109Program = 2 };
constexpr int kVppPin109 = 9; // channel 1

void PowerUp109(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(10);
    WriteRegister(Reg109Strobe, Strobe109Idle);
    WriteRegister(Reg109Read, 0xFF);
    WriteRegister(Reg109Lines, Lines109Released);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    ApplyVoltageToPin(1, kVppPin109, 1, 50);
    WriteRegister(Reg109Lines, Lines109Read);
}

void PowerDown109() {
    ApplyVoltageToPin(1, kVppPin109, 0, 50);
    DelayUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The whole address at every cell, latched by a strobe of register 2.
void Address109(uint32_t a) {
    WriteRegister(Reg109Lines, Lines109Write);
    WriteRegister(Reg109Bus, a & 0xFF);
    WriteRegister(Reg109High, a >> 8 & 0xFF);
    WriteRegister(Reg109Strobe, Strobe109Latch);
    WriteRegister(Reg109Strobe, Strobe109Idle);
}

void ReadCycle109() {
    WriteRegister(Reg109Read, 0);
    ReadValue = ReadRegister(Reg109Bus);
    WriteRegister(Reg109Read, 0xFF);
}

void ReadCell109() {
    WriteRegister(Reg109Lines, Lines109Read);
    ReadCycle109();
}

void Pulse109() {
    WriteRegister(Reg109Lines, Lines109Write);
    WriteRegister(Reg109Strobe, Strobe109Program);
    SetDacVoltage(1, VppTenths());
    DelayMsSlot(1);
    SetDacVoltage(1, 50);
    WriteRegister(Reg109Strobe, Strobe109Idle);
    WriteRegister(Reg109Lines, Lines109Read);
}

int ProgramCell109() {
    if (ExpectedValue == 0xFF) return 1;
    WriteRegister(Reg109Bus, ExpectedValue & 0xFF);
    for (uint32_t n = 0; n < Retry; ++n) {
        Pulse109();
        ReadCycle109();
        if (ReadValue == ExpectedValue) return 1;
    }
    return -1;
}

struct OtpRow {
    void (*powerUp)(int mode);
    void (*powerDown)();
    bool highAtPages; // register 0 takes the high address at page boundaries (else the address writes it)
    void (*address)(uint32_t a);
    void (*readCell)();
    int (*programCell)();
    bool presentsData; // the datum on the bus before the cell's pulses (row 103)
};

constexpr OtpRow kRow102{PowerUp102, PowerDown102, true, Address102, ReadCycle, ProgramCell102, false};
constexpr OtpRow kRow103{PowerUp103, PowerDown103, true, Address103, ReadCycle, ProgramCell103, true};
constexpr OtpRow kRow109{PowerUp109, PowerDown109, false, Address109, ReadCell109, ProgramCell109, false};

// The high address at the first address and at each 256-byte boundary, so a
// range that starts inside a page is addressed right too.
void HighAddress(const OtpRow& row, uint32_t a, bool first) {
    if (row.highAtPages && (first || (a & 0xFF) == 0)) WriteRegister(RegHigh, a >> 8 & 0xFF);
}

int ReadRange(const OtpRow& row, int mode) {
    row.powerUp(mode);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        HighAddress(row, ChipAddress, ChipAddress == DeviceStart);
        row.address(ChipAddress);
        row.readCell();
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (BufferIndex >= 0x10000 && mode != 0 && (r = AdvanceToNextBank()) != 1) break;
    }
    row.powerDown();
    return r;
}

int ProgramRange(const OtpRow& row) {
    row.powerUp(1);
    if (row.presentsData) SetDacVoltage(2, VppTenths());
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        HighAddress(row, ChipAddress, ChipAddress == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        row.address(ChipAddress);
        if (row.presentsData) WriteRegister(RegBus, ExpectedValue & 0xFF);
        r = row.programCell();
        if (r == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) != 1) break;
    }
    row.powerDown();
    return r;
}

int Alg102Read(int mode) { return ReadRange(kRow102, mode); }
int Alg102Program() { return ProgramRange(kRow102); }
int Alg103Read(int mode) { return ReadRange(kRow103, mode); }
int Alg109Read(int mode) { return ReadRange(kRow109, mode); }
int Alg109Program() { return ProgramRange(kRow109); }
int Alg103Program() { return ProgramRange(kRow103); }

// The security byte at 1Fh with pin 31 grounded: FFh means secured already;
// otherwise it is programmed to FFh.
int Alg103Secure() {
    ReadBackAfterSecure = 0;
    PowerUp103(1);
    SetGroundPin(kSecurityPin, 1);
    SetDacVoltage(2, VppTenths());
    WriteRegister(RegHigh, 0);
    Address103(kSecurityAddress);
    ReadCycle();
    int r;
    if (ReadValue == 0xFF) {
        ShowMessageLine(" Device Secured!");
        r = -1;
    } else {
        ExpectedValue = 0xFF;
        WriteRegister(RegBus, 0xFF);
        r = ProgramCell103();
    }
    SetGroundPin(kSecurityPin, 0);
    SetDacVoltage(2, 50);
    PowerDown103();
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 102, .Read = Alg102Read, .Program = Alg102Program},
    {.Row = 103, .Read = Alg103Read, .Program = Alg103Program, .Secure = Alg103Secure},
    {.Row = 109, .Read = Alg109Read, .Program = Alg109Program},
};

ROW_FAMILY("RegisterOtp", Mcu, 220, kAlgorithmRows);
