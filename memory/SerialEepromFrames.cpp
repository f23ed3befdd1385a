// The serial memory rows with frames of their own, driven pin by pin: 12
// (serial NOVRAM), 17 (address-first byte frames), 70 (16-bit words with an
// instruction byte), 71 (a command byte after a start condition) and 15
// (select-line frames, least significant bit first). Their row table is
// SerialEeprom.cpp's.
#include "memory/SerialEepromShared.h"

#include <utility>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

namespace serialeeprom {

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
} // namespace

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
// The part reports no erase error (its ready pin only says the cycle is
// over): the operation driver blank-checks after this row's Erase step.
void Settings() { BlankCheckAfterErase = 1; }
constexpr SerialRow kRow{1, 16, true, false, Settings, IdleLines, AfterSupply, nullptr};

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
        ExpectedValue = RunBufferByte(BufferIndex);
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
        ExpectedValue = RunBufferByte(BufferIndex);
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
        ExpectedValue = RunBufferByte(BufferIndex);
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

} // namespace serialeeprom
