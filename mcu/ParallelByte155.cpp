// Microcontrollers programmed byte by byte in a parallel EPROM-like mode with
// the enable line held low for the whole operation and the programming
// voltage on a pin of the layout (row 155: 32-pin parts on socket adapter
// 'p'; its 40-pin packages are refused, the programmer does not power them).

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
#include "engine/Tables.h"
#include "mcu/McuFrame.h"

namespace {

// Socket pins of one layout.
struct ByteLayout {
    int data[8];     // D0 first
    int address[15]; // A0 first
    int vpp, mode, program, enable, read;
};
constexpr ByteLayout kLayout32AdapterP = {{25, 26, 13, 28, 29, 30, 31, 32},
                                          {5, 17, 19, 20, 21, 22, 23, 33, 15, 16, 9, 34, 35, 36, 18},
                                          11,
                                          27,
                                          14,
                                          38,
                                          37};
constexpr uint8_t kAdapterP = 'p';

const ByteLayout* g_layout = nullptr;

uint32_t PackagePinCount() {
    return PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
}

// The programmer's routing gives this row supply, ground and the
// programming voltage on the socket pins of its 32-pin package only, and
// grounds socket pin 24, which both 40-pin layouts use as A7: a 40-pin part
// would run unpowered with an address line shorted, so it has no layout.
constexpr const char* kNo40PinLine =
    " 40-pin package not supported: supply, ground, Vpp only for 32 pins; socket pin 24 (A7) grounded.";

// The layout of the current device; nullptr for a package the row has none
// for (32 pins off adapter 'p', 40 pins, any other count).
const ByteLayout* LayoutForDevice() {
    if (PackagePinCount() == 32 && AdapterCode == kAdapterP) return &kLayout32AdapterP;
    return nullptr;
}

// The layout into the pin-driver modules' pin map (the roles it has).
void FillPinMap(const ByteLayout& l) {
    for (int i = 0; i < 8; ++i) {
        McuPinMap[McuP1_0 + i] = static_cast<uint32_t>(l.address[i]);
        McuPinMap[McuP0_0 + i] = static_cast<uint32_t>(l.data[i]);
    }
    for (int i = 0; i < 6; ++i)
        McuPinMap[McuP2_0 + i] = static_cast<uint32_t>(l.address[8 + i]);
    McuPinMap[McuEaVpp] = static_cast<uint32_t>(l.vpp);
}

void VppPin(int state) {
    const int pin = g_layout->vpp;
    if (HardwareKind == 1) {
        SetSupplyPinA(pin, state);
    } else {
        ApplyVppToPin(pin, state, state == 1 ? static_cast<int>(Vpp / 10) : 0);
    }
}

// Phase 1 programs, 2 reads. -1 with one line for a package without a
// layout: nothing is switched.
int ByteModulePowerUp(int phase) {
    g_layout = LayoutForDevice();
    if (g_layout == nullptr) {
        if (PackagePinCount() == 40) {
            RefuseRun("%s", kNo40PinLine);
        } else {
            RefuseRun(" Package not supported by this algorithm.");
        }
        return -1;
    }
    const ByteLayout& l = *g_layout;
    FillPinMap(l);
    SupplyVoltage = phase == 1 ? Vccp / 10 : ReadVccInUse;
    const int* d = l.data;
    const int* a = l.address;
    DefinePinGroup("D", 0, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    DefinePinGroup("A", 1, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12],
                   a[13], a[14], 0);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(1, 0, 14, 0);
    SetPin(l.mode, 1);
    SetPin(l.program, 1);
    SetPin(l.enable, 1);
    SetPin(l.read, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    VppPin(1);
    SetPin(l.enable, 0);
    return 1;
}

void ByteModulePowerDown() {
    SetPin(g_layout->enable, 1);
    SetPin(g_layout->read, 1);
    VppPin(0);
    SetDeviceVpp(0, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

// Every address line at the first address of a range (it need not start on
// a 256-byte boundary), then the high lines at each boundary.
void ByteModuleAddress(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) WritePinGroup(1, 8, 14, (a >> 8) & 0x7F);
    WritePinGroup(1, 0, 7, a & 0xFF);
}

void ByteModuleReadCycle() {
    SetPin(g_layout->read, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_layout->read, 1);
}

void ByteModuleProgramPulse() {
    WritePinGroup(0, 0, 7, ExpectedValue & 0xFF);
    PulsePinTimed(g_layout->program, 2, PulseWidth);
    FloatPinGroup(0, 0, 7);
}

// A blank byte gets no pulse; otherwise at most Retry - 1 pulses, each read
// back.
int ByteModuleProgramWithRetry() {
    if ((ExpectedValue & 0xFF) == (BlankValue & 0xFF)) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        ByteModuleProgramPulse();
        ByteModuleReadCycle();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

int Alg155Read(int mode) {
    if (ByteModulePowerUp(2) == -1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        ByteModuleAddress(ChipAddress, a == DeviceStart);
        ByteModuleReadCycle();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    ByteModulePowerDown();
    return r;
}

int Alg155Program() {
    if (ByteModulePowerUp(1) == -1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        ByteModuleAddress(ChipAddress, a == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if ((r = ByteModuleProgramWithRetry()) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    ByteModulePowerDown();
    return r;
}

// Only 32-pin packages on adapter 'p' have a layout the programmer powers;
// 15 address lines reach 32 KB.
std::string ByteModuleRecordCheck(uint32_t, const RowRecordFacts& record) {
    if (record.PackagePins == 40)
        return "algorithm 155 has no supply, ground or programming voltage for a 40-pin package (routed for the "
               "32-pin package on adapter 'p' only; socket pin 24, A7 of the 40-pin layouts, is grounded)";
    if (!(record.PackagePins == 32 && record.Adapter == kAdapterP))
        return "algorithm 155 has no pin layout for this package (32 pins on adapter 'p')";
    if (record.DeviceSize > 0x8000) return "size past the 15 address lines of algorithm 155";
    return {};
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 155, .Read = Alg155Read, .Program = Alg155Program, .RecordCheck = ByteModuleRecordCheck},
};

} // namespace

ROW_FAMILY("ParallelByte155", Mcu, 190, kAlgorithmRows);
