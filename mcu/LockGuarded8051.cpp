#include "mcu/LockGuarded8051.h"

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
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "mcu/Mcu8051Walks.h"
#include "mcu/McuFrame.h"

int ProgVoltageByte126 = 0xFF;
int LockStatus126 = 0;
int LockStatus199 = 0;

using namespace mcu8051;

namespace {

// 40-pin DIP and 44-pin PLCC: A0-A15 on P1, P2.0-P2.5, P3.4, P3.5; P2.6 the
// command latch; P2.7 the read strobe; P3.6, P3.7 held high.
// clang-format off
constexpr Layout8051 kLayout126[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18, 19}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {}},
};
// clang-format on

enum Command126 : uint32_t {
    Cmd126Read = 0x00,
    Cmd126Erase = 0x20,
    Cmd126Write = 0x40,
    Cmd126Lock1 = 0x60,
    Cmd126Lock2 = 0x70,
    Cmd126Lock3 = 0x80,
    Cmd126Signature = 0x90,
    Cmd126BlankRead = 0xA0,
    Cmd126LockStatus = 0xB0,
    Cmd126ReadBack = 0xC0,
    Confirm126 = 0xD0,
};
constexpr int kProgramAttempts126 = 10;
constexpr int kEraseTries126 = 5;
constexpr int kEraseBound126 = 50;
constexpr uint32_t kErasePulseUs126 = 20000;
constexpr int kLockWrites126 = 10;
constexpr uint32_t kLockCommands126[3] = {Cmd126Lock1, Cmd126Lock2, Cmd126Lock3};
constexpr int kVoltage126AtVcc = 0x55;
constexpr int kVoltage126AtVpp = 0xAA;

enum : int { Phase126Program = 1, Phase126Read = 2, Phase126Erase = 5, Phase126Identify = 99 };

void SetStrobe126(uint32_t mask, int level) {
    if (HardwareKind == 3)
        WriteRegister3(mask);
    else
        SetPin(ActiveLayout->strobe, level);
}

void WriteCommand126(uint32_t c) {
    DriveData(c);
    PulsePin(ActiveLayout->p26, 2);
}

uint32_t CommandRead126(uint32_t c, uint32_t mask) {
    WriteCommand126(c);
    FloatPinGroup(1, 0, 7);
    SetStrobe126(mask, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetStrobe126(0xFF, 1);
    return ReadValue & 0xFF;
}

// A low pulse of w us on ALE/PROG, EA/VPP raised from 5.5 V to the
// programming voltage around it on a chip that asks for it.
void ProgramPulse126(uint32_t w) {
    const bool vpp = ProgVoltageByte126 == kVoltage126AtVpp;
    if (vpp) SetDacVoltage(1, static_cast<int>(Vpp / 10));
    PulsePinTimed(ActiveLayout->ale, 2, w);
    if (vpp) SetDacVoltage(1, 55);
}

void CommandWrite126(uint32_t c, uint32_t d, uint32_t w) {
    WriteCommand126(c);
    DriveData(d);
    ProgramPulse126(w);
}

void PowerDown126() {
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 20);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// Row 126's lock status as the " Device secured!" line of the highest level
// set.
void ShowLockState126() {
    if ((LockStatus126 & 0x0E) == 0x0E)
        ShowMessageLine(" Device secured!(Lock Bits 1,2,3)");
    else if ((LockStatus126 & 0x06) == 0x06)
        ShowMessageLine(" Device secured!(Lock Bits 1,2)");
    else if ((LockStatus126 & 0x02) == 0x02)
        ShowMessageLine(" Device secured!(Lock Bit 1)");
}

// false before anything is powered for a package of neither 40 nor 44 pins;
// after power-down for a programming-voltage byte neither 55h nor AAh (no
// line), or a locked chip outside erase (with its line).
bool PowerUp126(int phase) {
    const Layout8051* layout = LayoutByPinCount(kLayout126);
    if (layout == nullptr) return false;
    UseLayout(*layout);
    SupplyVoltage = phase == Phase126Program || phase == Phase126Erase ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    for (int pin : {ActiveLayout->p36, ActiveLayout->p37, ActiveLayout->strobe, ActiveLayout->ale, ActiveLayout->rst,
                    ActiveLayout->p26})
        SetPin(pin, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, 55);
    WritePinGroup(0, 0, 15, 0x0032);
    ProgVoltageByte126 = static_cast<int>(CommandRead126(Cmd126Signature, 0xFE));
    LockStatus126 = static_cast<int>(CommandRead126(Cmd126LockStatus, 0xFE));
    if (phase == Phase126Identify) return true;
    if (ProgVoltageByte126 != kVoltage126AtVcc && ProgVoltageByte126 != kVoltage126AtVpp) {
        PowerDown126();
        return false;
    }
    if (phase != Phase126Erase && (LockStatus126 & 0x0E) != 0) {
        ShowLockState126();
        PowerDown126();
        ReadRefusedByDevice();
        return false;
    }
    return true;
}

int ProgramCell126() {
    if (ExpectedValue == 0xFF) return 1;
    for (int attempt = 0; attempt < kProgramAttempts126; ++attempt) {
        CommandWrite126(Cmd126Write, ExpectedValue, PulseWidth);
        if (EverySocket([](uint32_t s) {
                return CommandRead126(Cmd126ReadBack, NotSocket(s)) == (ExpectedValue & 0xFF);
            }))
            return 1;
    }
    return -1;
}

void WriteLockCommand126(uint32_t c) {
    for (int i = 0; i < kLockWrites126; ++i) CommandWrite126(c, Confirm126, PulseWidth);
}

uint32_t g_readCommand126 = Cmd126Read;
void ReadCell126() { CommandRead126(g_readCommand126, ~(1u << CurrentSocket) & 0xFF); }

const Row8051 kRow126{PowerUp126, PowerDown126, ReadCell126, kNoLines, kNoLines, ProgramCell126, nullptr, false};


// ---- row 199 ------------------------------------------------------------------------

// 44-pin only: A0-A15 as row 126; the function on P3.0, P3.1, P3.7 (the
// control group); P2.7 the read strobe.
// clang-format off
constexpr Layout8051 kLayout199 = {
    {4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
    {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 0, 21, 34, 35, 37, 23, {13, 15, 21}};
// clang-format on

enum Mode199 : uint32_t {
    Mode199Signature = 0,
    Mode199Read = 2,
    Mode199Write = 3,
    Mode199LockStatus = 5,
    Mode199Erase = 2,
    Mode199EraseVerify = 3,
};
constexpr uint32_t kLockModes199[3] = {7, 6, 4};
constexpr int kProgramAttempts199 = 20;
constexpr int kEraseTries199 = 30;
constexpr int kBlindPulses199 = 3;
constexpr int kEraseVcc199 = 62;
constexpr int kMarginVpp199 = 125;
constexpr uint32_t kErasePulseUs199 = 500000;

enum : int { Phase199Program = 1, Phase199Read = 2, Phase199Erase = 5, Phase199Secure = 6, Phase199Identify = 99 };

uint32_t ReadCodeByte199() {
    SetPin(ActiveLayout->strobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(ActiveLayout->strobe, 1);
    return ReadValue & 0xFF;
}

void WritePulse199(uint32_t v) {
    DriveData(v);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void PowerDown199() {
    SetPin(ActiveLayout->p33, 1);
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 50);
    DelayShortUsSlot(200);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// false after power-down for a chip its last Identify found locked (phases
// 1 and 2 only).
bool PowerUp199(int phase) {
    UseLayout(kLayout199);
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 0;
    SupplyVoltage = phase == Phase199Program || phase == Phase199Erase || phase == Phase199Secure ? Vccp / 10
                                                                                                    : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->xtal1, 0);
    SetControl(Mode199Signature);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    for (int pin : {ActiveLayout->p33, ActiveLayout->strobe, ActiveLayout->p26, ActiveLayout->rst, ActiveLayout->ale})
        SetPin(pin, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 1);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, 50);
    SetPin(ActiveLayout->p33, 0);
    if (phase == Phase199Erase || phase == Phase199Secure || phase == Phase199Identify) return true;
    if (LockStatus199 == 0x02) ShowMessageLine(" Device secured!(Lock Bit 1)");
    if (LockStatus199 == 0x06) ShowMessageLine(" Device secured!(Lock Bits 1,2)");
    if (LockStatus199 == 0x0E) ShowMessageLine(" Device secured!(Lock Bits 1,2,3)");
    // A secured part gives no code: the walk ends at its line, nothing compared.
    if (LockStatus199 != 0) {
        PowerDown199();
        ReadRefusedByDevice();
        return false;
    }
    return true;
}

// Programming keeps EA/VPP at the programming voltage for the whole pass.
bool PowerUpWalk199(int phase) {
    if (!PowerUp199(phase)) return false;
    if (phase == Phase199Program) SetDacVoltage(1, static_cast<int>(Vpp / 10));
    return true;
}

int ProgramCell199() {
    if (ExpectedValue == BlankValue) return 1;
    for (int attempt = 0; attempt < kProgramAttempts199; ++attempt) {
        SetControl(Mode199Write);
        WritePulse199(ExpectedValue);
        SetControl(Mode199Read);
        if (ReadCodeByte199() == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

// 500 ms at VCC 6.2 V with EA/VPP at the programming voltage, then both
// supplies to 4.5 V.
void ErasePulse199() {
    SetDacVoltage(4, kEraseVcc199);
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    SetControl(Mode199Erase);
    PulsePinTimed(ActiveLayout->ale, 2, kErasePulseUs199);
    SetDacVoltage(4, 45);
    SetDacVoltage(1, 45);
}

void ReadCell199() { ReadCodeByte199(); }

const Row8051 kRow199{PowerUpWalk199, PowerDown199, ReadCell199, kNoLines, kNoLines, ProgramCell199,
                      nullptr,        false,        Mode199Read};

} // namespace

// ---- entries ------------------------------------------------------------------------

int Alg126Identify() {
    if (!PowerUp126(Phase126Identify)) return -1;
    WritePinGroup(0, 0, 15, 0x0030);
    ChipMakerId = CommandRead126(Cmd126Signature, 0xFE);
    WritePinGroup(0, 0, 15, 0x0031);
    ChipDeviceId = CommandRead126(Cmd126Signature, 0xFE);
    PowerDown126();
    return 1;
}

int Alg126Read(int mode) {
    g_readCommand126 = mode == 0 ? Cmd126BlankRead : Cmd126Read;
    return ReadRange(kRow126, mode);
}

int Alg126Program() { return ProgramRange(kRow126); }

int Alg126Erase() {
    if (!PowerUp126(Phase126Erase)) return -1;
    // Erase until the lock bits read clear, five tries at most; the entry
    // goes on either way.
    for (int i = 0; i < kEraseTries126; ++i) {
        CommandWrite126(Cmd126Erase, Confirm126, kErasePulseUs126);
        if ((CommandRead126(Cmd126LockStatus, 0xFE) & 0x0E) == 0) break;
    }
    ExpectedValue = 0;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        DriveAddress(ChipAddress, a == DeviceStart);
        r = ProgramCell126();
    }
    if (r == 1) {
        ShowMessageLine(" Program all ok!");
        ClearProgress();
        // Each address until it reads FFh, one more erase each time it does
        // not; the fiftieth fails.
        int pulses = 0;
        for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
            ChipAddress = static_cast<uint32_t>(a);
            DriveAddress(ChipAddress, a == DeviceStart);
            while (CommandRead126(Cmd126BlankRead, 0xFE) != 0xFF) {
                CommandWrite126(Cmd126Erase, Confirm126, kErasePulseUs126);
                if (++pulses >= kEraseBound126) {
                    r = -1;
                    break;
                }
            }
        }
    }
    PowerDown126();
    return r;
}

int Alg126Secure() {
    if (!PowerUp126(Phase126Program)) return -1;
    const int level = LockBitLevel < 0 ? 0 : LockBitLevel > 2 ? 2 : LockBitLevel;
    for (int i = 0; i <= level; ++i) WriteLockCommand126(kLockCommands126[i]);
    const uint32_t status = CommandRead126(Cmd126LockStatus, 0xFE);
    PowerDown126();
    // Every lock bit written must read programmed (status bits 1-3).
    static constexpr uint32_t kLockBit126[] = {0x02, 0x04, 0x08};
    return LockBitsTook(status, LockBitsAsked(kLockBit126, level + 1), true) ? 1 : -1;
}

int Alg199Identify() {
    PowerUp199(Phase199Identify);
    SetControl(Mode199Signature);
    DriveAddress(0, true);
    ChipMakerId = ReadCodeByte199();
    DriveAddress(1, false);
    ChipDeviceId = ReadCodeByte199();
    SetControl(Mode199LockStatus);
    LockStatus199 = static_cast<int>(ReadCodeByte199() & 0x0E);
    PowerDown199();
    return 1;
}

int Alg199Read(int mode) { return ReadRange(kRow199, mode); }
int Alg199Program() { return ProgramRange(kRow199); }

int Alg199Secure() {
    PowerUp199(Phase199Secure);
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    const int level = LockBitLevel < 0 ? 0 : LockBitLevel > 2 ? 2 : LockBitLevel;
    for (int i = 0; i <= level; ++i) {
        SetControl(kLockModes199[i]);
        PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    }
    SetDacVoltage(1, kEraseVcc199);
    SetControl(Mode199LockStatus);
    const uint32_t bits = ReadCodeByte199() & 0x0E;
    PowerDown199();
    static constexpr uint32_t kExpected[3] = {0x02, 0x06, 0x0E};
    return bits == kExpected[level] ? 1 : -1;
}

int Alg199Erase() {
    PowerUp199(Phase199Erase);
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    ExpectedValue = 0;
    int r = 1;
    // Pre-programming: a chip locked at its last Identify cannot be read
    // back, so each byte gets three pulses blind.
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        DriveAddress(ChipAddress, a == DeviceStart);
        if (LockStatus199 != 0) {
            DriveData(0);
            for (int i = 0; i < kBlindPulses199; ++i) PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
        } else {
            r = ProgramCell199();
        }
    }
    if (r == 1) {
        for (uint32_t mode : kLockModes199) {
            SetControl(mode);
            PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
        }
        ShowMessageLine(" Program all ok!");
        FloatPinGroup(1, 0, 7);
        int extra = 0;
        bool cleared = false;
        for (int i = 0; i < kEraseTries199 && !cleared; ++i) {
            ErasePulse199();
            SetControl(Mode199LockStatus);
            cleared = (ReadCodeByte199() & 0x0E) == 0;
            if (!cleared) ++extra;
        }
        bool blank = false;
        for (int pass = 0; cleared && pass < kEraseTries199 && !blank; ++pass) {
            ClearProgress();
            SetDacVoltage(1, kMarginVpp199);
            SetControl(Mode199EraseVerify);
            blank = true;
            for (uint64_t a = DeviceStart; a <= DeviceEnd && blank; ++a) {
                DriveAddress(static_cast<uint32_t>(a), a == DeviceStart);
                blank = ReadCodeByte199() == 0xFF;
            }
            if (!blank) {
                ++extra;
                ErasePulse199();
            }
        }
        r = cleared && blank && extra <= kEraseTries199 ? 1 : -1;
    }
    PowerDown199();
    return r;
}

// ---- installation -------------------------------------------------------------------

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 126,
     .Identify = Alg126Identify,
     .Read = Alg126Read,
     .Program = Alg126Program,
     .Erase = Alg126Erase,
     .Secure = Alg126Secure,
     .Options = Alg105Options},
    {.Row = 199,
     .Identify = Alg199Identify,
     .Read = Alg199Read,
     .Program = Alg199Program,
     .Erase = Alg199Erase,
     .Secure = Alg199Secure,
     .Options = Alg105Options},
};

ROW_FAMILY("LockGuarded8051", Mcu, 110, kAlgorithmRows);

void ResetLockGuarded8051State() {
    ProgVoltageByte126 = 0xFF;
    LockStatus126 = 0;
    LockStatus199 = 0;
    g_readCommand126 = Cmd126Read;
}
