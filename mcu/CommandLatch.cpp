// Microcontrollers programmed through a byte-wide command interface: a
// command byte strobed with command select high, then its value; address,
// data and mode registers, and bit 5 of the mode register telling an
// unlocked part from a locked one (rows 179 and 177).

#include <cstdint>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

// Socket pins of one variant.
struct LatchPins {
    int data[8]; // D0 first
    int command, read, strobe;
    int reset;      // row 177: pulsed at power-up
    int grounds[2]; // row 177: switched to ground
    int heldLow[3]; // 0: none
};

constexpr uint32_t k179PinCount = 2; // variant 0, any other
constexpr LatchPins k179Pins[k179PinCount] = {
    {{15, 16, 17, 18, 34, 33, 32, 31}, 30, 19, 24, 0, {0, 0}, {28, 0, 0}},
    {{13, 14, 15, 16, 36, 35, 34, 33}, 32, 17, 24, 0, {0, 0}, {28, 0, 0}},
};
constexpr uint32_t k177PinCount = 3;
constexpr LatchPins k177Pins[k177PinCount] = {
    {{27, 22, 28, 21, 29, 20, 30, 19}, 18, 31, 25, 32, {24, 43}, {17, 5, 6}},
    {{29, 20, 30, 19, 31, 18, 32, 17}, 14, 35, 25, 36, {24, 47}, {1, 2, 0}},
    {{27, 22, 28, 21, 29, 20, 30, 19}, 18, 31, 25, 32, {24, 35}, {13, 14, 0}},
};

// The command bytes of a row.
struct LatchCommands {
    uint8_t mode; // mode register: 2 program, 4 secure; bit 5 1 while unlocked
    uint8_t addressLow, addressHigh, dataRegister;
    uint8_t beforeAddress; // written with 0 before each address
    uint8_t start;         // written with FFh at power-up (0: none)
};
constexpr LatchCommands k179Commands = {0x40, 0x84, 0x85, 0x87, 0x21, 0};
constexpr LatchCommands k177Commands = {0xF0, 0x84, 0x85, 0x87, 0x26, 0x08};

constexpr int kHeldHigh179 = 22, kEnable179 = 27;
constexpr int kHeldHigh177 = 23;
constexpr int kLatchAttempts = 25;

// What the two rows do differently.
struct LatchRow {
    const LatchPins* pins;
    uint32_t pinCount;
    const LatchCommands* commands;
    bool strobeHigh;          // strobe pulses high then low (row 179), else low then high
    bool resetEntry;          // mode entry by reset pulse and start command (row 177)
    bool floatBeforeByte;     // register writes float the data group before each byte
    bool selectLeavesCommand; // data register select leaves command select high
};
constexpr LatchRow kRow179 = {k179Pins, k179PinCount, &k179Commands, true, false, false, false};
constexpr LatchRow kRow177 = {k177Pins, k177PinCount, &k177Commands, false, true, true, true};

const LatchRow* g_row = &kRow179;
const LatchPins* g_pins = &k179Pins[0];

const LatchPins& PinsOf(const LatchRow& row) {
    // Row 179 takes its second column for any variant but 0; row 177's
    // variants past its table are refused by the librarian.
    const uint32_t i = DeviceVariant < row.pinCount ? DeviceVariant : row.pinCount - 1;
    return row.pins[i];
}

int Polarity() {
    return g_row->strobeHigh ? 3 : 2;
}

void StrobePulse() {
    PulsePin(g_pins->strobe, Polarity());
}

void RegisterWrite(uint8_t command, uint8_t value) {
    const LatchPins& p = *g_pins;
    SetPin(p.read, 0);
    SetPin(p.command, 1);
    if (g_row->floatBeforeByte) FloatPinGroup(0, 0, 7);
    WritePinGroup(0, 0, 7, command);
    StrobePulse();
    SetPin(p.command, 0);
    if (g_row->floatBeforeByte) FloatPinGroup(0, 0, 7);
    WritePinGroup(0, 0, 7, value);
    StrobePulse();
}

// Latches a command without a value (the data register, the mode register
// before a read).
void SelectRegister(uint8_t command) {
    const LatchPins& p = *g_pins;
    SetPin(p.read, 0);
    SetPin(p.command, 1);
    if (g_row->floatBeforeByte) FloatPinGroup(0, 0, 7);
    WritePinGroup(0, 0, 7, command);
    StrobePulse();
    if (!g_row->selectLeavesCommand) SetPin(p.command, 0);
}

void LatchRead() {
    const LatchPins& p = *g_pins;
    ReadValue = 0;
    FloatPinGroup(0, 0, 7);
    if (g_row->resetEntry) SetPin(p.command, 0);
    SetPin(p.read, 1);
    StrobePulse();
    if (g_row->resetEntry) DelayUsSlot(30);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
}

void LatchProgramPulse() {
    const LatchPins& p = *g_pins;
    SetPin(p.read, 0);
    WritePinGroup(0, 0, 7, ExpectedValue & 0xFF);
    SetPin(p.strobe, g_row->strobeHigh ? 1 : 0);
    DelayUsSlot(PulseWidth);
    SetPin(p.strobe, g_row->strobeHigh ? 0 : 1);
}

// 1 while bit 5 of the mode register reads 1 (unlocked), -1 once it reads 0.
int LockCheck() {
    SelectRegister(g_row->commands->mode);
    LatchRead();
    return (ReadValue & 0x20) != 0 ? 1 : -1;
}

void LatchPowerDown() {
    if (g_row->resetEntry) {
        SetGroundPin(g_pins->grounds[0], 0);
        SetGroundPin(g_pins->grounds[1], 0);
    } else {
        SetDeviceGround(0);
    }
    DelayMsSlot(10);
    SetDevicePower(0, 0);
    DelayMsSlot(10);
    SetDeviceVpp(0, 0);
    DelayMsSlot(10);
}

// Purpose 1 programs, 6 secures, 2 reads. A locked part powers down again,
// logs "Device secured!" and gives -1.
int LatchPowerUp(const LatchRow& row, int purpose) {
    g_row = &row;
    g_pins = &PinsOf(row);
    const LatchPins& p = *g_pins;
    DefinePinGroup("D", 0, p.data[0], p.data[1], p.data[2], p.data[3], p.data[4], p.data[5], p.data[6],
                   p.data[7], 0);
    SetVccRange(0, 50);
    const bool writing = purpose == 1 || purpose == 6;
    SupplyVoltage = writing ? Vccp / 10 : ReadVccInUse;
    if (row.resetEntry) {
        SetAllDacVoltages(0, 0, 0, 0);
        SetGroundPin(p.grounds[0], 1);
        SetGroundPin(p.grounds[1], 1);
        DelayMsSlot(100);
        FloatPinRange(1, 48);
        for (int low : p.heldLow)
            if (low != 0) SetPin(low, 0);
        WritePinGroup(0, 0, 7, 0);
        SetPin(kHeldHigh177, 1);
        SetPin(p.command, 1);
        SetPin(p.read, 0);
        SetPin(p.strobe, 1);
    } else {
        SetDeviceGround(1);
        SetAllDacVoltages(50, 0, 0, 0);
        DelayMsSlot(100);
        FloatPinRange(1, 48);
        SetPin(kHeldHigh179, 1);
        SetPin(p.command, 1);
        SetPin(p.read, 1);
        for (int low : p.heldLow)
            if (low != 0) SetPin(low, 0);
        SetPin(kEnable179, 0);
        DelayMsSlot(100);
    }
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SetDeviceVpp(1, writing ? static_cast<int>(Vpp / 10) : static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    if (row.resetEntry) {
        PulsePin(p.reset, 3);
        DelayMsSlot(1);
        for (int i = 0; i < 1000; ++i)
            StrobePulse();
        RegisterWrite(row.commands->start, 0xFF);
        DelayUsSlot(10);
    } else {
        for (int i = 0; i < 500; ++i)
            StrobePulse();
        ApplyVoltageToPin(1, kEnable179, 1, 40);
        DelayMsSlot(100);
        for (int i = 0; i < 1000; ++i)
            StrobePulse();
    }
    if (LockCheck() == -1) {
        LatchPowerDown();
        ShowMessageLine("Device secured!");
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
        return -1;
    }
    if (!row.resetEntry) {
        if (purpose == 1) RegisterWrite(row.commands->mode, 2);
        if (purpose == 6) RegisterWrite(row.commands->mode, 4);
        DelayUsSlot(10);
    }
    return 1;
}

// Row 179 pre-reads and skips bytes already right and bytes of FFh; row 177
// pulses every byte at least once.
int LatchProgramByte() {
    ReadValue = 0;
    SelectRegister(g_row->commands->dataRegister);
    if (!g_row->resetEntry) {
        LatchRead();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF) || (ExpectedValue & 0xFF) == 0xFF) return 1;
    }
    for (int n = 0; n < kLatchAttempts; ++n) {
        LatchProgramPulse();
        LatchRead();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

// The address registers: the low byte at every address, the high byte where
// it changes (a range starting at 0 relies on the (high, 0) write at the
// start). Row 179 writes the low byte first, row 177 the high byte.
void LatchAddress(uint32_t a, uint32_t& lastHigh) {
    const LatchCommands& c = *g_row->commands;
    RegisterWrite(c.beforeAddress, 0);
    const uint32_t high = (a >> 8) & 0xFF;
    if (g_row->resetEntry) {
        if (high != lastHigh) RegisterWrite(c.addressHigh, static_cast<uint8_t>(high));
        RegisterWrite(c.addressLow, static_cast<uint8_t>(a));
    } else {
        RegisterWrite(c.addressLow, static_cast<uint8_t>(a));
        if (high != lastHigh) RegisterWrite(c.addressHigh, static_cast<uint8_t>(high));
    }
    lastHigh = high;
}

int LatchProgram(const LatchRow& row) {
    if (LatchPowerUp(row, 1) == -1) {
        LatchPowerDown();
        return -1;
    }
    if (row.resetEntry) RegisterWrite(row.commands->mode, 2);
    RegisterWrite(row.commands->addressHigh, 0);
    uint32_t lastHigh = 0;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        LatchAddress(ChipAddress, lastHigh);
        ExpectedValue = RunBufferByte(BufferIndex);
        if ((r = LatchProgramByte()) == -1) break;
        BufferIndex += AddressStep;
    }
    LatchPowerDown();
    return r;
}

int LatchReadRange(const LatchRow& row, int mode) {
    if (LatchPowerUp(row, 2) == -1) {
        LatchPowerDown();
        return -1;
    }
    RegisterWrite(row.commands->addressHigh, 0);
    uint32_t lastHigh = 0;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        if (row.resetEntry) {
            LatchAddress(ChipAddress, lastHigh);
        } else {
            // Row 179 writes its before-address register only when programming.
            RegisterWrite(row.commands->addressLow, static_cast<uint8_t>(ChipAddress));
            const uint32_t high = (ChipAddress >> 8) & 0xFF;
            if (high != lastHigh) RegisterWrite(row.commands->addressHigh, static_cast<uint8_t>(high));
            lastHigh = high;
        }
        SelectRegister(row.commands->dataRegister);
        LatchRead();
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    LatchPowerDown();
    return r;
}

// Up to 25 lock pulses, each followed by the lock check; the first check
// that reads locked ends it with 1.
int LatchSecure(const LatchRow& row) {
    if (LatchPowerUp(row, 6) == -1) {
        LatchPowerDown();
        return -1;
    }
    if (row.resetEntry) {
        RegisterWrite(row.commands->mode, 4);
    } else {
        SelectRegister(row.commands->dataRegister);
    }
    ExpectedValue = 0;
    int r = -1;
    for (int n = 0; n < kLatchAttempts; ++n) {
        if (row.resetEntry) SelectRegister(row.commands->dataRegister);
        LatchProgramPulse();
        if (LockCheck() == -1) {
            r = 1;
            break;
        }
    }
    LatchPowerDown();
    return r;
}

int Alg179Read(int mode) {
    return LatchReadRange(kRow179, mode);
}
int Alg179Program() {
    return LatchProgram(kRow179);
}
int Alg179Secure() {
    return LatchSecure(kRow179);
}
int Alg177Read(int mode) {
    return LatchReadRange(kRow177, mode);
}
int Alg177Program() {
    return LatchProgram(kRow177);
}
int Alg177Secure() {
    return LatchSecure(kRow177);
}

// The rows address 16 bits and never change bank.
std::string LatchRecordCheck(uint32_t row, const RowRecordFacts& record) {
    if (record.DeviceSize > 0x10000)
        return "size past the 64 KB that algorithm " + std::to_string(row) + " addresses";
    return {};
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 179,
     .Read = Alg179Read,
     .Program = Alg179Program,
     .Secure = Alg179Secure,
     .RecordCheck = LatchRecordCheck},
    {.Row = 177,
     .Read = Alg177Read,
     .Program = Alg177Program,
     .Secure = Alg177Secure,
     .VariantCount = k177PinCount,
     .VariantTable = "pin layout",
     .RecordCheck = LatchRecordCheck},
};

} // namespace

ROW_FAMILY("CommandLatch", Mcu, 160, kAlgorithmRows);
