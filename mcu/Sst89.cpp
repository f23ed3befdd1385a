#include "mcu/Sst89.h"

#include <cstdint>
#include <initializer_list>
#include <string>

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

int ProtectOption = 0;
int SfstOption = 6;
int RemapOption = 0;
const uint8_t SfstStepTable[7] = {0x00, 0x01, 0x03, 0x05, 0x02, 0x04, 0x07};
const uint8_t RemapStepTable[4] = {0x00, 0x01, 0x02, 0x03};

using namespace mcu8051;

namespace {

// 40-pin DIP (pin n on socket pin n + 4) and 44-pin PLCC (n + 2); A14, A15 on
// P3.4, P3.5; the mode group P3.7, P3.6, P2.7, P2.6.
// clang-format off
constexpr Layout8051 kLayout118[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18, 19}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {21, 20, 32, 31}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {21, 20, 33, 32}},
};
// clang-format on
constexpr uint32_t kBlock1 = 0xF000, kBlock1End = 0xFFFE;

OptionDialogLauncher g_launcher = nullptr;

// P2.7 and P2.6 first: P2.7 is also the read strobe, so a new code must not
// pass through code 7 on its way (a read strobe in the middle of it).
void Mode(uint32_t code) {
    WritePinGroup(2, 2, 3, code >> 2);
    WritePinGroup(2, 0, 1, code & 3);
}

uint32_t ReadCodeByte118(uint32_t) {
    SetPin(ActiveLayout->strobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(ActiveLayout->strobe, 1);
    return ReadValue;
}

bool PowerUp118(int mode) {
    const Layout8051* l = LayoutByPinCount(kLayout118);
    if (l == nullptr) return false;
    UseLayout(*l);
    SupplyVoltage = mode == 2 ? ReadVccInUse : Vccp / 10;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int pin : {ActiveLayout->psen, ActiveLayout->ale, ActiveLayout->ea, ActiveLayout->rst})
        SetPin(pin, 1);
    SetPin(ActiveLayout->xtal1, 0);
    if (DeviceVariant == 0) WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    DelayMsSlot(10);
    Mode(0);
    DriveAddress(0x30, true);
    ChipMakerId = ReadCodeByte118(0xFE);
    DriveAddress(0x31, false);
    ChipDeviceId = ReadCodeByte118(0xFE);
    return true;
}

void PowerDown118() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    if (DeviceVariant == 0) WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// One attempt: the 10 us pulse, the ready line within 20 polls of 10 us, a
// read-back on every gang socket.
int ProgramByte118() {
    if ((ExpectedValue & 0xFF) == 0xFF) return 1;
    DriveData(ExpectedValue);
    PulsePinTimed(ActiveLayout->ale, 2, 10);
    if (WaitReady(ActiveLayout->p33, 20, 10) == -1) return -1;
    FloatPinGroup(1, 0, 7);
    return EverySocket([](uint32_t s) {
        ReadCodeByte118(~(1u << s));
        return (ReadValue & 0xFF) == (ExpectedValue & 0xFF);
    }) ? 1 : -1;
}

// The user range, then block 1 (F000h-FFFEh); `cell` handles one byte
// (mode -1 programs). The buffer steps by AddressStep, and a walk that
// takes or stores buffer bytes goes on in the next bank past FFFFh. Block 1
// lies in the buffer as the range does, at its chip addresses: from byte
// F000h x AddressStep + ByteLane on (F000h without a split mode), so a split
// mode keeps to its own lane there too (the row declares the place, so no
// range's bytes meet it).
int Walk118(int mode, int (*cell)(int)) {
    if (!PowerUp118(mode == -1 ? 1 : 2)) return -1;
    Mode(7);
    const bool moves = mode != 0; // a blank check steps by 1 and takes no buffer byte
    int r = 1;
    // `block1`: the cells are block 1's, at the row's place for them.
    auto range = [&](uint32_t from, uint32_t to, bool block1) {
        for (uint32_t a = from; a <= to && r == 1; ++a) {
            ChipAddress = a;
            if (!block1 && (r = StepProgress(a)) != 1) return;
            DriveAddress(a, a == from);
            if (block1) CellAtPlace(a);
            r = cell(mode);
            if (r == 1 && moves && BufferIndex > 0xFFFF) r = AdvanceToNextBank();
        }
    };
    range(static_cast<uint32_t>(DeviceStart), static_cast<uint32_t>(DeviceEnd), false);
    if (r == 1) {
        const uint64_t at = uint64_t{kBlock1} * AddressStep + ByteLane;
        if (!moves) {
            BufferIndex = kBlock1;
        } else if (at > 0xFFFFFFFFu || SelectBank(static_cast<uint32_t>(at), 1) != 1) {
            r = -1;
        } else {
            BufferIndex = static_cast<uint32_t>(at & 0xFFFF);
        }
        if (r == 1) range(kBlock1, kBlock1End, true);
    }
    PowerDown118();
    return r;
}

int ReadCell(int mode) {
    ReadCodeByte118(~(1u << CurrentSocket));
    return ProcessReadByte(mode);
}

int ProgramCell(int) {
    ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
    if (ProgramByte118() != 1) return -1;
    BufferIndex += AddressStep;
    return 1;
}

// The flag steps whose bits are set, by mode code; their results are not used.
void FlagSteps(uint8_t bits, std::initializer_list<uint32_t> codes) {
    ExpectedValue = 0;
    int i = 0;
    for (uint32_t code : codes) {
        if (bits & (1u << i++)) {
            Mode(code);
            ProgramByte118();
        }
    }
}

} // namespace

int Alg118Identify() {
    if (!PowerUp118(2)) return -1;
    Mode(0);
    DriveAddress(0x30, true);
    ChipMakerId = ReadCodeByte118(0xFE);
    DriveAddress(0x31, false);
    ChipDeviceId = ReadCodeByte118(0xFE);
    PowerDown118();
    return 1;
}

int Alg118Read(int mode) { return Walk118(mode, ReadCell); }
int Alg118Program() { return Walk118(-1, ProgramCell); }

int Alg118Erase() {
    BlankCheckAfterErase = 1;
    if (!PowerUp118(1)) return -1;
    Mode(DeviceVariant == 0 ? 0xE : 8);
    PulsePinTimed(ActiveLayout->ale, 2, 10);
    const int r = WaitReady(ActiveLayout->p33, 10000, 100);
    PowerDown118();
    return r;
}

int Alg118Secure() {
    if (DeviceVariant >= Variant118Count) return -1;
    if (!PowerUp118(1)) return -1;
    int r = 1;
    if (DeviceVariant == 0) {
        Mode(7);
        DriveAddress(0xFFFF, true);
        ExpectedValue = ProtectOption == 0 ? 0x55 : ProtectOption == 1 ? 0xF5 : 0x05;
        r = ProgramByte118();
    } else if (SfstOption >= 0 && SfstOption < 7) {
        FlagSteps(SfstStepTable[SfstOption], {0xF, 0xC, 0xA});
    }
    PowerDown118();
    return r;
}

int ProgramRemapBits118() {
    if (!PowerUp118(1)) return -1;
    if (RemapOption >= 0 && RemapOption < 4) FlagSteps(RemapStepTable[RemapOption], {3, 9});
    PowerDown118();
    return 1;
}

void InstallSst89DialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg118Options() {
    if (g_launcher != nullptr) g_launcher();
    return 1;
}

namespace {
// Only the 40-pin DIP and the 44-pin PLCC have a socket layout.
std::string Sst89PackageCheck(uint32_t row, const RowRecordFacts& r) {
    if (r.PackagePins == 40 || r.PackagePins == 44) return "";
    return "package of " + std::to_string(r.PackagePins) + " pins has no socket layout for algorithm " +
           std::to_string(row);
}

// Block 1 keeps its buffer bytes at its chip addresses whatever Buffer
// Start says, and every walk covers it whatever the range (in a split mode
// in the run's lane, at byte F000h x step + lane on).
std::vector<FixedBufferPlace> Block1Place() {
    return {{.First = kBlock1, .Last = kBlock1End, .Chip = kBlock1, .InLane = true}};
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 118,
     .Identify = Alg118Identify,
     .Read = Alg118Read,
     .Program = Alg118Program,
     .Erase = Alg118Erase,
     .Secure = Alg118Secure,
     .Options = Alg118Options,
     .VariantCount = Variant118Count,
     .RecordCheck = Sst89PackageCheck,
     .FixedPlaces = Block1Place},
};

ROW_FAMILY("Sst89", Mcu, 70, kAlgorithmRows);

void ResetSst89State() {
    ProtectOption = 0;
    SfstOption = 6;
    RemapOption = 0;
}
