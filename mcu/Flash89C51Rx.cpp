#include "mcu/Flash89C51Rx.h"

#include <algorithm>

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

int SecurityLevel192 = 2;
int StatusByte192 = 0;
int BootVector192 = 0;
int Signature192[6] = {0xFF, 0xFF, 0xFF, 0, 0xFF, 0xFF};
int SecurityLevel188 = 2;
int StatusByte188 = 0;
int BpcByte188 = 0;
int BpswByte188 = 0;
int Signature188[16] = {};
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

// Function codes on the control group.
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
enum Mode188 : uint32_t {
    Mode188Read = 0x0,
    Mode188EraseArray = 0x1,
    Mode188Write = 0x4,
    Mode188ReadBack = 0x6,
    Mode188WriteSpace = 0x7,
    Mode188Signature = 0x8,
    Mode188EraseSpaceByte = 0x9,
    Mode188EraseArrayEnd = 0xC,
    Mode188Initialize = 0xE,
    Mode188Unlock = 0xF,
};

constexpr int kEraseDurations192[Variant192Count] = {500000, 320000};
constexpr uint32_t kEraseDuration188 = 250000;
// Security bits read back (bits 1-3) for levels 0, 1, 2.
constexpr uint32_t kSecurityBits[3] = {0x02, 0x06, 0x0E};
// Signature-space positions of row 188.
enum : int { Space188Bpsw = 1, Space188Bpc = 3, Space188Status = 4, Space188Maker = 6, Space188Device = 7,
             Space188Security = 10 };

// Power-up phases.
enum : int { PhaseProgram = 1, PhaseRead = 2, PhaseUnchecked = 6, PhaseSpecial = 8 };

// What rows 192 and 188 do differently around the same steps.
struct RxRow {
    bool layoutByPackage;   // 40- or 44-pin by package (else 44-pin only)
    int rst;                // RST level in the programming mode
    bool gangSupplyRange;   // the gang programmer's 3.3 V range and 0.3 V less
    bool psenToGround;      // PSEN switched to ground as well as driven low
    int blankCheckAfterErase;
    uint32_t powerDownWaitUs;
    bool setsSkipIdCheck;
    int programAttempts;
    int eraseBound;         // erase verify pulses allowed
    const int* securityBits; // the last Identify's security byte
    const char* securedLines[3];
};

const RxRow kRx192{true, 1, true, true, 0, 200, false, 20, 100, &Signature192[3],
                   {" Device secured!(Lock Bit 1)", " Device secured!(Lock Bits 1,2)",
                    " Device secured!(Lock Bits 1,2,3)"}};
const RxRow kRx188{false, 0, false, false, 1, 50, true, 5, 30, &Signature188[Space188Security],
                   {" Device secured!(Level 2)", " Device secured!(Level 3)", " Device secured!(Level 4)"}};

const RxRow* g_row = &kRx192;

void SetStrobe(uint32_t mask, int level) {
    if (HardwareKind == 3)
        WriteRegister3(mask);
    else
        SetPin(ActiveLayout->strobe, level);
}

uint32_t ReadCodeByte(uint32_t mask) {
    SetStrobe(mask, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetStrobe(0xFF, 1);
    return ReadValue;
}

void DriveLowAddress(uint32_t a) { WritePinGroup(0, 0, 7, a & 0xFF); }

void WritePulse(uint32_t value) {
    DriveData(value);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void PowerDownRx() {
    SetPin(ActiveLayout->p33, 1);
    ApplyVoltageToPin(1, ActiveLayout->ea, 0, 50);
    DelayShortUsSlot(g_row->powerDownWaitUs);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    if (g_row->setsSkipIdCheck) SkipIdCheck = 1;
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// The security bits of the last Identify as the row's " Device secured!"
// line; true when any is set.
bool ShowSecured() {
    const int bits = *g_row->securityBits & 0x0E;
    for (int level = 0; level < 3; ++level) {
        if (bits == static_cast<int>(kSecurityBits[level])) ShowMessageLine("%s", g_row->securedLines[level]);
    }
    return bits != 0;
}

// false before anything is powered for a package of neither 40 nor 44 pins,
// or after power-down for a chip found secured (except in phase 6).
bool PowerUpRx(const RxRow& row, int phase) {
    g_row = &row;
    const Layout8051* layout = row.layoutByPackage ? LayoutByPinCount(kLayout192) : &kLayout192[1];
    if (layout == nullptr) return false;
    UseLayout(*layout);
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = row.blankCheckAfterErase;
    SupplyVoltage = phase == PhaseProgram || phase == 5 || phase == PhaseSpecial ? Vccp / 10 : ReadVccInUse;
    int range = static_cast<int>(SupplyVoltage);
    if (row.gangSupplyRange && HardwareKind == 3) {
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
    if (row.psenToGround) SetGroundPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->p33, 1);
    SetStrobe(0xFF, 1);
    SetPin(ActiveLayout->rst, row.rst);
    SetPin(ActiveLayout->ale, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 1);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, static_cast<int>(Vpp / 10));
    SetPin(ActiveLayout->p33, 0);
    // A secured part gives no code: the walk ends at its line, nothing compared.
    if (phase != PhaseUnchecked && ShowSecured()) {
        PowerDownRx();
        ReadRefusedByDevice();
        return false;
    }
    return true;
}

bool PowerUp192(int phase) {
    EraseDuration192 = kEraseDurations192[DeviceVariant == 0 ? 0 : 1];
    return PowerUpRx(kRx192, phase);
}
bool PowerUp188(int phase) { return PowerUpRx(kRx188, phase); }

// ExpectedValue written in `writeMode` and read back in `readMode` on every
// gang socket, within the row's attempts. A blank cell gets no pulse.
int ProgramCell(uint32_t writeMode, uint32_t readMode) {
    if (ExpectedValue == 0xFF) return 1;
    for (int attempt = 0; attempt < g_row->programAttempts; ++attempt) {
        SetControl(writeMode);
        WritePulse(ExpectedValue);
        SetControl(readMode);
        if (EverySocket([](uint32_t s) { return (ReadCodeByte(NotSocket(s)) & 0xFF) == (ExpectedValue & 0xFF); }))
            return 1;
    }
    return -1;
}

void ErasePulse(uint32_t mode, uint32_t widthUs) {
    SetControl(mode);
    PulsePinTimed(ActiveLayout->ale, 2, widthUs);
}
void ErasePulse192(uint32_t mode) { ErasePulse(mode, static_cast<uint32_t>(EraseDuration192)); }
void ErasePulse188(uint32_t mode) { ErasePulse(mode, kEraseDuration188); }

// The two unlock cycles that open row 188's chip to writes until power-down.
void Unlock188() {
    SetControl(Mode188Unlock);
    WritePinGroup(0, 0, 15, 0x5555);
    DriveData(0xAA);
    PulsePin(ActiveLayout->ale, 2);
    WritePinGroup(0, 0, 15, 0xAAAA);
    DriveData(0x55);
    PulsePin(ActiveLayout->ale, 2);
    FloatPinGroup(1, 0, 7);
}

void ReadCell() { ReadCodeByte(~(1u << CurrentSocket) & 0xFF); }
int ProgramByte192() { return ProgramCell(Mode192Write, Mode192ReadBack); }
int ProgramByte188() { return ProgramCell(Mode188Write, Mode188ReadBack); }
bool PowerUpProgram188(int phase) {
    if (!PowerUp188(phase)) return false;
    if (phase == PhaseProgram) Unlock188();
    return true;
}

const Row8051 kRow192{PowerUp192, PowerDownRx, ReadCell, kNoLines, kNoLines, ProgramByte192,
                      nullptr,    false,       Mode192Read};
const Row8051 kRow188{PowerUpProgram188, PowerDownRx, ReadCell, kNoLines, kNoLines, ProgramByte188,
                      nullptr,           false,       Mode188Read};

void ShowStatusBytes192() {
    StatusByte192 = Signature192[4];
    BootVector192 = Signature192[5];
    ShowMessageLine(" Status Byte      : %02Xh", StatusByte192);
    ShowMessageLine(" Boot Vector Byte : %02Xh", BootVector192);
}

void ShowStatusBytes188() {
    BpswByte188 = Signature188[Space188Bpsw];
    BpcByte188 = Signature188[Space188Bpc];
    StatusByte188 = Signature188[Space188Status];
    ShowMessageLine(" Status Byte : %02Xh", StatusByte188);
    ShowMessageLine(" BPC         : %02X00h", BpcByte188);
    ShowMessageLine(" BPSW        : %02X00h", BpswByte188);
}

// Erase: every byte of the range programmed to 00h (" Program all ok!"),
// then each address read until it reads FFh, with the row's erase pulses
// each time it does not; more pulses than the row's bound fail. `sockets`:
// the gang sockets the verify reads.
int EraseRange(uint32_t writeMode, uint32_t readMode, uint32_t verifyMode, uint32_t sockets,
               void (*erase)()) {
    ExpectedValue = 0;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        DriveAddress(ChipAddress, a == DeviceStart);
        r = ProgramCell(writeMode, readMode);
    }
    if (r != 1) return r;
    ShowMessageLine(" Program all ok!");
    ClearProgress();
    SetControl(verifyMode);
    int pulses = 0;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        DriveAddress(ChipAddress, a == DeviceStart);
        for (;;) {
            bool blank = true;
            for (uint32_t s = 0; s < sockets && blank; ++s)
                blank = (ReadCodeByte(~(1u << s) & 0xFF) & 0xFF) == 0xFF;
            if (blank) break;
            if (pulses > g_row->eraseBound) return -1;
            erase();
            SetControl(verifyMode);
            ++pulses;
        }
    }
    return 1;
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
        Signature192[i] = static_cast<int>(ReadCodeByte(0xFE) & 0xFF);
    }
    SetControl(Mode192ReadSpecial);
    for (int i = 0; i < 3; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        DelayUsSlot(100);
        Signature192[3 + i] = static_cast<int>(ReadCodeByte(0xFE) & 0xFF);
    }
    PowerDownRx();
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
    const int r = EraseRange(Mode192Write, Mode192ReadBack, Mode192EraseVerify, LastSocketIndex + 1,
                             [] { ErasePulse192(Mode192EraseArray); });
    PowerDownRx();
    return r;
}

int Alg192Secure() {
    if (!PowerUp192(PhaseUnchecked)) return -1;
    const int level = std::clamp(SecurityLevel192, 0, 2);
    SetControl(Mode192WriteSecurity);
    for (int i = 0; i <= level; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        WritePulse(0);
    }
    DriveLowAddress(0);
    SetControl(Mode192ReadSpecial);
    ReadCodeByte(0xFE);
    PowerDownRx();
    return (ReadValue & 0x0E) == kSecurityBits[level] ? 1 : -1;
}

int Alg188Identify() {
    if (!PowerUp188(PhaseUnchecked)) return -1;
    SetControl(Mode188Signature);
    for (int i = 0; i < 16; ++i) {
        DriveLowAddress(static_cast<uint32_t>(i));
        DelayUsSlot(100);
        Signature188[i] = static_cast<int>(ReadCodeByte(0xFE) & 0xFF);
    }
    PowerDownRx();
    ChipMakerId = static_cast<uint32_t>(Signature188[Space188Maker]);
    ChipDeviceId = static_cast<uint32_t>(Signature188[Space188Device]);
    return 1;
}

int Alg188Read(int mode) {
    const int r = ReadRange(kRow188, mode);
    if (r == 1 && mode == 2) ShowStatusBytes188();
    return r;
}

int Alg188Program() { return ProgramRange(kRow188); }

// The verify reads socket 0 only.
int Alg188Erase() {
    if (!PowerUp188(PhaseProgram)) return -1;
    Unlock188();
    const int r = EraseRange(Mode188Write, Mode188ReadBack, Mode188ReadBack, 1, [] {
        ErasePulse188(Mode188EraseArray);
        ErasePulse188(Mode188EraseArrayEnd);
    });
    PowerDownRx();
    return r;
}

int Alg188Secure() {
    if (!PowerUp188(PhaseUnchecked)) return -1;
    Unlock188();
    const int level = std::clamp(SecurityLevel188, 0, 2);
    SetControl(Mode188WriteSpace);
    for (int i = 0; i <= level; ++i) {
        DriveLowAddress(static_cast<uint32_t>(Space188Security + 2 * i));
        WritePulse(0);
    }
    DriveLowAddress(Space188Security);
    SetControl(Mode188Signature);
    ReadCodeByte(0xFE);
    PowerDownRx();
    return (ReadValue & 0x0E) == kSecurityBits[level] ? 1 : -1;
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
        for (int attempt = 0; attempt < kRx192.programAttempts && r != 1; ++attempt) {
            DriveLowAddress(i);
            SetControl(Mode192WriteSpecial);
            WritePulse(static_cast<uint32_t>(values[i]));
            DriveLowAddress(i + 1);
            SetControl(Mode192ReadSpecial);
            if ((ReadCodeByte(0xFE) & 0xFF) == static_cast<uint32_t>(values[i])) r = 1;
        }
    }
    PowerDownRx();
    return r;
}

int InitializeDevice192() {
    if (!PowerUp192(PhaseUnchecked)) return -1;
    ErasePulse192(Mode192Initialize);
    PowerDownRx();
    return 1;
}

int Alg188Options() {
    if (g_launcher != nullptr) g_launcher();
    return OptionResult89C51Rx;
}

int ReadStatusBytes188() {
    Alg188Identify();
    ShowStatusBytes188();
    return 1;
}

int ProgramStatusBytes188() {
    if (!PowerUp188(PhaseSpecial)) return -1;
    Unlock188();
    for (uint32_t i = 0; i <= 4; ++i) {
        DriveLowAddress(i);
        ErasePulse188(Mode188EraseSpaceByte);
    }
    const std::pair<int, int> bytes[3] = {
        {Space188Bpsw, BpswByte188}, {Space188Bpc, BpcByte188}, {Space188Status, StatusByte188}};
    int r = 1;
    for (const auto& [at, value] : bytes) {
        DriveLowAddress(static_cast<uint32_t>(at));
        ExpectedValue = static_cast<uint32_t>(value & 0xFF);
        r = ProgramCell(Mode188WriteSpace, Mode188Signature);
        if (r != 1) break;
    }
    PowerDownRx();
    return r;
}

int InitializeDevice188() {
    if (!PowerUp188(PhaseUnchecked)) return -1;
    Unlock188();
    ErasePulse188(Mode188Initialize);
    PowerDownRx();
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
    {.Row = 188,
     .Identify = Alg188Identify,
     .Read = Alg188Read,
     .Program = Alg188Program,
     .Erase = Alg188Erase,
     .Secure = Alg188Secure,
     .Options = Alg188Options},
};

ROW_FAMILY("Rx51", Mcu, 100, kAlgorithmRows);

void ResetRx51State() {
    SecurityLevel192 = 2;
    StatusByte192 = 0;
    BootVector192 = 0;
    for (int& b : Signature192) b = 0xFF;
    Signature192[3] = 0;
    EraseDuration192 = kEraseDurations192[0];
    SecurityLevel188 = 2;
    StatusByte188 = BpcByte188 = BpswByte188 = 0;
    for (int& b : Signature188) b = 0xFF;
    Signature188[Space188Security] = 0;
    OptionResult89C51Rx = 1;
}
