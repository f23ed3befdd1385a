// Row 300: small bipolar and CMOS PROMs of many pin-outs on the pin driver.
// The pin-out comes from the sub-type (DeviceVariant); how a datum is written
// goes by the maker: most blow one fuse per bit with a high voltage on the
// data pin, the CMOS parts take a whole byte under Vpp.
#include "memory/PinMapProm.h"

#include <cstdint>
#include <cstring>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"

// 16 address slots, 9 data slots, 6 control slots; each list ends at 0. A
// control value above 100 is pin (value - 100) driven high at power-up.
const uint32_t PromPinMapTable[PromPinMapCount][31] = {
    {26, 27, 28, 29, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 17, 18, 19, 20, 21, 22, 23, 25, 0, 31, 0, 0, 0, 0, 0},
    {21, 22, 23, 20, 19, 18, 17, 31, 0, 0, 0, 0, 0, 0, 0, 0, 28, 27, 26, 25, 0, 0, 0, 0, 0, 29, 30, 0, 0, 0, 0},
    {21, 22, 23, 20, 19, 18, 17, 31, 30, 0, 0, 0, 0, 0, 0, 0, 28, 27, 26, 25, 0, 0, 0, 0, 0, 29, 0, 0, 0, 0, 0},
    {15, 16, 17, 18, 19, 31, 32, 33, 0, 0, 0, 0, 0, 0, 0, 0, 20, 21, 22, 23, 25, 26, 27, 28, 0, 29, 30, 0, 0, 0, 0},
    {20, 21, 22, 19, 18, 17, 16, 32, 31, 30, 0, 0, 0, 0, 0, 0, 29, 28, 27, 26, 0, 0, 0, 0, 0, 25, 23, 0, 0, 0, 0},
    {15, 16, 17, 18, 19, 30, 31, 32, 33, 0, 0, 0, 0, 0, 0, 0, 20, 21, 22, 23, 25, 26, 27, 28, 0, 29, 0, 0, 0, 0, 0},
    {20, 21, 22, 19, 18, 17, 16, 32, 31, 30, 23, 0, 0, 0, 0, 0, 29, 28, 27, 26, 0, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 0, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 32, 130, 131, 33, 0, 0},
    {19, 20, 21, 18, 17, 16, 15, 33, 32, 31, 22, 26, 0, 0, 0, 0, 30, 29, 28, 27, 0, 0, 0, 0, 0, 25, 23, 0, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 33, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 32, 130, 131, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 33, 31, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 32, 130, 0, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 33, 31, 30, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 32, 0, 0, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 37, 36, 35, 34, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 33, 32, 131, 30, 0, 0},
    {23, 22, 21, 20, 19, 18, 17, 16, 15, 33, 32, 31, 0, 0, 0, 0, 28, 27, 26, 25, 0, 0, 0, 0, 0, 29, 30, 0, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 0, 0, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 33, 30, 31, 132, 134, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 0, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 33, 30, 31, 132, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 33, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 31, 30, 132, 0, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 0, 0, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 32, 130, 131, 33, 0, 0},
    {20, 19, 18, 17, 16, 15, 14, 13, 35, 0, 0, 0, 0, 0, 0, 0, 21, 22, 23, 25, 26, 27, 28, 29, 0, 33, 32, 130, 131, 0, 0},
};

namespace pinmap {
namespace {

constexpr int kAddressSlots = 16, kDataSlots = 9, kControlSlots = 6;

// The pin-out of the current sub-type at power-up.
struct PinMap {
    int Address[kAddressSlots + 1] = {};
    int Data[kDataSlots + 1] = {};
    uint32_t Control[kControlSlots] = {};
    int LastAddress = -1; // positions
    int LastData = -1;
};
PinMap Map;

int Pin(uint32_t controlValue) { return static_cast<int>(controlValue > 100 ? controlValue - 100 : controlValue); }
int StrobePin() { return Pin(Map.Control[0]); }
int SecondPin() { return Pin(Map.Control[1]); }

bool MakerIs(const char* name) { return CurrentMakerName == name; }
// The Signetics parts are the Philips parts under their older maker name: one
// data sheet, one programming method.
bool PhilipsMaker() { return MakerIs("PHILIPS") || MakerIs("SIGNETICS(PHILIPS)"); }
bool ByteWriteMaker() {
    return MakerIs("ATMEL") || MakerIs("WAFERSCALE-INTEGRATION") || MakerIs("MICROCHIP") || MakerIs("ICT");
}

void LoadMap() {
    Map = PinMap{};
    const uint32_t* row = PromPinMapTable[DeviceVariant < PromPinMapCount ? DeviceVariant : 0];
    for (int i = 0; i < kAddressSlots && row[i] != 0; ++i) {
        Map.Address[i] = static_cast<int>(row[i]);
        Map.LastAddress = i;
    }
    for (int i = 0; i < kDataSlots && row[kAddressSlots + i] != 0; ++i) {
        Map.Data[i] = static_cast<int>(row[kAddressSlots + i]);
        Map.LastData = i;
    }
    for (int i = 0; i < kControlSlots; ++i) Map.Control[i] = row[kAddressSlots + kDataSlots + i];
    // Sub-type 4 strobes pin 23 on the parts of maker "AMD", pin 25 on the others.
    if (DeviceVariant == 4) {
        Map.Control[0] = MakerIs("AMD") ? 23 : 25;
        Map.Control[1] = MakerIs("AMD") ? 25 : 23;
    }
}

void DefineAddressGroup() {
    const int* p = Map.Address;
    DefinePinGroup("address", 0, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                   p[13], p[14], p[15], 0);
}
void DefineDataGroup() {
    const int* p = Map.Data;
    DefinePinGroup("data", 1, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], 0);
}

bool SecondPinPulsed() { return DeviceVariant >= 14 && DeviceVariant <= 16; }
void PulseSecondPin() {
    if (!SecondPinPulsed()) return;
    SetPin(SecondPin(), 1);
    SetPin(SecondPin(), 0);
}

void PowerOnDevice(int mode) {
    ProgressStep = 16;
    LoadMap();
    DefineAddressGroup();
    DefineDataGroup();
    BlankValue = MakerIs("ATMEL") || MakerIs("WAFERSCALE-INTEGRATION") || MakerIs("MICROCHIP") ? 0xFF : 0;
    SupplyVoltage = mode == 1 && ByteWriteMaker() ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(50, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinGroup(1, 0, Map.LastData);
    for (int i = 0; i < kControlSlots && Map.Control[i] != 0; ++i) {
        if (i == 0 && mode == 1 && PhilipsMaker()) SetPin(StrobePin(), 1);
        SetPin(Pin(Map.Control[i]), Map.Control[i] > 100 ? 1 : 0);
    }
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
}

// The socket's supply ramps down before the entry returns: the operation
// driver's reset would otherwise switch the supply off at full voltage and
// clear the pin latches against the outputs of a part still powered.
void PowerOffDevice() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

// The datum at the address now on the address pins.
uint32_t ReadDatum() { return static_cast<uint32_t>(ReadPinGroup(1, 0, Map.LastData)); }

uint32_t Access(uint32_t a) {
    WritePinGroup(0, 0, Map.LastAddress, a);
    PulseSecondPin();
    return ReadDatum();
}

int DataPin(int bit) { return Map.Data[bit]; }
void Channels12(int tenths) {
    SetDacVoltage(1, tenths);
    SetDacVoltage(2, tenths);
}
int PackagePins() { return PackageRow(PackageIndex).PinCount; }

// ---- maker routines: the bits of `blow` (data positions) --------------------------

int AmdRoutine(uint32_t blow) {
    const int strobe = StrobePin();
    for (int b = 0; b <= Map.LastData; ++b) {
        if ((blow >> b & 1) == 0) continue;
        PulseSecondPin();
        SetSupplyPinA(DataPin(b), 1);
        Channels12(200);
        if (strobe % 2 != 0) {
            SetSupplyPinB(strobe, 1);
            SetDacVoltage(3, 150);
            DelayShortUsSlot(10);
            Channels12(50);
            SetSupplyPinA(DataPin(b), 0);
            SetDacVoltage(3, 50);
            SetSupplyPinB(strobe, 0);
        } else {
            SetSupplyPinA(strobe, 1);
            DelayShortUsSlot(10);
            SetSupplyPinA(DataPin(b), 0);
            SetSupplyPinA(strobe, 0);
            Channels12(50);
            DelayShortUsSlot(10);
        }
    }
    SetPin(strobe, 0);
    PulseSecondPin();
    return 1;
}

// The supply DAC of the package: channel 4 (16 pins), 3 (18 pins), else 4 less 0.8 V.
void SupplyDac(int tenths) {
    if (PackagePins() == 16) SetDacVoltage(4, tenths);
    else if (PackagePins() == 18) SetDacVoltage(3, tenths);
    else SetDacVoltage(4, tenths - 8);
}

// The supply goes to 7.0 V for the pulse and back to 5.0 V for the read-back
// through the package's supply DAC: 62/42 on channel 4 for the larger
// packages, 7.0/5.0 V at the pin on 16- and 18-pin ones (read back at 4.2 V
// a 16-pin part is below its supply minimum and never answers).
void FujitsuBlowPulse(int bit) {
    const int strobe = StrobePin();
    SupplyDac(70);
    SetSupplyPinA(strobe, 1);
    Channels12(200);
    SetSupplyPinA(DataPin(bit), 1);
    SetSupplyPinA(DataPin(bit), 0);
    Channels12(50);
    SetSupplyPinA(strobe, 0);
    SupplyDac(50);
    SetPin(strobe, 0);
}

int FujitsuRoutine(uint32_t blow) {
    for (int b = 0; b <= Map.LastData; ++b) {
        if ((blow >> b & 1) == 0) continue;
        int n = 0;
        for (; n < 100; ++n) {
            FujitsuBlowPulse(b);
            if (GetPin(DataPin(b)) == 1) break;
        }
        if (n == 100) return -1;
        FujitsuBlowPulse(b); // one more once it reads 1
    }
    SetPin(StrobePin(), 0);
    return 1;
}

int ByteWriteRoutine(uint32_t) {
    const int strobe = StrobePin();
    for (int t = 0; t < 30; ++t) {
        SetPin(strobe, 1);
        WritePinGroup(1, 0, Map.LastData, ExpectedValue);
        SetSupplyPinA(strobe, 1);
        Channels12(static_cast<int>(Vpp / 10));
        DelayUsSlot(PulseWidth);
        Channels12(50);
        SetSupplyPinA(strobe, 0);
        SetPin(strobe, 0);
        FloatPinGroup(1, 0, Map.LastData);
        if (ReadDatum() == ExpectedValue) return 1;
    }
    return -1;
}

int VoltagePairRoutine(uint32_t blow) {
    int f = 105, c = 105;
    if (PhilipsMaker()) f = 175, c = 88;
    if (MakerIs("RUSSIAN")) {
        f = DeviceVariant == 0 ? 190 : 125;
        c = DeviceVariant == 0 ? 95 : 105;
    }
    const int strobe = StrobePin();
    SupplyDac(c);
    DelayShortUsSlot(100);
    for (int b = 0; b <= Map.LastData; ++b) {
        if ((blow >> b & 1) == 0) continue;
        SetSupplyPinA(DataPin(b), 1);
        Channels12(f);
        SetPin(strobe, 0);
        DelayShortUsSlot(100);
        SetPin(strobe, 1);
        Channels12(50);
        SetSupplyPinA(DataPin(b), 0);
    }
    SupplyDac(50);
    DelayShortUsSlot(100);
    SetPin(strobe, 0);
    return 1;
}

// One fuse at a time as the maker's procedure has it: the outputs are
// disabled (/G high) before the output to program is driven, that output and
// VCC go to 10.5 V, and /G low for the pulse; VCC returns to 5 V before the
// outputs are enabled again for the read-back.
int TexasRoutine(uint32_t blow) {
    const int strobe = StrobePin();
    for (int b = 0; b <= Map.LastData; ++b) {
        if ((blow >> b & 1) == 0) continue;
        SetPin(strobe, 1);
        SetSupplyPinA(DataPin(b), 1);
        Channels12(105);
        SupplyDac(105);
        DelayShortUsSlot(10);
        SetPin(strobe, 0);
        DelayShortUsSlot(20);
        SetPin(strobe, 1);
        SupplyDac(50);
        Channels12(50);
        SetSupplyPinA(DataPin(b), 0);
        DelayShortUsSlot(10);
    }
    SetPin(strobe, 0);
    return 1;
}

using Routine = int (*)(uint32_t blow);
Routine MakerRoutine() {
    if (MakerIs("AMD")) return AmdRoutine;
    if (MakerIs("FUJITSU")) return FujitsuRoutine;
    if (ByteWriteMaker()) return ByteWriteRoutine;
    if (MakerIs("NATIONAL-SEMICONDUCTOR") || PhilipsMaker() || MakerIs("RUSSIAN")) return VoltagePairRoutine;
    if (MakerIs("TEXAS-INSTRUMENTS")) return TexasRoutine;
    return nullptr; // compared only
}

int Alg300Read(int mode) {
    PowerOnDevice(2);
    if (MakerIs("ICT") && mode == 0) {
        RefuseRun(" This function not supported");
        ShowMessageLine(" (blank is not defined)");
        PowerOffDevice();
        return -1;
    }
    const int result = WalkAddresses(0xFFFFFFFFu, 0, [&](bool) {
        ReadValue = Access(ChipAddress);
        return ProcessReadByte(mode);
    });
    PowerOffDevice();
    return result;
}

int Alg300Program() {
    PowerOnDevice(1);
    const Routine routine = MakerRoutine();
    const int result = WalkAddresses(0xFFFFFFFFu, 0, [&](bool) {
        WritePinGroup(0, 0, Map.LastAddress, ChipAddress);
        ExpectedValue = RunBufferByte(BufferIndex);
        PulseSecondPin();
        FloatPinGroup(1, 0, Map.LastData);
        const uint32_t r = ReadDatum();
        const uint32_t mask = (1u << (Map.LastData + 1)) - 1;
        const uint32_t blow = ExpectedValue & ~r & mask;
        if (routine != nullptr && routine(blow) == -1) return -1;
        PulseSecondPin();
        ReadValue = ReadDatum();
        if (ReadValue != (ExpectedValue & mask)) return -1;
        BufferIndex += AddressStep;
        return 1;
    });
    PowerOffDevice();
    return result;
}

} // namespace
} // namespace pinmap

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 300,
     .Read = pinmap::Alg300Read,
     .Program = pinmap::Alg300Program,
     .VariantCount = PromPinMapCount,
     .VariantTable = "PromPinMapTable"},
};

ROW_FAMILY("PinMapProm", Memory, 110, kAlgorithmRows);
