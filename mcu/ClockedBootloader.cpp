// 68HC705-type parts that take their memory as a byte stream in address
// order (rows 134, 135: one byte per clock of register 2, no address sent),
// and parts burnt by the programmer itself from its RAM (row 142).

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

void ClockStream() {
    WriteRegister(2, 1);
    WriteRegister(2, 0);
}

// ---- row 134: every address of the stream is clocked ----

// One range of a row-134 map and the buffer byte clocked through the gap
// that ends at it (the gap before the first range takes buffer byte 20h).
struct StreamRange134 {
    uint32_t first, last;
    uint32_t gapFiller; // buffer index of the fill value of the gap before it
};
struct StreamMap134 {
    StreamRange134 ranges[4];
    uint32_t count;
    uint32_t vectorOffset; // buffer index minus chip address in 0xFF0-0xFFF
};
constexpr uint32_t kStreamMapCount134 = 3;
constexpr StreamMap134 kStreamMaps134[kStreamMapCount134] = {
    {{{0x20, 0x4F, 0x20}, {0x100, 0x12FF, 0x100}, {0x1F00, 0x1F00, 0x1F00}, {0x1FF0, 0x1FFF, 0x1FF0}}, 4, 0},
    {{{0x20, 0x4F, 0x20}, {0x100, 0x900, 0x100}, {0xFF0, 0xFFF, 0xFF0}}, 3, 0x1000},
    {{{0x20, 0x4F, 0x20}, {0x100, 0x12FF, 0x100}, {0x1EFF, 0x1F00, 0x1EFF}, {0x1FF0, 0x1FFF, 0x1FF0}}, 4, 0},
};

const StreamMap134* Map134() { return DeviceVariant < kStreamMapCount134 ? &kStreamMaps134[DeviceVariant] : nullptr; }

// The range holding `a`, or the one whose gap holds it (nullptr: past the
// last range).
const StreamRange134* RangeAtOrAfter134(const StreamMap134& map, uint32_t a) {
    for (uint32_t i = 0; i < map.count; ++i)
        if (a <= map.ranges[i].last) return &map.ranges[i];
    return nullptr;
}

uint32_t BufferAddress134(const StreamMap134& map, uint32_t a) {
    return a >= 0xFF0 && a <= 0xFFF ? a + map.vectorOffset : a;
}

void PowerUp134(int mode) {
    BlankValue = 0x00;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(ReadVccInUse));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, mode == 1 ? 7 : 1);
    WriteRegister(2, 0);
    WriteRegister(0, 0x0E);
    WriteRegister(1, mode == 1 ? 0x0E : 0x0F);
    WriteRegister(1, mode == 1 ? 0x06 : 0x07);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    WriteRegister(0, 0x0F);
    DelayUsSlot(100);
}

void PowerDown134() {
    WriteRegister(0, 0);
    SetDeviceVpp(0, static_cast<int>(Vpp / 10));
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(ReadVccInUse));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

int WaitChipReady134() {
    for (int i = 0; i < 10000; ++i) {
        ReadValue = ReadRegister(3);
        if ((ReadValue & 1) == 0) return 1;
    }
    return -1;
}

// The stream writes every mapped cell from address 0 on: a range that
// starts above it would have the cells below its start written from
// whatever the buffer holds there. Such a range is refused before the part
// is powered.
int CheckWholeStreamStart(const char* why) {
    if (DeviceStart == 0) return 1;
    RefuseRun(" Chip start %Xh not supported: %s", DeviceStart, why);
    return -1;
}

// The stream from address 0 up to the range's end (the map ends at 1FFFh).
// The part burns each byte as it is clocked in, so the stream may stop at
// the end: the cells above it get no byte and stay blank. A 00h at buffer
// byte 20h needs no burn there, so address 20h gets its clock without data
// or wait; skipping that clock would put every later byte one cell low.
int Alg134Program() {
    if (CheckWholeStreamStart("the part's whole stream is programmed.") != 1) return -1;
    PowerUp134(1);
    int r = WaitChipReady134();
    const StreamMap134* map = Map134();
    if (r == 1 && map != nullptr) {
        const bool skip20 = BufferWindow[0x20] == 0x00;
        const uint32_t last = DeviceEnd < 0x1FFF ? DeviceEnd : 0x1FFF;
        for (ChipAddress = 0; ChipAddress <= last; ++ChipAddress) {
            if ((r = StepProgress(ChipAddress)) == 3) break;
            DelayUsSlot(200);
            const StreamRange134* range = RangeAtOrAfter134(*map, ChipAddress);
            if (range == nullptr) continue; // past the map: nothing to clock
            if (ChipAddress == 0x20 && skip20) {
                ClockStream();
            } else if (ChipAddress >= range->first) {
                BufferIndex = BufferAddress134(*map, ChipAddress);
                ExpectedValue = BufferWindow[BufferIndex];
                WriteRegister(4, ExpectedValue);
                ClockStream();
                DelayMsSlot(8);
            } else if (DeviceVariant == 1) {
                WriteRegister(4, BufferWindow[range->gapFiller]);
                ClockStream();
            } else {
                ClockStream();
                WriteRegister(4, BufferWindow[range->gapFiller]);
            }
        }
    }
    PowerDown134();
    return r;
}

// The part's counter starts at 0 whatever the range: the addresses below
// DeviceStart are clocked past unread, so the bytes read land at their own
// buffer addresses.
void ClockUpTo(uint32_t start, bool (*clocked)(uint32_t)) {
    for (uint32_t a = 0; a < start && a <= 0xFFFF; ++a)
        if (clocked == nullptr || clocked(a)) ClockStream();
}

int Alg134Read(int mode) {
    PowerUp134(mode);
    int r = 1;
    const StreamMap134* map = Map134();
    if (map != nullptr) ClockUpTo(DeviceStart, nullptr);
    for (ChipAddress = DeviceStart; map != nullptr && ChipAddress <= DeviceEnd; ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) == 3) break;
        DelayUsSlot(120);
        const StreamRange134* range = RangeAtOrAfter134(*map, ChipAddress);
        if (range != nullptr && ChipAddress >= range->first) {
            BufferIndex = BufferAddress134(*map, ChipAddress);
            ReadValue = ReadRegister(2);
            ClockStream();
            if ((r = ProcessReadByte(mode)) == -1) break;
        } else {
            ClockStream();
        }
    }
    PowerDown134();
    return r;
}

// ---- row 135: the EPROM area only ----

bool Mapped135(uint32_t a) {
    return (a >= 0x20 && a <= 0x4F) || (a >= 0xA80 && a <= 0x1E80) || (a >= 0x1FF0 && a <= 0x1FFF);
}
int ModePin135() { return DeviceVariant == 0 ? 6 : 4; }

void PowerUp135(int mode) {
    BlankValue = 0x00;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 120, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, mode == 1 ? 1 : 5);
    WriteRegister(2, 0);
    WriteRegister(0, 0x0E);
    WriteRegister(1, mode == 1 ? 0x0E : 0x0F);
    WriteRegister(1, mode == 1 ? 0x06 : 0x07);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    ApplyVoltageToPin(2, ModePin135(), 1, 120);
    DelayMsSlot(10);
    if (mode == 1) {
        if (DeviceVariant == 0) {
            SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        } else {
            RampVoltageUp(2, 120, static_cast<int>(Vpp / 10), 5, 10);
            ApplyVoltageToPin(2, 6, 1, static_cast<int>(Vpp / 10));
        }
        DelayMsSlot(10);
    }
    WriteRegister(0, 0x0F);
    DelayUsSlot(100);
}

void PowerDown135() {
    WriteRegister(0, 0);
    if (DeviceVariant == 0)
        SetDeviceVpp(0, static_cast<int>(Vpp / 10));
    else
        ApplyVoltageToPin(2, 6, 0, 50);
    DelayUsSlot(100);
    ApplyVoltageToPin(2, ModePin135(), 0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(ReadVccInUse));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

int Alg135Program() {
    PowerUp135(1);
    ShowMessageLine("EPROM area only!");
    ClockUpTo(DeviceStart, Mapped135); // no data: nothing is burnt there
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) == 3) break;
        DelayUsSlot(120);
        if (!Mapped135(ChipAddress)) continue;
        ExpectedValue = BufferWindow[ChipAddress & 0xFFFF];
        WriteRegister(4, ExpectedValue);
        ClockStream();
        if (ExpectedValue != BlankValue) DelayMsSlot(5);
    }
    PowerDown135();
    return r;
}

int Alg135Read(int mode) {
    PowerUp135(mode);
    ShowMessageLine("EPROM area only!");
    ClockUpTo(DeviceStart, Mapped135);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) == 3) break;
        DelayUsSlot(120);
        if (!Mapped135(ChipAddress)) continue;
        BufferIndex = ChipAddress;
        ReadValue = ReadRegister(0);
        ClockStream();
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    PowerDown135();
    return r;
}

// ---- row 142: burnt by the programmer from its RAM ----

constexpr uint32_t kRamImageBytes142 = 0x4000;

void ResetRamCounter142() {
    WriteRegister(4, 2);
    WriteRegister(4, 0);
}

// Writes the first 16 KB of the buffer into the programmer's RAM, checking
// each byte as it goes and then the whole image once more.
int DownloadRamImage142() {
    ResetRamCounter142();
    for (ChipAddress = 0; ChipAddress < kRamImageBytes142; ++ChipAddress) {
        WriteRegister(4, 4);
        ExpectedValue = BufferWindow[ChipAddress];
        WriteRegister(3, ExpectedValue);
        WriteRegister(4, 0);
        ReadValue = ReadRegister(3);
        BufferIndex = ChipAddress;
        if (ReadValue != ExpectedValue) return -1;
        WriteRegister(7, 0);
    }
    ResetRamCounter142();
    WriteRegister(4, 0);
    for (ChipAddress = 0; ChipAddress < kRamImageBytes142; ++ChipAddress) {
        ExpectedValue = BufferWindow[ChipAddress];
        ReadValue = ReadRegister(3);
        BufferIndex = ChipAddress;
        if (ReadValue != ExpectedValue) return -1;
        WriteRegister(7, 0);
    }
    ResetRamCounter142();
    return 1;
}

void PowerUp142(int mode) {
    ProgressStep = 16;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(4, 9);
    WriteRegister(1, 1);
    WriteRegister(0, 2);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ApplyVoltageToPin(2, 12, 1, 120);
    DelayMsSlot(100);
    WriteRegister(2, 1);
    WriteRegister(0, 3);
}

void PowerDown142() {
    WriteRegister(0, 0);
    ApplyVoltageToPin(2, 12, 0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

uint32_t ReportedAddress142() { return ReadRegister(0) + 256u * ReadRegister(1); }

// The programmer burns the part on its own; the host shows the address it
// reports. Each pass of the watch waits 10 ms and polls the user break; an
// address that does not move for 5 s ends the run, so a stalled programmer
// cannot hold the operation forever.
constexpr int kPollMs142 = 10;
constexpr int kStallPasses142 = 5000 / kPollMs142;
constexpr const char* kCellsNotReadBack142 =
    " Programmed from the programmer's RAM; this part has no read, so its cells were not read back.";

int Alg142Program() {
    if (CheckWholeStreamStart("the programmer burns its whole image.") != 1) return -1;
    // The downloaded image burns the part's whole map, whatever the range's
    // end: cells above it would take the buffer's bytes there.
    if (DeviceEnd < DeviceSize - 1) {
        RefuseRun(" Chip end %Xh not supported: the programmer burns its whole image.", DeviceEnd);
        return -1;
    }
    if (DownloadRamImage142() == -1) {
        ShowMessageLine(" Download RAM Fail!");
        return -1;
    }
    PowerUp142(1);
    int r = 1;
    ChipAddress = 0;
    for (int i = 0; i < 50 && ChipAddress == 0; ++i) {
        DelayMsSlot(100);
        ChipAddress = ReportedAddress142();
    }
    if (ChipAddress == 0) {
        ShowMessageLine(" Time out!");
        r = -1;
    }
    uint32_t last = ChipAddress;
    int still = 0;
    while (r == 1) {
        ChipAddress = ReportedAddress142();
        r = StepProgressByAddress(ChipAddress);
        if (RunCheckHook() == -1) r = 3;
        if (r != 1) break;
        if ((ReadRegister(4) & 1) != 0) {
            r = -1;
            for (int i = 0; i < 50; ++i) {
                DelayMsSlot(100);
                if ((ReadRegister(4) & 2) == 0) {
                    r = 1;
                    break;
                }
            }
            break;
        }
        if (ChipAddress != last) {
            last = ChipAddress;
            still = 0;
        } else if (++still >= kStallPasses142) {
            ShowMessageLine(" Time out!");
            r = -1;
            break;
        }
        DelayMsSlot(kPollMs142);
    }
    if (r == 3) {
        // Stopped by the user: the programmer stops first and the byte it is
        // burning gets its time before the programming voltage goes.
        WriteRegister(0, 0);
        DelayMsSlot(kPollMs142);
    }
    PowerDown142();
    // The end status is the only word of the run: the part has no read, so
    // nothing confirms what its cells hold.
    if (r == 1) ShowMessageLine("%s", kCellsNotReadBack142);
    return r;
}

} // namespace

// The rows of this family. Row 134 indexes its memory maps by the variant.
// Every row takes a chip address's byte from that buffer address (row 142
// its image from buffer bytes 0-3FFFh), so none offers byte lanes; rows 134
// and 142 program the whole part from address 0.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 134,
     .Read = Alg134Read,
     .Program = Alg134Program,
     .VariantCount = kStreamMapCount134,
     .VariantTable = "algorithm 134's memory maps",
     .StartRefusal = " Chip start ",
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
    {.Row = 135, .Read = Alg135Read, .Program = Alg135Program, .NoByteLanes = true, .DataAtChipAddresses = true},
    {.Row = 142,
     .Program = Alg142Program,
     .StartRefusal = " Chip start ",
     .NoByteLanes = true,
     .EndRefusal = " Chip end ",
     .DataAtChipAddresses = true},
};

ROW_FAMILY("ClockedBootloader", Mcu, 330, kAlgorithmRows);
