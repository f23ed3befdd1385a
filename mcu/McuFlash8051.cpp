#include "mcu/McuFlash8051.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/GangSockets.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "mcu/Mcu8051Walks.h"
#include "mcu/McuFrame.h"

int Signature105[3] = {0xFF, 0xFF, 0xFF};
int Signature178[3] = {0xFF, 0xFF, 0xFF};
const int LockPulseWidths178[Variant178Count] = {100000, 100};
int LockPulseWidth178 = LockPulseWidths178[0];
int Signature193[4] = {0xFF, 0xFF, 0xFF, 0xFF};

using namespace mcu8051;

namespace {

// ---- rows 105 and 178: layouts, mode lines, ready line ------------------------------

// 40-pin DIP (chip pin n on socket pin n + 4) and 44-pin PLCC (n + 2). Row
// 105 has A14 on P3.0, row 178 on P3.4; the other of the two is the ready
// line.
// clang-format off
constexpr Layout8051 kLayout105[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 14}, 15,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 13}, 15,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {}},
};
constexpr Layout8051 kLayout178[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18}, 15,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18}, 15,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {}},
};
// clang-format on
constexpr uint8_t kReady105[2] = {18, 18}; // P3.4
constexpr uint8_t kReady178[2] = {14, 13}; // P3.0

// Mode values on P2.6, P3.3, P3.6, P3.7 with the strobe line P2.7 (-1: the
// read cycle pulls it low) where they differ from the port-mode rows': row
// 178 reads code in mode 12 (kReadCode), the signature in mode 0
// (kReadSignature); row 105 writes its variant-1 lock byte in mode 7 (kLock3)
// and reads it back in mode 3 (kLock2); both write code in mode 14.
constexpr ModeLines kMode14Read{0, -1, 1, 1, 1}; // read code (row 105)
constexpr ModeLines kMode2Signature{0, -1, 1, 0, 0};
constexpr ModeLines kMode1Erase{1, 0, 0, 0, 0};
constexpr ModeLines kMode3Erase{1, 0, 1, 0, 0};

int g_ready = 0;

// The layout by package, or a detail line and false before anything is
// powered.
bool UseFlashLayout(const Layout8051 (&table)[2], const uint8_t (&ready)[2]) {
    const Layout8051* l = LayoutByPinCount(table);
    if (l == nullptr) return false;
    UseLayout(*l);
    g_ready = ready[l == &table[0] ? 0 : 1];
    return true;
}

// Lock bits 1, then 2 unless the level is 0, then 3 when it is 2.
int LocksOfLevel() { return LockBitLevel == 0 ? 1 : LockBitLevel == 2 ? 3 : 2; }

uint32_t ReadCodeByte() {
    SetLine(ActiveLayout->strobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetLine(ActiveLayout->strobe, 1);
    return ReadValue;
}

// The cell just written read back on every gang socket.
int ReadBackSockets() {
    return EverySocket([](uint32_t) { return (ReadCodeByte() & 0xFF) == (ExpectedValue & 0xFF); }) ? 1 : -1;
}

// The supply chosen and its range, ground on, every DAC at 0 and all pins
// floating: how every power-up of this family starts.
void StartSocket(uint32_t supply, uint32_t rangeTenths) {
    SupplyVoltage = supply;
    SetVccRange(1, static_cast<int>(rangeTenths));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
}

// Power-up steps shared by rows 105 and 178 up to the supply; the gang
// programmer takes the 3.3 V range whatever the supply.
void PowerUpFlash(uint32_t supply) {
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    StartSocket(supply, HardwareKind == 3 ? 33 : supply);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    DriveAddress(0, true);
    SetModeLines(kWriteCode);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
}

// A low pulse on `pulsePin`, with the programming voltage switched onto
// `vppPin` through supply A around it when asked; `settleUs` after each step.
void VppPulse(int vppPin, int pulsePin, uint32_t widthUs, bool withVpp, uint32_t settleUs) {
    auto settle = [settleUs] {
        if (settleUs != 0) DelayUsSlot(settleUs);
    };
    if (withVpp) {
        ApplyVoltageToPin(1, vppPin, 1, static_cast<int>(Vpp / 10));
        settle();
    }
    PulsePinTimed(pulsePin, 2, widthUs);
    settle();
    if (withVpp) {
        ApplyVoltageToPin(1, vppPin, 0, 50);
        settle();
    }
}

// ---- row 105 ------------------------------------------------------------------------

bool PowerUp105(int phase) {
    if (!UseFlashLayout(kLayout105, kReady105)) return false;
    PowerUpFlash(PhaseSupply(phase));
    if (DeviceVariant == 1) ApplyVoltageToPin(1, ActiveLayout->ea, 1, static_cast<int>(Vpp / 10));
    return true;
}

void PowerDown105() {
    if (DeviceVariant == 1) ApplyVoltageToPin(1, ActiveLayout->ea, 0, 50);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// Variant 0 takes the programming voltage per pulse when the chip's byte at
// 32h asks for it, variant 2 on every program pulse; variant 1 has it from
// power-up to power-down.
bool VppForProgramPulse() { return (Signature105[2] == 0xFF && DeviceVariant == 0) || DeviceVariant == 2; }
bool VppForErasePulse() { return Signature105[2] == 0xFF && DeviceVariant == 0; }

// One 10 us pulse, then the ready line (P3.4) within 100 x 100 us.
int PulseProgram105() {
    VppPulse(ActiveLayout->ea, ActiveLayout->ale, 10, VppForProgramPulse(), 0);
    FloatPinGroup(1, 0, 7);
    return WaitReady(g_ready, 100, 100);
}

int ProgramCell105() {
    DriveData(ExpectedValue);
    if (ExpectedValue == 0xFF) return 1;
    if (PulseProgram105() == -1) return -1;
    return ReadBackSockets();
}

void ReadCell105() { ReadCodeByte(); }

void LockPulse105(int) { PulseProgram105(); }

// No encryption table: reads are taken as they come.
const Row8051 kRow105{PowerUp105, PowerDown105, ReadCell105, kMode14Read, kWriteCode, ProgramCell105, nullptr, false};

// Variant 1's lock byte read back (mode 3): lock bit 2 on D1, lock bit 3 on
// D0, 0 when programmed.
uint32_t ReadLockByte105() {
    SetModeLines(kLock2);
    DelayUsSlot(10);
    return static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
}

// Variant 1's reads look at the lock byte first: with lock bit 2 or 3
// programmed the part gives no code, so the walk ends at the secured line,
// nothing compared. The lock byte programs its bits as a level, so a part
// showing lock bit 2 or 3 holds the bits below it.
bool WalkUp105(int phase) {
    if (!PowerUp105(phase)) return false;
    if (phase != 2 || DeviceVariant != 1) return true;
    const uint32_t lock = ReadLockByte105();
    if ((lock & 0x03) == 0x03) return true;
    ShowLockBits(true, true, (lock & 0x01) == 0);
    PowerDown105();
    ReadRefusedByDevice();
    return false;
}
const Row8051 kWalk105{WalkUp105, PowerDown105, ReadCell105, kMode14Read, kWriteCode, ProgramCell105, nullptr, false};

// ---- row 178 ------------------------------------------------------------------------

bool PowerUp178(int phase) {
    if (!UseFlashLayout(kLayout178, kReady178)) return false;
    if (DeviceVariant < Variant178Count) LockPulseWidth178 = LockPulseWidths178[DeviceVariant];
    const uint32_t supply = phase == 1 ? Vccp / 10 : phase == 5 || phase == 6 ? 65 : ReadVccInUse;
    PowerUpFlash(supply);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, 50);
    DelayMsSlot(1);
    return true;
}

void PowerDown178() {
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 20);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    DelayMsSlot(100);
}

// EA/VPP raised from 5.0 V to the programming voltage for one pulse.
void PulseProgram178(int widthUs) { DacPulses(static_cast<int>(Vpp / 10), 1, static_cast<uint32_t>(widthUs)); }

// One 1 us pulse, then the ready line (P3.0) within 100 x 10 us.
int ProgramCell178() {
    DriveData(ExpectedValue);
    if (ExpectedValue == 0xFF) return 1;
    PulseProgram178(1);
    FloatPinGroup(1, 0, 7);
    if (WaitReady(g_ready, 100, 10) == -1) return -1;
    SetLine(ActiveLayout->p33, 0);
    const int r = ReadBackSockets();
    SetLine(ActiveLayout->p33, 1);
    return r;
}

const Row8051 kRow178{PowerUp178, PowerDown178, ReadCell105, kReadCode, kWriteCode, ProgramCell178, nullptr, false};

// Identify of rows 105 and 178: the three signature bytes into `out`, the
// first two as the chip's identity.
int IdentifyFlash(const Row8051& row, const ModeLines& lines, const uint32_t (&addresses)[3], uint32_t waitUs,
                  int (&out)[3]) {
    if (!row.powerUp(2)) return 1;
    SetModeLines(lines);
    for (int i = 0; i < 3; ++i) {
        DriveAddress(addresses[i], true);
        if (waitUs != 0) DelayUsSlot(waitUs);
        out[i] = static_cast<int>(ReadCodeByte() & 0xFF);
    }
    row.powerDown();
    ChipMakerId = static_cast<uint32_t>(out[0]);
    ChipDeviceId = static_cast<uint32_t>(out[1]);
    return 1;
}

// ---- row 193 ------------------------------------------------------------------------

// 44-pin only: address on P2.0-P2.7 and P3.0-P3.6, the function on
// P1.0-P1.4 (the control group), no strobe line.
// clang-format off
constexpr Layout8051 kLayout193 = {
    {26, 27, 28, 29, 30, 31, 32, 33, 13, 15, 16, 17, 18, 19, 20}, 15,
    {45, 44, 43, 42, 41, 40, 39, 38}, 12, 0, 0, 0, 0, 0, 34, 35, 37, 23, {4, 5, 6, 7, 8}};
// clang-format on

enum Mode193 : uint32_t {
    Mode193Signature = 0x00,
    Mode193LockByte = 0x08,
    Mode193Read = 0x0C,
    Mode193Write = 0x1E,
};
constexpr uint32_t kLockModes193[3] = {0x1F, 0x13, 0x15};
// The lock byte's bits that read 0 once lock bits 1, 1-2 and 1-3 are programmed.
constexpr uint32_t kLockBits193[3] = {0x80, 0xC0, 0xC8};

void ReadCycle193() {
    DelayUsSlot(10);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
}

void PowerDown193() {
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 20);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SkipIdCheck = 1;
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// Bits 6 (lock bit 2) and 3 (lock bit 3) of the lock byte, 0 when
// programmed: either one stops the part giving code.
bool LockStopsReads193(uint32_t lock) { return (lock & 0x48) != 0x48; }

// The signature and lock byte, compared with the device's identity; a
// mismatch asks whether to go on (No powers down and ends the run at the
// line: nothing of the part was compared). The lock state is shown
// unless the entry is about to secure; a read (phase 2) of a part whose lock
// stops reads ends there, powered down, nothing compared.
bool CheckSignature193(int phase, bool securing) {
    SetControl(Mode193Signature);
    const uint32_t addresses[3] = {0x30, 0x31, 0x60};
    for (int i = 0; i < 3; ++i) {
        DriveAddress(addresses[i], true);
        ReadCycle193();
        Signature193[i] = static_cast<int>(ReadValue & 0xFF);
    }
    SetControl(Mode193LockByte);
    DriveAddress(0, true);
    ReadCycle193();
    Signature193[3] = static_cast<int>(ReadValue & 0xFF);
    if (static_cast<uint32_t>(Signature193[0]) == (ExpectedMakerId & 0xFF) &&
        static_cast<uint32_t>(Signature193[1]) == (ExpectedDeviceId & 0xFF)) {
        if (securing) return true;
        ShowLockState(static_cast<uint32_t>(Signature193[3]));
        if (phase != 2 || !LockStopsReads193(static_cast<uint32_t>(Signature193[3]))) return true;
        PowerDown193();
        ReadRefusedByDevice();
        return false;
    }
    if (RefuseIdentity(true, " Incorrect device ID.") == 1) return true;
    PowerDown193();
    return false;
}

bool PowerUp193With(int phase, bool securing) {
    UseLayout(kLayout193);
    ReadBackAfterSecure = 0;
    StartSocket(PhaseSupply(phase), PhaseSupply(phase));
    SetPin(ActiveLayout->xtal1, 0);
    SetControl(0);
    SetPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->rst, 0);
    SetPin(ActiveLayout->ale, 1);
    DriveAddress(0, true);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, 50);
    DelayUsSlot(20);
    return SkipIdCheck == 1 || CheckSignature193(phase, securing);
}

bool PowerUp193(int phase) { return PowerUp193With(phase, false); }

// Retry pulses of PulseWidth at 10.7 V when the byte at 60h reads 4, else at
// the device's Vpp.
void PulseTrain193(int n) {
    DacPulses(Signature193[2] == 4 ? 107 : static_cast<int>(Vpp / 10), n, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void PrepareWrite193() { SetControl(Mode193Write); }

void ReadAfterPulses193() {
    SetControl(Mode193Read);
    ReadCycle193();
}

int ProgramCell193() { return ProgramByteWithRetry<PrepareWrite193, PulseTrain193, ReadAfterPulses193, RetryCount>(); }

const Row8051 kRow193{PowerUp193, PowerDown193, ReadCycle193, kNoLines, kNoLines, ProgramCell193,
                      nullptr,    false,        Mode193Read};

// ---- row 106 ------------------------------------------------------------------------

// The 20-pin part at socket pins 15-34: no address lines; data on P1 (group
// 1), the function on P3.3, P3.4, P3.5, P3.7 (the control group), PROG on
// P3.2 (socket pin 20), the programming voltage on RST/VPP.
constexpr Layout8051 kLayout106 = {
    {}, 0, {26, 27, 28, 29, 30, 31, 32, 33}, 15, 0, 0, 0, 0, 0, 0, 20, 15, 19, {21, 22, 23, 25}};
constexpr int kReady106 = 17; // P3.1

enum Mode106 : uint32_t {
    Mode106Signature = 0,
    Mode106Erase = 1,
    Mode106Lock2 = 3,
    Mode106Read = 12,
    Mode106Write = 14,
    Mode106Lock1 = 15,
};

// The chip's address counter as the row has clocked it since power-up.
uint32_t g_counter106 = 0;

bool PowerUp106(int phase) {
    UseLayout(kLayout106);
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    ProgressStep = 16;
    StartSocket(PhaseSupply(phase), PhaseSupply(phase));
    // Channel 1 waits at 5.0 V, so connecting it to RST/VPP for the first
    // program pulse keeps RST high: at 0 V it would pull RST low, and RST
    // rising again resets the chip's address counter to 000h, sending the
    // rest of the range to the cells from 000h up.
    SetDacVoltage(1, 50);
    SetPin(ActiveLayout->xtal1, 0);
    SetPin(ActiveLayout->rst, 0);
    SetPin(ActiveLayout->ale, 0);
    SetPin(1, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SetPin(ActiveLayout->rst, 1); // the chip's counter starts at 000h
    g_counter106 = 0;
    SetPin(ActiveLayout->ale, 1);
    DelayMsSlot(100);
    return true;
}

void PowerDown106() {
    SetControl(Mode106Lock1);
    SetPin(ActiveLayout->rst, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void NextAddress106() {
    DelayUsSlot(10);
    PulsePin(ActiveLayout->xtal1, 3);
    ++g_counter106;
}

// Clocks the counter up to the address, so a range that starts past 000h
// reaches its first cell.
void CounterTo106(uint32_t a, bool) {
    while (g_counter106 < a) NextAddress106();
}

void ReadCell106() { ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7)); }

// ExpectedValue with a 100 us pulse on P3.2 at Vpp on RST/VPP, then the
// ready line (P3.1) within 100 x 100 us.
int ProgramByte106() {
    DriveData(ExpectedValue);
    VppPulse(ActiveLayout->rst, ActiveLayout->ale, 100, true, 10);
    FloatPinGroup(1, 0, 7);
    return WaitReady(kReady106, 100, 100);
}

int ProgramCell106() { return ExpectedValue == 0xFF ? 1 : ProgramByte106(); }

const Row8051 kRow106{PowerUp106, PowerDown106, ReadCell106, kNoLines,   kNoLines,
                      ProgramCell106, CounterTo106, false, Mode106Read, Mode106Write};

} // namespace

// ---- entries ------------------------------------------------------------------------

int Alg105Identify() { return IdentifyFlash(kRow105, kMode2Signature, {0x30, 0x31, 0x32}, 100, Signature105); }

int Alg105Read(int mode) { return ReadRange(kWalk105, mode); }
int Alg105Program() { return ProgramRange(kWalk105); }

int Alg105Erase() {
    if (!PowerUp105(5)) return -1;
    SetModeLines(kMode1Erase);
    VppPulse(ActiveLayout->ea, ActiveLayout->ale, 10000, VppForErasePulse(), 0);
    SetLine(ActiveLayout->strobe, 1);
    PowerDown105();
    return 1;
}

int Alg105Secure() {
    if (!PowerUp105(1)) return -1;
    ExpectedValue = 0xFF;
    int r = 1;
    if (DeviceVariant == 1) {
        // One lock byte (0 bits program lock bits 1-3 from bit 7 down). The
        // part reads lock bit 2 back on D1 and lock bit 3 on D0 (0 =
        // programmed); lock bit 1 it does not show.
        static constexpr uint32_t kLockBytes[3] = {0x7F, 0x3F, 0x1F};
        static constexpr uint32_t kReadBack[3] = {0x00, 0x02, 0x01};
        const bool known = LockBitLevel >= 0 && LockBitLevel <= 2;
        const uint32_t lock = known ? kLockBytes[LockBitLevel] : 0xFF;
        DriveData(lock);
        SetModeLines(kLock3);
        PulseProgram105();
        ReadValue = ReadLockByte105();
        r = known && LockBitsTook(ReadValue, LockBitsAsked(kReadBack, LockBitLevel + 1)) ? 1 : -1;
    } else {
        WriteLocks(LocksOfLevel(), LockPulse105, 1);
    }
    PowerDown105();
    if (DeviceVariant != 1)
        ShowLocksNotReadBack();
    else if (r == 1)
        ShowMessageLine(" Lock bit 1 written; this part cannot read it back.");
    return r;
}

int Alg178Identify() { return IdentifyFlash(kRow178, kReadSignature, {0x000, 0x100, 0x200}, 0, Signature178); }

int Alg178Read(int mode) { return ReadRange(kRow178, mode); }
int Alg178Program() { return ProgramRange(kRow178); }

// Two erase pulses of 150 ms at 6.5 V, each in a power cycle of its own.
int Alg178Erase() {
    for (int pass = 0; pass < 2; ++pass) {
        if (!PowerUp178(5)) return -1;
        SetModeLines(kMode3Erase);
        PulseProgram178(150000);
        PowerDown178();
    }
    return 1;
}

int Alg178Secure() {
    if (!PowerUp178(6)) return -1;
    WriteLocks(
        LocksOfLevel(), [](int) { PulseProgram178(LockPulseWidth178); }, 1);
    PowerDown178();
    ShowLocksNotReadBack();
    return 1;
}

int Alg193Read(int mode) { return ReadRange(kRow193, mode); }
int Alg193Program() { return ProgramRange(kRow193); }

int Alg193Secure() {
    if (!PowerUp193With(1, true)) return -1;
    const int locks = LocksOfLevel();
    for (int b = 0; b < locks; ++b) {
        // The mode first: the power-up's check left the chip driving the
        // data lines.
        SetControl(kLockModes193[b]);
        DriveData(0xFF);
        PulseTrain193(static_cast<int>(Retry));
    }
    SetControl(Mode193LockByte);
    ReadCycle193();
    const uint32_t lock = ReadValue;
    PowerDown193();
    return (lock & kLockBits193[locks - 1]) == 0 ? 1 : -1;
}

int Alg106Identify() {
    PowerUp106(2);
    SetControl(Mode106Signature);
    uint32_t id[3] = {};
    for (uint32_t& b : id) {
        ReadCell106();
        b = ReadValue & 0xFF;
        NextAddress106();
    }
    PowerDown106();
    ChipMakerId = id[0];
    ChipDeviceId = id[1];
    return 1;
}

int Alg106Read(int mode) { return ReadRange(kRow106, mode); }
int Alg106Program() { return ProgramRange(kRow106); }

int Alg106Erase() {
    PowerUp106(1);
    SetControl(Mode106Erase);
    VppPulse(ActiveLayout->rst, ActiveLayout->ale, 10000, true, 0);
    PowerDown106();
    return 1;
}

int Alg106Secure() {
    PowerUp106(1);
    ExpectedValue = 0xFF;
    SetControl(Mode106Lock1);
    ProgramByte106();
    if (LockBitLevel106 != 0) {
        SetControl(Mode106Lock2);
        ProgramByte106();
    }
    PowerDown106();
    ShowLocksNotReadBack();
    return 1;
}

// ---- installation -------------------------------------------------------------------

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 105,
     .Identify = Alg105Identify,
     .Read = Alg105Read,
     .Program = Alg105Program,
     .Erase = Alg105Erase,
     .Secure = Alg105Secure,
     .Options = Alg105Options,
     .VariantCount = Variant105Count},
    {.Row = 178,
     .Identify = Alg178Identify,
     .Read = Alg178Read,
     .Program = Alg178Program,
     .Erase = Alg178Erase,
     .Secure = Alg178Secure,
     .Options = Alg105Options,
     .VariantCount = Variant178Count},
    {.Row = 193,
     .Read = Alg193Read,
     .Program = Alg193Program,
     .Secure = Alg193Secure,
     .Options = Alg105Options,
     .RecordCheck = PulseCountCheck,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 106,
     .Identify = Alg106Identify,
     .Read = Alg106Read,
     .Program = Alg106Program,
     .Erase = Alg106Erase,
     .Secure = Alg106Secure,
     .Options = Alg106Options},
};

ROW_FAMILY("Flash8051", Mcu, 20, kAlgorithmRows);

void ResetFlash8051State() {
    for (int& b : Signature105) b = 0xFF;
    for (int& b : Signature178) b = 0xFF;
    for (int& b : Signature193) b = 0xFF;
    LockPulseWidth178 = LockPulseWidths178[0];
    g_ready = 0;
    g_counter106 = 0;
}
