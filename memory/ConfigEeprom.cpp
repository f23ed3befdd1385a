#include "memory/ConfigEeprom.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

uint32_t ResetPolarity31 = 0;
ShowConfigEepromDialogFn ShowOptAt17CxxxHook = nullptr;

namespace {

int g_highVoltagePin = 24;
uint32_t g_pageBytes = 64;

// The engine's busy bit is bit 1 of register 9: the frame's bounded wait.
int BusWaitIdle() { return WordEngineWaitIdle(); }
void BusClock() {
    if (SerialEngineLost()) return;
    WriteRegister(8, 1);
    BusWaitIdle();
}
void BusStart() {
    for (auto [reg, v] : {std::pair{7, 0xFF}, {3, 10}, {7, 0}, {3, 12}}) WriteRegister(reg, v);
}
void BusStop() {
    for (auto [reg, v] : {std::pair{7, 0}, {3, 10}, {7, 0xFF}, {3, 12}, {7, 0}}) WriteRegister(reg, v);
}
int BusGetAck() {
    WriteRegister(4, 7);
    const int r = (ReadRegister(9) & 1) ? -1 : 1;
    BusClock();
    WriteRegister(4, 5);
    return SerialEngineLost() ? -1 : r;
}
int BusSendByte(int reg, uint32_t v) {
    if (SerialEngineLost()) return -1;
    WriteRegister(4, 5);
    WriteRegister(reg, v & 0xFF);
    WriteRegister(8, 8);
    if (BusWaitIdle() != 1) return -1;
    return BusGetAck();
}
void BusReceiveByte() {
    if (SerialEngineLost()) return;
    WriteRegister(8, 8);
    BusWaitIdle();
    ReadValue = ReadRegister(6);
    WriteRegister(4, 5);
    BusClock();
    WriteRegister(4, 7);
}
int BusSendAddress(uint32_t a) {
    if (BusSendByte(7, 0xA6) != 1) return -1;
    if (DeviceVariant == 1 && BusSendByte(7, (a >> 16) & 0xFF) != 1) return -1;
    if (BusSendByte(7, (a >> 8) & 0xFF) != 1) return -1;
    return BusSendByte(7, a & 0xFF);
}

void PowerOn(int mode) {
    SerialEngineArm();
    g_highVoltagePin = AdapterCode == 0 ? 24 : 22;
    g_pageBytes = PageSize;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(50, 0, 0, 0);
    SetDeviceGround(1);
    DelayMs(100);
    WriteRegister(4, 2);
    WriteRegister(3, 8);
    WriteRegister(0, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 3);
    DelayMs(1);
}
void PowerOff() {
    WriteRegister(0, 1);
    WriteRegister(4, 2);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}
int End(int r) {
    PowerOff();
    return SerialEngineLost() ? -1 : r;
}

// The identity under 11.5 V on /CS. A mismatch asks once per run; only Yes
// lets the later entries of the run pass without asking.
int CheckId() {
    PowerOn(1);
    WriteRegister(4, 5);
    ApplyVoltageToPin(2, g_highVoltagePin, 1, 115);
    BusStart();
    uint32_t maker = 0, device = 0;
    if (BusSendAddress(0x40000) == 1) {
        BusStart();
        BusSendByte(7, 0xA7);
        WriteRegister(4, 7);
        BusReceiveByte();
        maker = ReadValue;
        BusReceiveByte();
        device = ReadValue;
        BusStop();
    }
    ApplyVoltageToPin(2, g_highVoltagePin, 0, 0);
    if (End(1) != 1) return -1;
    if ((maker == ExpectedMakerId && device == ExpectedDeviceId) || SkipIdCheck != 0) return 1;
    if (RefuseIdentity(true, " Invalid device ID.") != 1) return -1;
    SkipIdCheck = 1;
    return 1;
}

// A Page of 0 would never move the loop on; pages come from the buffer window.
bool Valid() { return DeviceVariant <= 1 && SerialPageSizeValid(PageSize); }

int Read(int mode) {
    if (!Valid() || CheckId() != 1) return -1;
    PowerOn(2);
    WriteRegister(4, 5);
    BusStart();
    // The read runs on from the range's first address.
    if (BusSendAddress(DeviceStart) != 1) return End(-1);
    BusStart();
    if (BusSendByte(7, 0xA7) != 1) return End(-1);
    WriteRegister(4, 7);
    const int r = SerialReadWalk([&] {
        BusReceiveByte();
        const int d = ProcessReadByte(mode);
        return d == 1 && BufferIndex > 0xFFFF ? AdvanceToNextBankIf(mode) : d;
    });
    if (r == 1) BusStop();
    return End(r);
}

// Byte k of a page is the buffer byte at BufferIndex + k x AddressStep.
int Program() {
    if (!Valid() || CheckId() != 1) return -1;
    PowerOn(1);
    WriteRegister(4, 5);
    const int r = SerialPieceLoop(g_pageBytes, [](uint32_t n) {
        // A byte the part does not acknowledge names the page.
        const auto unacknowledged = [] { return SerialEngineLost() ? -1 : SerialNoAnswer(kSerialNoAcknowledgeText, -1); };
        BusStart();
        if (BusSendAddress(ChipAddress) != 1) return unacknowledged();
        WriteRegister(3, 4);
        for (uint32_t k = 0; k < n; ++k) {
            const uint64_t at = BufferIndex + uint64_t{k} * AddressStep;
            if (at >= BufferWindowBytes) return -1;
            ExpectedValue = BufferWindow[at];
            if (BusSendByte(6, ExpectedValue) != 1) return unacknowledged();
        }
        WriteRegister(3, 8);
        BusStop();
        DelayUs(PulseWidth);
        BufferIndex += n * AddressStep;
        return BufferIndex > 0xFFFF ? AdvanceToNextBank() : 1;
    });
    return End(r);
}

int Options() { return ShowOptAt17CxxxHook ? ShowOptAt17CxxxHook() : 0; }

// Variant 0 senses the pin: RESET/OE pulled down, then up; the same level
// both times means the chip holds it (active high).
int SensePolarity() {
    if (CheckId() != 1) return -1;
    PowerOn(2);
    WriteRegister(0, 4);
    WriteRegister(13, 12);
    const uint32_t s1 = ReadRegister(9);
    WriteRegister(13, 4);
    const uint32_t s2 = ReadRegister(9);
    ResetPolarity31 = (s1 & 1) == (s2 & 1) ? 1 : 0;
    return End(1);
}

int ReadPolarityBytes() {
    if (CheckId() != 1) return -1;
    PowerOn(2);
    WriteRegister(4, 5);
    BusStart();
    if (BusSendAddress(0x20000) != 1) return End(-1);
    BusStart();
    if (BusSendByte(7, 0xA7) != 1) return End(-1);
    WriteRegister(4, 7);
    for (int i = 0; i < 4; ++i) BusReceiveByte();
    ResetPolarity31 = (ReadValue & 0xFF) != 0xFF ? 1 : 0;
    return End(1);
}

// Writes the polarity in ResetPolarity31: variant 0 by a write at 3FFFh with
// RESET/OE high and ZIF 26 giving the value, the others as four bytes at
// 20000h.
int WritePolarity() {
    if (CheckId() != 1) return -1;
    PowerOn(1);
    WriteRegister(4, 5);
    if (DeviceVariant == 0) WriteRegister(0, ResetPolarity31 == 0 ? 3 : 1);
    BusStart();
    int r = BusSendAddress(DeviceVariant == 0 ? 0x3FFF : 0x20000);
    if (DeviceVariant == 0) {
        if (r == 1) r = BusSendByte(7, 0xFF);
    } else {
        WriteRegister(3, 4);
        for (int i = 0; i < 4 && r == 1; ++i) r = BusSendByte(6, ResetPolarity31 == 0 ? 0xFF : 0);
        WriteRegister(3, 8);
    }
    BusStop();
    DelayUs(PulseWidth);
    return End(r);
}

} // namespace

int ReadPolarity31() {
    if (!Valid()) return -1;
    return DeviceVariant == 0 ? SensePolarity() : ReadPolarityBytes();
}

int WritePolarity31() {
    if (!Valid()) return -1;
    return WritePolarity();
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 31,
     .Read = Read,
     .Program = Program,
     .Options = Options,
     .VariantCount = 2,
     .VariantTable = "the address forms",
     .LeastPage = 1,
     .MostPage = 256,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("ConfigEeprom", Memory, 230, kAlgorithmRows);
