#include "mcu/W78E5x.h"

#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowHooks.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "mcu/Mcu8051Walks.h"

int SpecialRegisterMovExecute = 0;
int SpecialRegisterEncryption = 0;
int SpecialRegisterOscControl = 0;
const uint32_t SpecialRegisterMasks108[Variant108Count] = {0x02, 0x86, 0x06};
uint32_t SpecialRegisterMask108 = SpecialRegisterMasks108[0];
uint32_t BankBoundary122 = 0x10000;
uint32_t ErasePulseWidth122 = 1500000;
int SpecialRegisterReadResult = 1;

using namespace mcu8051;

namespace {

constexpr uint32_t kSpecialAddress = 0xFFFF;
constexpr uint32_t kMask122 = 0x86;

// 40-pin DIP (pin n on socket pin n + 4) and the 44-pin PLCC on adapter 'R'
// (n + 2); P3.0-P3.3 are row 122's mode-code group.
// clang-format off
constexpr Layout8051 kLayout[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 31, 32}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {14, 15, 16, 17}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 32, 33}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {13, 15, 16, 17}},
};
// clang-format on
// P3.0-P3.2, P3.4, P3.5 of each layout (P3.3, P3.6, P3.7 are in the layout).
struct Port3 {
    uint8_t p30, p31, p32, p34, p35;
};
constexpr Port3 kPort3[2] = {{14, 15, 16, 18, 19}, {13, 15, 16, 18, 19}};

const Port3* P3 = &kPort3[0];
OptionDialogLauncher g_launcher = nullptr;

void UseW78Layout() {
    const int k = AdapterCode == 'R' ? 1 : 0;
    UseLayout(kLayout[k]);
    P3 = &kPort3[k];
}

// Row 108 past its variant table has no register mask: a detail line, and
// nothing is powered.
bool Variant108Known() {
    if (DeviceVariant < Variant108Count) return true;
    RefuseRun(" Device variant %u not supported.", static_cast<unsigned>(DeviceVariant));
    return false;
}

uint32_t ModeSupply(int mode) { return mode == 1 || mode == 5 ? Vccp / 10 : ReadVccInUse; }

// How both rows' power-ups start: layout, the engine's after-step flags, the
// supply of the mode in its range, ground, DACs at 0, every pin floating.
void StartSocket(int range, int mode) {
    UseW78Layout();
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    SupplyVoltage = ModeSupply(mode);
    SetVccRange(range, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
}

// ---- row 108 --------------------------------------------------------------------------

void PowerUp108(int mode) {
    SpecialRegisterMask108 = SpecialRegisterMasks108[DeviceVariant];
    StartSocket(1, mode);
    for (int pin : {P3->p30, P3->p31, P3->p32}) SetPin(pin, 0);
    for (int pin : {ActiveLayout->p36, ActiveLayout->p37, ActiveLayout->rst, ActiveLayout->psen})
        SetPin(pin, 1);
    SetPin(ActiveLayout->xtal1, 0);
    SetPin(ActiveLayout->ale, 0);
    if (GetHardwareKind() == 1) {
        SetPin(ActiveLayout->p33, 0);
    } else {
        SetGroundPin(ActiveLayout->ale, 1);
        SetPin(ActiveLayout->p33, 1);
        SetGroundPin(ActiveLayout->p33, 1);
    }
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(20);
    SetDeviceVpp(1, 50);
    DelayMsSlot(1);
}

void PowerDown108() {
    SetPin(ActiveLayout->p36, 1);
    SetPin(ActiveLayout->p37, 1);
    SetDeviceVpp(0, 50);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

// Programming voltage on EA/VPP through DAC channel 1.
void RaiseVpp(int tenths) {
    SetDacVoltage(1, tenths);
    DelayShortUsSlot(200);
}

uint32_t ReadCodeByte108(int strobe) {
    if (strobe == 1) SetPin(ActiveLayout->p36, 0);
    if (GetHardwareKind() != 1) {
        SetGroundPin(ActiveLayout->p33, 0);
        SetPin(ActiveLayout->p37, 0);
        SetGroundPin(ActiveLayout->p33, 1);
    } else {
        SetPin(ActiveLayout->p33, 1);
        SetPin(ActiveLayout->p37, 0);
        SetPin(ActiveLayout->p33, 0);
    }
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(ActiveLayout->p37, 1);
    if (strobe == 1) SetPin(ActiveLayout->p36, 1);
    return ReadValue;
}

// n program pulses, one read-back: one call is one attempt.
int ProgramByte108(int n) {
    WritePinGroup(1, 0, 7, ExpectedValue & 0xFF);
    for (int i = 0; i < n; ++i)
        PulsePinTimed(ActiveLayout->p36, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
    ReadCodeByte108(0);
    return (ReadValue & 0xFF) == (ExpectedValue & 0xFF) ? 1 : -1;
}

void ErasePulse108() {
    SetPin(ActiveLayout->address[0], 0);
    WritePinGroup(1, 0, 7, 0xFF);
    PulsePinTimed(ActiveLayout->p36, 2, 50000);
    FloatPinGroup(1, 0, 7);
}

void DriveSpecialAddress() {
    WritePinGroup(0, 8, 15, kSpecialAddress >> 8);
    WritePinGroup(0, 0, 7, kSpecialAddress & 0xFF);
}

bool WalkPowerUp108(int phase) {
    PowerUp108(phase);
    if (phase == 1) RaiseVpp(static_cast<int>(Vpp / 10));
    return true;
}
void ReadCell108() { ReadCodeByte108(1); }
int ProgramCell108() { return (ExpectedValue & 0xFF) == 0xFF ? 1 : ProgramByte108(1); }

const Row8051 kRow108{WalkPowerUp108, PowerDown108, ReadCell108, kNoLines, kNoLines, ProgramCell108,
                      nullptr,        false};

// ---- row 122 --------------------------------------------------------------------------

uint32_t ReadCodeByte122() {
    SetPin(P3->p35, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(P3->p35, 1);
    return ReadValue;
}

void PulseProgram122() {
    WritePinGroup(1, 0, 7, ExpectedValue & 0xFF);
    PulsePinTimed(P3->p34, 2, PulseWidth);
}

void ModeCode(uint32_t code) { WritePinGroup(2, 0, 3, code); }

// After a program pulse at the special address: the register read back.
void ReadBackRegister122() {
    FloatPinGroup(1, 0, 7);
    ModeCode(0);
    ReadCodeByte122();
}

void PowerUp122(int mode) {
    BankBoundary122 = DeviceSubVariant == 0 ? 0x10000 : 0x8000;
    ErasePulseWidth122 = DeviceSubVariant == 0 ? 1500000 : 50000;
    StartSocket(0, mode);
    if (AdapterCode == 'R') {
        SetPin(25, 1);
        SetPin(36, 1);
    }
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    for (int pin : {ActiveLayout->ea, ActiveLayout->psen, ActiveLayout->ale})
        SetPin(pin, 0);
    for (int pin :
         {ActiveLayout->p36, ActiveLayout->p37, ActiveLayout->p26, ActiveLayout->strobe, ActiveLayout->rst})
        SetPin(pin, 1);
    DelayMsSlot(300);
    SetPin(ActiveLayout->rst, 0);
    DelayMsSlot(10);
    for (int pin : {ActiveLayout->ea, ActiveLayout->psen, ActiveLayout->ale, ActiveLayout->strobe,
                    ActiveLayout->p26, ActiveLayout->p37, ActiveLayout->p36})
        FloatPinRange(pin, pin);
    SetPin(ActiveLayout->p36, 0);
    SetPin(P3->p34, 1);
    SetPin(P3->p34, 0);
    ModeCode(0xB);
    ChipMakerId = ReadCodeByte122();
    ModeCode(0xC);
    ChipDeviceId = ReadCodeByte122();
    SetPin(P3->p34, 1);
}

void PowerDown122() {
    SetPin(P3->p35, 1);
    SetPin(P3->p34, 1);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ResetProgrammerOutputs();
}

// The address, and P3.6 up from the bank boundary on (it stays up); a range
// that starts above the boundary raises it at its first address.
void Address122(uint32_t a, bool first) {
    DriveAddress(a, first);
    if (a == BankBoundary122 || (first && a > BankBoundary122)) SetPin(ActiveLayout->p36, 1);
}

bool ReadPowerUp122(int phase) {
    PowerUp122(phase);
    if (phase == 2) SetPin(P3->p34, 0);
    return true;
}
void ReadCell122() { ReadCodeByte122(); }
int ProgramCell122() {
    if ((ExpectedValue & 0xFF) != 0xFF) PulseProgram122();
    return 1;
}

// With the upper bank selected by P3.6 the special register answers at FFFFh:
// a 64 KB part's code byte there and the register are one address in the
// programming mode, so the range leaves FFFFh to the register, which Program
// writes from the options after the array (a user's byte there would set the
// lock and encryption bits). The user's byte is kept so that Program can say
// when the part cannot hold it.
bool SpecialRegisterAt122(uint32_t a) { return a == kSpecialAddress && BankBoundary122 <= a; }
int UserByteAtRegister122 = -1;
void KeepUserByte122(uint8_t v) { UserByteAtRegister122 = v; }

const Row8051 kRow122{ReadPowerUp122, PowerDown122,        ReadCell122, kNoLines, kNoLines, ProgramCell122,
                      Address122,     false,               0,           1,        SpecialRegisterAt122,
                      KeepUserByte122};

// ---- the special register ---------------------------------------------------------------

// Mode 2 decodes, mode 0 wants every masked bit blank, mode 3 the options'
// bits; other modes only read.
int CheckSpecialRegister(int mode, uint32_t mask) {
    if (mode == 2) DecodeSpecialRegister(ReadValue, mask);
    if (mode == 0 && (ReadValue & mask) != mask) return -1;
    if (mode == 3 && (ReadValue & mask) != (EncodeSpecialRegister() & mask)) return -1;
    return 1;
}

// The options' image written and read back under the mask.
int CompareProgrammed(uint32_t mask) {
    return (ExpectedValue & mask) == (ReadValue & mask) ? 1 : -1;
}

// The lock bit is bit 0 of the special register; the options share the
// byte (an enabled option is a 0 bit), so only bit 0 of the read-back says
// whether the part locked.
int LockBitResult(uint32_t registerRead) {
    if ((registerRead & 0x01) == 0) return 1;
    ShowMessageLine(" Lock bit not programmed (special register %02Xh).", static_cast<unsigned>(registerRead & 0xFF));
    return -1;
}

// The special register's line for a mode, judged on the byte read.
int JudgeSpecialRegister(int mode, uint32_t mask, uint32_t registerRead) {
    ReadValue = registerRead;
    const int r = CheckSpecialRegister(mode, mask);
    ShowSpecialRegisterResult("Special Registers", mode, r);
    return r;
}

// A locked part gives 00h for every code byte: Read, Blank check and Verify
// end at the secured line, nothing compared and the buffer untouched.
bool RefusedAsLocked(uint32_t registerRead) {
    if ((registerRead & 0x01) != 0) return false;
    ShowMessageLine(" Device secured!");
    ReadRefusedByDevice();
    return true;
}

// The special register as the part shows it, in a power cycle of its own.
uint32_t SpecialRegisterByte108() {
    PowerUp108(2);
    DriveSpecialAddress();
    ReadCodeByte108(1);
    const uint32_t v = ReadValue;
    PowerDown108();
    return v;
}

uint32_t SpecialRegisterByte122() {
    PowerUp122(2);
    SetPin(ActiveLayout->p36, 1);
    DriveSpecialAddress();
    ModeCode(0);
    ReadCodeByte122();
    const uint32_t v = ReadValue;
    PowerDown122();
    return v;
}

} // namespace

uint8_t EncodeSpecialRegister() {
    uint8_t v = 0xFF;
    if (SpecialRegisterMovExecute != 0) v &= static_cast<uint8_t>(~0x02);
    if (SpecialRegisterEncryption != 0) v &= static_cast<uint8_t>(~0x04);
    if (SpecialRegisterOscControl != 0) v &= static_cast<uint8_t>(~0x80);
    return v;
}

void DecodeSpecialRegister(uint32_t value, uint32_t mask) {
    if (mask & 0x02) SpecialRegisterMovExecute = (value & 0x02) == 0 ? 1 : 0;
    if (mask & 0x04) SpecialRegisterEncryption = (value & 0x04) == 0 ? 1 : 0;
    if (mask & 0x80) SpecialRegisterOscControl = (value & 0x80) == 0 ? 1 : 0;
}

void ShowSpecialRegisterResult(const char* name, int mode, int result) {
    static const char* const kWords[] = {"Black check ", "Program ", "Read ", "Verification ", "", "Erase "};
    const char* word = mode >= 0 && mode <= 5 ? kWords[mode] : "";
    ShowMessageLine(" %s %s%s", name, word, result == 1 ? "ok!" : "error!");
}

int Alg108Identify() {
    if (!Variant108Known()) return -1;
    PowerUp108(2);
    SetPin(P3->p30, 1);
    DriveAddress(0, true);
    ChipMakerId = ReadCodeByte108(1);
    DriveAddress(1, false);
    ChipDeviceId = ReadCodeByte108(1);
    SetPin(P3->p30, 0);
    PowerDown108();
    return 1;
}

// The register first: its lock bit decides whether the array is read at
// all; after the array, the register's line for the mode.
int Alg108Read(int mode) {
    if (!Variant108Known()) return -1;
    const uint32_t reg = SpecialRegisterByte108();
    if (RefusedAsLocked(reg)) return -1;
    const int r = ReadRange(kRow108, mode);
    return r == 1 ? JudgeSpecialRegister(mode, SpecialRegisterMask108, reg) : r;
}

int Alg108Program() {
    if (!Variant108Known()) return -1;
    const int r = ProgramRange(kRow108);
    return r == 1 ? ProgramSpecialRegister108() : r;
}

int Alg108Erase() {
    if (!Variant108Known()) return -1;
    PowerUp108(5);
    RaiseVpp(145);
    SetPin(P3->p30, 1);
    int pulses = 0;
    for (uint32_t a = 0; a < DeviceSize && pulses < 10; ++a) {
        ChipAddress = a;
        DriveAddress(a, a == 0);
        ReadCodeByte108(0);
        if (a == 0) ErasePulse108();
        if ((ReadValue & 0xFF) != 0xFF) {
            ErasePulse108();
            ++pulses;
        }
    }
    PowerDown108();
    return pulses >= 10 ? -1 : 1;
}

int Alg108Secure() {
    if (!Variant108Known()) return -1;
    PowerUp108(1);
    RaiseVpp(static_cast<int>(Vpp / 10));
    DriveSpecialAddress();
    ExpectedValue = 0xFE;
    ProgramByte108(4); // its whole-byte compare would count the options
    const uint32_t held = ReadValue;
    PowerDown108();
    return LockBitResult(held);
}

int ReadSpecialRegister108(int mode) {
    if (!Variant108Known()) return -1;
    return JudgeSpecialRegister(mode, SpecialRegisterMask108, SpecialRegisterByte108());
}

// The register is programmed with the options' image itself: a 0 bit is an
// enabled option, so default options leave the register blank (unlocked).
int ProgramSpecialRegister108() {
    if (!Variant108Known()) return -1;
    ExpectedValue = EncodeSpecialRegister();
    PowerUp108(1);
    RaiseVpp(static_cast<int>(Vpp / 10));
    DriveSpecialAddress();
    ProgramByte108(4);
    const int r = CompareProgrammed(SpecialRegisterMask108);
    PowerDown108();
    ShowSpecialRegisterResult("Special Registers", 1, r);
    return r;
}

int Alg122Identify() {
    PowerUp122(2);
    PowerDown122();
    return 1;
}

int Alg122Read(int mode) {
    const uint32_t reg = SpecialRegisterByte122();
    if (RefusedAsLocked(reg)) return -1;
    const int r = ReadRange(kRow122, mode);
    return r == 1 ? JudgeSpecialRegister(mode, kMask122, reg) : r;
}

// A user's byte at FFFFh of a 64 KB part other than FFh and other than what
// the special register holds there after programming cannot be held: it is
// named and Program fails at FFFFh (Verify fails there too).
int Alg122Program() {
    UserByteAtRegister122 = -1;
    int r = ProgramRange(kRow122);
    if (r != 1) return r;
    r = ProgramSpecialRegister122();
    const uint32_t held = ReadValue & 0xFF; // the register as read back
    if (UserByteAtRegister122 >= 0 && UserByteAtRegister122 != 0xFF &&
        static_cast<uint32_t>(UserByteAtRegister122) != held) {
        ShowMessageLine(" Byte %02Xh at FFFFh not programmed: the part holds its special register (%02Xh) there.",
                        static_cast<unsigned>(UserByteAtRegister122), held);
        ChipAddress = kSpecialAddress;
        r = -1;
    }
    return r;
}

int Alg122Erase() {
    PowerUp122(5);
    ModeCode(6);
    SetPin(ActiveLayout->p36, 1);
    PulsePinTimed(P3->p34, 2, ErasePulseWidth122);
    PowerDown122();
    return 1;
}

int Alg122Secure() {
    PowerUp122(1);
    SetPin(ActiveLayout->p36, 1);
    ModeCode(1);
    DriveSpecialAddress();
    ExpectedValue = 0xFE;
    PulseProgram122();
    ReadBackRegister122();
    const uint32_t held = ReadValue;
    PowerDown122();
    return LockBitResult(held);
}

int ReadSpecialRegister122(int mode) { return JudgeSpecialRegister(mode, kMask122, SpecialRegisterByte122()); }

int ProgramSpecialRegister122() {
    ExpectedValue = EncodeSpecialRegister();
    PowerUp122(1);
    SetPin(ActiveLayout->p36, 1);
    ModeCode(1);
    DriveSpecialAddress();
    if ((ExpectedValue & 0xFF) != 0xFF) PulseProgram122();
    ReadBackRegister122();
    const int r = CompareProgrammed(kMask122);
    PowerDown122();
    ShowSpecialRegisterResult("Special Registers", 1, r);
    return r;
}

void InstallW78E5xDialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg108Options() {
    SpecialRegisterReadResult = CurrentAlgorithm == 122 ? ReadSpecialRegister122(2) : ReadSpecialRegister108(2);
    if (SpecialRegisterReadResult == 1) {
        SkipIdCheck = 0;
        if (g_launcher != nullptr) g_launcher();
    }
    return SpecialRegisterReadResult;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 108,
     .Identify = Alg108Identify,
     .Read = Alg108Read,
     .Program = Alg108Program,
     .Erase = Alg108Erase,
     .Secure = Alg108Secure,
     .Options = Alg108Options,
     .VariantCount = Variant108Count},
    {.Row = 122,
     .Identify = Alg122Identify,
     .Read = Alg122Read,
     .Program = Alg122Program,
     .Erase = Alg122Erase,
     .Secure = Alg122Secure,
     .Options = Alg108Options},
};

ROW_FAMILY("W78E5x", Mcu, 60, kAlgorithmRows);

void ResetW78E5xState() {
    SpecialRegisterMovExecute = SpecialRegisterEncryption = SpecialRegisterOscControl = 0;
    SpecialRegisterMask108 = SpecialRegisterMasks108[0];
    BankBoundary122 = 0x10000;
    ErasePulseWidth122 = 1500000;
    SpecialRegisterReadResult = 1;
}
