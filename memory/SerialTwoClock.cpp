#include "memory/SerialTwoClock.h"

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

namespace row85 {

// Control, data, the clock of driven bits, the clock of the chip's bits.
constexpr int kCtl = 21, kData = 22, kDclk = 25, kRclk = 26;
constexpr uint32_t kPage = 8;
constexpr int kAttempts = 3;

// The page is 8 bytes whatever the record says.
void Settings() { PageSize = kPage; }
void IdleLines() {
    FloatPinRange(1, 48);
    for (int p : {kCtl, 23, kRclk, kDclk}) SetPin(p, 1);
}
void AfterSupply() {
    DelayMs(100);
    SetPin(kCtl, 0);
}
void ParkLines() { SetPin(kCtl, 1); }
constexpr SerialRow kRow{0, 0, false, false, Settings, IdleLines, AfterSupply, ParkLines};

void DriveBit(int b) {
    SetPin(kData, b);
    PulsePin(kDclk, 2);
}
// One bit driven between two clocks of the chip: 0 opens a frame, 1 ends a write.
void Marker(int b) {
    PulsePin(kRclk, 2);
    DriveBit(b);
    SetPin(kData, 2);
    PulsePin(kRclk, 2);
}
void Send(uint32_t b) {
    PinShiftOutMsbFirst(kData, kDclk, 2, b, 8);
    SetPin(kData, 2);
}
int ReceiveBit() {
    SetPin(kRclk, 0);
    const int b = GetPin(kData);
    SetPin(kRclk, 1);
    return b;
}
uint32_t Receive() {
    uint32_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 1) | static_cast<uint32_t>(ReceiveBit());
    return v;
}
void Open(uint32_t address) {
    Marker(0);
    Send((address >> 8) & 0xFF);
    Send(address & 0xFF);
}
uint32_t PageByte(uint32_t i) { return BufferWindow[(BufferIndex + i * AddressStep) & 0xFFFF]; }

int WritePage(uint32_t n) {
    Open(ChipAddress);
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = PageByte(i);
        Send(ExpectedValue);
    }
    Marker(1);
    for (int i = 0; i < 100; ++i) {
        DelayShortUs(100);
        if (ReceiveBit() == 1) return 1;
    }
    return -1;
}
int VerifyPage(uint32_t n) {
    Open(ChipAddress);
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = PageByte(i);
        ReadValue = Receive();
        if (ReadValue != ExpectedValue) return -1;
    }
    return 1;
}
// Written and read back up to three times.
int ProgramPage(uint32_t n) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (WritePage(n) != 1) return -1;
        if (VerifyPage(n) == 1) return 1;
    }
    return -1;
}

int Read(int mode) {
    SerialPowerOn(kRow, 2);
    Open(DeviceStart);
    const int r = SerialReadWalk([&] {
        ReadValue = Receive();
        const int d = ProcessReadByte(mode);
        return d == 1 && BufferIndex >= 0x10000 ? AdvanceToNextBank() : d;
    });
    return SerialEndEntry(kRow, r);
}

// Pages never cross a page boundary of the chip nor pass DeviceEnd.
int Program() {
    SerialPowerOn(kRow, 1);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1;) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPage - a % kPage, uint64_t{DeviceEnd} - a + 1));
        if (r == 1) r = ProgramPage(n);
        if (r != 1) break;
        BufferIndex += n * AddressStep;
        if (BufferIndex >= 0x10000) r = AdvanceToNextBank();
        a += n;
    }
    return SerialEndEntry(kRow, r);
}

} // namespace row85

} // namespace

void InstallSerialTwoClockRows() { InstallRow(85, row85::Read, row85::Program); }
