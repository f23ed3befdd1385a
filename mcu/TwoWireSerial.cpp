#include "mcu/TwoWireSerial.h"

#include <initializer_list>
#include <string>

#include "engine/AlgorithmTable.h"
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
#include "engine/Tables.h"

namespace {

struct SerialPins {
    int data, clock, third;
};

// Row 156: socket pins by DeviceVariant.
constexpr SerialPins kVariantPins156[] = {
    {23, 22, 21}, {14, 13, 1},  {23, 22, 21}, {23, 22, 21}, {17, 16, 15}, {20, 19, 18},
    {23, 22, 18}, {20, 19, 18}, {23, 22, 21}, {34, 35, 19}, {34, 35, 20}, {34, 35, 20},
    {36, 37, 5},  {38, 39, 15}, {20, 19, 18}, {32, 33, 21}, {17, 16, 18},
};
constexpr uint32_t kVariantCount156 = sizeof kVariantPins156 / sizeof kVariantPins156[0];

// Row 157: socket pins by the package's pin count.
struct PackagePins {
    uint32_t pinCount;
    SerialPins pins;
};
constexpr PackagePins kPackagePins157[] = {{8, {26, 27, 24}}, {16, {30, 31, 20}}, {20, {32, 33, 19}}};

const SerialPins* PinsOf157(uint32_t pinCount) {
    for (const PackagePins& p : kPackagePins157)
        if (p.pinCount == pinCount) return &p.pins;
    return nullptr;
}

// The row whose entry runs, and its pins.
uint32_t g_row = 156;
SerialPins g_pins{};

// Row 156 makes the clock with the pin's ground switch (open: the part's
// pull-up takes the line high) unless the hardware or the sub-variant says
// the pin driver may drive it.
void SerialClockLine(int pin, int level) {
    if (g_row == 157 || HardwareKind == 1 || DeviceSubVariant == 0) {
        SetPin(pin, level);
    } else {
        SetGroundPin(pin, level ? 0 : 1);
    }
}

void ClockPulse() {
    if (g_row == 157) {
        PulsePin(g_pins.clock, 3);
        return;
    }
    SerialClockLine(g_pins.clock, 1);
    SerialClockLine(g_pins.clock, 0);
}

// Chooses the pins; a device outside the tables is refused before anything
// is switched, so that it never runs on another device's pins.
bool ChoosePins() {
    if (g_row == 156) {
        if (DeviceVariant >= kVariantCount156) {
            RefuseRun(" Variant %u has no serial pins (0 to %u).", static_cast<unsigned>(DeviceVariant),
                      kVariantCount156 - 1);
            return false;
        }
        g_pins = kVariantPins156[DeviceVariant];
        return true;
    }
    const int pinCount = PackageRow(PackageIndex).PinCount;
    const SerialPins* p = PinsOf157(static_cast<uint32_t>(pinCount));
    if (p == nullptr) {
        RefuseRun(" Package of %d pins not supported (8, 16 or 20 pins).", pinCount);
        return false;
    }
    g_pins = *p;
    return true;
}

// The transfer always starts at chip address 0: a range that starts
// elsewhere would put the buffer's bytes at the wrong addresses. The buffer
// bank never changes, so the range ends within 64 KB.
bool RangeSupported() {
    if (DeviceStart != 0) {
        RefuseRun(" Start address %06Xh not supported: the part's transfer starts at address 0.",
                  static_cast<unsigned>(DeviceStart));
        return false;
    }
    if (DeviceEnd > 0xFFFF) {
        RefuseRun(" End address %06Xh not supported: the part's transfer reaches 64 KB.",
                  static_cast<unsigned>(DeviceEnd));
        return false;
    }
    return true;
}

// phase 1 program, 2 read.
bool SerialPowerUp(int phase) {
    if (!ChoosePins()) return false;
    ReadBackAfterSecure = 1;
    SecureCheckValue = 0;
    SupplyVoltage = phase == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(g_row == 156 && (DeviceFlags & 0x100) != 0 ? 1 : 0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(g_pins.third, 0);
    SerialClockLine(g_pins.clock, 0);
    SetPin(g_pins.data, 0);
    if (g_row == 156 && DeviceSubVariant == 0) SetPin(g_pins.clock, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    if (g_row == 156) {
        DelayMsSlot(5);
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        DelayShortUsSlot(20);
    } else {
        DelayMsSlot(10);
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        SetPin(g_pins.third, 2);
        DelayMsSlot(10);
    }
    return true;
}

void SerialPowerDown() {
    SetDeviceVpp(0, 50);
    DelayMsSlot(1);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    SetDeviceGround(0);
}

void SerialOpen() {
    SerialClockLine(g_pins.clock, 1);
    SetPin(g_pins.data, 1);
    SerialClockLine(g_pins.clock, 0);
    SetPin(g_pins.data, 0);
}

void SerialClose() {
    SetPin(g_pins.data, 1);
    SerialClockLine(g_pins.clock, 1);
    SetPin(g_pins.data, 0);
    SerialClockLine(g_pins.clock, 0);
}

// Most significant bit first, then one more clock with the data unchanged;
// the data line is released afterwards.
void SerialSendByte(uint32_t value) {
    for (int bit = 7; bit >= 0; --bit) {
        SetPin(g_pins.data, static_cast<int>((value >> bit) & 1));
        ClockPulse();
    }
    ClockPulse();
    SetPin(g_pins.data, 2);
}

void SerialReceiveByte() {
    ReadValue = 0;
    for (int bit = 7; bit >= 0; --bit) {
        ReadValue |= static_cast<uint32_t>(GetPin(g_pins.data) & 1) << bit;
        ClockPulse();
    }
    ClockPulse();
}

void SendBytes(std::initializer_list<uint32_t> bytes) {
    for (uint32_t b : bytes) SerialSendByte(b);
}

int SerialRead(uint32_t row, int mode) {
    g_row = row;
    if (!RangeSupported() || !SerialPowerUp(2)) return -1;
    SerialOpen();
    SendBytes({0x61, 0x00, 0x00});
    int r = 1;
    for (ChipAddress = static_cast<uint32_t>(DeviceStart); ChipAddress <= static_cast<uint32_t>(DeviceEnd);
         ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) {
            SerialPowerDown();
            return r;
        }
        SerialReceiveByte();
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    SerialSendByte(0xFF);
    SerialClose();
    SerialPowerDown();
    return r;
}

int SerialProgram(uint32_t row) {
    g_row = row;
    if (!RangeSupported() || !SerialPowerUp(1)) return -1;
    SerialOpen();
    SendBytes({0x60, 0x00, 0x00});
    int r = 1;
    for (ChipAddress = static_cast<uint32_t>(DeviceStart); ChipAddress <= static_cast<uint32_t>(DeviceEnd);
         ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) {
            SerialPowerDown();
            return r;
        }
        ExpectedValue = RunBufferByte(BufferIndex);
        SerialSendByte(ExpectedValue);
        DelayUsSlot(PulseWidth);
        ++BufferIndex;
    }
    SerialSendByte(0xFF);
    SerialClose();
    SerialPowerDown();
    return r;
}

int SerialSecure(uint32_t row) {
    g_row = row;
    if (!SerialPowerUp(1)) return -1;
    SerialOpen();
    SendBytes({0xE0, 0x0E, 0x3F, 0x00, 0xFF});
    SerialClose();
    SerialPowerDown();
    return 1;
}

int Alg156Read(int mode) { return SerialRead(156, mode); }
int Alg156Program() { return SerialProgram(156); }
int Alg156Secure() { return SerialSecure(156); }
int Alg157Read(int mode) { return SerialRead(157, mode); }
int Alg157Program() { return SerialProgram(157); }
int Alg157Secure() { return SerialSecure(157); }

int Alg157Erase() {
    g_row = 157;
    if (!SerialPowerUp(1)) return -1;
    SerialOpen();
    SendBytes({0xE0, 0x55, 0x5A, 0xAA});
    DelayMsSlot(20);
    SerialSendByte(0xFF);
    SerialClose();
    SerialPowerDown();
    return 1;
}

std::string SerialPinsCheck(uint32_t row, const RowRecordFacts& r) {
    return TwoWireSerialRecordRefusal(row, r.Variant, r.PackagePins);
}

} // namespace

std::string TwoWireSerialRecordRefusal(uint32_t row, uint32_t variant, uint32_t pinCount) {
    if (row == 156 && variant >= kVariantCount156)
        return "variant " + std::to_string(variant) + " past algorithm 156's pin table of " +
               std::to_string(kVariantCount156);
    if (row == 157 && PinsOf157(pinCount) == nullptr)
        return "package of " + std::to_string(pinCount) + " pins has no serial pins for algorithm 157";
    return "";
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 156,
     .Read = Alg156Read,
     .Program = Alg156Program,
     .Secure = Alg156Secure,
     .VariantCount = kVariantCount156,
     .VariantTable = "pin table",
     .RecordCheck = SerialPinsCheck,
     .StartRefusal = " Start address ",
     .NoByteLanes = true},
    {.Row = 157,
     .Read = Alg157Read,
     .Program = Alg157Program,
     .Erase = Alg157Erase,
     .Secure = Alg157Secure,
     .RecordCheck = SerialPinsCheck,
     .StartRefusal = " Start address ",
     .NoByteLanes = true},
};

ROW_FAMILY("TwoWireSerial", Mcu, 260, kAlgorithmRows);
