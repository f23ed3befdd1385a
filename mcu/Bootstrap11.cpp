#include "mcu/Bootstrap11.h"

#include <array>
#include <cstdint>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"

namespace {

enum Boot11Mode : int {
    ModeBlank = 0,
    ModeProgram = 1,
    ModeErase = 5,
    ModeConfigRead = 14,
    ModeConfigProgram = 15,
    ModeConfigErase = 16,
};

// The bytes row 320's nine address lines (group 0, positions 0-8) reach.
constexpr uint32_t kPar320Reach = 1u << 9;

// One record per variant: the download, the library entries by operation,
// the EEPROM, second EPROM and EPROM ranges (a range with a zero bound is
// absent) and the CONFIG address (compared directly: 0 makes address 0 the
// configuration byte).
// Variant 11 (EEPROM only, a 768-byte download) reads and programs with
// entries 176 and 177, the programs assembled for its own map: the
// 68HC711E20's programs (162, 163) it was once given walk that part's EPROM
// at 9000h-AFFFh first: the EEPROM bytes the row sends went to addresses
// the part does not hold, and Read streamed from there.
struct Boot11Device {
    uint32_t downloadCount, read, program, erase, configRead, configProgram, configErase;
    uint32_t eeFirst, eeLast, ep2First, ep2Last, epFirst, epLast, config;
};
constexpr uint32_t kBoot11Devices = 17;
constexpr Boot11Device BootstrapDeviceTable[kBoot11Devices] = {
    {512, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {512, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0xD000, 0xFFFF, 0x103F},
    {768, 154, 155, 156, 0, 0, 0, 0xD80, 0xFFF, 0, 0, 0xA000, 0xFFFF, 0},
    {512, 157, 158, 151, 0, 0, 0, 0xB600, 0xB7FF, 0, 0, 0xC000, 0xFFFF, 0},
    {256, 159, 160, 161, 169, 170, 168, 0xF800, 0xFFFF, 0, 0, 0, 0, 0x103F},
    {256, 159, 160, 161, 169, 170, 168, 0xF800, 0xFFFF, 0, 0, 0, 0, 0x103F},
    {256, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {256, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {256, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {256, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {512, 149, 150, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {768, 176, 177, 151, 169, 170, 168, 0xB600, 0xB7FF, 0, 0, 0, 0, 0x103F},
    {768, 162, 163, 151, 169, 170, 168, 0xB600, 0xB7FF, 0x9000, 0xAFFF, 0xD000, 0xFFFF, 0x103F},
    {192, 152, 153, 0, 0, 0, 0, 0, 0, 0, 0, 0xF000, 0xFFFF, 0},
    {192, 152, 153, 0, 0, 0, 0, 0, 0, 0, 0, 0xF000, 0xFFFF, 0},
    {1024, 164, 165, 156, 0, 0, 0, 0xD80, 0xFFF, 0, 0, 0x8000, 0xFFFF, 0},
    {1024, 171, 172, 173, 174, 175, 166, 0xFE00, 0xFFFF, 0, 0, 0, 0, 0x103F},
};

const Boot11Device& Record() {
    return BootstrapDeviceTable[DeviceVariant % kBoot11Devices];
}

bool In(uint32_t a, uint32_t first, uint32_t last) {
    return first != 0 && last != 0 && a >= first && a <= last;
}
bool InEeprom(const Boot11Device& d, uint32_t a) {
    return In(a, d.eeFirst, d.eeLast);
}
bool InEprom(const Boot11Device& d, uint32_t a) {
    return In(a, d.ep2First, d.ep2Last) || In(a, d.epFirst, d.epLast);
}

uint32_t EntryOf(const Boot11Device& d, int mode) {
    switch (mode) {
    case ModeProgram:
        return d.program;
    case ModeErase:
        return d.erase;
    case ModeConfigRead:
        return d.configRead;
    case ModeConfigProgram:
        return d.configProgram;
    case ModeConfigErase:
        return d.configErase;
    default:
        return d.read;
    }
}

int VppTenths() {
    return static_cast<int>(Vpp / 10);
}

// ---- handshake and transfers ----

// Polls register 2 until bit 0 is 0 (the loaded program waits for a byte).
int WaitChipReady120() {
    for (int i = 0; i < 100000; ++i) {
        ReadValue = ReadRegister(2);
        if ((ReadValue & 1) == 0) return 1;
    }
    return -1;
}

int SendChipByte120(uint32_t v) {
    if (WaitChipReady120() != 1) return -1;
    WriteRegister(2, v & 0xFF);
    DelayShortUsSlot(10);
    WriteRegister(3, 0);
    DelayShortUsSlot(20);
    WriteRegister(3, 1);
    return 1;
}

// No handshake: the read program streams its bytes at the module's pace.
void ReadChipByte120() {
    DelayShortUsSlot(10);
    WriteRegister(3, 0);
    DelayShortUsSlot(50);
    ReadValue = ReadRegister(0);
    WriteRegister(3, 1);
}

void SendBootstrapByte120(uint32_t v) {
    DelayShortUsSlot(350);
    WriteRegister(1, v & 0xFF);
    DelayMsSlot(2);
}

// ---- power ----

// The programming voltage for Program: variant 16 on socket pin 32, the
// sub-variant 1 parts on pin 13 (variant 13) or 14, the others on the
// device's programming pin. Off, variant 16 also switches off its
// sub-variant's pin.
void ProgrammingVoltageOn() {
    if (DeviceVariant == 16)
        ApplyVoltageToPin(2, 32, 1, VppTenths());
    else if (DeviceSubVariant == 1)
        ApplyVoltageToPin(DeviceVariant == 13 ? 1 : 2, DeviceVariant == 13 ? 13 : 14, 1, VppTenths());
    else
        SetDeviceVpp(1, VppTenths());
}

void ProgrammingVoltageOff() {
    if (DeviceVariant == 16) ApplyVoltageToPin(2, 32, 0, 50);
    if (DeviceSubVariant == 1)
        ApplyVoltageToPin(DeviceVariant == 13 ? 1 : 2, DeviceVariant == 13 ? 13 : 14, 0, 50);
    else
        SetDeviceVpp(0, 50);
}

// Programming voltage off is the same for every entry: an entry that never
// raised it switches off what is already off. The supply ramps down from the
// level it was raised to (a fixed 5.0 V start would first step a 4.5 V
// supply up).
void McuPowerDown120() {
    WriteRegister(0, 0xE0);
    ProgrammingVoltageOff();
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    WriteRegister(0, 0);
}

// Every chip-side program of this family opens with the same start-up (its
// stack, then "ldx #1000h; bset 0,x #80h; bset 26h,x #80h": the busy line
// high and driven) and ends its download with the end mark A5h, which the
// program checks before it serves anything.
constexpr std::array<uint8_t, 9> kProgramHead = {0xCE, 0x10, 0x00, 0x1C, 0x00, 0x80, 0x1C, 0x26, 0x80};
constexpr uint8_t kEndMark = 0xA5;

// The chip-side program of `mode` must be in the library, hold the whole
// download and be a program of this family ending where the download ends:
// a missing entry would send the device list, a short one zeros, and
// anything else would leave the part running what serves no handshake.
// Checked before anything is powered.
int CheckEntry(int mode) {
    const Boot11Device& d = Record();
    const uint32_t entry = EntryOf(d, mode);
    if (entry == 0) {
        RefuseRun(" No chip-side program for this operation on this device!");
        return -1;
    }
    const uint32_t size = OpenLibraryEntry(entry);
    if (size < d.downloadCount) {
        RefuseRun(" Library entry %u holds %u bytes, %u needed!", entry, size, d.downloadCount);
        return -1;
    }
    bool ours = ReadLibraryByte(0) == 0x8E && ReadLibraryByte(d.downloadCount - 1) == kEndMark;
    for (uint32_t i = 0; i < kProgramHead.size(); ++i) ours = ours && ReadLibraryByte(3 + i) == kProgramHead[i];
    if (!ours) {
        RefuseRun(" Library entry %u holds no 68HC11 chip-side program!", entry);
        return -1;
    }
    return 1;
}

// Row 120's read and program walk the part's whole map from address 0 to
// FFFFh: a range that starts above 0 or ends below the top would still have
// every byte outside it written (from whatever the buffer holds there) and
// read into the buffer. (Row 320 takes its EPROM cell by cell and keeps to
// the range.)
int CheckWholeMapRange() {
    if (DeviceStart != 0) {
        RefuseRun(" Chip start %Xh not supported: the part's whole map is walked.", DeviceStart);
        return -1;
    }
    if (DeviceEnd < 0xFFFF) {
        RefuseRun(" Chip end %Xh not supported: the part's whole map is walked.", DeviceEnd);
        return -1;
    }
    return 1;
}

// Powers the part into bootstrap mode and sends FFh and the chip-side
// program of `mode`.
int LoadBootstrapProgram(int mode) {
    const Boot11Device& d = Record();
    ProgressStep = 16;
    OpenLibraryEntry(EntryOf(d, mode));
    SupplyVoltage = mode == ModeProgram ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    if (DeviceVariant == 15)
        SetAllDacVoltages(122, 122, 0, 0);
    else
        SetAllDacVoltages(127, 127, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, 1);
    WriteRegister(0, 0xE8);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    WriteRegister(0, 0xE9);
    SendBootstrapByte120(0xFF);
    for (uint32_t i = 0; i < d.downloadCount; ++i)
        SendBootstrapByte120(ReadLibraryByte(i));
    return 1;
}

// ---- entries ----

// Every mapped byte goes, blank or not, in ascending address order over the
// whole 64 KB: the program takes them in that order.
int Alg120Program() {
    if (CheckWholeMapRange() != 1 || CheckEntry(ModeProgram) != 1) return -1;
    const Boot11Device& d = Record();
    int r = LoadBootstrapProgram(ModeProgram);
    ProgrammingVoltageOn();
    for (ChipAddress = 0; ChipAddress <= 0xFFFF; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r == 3) break;
        const bool slow = InEeprom(d, ChipAddress) || ChipAddress == d.config;
        if (!slow && !InEprom(d, ChipAddress)) continue;
        BufferIndex = ChipAddress;
        ExpectedValue = BufferWindow[ChipAddress];
        if ((r = SendChipByte120(ExpectedValue)) == -1) break;
        if (slow) {
            DelayMsSlot(DeviceVariant == 4 || DeviceVariant == 5 ? 2 : 15);
        } else {
            DelayMsSlot(2);
            DelayShortUsSlot(100);
        }
    }
    // The last byte may still be in work (an EEPROM byte erased and
    // programmed takes longer than the pacing): the program is ready again
    // once it is done, and only then does the power go.
    if (r == 1) r = WaitChipReady120();
    McuPowerDown120();
    return r;
}

// The read program streams without a handshake, so a part that runs no
// program would read as whatever register 0 holds: it reports ready once,
// when it runs, and a part that never does fails the read at its start.
int Alg120Read(int mode) {
    if (CheckWholeMapRange() != 1 || CheckEntry(mode) != 1) return -1;
    const Boot11Device& d = Record();
    int r = LoadBootstrapProgram(mode);
    ChipAddress = 0;
    if (WaitChipReady120() != 1) {
        McuPowerDown120();
        return -1;
    }
    for (ChipAddress = 0; ChipAddress <= 0xFFFF; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r == 3) break;
        if (!InEeprom(d, ChipAddress) && !InEprom(d, ChipAddress) && ChipAddress != d.config) continue;
        BufferIndex = ChipAddress;
        ReadChipByte120();
        // CONFIG's unimplemented upper bits read 0: blank check sets them.
        if (mode == ModeBlank && ChipAddress == d.config) ReadValue |= 0xF0;
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    McuPowerDown120();
    return r;
}

// The erase program bulk-erases the EEPROM by itself once loaded and
// reports ready when done: an erase that never ran is no success.
int Alg120Erase() {
    if (CheckEntry(ModeErase) != 1) return -1;
    int r = LoadBootstrapProgram(ModeErase);
    if (r == 1) DelayMsSlot(200);
    if (r == 1) r = WaitChipReady120();
    McuPowerDown120();
    return r;
}

// ---- row 320: the EPROM written through the pin driver ----

// The socket pins of the parallel EPROM mode by package: address lines for
// group 0 positions 0-8, data lines for group 1 positions 0-7. Pins 30
// (program pulse), 31 (read strobe), 32 (programming voltage) and 33 are
// fixed by the row.
struct Pinout320 {
    uint32_t packagePins;
    uint8_t address[9];
    uint8_t data[8];
};
constexpr Pinout320 kPinouts320[] = {
    {48, {17, 18, 19, 20, 21, 22, 24, 25, 26}, {34, 35, 36, 37, 38, 39, 40, 41}},
};

const Pinout320* PinoutFor320(uint32_t packagePins) {
    for (const Pinout320& p : kPinouts320)
        if (p.packagePins == packagePins) return &p;
    return nullptr;
}

// Groups 0 and 1 hold whatever the module before left there: both are
// defined from the part's pin-out before any pin is driven, and the
// control lines set idle.
bool DefineGroups320() {
    const uint32_t pins = PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
    const Pinout320* p = PinoutFor320(pins);
    if (p == nullptr) {
        RefuseRun(" Package of %u pins has no pin-out for this mode!", pins);
        return false;
    }
    for (int i = 0; i < 9; ++i) PinGroupTable[0][i] = p->address[i];
    PinGroupTable[0][9] = 0;
    for (int i = 0; i < 8; ++i) PinGroupTable[1][i] = p->data[i];
    PinGroupTable[1][8] = 0;
    // The part enters its parallel mode when the loaded program starts: the
    // data lines released, the program pulse, read strobe and test lines
    // idle high by then.
    FloatPinGroup(1, 0, 7);
    SetPin(30, 1);
    SetPin(31, 1);
    SetPin(33, 1);
    return true;
}

void PulseProgramByte320(uint32_t width) {
    WritePinGroup(1, 0, 7, ExpectedValue & 0xFF);
    PulsePinTimed(30, 2, width);
    FloatPinGroup(1, 0, 7);
}

void ReadDataByte320() {
    SetPin(31, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(31, 1);
}

// At most Retry - 1 pulses until the byte reads back, then the over-program
// pulse (n times its width when PulseMul is set); a byte still different
// after both fails.
int ProgramByteWithRetry320() {
    uint32_t n = 1;
    bool matched = false;
    while (n < Retry) {
        PulseProgramByte320(PulseWidth);
        ReadDataByte320();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) {
            matched = true;
            break;
        }
        ++n;
    }
    if (OverPulseWidth != 0) PulseProgramByte320(PulseMul != 0 ? n * OverPulseWidth : OverPulseWidth);
    if (!matched) {
        ReadDataByte320();
        if ((ReadValue & 0xFF) != (ExpectedValue & 0xFF)) return -1;
    }
    return 1;
}

void McuPowerDown320() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

// The chip-side program is checked as row 120 checks it: a missing or short
// entry would be clocked in as the device list or zeros.
int Alg320Program() {
    if (CheckEntry(ModeProgram) != 1 || !DefineGroups320()) return -1;
    LoadBootstrapProgram(ModeProgram);
    ApplyVppToPin(32, 1, VppTenths());
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) break;
        WritePinGroup(0, 0, 8, ChipAddress);
        ExpectedValue = BufferWindow[BufferIndex];
        if ((r = ProgramByteWithRetry320()) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    ApplyVppToPin(32, 0, 50);
    McuPowerDown320();
    return r;
}

// Blank check reads every cell twice: 0xFF with pin 31 low, 0x00 with it high.
int Alg320Read(int mode) {
    if (CheckEntry(2) != 1 || !DefineGroups320()) return -1;
    LoadBootstrapProgram(2);
    if (mode == ModeBlank) {
        SetPin(32, 0);
        SetPin(33, 0);
        ApplyVppToPin(30, 1, VppTenths());
    } else {
        ApplyVppToPin(32, 1, VppTenths());
    }
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) break;
        WritePinGroup(0, 0, 8, ChipAddress);
        SetPin(31, 0);
        ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
        if (mode == ModeBlank && ReadValue != 0xFF) {
            r = -1;
            break;
        }
        SetPin(31, 1);
        if (mode == ModeBlank) {
            if (ReadPinGroup(1, 0, 7) != 0x00) {
                r = -1;
                break;
            }
        } else if ((r = ProcessReadByte(mode)) == -1) {
            break;
        }
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    if (mode == ModeBlank) {
        SetPin(32, 1);
        SetPin(33, 1);
        ApplyVppToPin(30, 0, 50);
    } else {
        ApplyVppToPin(32, 0, 50);
    }
    McuPowerDown320();
    return r;
}

std::string Check320(uint32_t, const RowRecordFacts& record) {
    if (PinoutFor320(record.PackagePins) == nullptr)
        return "no pin-out of the parallel EPROM mode for a package of " + std::to_string(record.PackagePins) +
               " pins (48)";
    // Address group 0 drives nine lines: a larger part's upper addresses
    // would wrap onto its first 512 bytes.
    if (record.DeviceSize > kPar320Reach)
        return "size of " + std::to_string(record.DeviceSize) + " bytes is past the " + std::to_string(kPar320Reach) +
               " its 9 address lines reach";
    return {};
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 120,
     .Read = Alg120Read,
     .Program = Alg120Program,
     .Erase = Alg120Erase,
     .Options = ::Alg120Options,
     .VariantCount = kBoot11Devices,
     .VariantTable = "BootstrapDeviceTable",
     .StartRefusal = " Chip start ",
     .NoByteLanes = true,
     .EndRefusal = " Chip end ",
     .DataAtChipAddresses = true},
    {.Row = 320,
     .Read = Alg320Read,
     .Program = Alg320Program,
     .VariantCount = kBoot11Devices,
     .VariantTable = "BootstrapDeviceTable",
     .RecordCheck = Check320},
};

ROW_FAMILY("Bootstrap11", Mcu, 310, kAlgorithmRows);

std::vector<Boot11EntryUse> Bootstrap11LibraryEntries() {
    std::vector<Boot11EntryUse> uses;
    for (uint32_t v = 0; v < kBoot11Devices; ++v) {
        const Boot11Device& d = BootstrapDeviceTable[v];
        for (int mode :
             {ModeBlank, ModeProgram, ModeErase, ModeConfigRead, ModeConfigProgram, ModeConfigErase})
            uses.push_back({v, static_cast<uint32_t>(mode), EntryOf(d, mode), d.downloadCount});
    }
    return uses;
}
