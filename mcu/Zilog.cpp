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
#include "engine/RowDef.h"

// ---- option choices and the dialog exchange ---------------------------------------------

namespace {

uint32_t g_states160[3], g_states161[4], g_states163[3], g_states164[2], g_states165[2];
OptionDialogLauncher g_launcher = nullptr;

const char* const kNames160[] = {"RC Oscillator", "Autolatch Disable", "WDT Enable", nullptr};
// Row 160 burns "Autolatch Disable" only: the pin conditions that select the
// other two options are not confirmed, so they are not offered.
constexpr const char* kUnconfirmed = "pin conditions not confirmed";
const char* const kRefusals160[] = {kUnconfirmed, nullptr, kUnconfirmed, nullptr};
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

int Launch(uint32_t entry, uint32_t* states, const char* const* names, const char* const* refusals = nullptr) {
    ZilogOptionExchange = {entry, states, names, refusals};
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

const char* ZilogOptionRefusal(uint32_t index) {
    const ZilogOptionExchangeData& x = ZilogOptionExchange;
    if (x.Refusals == nullptr || x.Names == nullptr) return nullptr;
    for (uint32_t i = 0; i <= index; ++i)
        if (x.Names[i] == nullptr) return nullptr;
    return x.Refusals[index];
}

void ZilogToggleOption(uint32_t index) {
    uint32_t* s = ZilogOptionExchange.States;
    if (s == nullptr || ZilogOptionRefusal(index) != nullptr) return;
    if (ZilogOptionExchange.Entry == 6 && index == 1) {
        s[index] = s[index] + 1 >= 4 ? 0 : s[index] + 1;
    } else {
        s[index] = ~s[index] & 1;
    }
}

void InstallZilogDialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg160Options() { return Launch(0, g_states160, kNames160, kRefusals160); }
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

// Power-down of the option-byte rows: Vpp and the EPM pin back to 5.0 V.
void PowerDownEpm(int vppPin, int epmPin) {
    ApplyVppToPin(vppPin, 0, 50);
    ApplyVppToPin(epmPin, 0, 50);
    DelayShortUsSlot(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void ZilogPowerDown162() { PowerDownEpm(L162->Vpp, L162->Epm); }

// The option byte of rows 162 and 166: split into its bit array when read,
// assembled from it for writing.
void StoreOptionByte(uint32_t& byte, uint32_t (&bits)[8]) {
    byte = ReadValue & 0xFF;
    for (uint32_t i = 0; i < 8; ++i) bits[i] = (byte >> i) & 1;
}

void AssembleOptionByte(uint32_t& byte, const uint32_t (&bits)[8]) {
    byte = 0;
    for (uint32_t i = 0; i < 8; ++i) byte |= (bits[i] & 1) << i;
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
    StoreOptionByte(ZilogOptionByte162, ZilogOptionBits162);
    ZilogPowerDown162();
}

int ZilogProgramOptionByte162() {
    AssembleOptionByte(ZilogOptionByte162, ZilogOptionBits162);
    if (!ZilogPowerUp162(1, 3)) return -1;
    ExpectedValue = ZilogOptionByte162 | 0xC1;
    WritePinGroup(0, 0, 11, 0x3F);
    const int r = ProgramWithRetry(0x3E);
    ZilogPowerDown162();
    return r;
}

// The array loops: `drive` sets the address lines before a cell, `next`
// steps an address counter after it (either may be absent).
using DriveFn = void (*)(uint32_t, bool);
using NextFn = void (*)();

int ReadLines(int mode, DriveFn drive, NextFn next = nullptr) {
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        if (drive != nullptr) drive(ChipAddress, ChipAddress == DeviceStart);
        ReadCycle();
        if (next != nullptr) next();
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (BufferIndex >= 0x10000 && mode != 0) {
            r = AdvanceToNextBank();
            if (r == -1) break;
        }
    }
    return r;
}

int ProgramLines(uint32_t mask, DriveFn drive, NextFn next = nullptr) {
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        if (drive != nullptr) drive(ChipAddress, ChipAddress == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        r = ProgramWithRetry(mask);
        if (r == -1) break;
        if (next != nullptr) next();
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

// The supply set-up of the option-pulse rows: DAC channel 1 at Vpp, channel
// 2 at `dac2`, every socket pin floated.
void PulsedRowsSupply(int mode, int dac2) {
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(static_cast<int>(Vpp / 10), dac2, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
}

void PowerUp15(int mode) {
    const Layout15& l = *L15;
    const int* a = l.A;
    const int* d = l.D;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
                   a[14], 0);
    DefinePinGroup("", 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    g_cell = {l.Strobe, l.Read, 1};
    PulsedRowsSupply(mode, static_cast<int>(Vpp / 10));
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

// ---- row 164: row 162's pins, option pulses ------------------------------------------------

namespace {

// False (nothing powered) for a package outside the layouts.
bool ZilogPowerUp164(int mode) {
    L162 = LayoutFor(kLayouts162, PackagePins());
    if (L162 == nullptr) return false;
    const Layout12& l = *L162;
    DefineLayoutGroups(l);
    PulsedRowsSupply(mode, static_cast<int>(Vpp / 10));
    SetPin(l.Mode, 1);
    SetPin(l.Read, 1);
    SetPin(l.Strobe, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetPin(l.Mode, 0);
    return true;
}

// Vpp on, then the mode pin at high voltage: the option-pulse mode.
void ZilogProgramOptions164() {
    const uint32_t* states = ZilogOptionStates(164);
    if (!ZilogPowerUp164(1)) return;
    const Layout12& l = *L162;
    SupplyA({l.Vpp}, 1);
    DelayMsSlot(100);
    SupplyA({l.Mode}, 1);
    if (states[0] == 1) {
        SetPin(l.Read, 0);
        SetPin(l.Epm, 0);
        OptionPulse();
        SetPin(l.Read, 1);
        SetPin(l.Epm, 1);
    }
    if (states[1] == 1) OptionPulse();
    SupplyA({l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
}

// ---- rows 160, 161 and 166: the address counter ---------------------------------------------

struct CounterLayout {
    uint32_t Pins;
    int D[8];
    int Mode, Read, Hv2, Vpp, Clear, Clock, Strobe;
};
// The 18-pin column is also the fixed layout of rows 160 and 161.
constexpr CounterLayout kLayouts166[] = {
    {18, {30, 31, 32, 33, 16, 17, 18, 19}, 22, 23, 24, 25, 26, 27, 28},
    {28, {34, 35, 36, 37, 38, 11, 12, 13}, 20, 21, 22, 23, 29, 30, 31},
    {40, {39, 40, 41, 42, 43, 6, 7, 8}, 19, 20, 21, 22, 30, 31, 34},
};
const CounterLayout* LC = &kLayouts166[0];

void ClockPulse() { PulsePin(LC->Clock, 3); }

// After the counter's last clear: step it to Chip Start, so a range starting
// above 0 reaches its own cells.
void ClockToStart() {
    for (uint32_t a = 0; a < DeviceStart; ++a) ClockPulse();
}

void DefineCounterData(const CounterLayout& l, int group) {
    const int* d = l.D;
    DefinePinGroup("", group, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    g_cell = {l.Strobe, l.Read, group};
}

// Rows 160 and 161: Vpp on pin 25 and the counter cleared, at Chip Start.
void ZilogPowerUp160(int mode, bool row160 = true) {
    LC = &kLayouts166[0];
    const CounterLayout& l = *LC;
    DefineCounterData(l, 1);
    PulsedRowsSupply(mode, 110);
    SetPin(l.Mode, 1);
    SetPin(l.Read, 1);
    SetPin(l.Strobe, 1);
    if (row160) SetPin(l.Clock, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetPin(l.Hv2, 1);
    SetPin(l.Mode, 0);
    DelayMsSlot(1);
    SupplyA({l.Vpp}, 1);
    PulsePin(l.Clear, 3);
}

void ZilogPowerUp161(int mode) { ZilogPowerUp160(mode, false); }

void ZilogPowerDown160() {
    SupplyA({LC->Vpp}, 0);
    DelayShortUsSlot(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

// The option pulses of rows 160 and 161 (150 ms, or 750 ms on row 161).
void PulseFor(uint32_t us) { PulsePinTimed(LC->Strobe, 2, us); }

// The option mode of rows 160 and 161: the mode pin at 11.0 V.
void EnterOptions160() {
    ZilogPowerUp160(1);
    SupplyA({LC->Mode}, 1);
    DelayShortUsSlot(10);
}

void EnterOptions161() {
    ZilogPowerUp161(1);
    SetPin(LC->Mode, 1);
    SetDacVoltage(4, 50);
    DelayMsSlot(1);
    SupplyA({LC->Mode}, 1);
    DelayShortUsSlot(10);
}

void LeaveOptions160() {
    SupplyA({LC->Mode}, 0);
    ZilogPowerDown160();
}

// A pulse with the second high-voltage pin at 11.0 V (`low23`: pin 23 low).
void HighVoltagePulse(uint32_t us, bool low23) {
    SupplyA({LC->Hv2}, 1);
    if (low23) SetPin(LC->Read, 0);
    PulseFor(us);
    if (low23) SetPin(LC->Read, 1);
    SupplyA({LC->Hv2}, 0);
}

// A pulse with `pin` held low for it.
void LowPinPulse(int pin, uint32_t us) {
    SetPin(pin, 0);
    PulseFor(us);
    SetPin(pin, 1);
}

// "Autolatch Disable": pin 24 at 11.0 V and pin 23 low for the pulse. The
// pin conditions that select "RC Oscillator" and "WDT Enable" are not
// confirmed for these parts; Program refuses them before it starts
// (RefuseUnconfirmedOptions160), so no guess is ever burnt.
void ZilogProgramOptions160() {
    const uint32_t* s = ZilogOptionStates(160);
    EnterOptions160();
    if (s[1] == 1) HighVoltagePulse(kOptionPulseUs, true);
    LeaveOptions160();
}

// Options of row 160 whose programming conditions are not confirmed: a line
// for each one switched on, and true when any is.
bool RefuseUnconfirmedOptions160() {
    const uint32_t* s = ZilogOptionStates(160);
    bool refused = false;
    for (const uint32_t i : {0u, 2u}) {
        if (s[i] != 1) continue;
        ShowMessageLine(" Option \"%s\" refused: its pin conditions are not confirmed. Switch it off.",
                        kNames160[i]);
        refused = true;
    }
    return refused;
}

constexpr uint32_t kLongOptionUs = 750000;

void ZilogProgramOptions161() {
    const uint32_t* s = ZilogOptionStates(161);
    EnterOptions161();
    if (s[0] == 1) PulseFor(kLongOptionUs);
    if (DeviceVariant != 1) {
        if (s[1] == 1) LowPinPulse(LC->Read, kLongOptionUs);
        if (s[2] == 1) LowPinPulse(LC->Hv2, kLongOptionUs);
    }
    LeaveOptions160();
}

// Variant 2's own entry: Vpp rises with pin 24 low; the counter stands at 64.
void EnterVariant2() {
    LC = &kLayouts166[0];
    const CounterLayout& l = *LC;
    DefineCounterData(l, 1);
    PulsedRowsSupply(1, 110);
    SetPin(l.Mode, 0);
    SetPin(l.Hv2, 0);
    SetPin(l.Clear, 0);
    SetPin(l.Read, 1);
    SetPin(l.Strobe, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    SupplyA({l.Vpp}, 1);
    SetPin(l.Clear, 1);
    for (int i = 0; i < 64; ++i) ClockPulse();
}

void ZilogPowerDownVariant2() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void ZilogProgramOptions161Variant2() {
    const uint32_t* s = ZilogOptionStates(161);
    EnterVariant2();
    const CounterLayout& l = *LC;
    if (s[0] == 1) {
        SetPin(l.Hv2, 1);
        PulseFor(kOptionPulseUs);
    }
    if (s[1] == 1) {
        SetPin(l.Hv2, 1);
        LowPinPulse(l.Read, kOptionPulseUs);
    }
    if (s[2] == 1) LowPinPulse(l.Hv2, kOptionPulseUs);
    if (s[3] == 1) {
        HighVoltagePulse(kOptionPulseUs, true);
        SetPin(l.Hv2, 0);
    }
    ZilogPowerDownVariant2();
}

int ZilogSecure161() {
    EnterOptions161();
    HighVoltagePulse(kLongOptionUs, false);
    LeaveOptions160();
    return 1;
}

int ZilogSecure161Variant2() {
    EnterVariant2();
    SetPin(LC->Hv2, 1);
    HighVoltagePulse(kOptionPulseUs, false);
    ZilogPowerDownVariant2();
    return 1;
}

// Row 166: row 162's protocol on the counter. False for a package outside
// the layouts.
bool ZilogPowerUp166(int mode, uint32_t clocks) {
    LC = LayoutFor(kLayouts166, PackagePins());
    if (LC == nullptr) return false;
    const CounterLayout& l = *LC;
    DefineCounterData(l, 0);
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(mode == 1 ? 1 : 0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(l.Read, 1);
    SetPin(l.Mode, 0);
    SetPin(l.Strobe, 1);
    SetPin(l.Clock, 0);
    SetPin(l.Clear, 0);
    SetDevicePower(1, 50);
    DelayMsSlot(50);
    ApplyVppToPin(l.Hv2, 1, static_cast<int>(Vpp / 10));
    PulsePin(l.Clear, 3);
    for (uint32_t i = 0; i < clocks; ++i) ClockPulse();
    ApplyVppToPin(l.Vpp, 1, static_cast<int>(Vpp / 10));
    DelayMsSlot(1);
    SetDacVoltage(3, static_cast<int>(SupplyVoltage));
    SetDacVoltage(4, static_cast<int>(SupplyVoltage));
    if (mode != 1) ApplyVppToPin(l.Vpp, 1, 50);
    PulsePin(l.Clear, 3);
    return true;
}

void ZilogPowerDown166() { PowerDownEpm(LC->Vpp, LC->Hv2); }

void ZilogReadOptionByte166() {
    if (!ZilogPowerUp166(2, 3)) return;
    ReadCycle();
    StoreOptionByte(ZilogOptionByte166, ZilogOptionBits166);
    ZilogPowerDown166();
}

int ZilogProgramOptionByte166() {
    AssembleOptionByte(ZilogOptionByte166, ZilogOptionBits166);
    if (!ZilogPowerUp166(1, 3)) return -1;
    ExpectedValue = ZilogOptionByte166 | 0x81;
    const int r = ProgramWithRetry(0x7E);
    ZilogPowerDown166();
    return r;
}

} // namespace

int Alg160Read(int mode) {
    ZilogPowerUp160(mode);
    ClockToStart();
    const int r = ReadLines(mode, nullptr, ClockPulse);
    ZilogPowerDown160();
    return r;
}

// The options are burnt only after the whole array programmed: a failed
// cell or a user break leaves the irreversible options alone.
int Alg160Program() {
    if (RefuseUnconfirmedOptions160()) return -1;
    ZilogPowerUp160(1);
    ClockToStart();
    const int r = ProgramLines(0xFF, nullptr, ClockPulse);
    ZilogPowerDown160();
    if (r == 1) ZilogProgramOptions160();
    return r;
}

// The security pulse is not verified: 1.
int Alg160Secure() {
    EnterOptions160();
    HighVoltagePulse(kOptionPulseUs, false);
    LeaveOptions160();
    return 1;
}

int Alg161Read(int mode) {
    if (DeviceVariant > 2) return -1;
    ZilogPowerUp161(mode);
    ClockToStart();
    const int r = ReadLines(mode, nullptr, ClockPulse);
    ZilogPowerDown160();
    return r;
}

int Alg161Program() {
    if (DeviceVariant > 2) return -1;
    ZilogPowerUp161(1);
    ClockToStart();
    const int r = ProgramLines(0xFF, nullptr, ClockPulse);
    ZilogPowerDown160();
    if (r != 1) return r;
    if (DeviceVariant == 2) {
        ZilogProgramOptions161Variant2();
    } else {
        ZilogProgramOptions161();
    }
    return r;
}

int Alg161Secure() {
    if (DeviceVariant > 2) return -1;
    return DeviceVariant == 2 ? ZilogSecure161Variant2() : ZilogSecure161();
}

int Alg164Read(int mode) {
    if (!ZilogPowerUp164(mode)) return -1;
    SupplyA({L162->Epm}, 1);
    DelayMsSlot(100);
    const int r = ReadLines(mode, DriveAddress12);
    SupplyA({L162->Epm}, 0);
    ZilogPowerDownPulsed();
    return r;
}

int Alg164Program() {
    if (!ZilogPowerUp164(1)) return -1;
    SupplyA({L162->Vpp}, 1);
    DelayMsSlot(100);
    const int r = ProgramLines(0xFF, DriveAddress12);
    SupplyA({L162->Vpp}, 0);
    ZilogPowerDownPulsed();
    if (r == 1) ZilogProgramOptions164();
    return r;
}

// The security pulse is not verified: 1.
int Alg164Secure() {
    if (!ZilogPowerUp164(1)) return -1;
    const Layout12& l = *L162;
    SupplyA({l.Vpp}, 1);
    DelayMsSlot(100);
    SupplyA({l.Mode, l.Epm}, 1);
    OptionPulse();
    SupplyA({l.Epm, l.Mode, l.Vpp}, 0);
    ZilogPowerDownPulsed();
    return 1;
}

int Alg166Read(int mode) {
    if (!ZilogPowerUp166(mode, 0)) return -1;
    ClockToStart();
    const int r = ReadLines(mode, nullptr, ClockPulse);
    ZilogPowerDown166();
    if (r == 1 && mode == 2) ZilogReadOptionByte166();
    return r;
}

// Program's result is the option byte's when the array programmed.
int Alg166Program() {
    if (!ZilogPowerUp166(1, 0)) return -1;
    ClockToStart();
    const int r = ProgramLines(0xFF, nullptr, ClockPulse);
    ZilogPowerDown166();
    return r == 1 ? ZilogProgramOptionByte166() : r;
}

int Alg166Secure() {
    if (!ZilogPowerUp166(1, 3)) return -1;
    ExpectedValue = 0xFE;
    const int r = ProgramWithRetry(0x01);
    ZilogPowerDown166();
    return r;
}

// ---- installation and record checks -----------------------------------------------------

namespace {
std::string PinLayoutCheck(uint32_t row, const RowRecordFacts& r) {
    return ZilogRecordRefusal(row, r.Variant, r.PackagePins);
}
} // namespace

// Every row's options reset at each device selection; its package must have
// a pin layout on the row.
constexpr RowDef ZilogRow(uint32_t row, AlgReadFn read, AlgOperationFn program, AlgOperationFn secure,
                          AlgOperationFn options) {
    return {.Row = row,
            .Read = read,
            .Program = program,
            .Secure = secure,
            .Options = options,
            .SelectionDefaults = ResetZilogOptions,
            .RecordCheck = PinLayoutCheck};
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    ZilogRow(160, Alg160Read, Alg160Program, Alg160Secure, Alg160Options),
    ZilogRow(161, Alg161Read, Alg161Program, Alg161Secure, Alg161Options),
    ZilogRow(162, Alg162Read, Alg162Program, Alg162Secure, Alg162Options),
    ZilogRow(163, Alg163Read, Alg163Program, Alg163Secure, Alg163Options),
    ZilogRow(164, Alg164Read, Alg164Program, Alg164Secure, Alg164Options),
    ZilogRow(165, Alg165Read, Alg165Program, Alg165Secure, Alg165Options),
    ZilogRow(166, Alg166Read, Alg166Program, Alg166Secure, Alg166Options),
};

namespace {

// Every install starts from the default options and no option dialog.
void ZilogAtInstall() {
    ResetZilogOptions();
    g_launcher = nullptr;
}

} // namespace

ROW_FAMILY("Zilog", Mcu, 50, kAlgorithmRows, ZilogAtInstall);

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
