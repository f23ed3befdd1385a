#include "mcu/Flash89C51Rx.h"

#include <algorithm>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "mcu/Mcu8051Walks.h"

int SecurityLevel192 = 2;
int StatusByte192 = 0;
int BootVector192 = 0;
int Signature192[6] = {0xFF, 0xFF, 0xFF, 0, 0xFF, 0xFF};
int EraseDuration192 = 500000;
int OptionResult89C51Rx = 1;

using namespace mcu8051;

namespace {

// 40-pin DIP (chip pin n on socket pin n + 4) and 44-pin PLCC (n + 2):
// A0-A15 on P1, P2.0-P2.5, P3.4, P3.5; the function code on P3.0, P3.1,
// P3.7, P2.6 (the control group); P2.7 the read strobe; P3.3 held low while
// the chip is worked on.
// clang-format off
constexpr Layout8051 kLayout192[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18, 19}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 0, 21, 33, 34, 35, 23, {14, 15, 21, 31}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 0, 21, 34, 35, 37, 23, {13, 15, 21, 32}},
};
// clang-format on

enum Mode192 : uint32_t {
    Mode192Read = 0x0,
    Mode192EraseArray = 0x1,
    Mode192Write = 0x3,
    Mode192EraseVerify = 0x4,
    Mode192ReadBack = 0x5,
    Mode192WriteSecurity = 0x6,
    Mode192EraseSpecial = 0x8,
    Mode192WriteSpecial = 0xA,
    Mode192ReadSpecial = 0xB,
    Mode192Initialize = 0xE,
    Mode192Signature = 0xF,
};

constexpr int kProgramAttempts192 = 20;
constexpr int kEraseBound192 = 100;
constexpr int kEraseDurations192[Variant192Count] = {500000, 320000};
// Security bits read back (bits 1-3) for levels 0, 1, 2.
constexpr uint32_t kSecurityBits192[3] = {0x02, 0x06, 0x0E};

// Power-up phases.
enum : int { PhaseProgram = 1, PhaseRead = 2, PhaseUnchecked = 6, PhaseSpecial = 8 };

void SetStrobe192(uint32_t mask, int level) {
    if (HardwareKind == 3)
        WriteRegister3(mask);
    else
        SetPin(ActiveLayout->strobe, level);
}

uint32_t ReadCodeByte192(uint32_t mask) {
    SetStrobe192(mask, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetStrobe192(0xFF, 1);
    return ReadValue;
}

void DriveLowAddress(uint32_t a) { WritePinGroup(0, 0, 7, a & 0xFF); }

void WritePulse192(uint32_t value) {
    DriveData(value);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void PowerDown192() {
    SetPin(ActiveLayout->p33, 1);
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 50);
    DelayShortUsSlot(200);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// The security bits of the last Identify as the " Device secured!" line;
// true when any is set.
bool ShowSecured192() {
    const int bits = Signature192[3] & 0x0E;
    if (bits == 0x02) ShowMessageLine(" Device secured!(Lock Bit 1)");
    if (bits == 0x06) ShowMessageLine(" Device secured!(Lock Bits 1,2)");
    if (bits == 0x0E) ShowMessageLine(" Device secured!(Lock Bits 1,2,3)");
    return bits != 0;
}

// false before anything is powered for a package of neither 40 nor 44 pins,
// or after power-down for a chip found secured (except in phase 6).
bool PowerUp192(int phase) {
    const Layout8051* layout = LayoutByPinCount(kLayout192);
    if (layout == nullptr) return false;
    UseLayout(*layout);
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 0;
    EraseDuration192 = kEraseDurations192[DeviceVariant == 0 ? 0 : 1];
    SupplyVoltage = phase == PhaseProgram || phase == 5 || phase == PhaseSpecial ? Vccp / 10 : ReadVccInUse;
    int range = static_cast<int>(SupplyVoltage);
    if (HardwareKind == 3) {
        SupplyVoltage -= 3;
        range = 33;
    }
    SetVccRange(1, range);
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->xtal1, 0);
    SetControl(Mode192Read);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->p33, 1);
    SetStrobe192(0xFF, 1);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->ale, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 1);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, static_cast<int>(Vpp / 10));
    SetPin(ActiveLayout->p33, 0);
    if (phase != PhaseUnchecked && ShowSecured192()) {
        PowerDown192();
        return false;
    }
    return true;
}

// ExpectedValue written in `writeMode` and read back in `readMode` on every
// gang socket; up to 20 attempts. A blank cell gets no pulse.
int ProgramCell192(uint32_t writeMode, uint32_t readMode) {
    if (ExpectedValue == 0xFF) return 1;
    for (int attempt = 0; attempt < kProgramAttempts192; ++attempt) {
        SetControl(writeMode);
        WritePulse192(ExpectedValue);
        SetControl(readMode);
        bool all = true;
        for (uint32_t s = 0; s <= LastSocketIndex && all; ++s)
            all = (ReadCodeByte192(~(1u << s) & 0xFF) & 0xFF) == (ExpectedValue & 0xFF);
        if (all) return 1;
    }
    return -1;
}

void ErasePulse192(uint32_t mode) {
    SetControl(mode);
    PulsePinTimed(ActiveLayout->ale, 2, static_cast<uint32_t>(EraseDuration192));
}

void ReadCell192() { ReadCodeByte192(~(1u << CurrentSocket) & 0xFF); }
int ProgramByte192() { return ProgramCell192(Mode192Write, Mode192ReadBack); }

const Row8051 kRow192{PowerUp192, PowerDown192, ReadCell192, kNoLines, kNoLines, ProgramByte192,
                      nullptr,    false,        Mode192Read};

void ShowStatusBytes192() {
    StatusByte192 = Signature192[4];
    BootVector192 = Signature192[5];
    ShowMessageLine(" Status Byte      : %02Xh", StatusByte192);
    ShowMessageLine(" Boot Vector Byte : %02Xh", BootVector192);
}

OptionDialogLauncher g_launcher = nullptr;

} // namespace

// ---- entries ------------------------------------------------------------------------

int Alg192Identify() {
    if (!PowerUp192(PhaseUnchecked)) return -1;
    SetControl(Mode192Signature);
    for (int i = 0; i < 3; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        DelayUsSlot(100);
        Signature192[i] = static_cast<int>(ReadCodeByte192(0xFE) & 0xFF);
    }
    SetControl(Mode192ReadSpecial);
    for (int i = 0; i < 3; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        DelayUsSlot(100);
        Signature192[3 + i] = static_cast<int>(ReadCodeByte192(0xFE) & 0xFF);
    }
    PowerDown192();
    ChipMakerId = static_cast<uint32_t>(Signature192[0]);
    ChipDeviceId = static_cast<uint32_t>(Signature192[1]);
    return 1;
}

int Alg192Read(int mode) {
    const int r = ReadRange(kRow192, mode);
    if (r == 1 && mode == 2) ShowStatusBytes192();
    return r;
}

int Alg192Program() { return ProgramRange(kRow192); }

int Alg192Erase() {
    if (!PowerUp192(PhaseProgram)) return -1;
    ExpectedValue = 0;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        DriveAddress(ChipAddress, a == DeviceStart);
        r = ProgramCell192(Mode192Write, Mode192ReadBack);
    }
    if (r == 1) {
        ShowMessageLine(" Program all ok!");
        ClearProgress();
        SetControl(Mode192EraseVerify);
        // Each address is read on every gang socket until it reads FFh,
        // with one more erase pulse each time it does not.
        int pulses = 0;
        for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
            ChipAddress = static_cast<uint32_t>(a);
            DriveAddress(ChipAddress, a == DeviceStart);
            for (;;) {
                bool blank = true;
                for (uint32_t s = 0; s <= LastSocketIndex && blank; ++s)
                    blank = (ReadCodeByte192(~(1u << s) & 0xFF) & 0xFF) == 0xFF;
                if (blank) break;
                if (pulses > kEraseBound192) {
                    r = -1;
                    break;
                }
                ErasePulse192(Mode192EraseArray);
                SetControl(Mode192EraseVerify);
                ++pulses;
            }
        }
    }
    PowerDown192();
    return r;
}

int Alg192Secure() {
    if (!PowerUp192(PhaseUnchecked)) return -1;
    const int level = std::clamp(SecurityLevel192, 0, 2);
    SetControl(Mode192WriteSecurity);
    for (int i = 0; i <= level; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        WritePulse192(0);
    }
    DriveLowAddress(0);
    SetControl(Mode192ReadSpecial);
    ReadCodeByte192(0xFE);
    PowerDown192();
    return (ReadValue & 0x0E) == kSecurityBits192[level] ? 1 : -1;
}

int Alg192Options() {
    if (g_launcher != nullptr) g_launcher();
    return OptionResult89C51Rx;
}

int ReadStatusBytes192() {
    Alg192Identify();
    ShowStatusBytes192();
    return 1;
}

int ProgramStatusBytes192() {
    if (!PowerUp192(PhaseSpecial)) return -1;
    ErasePulse192(Mode192EraseSpecial);
    const int values[2] = {StatusByte192 & 0xFF, BootVector192 & 0xFF};
    int r = 1;
    for (uint32_t i = 0; i < 2 && r == 1; ++i) {
        r = -1;
        for (int attempt = 0; attempt < kProgramAttempts192 && r != 1; ++attempt) {
            DriveLowAddress(i);
            SetControl(Mode192WriteSpecial);
            WritePulse192(static_cast<uint32_t>(values[i]));
            DriveLowAddress(i + 1);
            SetControl(Mode192ReadSpecial);
            if ((ReadCodeByte192(0xFE) & 0xFF) == static_cast<uint32_t>(values[i])) r = 1;
        }
    }
    PowerDown192();
    return r;
}

int InitializeDevice192() {
    if (!PowerUp192(PhaseUnchecked)) return -1;
    ErasePulse192(Mode192Initialize);
    PowerDown192();
    return 1;
}

void InstallRx51DialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

// ---- installation -------------------------------------------------------------------

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 192,
     .Identify = Alg192Identify,
     .Read = Alg192Read,
     .Program = Alg192Program,
     .Erase = Alg192Erase,
     .Secure = Alg192Secure,
     .Options = Alg192Options,
     .VariantCount = Variant192Count},
};

void InstallRx51Rows() { InstallRows(kAlgorithmRows); }

void ResetRx51State() {
    SecurityLevel192 = 2;
    StatusByte192 = 0;
    BootVector192 = 0;
    for (int& b : Signature192) b = 0xFF;
    Signature192[3] = 0;
    EraseDuration192 = kEraseDurations192[0];
    OptionResult89C51Rx = 1;
}
