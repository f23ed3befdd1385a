#include "mcu/Mcu8051Fixed.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "mcu/Mcu8051Walks.h"
#include "mcu/McuFrame.h"

using namespace mcu8051;

uint32_t LockLevelByte(int level, uint32_t high) {
    const uint32_t low = level == 0 ? 2 : level == 1 ? 1 : 0;
    return (high & 0xFC) | low;
}

namespace {

// Latches the high address byte from the address group with a pulse on the
// strobe pin (at the first address of a walk and at every 256-byte
// boundary), then drives the low byte.
void LatchedAddress(uint32_t a, bool first, int strobe, uint32_t widthUs) {
    if (first || (a & 0xFF) == 0) {
        WritePinGroup(0, 0, 7, a >> 8 & 0xFF);
        if (widthUs != 0) {
            PulsePinTimed(strobe, 3, widthUs);
        } else {
            PulsePin(strobe, 3);
        }
    }
    WritePinGroup(0, 0, 7, a & 0xFF);
}

// Up to `attempts` calls of the attempt routine until one gives 1; a blank
// cell (FFh) needs none.
int RetryAttempts(int (*attempt)(), int attempts) {
    if (ExpectedValue == 0xFF) return 1;
    for (int i = 0; i < attempts; ++i) {
        if (attempt() == 1) return 1;
    }
    return -1;
}

// ---- row 129 ------------------------------------------------------------------------

// The 28-pin part at socket pins 11-38: address and high-byte latch on group
// 0, data on group 1, the mode code on group 2 (pins shared with the address).
constexpr Layout8051 kLayout129 = {
    {17, 16, 15, 14, 13, 35, 34, 33}, 8, {25, 26, 27, 28, 29, 30, 31, 32}, 21, 0, 0, 0, 0, 0, 23, 19, 0, 0,
    {16, 15, 14, 34, 33}};
constexpr int kLatch129 = 20;
constexpr int kIdle129 = 18; // floats during reads and programming, low otherwise

enum Mode129 : uint32_t {
    Mode129Signature = 0x00,
    Mode129SecurityState = 0x10,
    Mode129Read = 0x18,
    Mode129Program = 0x1E,
    Mode129Level2 = 0x1F,
    Mode129Level3 = 0x07,
};

void Read129() {
    DelayUsSlot(3);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
}

void PowerDown129() {
    SetDeviceVpp(0, 20);
    SetPin(kIdle129, 0);
    WriteRegister(12, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
}

// Powers up and reads the security byte (level 2 clears bit 7, level 3 bit
// 6). Outside phase 6 a secured chip is logged and refused: powered down,
// false.
bool PowerUp129(int phase) {
    UseLayout(kLayout129);
    SupplyVoltage = phase == 1 || phase == 6 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(21, 1);
    SetPin(kIdle129, 0);
    SetPin(kLatch129, 0);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->psen, 0);
    WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    SetControl(Mode129SecurityState);
    SetDeviceVpp(0, 20);
    DelayUsSlot(50);
    Read129();
    const uint32_t security = ReadValue;
    DelayMsSlot(10);
    if (phase == 6) return true;
    if ((security & 0x40) == 0) {
        ShowMessageLine(" Device secured!(Level 3)");
    } else if ((security & 0x80) == 0) {
        ShowMessageLine(" Device secured!(Level 2)");
    }
    if ((security & 0xC0) == 0xC0) return true;
    PowerDown129();
    ReadRefusedByDevice();
    return false;
}

// The walks' power-up: the mode, and the programming pin at Vpp (program) or
// 5.0 V (read); the chip takes the mode as that pin switches on.
bool Walk129(int phase) {
    if (!PowerUp129(phase)) return false;
    SetControl(phase == 1 ? Mode129Program : Mode129Read);
    SetDeviceVpp(1, phase == 1 ? static_cast<int>(Vpp / 10) : 50);
    FloatPinRange(kIdle129, kIdle129);
    return true;
}

void Address129(uint32_t a, bool first) { LatchedAddress(a, first, kLatch129, 10); }

// One pulse, no read-back.
int ProgramByte129() {
    if (ExpectedValue == 0xFF) return 1;
    DriveData(ExpectedValue);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
    return 1;
}

const Row8051 kRow129{Walk129, PowerDown129, Read129, kNoLines, kNoLines, ProgramByte129, Address129};

// ---- row 187 ------------------------------------------------------------------------

// The 40-pin DIP at socket pins 5-44: A0-A7 and the high byte on P1, P3.3
// latches it; P3.0, P3.1 the mode; P2.7 the read strobe.
constexpr Layout8051 kLayout187 = {
    {5, 6, 7, 8, 9, 10, 11, 12}, 8, {43, 42, 41, 40, 39, 38, 37, 36}, 13, 0, 32, 17, 0, 0, 33, 34, 35, 0,
    {14, 15}};
constexpr int kXtal2_187 = 22;
constexpr int kP32_187 = 16;

enum Mode187 : uint32_t {
    Mode187PowerUp = 1,
    Mode187LockByte = 2,
    Mode187Code = 3,
};

bool PowerUp187(int phase) {
    UseLayout(kLayout187);
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(kXtal2_187, 0);
    SetPin(ActiveLayout->rst, 0);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    SetControl(Mode187PowerUp);
    SetPin(ActiveLayout->ale, 0);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(kP32_187, 1);
    SetPin(ActiveLayout->p33, 0);
    SetPin(ActiveLayout->ea, 0);
    WritePinGroup(0, 0, 7, 0);
    DelayMsSlot(1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 2);
    DelayUsSlot(100);
    SetPin(kP32_187, 0);
    SetPin(ActiveLayout->ale, 1);
    DelayMsSlot(1);
    // Program and secure hold the programming voltage to power-down.
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, phase == 1 ? static_cast<int>(Vpp / 10) : 50);
    SetPin(ActiveLayout->ea, 2);
    return true;
}

void PowerDown187() {
    SetPin(ActiveLayout->ea, 0);
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 50);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SkipIdCheck = 1;
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

void Address187(uint32_t a, bool first) {
    LatchedAddress(a, first, ActiveLayout->p33, 0);
}

void ReadCodeByte187() {
    SetPin(ActiveLayout->strobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(ActiveLayout->strobe, 1);
}

// The datum on the data group, one low pulse on ALE/PROG, data floated.
void WritePulse187(uint32_t v) {
    DriveData(v);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void Pulse187(int) { WritePulse187(ExpectedValue); }
int OnePulse() { return 1; }

int ProgramCell187() { return ProgramByteWithRetry<NoPrepare, Pulse187, ReadCodeByte187, OnePulse, 20>(); }

const Row8051 kRow187{PowerUp187, PowerDown187, ReadCodeByte187, kNoLines, kNoLines, ProgramCell187, Address187,
                      false,      Mode187Code,  Mode187Code};

} // namespace

int Alg129Identify() {
    PowerUp129(6);
    SetControl(Mode129Signature);
    SetDeviceVpp(1, 50);
    uint32_t id[2] = {};
    for (uint32_t i = 0; i < 2; ++i) {
        Address129(0x30 + i, i == 0);
        Read129();
        id[i] = ReadValue & 0xFF;
    }
    ChipMakerId = id[0];
    ChipDeviceId = id[1];
    SetDeviceVpp(0, 20);
    PowerDown129();
    return 1;
}

int Alg129Read(int mode) { return ReadRange(kRow129, mode); }
int Alg129Program() { return ProgramRange(kRow129); }

int Alg129Secure() {
    PowerUp129(6);
    SetControl(SecurityMode == 0 ? Mode129Level2 : Mode129Level3);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    SetControl(Mode129SecurityState);
    SetDeviceVpp(0, 20);
    DelayUsSlot(50);
    Read129();
    const uint32_t security = ReadValue & 0xFF;
    PowerDown129();
    // The bit of the level asked must read programmed (0): level 2 is bit 7,
    // level 3 bit 6. A part already at the other level reads not-FFh either
    // way, so the whole byte says nothing of this write.
    static constexpr uint32_t kLevelBit129[] = {0x80, 0x40};
    return LockBitsTook(security, kLevelBit129[SecurityMode == 0 ? 0 : 1]) ? 1 : -1;
}

int Alg187Read(int mode) { return ReadRange(kRow187, mode); }
int Alg187Program() { return ProgramRange(kRow187); }

int Alg187Secure() {
    const uint32_t lock = LockLevelByte(LockBitLevel, 0xFC);
    PowerUp187(1);
    SetControl(Mode187LockByte);
    WritePulse187(lock);
    ReadCodeByte187();
    PowerDown187();
    ShowLocksNotReadBack();
    return 1;
}

// ---- row 197 ------------------------------------------------------------------------

namespace {

// The part on the 44-pin adapter, through the registers of its logic image;
// the module itself switches PSEN (socket pin 34) to ground and EA/VPP
// (socket pin 37) onto supply A.
constexpr int kPsen197 = 34;
constexpr int kEa197 = 37;

enum Register197 : uint32_t {
    Reg197Address = 0,
    Reg197Latch = 1,
    Reg197Function = 2,
    Reg197ReadEnable = 3,
    Reg197Control = 4,
    Reg197Gate = 5,
    Reg197Data = 9,
};

enum Function197 : uint32_t {
    Function197PowerUp = 1,
    Function197LockByte = 2,
    Function197Code = 3,
};

// Program and secure raise EA/VPP to Vpp after power-up and lower it before
// power-down.
bool g_vpp197 = false;

void McuPowerUp197(int phase) {
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    WriteRegister(Reg197ReadEnable, 0xFF);
    WriteRegister(Reg197Gate, 7);
    WriteRegister(Reg197Control, 0x0A);
    WriteRegister(Reg197Function, Function197PowerUp);
    SetGroundPin(kPsen197, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    WriteRegister(Reg197Control, 0x02);
    WriteRegister(Reg197Control, 0x42);
    ApplyVoltageToPin(1, kEa197, 1, 50);
    DelayUsSlot(100);
    WriteRegister(Reg197Control, 0x43);
}

void McuPowerDown197() {
    if (g_vpp197) {
        SetDacVoltage(1, 50);
        DelayUsSlot(100);
        g_vpp197 = false;
    }
    SetSupplyPinA(kEa197, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetGroundPin(kPsen197, 0);
}

// Power-up, the function, and for programming EA/VPP at Vpp.
void Start197(int phase, uint32_t function) {
    McuPowerUp197(phase);
    WriteRegister(Reg197Function, function);
    if (phase != 1) return;
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(100);
    g_vpp197 = true;
}

bool Walk197(int phase) {
    Start197(phase, Function197Code);
    return true;
}

void SetAddress197(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) {
        WriteRegister(Reg197Address, a >> 8 & 0xFF);
        WriteRegister(Reg197Latch, 1);
        WriteRegister(Reg197Latch, 0);
    }
    WriteRegister(Reg197Address, a & 0xFF);
}

void ReadCodeByte197() {
    WriteRegister(Reg197ReadEnable, 0xFE);
    ReadValue = ReadRegister(Reg197Data);
    WriteRegister(Reg197ReadEnable, 0xFF);
}

void ProgramPulse197() {
    WriteRegister(Reg197Gate, 5);
    WriteRegister(Reg197Control, 0xC3);
    DelayUsSlot(PulseWidth);
    WriteRegister(Reg197Control, 0x43);
    WriteRegister(Reg197Gate, 7);
}

int PulseAndCompare197() {
    ProgramPulse197();
    ReadCodeByte197();
    return (ReadValue & 0xFF) == (ExpectedValue & 0xFF) ? 1 : -1;
}

// The datum into register 9, then up to 25 pulses with a read-back each;
// a blank cell (FFh) gets none.
int ProgramCell197() {
    WriteRegister(Reg197Data, ExpectedValue & 0xFF);
    return RetryAttempts(PulseAndCompare197, 25);
}

const Row8051 kRow197{Walk197, McuPowerDown197, ReadCodeByte197, kNoLines, kNoLines, ProgramCell197, SetAddress197,
                      false};

} // namespace

int Alg197Read(int mode) { return ReadRange(kRow197, mode); }
int Alg197Program() { return ProgramRange(kRow197); }

int Alg197Secure() {
    Start197(1, Function197LockByte);
    WriteRegister(Reg197Data, LockLevelByte(LockBitLevel, 0));
    ProgramPulse197();
    McuPowerDown197();
    ShowLocksNotReadBack();
    return 1;
}

// ---- row 173 ------------------------------------------------------------------------

namespace {

// The 20-pin part with an internal address counter, through the registers of
// its logic image; the programming voltage goes onto RST/VPP (socket pin 15).
constexpr int kVpp173 = 15;

enum Register173 : uint32_t {
    Reg173Mode = 0,
    Reg173Clock = 1,
    Reg173Strobe = 2,
    Reg173Control = 4,
    Reg173Data = 9,
};

enum Mode173 : uint32_t {
    Mode173Lock2 = 0x03,
    Mode173Table = 0x0A,
    Mode173Read = 0x0C,
    Mode173Program = 0x0E,
    Mode173Lock1 = 0x0F,
};

// The chip's counter as the row has clocked it since power-up.
uint32_t g_counter173 = 0;

bool PowerUp173(int phase) {
    ReadBackAfterSecure = 0;
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    // DAC channel 1 waits at 5.0 V: connecting it to RST/VPP for the first
    // pulse must not pull RST low, which would reset the chip's counter.
    SetAllDacVoltages(50, 0, 0, 0);
    DelayMsSlot(100);
    WriteRegister(Reg173Control, 7);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(11);
    WriteRegister(Reg173Control, 3); // RST rises: the counter starts at 000h
    WriteRegister(Reg173Strobe, 3);
    WriteRegister(Reg173Clock, 0);
    g_counter173 = 0;
    return true;
}

void PowerDown173() {
    WriteRegister(Reg173Control, 7);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

// Each change of register 1 advances the chip's counter by one.
void NextAddress173() {
    DelayUsSlot(10);
    WriteRegister(Reg173Clock, (g_counter173 & 1) != 0 ? 0 : 1);
    ++g_counter173;
}

// Clocks the counter up to the address, so a range that starts past 000h
// pairs each cell with its own buffer byte.
void CounterTo173(uint32_t a, bool) {
    while (g_counter173 < a) NextAddress173();
}

void Read173() {
    DelayUsSlot(10);
    ReadValue = ReadRegister(Reg173Data);
}

// ExpectedValue with n pulses at Vpp on RST/VPP.
void ProgramCell173(int n) {
    WriteRegister(Reg173Data, ExpectedValue & 0xFF);
    WriteRegister(Reg173Control, 1);
    ApplyVoltageToPin(1, kVpp173, 1, static_cast<int>(Vpp / 10));
    for (int i = 0; i < n; ++i) {
        WriteRegister(Reg173Strobe, 0x0B);
        DelayUsSlot(PulseWidth);
        WriteRegister(Reg173Strobe, 3);
        DelayUsSlot(10);
    }
    ApplyVoltageToPin(1, kVpp173, 0, 50);
    WriteRegister(Reg173Control, 3);
}

// One attempt of Retry pulses, then a read-back.
int ProgramByte173() {
    if (ExpectedValue == 0xFF) return 1;
    ProgramCell173(RetryCount());
    WriteRegister(Reg173Mode, Mode173Read);
    Read173();
    WriteRegister(Reg173Mode, Mode173Program);
    return (ReadValue & 0xFF) == (ExpectedValue & 0xFF) ? 1 : -1;
}

bool Walk173(int phase) {
    PowerUp173(phase);
    WriteRegister(Reg173Mode, phase == 1 ? Mode173Program : Mode173Read);
    return true;
}

const Row8051 kRow173{Walk173, PowerDown173, Read173, kNoLines, kNoLines, ProgramByte173, CounterTo173};

} // namespace

int Alg173Read(int mode) { return ReadRange(kRow173, mode); }
int Alg173Program() { return ProgramRange(kRow173); }

int ProgramEncryptionTable173() {
    PowerUp173(1);
    WriteRegister(Reg173Mode, Mode173Table);
    for (uint32_t i = 0; i < EncryptionEntriesWritten(); ++i) {
        ChipAddress = i;
        StepProgressByAddress(i);
        ExpectedValue = EncryptionTable[i];
        if (ExpectedValue != 0xFF) ProgramCell173(RetryCount());
        NextAddress173();
    }
    PowerDown173();
    return 1;
}

int Alg173Secure() {
    ExpectedValue = 0xFF;
    PowerUp173(1);
    WriteRegister(Reg173Mode, Mode173Lock1);
    ProgramCell173(RetryCount());
    if (SecurityMode != 0) {
        WriteRegister(Reg173Mode, Mode173Lock2);
        ProgramCell173(RetryCount());
    }
    PowerDown173();
    ShowLocksNotReadBack();
    return 1;
}

// ---- row 104 ------------------------------------------------------------------------

namespace {

// The 40-pin part through the registers of its logic image: mode codes on
// registers 1 and 2, control lines on register 3, the address (and the
// latched high byte) on register 0, data on register 9; program pulses of
// 100 us at 12.7 V. Variant 1 also wants ground on socket pin 28 and supply
// B on socket pin 29.
constexpr int kGround104 = 28;
constexpr int kSupplyB104 = 29;

enum Register104 : uint32_t {
    Reg104Address = 0,
    Reg104Mode1 = 1,
    Reg104Mode2 = 2,
    Reg104Control = 3,
    Reg104Data = 9,
};

// Register 3: one control per bit, these are the combinations the row uses.
enum Control104 : uint32_t {
    Control104PowerUp = 0x47,
    Control104Read = 0x43,
    Control104Write = 0x42,
    Control104Latch = 0x63,
    Control104ModeLatch = 0x73,
    Control104Pulse = 0xC2,
};

enum Mode104 : int { Mode104Code, Mode104Table, Mode104Security1, Mode104Security2 };
constexpr uint32_t kModeCodes104[4][2] = {{0xA5, 0xFD}, {0x25, 0xFD}, {0x65, 0xFD}, {0x65, 0xFC}};

void SetMode104(int mode) {
    WriteRegister(Reg104Mode1, kModeCodes104[mode][0]);
    WriteRegister(Reg104Mode2, kModeCodes104[mode][1]);
    WriteRegister(Reg104Control, Control104ModeLatch);
    DelayUsSlot(100);
    WriteRegister(Reg104Control, Control104Latch);
    DelayUsSlot(100);
}

void PowerUp104(int phase, int mode) {
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 50, 50, 0);
    DelayMsSlot(100);
    WriteRegister(Reg104Mode2, 0xFC);
    WriteRegister(Reg104Control, Control104PowerUp);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    if (DeviceVariant == 1) {
        SetGroundPin(kGround104, 1);
        SetSupplyPinB(kSupplyB104, 1);
    }
    DelayUsSlot(100);
    SetMode104(mode);
    WriteRegister(Reg104Control, Control104Read);
}

void PowerDown104() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    if (DeviceVariant == 1) {
        SetSupplyPinB(kSupplyB104, 0);
        SetGroundPin(kGround104, 0);
    }
    ResetProgrammerOutputs();
}

// The high byte through the address latch at the first address and at every
// 256-byte boundary, then the low byte.
void Address104(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) {
        WriteRegister(Reg104Control, Control104Latch);
        WriteRegister(Reg104Address, a >> 8 & 0xFF);
        WriteRegister(Reg104Control, Control104Read);
    }
    WriteRegister(Reg104Address, a & 0xFF);
}

void Read104() {
    DelayUsSlot(10);
    ReadValue = ReadRegister(Reg104Data);
}

// ExpectedValue with n pulses at 12.7 V, then a read-back: 1 when equal.
int ProgramCell104(int n) {
    WriteRegister(Reg104Data, ExpectedValue & 0xFF);
    WriteRegister(Reg104Control, Control104Write);
    SetDeviceVpp(1, 127);
    DelayUsSlot(10);
    for (int i = 0; i < n; ++i) {
        WriteRegister(Reg104Control, Control104Pulse);
        DelayUsSlot(100);
        WriteRegister(Reg104Control, Control104Write);
        DelayUsSlot(10);
    }
    WriteRegister(Reg104Control, Control104Read);
    SetDeviceVpp(0, 50);
    Read104();
    return (ReadValue & 0xFF) == (ExpectedValue & 0xFF) ? 1 : -1;
}

int RetryAttempt104() { return ProgramCell104(RetryCount()); }
int ProgramWithRetry104() { return RetryAttempts(RetryAttempt104, 25); }

// The security byte (a set bit is a programmed security bit: bit 7 bit 1,
// bit 6 bit 2).
uint32_t SecurityByte104() {
    PowerUp104(2, Mode104Security1);
    Read104();
    PowerDown104();
    return ReadValue & 0xFF;
}

void ShowSecurityBits104(uint32_t security) {
    if ((security & 0x80) != 0) ShowMessageLine(" Device Secured!(Security bit 1)");
    if ((security & 0x40) != 0) ShowMessageLine(" Device Secured!(Security bit 2)");
}

// Reads look at the security byte first: with security bit 2 programmed the
// part gives no code, so the walk ends at the secured lines, nothing
// compared. Security bit 1 alone only stops programming.
bool Walk104(int phase) {
    if (phase == 2) {
        const uint32_t security = SecurityByte104();
        if ((security & 0x40) != 0) {
            ShowSecurityBits104(security);
            ReadRefusedByDevice();
            return false;
        }
    }
    if (phase == 1) DelayMsSlot(100);
    PowerUp104(phase, Mode104Code);
    return true;
}

const Row8051 kRow104{Walk104, PowerDown104, Read104, kNoLines, kNoLines, ProgramWithRetry104, Address104};

// Five times 25 pulses in a security bit's mode.
void ProgramSecurityBit104(int mode) {
    PowerUp104(1, mode);
    for (int i = 0; i < 5; ++i) ProgramCell104(25);
    PowerDown104();
}

} // namespace

int Alg104Read(int mode) { return ReadRange(kRow104, mode); }
int Alg104Program() { return ProgramRange(kRow104); }

// All 16 entries of the part's array whatever the table size, each verified;
// FFh entries (those past a shorter table among them) are skipped.
int ProgramEncryptionTable104() {
    PowerUp104(1, Mode104Table);
    int r = 1;
    for (uint32_t i = 0; i < 16 && r == 1; ++i) {
        ChipAddress = i;
        StepProgressByAddress(i);
        Address104(i, i == 0);
        ExpectedValue = EncryptionArrayEntry(i);
        r = ProgramWithRetry104();
    }
    PowerDown104();
    return r;
}

int Alg104Secure() {
    ReadBackAfterSecure = 0;
    ExpectedValue = 0xFF;
    const uint32_t before = SecurityByte104();
    ShowSecurityBits104(before);
    if ((before & 0xC0) == 0xC0) return -1;
    ProgramSecurityBit104(Mode104Security1);
    if (SecurityMode != 0) ProgramSecurityBit104(Mode104Security2);
    // Security bit 1 (bit 7), and bit 2 (bit 6) where the mode asks it: each
    // must read programmed.
    static constexpr uint32_t kSecurityBit104[] = {0x80, 0x40};
    const uint32_t asked = LockBitsAsked(kSecurityBit104, SecurityMode != 0 ? 2 : 1);
    return LockBitsTook(SecurityByte104(), asked, true) ? 1 : -1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 129,
     .Identify = Alg129Identify,
     .Read = Alg129Read,
     .Program = Alg129Program,
     .Secure = Alg129Secure,
     .Options = Alg100Options},
    {.Row = 187,
     .Read = Alg187Read,
     .Program = Alg187Program,
     .Secure = Alg187Secure,
     .Options = Alg105Options},
    {.Row = 173,
     .Read = Alg173Read,
     .Program = Alg173Program,
     .Secure = Alg173Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable173,
     .RecordCheck = PulseAndTableCheck},
    {.Row = 104,
     .Read = Alg104Read,
     .Program = Alg104Program,
     .Secure = Alg104Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable104,
     .RecordCheck = PulseAndTableCheck},
    {.Row = 197,
     .Read = Alg197Read,
     .Program = Alg197Program,
     .Secure = Alg197Secure,
     .Options = Alg105Options},
};

ROW_FAMILY("FixedPin8051", Mcu, 30, kAlgorithmRows);
