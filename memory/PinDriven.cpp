// Byte-wide parallel memories driven pin by pin through the universal pin
// driver: address and data as pin groups, every control signal one socket pin.
// - pulse-programmed parts (rows 65, 66, 49, 53, 88): a programming pulse on
//   one pin, then a read-back;
// - write-strobe parts (rows 92, 97, 98): static memories written by one
//   /WE strobe per byte, no programming voltage.

#include <array>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/PinMapProm.h"

namespace pindriven {
namespace {

constexpr int kMaxAddressPins = 17;
using PinList = std::array<int, kMaxAddressPins + 1>; // ends at the first 0

constexpr PinList kData = {21, 22, 23, 25, 26, 27, 28, 29};
// The address pins of the 28-pin and 32-pin byte-wide parts, bit 0 first.
constexpr PinList kAddress13 = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12};
constexpr PinList kAddress17 = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12, 36, 11, 39, 10};

// What a row is made of: its pins, its steps around power-up and power-down,
// its pulse and its ProgramDatum.
struct PinRow {
    PinList Data = kData;
    PinList Address = kAddress13;
    int AddressBits = 13;
    bool Multiplexed = false; // address bits 0-7 on the data pins, latched by pin 33
    int ReadStrobe = 32;
    bool Progress16 = true;
    void (*PinSetup)() = nullptr;   // before the supply goes on
    uint32_t SettleMs = 1;
    void (*AfterPower)() = nullptr; // after the settling wait
    void (*PowerDown)() = nullptr;  // before the supply goes off
    int (*Datum)() = nullptr;       // ExpectedValue at ChipAddress: 1 or -1
};

PinRow Active;

// ---- pins -------------------------------------------------------------------

void DefineGroup(const char* label, int group, const PinList& p) {
    DefinePinGroup(label, group, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                   p[13], p[14], p[15], p[16], p[17], 0);
}

void FloatData() { FloatPinGroup(0, 0, 7); }
void FloatAllPins() { FloatPinRange(1, 48); }
void High(std::initializer_list<int> pins) {
    for (int p : pins) SetPin(p, 1);
}
void Low(std::initializer_list<int> pins) {
    for (int p : pins) SetPin(p, 0);
}

// ---- power ------------------------------------------------------------------

void PowerOnDevice(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    if (Active.Progress16) ProgressStep = 16;
    DefineGroup("data", 0, Active.Data);
    DefineGroup("address", 1, Active.Address);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (Active.PinSetup != nullptr) Active.PinSetup();
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(Active.SettleMs);
    if (Active.AfterPower != nullptr) Active.AfterPower();
}

void PowerOffDevice() {
    if (Active.PowerDown != nullptr) Active.PowerDown();
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

// ---- access -----------------------------------------------------------------

// The upper address bits at the first address of a loop and wherever bits 0-7
// are 0; bits 0-7 at every address.
void Address(uint32_t a, bool first) {
    const bool upper = first || (a & 0xFF) == 0;
    if (Active.Multiplexed) {
        if (upper) WritePinGroup(1, 0, 7, a >> 8);
        WritePinGroup(0, 0, 7, a & 0xFF);
        PulsePin(33, 3);
        FloatData();
        return;
    }
    if (upper && Active.AddressBits > 8) WritePinGroup(1, 8, Active.AddressBits - 1, a >> 8);
    WritePinGroup(1, 0, 7, a & 0xFF);
}

void ReadDatum() {
    SetPin(Active.ReadStrobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(Active.ReadStrobe, 1);
}

bool ReadBack() {
    ReadDatum();
    return ReadValue == ExpectedValue;
}

int VppTenths() { return static_cast<int>(Vpp / 10); }

// ---- pulses -----------------------------------------------------------------

void PulseRow65() {
    WritePinGroup(0, 0, 7, ExpectedValue);
    RampVoltageUp(1, 50, VppTenths(), 10, 10);
    SetPin(32, 0);
    DelayUsSlot(PulseWidth);
    SetPin(32, 1);
    RampVoltageDown(1, VppTenths(), 50, 10, 10);
    FloatData();
}

void PulseRow66(uint32_t widthUs) {
    WritePinGroup(0, 0, 7, ExpectedValue);
    PulsePinTimed(30, 0, widthUs);
    FloatData();
}

void PulseRow49() {
    ApplyVoltageToPin(1, 15, 1, VppTenths());
    WritePinGroup(0, 0, 7, ExpectedValue);
    SetPin(33, 1);
    DelayUsSlot(PulseWidth);
    SetPin(33, 0);
    FloatData();
    ApplyVoltageToPin(1, 15, 0, 50);
}

// Rows 53 and 88: the program pin low for PulseWidth.
int ProgramPin() { return CurrentAlgorithm == 88 && DeviceVariant == 0 ? 33 : 37; }
void PulseWritePin() {
    WritePinGroup(0, 0, 7, ExpectedValue);
    PulsePinTimed(ProgramPin(), 0, PulseWidth);
    FloatData();
}

// Rows 92, 97, 98: one untimed /WE strobe.
void WriteStrobe() {
    WritePinGroup(0, 0, 7, ExpectedValue);
    PulsePin(37, 0);
    FloatData();
}

// ---- ProgramDatum -----------------------------------------------------------

template <void (*Pulse)(), uint32_t FixedLimit = 0> int PulseUntilVerified() {
    if (ExpectedValue == BlankValue) return 1;
    return PulseVerify([](uint32_t) { Pulse(); }, ReadBack, false, FixedLimit != 0 ? FixedLimit : Retry);
}

// Two verified passes, pin 37 high in the first and low in the second, each
// ended by the over-program pulse.
int DatumRow66() {
    if (ExpectedValue == BlankValue) return 1;
    for (int pass = 0; pass < 2; ++pass) {
        SetPin(37, pass == 0 ? 1 : 0);
        const int r = PulseVerify(PulseRow66, ReadBack, true, Retry);
        SetPin(37, 1);
        if (r != 1) return -1;
    }
    return 1;
}

int DatumRow92() { return PulseVerify([](uint32_t) { WriteStrobe(); }, ReadBack, false, Retry); }

int DatumRow97() {
    WriteStrobe();
    return ReadBack() ? 1 : -1;
}

// The clock registers at 0-0Dh are written but not read back.
int DatumRow98() {
    WriteStrobe();
    if (ChipAddress < 0x0E) return 1;
    return ReadBack() ? 1 : -1;
}

// ---- row set-ups --------------------------------------------------------------

PinRow Row65() {
    PinRow r;
    r.Address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 30, 33};
    r.PinSetup = [] {
        FloatData();
        High({32, 12, 37, 36, 38});
    };
    r.AfterPower = [] {
        SetDeviceVpp(1, 50);
        Low({12, 37});
    };
    r.PowerDown = [] {
        High({12, 37});
        SetDeviceVpp(0, 0);
    };
    r.Datum = PulseUntilVerified<PulseRow65>;
    return r;
}

PinRow Row66() {
    PinRow r;
    r.Address = {20, 19, 18, 17, 16, 15, 14, 13, 35, 34, 31, 33, 12, 36};
    r.AddressBits = 14;
    r.Progress16 = false;
    r.PinSetup = [] {
        BlankValue = 0;
        FloatAllPins();
        SetPin(30, 1);
        WritePinGroup(1, 0, 13, 0);
        High({37, 32});
    };
    r.AfterPower = [] { SetDeviceVpp(1, 50); };
    r.PowerDown = [] { SetDeviceVpp(0, 0); };
    r.Datum = DatumRow66;
    return r;
}

PinRow Row49() {
    PinRow r;
    r.Data = {20, 28, 21, 27, 22, 26, 23, 25};
    r.Address = {29, 19, 30, 18, 31, 17, 32, 16};
    r.AddressBits = 16;
    r.Multiplexed = true;
    r.ReadStrobe = 15;
    r.PinSetup = [] {
        FloatData();
        WritePinGroup(1, 0, 7, 0);
        SetPin(15, 1);
        SetPin(33, 0);
    };
    r.Datum = PulseUntilVerified<PulseRow49>;
    return r;
}

// Rows 53 and 88: /CE (pin 30) low once the part is powered, high before it goes off.
void CeLow() { SetPin(30, 0); }
void CeHigh() { SetPin(30, 1); }

PinRow Row53() {
    PinRow r;
    r.PinSetup = [] {
        BlankCheckAfterErase = 1;
        FloatData();
        High({37, 30, 32});
    };
    r.AfterPower = CeLow;
    r.PowerDown = CeHigh;
    r.Datum = PulseUntilVerified<PulseWritePin, 25>;
    return r;
}

PinRow Row88() {
    PinRow r;
    r.AddressBits = DeviceVariant == 0 ? 11 : 13;
    r.PinSetup = [] {
        FloatAllPins();
        WritePinGroup(1, 0, static_cast<int>(Active.AddressBits - 1), 0);
        High({ProgramPin(), 30, 32, 11});
    };
    r.AfterPower = CeLow;
    r.PowerDown = CeHigh;
    r.Datum = PulseUntilVerified<PulseWritePin>;
    return r;
}

// Rows 92, 97, 98: /WE, /CE and /OE high until the part is powered.
template <bool AddressZero> void WriteStrobeSetup() {
    FloatAllPins();
    if (AddressZero) WritePinGroup(1, 0, 14, 0);
    High({37, 30, 32});
}

PinRow WriteStrobeRow(uint32_t settleMs, int (*datum)()) {
    PinRow r;
    r.Address = kAddress17;
    r.AddressBits = 15;
    r.Progress16 = false;
    r.PinSetup = WriteStrobeSetup<false>;
    r.SettleMs = settleMs;
    r.AfterPower = CeLow;
    r.PowerDown = CeHigh;
    r.Datum = datum;
    return r;
}

PinRow Row92() {
    PinRow r = WriteStrobeRow(100, DatumRow92);
    r.PinSetup = WriteStrobeSetup<true>;
    return r;
}
PinRow Row97() { return WriteStrobeRow(1, DatumRow97); }
PinRow Row98() {
    PinRow r = WriteStrobeRow(200, DatumRow98);
    r.AddressBits = 17;
    r.AfterPower = [] {
        CeLow();
        DelayMsSlot(1);
    };
    return r;
}

// ---- loops --------------------------------------------------------------------

// Verify leaves these addresses out: not read, not compared, the buffer moves on.
using SkipFn = bool (*)(uint32_t address);
bool NoSkip(uint32_t) { return false; }
bool ClockRegisters92(uint32_t a) { return a >= 0x7FF8; }
bool ClockRegisters98(uint32_t a) { return a < 0x0E; }

int Read(int mode, SkipFn verifySkips) {
    PowerOnDevice(2);
    const bool row66 = CurrentAlgorithm == 66;
    if (row66) Low({30, 37});
    // The upper bits go out with the first address actually read, which is
    // not the first of the loop when verify skips the start.
    bool upperDue = true;
    const int result = WalkAddresses(0xFFFF, mode, [&](bool) {
        if (mode == 3 && verifySkips(ChipAddress)) {
            BufferIndex += AddressStep;
            return 1;
        }
        Address(ChipAddress, upperDue);
        upperDue = false;
        ReadDatum();
        return ProcessReadByte(mode);
    });
    if (row66) High({30, 37});
    PowerOffDevice();
    return result;
}

int Program() {
    PowerOnDevice(1);
    const bool row66 = CurrentAlgorithm == 66;
    if (row66) RampVoltageUp(1, 50, VppTenths(), 10, 10);
    const int result = WalkAddresses(0xFFFF, 1, [&](bool first) {
        Address(ChipAddress, first);
        ExpectedValue = RunBufferByte(BufferIndex);
        if (Active.Datum() != 1) return -1;
        BufferIndex += AddressStep;
        return 1;
    });
    if (row66) RampVoltageDown(1, VppTenths(), 50, 10, 10);
    PowerOffDevice();
    return result;
}

template <PinRow (*Row)(), SkipFn Skip = NoSkip> int RowRead(int mode) {
    Active = Row();
    return Read(mode, Skip);
}
template <PinRow (*Row)()> int RowProgram() {
    Active = Row();
    return Program();
}

// Chip erase: data FFh, /WE and /OE low, a /CE pulse, then /WE held low for
// the erase time.
int Alg53Erase() {
    Active = Row53();
    PowerOnDevice(1);
    SetPin(30, 1);
    WritePinGroup(0, 0, 7, 0xFF);
    Low({37, 32, 30});
    SetPin(30, 1);
    SetPin(32, 1);
    DelayMsSlot(25);
    SetPin(37, 1);
    PowerOffDevice();
    return 1;
}

// Variant 0 writes FFh to every address; the others erase the chip with one
// /WE pulse while pin 11 is low.
int Alg88Erase() {
    Active = Row88();
    // Neither way reads the part back: the operation driver's blank check
    // after the erase step finds a cell left.
    BlankCheckAfterErase = 1;
    PowerOnDevice(1);
    int result = 1;
    if (DeviceVariant == 0) {
        ExpectedValue = 0xFF;
        result = WalkAddresses(0xFFFFFFFFu, 0, [](bool first) {
            Address(ChipAddress, first);
            PulseWritePin();
            return 1;
        });
    } else {
        SetPin(11, 0);
        PulsePinTimed(37, 0, PulseWidth);
        SetPin(11, 1);
    }
    PowerOffDevice();
    return result;
}

constexpr AlgReadFn Alg65Read = RowRead<Row65>;
constexpr AlgOperationFn Alg65Program = RowProgram<Row65>;
constexpr AlgReadFn Alg66Read = RowRead<Row66>;
constexpr AlgOperationFn Alg66Program = RowProgram<Row66>;
constexpr AlgReadFn Alg49Read = RowRead<Row49>;
constexpr AlgOperationFn Alg49Program = RowProgram<Row49>;
constexpr AlgReadFn Alg53Read = RowRead<Row53>;
constexpr AlgOperationFn Alg53Program = RowProgram<Row53>;
constexpr AlgReadFn Alg88Read = RowRead<Row88>;
constexpr AlgOperationFn Alg88Program = RowProgram<Row88>;
constexpr AlgReadFn Alg92Read = RowRead<Row92, ClockRegisters92>;
constexpr AlgOperationFn Alg92Program = RowProgram<Row92>;
constexpr AlgReadFn Alg97Read = RowRead<Row97>;
constexpr AlgOperationFn Alg97Program = RowProgram<Row97>;
constexpr AlgReadFn Alg98Read = RowRead<Row98, ClockRegisters98>;
constexpr AlgOperationFn Alg98Program = RowProgram<Row98>;

} // namespace
} // namespace pindriven

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 65, .Read = pindriven::Alg65Read, .Program = pindriven::Alg65Program},
    {.Row = 66, .Read = pindriven::Alg66Read, .Program = pindriven::Alg66Program, .LeastPage = 2},
    {.Row = 49, .Read = pindriven::Alg49Read, .Program = pindriven::Alg49Program},
    {.Row = 53,
     .Read = pindriven::Alg53Read,
     .Program = pindriven::Alg53Program,
     .Erase = pindriven::Alg53Erase},
    {.Row = 88,
     .Read = pindriven::Alg88Read,
     .Program = pindriven::Alg88Program,
     .Erase = pindriven::Alg88Erase},
    {.Row = 92, .Read = pindriven::Alg92Read, .Program = pindriven::Alg92Program},
    {.Row = 97, .Read = pindriven::Alg97Read, .Program = pindriven::Alg97Program},
    {.Row = 98, .Read = pindriven::Alg98Read, .Program = pindriven::Alg98Program},
};

ROW_FAMILY("PinDriven", Memory, 100, kAlgorithmRows);
