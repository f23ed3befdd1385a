#include "memory/SerialFrame.h"

#include "memory/MemoryFrame.h"

#include "engine/Operation.h"
#include "engine/Services.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"

namespace {
// Polls of an engine's busy bit before the programmer counts as gone; a
// shift of 16 cycles ends within a few polls.
constexpr int kEngineWaitPolls = 2000;
bool g_engineLost = false;

int WaitBusyBit(uint32_t reg) {
    if (g_engineLost) return -1;
    for (int i = 0; i < kEngineWaitPolls; ++i) {
        if ((ReadRegister(reg) & 2) == 0) return 1;
    }
    g_engineLost = true;
    MarkLinkLost();
    return -1;
}
} // namespace

bool SerialEngineLost() { return g_engineLost; }
void SerialEngineArm() { g_engineLost = false; }

void PinShiftOutMsbFirst(int data, int clock, int pulse, uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
        SetPin(data, static_cast<int>((value >> i) & 1));
        PulsePin(clock, pulse);
    }
}

uint32_t PinShiftInMsbFirst(int data, int clock, int pulse, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 1) | static_cast<uint32_t>(GetPin(data));
        PulsePin(clock, pulse);
    }
    return v;
}

namespace spi_pins {
void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(kWp, 1);
    SetPin(kCs, 1);
    SetPin(kClk, 0);
    SetPin(kSi, 0);
}
void Send(uint32_t b) { PinShiftOutMsbFirst(kSi, kClk, 3, b, 8); }
uint32_t Receive() { return PinShiftInMsbFirst(kSo, kClk, 3, 8); }
} // namespace spi_pins

bool SerialPageSizeValid(uint32_t page) { return page >= 1 && page <= 256; }

void SerialPowerOn(const SerialRow& row, int mode) {
    g_engineLost = false;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    if (row.ProgressStep != 0) ProgressStep = row.ProgressStep;
    if (row.Settings) row.Settings();
    SetVccRange(row.VccRangeMode, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMs(100);
    if (row.IdleLines) row.IdleLines();
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    if (row.AfterSupply) row.AfterSupply();
}

void SerialPowerOff(const SerialRow& row) {
    if (row.ParkLines) row.ParkLines();
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    if (!row.KeepGround) SetDeviceGround(0);
    if (row.ResetAtPowerDown) ResetProgrammerOutputs();
}

int SerialNoAnswer(const char* why, int r) {
    ExpectedValue = DataWidth > 8 ? BufferWordAt(BufferIndex) : RunBufferByte(BufferIndex);
    FailWithoutDatum(why);
    return r;
}

int SerialRegisterReadBack(const char* name, uint32_t written, uint32_t read, uint32_t compared) {
    if (((written ^ read) & compared) == 0) return 1;
    ShowMessageLine(" %s : %02x written, %02x read", name, written & 0xFF, read & 0xFF);
    return -1;
}

int SerialEndEntry(const SerialRow& row, int r) {
    if (r == kSerialNotReady) return SerialNoAnswer(kSerialNotReadyText, -1);
    SerialPowerOff(row);
    return g_engineLost ? -1 : r;
}

int SerialEngineWaitIdle() { return WaitBusyBit(7); }

int SerialEngineShift(uint32_t cycles) {
    if (g_engineLost) return -1;
    WriteRegister(7, cycles);
    return SerialEngineWaitIdle();
}

int SerialEngineSendByte(uint32_t value) {
    WriteRegister(6, value & 0xFF);
    return SerialEngineShift(8);
}

int SerialEngineReceiveByte() {
    const int r = SerialEngineShift(8);
    ReadValue = ReadRegister(6);
    return r;
}

void SerialBusStart() {
    for (uint32_t v : {1u, 3u, 2u, 0x0Cu}) WriteRegister(3, v);
}

void SerialBusStop() {
    for (uint32_t v : {2u, 3u, 1u, 0x0Cu}) WriteRegister(3, v);
}

int WordEngineWaitIdle() { return WaitBusyBit(9); }
int CommandEngineWaitIdle() { return WaitBusyBit(5); }

int WordEngineSend(uint32_t value16, uint32_t n) {
    if (g_engineLost) return -1;
    WriteRegister(6, value16 & 0xFF);
    WriteRegister(7, (value16 >> 8) & 0xFF);
    WriteRegister(8, n);
    return WordEngineWaitIdle();
}

int WordEngineShift(uint32_t value, uint32_t n) { return WordEngineSend((value << (16 - n)) & 0xFFFF, n); }

// The page's bytes from the buffer window through a row's send.
void SendPage(uint32_t n, void (*send)(uint32_t)) {
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = RunBufferByte(BufferIndex + i);
        send(ExpectedValue);
    }
}

// The two-wire page write of the engine rows with a fixed wait: start, the
// address bytes, the page, stop, PulseWidth.
int EnginePageWrites(uint32_t page, void (*address)(uint32_t), void (*send)(uint32_t)) {
    return SerialPageLoop(page, [&](uint32_t n) {
        SerialBusStart();
        address(ChipAddress);
        SendPage(n, send);
        SerialBusStop();
        DelayUs(PulseWidth);
        return 1;
    });
}
