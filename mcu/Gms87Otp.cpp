#include "mcu/Gms87Otp.h"

#include <algorithm>
#include <cstring>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

char Gms87CustomerId[Gms87CustomerIdLength + 1] = {};
int Gms87Oscillator = 0;
int Gms87CodeProtect = 0;
int Gms87ProgramResult = 0;

const char* const Gms87OscillatorItems[2] = {"Normal Oscillator", "External RC Oscillator"};
const char* const Gms87CodeProtectItems[2] = {"Allow Code Read Out", "Lock Code Read Out"};

namespace {

// Socket pins by variant: the bus bits 0-7, the pin held low, read-enable,
// latch-select and strobe.
struct Gms87Pins {
    int bus[8];
    int held, readEnable, latch, strobe;
};
constexpr Gms87Pins kGms87Pins[Variant175Count] = {
    {{29, 30, 31, 32, 17, 18, 19, 20}, 22, 23, 24, 25},
    {{31, 32, 33, 34, 15, 16, 17, 18}, 20, 21, 22, 25},
};

uint8_t g_optionBytes[Gms87OptionByteCount] = {};
const Gms87Pins* g_pins = nullptr;
OptionDialogLauncher g_launcher = nullptr;

// Mode 1 and 6 program (the programming supply; long pulses redraw the
// progress every 16 addresses), any other mode reads. A variant without pins
// is refused before any supply is switched.
bool PowerUp175(int mode) {
    if (DeviceVariant >= Variant175Count) {
        RefuseRun(" Variant %u not supported (0 or 1).", DeviceVariant);
        return false;
    }
    BlankValue = 0;
    g_pins = &kGms87Pins[DeviceVariant];
    const int* b = g_pins->bus;
    DefinePinGroup("BUS", 0, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], 0);
    if (mode == 1 || mode == 6) {
        SupplyVoltage = Vccp / 10;
        if (PulseWidth >= 10000) ProgressStep = 16;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(50, 50, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int pin : {g_pins->held, g_pins->readEnable, g_pins->latch, g_pins->strobe})
        SetPin(pin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(2);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(1);
    return true;
}

void PowerDown175() {
    SetDeviceVpp(0, 50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceGround(0);
    ResetProgrammerOutputs();
}

void Strobe() {
    SetPin(g_pins->strobe, 1);
    SetPin(g_pins->strobe, 0);
}

void LoadAddressLow175(uint32_t a) {
    SetPin(g_pins->latch, 1);
    WritePinGroup(0, 0, 7, a & 0xFF);
    Strobe();
    SetPin(g_pins->latch, 0);
}

void LoadAddressHigh175(uint32_t a) {
    WritePinGroup(0, 0, 7, (a >> 8) & 0xFF);
    Strobe();
}

void ProgramPulse175(uint32_t width) {
    WritePinGroup(0, 0, 7, ExpectedValue & 0xFF);
    SetPin(g_pins->latch, 1);
    SetPin(g_pins->readEnable, 1);
    SetPin(g_pins->strobe, 1);
    DelayUsSlot(width);
    SetPin(g_pins->strobe, 0);
    SetPin(g_pins->readEnable, 0);
    SetPin(g_pins->latch, 0);
}

uint32_t ReadByte175() {
    FloatPinGroup(0, 0, 7);
    SetPin(g_pins->readEnable, 1);
    SetPin(g_pins->strobe, 1);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_pins->strobe, 0);
    SetPin(g_pins->readEnable, 0);
    return ReadValue;
}

// At most Retry - 1 pulses, each read back; a byte that took is given the
// over-program pulse the record asks for. Blank bytes (00h) get no pulse.
int ProgramByteWithRetry175() {
    if ((ExpectedValue & 0xFF) == (BlankValue & 0xFF)) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        ProgramPulse175(PulseWidth);
        if (ReadByte175() == (ExpectedValue & 0xFF)) {
            if (OverPulseWidth != 0) ProgramPulse175(PulseMul == 1 ? n * OverPulseWidth : OverPulseWidth);
            return 1;
        }
    }
    return -1;
}

// The high address byte before the first cell (a range may start off a
// 256-byte boundary) and at each boundary, the low byte on every cell.
int Walk175(int (*cell)(int), int mode) {
    int r = 1;
    for (ChipAddress = static_cast<uint32_t>(DeviceStart); ChipAddress <= static_cast<uint32_t>(DeviceEnd);
         ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) return r;
        if ((ChipAddress & 0xFF) == 0 || ChipAddress == static_cast<uint32_t>(DeviceStart))
            LoadAddressHigh175(ChipAddress);
        if ((r = cell(mode)) != 1) return r;
    }
    return r;
}

int ReadCell(int mode) {
    LoadAddressLow175(ChipAddress);
    ReadByte175();
    if (ProcessReadByte(mode) == -1) return -1;
    if (mode != 0 && BufferIndex > 0xFFFF) return AdvanceToNextBank();
    return 1;
}

int ProgramCell(int) {
    ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
    LoadAddressLow175(ChipAddress);
    if (ProgramByteWithRetry175() != 1) return -1;
    BufferIndex += AddressStep;
    if (BufferIndex > 0xFFFF) return AdvanceToNextBank();
    return 1;
}

void BoundedCopy(char* to, const uint8_t* from) {
    size_t n = 0;
    while (n < Gms87CustomerIdLength && from[n] != 0) {
        to[n] = static_cast<char>(from[n]);
        ++n;
    }
    std::memset(to + n, 0, Gms87CustomerIdLength + 1 - n);
}

} // namespace

uint8_t Gms87OptionByte(uint32_t i) { return i < Gms87OptionByteCount ? g_optionBytes[i] : 0; }

void Gms87CustomerIdFromOptionBytes() { BoundedCopy(Gms87CustomerId, g_optionBytes); }

void SetGms87CustomerId(const std::string& text) {
    uint8_t bytes[Gms87CustomerIdLength] = {};
    std::memcpy(bytes, text.data(), std::min<size_t>(text.size(), Gms87CustomerIdLength));
    BoundedCopy(Gms87CustomerId, bytes);
}

int Alg175Read(int mode) {
    if (!PowerUp175(mode)) return -1;
    const int r = Walk175(ReadCell, mode);
    PowerDown175();
    if (mode == 2 && r == 1) ReadGms87OptionBits();
    return r;
}

int Alg175Program() {
    if (!PowerUp175(1)) return -1;
    const int r = Walk175(ProgramCell, 1);
    PowerDown175();
    return r;
}

int ReadGms87OptionBits() {
    if (!PowerUp175(2)) return -1;
    LoadAddressHigh175(Gms87OptionAddress(0));
    for (uint32_t i = 0; i < Gms87OptionByteCount; ++i) {
        LoadAddressLow175(Gms87OptionAddress(i));
        g_optionBytes[i] = static_cast<uint8_t>(ReadByte175());
    }
    PowerDown175();
    Gms87Oscillator = g_optionBytes[10] & 1;
    Gms87CodeProtect = g_optionBytes[10] >> 2 & 1;
    Gms87CustomerIdFromOptionBytes();
    ShowGms87Options();
    return 1;
}

// A byte that took records its read-back; a blank byte is not pulsed and
// records the blank value, so the ID shown next is the one the chip holds.
int ProgramGms87OptionBits() {
    uint8_t bytes[Gms87OptionByteCount] = {};
    for (uint32_t i = 0; i < Gms87CustomerIdLength && Gms87CustomerId[i] != 0; ++i)
        bytes[i] = static_cast<uint8_t>(Gms87CustomerId[i]);
    bytes[10] = static_cast<uint8_t>((Gms87CodeProtect & 1) << 2 | (Gms87Oscillator & 1));
    if (!PowerUp175(1)) return -1;
    std::memcpy(g_optionBytes, bytes, sizeof bytes);
    LoadAddressHigh175(Gms87OptionAddress(0));
    int r = 1;
    for (uint32_t i = 0; i < Gms87OptionByteCount && r == 1; ++i) {
        ChipAddress = Gms87OptionAddress(i);
        LoadAddressLow175(ChipAddress);
        ExpectedValue = bytes[i];
        r = ProgramByteWithRetry175();
        if (r == 1 && bytes[i] != (BlankValue & 0xFF)) g_optionBytes[i] = static_cast<uint8_t>(ReadValue);
    }
    PowerDown175();
    return r;
}

void ShowGms87Options() {
    Gms87CustomerIdFromOptionBytes();
    ShowMessageLine("Custmer ID: %s", ChipCharsForLog(Gms87CustomerId, Gms87CustomerIdLength).c_str());
    ShowMessageLine("Oscillator: %s", Gms87OscillatorItems[Gms87Oscillator & 1]);
    ShowMessageLine("Code Protect: %s", Gms87CodeProtectItems[Gms87CodeProtect & 1]);
}

void InstallGms87DialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg175Options() {
    if (g_launcher != nullptr) g_launcher();
    return Gms87ProgramResult;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 175,
     .Read = Alg175Read,
     .Program = Alg175Program,
     .Options = Alg175Options,
     .ConfigFuseWriter = ProgramGms87OptionBits,
     .VariantCount = Variant175Count,
     .VariantTable = "pin table"},
};

ROW_FAMILY("Gms87", Mcu, 90, kAlgorithmRows);

void ResetGms87State() {
    std::memset(g_optionBytes, 0, sizeof g_optionBytes);
    std::memset(Gms87CustomerId, 0, sizeof Gms87CustomerId);
    Gms87Oscillator = Gms87CodeProtect = Gms87ProgramResult = 0;
}
