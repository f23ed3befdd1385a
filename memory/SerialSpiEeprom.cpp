#include "memory/SerialSpiEeprom.h"

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

int Opt25xxBlockProtect = 0;
int Opt25xxWpen = 0;
int Opt25xxx1BlockProtect = 0;
int Opt25xxx1Watchdog = 0;
int Opt25xxx1Wpen = 0;
ShowSpiOptionsDialogFn ShowOpt25xxxDialogHook = nullptr;
ShowSpiOptionsDialogFn ShowOpt25xxx1DialogHook = nullptr;

bool Opt25xxHasWpen(uint32_t subVariant) { return subVariant == 1 || subVariant == 3; }

uint32_t Status13FromOptions() {
    const auto bp = static_cast<uint32_t>(Opt25xxBlockProtect);
    if (DeviceSubVariant == kOpt25xxThreeBitSubVariant) return bp & 7;
    return (bp & 3) << 2 | (Opt25xxHasWpen(DeviceSubVariant) ? (static_cast<uint32_t>(Opt25xxWpen) & 1) << 7 : 0);
}

uint32_t Status57FromOptions() {
    return (static_cast<uint32_t>(Opt25xxx1BlockProtect) & 3) << 2 |
           (static_cast<uint32_t>(Opt25xxx1Watchdog) & 3) << 4 | (static_cast<uint32_t>(Opt25xxx1Wpen) & 1) << 7;
}

// Bits 0 and 1 are the part's busy and write-enable flags, never stored.
constexpr uint32_t kStatusFlags = 0x03;

uint32_t Status13Compared() {
    if (DeviceSubVariant == kOpt25xxThreeBitSubVariant) return 0x07 & ~kStatusFlags;
    return 0x0C | (Opt25xxHasWpen(DeviceSubVariant) ? 0x80 : 0);
}

// The 512-byte parts (sub-variant 0) have no WPEN bit.
uint32_t Status57Compared() { return 0x3C | (DeviceSubVariant != 0 ? 0x80 : 0); }

namespace {

constexpr uint32_t kWriteEnable = 0x06, kReadStatus = 0x05, kWriteStatus = 0x01, kRead = 0x03, kWrite = 0x02,
                   kChipErase = 0xC7;
constexpr int kReadyPolls = 200, kErasePolls = 3000;

uint32_t g_page = 16;
uint32_t g_variant = 0;
uint32_t g_subVariant = 0;

void Settings() {
    g_page = PageSize;
    g_variant = DeviceVariant;
    g_subVariant = DeviceSubVariant;
}

// The instruction and the address in the short form (A8 in bit 3 of the
// instruction, one address byte) or the long one (two bytes, three with
// `threeBytes`).
template <class Send> void SendAddressed(Send&& send, uint32_t instruction, uint32_t a, bool shortForm, bool threeBytes) {
    if (shortForm) {
        send(instruction | ((a >> 8) & 1) * 8);
    } else {
        send(instruction);
        if (threeBytes) send((a >> 16) & 0xFF);
        send((a >> 8) & 0xFF);
    }
    send(a & 0xFF);
}

// Write enable, the instruction and the page's bytes from the buffer.
template <class Bus> int WritePage(uint32_t n, bool shortForm, bool threeBytes) {
    Bus::Instruction(kWriteEnable);
    Bus::Select(true);
    SendAddressed(Bus::Send, kWrite, ChipAddress, shortForm, threeBytes);
    for (uint32_t i = 0; i < n; ++i) {
        ExpectedValue = RunBufferByte(BufferIndex + i);
        Bus::Send(ExpectedValue);
    }
    Bus::Select(false);
    return Bus::ReadyWait() == 1 ? 1 : SerialNoAnswer(kSerialPageNotReadyText, -1);
}

// Reads the pieces of the range: selected, the read instruction at the
// piece's address, the piece's bytes through ProcessReadByte. A rejected
// datum ends the walk with the chip still selected.
template <class Bus> int ReadPieces(int mode, bool shortForm, bool threeBytes, bool advanceBank) {
    return SerialPieceLoop(g_page, [&](uint32_t n) {
        Bus::Select(true);
        SendAddressed(Bus::Send, kRead, ChipAddress, shortForm, threeBytes);
        for (uint32_t i = 0; i < n; ++i) {
            ReadValue = Bus::Receive();
            const int r = ProcessReadByte(mode);
            if (r != 1) return r;
        }
        Bus::Select(false);
        if (advanceBank && mode != 0 && BufferIndex >= 0x10000) return AdvanceToNextBank();
        return 1;
    });
}

// ---- row 13: the byte engine's SPI form --------------------------------------------

namespace row13 {

constexpr uint32_t kFixedWaitSubVariant = 99;

void IdleLines() {
    WriteRegister(0, 7);
    WriteRegister(3, 0x0C);
}
void AfterSupply() {
    WriteRegister(4, 1);
    DelayMs(100);
}
void ParkLines() {
    WriteRegister(0, 7);
    WriteRegister(4, 0);
}
constexpr SerialRow kRow{0, 16, true, false, Settings, IdleLines, AfterSupply, ParkLines};

struct Bus {
    static void Select(bool on) { WriteRegister(0, on ? 6 : 7); }
    static void Send(uint32_t b) { SerialEngineSendByte(b); }
    static uint32_t Receive() {
        SerialEngineReceiveByte();
        return ReadValue & 0xFF;
    }
    static void Instruction(uint32_t code) {
        Select(true);
        Send(code);
        Select(false);
    }
    static uint32_t Status() {
        Select(true);
        Send(kReadStatus);
        const uint32_t v = Receive();
        Select(false);
        return v;
    }
    // A fixed wait (sub-variant 99), the status polled, or (variant bit 1)
    // the chip's SO watched after one status instruction.
    static int ReadyWait() {
        if (g_subVariant == kFixedWaitSubVariant) {
            DelayUs(PulseWidth);
            return 1;
        }
        if ((g_variant & 2) == 0) {
            for (int i = 0; i < kReadyPolls; ++i) {
                DelayShortUs(100);
                if ((Status() & 1) == 0) return 1;
            }
            return -1;
        }
        Select(true);
        Send(kReadStatus);
        for (int i = 0; i < kReadyPolls; ++i) {
            DelayShortUs(100);
            if ((ReadRegister(7) & 1) == 0) {
                Receive();
                Select(false);
                return 1;
            }
        }
        Select(false);
        return -1;
    }
};

bool ShortForm() { return (g_variant & 1) == 0; }
bool ThreeBytes() { return DeviceSize >= 0x20000; }

int Read(int mode) {
    if (!SerialPageSizeValid(PageSize)) return -1;
    SerialPowerOn(kRow, 2);
    return SerialEndEntry(kRow, ReadPieces<Bus>(mode, ShortForm(), ThreeBytes(), true));
}

int Program() {
    if (!SerialPageSizeValid(PageSize)) return -1;
    SerialPowerOn(kRow, 1);
    const int r = SerialPageLoop(g_page, [](uint32_t n) { return WritePage<Bus>(n, ShortForm(), ThreeBytes()); }, true);
    return SerialEndEntry(kRow, r);
}

int Erase() {
    // The status tells only when the part is ready, not what it erased: the
    // blank check after the erase decides.
    BlankCheckAfterErase = 1;
    SerialPowerOn(kRow, 1);
    Bus::Instruction(kWriteEnable);
    Bus::Instruction(kChipErase);
    int r = -1;
    for (int i = 0; i < kErasePolls && r != 1; ++i) {
        DelayMs(1);
        if ((Bus::Status() & 1) == 0) r = 1;
    }
    return SerialEndEntry(kRow, r);
}

int Options() { return ShowOpt25xxxDialogHook ? ShowOpt25xxxDialogHook() : 0; }

} // namespace row13

// ---- row 57: pins, 8-pin packages --------------------------------------------------

namespace row57 {

using spi_pins::kCs;

void AfterSupply() { DelayMs(100); }
void ParkLines() { SetPin(kCs, 1); }
constexpr SerialRow kRow{0, 16, true, false, Settings, spi_pins::IdleLines, AfterSupply, ParkLines};

struct Bus {
    static void Select(bool on) { SetPin(kCs, on ? 0 : 1); }
    static void Send(uint32_t b) { spi_pins::Send(b); }
    static uint32_t Receive() { return spi_pins::Receive(); }
    static void Instruction(uint32_t code) {
        Select(true);
        Send(code);
        Select(false);
    }
    // The status instruction and the status, again and again in one selection.
    static int ReadyWait() {
        Select(true);
        int r = -1;
        for (int i = 0; i < kReadyPolls && r != 1; ++i) {
            DelayShortUs(100);
            Send(kReadStatus);
            if ((Receive() & 1) == 0) r = 1;
        }
        Select(false);
        return r;
    }
};

// The pins are those of an 8-pin package; other packages have none.
bool Valid() {
    return PackageIndex < PackageRowCount && PackageTable[PackageIndex].PinCount == 8 && SerialPageSizeValid(PageSize);
}

int Read(int mode) {
    if (!Valid()) return -1;
    SerialPowerOn(kRow, 2);
    return SerialEndEntry(kRow, ReadPieces<Bus>(mode, g_variant == 0, false, false));
}

int Program() {
    if (!Valid()) return -1;
    SerialPowerOn(kRow, 1);
    const int r = SerialPageLoop(g_page, [](uint32_t n) { return WritePage<Bus>(n, (g_variant & 1) == 0, false); });
    return SerialEndEntry(kRow, r);
}

int Options() { return ShowOpt25xxx1DialogHook ? ShowOpt25xxx1DialogHook() : 0; }

} // namespace row57

// The status register through a bus, or -1 when the programmer stopped
// answering.
template <class Bus> int64_t StatusOf(const SerialRow& row) {
    SerialPowerOn(row, 2);
    Bus::Select(true);
    Bus::Send(kReadStatus);
    const uint32_t v = Bus::Receive();
    Bus::Select(false);
    SerialPowerOff(row);
    if (SerialEngineLost()) return -1;
    return v;
}

template <class Bus> int64_t ReadStatus(const SerialRow& row) {
    const int64_t v = StatusOf<Bus>(row);
    if (v >= 0) ShowMessageLine(" Status Register : %02x", static_cast<uint32_t>(v));
    return v;
}

// `value` written after a write enable, then the row's ready wait, and read
// back: a write the part did not keep in the bits `compared` ends -1 with
// both values logged.
template <class Bus> int WriteStatus(const SerialRow& row, uint32_t value, uint32_t compared, bool settle) {
    SerialPowerOn(row, 1);
    Bus::Instruction(kWriteEnable);
    Bus::Select(true);
    Bus::Send(kWriteStatus);
    Bus::Send(value);
    Bus::Select(false);
    if (settle) DelayMs(10);
    const int r = Bus::ReadyWait();
    if (SerialEndEntry(row, r == 1 ? 1 : -1) != 1) return -1;
    const int64_t read = StatusOf<Bus>(row);
    if (read < 0) return -1;
    return SerialRegisterReadBack("Status Register", value, static_cast<uint32_t>(read), compared);
}

} // namespace

int ReadStatusRegister13() {
    const int64_t v = ReadStatus<row13::Bus>(row13::kRow);
    if (v < 0) return -1;
    if (DeviceSubVariant == kOpt25xxThreeBitSubVariant) {
        Opt25xxBlockProtect = static_cast<int>(v & 7);
    } else {
        Opt25xxBlockProtect = static_cast<int>((v >> 2) & 3);
        Opt25xxWpen = static_cast<int>((v >> 7) & 1);
    }
    return 1;
}

int WriteStatusRegister13() {
    return WriteStatus<row13::Bus>(row13::kRow, Status13FromOptions(), Status13Compared(), true);
}

int ReadStatusRegister57() {
    if (!row57::Valid()) return -1;
    const int64_t v = ReadStatus<row57::Bus>(row57::kRow);
    if (v < 0) return -1;
    Opt25xxx1BlockProtect = static_cast<int>((v >> 2) & 3);
    Opt25xxx1Watchdog = static_cast<int>((v >> 4) & 3);
    Opt25xxx1Wpen = static_cast<int>((v >> 7) & 1);
    return 1;
}

int WriteStatusRegister57() {
    if (!row57::Valid()) return -1;
    return WriteStatus<row57::Bus>(row57::kRow, Status57FromOptions(), Status57Compared(), false);
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 13,
     .Read = row13::Read,
     .Program = row13::Program,
     .Erase = row13::Erase,
     .Options = row13::Options,
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
    {.Row = 57,
     .Read = row57::Read,
     .Program = row57::Program,
     .Options = row57::Options,
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
};

ROW_FAMILY("SerialSpiEeprom", Memory, 90, kAlgorithmRows);
