// Zilog Z8 OTP rows. The cell routines (write cycle, read cycle, program
// with retry and a growing over-program pulse) are shared; a row is its pin
// layout by package pin count, its power-up and its option routines.

#include "mcu/Zilog.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowHooks.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"

// ---- option choices and the dialog exchange ---------------------------------------------

namespace {

uint32_t g_states160[3], g_states161[4], g_states163[3], g_states164[2], g_states165[2];
OptionDialogLauncher g_launcher = nullptr;

const char* const kNames160[] = {"RC Oscillator", "Autolatch Disable", "WDT Enable", nullptr};
const char* const kNames161[3][5] = {{"Low Noise", "Autolatch Disable", "WDT Enable", nullptr},
                                     {"Low Noise", nullptr},
                                     {"Low Noise", "Autolatch Disable", "WDT Enable", "RC osc Select", nullptr}};
const char* const kNames162[] = {"RAM Protect",           "RC Oscillator",           "Autolatches Disable",
                                 "WDT Permanently Enable", "No Osc Feedback Resistor", nullptr};
const char* const kNames163[] = {"RAM Protect", "EPROM Size", nullptr};
const char* const kNames164[] = {"RAM Protect", "RC Oscillator", nullptr};
const char* const kNames165[] = {"RAM Protect", "4K/8K EPROM Size", nullptr};
const char* const kNames166[] = {"RAM Protect",           "XTAL OSC Option",   "Autolatches Disable",
                                 "WDT Permanently Enable", "Low Frequency OSC", "HVD Kill Bit", nullptr};
const char* const kNoNames[] = {nullptr};

int Launch(uint32_t entry, uint32_t* states, const char* const* names) {
    ZilogOptionExchange = {entry, states, names};
    if (g_launcher != nullptr) g_launcher();
    return 1;
}

} // namespace

uint32_t ZilogOptionByte162 = 0xFF;
uint32_t ZilogOptionByte166 = 0xFF;
uint32_t ZilogOptionBits162[8];
uint32_t ZilogOptionBits166[8];
ZilogOptionExchangeData ZilogOptionExchange;

uint32_t* ZilogOptionStates(uint32_t row) {
    switch (row) {
    case 160: return g_states160;
    case 161: return g_states161;
    case 162: return ZilogOptionBits162 + 1;
    case 163: return g_states163;
    case 164: return g_states164;
    case 165: return g_states165;
    case 166: return ZilogOptionBits166 + 1;
    default: return nullptr;
    }
}

void ResetZilogOptions() {
    std::fill(std::begin(g_states160), std::end(g_states160), 0u);
    std::fill(std::begin(g_states161), std::end(g_states161), 0u);
    std::fill(std::begin(g_states163), std::end(g_states163), 0u);
    std::fill(std::begin(g_states164), std::end(g_states164), 0u);
    std::fill(std::begin(g_states165), std::end(g_states165), 0u);
    ZilogOptionByte162 = ZilogOptionByte166 = 0xFF;
    std::fill(std::begin(ZilogOptionBits162), std::end(ZilogOptionBits162), 1u);
    std::fill(std::begin(ZilogOptionBits166), std::end(ZilogOptionBits166), 1u);
}

const char* ZilogStatusText(uint32_t entry, uint32_t index, uint32_t state) {
    if (entry == 6 && index == 1) {
        static const char* const kSizes[4] = {"32K", "16K", "8K ", "4K "};
        return kSizes[state & 3];
    }
    const bool byteRow = entry == 3 || entry == 5;
    return (state == 0) == byteRow ? "ON " : "OFF";
}

void ZilogToggleOption(uint32_t index) {
    uint32_t* s = ZilogOptionExchange.States;
    if (s == nullptr) return;
    if (ZilogOptionExchange.Entry == 6 && index == 1) {
        s[index] = s[index] + 1 >= 4 ? 0 : s[index] + 1;
    } else {
        s[index] = ~s[index] & 1;
    }
}

void InstallZilogDialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg160Options() { return Launch(0, g_states160, kNames160); }
int Alg161Options() { return Launch(1, g_states161, DeviceVariant <= 2 ? kNames161[DeviceVariant] : kNoNames); }
int Alg165Options() { return Launch(2, g_states165, kNames165); }
int Alg162Options() { return Launch(3, ZilogOptionStates(162), kNames162); }
int Alg164Options() { return Launch(4, g_states164, kNames164); }
int Alg166Options() { return Launch(5, ZilogOptionStates(166), kNames166); }
int Alg163Options() { return Launch(6, g_states163, kNames163); }

// ---- shared cell routines ---------------------------------------------------------------

namespace {

// The pins the cell routines use; each power-up sets them and defines the
// data group.
struct CellPins {
    int ProgramStrobe = 0;
    int ReadStrobe = 0;
    int DataGroup = 1;
};
CellPins g_cell;

void WriteCycle(uint32_t width) {
    WritePinGroup(g_cell.DataGroup, 0, 7, ExpectedValue);
    PulsePinTimed(g_cell.ProgramStrobe, 2, width);
    FloatPinGroup(g_cell.DataGroup, 0, 7);
}

void ReadCycle() {
    SetPin(g_cell.ReadStrobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(g_cell.DataGroup, 0, 7));
    SetPin(g_cell.ReadStrobe, 1);
}

// Pulses of PulseWidth until the cell verifies under mask (at most Retry - 1),
// then one over-program pulse of n x OverPulseWidth. A blank value needs none.
int ProgramWithRetry(uint32_t mask) {
    if (ExpectedValue == 0xFF) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        WriteCycle(PulseWidth);
        ReadCycle();
        if ((ReadValue & mask) == (ExpectedValue & mask)) {
            WriteCycle(n * OverPulseWidth);
            return 1;
        }
    }
    return -1;
}

uint32_t PackagePins() { return PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0; }

// ---- row 162 ------------------------------------------------------------------------------

struct Layout12 {
    uint32_t Pins;
    int A[12];
    int D[8];
    int Mode, Read, Epm, Vpp, Strobe;
};
constexpr Layout12 kLayouts162[] = {
    {28, {29, 30, 31, 33, 14, 15, 16, 17, 24, 25, 27, 26}, {34, 35, 36, 37, 38, 11, 12, 13}, 20, 21, 22, 23, 28},
    {40, {30, 31, 34, 38, 9, 10, 11, 14, 23, 26, 28, 27}, {39, 40, 41, 42, 43, 6, 7, 8}, 19, 20, 21, 22, 29},
    {44, {42, 43, 46, 7, 19, 20, 21, 24, 34, 38, 40, 39}, {8, 9, 10, 11, 12, 16, 17, 18}, 30, 31, 32, 33, 41},
};

template <typename Layout, size_t N>
const Layout* LayoutFor(const Layout (&table)[N], uint32_t pins) {
    for (const Layout& l : table) {
        if (l.Pins == pins) return &l;
    }
    return nullptr;
}
const Layout12* L162 = &kLayouts162[0];

uint32_t PhaseSupply(int mode) { return mode == 1 ? Vccp / 10 : ReadVccInUse; }

void DefineLayoutGroups(const Layout12& l) {
    const int* a = l.A;
    const int* d = l.D;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], 0);
    DefinePinGroup("", 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    g_cell = {l.Strobe, l.Read, 1};
}

// False (nothing powered) for a package outside the layouts.
bool ZilogPowerUp162(int mode, uint32_t lines) {
    L162 = LayoutFor(kLayouts162, PackagePins());
    if (L162 == nullptr) return false;
    DefineLayoutGroups(*L162);
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(0, 0, 11, lines);
    SetPin(L162->Mode, 0);
    SetPin(L162->Read, 1);
    SetPin(L162->Strobe, 1);
    SetDevicePower(1, 50);
    DelayMsSlot(50);
    ApplyVppToPin(L162->Epm, 1, static_cast<int>(Vpp / 10));
    DelayShortUsSlot(10);
    ApplyVppToPin(L162->Vpp, 1, static_cast<int>(Vpp / 10));
    SetDacVoltage(3, static_cast<int>(SupplyVoltage));
    SetDacVoltage(4, static_cast<int>(SupplyVoltage));
    if (mode != 1) ApplyVppToPin(L162->Vpp, 1, 50);
    DelayShortUsSlot(100);
    return true;
}

void ZilogPowerDown162() {
    ApplyVppToPin(L162->Vpp, 0, 50);
    ApplyVppToPin(L162->Epm, 0, 50);
    DelayShortUsSlot(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

// A0-A7 at every cell; the high lines at each 256-byte boundary and at the
// first cell, so a range starting inside a block is addressed right.
void DriveAddress12(uint32_t address, bool first) {
    if (first || (address & 0xFF) == 0) WritePinGroup(0, 8, 11, address >> 8);
    WritePinGroup(0, 0, 7, address & 0xFF);
}

void ZilogReadOptionByte162() {
    if (!ZilogPowerUp162(2, 3)) return;
    WritePinGroup(0, 0, 11, 0x3F);
    ReadCycle();
    ZilogOptionByte162 = ReadValue & 0xFF;
    for (uint32_t i = 0; i < 8; ++i) ZilogOptionBits162[i] = (ZilogOptionByte162 >> i) & 1;
    ZilogPowerDown162();
}

int ZilogProgramOptionByte162() {
    ZilogOptionByte162 = 0;
    for (uint32_t i = 0; i < 8; ++i) ZilogOptionByte162 |= (ZilogOptionBits162[i] & 1) << i;
    if (!ZilogPowerUp162(1, 3)) return -1;
    ExpectedValue = ZilogOptionByte162 | 0xC1;
    WritePinGroup(0, 0, 11, 0x3F);
    const int r = ProgramWithRetry(0x3E);
    ZilogPowerDown162();
    return r;
}

// The array loops of the address-line rows.
int ReadLines(int mode, void (*drive)(uint32_t, bool)) {
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        drive(ChipAddress, ChipAddress == DeviceStart);
        ReadCycle();
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (BufferIndex >= 0x10000 && mode != 0) {
            r = AdvanceToNextBank();
            if (r == -1) break;
        }
    }
    return r;
}

int ProgramLines(uint32_t mask, void (*drive)(uint32_t, bool)) {
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        drive(ChipAddress, ChipAddress == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        r = ProgramWithRetry(mask);
        if (r == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() == -1) {
            r = -1;
            break;
        }
    }
    return r;
}

// ---- rows 163 and 165: 15 address lines, option pulses -----------------------------------

struct Layout15 {
    uint32_t Pins;
    int A[15];
    int D[8];
    int Vpp, Hv2, Mode, Read, Aux1, Strobe, Aux2;
};
constexpr Layout15 kLayouts163[] = {
    {40, {17, 18, 19, 20, 21, 22, 23, 24, 35, 36, 37, 38, 39, 40, 41}, {25, 26, 27, 28, 29, 30, 31, 32}, 34, 16, 9,
     43, 10, 42, 7},
    {44, {16, 17, 18, 20, 21, 22, 23, 24, 36, 37, 38, 39, 40, 42, 43}, {25, 26, 27, 28, 29, 31, 32, 33}, 35, 15, 7,
     45, 9, 44, 5},
};
const Layout15* L15 = &kLayouts163[0]; // row 165: always the 40-pin column

constexpr uint32_t kOptionPulseUs = 150000;

void DriveAddress15(uint32_t address, bool first) {
    if (first || (address & 0xFF) == 0) WritePinGroup(0, 8, 14, address >> 8);
    WritePinGroup(0, 0, 7, address & 0xFF);
}

// Supply A onto (1) or off (0) each pin, in the order given.
void SupplyA(std::initializer_list<int> pins, int state) {
    for (int p : pins) SetSupplyPinA(p, state);
}

void PowerUp15(int mode) {
    const Layout15& l = *L15;
    const int* a = l.A;
    const int* d = l.D;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
                   a[14], 0);
    DefinePinGroup("", 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    g_cell = {l.Strobe, l.Read, 1};
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(static_cast<int>(Vpp / 10), static_cast<int>(Vpp / 10), 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(l.Mode, 1);
    SetPin(l.Read, 1);
    SetPin(l.Strobe, 1);
    SetPin(l.Aux2, 0);
    SetPin(l.Aux1, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    if (mode != 1) {
        SetPin(l.Vpp, 1);
        SetPin(l.Mode, 0);
    }
}

void ZilogPowerUp165(int mode) {
    L15 = &kLayouts163[0];
    PowerUp15(mode);
}

// False (nothing powered) for a package outside the layouts.
bool ZilogPowerUp163(int mode) {
    L15 = LayoutFor(kLayouts163, PackagePins());
    if (L15 == nullptr) return false;
    PowerUp15(mode);
    return true;
}

void ZilogPowerDownPulsed() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void OptionPulse() { PulsePinTimed(g_cell.ProgramStrobe, 2, kOptionPulseUs); }

// One EPROM-size pulse at `address`: read pin and read strobe at high voltage.
void SizePulse15(uint32_t address) {
    const Layout15& l = *L15;
    WritePinGroup(0, 0, 14, address);
    SupplyA({l.Hv2, l.Read}, 1);
    OptionPulse();
    SupplyA({l.Read, l.Hv2}, 0);
}

// Size index bit 0 burns at 3, bit 1 at 0Bh ("32K" none, "4K " both).
void ZilogProgramOptions163() {
    const uint32_t* states = ZilogOptionStates(163);
    if (!ZilogPowerUp163(1)) return;
    const Layout15& l = *L15;
    SupplyA({l.Vpp, l.Mode}, 1);
    if (states[0] == 1) OptionPulse();
    if ((states[1] & 1) != 0) SizePulse15(3);
    if ((states[1] & 2) != 0) SizePulse15(0x0B);
    SupplyA({l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
}

void ZilogProgramOptions165() {
    const uint32_t* states = ZilogOptionStates(165);
    ZilogPowerUp165(1);
    const Layout15& l = *L15;
    SupplyA({l.Vpp, l.Mode}, 1);
    SetPin(l.Hv2, 0);
    if (states[0] == 1) OptionPulse();
    if ((states[1] & 1) != 0) SizePulse15(3);
    SupplyA({l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
}

} // namespace

int Alg162Read(int mode) {
    if (!ZilogPowerUp162(mode, 4)) return -1;
    const int r = ReadLines(mode, DriveAddress12);
    const bool complete = r == 1;
    ZilogPowerDown162();
    if (complete && mode == 2) ZilogReadOptionByte162();
    return r;
}

int Alg162Program() {
    if (!ZilogPowerUp162(1, 0)) return -1;
    const int r = ProgramLines(0xFF, DriveAddress12);
    ZilogPowerDown162();
    // A failed option-byte write is the run's failure, not a silent success.
    return r == 1 ? ZilogProgramOptionByte162() : r;
}

int Alg162Secure() {
    if (!ZilogPowerUp162(1, 3)) return -1;
    ExpectedValue = 0xFE;
    WritePinGroup(0, 0, 7, 0x3F);
    const int r = ProgramWithRetry(0x01);
    ZilogPowerDown162();
    return r;
}

namespace {

// The array loops of rows 163 and 165, powered up: read with the read pin at
// high voltage; program with Vpp (and on row 163 the read pin as well).
int Read15(int mode) {
    SupplyA({L15->Hv2}, 1);
    const int r = ReadLines(mode, DriveAddress15);
    SupplyA({L15->Hv2}, 0);
    ZilogPowerDownPulsed();
    return r;
}

int Program15(std::initializer_list<int> supplied) {
    SupplyA(supplied, 1);
    const int r = ProgramLines(0xFF, DriveAddress15);
    for (auto p = std::rbegin(supplied); p != std::rend(supplied); ++p) SetSupplyPinA(*p, 0);
    ZilogPowerDownPulsed();
    return r;
}

} // namespace

int Alg163Read(int mode) { return ZilogPowerUp163(mode) ? Read15(mode) : -1; }

int Alg163Program() {
    if (!ZilogPowerUp163(1)) return -1;
    const int r = Program15({L15->Vpp, L15->Hv2});
    if (r == 1) ZilogProgramOptions163();
    return r;
}

// The security pulse is not verified: 1.
int Alg163Secure() {
    if (!ZilogPowerUp163(1)) return -1;
    const Layout15& l = *L15;
    SupplyA({l.Vpp, l.Mode}, 1);
    SetPin(l.Aux1, 1);
    WritePinGroup(0, 0, 7, 0);
    SupplyA({l.Hv2}, 1);
    OptionPulse();
    SupplyA({l.Hv2, l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
    return 1;
}

int Alg165Read(int mode) {
    ZilogPowerUp165(mode);
    return Read15(mode);
}

int Alg165Program() {
    ZilogPowerUp165(1);
    const int r = Program15({L15->Vpp});
    if (r == 1) ZilogProgramOptions165();
    return r;
}

// The security pulse is not verified: 1.
int Alg165Secure() {
    ZilogPowerUp165(1);
    const Layout15& l = *L15;
    SupplyA({l.Vpp, l.Mode, l.Hv2}, 1);
    OptionPulse();
    SupplyA({l.Hv2, l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
    return 1;
}

// ---- installation and record checks -----------------------------------------------------

void InstallZilogRows() {
    if (AlgorithmEntry* e = AlgorithmRow(162)) {
        *e = {0, e->InsertionPinAllowance, 0, AlgNoOperation, Alg162Read, Alg162Program, AlgNoOperation, Alg162Secure,
              Alg162Options};
    }
    if (AlgorithmEntry* e = AlgorithmRow(163)) {
        *e = {0, e->InsertionPinAllowance, 0, AlgNoOperation, Alg163Read, Alg163Program, AlgNoOperation, Alg163Secure,
              Alg163Options};
    }
    if (AlgorithmEntry* e = AlgorithmRow(165)) {
        *e = {0, e->InsertionPinAllowance, 0, AlgNoOperation, Alg165Read, Alg165Program, AlgNoOperation, Alg165Secure,
              Alg165Options};
    }
    AddSelectionDefaultsHook(ResetZilogOptions);
    ResetZilogOptions();
    g_launcher = nullptr;
}

std::string ZilogRecordRefusal(uint32_t row, uint32_t variant, uint32_t packagePins) {
    auto in = [packagePins](std::initializer_list<uint32_t> pins) {
        for (uint32_t p : pins) {
            if (p == packagePins) return true;
        }
        return false;
    };
    const std::string pins = std::to_string(packagePins);
    if ((row == 162 || row == 164) && !in({28, 40, 44}))
        return "a " + pins + "-pin package has no pin layout on algorithm " + std::to_string(row);
    if (row == 163 && !in({40, 44})) return "a " + pins + "-pin package has no pin layout on algorithm 163";
    if (row == 166 && !in({18, 28, 40})) return "a " + pins + "-pin package has no pin layout on algorithm 166";
    if (row == 161 && variant > 2) return "variant " + std::to_string(variant) + " past algorithm 161's 3";
    return "";
}
