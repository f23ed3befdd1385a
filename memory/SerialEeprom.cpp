#include "memory/SerialEeprom.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

const MicrowireVariant MicrowireVariantTables[MicrowireVariantCount] = {
    {2, 6, 24}, {2, 7, 24}, {2, 8, 24}, {2, 6, 27}, {4, 7, 27}, {2, 8, 27},
    {4, 8, 27}, {4, 6, 27}, {4, 4, 0},  {4, 4, 24}, {2, 10, 24},
};

namespace {

// n bits clocked in least significant first: per bit a PulsePin of `clock`
// with `pulse`, then the level of `data`.
uint32_t ClockInLsbFirst(int clock, int pulse, int data, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        PulsePin(clock, pulse);
        v |= static_cast<uint32_t>(GetPin(data)) << i;
    }
    return v;
}

// ---- row 10: Microwire words through the word engine ------------------------------

namespace row10 {

MicrowireVariant g_variant;
uint32_t g_base = 2;  // register 0 while deselected
uint32_t g_reg4 = 1;  // register 4 at power-up
bool g_eraseFirst = false;

void Settings() {
    g_variant = MicrowireVariantTables[DeviceVariant];
    g_eraseFirst = DeviceSubVariant == 1;
    g_base = DeviceVariant == 10 ? 6 : 2;
    g_reg4 = g_variant.DataOutPin == 27 ? 3 : 1;
}
void IdleLines() {
    WriteRegister(4, 1);
    WriteRegister(0, 2);
    if (DeviceVariant == 10) WriteRegister(0, 6);
    if (g_variant.DataOutPin == 27) WriteRegister(4, 3);
}
void AfterSupply() {
    DelayMs(1);
    WriteRegister(3, 0x0C);
}
void ParkLines() { WriteRegister(4, g_reg4); }
constexpr SerialRow kRow{1, 16, true, false, Settings, IdleLines, AfterSupply, ParkLines};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }
void Select() { WriteRegister(0, g_base | 1); }
void Deselect() { WriteRegister(0, g_base); }

int Clock(uint32_t bit) {
    WriteRegister(7, bit * 0x80);
    WriteRegister(8, 1);
    return WordEngineWaitIdle();
}
// Start bit and the top OpcodeBits bits of the 4-bit code: 8 read, 4 write,
// 0Ch erase, 3 write enable.
void Instruction(uint32_t code) {
    WordEngineSend(0x2000, 3);
    WordEngineSend(code << 12, g_variant.OpcodeBits);
}
void Address(uint32_t a) { WordEngineShift(a, g_variant.AddressBits); }

void WriteEnable() {
    Select();
    Instruction(3);
    Address(g_variant.OpcodeBits == 2 ? 0xFFF : 0);
    WordEngineShift(0, 16);
    Deselect();
    Clock(0);
}

// After a write or erase: the fixed wait, or DO polled for ready.
int Completion() {
    if (g_variant.DataOutPin == 0) {
        DelayUs(PulseWidth);
        return 1;
    }
    Clock(0);
    Select();
    const uint32_t mask = g_variant.DataOutPin == 24 ? 1 : 4;
    for (int i = 0; i < 1000 && !SerialEngineLost(); ++i) {
        Clock(0);
        DelayShortUs(100);
        if (ReadRegister(9) & mask) {
            Deselect();
            return 1;
        }
    }
    return -1;
}

bool VariantKnown() { return DeviceVariant < MicrowireVariantCount; }

int Read(int mode) {
    if (!VariantKnown()) return -1;
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        Select();
        Instruction(8);
        Address(ChipAddress);
        Clock(0);
        WriteRegister(8, 15);
        WordEngineWaitIdle();
        ReadValue = ReadRegister(6) | (ReadRegister(7) << 8);
        Deselect();
        return ProcessReadWord(mode);
    });
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!VariantKnown()) return -1;
    PowerOnDevice(1);
    WriteEnable();
    if (g_eraseFirst) {
        for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
            Select();
            Instruction(0x0C);
            Address(static_cast<uint32_t>(a));
            Deselect();
            // A part that never gets ready ends the entry as it stands; a
            // programmer that stopped answering ends it powered down.
            if (Completion() != 1) return SerialEngineLost() ? SerialEndEntry(kRow, -1) : -1;
        }
    }
    const int r = SerialReadWalk([&] {
        Select();
        Instruction(4);
        Address(ChipAddress);
        ExpectedValue = BufferWordAt(BufferIndex);
        WordEngineShift(ExpectedValue, 16);
        Deselect();
        if (Completion() != 1) return SerialEngineLost() ? -1 : kSerialNotReady;
        BufferIndex += 1;
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row10

// ---- row 18: Microwire bytes through the pin driver ----------------------------------

namespace row18 {

constexpr int kCs = 21, kClk = 22, kDi = 23, kDo = 24;

void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(kClk, 0);
    SetPin(kDi, 0);
    SetPin(kCs, 0);
}
void AfterSupply() { DelayMs(10); }
constexpr SerialRow kRow{1, 16, false, true, nullptr, IdleLines, AfterSupply, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Bit(uint32_t b) {
    SetPin(kDi, static_cast<int>(b & 1));
    PulsePin(kClk, 3);
    SetPin(kDi, 0);
}
void Bits(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) Bit(value >> i);
}
// Leading 0, start bit, 2-bit code: 10b read, 01b write, 00b enable group.
void Instruction(uint32_t code) {
    Bits(1, 2);
    Bits(code, 2);
}
int AddressBits() { return DeviceVariant == 0 ? 7 : 9; }

int ReadyWait() {
    SetPin(kCs, 1);
    for (int i = 0; i < 1000; ++i) {
        Bit(0);
        DelayShortUs(100);
        if (GetPin(kDo) == 1) {
            SetPin(kCs, 0);
            return 1;
        }
    }
    return -1;
}

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        SetPin(kCs, 1);
        Instruction(2);
        Bits(ChipAddress, AddressBits());
        uint32_t v = 0;
        for (int i = 0; i < 8; ++i) {
            Bit(0);
            v = (v << 1) | static_cast<uint32_t>(GetPin(kDo));
        }
        ReadValue = v;
        SetPin(kCs, 0);
        return ProcessReadByte(mode);
    });
    return SerialEndEntry(kRow, r);
}

int Program() {
    PowerOnDevice(1);
    SetPin(kCs, 1);
    Instruction(0);
    Bits(DeviceVariant == 0 ? 0x60 : 0x180, AddressBits());
    SetPin(kCs, 0);
    const int r = SerialReadWalk([&] {
        SetPin(kCs, 1);
        Instruction(1);
        Bits(ChipAddress, AddressBits());
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        Bits(ExpectedValue, 8);
        SetPin(kCs, 0);
        if (ReadyWait() != 1) return kSerialNotReady;
        BufferIndex += 1;
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row18

// ---- row 11: two-wire through the byte engine ------------------------------------------

namespace row11 {

uint32_t g_page = 16;

void Settings() { g_page = PageSize; }
void IdleLines() {
    WriteRegister(0, 0);
    WriteRegister(4, 2);
}
void AfterSupply() {
    WriteRegister(4, 3);
    DelayMs(1);
    WriteRegister(4, 1);
    if (MakerIndex == MakerSamsung) WriteRegister(5, 1);
    if (DeviceSubVariant == 2) {
        SerialBusStart();
        WriteRegister(0, 8);
    }
}
void ParkLines() { WriteRegister(4, 2); }
constexpr SerialRow kRow{1, 16, false, false, Settings, IdleLines, AfterSupply, ParkLines};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Send(uint32_t b) {
    WriteRegister(4, 1);
    WriteRegister(6, b & 0xFF);
    SerialEngineShift(9);
}
void Receive(bool last) {
    WriteRegister(4, 3);
    SerialEngineShift(8);
    ReadValue = ReadRegister(6);
    if (last) WriteRegister(6, 0xFF);
    WriteRegister(4, 1);
    SerialEngineShift(1);
}
// The bytes that address `a` for writing in the variant's form.
void AddressBytes(uint32_t a) {
    switch (DeviceVariant) {
    case 0:
        Send((a * 2) & 0xFE);
        break;
    case 1:
        Send(0xA0 | (((a >> 8) * 2) & 0x0E));
        Send(a & 0xFF);
        break;
    default:
        Send(0xA0);
        Send((a >> 8) & 0xFF);
        Send(a & 0xFF);
        break;
    }
}

bool Valid() { return DeviceVariant < TwoWireFormCount && SerialPageSizeValid(PageSize); }

int Read(int mode) {
    if (DeviceVariant >= TwoWireFormCount) return -1;
    PowerOnDevice(2);
    // The pointer goes to DeviceStart first (and to every block start in form 1).
    if (DeviceVariant == 0) {
        SerialBusStart();
        Send(((DeviceStart * 2) | 1) & 0xFF);
    } else if (DeviceVariant == 2) {
        SerialBusStart();
        AddressBytes(DeviceStart);
        SerialBusStart();
        Send(0xA1);
    }
    const int r = SerialReadWalk([&] {
        const uint32_t a = ChipAddress;
        const bool form1 = DeviceVariant == 1;
        if (form1 && ((a & 0xFF) == 0 || a == DeviceStart)) {
            SerialBusStart();
            AddressBytes(a);
            SerialBusStart();
            Send(0xA1 | (((a >> 8) * 2) & 0x0E));
        }
        const bool last = form1 && (a & 0xFF) == 0xFF;
        Receive(last);
        if (last) SerialBusStop();
        return ProcessReadByte(mode);
    });
    if (r != 3) SerialBusStop();
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!Valid()) return -1;
    PowerOnDevice(1);
    WriteRegister(0, DeviceSubVariant == 0 ? 0 : 8);
    const int r = EnginePageWrites(g_page, AddressBytes, Send);
    return SerialEndEntry(kRow, r);
}

} // namespace row11

// ---- row 81: two-wire through the pin driver --------------------------------------------

namespace row81 {

constexpr int kSda = 25, kScl = 26;
uint32_t g_page = 8;

void Settings() { g_page = PageSize; }
void IdleLines() {
    FloatPinRange(1, 48);
    for (int p : {21, 22, 23}) SetPin(p, 0);
    SetPin(27, 1);
    SetPin(kScl, 0);
}
void AfterSupply() { DelayMs(10); }
constexpr SerialRow kRow{1, 16, false, false, Settings, IdleLines, AfterSupply, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Set(std::initializer_list<std::pair<int, int>> steps) {
    for (const auto& [pin, level] : steps) SetPin(pin, level);
}
void Start() { Set({{kSda, 1}, {kScl, 1}, {kSda, 0}, {kScl, 0}}); }
void Stop() { Set({{kSda, 0}, {kScl, 1}, {kSda, 1}, {kScl, 0}, {kSda, 0}}); }
// The ninth clock with SDA held low, then SDA released.
void AckClock() {
    SetPin(kSda, 0);
    PulsePin(kScl, 3);
    SetPin(kSda, 2);
}
void Send(uint32_t b) {
    PinShiftOutMsbFirst(kSda, kScl, 3, b, 8);
    AckClock();
}
void Receive() {
    ReadValue = PinShiftInMsbFirst(kSda, kScl, 3, 8);
    AckClock();
}

int Read(int mode) {
    PowerOnDevice(2);
    Start();
    Send(0xA0);
    Send(DeviceStart & 0xFF);
    Start();
    Send(0xA1);
    const int r = SerialReadWalk([&] {
        Receive();
        return ProcessReadByte(mode);
    });
    if (r != 3) Stop();
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!SerialPageSizeValid(PageSize)) return -1;
    PowerOnDevice(1);
    const int r = SerialPageLoop(g_page, [](uint32_t n) {
        Start();
        Send(0xA0);
        Send(ChipAddress & 0xFF);
        SendPage(n, Send);
        Stop();
        for (uint32_t i = 0; i < g_page; ++i) DelayUs(PulseWidth);
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row81

// ---- row 12: serial NOVRAM through the pin driver ---------------------------------------

namespace row12 {

constexpr int kCe = 21, kClk = 22, kDi = 23, kDo = 24, kRecall = 26, kStore = 27;

void IdleLines() {
    SetPin(kDo, 2);
    SetPin(kRecall, 1);
    SetPin(kStore, 1);
}
// The recall pulse copies the EEPROM into the RAM and allows a later store.
void AfterSupply() {
    SetPin(28, 2);
    DelayMs(100);
    SetPin(kRecall, 0);
    SetPin(kRecall, 1);
}
constexpr SerialRow kRow{1, 0, true, false, nullptr, IdleLines, AfterSupply, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Bit(uint32_t b) {
    SetPin(kDi, static_cast<int>(b & 1));
    SetPin(kClk, 1);
    SetPin(kClk, 0);
    SetPin(kDi, 0);
}
void Instruction(uint32_t code) {
    for (int i = 7; i >= 0; --i) Bit(code >> i);
}
void WriteWord(uint32_t a) {
    SetPin(kCe, 1);
    Instruction(((a * 8) | 0x83) & 0xFF);
    for (int i = 0; i < 16; ++i) Bit(ExpectedValue >> i);
    SetPin(kCe, 0);
}
void ReadWord(uint32_t a) {
    SetPin(kCe, 1);
    Instruction(((a * 8) | 0x86) & 0xFF);
    uint32_t v = 0;
    for (int i = 0; i < 16; ++i) {
        v |= static_cast<uint32_t>(GetPin(kDo)) << i;
        Bit(0);
    }
    ReadValue = v;
    SetPin(kCe, 0);
}

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        ReadWord(ChipAddress);
        const int d = ProcessReadWord(mode);
        if (d == 1 && BufferIndex >= 0x8000 && mode != 0) return AdvanceToNextBank();
        return d;
    });
    return SerialEndEntry(kRow, r);
}

int Program() {
    PowerOnDevice(1);
    SetPin(kCe, 1);
    Instruction(0x84);
    SetPin(kCe, 0);
    const int r = SerialReadWalk([&] {
        ExpectedValue = BufferWordAt(BufferIndex);
        WriteWord(ChipAddress);
        ReadWord(ChipAddress);
        if (ReadValue != ExpectedValue) return -1;
        BufferIndex += AddressStep;
        return BufferIndex >= 0x8000 ? AdvanceToNextBank() : 1;
    });
    if (r == 1) {
        // Only a complete run stores the RAM into the EEPROM.
        SetPin(kCe, 1);
        SetPin(kStore, 0);
        SetPin(kCe, 0);
        DelayUs(PulseWidth);
        SetPin(kStore, 1);
    }
    return SerialEndEntry(kRow, r);
}

} // namespace row12

// ---- row 17: address-first byte frames through the pin driver ---------------------------

namespace row17 {

constexpr int kCs = 21, kClk = 22, kDi = 23, kDo = 24, kReady = 27;

void IdleLines() {
    SetPin(25, 0);
    SetPin(28, 2);
    SetPin(kCs, 1);
    SetPin(kClk, 0);
    SetPin(kDi, 0);
    SetPin(kDo, 2);
    SetPin(26, 0);
    SetPin(kReady, 2);
}
void AfterSupply() {
    DelayMs(1);
    SetPin(26, 1);
    SetPin(kClk, 1);
}
constexpr SerialRow kRow{1, 16, true, false, nullptr, IdleLines, AfterSupply, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void ByteOut(uint32_t v) {
    for (int i = 0; i < 8; ++i) {
        SetPin(kDi, static_cast<int>((v >> i) & 1));
        PulsePin(kClk, 2);
        SetPin(kDi, 0);
    }
}
void Frame(uint32_t address, uint32_t code) {
    SetPin(kCs, 0);
    ByteOut(address & 0xFF);
    ByteOut(code);
}
int ReadyWait() {
    for (int i = 0; i < 1000; ++i) {
        DelayShortUs(100);
        if (GetPin(kReady) == 1) return 1;
    }
    return -1;
}

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        Frame(ChipAddress, 0x01);
        ReadValue = ClockInLsbFirst(kClk, 2, kDo, 8);
        SetPin(kCs, 1);
        return ProcessReadByte(mode);
    });
    return SerialEndEntry(kRow, r);
}

int Program() {
    PowerOnDevice(1);
    Frame(0, 0x09);
    SetPin(kCs, 1);
    const int r = SerialReadWalk([&] {
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        Frame(ChipAddress, 0x06);
        ByteOut(ExpectedValue);
        SetPin(kCs, 1);
        if (ReadyWait() != 1) return kSerialNotReady;
        BufferIndex += 1;
        return 1;
    });
    if (r == 1) {
        Frame(0, 0x0B);
        SetPin(kCs, 1);
    }
    return SerialEndEntry(kRow, r);
}

int Erase() {
    PowerOnDevice(1);
    Frame(0, 0x09);
    SetPin(kCs, 1);
    Frame(0, 0x0C);
    SetPin(kCs, 1);
    const int r = ReadyWait();
    return SerialEndEntry(kRow, r);
}

} // namespace row17

// ---- row 70: 16-bit words with an instruction byte, pins by package ----------------------

namespace row70 {

struct Pins {
    int Cs, Clk, Di, Do, Pe;
};
Pins g_pins{21, 22, 23, 24, 26};

void Settings() {
    g_pins = PackageRow(PackageIndex).Type == 0 ? Pins{21, 22, 23, 24, 26} : Pins{23, 24, 25, 26, 28};
}
void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(g_pins.Cs, 1);
    SetPin(g_pins.Pe, 1);
    SetPin(g_pins.Clk, 1);
    SetPin(g_pins.Di, 0);
}
void AfterSupply() { DelayMs(1); }
void ParkLines() {
    SetPin(g_pins.Cs, 1);
    SetPin(g_pins.Pe, 1);
}
constexpr SerialRow kRow{0, 16, true, false, Settings, IdleLines, AfterSupply, ParkLines};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

// n bits of value, MSB or LSB first, each clocked low then high.
void Shift(uint32_t value, int n, bool msbFirst) {
    for (int i = 0; i < n; ++i) {
        SetPin(g_pins.Di, static_cast<int>((value >> (msbFirst ? n - 1 - i : i)) & 1));
        PulsePin(g_pins.Clk, 2);
    }
}
void Command(uint32_t code, uint32_t a) {
    SetPin(g_pins.Cs, 0);
    Shift((a >> 8) | code, 8, true);
    Shift(a & 0xFF, 8, false);
}
int ReadyWait() {
    SetPin(g_pins.Clk, 0);
    SetPin(g_pins.Cs, 0);
    int r = -1;
    for (int i = 0; i < 100 && r != 1; ++i) {
        DelayMs(1);
        if (GetPin(g_pins.Do) == 1) r = 1;
    }
    if (r != 1) return -1;
    SetPin(g_pins.Cs, 1);
    SetPin(g_pins.Clk, 1);
    return 1;
}

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        Command(0xA8, ChipAddress);
        ReadValue = ClockInLsbFirst(g_pins.Clk, 2, g_pins.Do, 16);
        SetPin(g_pins.Cs, 1);
        return ProcessReadWord(mode);
    });
    return SerialEndEntry(kRow, r);
}

int Program() {
    PowerOnDevice(1);
    SetPin(g_pins.Cs, 0);
    Shift(0xA300, 16, true);
    SetPin(g_pins.Cs, 1);
    const int r = SerialReadWalk([&] {
        ExpectedValue = BufferWordAt(BufferIndex);
        SetPin(g_pins.Pe, 0);
        Command(0xA4, ChipAddress);
        Shift(ExpectedValue, 16, false);
        SetPin(g_pins.Cs, 1);
        if (ReadyWait() != 1) return kSerialNotReady; // program enable stays low
        SetPin(g_pins.Pe, 1);
        BufferIndex += 1;
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row70

// ---- row 71: a command byte after a start condition, pin driver ----------------------------

namespace row71 {

constexpr int kSda = 25, kScl = 26;

void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(kScl, 0);
}
constexpr SerialRow kRow{1, 16, false, false, nullptr, IdleLines, nullptr, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Start() {
    for (auto [pin, level] : {std::pair{kSda, 1}, {kScl, 1}, {kSda, 0}, {kScl, 0}}) SetPin(pin, level);
}
// The start with 12.0 V on the clock pin instead of the logic high.
void HighVoltageStart() {
    SetPin(kSda, 1);
    ApplyVoltageToPin(2, kScl, 1, 120);
    SetPin(kSda, 0);
    ApplyVoltageToPin(2, kScl, 0, 50);
}
void Stop() {
    for (auto [pin, level] : {std::pair{kScl, 1}, {kSda, 1}, {kScl, 0}, {kSda, 0}}) SetPin(pin, level);
}
void Send(uint32_t b) {
    PinShiftOutMsbFirst(kSda, kScl, 3, b, 8);
    SetPin(kSda, 2);
}
void Receive() { ReadValue = PinShiftInMsbFirst(kSda, kScl, 3, 8); }

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        Start();
        Send(((ChipAddress * 4) | 0x80) & 0xFF);
        Receive();
        return ProcessReadByte(mode);
    });
    if (r != 3) Stop();
    return SerialEndEntry(kRow, r);
}

int Program() {
    // Variants past 1 would write without any start condition.
    if (DeviceVariant > 1) return -1;
    PowerOnDevice(1);
    const int r = SerialReadWalk([&] {
        if (DeviceVariant == 0) Start();
        else HighVoltageStart();
        Send(((ChipAddress * 4) | 0x40) & 0xFF);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        Send(ExpectedValue);
        Stop();
        DelayUs(PulseWidth);
        BufferIndex += 1;
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row71

// ---- row 15: select-line frames, least significant bit first, pin driver --------------------

namespace row15 {

constexpr int kSel = 22, kData = 24, kClk = 25;

// The operation driver blank-checks after this row's Erase step.
void Settings() { BlankCheckAfterErase = 1; }
void IdleLines() {
    FloatPinRange(21, 28);
    SetGroundPin(27, 1);
    SetPin(kSel, 1);
    SetPin(kClk, 0);
}
void AfterSupply() { DelayMs(10); }
constexpr SerialRow kRow{1, 16, false, false, Settings, IdleLines, AfterSupply, nullptr};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }

void Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
        SetPin(kData, static_cast<int>((value >> i) & 1));
        PulsePin(kClk, 3);
    }
}
// Select high, the frame's bits, select low; erase and write then take one
// more clock and the write time.
void Frame(uint32_t bits, int n) {
    SetPin(kSel, 1);
    Bits(bits, n);
}
void StartWrite() {
    SetPin(kSel, 0);
    PulsePin(kClk, 3);
    DelayUs(PulseWidth);
}

int Read(int mode) {
    PowerOnDevice(2);
    const int r = SerialReadWalk([&] {
        Frame(ChipAddress & 0x7F, 8); // bit 7 0: read
        SetPin(kSel, 0);
        SetPin(kData, 2);
        ReadValue = ClockInLsbFirst(kClk, 3, kData, 8);
        return ProcessReadByte(mode);
    });
    return SerialEndEntry(kRow, r);
}

// The data byte goes before the address.
int Program() {
    PowerOnDevice(1);
    const int r = SerialReadWalk([&] {
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        Frame(ExpectedValue | (ChipAddress & 0x7F) << 8 | 0x8000, 16);
        SetPin(kData, 0);
        StartWrite();
        BufferIndex += AddressStep;
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

int Erase() {
    PowerOnDevice(1);
    const int r = SerialReadWalk([&] {
        Frame((ChipAddress & 0x7F) | 0x80, 8);
        StartWrite();
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row15

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 10,
     .Read = row10::Read,
     .Program = row10::Program,
     .VariantCount = MicrowireVariantCount,
     .VariantTable = "MicrowireVariantTables"},
    {.Row = 11,
     .Read = row11::Read,
     .Program = row11::Program,
     .VariantCount = TwoWireFormCount,
     .VariantTable = "the two-wire address forms",
     .LeastPage = 1,
     .MostPage = 256},
    {.Row = 18, .Read = row18::Read, .Program = row18::Program},
    {.Row = 81, .Read = row81::Read, .Program = row81::Program, .LeastPage = 1, .MostPage = 256},
    {.Row = 12, .Read = row12::Read, .Program = row12::Program},
    {.Row = 17, .Read = row17::Read, .Program = row17::Program, .Erase = row17::Erase},
    {.Row = 70, .Read = row70::Read, .Program = row70::Program},
    {.Row = 71,
     .Read = row71::Read,
     .Program = row71::Program,
     .VariantCount = 2,
     .VariantTable = "the start conditions"},
    {.Row = 15, .Read = row15::Read, .Program = row15::Program, .Erase = row15::Erase},
};

void InstallSerialEepromRows() {
    InstallRows(kAlgorithmRows);
}
