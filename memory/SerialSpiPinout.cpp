#include "memory/SerialSpiPinout.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

namespace {

// ---- row 48: A7h read, A6h/A4h write enable/disable, A2h page write -------------------

namespace row48 {

constexpr int kCs = 21, kSo = 22, kWp = 23, kSi = 25, kClk = 26;
uint32_t g_page = 16;

void Settings() { g_page = PageSize; }
void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(kWp, 1);
    SetPin(kCs, 1);
    SetPin(kClk, 0);
    SetPin(kSi, 0);
}
void AfterSupply() { DelayMs(100); }
constexpr SerialRow kRow{0, 16, true, false, Settings, IdleLines, AfterSupply, nullptr};

// The chip takes SI on the rising clock and has its bit out before each clock.
void Send(uint32_t b) { PinShiftOutMsbFirst(kSi, kClk, 3, b, 8); }
uint32_t Receive() { return PinShiftInMsbFirst(kSo, kClk, 3, 8); }
// Selected: A7h, address 0 and the chip's access byte, dropped.
void StartRead() {
    SetPin(kCs, 0);
    Send(0xA7);
    Send(0x00);
    Receive();
}
void Instruction(uint32_t code) {
    SetPin(kCs, 0);
    Send(code);
    SetPin(kCs, 1);
}

// The read stream runs from chip address 0: the bytes below DeviceStart are
// clocked past before the range.
int Read(int mode) {
    if (!SerialPageSizeValid(PageSize)) return -1;
    SerialPowerOn(kRow, 2);
    StartRead();
    for (uint32_t a = 0; a < DeviceStart; ++a) Receive();
    const int r = SerialReadWalk([&] {
        ReadValue = Receive();
        return ProcessReadByte(mode);
    });
    if (r == 1) SetPin(kCs, 1);
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!SerialPageSizeValid(PageSize)) return -1;
    SerialPowerOn(kRow, 1);
    StartRead();
    Receive();
    SetPin(kCs, 1);
    Instruction(0xA6);
    const int r = SerialPageLoop(g_page, [](uint32_t n) {
        SetPin(kCs, 0);
        Send(0xA2);
        Send(ChipAddress & 0xFF);
        for (uint32_t i = 0; i < n; ++i) {
            ExpectedValue = BufferWindow[BufferIndex + i];
            Send(ExpectedValue);
        }
        SetPin(kCs, 1);
        DelayUs(PulseWidth);
        return 1;
    });
    if (r == 1) Instruction(0xA4);
    return SerialEndEntry(kRow, r);
}

} // namespace row48

} // namespace

void InstallSerialSpiPinoutRows() { InstallRow(48, row48::Read, row48::Program); }
