#include "mcu/AreaBusMcu.h"

#include <algorithm>
#include <utility>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

uint32_t Signature150 = 0;

namespace {

// Registers of the logic image.
enum AreaRegister : uint32_t {
    RegAddressLow = 0, // low address; cell index inside an option area
    RegAddressHigh = 1, // high address; option-row select
    RegByteIndex = 2,   // row 151's A14-A15; byte index inside an option row
    RegControl = 4,
    RegBusState = 5,
    RegData = 9,
};
enum : uint32_t { ControlRest = 0x1F, ControlRead = 0x1E, ControlProgram = 0x1D, ControlModeEntry = 0x1B };
enum : uint32_t { BusHold = 0x13, BusRest = 3, BusCommand = 1, BusPresent = 0x81 };
constexpr int kStrobePin = 3; // DAC channel 1
constexpr int kVppPin = 4;    // DAC channel 2
constexpr uint32_t kStrobeUs = 50000;

enum class AreaKind { Code, Options };

// One group B byte: its mask and the value an erased cell reads under it.
struct GroupBCell {
    uint32_t mask;
    uint32_t blank;
};

// What rows 150 and 151 differ in.
struct AreaRow {
    uint32_t lastCode;          // last code-array address
    int codeTries;              // tries of a code-array cell
    bool stepSignature;         // the signature byte is read (and chooses the option-row procedure)
    bool banked;                // the option areas are in buffer bank 1
    int blankCodeVpp;           // channel 2 while the code array is blank-checked
    uint32_t optionRows;        // option rows
    uint32_t wideBytes;         // bytes of an option row with mask 7 (the others mask 3)
    uint32_t optionStart;       // buffer index of the option rows
    uint32_t groupAStart, groupACount;
    uint32_t groupBStart;
    GroupBCell groupB[2][4];    // by DeviceVariant 0 / other
    bool setSecurityOnProgram;  // byte 3's bit 1 forced to 1 before its strobe
    bool setSecurityOnRead;     // byte 3's bit 1 read as 1
};

constexpr AreaRow kRow150{
    .lastCode = 0x7FFF,
    .codeTries = 30,
    .stepSignature = true,
    .banked = false,
    .blankCodeVpp = 127,
    .optionRows = 24,
    .wideBytes = 8,
    .optionStart = 0x8040,
    .groupAStart = 0x81E0,
    .groupACount = 5,
    .groupBStart = 0x81D0,
    // Byte 1 keeps its three cells on every variant: erased, it reads 7.
    .groupB = {{{7, 7}, {7, 7}, {0x0B, 3}, {5, 7}}, {{5, 5}, {7, 7}, {0x0B, 3}, {5, 7}}},
    .setSecurityOnProgram = false,
    .setSecurityOnRead = true,
};

constexpr AreaRow kRow151{
    .lastCode = 0xFFFF,
    .codeTries = 25,
    .stepSignature = false,
    .banked = true,
    .blankCodeVpp = 45,
    .optionRows = 32,
    .wideBytes = 9,
    .optionStart = 0,
    .groupAStart = 0x260,
    .groupACount = 6,
    .groupBStart = 0x250,
    .groupB = {{{0x0F, 0x0F}, {0x0F, 0x0F}, {0x0B, 3}, {7, 7}}, {{0x0D, 0x0D}, {0x0F, 0x0F}, {0x0B, 3}, {7, 7}}},
    .setSecurityOnProgram = true,
    .setSecurityOnRead = false,
};

uint32_t g_cellMask = 0xFF; // the bits of the current cell that count

// Channel 4 feeds VCC on pin 48 through the strong path (1.1 V above it):
// 3.9 after the power-up's 5.0 V.
constexpr int kPoweredChannel4 = 39;
int g_channel4 = kPoweredChannel4;

void SetAddress(uint32_t a) {
    WriteRegister(RegAddressLow, a & 0xFF);
    WriteRegister(RegAddressHigh, a >> 8 & 0xFF);
}

void PowerUp() {
    SupplyVoltage = 50;
    SetVccRange(0, 50);
    SetAllDacVoltages(127, 127, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    SetAddress(0);
    WriteRegister(RegByteIndex, 0);
    WriteRegister(RegControl, ControlRest);
    WriteRegister(RegBusState, BusHold);
    SetDevicePower(1, 50);
    g_channel4 = kPoweredChannel4;
    DelayMsSlot(1);
    WriteRegister(RegBusState, BusRest);
}

void PowerDown() {
    WriteRegister(RegBusState, BusHold);
    SetSupplyPinA(kVppPin, 0);
    DelayUsSlot(100);
    // The supply goes back to 5.0 V in steps from where the areas left it, so
    // the power-off ramp starts where the supply is.
    if (g_channel4 > kPoweredChannel4) RampVoltageDown(4, g_channel4, kPoweredChannel4, 1, 20);
    if (g_channel4 < kPoweredChannel4) RampVoltageUp(4, g_channel4, kPoweredChannel4, 1, 20);
    g_channel4 = kPoweredChannel4;
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

void EnterProgramMode() {
    SetAddress(6);
    SetSupplyPinA(kVppPin, 1);
    WriteRegister(RegControl, ControlModeEntry);
    WriteRegister(RegControl, ControlRest);
    SetSupplyPinA(kStrobePin, 1);
    WriteRegister(RegData, 0);
    WriteRegister(RegBusState, BusCommand);
    SetSupplyPinA(kStrobePin, 0);
    SetAddress(0);
}

// An area command: the data on the bus, address x 2 on the low address, and
// the strobe pin raised while the programming pin is off.
void LoadAreaCommand(uint32_t data, uint32_t address) {
    SetAddress(0);
    WriteRegister(RegByteIndex, 0);
    SetSupplyPinA(kVppPin, 0);
    WriteRegister(RegData, data);
    WriteRegister(RegBusState, BusCommand);
    WriteRegister(RegAddressLow, address * 2);
    SetSupplyPinA(kStrobePin, 1);
    SetSupplyPinA(kStrobePin, 0);
    WriteRegister(RegAddressLow, 0);
    WriteRegister(RegBusState, BusRest);
    SetSupplyPinA(kVppPin, 1);
}

// Presents ExpectedValue for `width` us, with the program strobe when
// `strobe` is set; a byte of FFh programs nothing.
void WriteCell(uint32_t width, bool strobe) {
    if (ExpectedValue == 0xFF) return;
    WriteRegister(RegBusState, BusPresent);
    WriteRegister(RegData, ExpectedValue & 0xFF);
    if (strobe) WriteRegister(RegControl, ControlProgram);
    DelayUsSlot(width);
    if (strobe) WriteRegister(RegControl, ControlRest);
    WriteRegister(RegBusState, BusRest);
}

void ReadCell() {
    WriteRegister(RegControl, ControlRead);
    ReadValue = ReadRegister(RegData) & g_cellMask;
    WriteRegister(RegControl, ControlRest);
}

// Up to `count` writes of `width` us, each read back; one write is not
// checked. Row 150 gives a matched cell one more 6 us write unless the
// signature selects the verified option-row procedure.
int ProgramCellWithRetry(const AreaRow& row, int count, uint32_t width) {
    if (ExpectedValue == 0xFF) return 1;
    bool matched = false;
    for (int n = 0; n < count && !matched; ++n) {
        WriteCell(width, false);
        ReadCell();
        if ((ReadValue & g_cellMask) == (ExpectedValue & g_cellMask)) {
            matched = true;
            if (row.stepSignature && Signature150 != 0xF9 && Signature150 != 0xF3) WriteCell(6, false);
        }
    }
    if (count == 1) return 1;
    return matched ? 1 : -1;
}

uint8_t& BufferAt(uint32_t index) { return BufferWindow[index & 0xFFFF]; }

// After a read cycle: mode 2 stores, 0 blank-checks, 1 and 3 verify, 4 writes
// a compare line; every mode but 1 moves to the next buffer byte.
int CheckCell(int mode, uint32_t mask) {
    int r = 1;
    switch (mode) {
    case 2:
        BufferAt(BufferIndex) = static_cast<uint8_t>(ReadValue & mask);
        break;
    case 0:
        if (ReadValue != BlankValue) r = -1;
        break;
    case 1:
    case 3:
        if ((ExpectedValue & mask) != (ReadValue & mask)) r = -1;
        break;
    case 4:
        WriteCompareLineOk();
        break;
    default:
        break;
    }
    if (r == 1 && mode != 1) BufferIndex += 1;
    // The buffer data go on in the next bank (a blank check has none).
    if (r == 1 && mode != 0 && BufferIndex > 0xFFFF) r = AdvanceToNextBank();
    return r;
}

// Channels 1-3 set, channel 4 ramped in 100 mV steps (the supply may not
// jump), then 1 ms to settle.
void SetVoltages(int t1, int t2, int t3, int t4) {
    SetAllDacVoltages(t1, t2, t3, g_channel4);
    if (t4 > g_channel4) RampVoltageUp(4, g_channel4, t4, 1, 20);
    if (t4 < g_channel4) RampVoltageDown(4, g_channel4, t4, 1, 20);
    g_channel4 = t4;
    DelayMsSlot(1);
}

// Per area and mode: channel 2 (pin 4) and channel 4 (VCC).
void SetAreaVoltages(const AreaRow& row, AreaKind kind, int mode) {
    if (mode == 1) {
        SetVoltages(127, 127, 0, 51);
    } else if (mode == 0) {
        SetVoltages(127, kind == AreaKind::Code ? row.blankCodeVpp : 127, 0, 34);
    } else {
        SetVoltages(127, kind == AreaKind::Code ? 56 : 127, 0, 45);
    }
}

// Progress of the option areas: row 151's are in bank 1.
int StepArea(const AreaRow& row, uint32_t at) { return StepProgress(row.banked ? at + 0x10000 : at); }

// Whether the option cell kept at buffer index `at` (of bank 1 on row 151)
// lies in the range: its chip address is its buffer address. A cell outside
// is neither written nor read, so Read keeps to Buffer Start..Buffer End.
bool AreaCellInRange(const AreaRow& row, uint32_t at) {
    const uint32_t chip = row.banked ? at + 0x10000 : at;
    return chip >= DeviceStart && chip <= DeviceEnd;
}

// The option cell at buffer index `at` is about to be taken: a failure
// there is named by the cell's own place (OptionPlaces), in the bank the
// row keeps it in.
void AtOptionCell(const AreaRow& row, uint32_t at) {
    CellAtPlace((row.banked ? 0x10000u : BufferStart / 0x10000 * 0x10000) + uint64_t{at});
}

// The cells of the range that lie in the code array, each at its own
// address; the buffer from the index the engine set.
int AccessCodeArray(const AreaRow& row, int mode) {
    g_cellMask = BlankValue = 0xFF;
    LoadAreaCommand(1, 0);
    SetAreaVoltages(row, AreaKind::Code, mode);
    int r = 1;
    const uint32_t last = std::min(DeviceEnd, row.lastCode);
    for (ChipAddress = DeviceStart; ChipAddress <= last; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        const uint32_t a = ChipAddress;
        if ((a & 0xFF) == 0 || a == DeviceStart) {
            if (row.banked) {
                WriteRegister(RegAddressHigh, (a >> 8 & 0x1F) | (a >> 13 & 1) << 7);
                WriteRegister(RegByteIndex, a >> 14);
            } else {
                WriteRegister(RegAddressHigh, (a >> 8 & 0x0F) | (a >> 12 & 7) << 5);
            }
        }
        WriteRegister(RegAddressLow, a & 0xFF);
        ExpectedValue = RunBufferByte(BufferIndex);
        if (mode == 1) {
            r = ProgramCellWithRetry(row, row.codeTries, 100);
            if (r == -1) break;
            BufferIndex += 1;
        } else {
            ReadCell();
            r = CheckCell(mode, 0xFF);
            if (r == -1) break;
        }
    }
    return r;
}

void ReadSignature() {
    g_cellMask = 0xFF;
    LoadAreaCommand(0x10, 1);
    SetAddress(1);
    ReadCell();
    SetAddress(0);
    Signature150 = ReadValue;
}

// The option rows; `verified` is the procedure of quick programming with a
// read-back (row 151, and row 150 on signatures F9h and F3h), else one 50 ms
// write per cell.
int AccessOptionRows(const AreaRow& row, int mode, bool verified) {
    BufferIndex = row.optionStart;
    SetAreaVoltages(row, AreaKind::Options, mode);
    LoadAreaCommand(2, 0);
    if (verified && mode == 1) LoadAreaCommand(0x80, 2);
    int r = 1;
    for (uint32_t q = 0; q < row.optionRows && r == 1; ++q) {
        r = StepArea(row, BufferIndex);
        if (r != 1) break;
        // Row 150's rows 4-27; row 151's rows 4-31, then 0-3 of the upper half.
        const bool upper = row.banked && q >= 28;
        WriteRegister(RegAddressHigh, (upper ? q - 28 : q + 4) * 8);
        for (uint32_t i = 0; i < 16; ++i) {
            r = StepProgress(ChipAddress);
            if (r != 1) break;
            ChipAddress += 1;
            if (!AreaCellInRange(row, BufferIndex)) {
                BufferIndex += 1;
                continue;
            }
            const uint32_t mask = i < row.wideBytes ? 7 : 3;
            g_cellMask = BlankValue = mask;
            WriteRegister(RegAddressLow, (upper ? 4 : 0) | (i >= 8 ? 2 : 0));
            ExpectedValue = (RunBufferByte(BufferIndex) | ~mask) & 0xFF;
            WriteRegister(RegByteIndex, i);
            if (mode == 1) {
                r = verified ? ProgramCellWithRetry(row, 250, 200) : ProgramCellWithRetry(row, 1, kStrobeUs);
                if (r == -1) break;
                BufferIndex += 1;
            } else {
                ReadCell();
                AtOptionCell(row, BufferIndex);
                r = CheckCell(mode, mask);
                if (r == -1) break;
            }
        }
    }
    if (verified) LoadAreaCommand(0, 2);
    return r;
}

int AccessByteGroupA(const AreaRow& row, int mode) {
    BufferIndex = row.groupAStart;
    SetAreaVoltages(row, AreaKind::Options, mode);
    LoadAreaCommand(8, 0);
    int r = 1;
    for (uint32_t i = 0; i < row.groupACount; ++i) {
        r = StepArea(row, BufferIndex);
        if (r != 1) break;
        if (!AreaCellInRange(row, BufferIndex)) {
            BufferIndex += 1;
            continue;
        }
        const uint32_t mask = i >= 4 ? 7 : 0xFF;
        g_cellMask = BlankValue = mask;
        ExpectedValue = (RunBufferByte(BufferIndex) | ~mask) & 0xFF;
        WriteRegister(RegAddressLow, i);
        if (mode == 1) {
            WriteCell(kStrobeUs, true);
            BufferIndex += 1;
        } else {
            ReadCell();
            AtOptionCell(row, BufferIndex);
            r = CheckCell(mode, mask);
            if (r == -1) break;
        }
    }
    return r;
}

int AccessByteGroupB(const AreaRow& row, int mode) {
    BufferIndex = row.groupBStart;
    SetAreaVoltages(row, AreaKind::Options, mode);
    LoadAreaCommand(4, 0);
    const GroupBCell* cells = row.groupB[DeviceVariant == 0 ? 0 : 1];
    int r = 1;
    for (uint32_t i = 0; i < 4; ++i) {
        r = StepArea(row, BufferIndex);
        if (r != 1) break;
        if (!AreaCellInRange(row, BufferIndex)) {
            BufferIndex += 1;
            continue;
        }
        WriteRegister(RegAddressLow, 2 * i);
        const uint32_t mask = cells[i].mask;
        g_cellMask = mask;
        BlankValue = cells[i].blank;
        ExpectedValue = (RunBufferByte(BufferIndex) | ~mask) & 0xFF;
        if (mode == 1) {
            if (i == 2) ExpectedValue ^= 0x08; // bit 3 is stored inverted
            if (i == 3 && row.setSecurityOnProgram) ExpectedValue |= 0x02;
            WriteCell(kStrobeUs, true);
            BufferIndex += 1;
        } else {
            ReadCell();
            AtOptionCell(row, BufferIndex);
            if (i == 2) ReadValue ^= 0x08;
            if (i == 3 && row.setSecurityOnRead) ReadValue |= 0x02;
            r = CheckCell(mode, mask);
            if (r == -1) break;
        }
    }
    return r;
}

// One power cycle over every area in order; any result but 1 ends it (a
// user break included). Row 150 reads its signature before the code array,
// so the code array's extra write follows this part's signature, and again
// after it.
int RunDevice(const AreaRow& row, int mode) {
    PowerUp();
    EnterProgramMode();
    if (row.stepSignature) ReadSignature();
    int r = AccessCodeArray(row, mode);
    if (r == 1) {
        ProgressStep = 1;
        if (row.stepSignature) ReadSignature();
        if (row.banked) {
            SelectBank(0x10000, 1);
            BankAdvances = 1;
        }
        const bool verified = !row.stepSignature || Signature150 == 0xF9 || Signature150 == 0xF3;
        // The option areas lie past the code array: a range ending inside
        // it leaves them.
        if (DeviceEnd > row.lastCode) {
            r = AccessOptionRows(row, mode, verified);
            if (r == 1) r = AccessByteGroupA(row, mode);
            if (r == 1) r = AccessByteGroupB(row, mode);
        }
        // A failure in an option area leaves bank 1 current for the report.
        if (r == 1 && row.banked) {
            SelectBank(0, 0);
            BankAdvances = 0;
        }
    }
    PowerDown();
    ReadValue &= g_cellMask;
    ExpectedValue &= g_cellMask;
    return r;
}

// Programs the security bit (bit 1 of group B's byte 3) with one 50 ms
// strobe, then reads the byte back at the option areas' read voltages: the
// part is secured only when the bit reads programmed (0).
int Secure(const AreaRow& row) {
    PowerUp();
    EnterProgramMode();
    SetVoltages(127, 127, 0, 51);
    LoadAreaCommand(4, 0);
    WriteRegister(RegAddressLow, 6);
    ExpectedValue = 0xFD;
    g_cellMask = 2;
    WriteCell(kStrobeUs, true);
    SetAreaVoltages(row, AreaKind::Options, 2);
    g_cellMask = 0xFF;
    ReadCell();
    const uint32_t byte3 = ReadValue;
    PowerDown();
    if ((byte3 & 2) == 0) return 1;
    return LockNotTaken(" Security bit not programmed (group B byte 3 reads %02Xh).", static_cast<unsigned>(byte3));
}

int Alg150Read(int mode) { return RunDevice(kRow150, mode); }
int Alg150Program() { return RunDevice(kRow150, 1); }
int Alg150Secure() { return Secure(kRow150); }
int Alg151Read(int mode) { return RunDevice(kRow151, mode); }
int Alg151Program() { return RunDevice(kRow151, 1); }
int Alg151Secure() { return Secure(kRow151); }

uint32_t SumBytes(uint32_t from, uint32_t to) {
    uint32_t sum = 0;
    for (uint32_t a = from; a <= to; ++a) sum += BufferAt(a);
    return sum;
}

// The code array plus every option bit that is a cell; row 150 leaves its
// first 16 option rows (8040h-813Fh) out.
uint32_t ComputeChecksum150() {
    SelectBank(0, 0);
    uint32_t sum = SumBytes(0, 0x7FFF);
    for (uint32_t a = 0x8140; a <= 0x81BF; ++a) sum += BufferAt(a) & ((a & 0xF) <= 7 ? 7u : 3u);
    sum += BufferAt(0x81D0) & (DeviceVariant == 0 ? 7u : 5u);
    sum += BufferAt(0x81D1) & 7u;
    sum += BufferAt(0x81D2) & 0x0Bu;
    sum += BufferAt(0x81D3) & 5u;
    sum += SumBytes(0x81E0, 0x81E3);
    sum += BufferAt(0x81E4) & 7u;
    BufferChecksum = sum;
    return sum;
}

uint32_t ComputeChecksum151() {
    SelectBank(0, 0);
    uint32_t sum = SumBytes(0, 0xFFFF);
    SelectBank(0x10000, 1);
    for (uint32_t a = 0; a <= 0x1FF; ++a) sum += BufferAt(a) & ((a & 0xF) <= 8 ? 7u : 3u);
    sum += BufferAt(0x250) & (DeviceVariant == 0 ? 0x0Fu : 0x0Du);
    sum += BufferAt(0x251) & 0x0Fu;
    sum += BufferAt(0x252) & 0x0Bu;
    sum += BufferAt(0x253) & 5u;
    sum += SumBytes(0x260, 0x263);
    sum += (BufferAt(0x264) & 7u) + (BufferAt(0x265) & 7u);
    SelectBank(0, 0);
    BufferChecksum = sum;
    return sum;
}

// The option areas' buffer places: row 150's in the bank of Buffer Start
// (its cells read through the bank the run starts in), row 151's in bank 1.
// Each holds the option cell whose chip address is its own buffer address
// there, and is used only for the cells the range covers.
std::vector<FixedBufferPlace> OptionPlaces(const AreaRow& row) {
    const uint32_t bank = row.banked ? 0x10000 : BufferStart / 0x10000 * 0x10000;
    const uint32_t chip = row.banked ? 0x10000 : 0;
    const uint32_t optionBytes = row.optionRows * 16;
    std::vector<FixedBufferPlace> v;
    for (const auto& [first, count] :
         {std::pair{row.optionStart, optionBytes}, std::pair{row.groupAStart, row.groupACount},
          std::pair{row.groupBStart, 4u}})
        v.push_back({bank + first, bank + first + count - 1, chip + first, true});
    return v;
}
std::vector<FixedBufferPlace> OptionPlaces150() { return OptionPlaces(kRow150); }
std::vector<FixedBufferPlace> OptionPlaces151() { return OptionPlaces(kRow151); }

} // namespace

// The rows of this family. The code array takes consecutive buffer bytes and
// the option areas their fixed places, so neither row offers byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 150,
     .Read = Alg150Read,
     .Program = Alg150Program,
     .Secure = Alg150Secure,
     .Checksum = ComputeChecksum150,
     .NoByteLanes = true,
     .FixedPlaces = OptionPlaces150},
    {.Row = 151,
     .Read = Alg151Read,
     .Program = Alg151Program,
     .Secure = Alg151Secure,
     .Checksum = ComputeChecksum151,
     .NoByteLanes = true,
     .FixedPlaces = OptionPlaces151},
};

ROW_FAMILY("OptionArea", Mcu, 210, kAlgorithmRows);

void ResetOptionAreaState() {
    Signature150 = 0;
    g_cellMask = 0xFF;
}
