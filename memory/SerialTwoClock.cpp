// The serial EEPROM with 16-bit addresses, two clocks and page verify on the
// pin driver (row 85) and on the byte engine's two-clock form (row 44).

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

namespace {

constexpr int kAttempts = 3;
constexpr int kReadyPolls = 100;

namespace row85 {

// Control, data, the clock of driven bits, the clock of the chip's bits.
constexpr int kCtl = 21, kData = 22, kDclk = 25, kRclk = 26;
constexpr uint32_t kPage = 8;

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

struct Bus {
    static uint32_t Page() { return kPage; }
    // One bit driven between two clocks of the chip: 0 opens a frame, 1 ends a write.
    static void Preamble() { Marker(0); }
    static void WriteEnd() { Marker(1); }
    static void Marker(int b) {
        PulsePin(kRclk, 2);
        DriveBit(b);
        SetPin(kData, 2);
        PulsePin(kRclk, 2);
    }
    static void Send(uint32_t b) {
        PinShiftOutMsbFirst(kData, kDclk, 2, b, 8);
        SetPin(kData, 2);
    }
    static int ReceiveBit() {
        SetPin(kRclk, 0);
        const int b = GetPin(kData);
        SetPin(kRclk, 1);
        return b;
    }
    static uint32_t Receive() {
        uint32_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 1) | static_cast<uint32_t>(ReceiveBit());
        return v;
    }
    static bool Ready() { return ReceiveBit() == 1; }
    static const SerialRow& Row() { return kRow; }
    static bool Valid() { return true; }
    static void ProgramRun(bool) {}
};

} // namespace row85

// ---- row 44: the byte engine's two-clock form ----------------------------------------

namespace row44 {

uint32_t g_page = 8;

void Settings() { g_page = PageSize; }
void IdleLines() {
    WriteRegister(0, 1);
    WriteRegister(3, 0);
    WriteRegister(4, 2);
}
void AfterSupply() {
    WriteRegister(4, 3);
    DelayMs(100);
    WriteRegister(0, 0);
}
void ParkLines() {
    WriteRegister(0, 1);
    WriteRegister(4, 2);
}
constexpr SerialRow kRow{0, 0, false, false, Settings, IdleLines, AfterSupply, ParkLines};

// Register 4 picks the clock: 1 drives the data on the write clock, 3
// releases it to the chip on the read clock.
void Clock() { SerialEngineShift(1); }
void DrivenBit(uint32_t b) {
    WriteRegister(4, 1);
    WriteRegister(6, b);
    Clock();
    WriteRegister(4, 3);
}

struct Bus {
    static uint32_t Page() { return g_page; }
    static void Preamble() {
        Clock();
        DrivenBit(0x00);
        Clock();
    }
    static void WriteEnd() {
        Clock();
        DrivenBit(0xFF);
    }
    static void Send(uint32_t b) {
        WriteRegister(4, 1);
        SerialEngineSendByte(b);
        WriteRegister(4, 3);
    }
    static uint32_t Receive() {
        SerialEngineReceiveByte();
        return ReadValue & 0xFF;
    }
    static bool Ready() { return Receive() != 0; }
    static const SerialRow& Row() { return kRow; }
    static bool Valid() { return SerialPageSizeValid(PageSize); }
    // Register 3 is 1 for the program run and 0 on every way out of it.
    static void ProgramRun(bool on) { WriteRegister(3, on ? 1 : 0); }
};

} // namespace row44

// ---- what both rows do with their bus -----------------------------------------------

template <class Bus> void Open(uint32_t address) {
    Bus::Preamble();
    Bus::Send((address >> 8) & 0xFF);
    Bus::Send(address & 0xFF);
}
uint32_t PageByte(uint32_t i) { return RunBufferByte(BufferIndex + uint64_t{i} * AddressStep); }

// The byte of the page the last verify failed on.
uint32_t g_failedByte = 0;

template <class Bus> int WritePage(uint32_t n) {
    Open<Bus>(ChipAddress);
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = PageByte(i);
        Bus::Send(ExpectedValue);
    }
    Bus::WriteEnd();
    for (int i = 0; i < kReadyPolls; ++i) {
        DelayShortUs(100);
        if (Bus::Ready()) return 1;
    }
    return SerialNoAnswer(kSerialPageNotReadyText, -1);
}
template <class Bus> int VerifyPage(uint32_t n) {
    Open<Bus>(ChipAddress);
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = PageByte(i);
        ReadValue = Bus::Receive();
        if (ReadValue != ExpectedValue) {
            g_failedByte = i;
            return -1;
        }
    }
    return 1;
}
// Written and read back up to three times; a page that never verifies is
// named at the byte its last read-back failed on.
template <class Bus> int ProgramPage(uint32_t n) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (WritePage<Bus>(n) != 1) return -1;
        if (VerifyPage<Bus>(n) == 1) return 1;
    }
    BufferIndex += g_failedByte * AddressStep;
    return -1;
}

template <class Bus> int Read(int mode) {
    SerialPowerOn(Bus::Row(), 2);
    Open<Bus>(DeviceStart);
    const int r = SerialReadWalk([&] {
        ReadValue = Bus::Receive();
        const int d = ProcessReadByte(mode);
        return d == 1 && BufferIndex >= 0x10000 ? AdvanceToNextBank() : d;
    });
    return SerialEndEntry(Bus::Row(), r);
}

// Pages never cross a page boundary of the chip nor pass DeviceEnd.
template <class Bus> int Program() {
    if (!Bus::Valid()) return -1;
    SerialPowerOn(Bus::Row(), 1);
    Bus::ProgramRun(true);
    const int r = SerialPieceLoop(Bus::Page(), [](uint32_t n) {
        if (ProgramPage<Bus>(n) != 1) return -1;
        BufferIndex += n * AddressStep;
        return BufferIndex >= 0x10000 ? AdvanceToNextBank() : 1;
    });
    Bus::ProgramRun(false);
    return SerialEndEntry(Bus::Row(), r);
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 85, .Read = Read<row85::Bus>, .Program = Program<row85::Bus>},
    {.Row = 44, .Read = Read<row44::Bus>, .Program = Program<row44::Bus>, .LeastPage = 1, .MostPage = 256},
};

ROW_FAMILY("SerialTwoClock", Memory, 80, kAlgorithmRows);
