#include "mcu/St62Serial.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Routing.h"
#include "engine/Services.h"

namespace {

// One row per DeviceVariant. Fields 0, 3 and 4 (mode byte, option count,
// option list) belong to other users of the table and are kept as data.
struct OptionByteDevice {
    uint32_t modeByte;     // field 0
    uint32_t firstPage;    // field 1: first page address of the walk
    uint32_t lastAddress;  // field 2
    uint32_t optionCount;  // field 3
    uint32_t optionList;   // field 4
    uint32_t skipLength;   // field 5: pages below firstPage + skipLength are passed over
    int clock, enable, dataOut, hold, dataIn, aux; // fields 6-11, socket pins
    uint32_t oneOffset;    // field 12: a 1 bit drives this XOR 1
    uint32_t zeroLevel;    // field 13: a 0 bit and the idle level
};

constexpr OptionByteDevice OptionByteDeviceTable[] = {
    {0x80, 0xB00, 0xFFF, 6, 0, 0xA0, 18, 22, 24, 26, 23, 21, 1, 1},
    {0x80, 0x800, 0xFFF, 6, 0, 0x80, 18, 22, 24, 26, 23, 21, 1, 1},
    {0x80, 0xB00, 0xFFF, 6, 0, 0xA0, 17, 21, 23, 24, 22, 20, 1, 1},
    {0x80, 0x800, 0xFFF, 6, 0, 0x80, 17, 21, 23, 24, 22, 20, 1, 1},
    {0x80, 0x000, 0xFFF, 6, 0, 0x80, 17, 21, 23, 24, 22, 20, 1, 1},
    {0x80, 0x800, 0xFFF, 7, 0, 0x80, 13, 21, 23, 24, 22, 20, 1, 1},
    {0x80, 0x000, 0xFFF, 7, 0, 0x80, 13, 21, 23, 24, 22, 20, 1, 1},
    {4, 0x000, 0xFFF, 10, 0, 0x80, 28, 30, 19, 15, 18, 17, 0, 0},
    {4, 0x000, 0xFFF, 10, 0, 0x80, 30, 32, 15, 11, 14, 13, 0, 0},
    {0x80, 0x000, 0xFFF, 10, 0, 0x80, 28, 30, 19, 15, 18, 17, 1, 1},
    {0x80, 0x000, 0xFFF, 10, 0, 0x80, 30, 32, 15, 11, 14, 13, 1, 1},
};
constexpr uint32_t kOptionByteDeviceCount = sizeof OptionByteDeviceTable / sizeof OptionByteDeviceTable[0];
static_assert(kOptionByteDeviceCount == 11);

constexpr int kWindowFirst = 0x40, kWindowLast = 0x7F;
constexpr int kWindowRegister = 0xC9;
constexpr int kSyncClocks = 2137, kEnableClock = 50;

// The current row of the table and the reply of the last exchanged byte.
OptionByteDevice g_dev{};
uint32_t St62Reply = 0;

int BitLevel(uint32_t bit) {
    return static_cast<int>(bit ? (g_dev.oneOffset ^ 1u) : g_dev.zeroLevel);
}

void St62Clocks(int n) {
    for (int i = 0; i < n; ++i) PulsePin(g_dev.clock, 3);
}

// Sends `value` least significant bit first, sampling the chip's reply
// after each falling clock edge.
void St62Exchange(uint32_t value) {
    St62Reply = 0;
    for (int i = 0; i < 8; ++i) {
        SetPin(g_dev.clock, 1);
        SetPin(g_dev.dataOut, BitLevel((value >> i) & 1u));
        SetPin(g_dev.clock, 0);
        St62Reply |= static_cast<uint32_t>(GetPin(g_dev.dataIn) & 1) << i;
    }
}

void St62SendByte(uint32_t value) {
    for (int i = 0; i < 8; ++i) {
        SetPin(g_dev.clock, 1);
        SetPin(g_dev.dataOut, BitLevel((value >> i) & 1u));
        SetPin(g_dev.clock, 0);
    }
}

void St62ReceiveByte() {
    ReadValue = 0;
    SetPin(g_dev.dataOut, BitLevel(0));
    for (int i = 0; i < 8; ++i) {
        St62Clocks(1);
        ReadValue |= static_cast<uint32_t>(GetPin(g_dev.dataIn) & 1) << i;
    }
}

void WriteLocation(uint32_t address, uint32_t data) {
    St62Exchange(0x0D);
    St62Clocks(5);
    St62Exchange(address);
    St62Clocks(5);
    St62Clocks(13);
    St62Exchange(data);
    St62Clocks(5);
}

void ProgramLocation(uint32_t address, uint32_t data) {
    St62Exchange(0x0D);
    St62Clocks(5);
    St62Exchange(address);
    St62Clocks(5);
    St62SendByte(data);
    St62Clocks(5);
    DelayMsSlot(1);
    St62Clocks(13);
}

void ReadLocation(uint32_t address) {
    St62Exchange(0x1F);
    St62Clocks(5);
    St62Exchange(address);
    St62Clocks(5);
    St62Clocks(13);
    St62ReceiveByte();
    St62Clocks(5);
}

// A variant past the table is refused before anything is switched.
bool St62PowerUp() {
    if (DeviceVariant >= kOptionByteDeviceCount) {
        RefuseRun(" Variant %u has no serial EPROM settings (0 to %u).", static_cast<unsigned>(DeviceVariant),
                  kOptionByteDeviceCount - 1);
        return false;
    }
    g_dev = OptionByteDeviceTable[DeviceVariant];
    BlankValue = 0;
    SupplyVoltage = ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    return true;
}

// The supply ramps down from the level it was raised to: a ramp that starts
// at a fixed 5.0 V would first lift a 4.5 V supply by half a volt.
void St62PowerDown() {
    SetPin(g_dev.enable, 0);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetPin(g_dev.hold, 0);
}

// Any reply out of place ends the sequence at once.
bool ReplyIs(uint32_t expected) {
    if (St62Reply == expected) return true;
    ShowMessageLine("Synchronization Failed!");
    return false;
}

int St62Synchronize(int /*mode*/) {
    SetPin(g_dev.dataOut, BitLevel(0));
    SetPin(g_dev.clock, 0);
    SetPin(g_dev.enable, 0);
    SetPin(g_dev.hold, 1);
    SetPin(g_dev.aux, 1);
    for (int n = 1; n <= kSyncClocks; ++n) {
        if (n == kEnableClock) {
            SetPin(g_dev.clock, 1);
            SetPin(g_dev.enable, 1);
            SetPin(g_dev.clock, 0);
        } else {
            St62Clocks(1);
        }
    }
    St62Exchange(0x0D);
    if (!ReplyIs(0xFF)) return -1;
    St62Clocks(5);
    St62Exchange(0xC5);
    if (!ReplyIs(0)) return -1;
    St62Clocks(5);
    St62Clocks(13);
    St62Exchange(DeviceVariant == 7 || DeviceVariant == 8 ? 4 : 0x80);
    St62Clocks(5);
    St62Exchange(0x0D);
    St62Clocks(5);
    St62Exchange(0xC8);
    if (!ReplyIs(3)) return -1;
    St62Clocks(5);
    St62Clocks(13);
    St62Exchange(0);
    St62Clocks(5);
    St62Exchange(0x0D);
    if (!ReplyIs(0)) return -1;
    St62Clocks(5);
    St62Exchange(0xD8);
    if (!ReplyIs(6)) return -1;
    St62Clocks(5);
    St62Clocks(13);
    St62Exchange(0xFE);
    if (!ReplyIs(0xFE)) return -1;
    St62Clocks(5);
    return 1;
}

// Window addresses of a page that belong to the chip's reserved areas.
bool Reserved(uint32_t page, int w) {
    if (page == 0x3E) return w >= 0x60;
    if (page == 0x3F) return w <= 0x6F || (w >= 0x78 && w <= 0x7B);
    return false;
}

// Window addresses a run passes over: the reserved areas, and the cells of
// the page outside DeviceStart..DeviceEnd, so a range that starts or ends
// inside a page touches no cell (and no buffer byte) beyond it.
bool PassedOver(uint32_t page, int w) {
    const uint32_t a = page << 6 | static_cast<uint32_t>(w - kWindowFirst);
    return Reserved(page, w) || a < DeviceStart || a > DeviceEnd;
}

int St62ProgramPage(uint32_t page) {
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    for (int w = kWindowFirst; w <= kWindowLast; ++w) {
        if (PassedOver(page, w)) continue;
        ProgramLocation(static_cast<uint32_t>(w), BufferWindow[(BufferIndex + static_cast<uint32_t>(w - kWindowFirst)) & 0xFFFF]);
    }
    return 1;
}

int St62ReadPage(int mode, uint32_t page) {
    int r = 1;
    for (int w = kWindowFirst; w <= kWindowLast; ++w) {
        if (PassedOver(page, w)) {
            BufferIndex += AddressStep;
            continue;
        }
        ReadLocation(static_cast<uint32_t>(w));
        r = ProcessReadByte(mode);
        if (r == -1) return -1;
    }
    return r;
}

// The page walk shared by Read (mode >= 0) and Program (mode -1). The
// buffer holds the program space at its own addresses. Pages wholly outside
// DeviceStart..DeviceEnd are passed over like the skipped first pages.
int St62Walk(int mode) {
    if (!St62PowerUp()) return -1;
    int r = St62Synchronize(mode < 0 ? 1 : mode);
    if (r != -1) {
        for (ChipAddress = g_dev.firstPage; ChipAddress <= g_dev.lastAddress; ChipAddress += 0x40) {
            r = StepProgress(ChipAddress);
            if (r == 3) break;
            if (ChipAddress < g_dev.firstPage + g_dev.skipLength) continue;
            if (ChipAddress + 0x3F < DeviceStart || ChipAddress > DeviceEnd) continue;
            BufferIndex = ChipAddress;
            const uint32_t page = ChipAddress >> 6;
            WriteLocation(kWindowRegister, page);
            r = mode < 0 ? St62ProgramPage(page) : St62ReadPage(mode, page);
            if (r == -1) break;
            r = St62Synchronize(mode < 0 ? 1 : mode);
            if (r == -1) break;
        }
    }
    St62PowerDown();
    return r;
}

int Alg180Read(int mode) {
    return St62Walk(mode);
}

int Alg180Program() {
    return St62Walk(-1);
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 180,
     .Read = Alg180Read,
     .Program = Alg180Program,
     .Options = ::Alg180Options,
     .VariantCount = kOptionByteDeviceCount,
     .VariantTable = "option-byte device table",
     // The buffer is the program space at its own addresses, a page's bytes
     // consecutive: no byte lanes.
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
};

} // namespace

void ToggleFlag(uint32_t* flag) {
    if (flag != nullptr) *flag = *flag == 0 ? 1 : 0;
}

ROW_FAMILY("St62Serial", Mcu, 270, kAlgorithmRows);
