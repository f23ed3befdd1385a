// The serial EEPROM rows on Microwire (10, 18) and two-wire buses (11, 81), and
// the family's row table; the rows with frames of their own are in
// SerialEepromFrames.cpp, rows 14 and 16 with a write-protect register in
// SerialProtectEeprom.cpp.
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
#include "memory/SerialEepromShared.h"
#include "memory/SerialFrame.h"

using namespace serialeeprom;

const MicrowireVariant MicrowireVariantTables[MicrowireVariantCount] = {
    {2, 6, 24}, {2, 7, 24}, {2, 8, 24}, {2, 6, 27}, {4, 7, 27}, {2, 8, 27},
    {4, 8, 27}, {4, 6, 27}, {4, 4, 0},  {4, 4, 24}, {2, 10, 24},
};

namespace {

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
        const uint32_t first = BufferIndex;
        for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
            Select();
            Instruction(0x0C);
            Address(static_cast<uint32_t>(a));
            Deselect();
            // A part that never gets ready ends the entry as it stands; a
            // programmer that stopped answering ends it powered down.
            if (Completion() == 1) continue;
            if (SerialEngineLost()) return SerialEndEntry(kRow, -1);
            BufferIndex = first + static_cast<uint32_t>(a - DeviceStart) * AddressStep;
            return SerialNoAnswer(kSerialNotReadyText, -1);
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
        ExpectedValue = RunBufferByte(BufferIndex);
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

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 10,
     .Read = row10::Read,
     .Program = row10::Program,
     .VariantCount = MicrowireVariantCount,
     .VariantTable = "MicrowireVariantTables",
     .NoByteLanes = true},
    {.Row = 11,
     .Read = row11::Read,
     .Program = row11::Program,
     .VariantCount = TwoWireFormCount,
     .VariantTable = "the two-wire address forms",
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
    {.Row = 18,
     .Read = row18::Read,
     .Program = row18::Program,
     .NoByteLanes = true},
    {.Row = 81,
     .Read = row81::Read,
     .Program = row81::Program,
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
    {.Row = 12, .Read = row12::Read, .Program = row12::Program},
    {.Row = 17,
     .Read = row17::Read,
     .Program = row17::Program,
     .Erase = row17::Erase,
     .NoByteLanes = true},
    {.Row = 70,
     .Read = row70::Read,
     .Program = row70::Program,
     .NoByteLanes = true},
    {.Row = 71,
     .Read = row71::Read,
     .Program = row71::Program,
     .VariantCount = 2,
     .VariantTable = "the start conditions",
     .NoByteLanes = true},
    {.Row = 15, .Read = row15::Read, .Program = row15::Program, .Erase = row15::Erase},
};

ROW_FAMILY("SerialEeprom", Memory, 50, kAlgorithmRows);
