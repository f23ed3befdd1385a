// The serial memories on the SPI pinout that are not SPI EEPROMs with block
// protection: row 43 (DataFlash through the byte engine in its adapter, page
// read 52h and page program 82h), and on the pin driver row 48 (instruction
// bytes A2h-A7h, page writes) and row 95 (serial flash with byte programming
// and identifiers).

#include "engine/AlgorithmTable.h"
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

// ---- row 48: A7h read, A6h/A4h write enable/disable, A2h page write -------------------

namespace row48 {

using spi_pins::kCs;
using spi_pins::Receive;
using spi_pins::Send;
uint32_t g_page = 16;

void Settings() { g_page = PageSize; }
void AfterSupply() { DelayMs(100); }
constexpr SerialRow kRow{0, 16, true, false, Settings, spi_pins::IdleLines, AfterSupply, nullptr};
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
            ExpectedValue = RunBufferByte(BufferIndex + i);
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

// ---- row 95: serial flash, 90h identifiers, FFh read, 10h byte program ----------------

namespace row95 {

constexpr int kPe = 21, kCs = 23, kClk = 24, kSi = 25, kSo = 26;

void IdleLines() {
    FloatPinRange(1, 48);
    SetPin(28, 1);
    SetPin(kPe, 0);
    SetPin(kCs, 1);
    SetPin(kClk, 0);
    SetPin(kSi, 0);
}
void AfterSupply() { DelayMs(10); }
void ParkLines() { SetPin(kCs, 1); }
constexpr SerialRow kRow{0, 0, true, false, nullptr, IdleLines, AfterSupply, ParkLines};

void Send(std::initializer_list<uint32_t> bytes) {
    for (uint32_t b : bytes) PinShiftOutMsbFirst(kSi, kClk, 3, b, 8);
}
// The chip's bit is out after each clock.
uint32_t Receive() {
    uint32_t v = 0;
    for (int i = 0; i < 8; ++i) {
        PulsePin(kClk, 3);
        v = (v << 1) | static_cast<uint32_t>(GetPin(kSo));
    }
    return v;
}
// One selection: 90h and the address of the identifier, the identifier.
uint32_t Identifier(uint32_t address) {
    SetPin(kCs, 0);
    Send({0x90, 0x00, 0x00, address});
    const uint32_t id = Receive();
    SetPin(kCs, 1);
    return id;
}

int Identify() {
    SerialPowerOn(kRow, 2);
    ChipMakerId = Identifier(0);
    ChipDeviceId = Identifier(1);
    SerialPowerOff(kRow);
    return 1;
}

// The read stream runs from chip address 0: the bytes below DeviceStart are
// clocked past before the range.
int Read(int mode) {
    SerialPowerOn(kRow, 2);
    SetPin(kCs, 0);
    Send({0xFF, 0x00, 0x00, 0x00, 0x00, 0x00});
    for (uint32_t a = 0; a < DeviceStart; ++a) Receive();
    const int r = SerialReadWalk([&] {
        ReadValue = Receive();
        return ProcessReadByte(mode);
    });
    return SerialEndEntry(kRow, r);
}

// Program enable is high only inside Program and Erase. The bytes come one
// after another from the buffer whatever the split mode: the row offers no
// byte lanes.
int Program() {
    SerialPowerOn(kRow, 1);
    SetPin(kPe, 1);
    const int r = SerialReadWalk([] {
        ExpectedValue = RunBufferByte(BufferIndex);
        SetPin(kCs, 0);
        Send({0x10, (ChipAddress >> 16) & 0xFF, (ChipAddress >> 8) & 0xFF, ChipAddress & 0xFF, ExpectedValue, 0x00});
        DelayUs(PulseWidth);
        SetPin(kCs, 1);
        BufferIndex += 1;
        return 1;
    });
    SetPin(kPe, 0);
    return SerialEndEntry(kRow, r);
}

int Erase() {
    // The part is never polled: the blank check after the erase decides.
    BlankCheckAfterErase = 1;
    SerialPowerOn(kRow, 1);
    SetPin(kPe, 1);
    SetPin(kCs, 0);
    Send({0x60, 0x00, 0x00, 0x00, 0xD0, 0x00});
    DelayMs(100);
    SetPin(kCs, 1);
    SetPin(kPe, 0);
    return SerialEndEntry(kRow, 1);
}

} // namespace row95

// ---- row 43: DataFlash through the byte engine, page read 52h, page program 82h --------

namespace row43 {

constexpr int kReadyPolls = 300;
uint32_t g_page = 264;

void Settings() {
    g_page = PageSize;
    ProgressStep = PageSize;
}
void IdleLines() {
    WriteRegister(0, 1);
    WriteRegister(3, 3);
    WriteRegister(4, 1);
}
void AfterSupply() { DelayMs(100); }
void ParkLines() { WriteRegister(4, 2); }
constexpr SerialRow kRow{0, 0, false, false, Settings, IdleLines, AfterSupply, ParkLines};

void Select(bool on) { WriteRegister(0, on ? 0 : 1); }
void Send(uint32_t b) { SerialEngineSendByte(b); }
uint32_t Receive() {
    SerialEngineReceiveByte();
    return ReadValue & 0xFF;
}
// The page of `address` (the page number above the byte field: 9 bits for
// pages of 264 bytes, 10 for others) and the byte in it.
void SendAddress(uint32_t address) {
    const uint32_t page = address / g_page, shift = g_page == 264 ? 9 : 10;
    const uint32_t a = page << shift | address % g_page;
    for (uint32_t b : {a >> 16, a >> 8, a}) Send(b & 0xFF);
}
int ReadyWait() {
    Select(true);
    Send(0x57);
    int r = -1;
    for (int i = 0; i < kReadyPolls && r != 1; ++i) {
        DelayShortUs(100);
        if (Receive() & 0x80) r = 1;
    }
    Select(false);
    return r;
}
// The page-address form has room for pages of up to 1024 bytes.
bool Valid() { return PageSize >= 1 && PageSize <= 1024; }

int Read(int mode) {
    if (!Valid()) return -1;
    SerialPowerOn(kRow, 2);
    const int r = SerialPieceLoop(g_page, [mode](uint32_t n) {
        Select(true);
        Send(0x52);
        SendAddress(ChipAddress);
        for (int i = 0; i < 4; ++i) Send(0x00);
        for (uint32_t i = 0; i < n; ++i) {
            ReadValue = Receive();
            int d = ProcessReadByte(mode);
            if (d == 1 && mode != 0 && BufferIndex >= 0x10000) d = AdvanceToNextBank();
            if (d != 1) return d;
        }
        Select(false);
        return 1;
    });
    return SerialEndEntry(kRow, r);
}

// 82h erases the whole page and programs it from the chip's buffer: a piece
// of a page first has the page copied into the buffer (53h), so the bytes
// around the piece keep their values.
int Program() {
    if (!Valid()) return -1;
    SerialPowerOn(kRow, 1);
    const int r = SerialPieceLoop(g_page, [](uint32_t n) {
        if (n < g_page) {
            Select(true);
            Send(0x53);
            SendAddress(ChipAddress - ChipAddress % g_page);
            Select(false);
            if (ReadyWait() != 1) return SerialNoAnswer(kSerialPageNotReadyText, -1);
        }
        // A page that never gets ready is named at its first byte (at the
        // first byte in the new bank when the page crossed into it).
        const uint32_t first = BufferIndex, banks = BankAdvances;
        Select(true);
        Send(0x82);
        SendAddress(ChipAddress);
        for (uint32_t i = 0; i < n; ++i) {
            if (BufferIndex >= 0x10000 && AdvanceToNextBank() != 1) return -1;
            ExpectedValue = RunBufferByte(BufferIndex);
            Send(ExpectedValue);
            BufferIndex += AddressStep;
        }
        Select(false);
        if (ReadyWait() == 1) return 1;
        BufferIndex = BankAdvances == banks ? first : 0;
        return SerialNoAnswer(kSerialPageNotReadyText, -1);
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row43

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 43, .Read = row43::Read, .Program = row43::Program, .LeastPage = 1, .MostPage = 1024},
    {.Row = 48,
     .Read = row48::Read,
     .Program = row48::Program,
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
    {.Row = 95,
     .Identify = row95::Identify,
     .Read = row95::Read,
     .Program = row95::Program,
     .Erase = row95::Erase,
     .NoByteLanes = true},
};

ROW_FAMILY("SerialSpiPinout", Memory, 70, kAlgorithmRows);
