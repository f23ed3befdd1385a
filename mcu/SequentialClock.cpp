// Microcontrollers reached in strict address order (rows 143, 133, 147): the
// logic image holds the part in its sequential mode and register 2 written 1
// then 0 steps it to the next address; no address is ever sent.

#include <algorithm>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Routing.h"
#include "engine/Services.h"

namespace {

// The memory windows of rows 133 and 147 and the buffer byte clocked through
// each gap instead.
struct SeqWindows {
    uint32_t lowFirst, lowLast, highFirst, highLast;
    uint32_t lowFiller, gapFiller; // buffer indexes
};
constexpr SeqWindows kWindows133{0x700, 0xF00, 0xFF0, 0xFFF, 0x700, 0xFF0};
constexpr SeqWindows kWindows147{0x100, 0xEFF, 0xFF0, 0xFFF, 0x100, 0xFF0};

bool InWindow(const SeqWindows& w, uint32_t a) {
    return (a >= w.lowFirst && a <= w.lowLast) || (a >= w.highFirst && a <= w.highLast);
}
// Below the low window, or between the windows.
bool InGap(const SeqWindows& w, uint32_t a) { return a < w.lowFirst || (a > w.lowLast && a < w.highFirst); }
uint8_t FillerOf(const SeqWindows& w, uint32_t a) {
    return BufferWindow[a < w.lowFirst ? w.lowFiller : w.gapFiller];
}

void ClockAddress() {
    WriteRegister(2, 1);
    WriteRegister(2, 0);
}

// ---- row 143: the compare latch ----

// Socket pin and DAC channel of the high voltage, by variant.
void ModePin143(int& channel, int& pin) {
    channel = DeviceVariant == 0 ? 1 : 2;
    pin = DeviceVariant == 0 ? 17 : 12;
}

void PowerUp143() {
    ProgressStep = 16;
    BlankValue = 0;
    SetVccRange(1, static_cast<int>(ReadVccInUse));
    if (DeviceVariant == 0)
        SetAllDacVoltages(127, 0, 0, 0);
    else
        SetAllDacVoltages(0, 127, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(2, 0);
    WriteRegister(0, 6);
    DelayUsSlot(100);
    WriteRegister(1, 7);
    WriteRegister(1, 3);
    SetDevicePower(1, static_cast<int>(ReadVccInUse));
    DelayMsSlot(10);
    int channel = 0, pin = 0;
    ModePin143(channel, pin);
    ApplyVoltageToPin(channel, pin, 1, 127);
    DelayMsSlot(10);
    WriteRegister(0, 7);
    DelayUsSlot(100);
}

void PowerDown143() {
    WriteRegister(0, 0);
    int channel = 0, pin = 0;
    ModePin143(channel, pin);
    ApplyVoltageToPin(channel, pin, 0, 0);
    DelayUsSlot(100);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(ReadVccInUse));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

// Sends every byte of the range for the latch to compare (0 for a blank
// check); the result is the latch's pass bit.
int ComparePass143(int mode) {
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) return 3;
        WriteRegister(3, mode == 0 ? 0 : BufferWindow[ChipAddress & 0xFFFF]);
        ClockAddress();
        DelayUsSlot(600);
    }
    ReadValue = ReadRegister(1);
    if ((ReadValue & 1) != 0) return 1;
    // The part compares the image itself and gives one bit: a failure (of a
    // program, blank check, verify, read or compare) cannot name the
    // address, so the log (and the compare report) says so and no address
    // line follows.
    constexpr const char* kUnplaced = "The device reports a difference and cannot say at which address.";
    ShowMessageLine(" %s", kUnplaced);
    if (mode == 4) WriteCompareNote(kUnplaced);
    FailWithoutAddress();
    return -1;
}

// The compare latch gives one pass bit for every address clocked since the
// counter was reset, and the counter starts at 000h: a range from above 0
// would compare (and burn) the buffer's bytes into the cells from 000h up.
// Such a range is refused before the part is powered.
bool StartsAtZero143() {
    if (DeviceStart != 0) {
        RefuseRun(" Chip start %Xh not supported: this device is compared from address 0.", DeviceStart);
        return false;
    }
    // The counter restarts only at power-up: after a range ending below the
    // top the compare pass would clock on from the range's end and compare
    // the buffer's bytes with other cells.
    if (DeviceEnd < DeviceSize - 1) {
        RefuseRun(" Chip end %Xh not supported: this device is compared over its whole map.", DeviceEnd);
        return false;
    }
    return true;
}

int Alg143Read(int mode) {
    if (!StartsAtZero143()) return -1;
    PowerUp143();
    DelayMsSlot(20);
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            PowerDown143();
            return 3;
        }
        ClockAddress();
        DelayMsSlot(1);
        DelayUsSlot(500);
    }
    ClearProgress();
    const int r = ComparePass143(mode);
    PowerDown143();
    return r;
}

int Alg143Program() {
    if (!StartsAtZero143()) return -1;
    PowerUp143();
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(20);
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            PowerDown143();
            return 3;
        }
        ExpectedValue = BufferWindow[ChipAddress & 0xFFFF];
        WriteRegister(3, ExpectedValue);
        ClockAddress();
        DelayMsSlot(54);
    }
    SetDeviceVpp(0, 50);
    ClearProgress();
    const int r = ComparePass143(1);
    PowerDown143();
    return r;
}

// ---- row 133 ----

// purpose: 1 programming, else the read mode.
void PowerUp133(int purpose) {
    BlankValue = 0;
    ProgressStep = 256;
    SetVccRange(0, static_cast<int>(ReadVccInUse));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (purpose == 1)
        WriteRegister(3, 7);
    else if (purpose == 0 || purpose == 2 || purpose == 3)
        WriteRegister(3, 1);
    WriteRegister(2, 0);
    WriteRegister(0, 8);
    WriteRegister(1, purpose == 1 ? 0x0E : 0x0F);
    WriteRegister(1, purpose == 1 ? 6 : 7);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(ReadVccInUse));
    DelayMsSlot(100);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(100);
    WriteRegister(0, 9);
    DelayUsSlot(100);
}

void PowerDown133() {
    WriteRegister(0, 0);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(ReadVccInUse));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

// The part's counter starts at 000h whatever the range: the addresses below
// DeviceStart are clocked past with no byte written for them, so nothing is
// burnt there and the range reaches its own cells.
void ClockUpTo(uint32_t start) {
    for (uint32_t a = 0; a < start; ++a) ClockAddress();
}

int Alg133Program() {
    PowerUp133(1);
    ClockUpTo(DeviceStart);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            break;
        }
        DelayUsSlot(100);
        if (InWindow(kWindows133, ChipAddress)) {
            ExpectedValue = BufferWindow[ChipAddress & 0xFFFF];
            WriteRegister(4, ExpectedValue);
            ClockAddress();
            if (ExpectedValue != 0) DelayMsSlot(3);
        } else if (InGap(kWindows133, ChipAddress)) {
            WriteRegister(4, FillerOf(kWindows133, ChipAddress));
            ClockAddress();
        }
    }
    PowerDown133();
    return r;
}

int Alg133Read(int mode) {
    PowerUp133(mode);
    ClockUpTo(DeviceStart);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            break;
        }
        DelayUsSlot(40);
        if (InWindow(kWindows133, ChipAddress)) {
            BufferIndex = ChipAddress;
            ReadValue = ReadRegister(0);
            ClockAddress();
            if ((r = ProcessReadByte(mode)) == -1) break;
        } else {
            ClockAddress();
        }
    }
    PowerDown133();
    return r;
}

// ---- row 147 ----

void PowerUp147(int purpose) {
    SupplyVoltage = purpose == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(ReadVccInUse));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, purpose == 1 ? 0x0E : 8);
    WriteRegister(2, 0);
    WriteRegister(0, 6);
    WriteRegister(1, purpose == 1 ? 0x0E : 0x0F);
    WriteRegister(1, purpose == 1 ? 6 : 7);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    WriteRegister(0, 7);
    DelayUsSlot(100);
}

// The supply goes down from the level it came up at: a fixed 5.0 V would
// step a 4.5 V read supply up before it falls.
void PowerDown147() {
    WriteRegister(0, 0);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

int WaitReady147() {
    for (int i = 0; i < 10000; ++i)
        if ((ReadRegister(3) & 1) == 0) return 1;
    return -1;
}

// Row 147 covers its whole space 0-FFFh as its range does by default; a
// narrower range is clocked up to its start with no byte and stops at its
// end, so neither the cells nor the buffer bytes outside it are touched.
int Alg147Program() {
    PowerUp147(1);
    if (WaitReady147() == -1) {
        PowerDown147();
        return -1;
    }
    ClockUpTo(DeviceStart);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= std::min<uint32_t>(DeviceEnd, 0xFFF); ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            break;
        }
        DelayUsSlot(200);
        if (InWindow(kWindows147, ChipAddress)) {
            BufferIndex = ChipAddress;
            ExpectedValue = BufferWindow[BufferIndex];
            WriteRegister(4, ExpectedValue);
            ClockAddress();
            DelayMsSlot(8);
        } else if (InGap(kWindows147, ChipAddress)) {
            ClockAddress();
            WriteRegister(4, FillerOf(kWindows147, ChipAddress));
        }
    }
    PowerDown147();
    return r;
}

int Alg147Read(int mode) {
    PowerUp147(mode);
    ClockUpTo(DeviceStart);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= std::min<uint32_t>(DeviceEnd, 0xFFF); ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            break;
        }
        DelayUsSlot(120);
        if (InWindow(kWindows147, ChipAddress)) {
            BufferIndex = ChipAddress;
            ReadValue = ReadRegister(2);
            ClockAddress();
            if ((r = ProcessReadByte(mode)) == -1) break;
        } else {
            ClockAddress();
        }
    }
    PowerDown147();
    return r;
}

} // namespace

// The rows of this family. Each takes the buffer byte at the chip address
// itself, so none offers byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 143,
     .Read = Alg143Read,
     .Program = Alg143Program,
     .StartRefusal = " Chip start ",
     .NoByteLanes = true,
     .EndRefusal = " Chip end ",
     .DataAtChipAddresses = true},
    {.Row = 133, .Read = Alg133Read, .Program = Alg133Program, .NoByteLanes = true, .DataAtChipAddresses = true},
    {.Row = 147, .Read = Alg147Read, .Program = Alg147Program, .NoByteLanes = true, .DataAtChipAddresses = true},
};

ROW_FAMILY("SequentialClock", Mcu, 290, kAlgorithmRows);
