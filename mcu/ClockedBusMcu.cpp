// Microcontrollers read out over a multiplexed bus while running from a
// clock the programmer gives by switching a socket pin to ground and back
// (row 145: ROM bytes 300h-7FFh).

#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

constexpr int kBus[8] = {32, 31, 30, 29, 28, 27, 26, 25}; // bit 0 first
constexpr int kHighAddress[3] = {19, 18, 17};             // bits 8-10
constexpr int kClockPin = 15, kModePin = 34;
constexpr int kStartupPairs = 4064;
constexpr uint32_t kRomFirst = 0x300, kRomLast = 0x7FF;

// Two clock cycles, ending low.
void ClockPair() {
    SetGroundPin(kClockPin, 0);
    SetGroundPin(kClockPin, 1);
    SetGroundPin(kClockPin, 0);
    SetGroundPin(kClockPin, 1);
}

// Purpose 1 programs, any other value reads.
void ClockedPowerUp(int purpose) {
    BlankValue = 0;
    DefinePinGroup("B", 0, kBus[0], kBus[1], kBus[2], kBus[3], kBus[4], kBus[5], kBus[6], kBus[7], 0);
    DefinePinGroup("A", 1, kHighAddress[0], kHighAddress[1], kHighAddress[2], 0);
    SupplyVoltage = purpose == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 50, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kHighAddress[0], 0);
    SetPin(kClockPin, 1);
    SetGroundPin(kClockPin, 1);
    SetPin(kModePin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SetDeviceVpp(1, 100);
    DelayMsSlot(1);
    for (int i = 0; i < kStartupPairs; ++i)
        ClockPair();
    SetPin(kModePin, 1);
    DelayUsSlot(100);
    ClockPair();
    ClockPair();
}

void ClockedPowerDown() {
    FloatPinGroup(0, 0, 7);
    SetPin(kModePin, 0);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetDeviceGround(0);
}

// Address, datum, address again, then the part's byte: the part drives the
// bus from the end of the third clock pair.
void BusCycle(uint32_t a, uint32_t d) {
    WritePinGroup(1, 0, 2, (a >> 8) & 7);
    WritePinGroup(0, 0, 7, a & 0xFF);
    ClockPair();
    WritePinGroup(0, 0, 7, d & 0xFF);
    ClockPair();
    WritePinGroup(0, 0, 7, a & 0xFF);
    ClockPair();
    FloatPinGroup(0, 0, 7);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    ClockPair();
}

// Always 300h-7FFh into buffer bytes 300h-7FFh of the first bank, one
// after the other, whatever the range and the split mode.
int Alg145Read(int mode) {
    ClockedPowerUp(mode);
    BusCycle(0x1F, 0x20);
    BusCycle(0x18, 0x04);
    SelectBank(0, 1);
    AddressStep = 1;
    BufferIndex = kRomFirst;
    int r = 1;
    for (uint32_t a = kRomFirst; a <= kRomLast; ++a) {
        ChipAddress = a;
        if ((r = StepProgress(ChipAddress)) != 1) break;
        BusCycle(ChipAddress, 0xFF);
        CellAtPlace(a);
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    ClockedPowerDown();
    return r;
}

// The row has no programming sequence for its parts: rather than step the
// range and report success over an unchanged part, it says so and fails.
int Alg145Program() {
    RefuseRun(" This function not supported");
    return -1;
}

// Records offering Program are refused: the row cannot program.
std::string ClockedRecordCheck(uint32_t, const RowRecordFacts& record) {
    if (record.Programs) return "algorithm 145 cannot program; the record must not offer Program";
    return {};
}

// The ROM bytes keep their buffer bytes at their chip addresses whatever
// Buffer Start says, and Read fills them whatever the range.
std::vector<FixedBufferPlace> RomPlace() { return {{kRomFirst, kRomLast, kRomFirst}}; }

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 145,
     .Read = Alg145Read,
     .Program = Alg145Program,
     .RecordCheck = ClockedRecordCheck,
     .FixedPlaces = RomPlace},
};

} // namespace

ROW_FAMILY("ClockedBusMcu", Mcu, 180, kAlgorithmRows);
