// Microcontrollers programmed in their EPROM-compatible parallel mode: every
// address line on its own socket pin, eight data lines, a chip enable, an
// output enable and a program pulse (rows 184, 183, 303, 185 and 198).

#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

// Socket pins of one row's EPROM mode and what differs between the rows.
struct DirectRow {
    uint8_t address[18]; // A0 first
    int addressCount;
    // Positions 8..highTop take ChipAddress >> 8 at every 256-byte boundary.
    int highTop;
    // Positions above highTop (A16, A17) take their bits where
    // ChipAddress & bankMask is 0 (0: the row has none).
    uint32_t bankMask;
    int chipEnable, outputEnable;
    int programPin;                                                // pulsed low for PulseWidth us
    int heldHigh;                                                  // driven high at power-up (0: none)
    bool enableAtPowerUp;                                          // chip enable low at the end of power-up
    enum Preset : uint8_t { NoPreset, FromStart, AllZero } preset; // address lines at power-up
    bool enableForRead; // the Read entry drives chip enable low itself
    int readVpp;        // tenths on the programming pin while reading (-1: none)
    // The program pulse is the programming voltage switched on for
    // PulseWidth us (programPin 0); power-down then raises output enable.
    bool vppPulse = false;
    int lowAtPowerUp = 0; // driven low at power-up (0: none)
};

constexpr int kDataPins[8] = {21, 22, 23, 25, 26, 27, 28, 29};

// 28-pin parts at socket pins 11-38: a 2764-type mode with /PGM on pin 37.
constexpr DirectRow kRow184 = {.address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12},
                               .addressCount = 13,
                               .highTop = 12,
                               .bankMask = 0,
                               .chipEnable = 30,
                               .outputEnable = 32,
                               .programPin = 37,
                               .heldHigh = 0,
                               .enableAtPowerUp = true,
                               .preset = DirectRow::NoPreset,
                               .enableForRead = false,
                               .readVpp = 50};
// A 27C256-type mode programmed by /CE pulses on pin 30 and verified with
// /CE high.
constexpr DirectRow kRow183 = {.address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12, 36, 37},
                               .addressCount = 15,
                               .highTop = 14,
                               .bankMask = 0,
                               .chipEnable = 30,
                               .outputEnable = 32,
                               .programPin = 30,
                               .heldHigh = 0,
                               .enableAtPowerUp = false,
                               .preset = DirectRow::NoPreset,
                               .enableForRead = true,
                               .readVpp = 50};
// A 28-pin mode with A8-A9 on pins 12 and 11, chip enable low from power-up,
// programmed by the programming voltage on output enable (pin 32), pin 31
// high and pin 33 low.
constexpr DirectRow kRow303 = {.address = {20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 37, 36, 35, 34},
                               .addressCount = 14,
                               .highTop = 13,
                               .bankMask = 0,
                               .chipEnable = 30,
                               .outputEnable = 32,
                               .programPin = 0,
                               .heldHigh = 31,
                               .enableAtPowerUp = false,
                               .preset = DirectRow::NoPreset,
                               .enableForRead = false,
                               .readVpp = -1,
                               .vppPulse = true,
                               .lowAtPowerUp = 33};
// 32-pin parts at socket pins 9-40: a 27C020-type mode, /PGM on pin 39,
// A16 and A17 changed every 4 KB, every line preset from DeviceStart.
constexpr DirectRow kRow185 = {
    .address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12, 36, 37, 11, 10, 38},
    .addressCount = 18,
    .highTop = 15,
    .bankMask = 0xFFF,
    .chipEnable = 30,
    .outputEnable = 32,
    .programPin = 39,
    .heldHigh = 0,
    .enableAtPowerUp = true,
    .preset = DirectRow::FromStart,
    .enableForRead = false,
    .readVpp = 50};
// The same pins as a byte module: the enable line (30) held low for the
// whole operation, A16-A17 changed every 64 KB, pin 9 high, no programming
// voltage while reading.
constexpr DirectRow kRow198 = {
    .address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12, 36, 37, 11, 10, 38},
    .addressCount = 18,
    .highTop = 15,
    .bankMask = 0xFFFF,
    .chipEnable = 30,
    .outputEnable = 32,
    .programPin = 39,
    .heldHigh = 9,
    .enableAtPowerUp = true,
    .preset = DirectRow::AllZero,
    .enableForRead = false,
    .readVpp = -1};

const DirectRow* g_row = &kRow184;

void DefineGroups(const DirectRow& r) {
    uint8_t* data = PinGroupTable[0];
    for (int i = 0; i < 8; ++i)
        data[i] = static_cast<uint8_t>(kDataPins[i]);
    data[8] = 0;
    uint8_t* address = PinGroupTable[1];
    for (int i = 0; i < r.addressCount; ++i)
        address[i] = r.address[i];
    address[r.addressCount] = 0;
}

// Every line at the first address of a walk (a range need not start on a
// boundary, and the lines hold nothing of the address before it); after that
// the bank lines where their block starts, the high byte at every 256-byte
// boundary and the low byte at every address. The bank lines are written
// together, so a range crossing 128 KB reaches the upper half.
void OutputAddress(uint32_t a, bool first) {
    const DirectRow& r = *g_row;
    if (r.addressCount > r.highTop + 1 && (first || (a & r.bankMask) == 0))
        WritePinGroup(1, r.highTop + 1, r.addressCount - 1, a >> (r.highTop + 1));
    if (first || (a & 0xFF) == 0) WritePinGroup(1, 8, r.highTop, a >> 8);
    WritePinGroup(1, 0, 7, a & 0xFF);
}

// Purpose 1 programs, 2 reads.
void PowerUp(int purpose) {
    const DirectRow& r = *g_row;
    SupplyVoltage = purpose == 1 ? Vccp / 10 : ReadVccInUse;
    DefineGroups(r);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (r.preset == DirectRow::AllZero) FloatPinRange(1, 48);
    FloatPinGroup(0, 0, 7);
    if (r.preset == DirectRow::AllZero) OutputAddress(0, true);
    if (r.heldHigh != 0) SetPin(r.heldHigh, 1);
    if (r.programPin != 0) SetPin(r.programPin, 1);
    if (r.lowAtPowerUp != 0) SetPin(r.lowAtPowerUp, 0);
    SetPin(r.chipEnable, r.vppPulse ? 0 : 1);
    SetPin(r.outputEnable, 1);
    if (r.preset == DirectRow::FromStart) OutputAddress(DeviceStart, true);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    if (purpose == 1 && !r.vppPulse) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    } else if (r.readVpp >= 0) {
        SetDeviceVpp(1, r.readVpp);
    }
    if (r.enableAtPowerUp) SetPin(r.chipEnable, 0);
}

void PowerDown() {
    SetPin(g_row->outputEnable, 1);
    if (!g_row->vppPulse) SetPin(g_row->chipEnable, 1);
    SetDeviceVpp(0, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

void ReadByte() {
    SetPin(g_row->outputEnable, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_row->outputEnable, 1);
}

void ProgramPulse() {
    WritePinGroup(0, 0, 7, ExpectedValue & 0xFF);
    if (g_row->vppPulse) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        DelayUsSlot(PulseWidth);
        SetDeviceVpp(0, 50);
    } else {
        PulsePinTimed(g_row->programPin, 2, PulseWidth);
    }
    FloatPinGroup(0, 0, 7);
}

// A blank byte gets no pulse; otherwise pulses with a read-back after each
// until it matches, at most Retry - 1 of them.
int ProgramWithRetryBelowRetry() {
    if ((ExpectedValue & 0xFF) == (BlankValue & 0xFF)) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        ProgramPulse();
        ReadByte();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

int ReadRange(const DirectRow& row, int mode) {
    g_row = &row;
    PowerUp(2);
    if (row.enableForRead) SetPin(row.chipEnable, 0);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        OutputAddress(ChipAddress, a == DeviceStart);
        ReadByte();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    PowerDown();
    return r;
}

int ProgramRange(const DirectRow& row) {
    g_row = &row;
    PowerUp(1);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        OutputAddress(ChipAddress, a == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if ((r = ProgramWithRetryBelowRetry()) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    PowerDown();
    return r;
}

int Alg184Read(int mode) {
    return ReadRange(kRow184, mode);
}
int Alg184Program() {
    return ProgramRange(kRow184);
}
int Alg183Read(int mode) {
    return ReadRange(kRow183, mode);
}
int Alg183Program() {
    return ProgramRange(kRow183);
}
int Alg303Read(int mode) {
    return ReadRange(kRow303, mode);
}
int Alg303Program() {
    return ProgramRange(kRow303);
}
int Alg185Read(int mode) {
    return ReadRange(kRow185, mode);
}
int Alg185Program() {
    return ProgramRange(kRow185);
}
int Alg198Read(int mode) {
    return ReadRange(kRow198, mode);
}
int Alg198Program() {
    return ProgramRange(kRow198);
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 184, .Read = Alg184Read, .Program = Alg184Program},
    {.Row = 183, .Read = Alg183Read, .Program = Alg183Program},
    {.Row = 303, .Read = Alg303Read, .Program = Alg303Program},
    {.Row = 185, .Read = Alg185Read, .Program = Alg185Program},
    {.Row = 198, .Read = Alg198Read, .Program = Alg198Program},
};

} // namespace

ROW_FAMILY("DirectEprom", Mcu, 130, kAlgorithmRows);
