// A microcontroller programmed over sixteen direct address pins and eight
// data pins of the pin driver, with three mode pins selecting the code array
// or a status byte at C6h whose bit 0 locks the chip (row 127): read,
// program, erase (status byte, then a fill pass) and secure (judged by the
// status byte read back).

#include <cstdint>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

// Socket pins of the 40-pin DIP.
constexpr int kAddressPins[16] = {5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 18, 19, 20, 21}; // A0 first
constexpr int kDataPins[8] = {43, 42, 41, 40, 39, 38, 37, 36};                                // D0 first
constexpr int kModePins[3] = {30, 31, 32}; // 32 is also the read strobe
constexpr int kReadStrobe = 32;
constexpr int kProgramStrobe = 34;
constexpr int kVppPin = 35; // supply A, DAC channel 1
constexpr int kHeldLow = 23;
constexpr int kRaisedAfterSupply = 13;
constexpr int kHighThenGround = 33;

constexpr uint32_t kStatusAddress = 0xC6;
constexpr uint32_t kEraseStatus = 0xF8;
constexpr uint32_t kLockBit = 0x01;
constexpr int kPinVoltageTenths = 50; // pin 35 outside the program pulses

// Power-up purposes; any other value reads.
constexpr int kProgramming = 1;
constexpr int kErasing = 5;

// Chip addresses on 16 lines.
constexpr uint32_t kAddressSpace = 0x10000;

void ModePins(int m30, int m31, int m32) {
    SetPin(kModePins[0], m30);
    SetPin(kModePins[1], m31);
    SetPin(kModePins[2], m32);
}

void AllAddressLines(uint32_t a) {
    WritePinGroup(0, 0, 15, a & 0xFFFF);
}

// Every address line at the first address of a range (it need not start on
// a 256-byte boundary), then the high lines at each boundary.
void AddressOut(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) WritePinGroup(0, 8, 15, (a >> 8) & 0xFF);
    WritePinGroup(0, 0, 7, a & 0xFF);
}

void PowerDown127() {
    ApplyVppToPin(kVppPin, 0, 0);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
}

// The status byte as the part gives it: address lines at C6h, mode pins 1,
// 1, 0, the data group floating.
uint32_t ReadStatusByte() {
    AllAddressLines(kStatusAddress);
    ModePins(1, 1, 0);
    DelayUsSlot(600);
    return static_cast<uint32_t>(ReadPinGroup(1, 0, 7)) & 0xFF;
}

// Powers the part up and reads its status byte; -1 with " Device secured!"
// (powered down again) when the lock bit is set, except when erasing.
int PowerUp127(int purpose) {
    const int* a = kAddressPins;
    const int* d = kDataPins;
    DefinePinGroup("A", 0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
                   a[14], a[15], 0);
    DefinePinGroup("D", 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    SupplyVoltage = purpose == kProgramming || purpose == kErasing ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(kHeldLow, 0);
    SetPin(kHighThenGround, 1);
    SetPin(kProgramStrobe, 1);
    SetPin(kRaisedAfterSupply, 0);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    SetPin(kRaisedAfterSupply, 1);
    SetGroundPin(kHighThenGround, 1);
    ApplyVppToPin(kVppPin, 1, kPinVoltageTenths);
    DelayMsSlot(100);
    ReadValue = ReadStatusByte();
    if (purpose != kErasing && (ReadValue & kLockBit) != 0) {
        ShowMessageLine(" Device secured!");
        PowerDown127();
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
        return -1;
    }
    AllAddressLines(0);
    ModePins(0, 1, 1);
    DelayUsSlot(600);
    return 1;
}

// One pulse writing ExpectedValue where the mode pins point. The part drives
// its data pins in the array and status modes while pin 35 is below the
// programming voltage, so the data group drives only while pin 35 is up and
// floats again before it comes down.
void ProgramPulse127() {
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    WritePinGroup(1, 0, 7, ExpectedValue & 0xFF);
    PulsePinTimed(kProgramStrobe, 2, PulseWidth);
    FloatPinGroup(1, 0, 7);
    SetDacVoltage(1, kPinVoltageTenths);
    DelayUsSlot(300);
}

void ReadByte127() {
    SetPin(kReadStrobe, 0);
    DelayUsSlot(300);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(kReadStrobe, 1);
    DelayUsSlot(100);
}

void WriteStatusByte(uint32_t v) {
    AllAddressLines(kStatusAddress);
    ModePins(1, 1, 0);
    DelayUsSlot(600);
    ExpectedValue = v;
    ProgramPulse127();
    DelayUsSlot(600);
}

int Alg127Read(int mode) {
    if (PowerUp127(mode) == -1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        AddressOut(ChipAddress, a == DeviceStart);
        ReadByte127();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    PowerDown127();
    return r;
}

// Every byte, FFh included, gets one pulse; nothing is read back.
int Alg127Program() {
    if (PowerUp127(kProgramming) == -1) return -1;
    ModePins(0, 1, 0);
    DelayUsSlot(600);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        AddressOut(ChipAddress, a == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        ProgramPulse127();
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    PowerDown127();
    return r;
}

// The status byte written with F8h (no lock check), then, powered up
// afresh, FFh into every cell of the part whatever the range.
int Alg127Erase() {
    PowerUp127(kErasing);
    DelayUsSlot(600);
    WriteStatusByte(kEraseStatus);
    PowerDown127();
    if (PowerUp127(kProgramming) == -1) return -1;
    ExpectedValue = 0xFF;
    ModePins(0, 1, 0);
    DelayUsSlot(600);
    int r = 1;
    for (uint32_t a = 0; a < DeviceSize; ++a) {
        ChipAddress = a;
        if ((r = StepProgress(ChipAddress)) != 1) break;
        AddressOut(ChipAddress, a == 0);
        ProgramPulse127();
    }
    PowerDown127();
    return r;
}

// One lock pulse, then the status byte read back: the part is secured only
// when its lock bit reads set.
int Alg127Secure() {
    if (PowerUp127(kProgramming) == -1) return -1;
    ModePins(0, 1, 1);
    DelayUsSlot(600);
    ExpectedValue = 0xFF;
    AllAddressLines(0);
    ProgramPulse127();
    const uint32_t status = ReadStatusByte();
    PowerDown127();
    if ((status & kLockBit) != 0) return 1;
    return LockNotTaken(" Lock bit not programmed (status byte %02Xh).", static_cast<unsigned>(status));
}

std::string StatusByteRecordCheck(uint32_t, const RowRecordFacts& record) {
    if (record.PackagePins != 40) return "algorithm 127 has its socket layout for a 40-pin package only";
    if (record.DeviceSize > kAddressSpace) return "size past the 16 address lines of algorithm 127";
    return {};
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 127,
     .Read = Alg127Read,
     .Program = Alg127Program,
     .Erase = Alg127Erase,
     .Secure = Alg127Secure,
     .RecordCheck = StatusByteRecordCheck},
};

} // namespace

ROW_FAMILY("StatusByteMcu", Mcu, 200, kAlgorithmRows);
