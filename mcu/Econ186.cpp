#include "mcu/Econ186.h"

#include <algorithm>
#include <cstring>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"

uint32_t EconValue = 0;
uint32_t EconBytes[8] = {};

namespace {

constexpr uint32_t kEconConfigBytes = 9; // ECON and configuration bytes 0-7
constexpr uint32_t kEconMakerAddress = 0x1E;
constexpr uint32_t kEconDeviceAddress = 0x1F;
constexpr uint32_t kEconAddress = 0x20;
constexpr uint32_t kEconSecurityBit = 0x20;
constexpr uint32_t kEconAlwaysSet = 0x80;
constexpr int kEconAttempts = 6;

// Socket pins by the package's pin count.
struct EconPins {
    uint32_t packagePins;
    int configSelect, vpp, dataIn, clock, dataOut, addressData, pulse, mode;
};
constexpr EconPins kEconPinTable[] = {
    {16, 17, 19, 20, 21, 29, 30, 31, 32}, {20, 15, 17, 18, 19, 31, 32, 33, 34},
    {28, 11, 13, 14, 15, 35, 36, 37, 38}, {40, 7, 9, 10, 11, 39, 40, 41, 42},
    {44, 5, 7, 8, 9, 41, 42, 43, 44},
};

const EconPins* g_pins = nullptr;

uint32_t PackagePins186() { return PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0; }

const EconPins* PinsFor(uint32_t packagePins) {
    for (const EconPins& p : kEconPinTable)
        if (p.packagePins == packagePins) return &p;
    return nullptr;
}

void Clock() { PulsePin(g_pins->clock, 2); }

uint32_t EconReadByte186() {
    SetPin(g_pins->clock, 1);
    Clock();
    ReadValue = 0;
    for (int i = 0; i < 8; ++i) {
        Clock();
        ReadValue |= static_cast<uint32_t>(GetPin(g_pins->dataOut) & 1) << i;
    }
    SetPin(g_pins->clock, 0);
    return ReadValue;
}

// Eight bits, bit 0 first, on the data pin and/or the address pin, then the
// clock that ends the frame.
void EconWriteFrame186(bool data, uint32_t value, bool address, uint32_t a) {
    SetPin(g_pins->clock, 1);
    for (int i = 0; i < 8; ++i) {
        if (data) SetPin(g_pins->dataIn, static_cast<int>(value >> i & 1));
        if (address) SetPin(g_pins->addressData, static_cast<int>(a >> i & 1));
        Clock();
    }
    Clock();
    SetPin(g_pins->clock, 0);
}

void EconWriteAddress186(uint32_t a) { EconWriteFrame186(false, 0, true, a); }

// Sends ExpectedValue (with the address when `config`), then up to six
// pulses, each followed by the chip's success bit; a byte that took gets
// the over-program pulse.
int EconProgramByte186(bool config, uint32_t a) {
    EconWriteFrame186(true, ExpectedValue, config, a);
    DelayShortUsSlot(3);
    for (int n = 0; n < kEconAttempts; ++n) {
        PulsePinTimed(g_pins->pulse, 3, PulseWidth);
        DelayShortUsSlot(3);
        if (GetPin(g_pins->dataOut) == 1) {
            PulsePinTimed(g_pins->pulse, 3, OverPulseWidth);
            DelayShortUsSlot(3);
            return 1;
        }
    }
    return -1;
}

// phase 1 programs, any other reads. A package the row has no pins for is
// refused before any supply is switched.
bool McuPowerUp186(int phase) {
    g_pins = PinsFor(PackagePins186());
    if (g_pins == nullptr) {
        RefuseRun(" Package of %u pins not supported.", PackagePins186());
        return false;
    }
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    SupplyVoltage = phase == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    for (int pin : {g_pins->configSelect, g_pins->dataIn, g_pins->clock, g_pins->addressData, g_pins->pulse,
                    g_pins->mode})
        SetPin(pin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetPin(g_pins->dataIn, 1);
    SetPin(g_pins->mode, 1);
    ApplyVppToPin(g_pins->vpp, 1, static_cast<int>(Vpp / 10));
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    SetPin(g_pins->dataIn, 0);
    SetPin(g_pins->clock, 1);
    for (int i = 0; i < 10; ++i) Clock();
    SetPin(g_pins->clock, 0);
    SetPin(g_pins->mode, 0);
    return true;
}

void McuPowerDown186() {
    SetPin(g_pins->configSelect, 0);
    SetPin(g_pins->dataIn, 1);
    SetPin(g_pins->mode, 1);
    SetDeviceVpp(0, 50);
    ApplyVppToPin(g_pins->vpp, 0, 50);
    DelayUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SkipIdCheck = 1;
}

// The code loops address the chip through its own counter, which starts at
// 0: a range starting elsewhere would land in the wrong cells.
bool CodeStartsAtZero() {
    if (DeviceStart == 0) return true;
    RefuseRun(" Chip start %Xh not supported: this device is addressed from 0.", DeviceStart);
    return false;
}

uint8_t BufferByte186(uint32_t a) { return ReadBufferByteCached(a); }

// The image's code bytes end nine before its top; a range ending below them
// ends the code there.
uint32_t LastCodeAddress186() { return std::min(DeviceEnd, DeviceSize - 1 - kEconConfigBytes); }

// How many of the nine configuration bytes (the ECON byte first) the range
// reaches: all at the device's top, none for a range ending in the code.
uint32_t ConfigBytesInRange186() {
    const uint32_t first = DeviceSize - kEconConfigBytes;
    return DeviceEnd < first ? 0 : std::min(DeviceEnd - first + 1, kEconConfigBytes);
}

// The buffer byte of the ECON value: its chip position counted from Buffer
// Start as the code bytes are.
uint32_t ConfigBufferAddress186() { return BufferStart + (DeviceSize - kEconConfigBytes - DeviceStart); }

} // namespace

// The signature, ECON and configuration bytes are read at every call, so an
// entry after Program in the same run sees what Program wrote.
int CheckEconSignature186() {
    if (!McuPowerUp186(2)) return -1;
    SetPin(g_pins->configSelect, 1);
    uint32_t values[3 + 8] = {};
    const uint32_t addresses[3] = {kEconMakerAddress, kEconDeviceAddress, kEconAddress};
    for (uint32_t i = 0; i < 11; ++i) {
        EconWriteAddress186(i < 3 ? addresses[i] : i - 3);
        values[i] = EconReadByte186();
    }
    SetPin(g_pins->configSelect, 0);
    const uint32_t maker = values[0], device = values[1];
    EconValue = values[2];
    for (uint32_t i = 0; i < 8; ++i) EconBytes[i] = values[3 + i];
    int r = 1;
    if (SkipIdCheck == 0) {
        if ((device == 0 || device == (ExpectedDeviceId & 0xFF)) && (maker == 0 || maker == 0x20)) {
            if (EconValue & kEconSecurityBit) {
                ShowMessageLine(" Device secured!");
                ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
                r = -1;
            }
        } else {
            // The socket is off before the question waits for an answer; No
            // ends the run at the line (nothing of the part was compared).
            EconValue &= 0x5F;
            McuPowerDown186();
            return RefuseIdentity(true, " Incorrect device ID.");
        }
    }
    EconValue &= 0x5F;
    McuPowerDown186();
    return r;
}

namespace {

int Alg186Read(int mode) {
    if (!CodeStartsAtZero() || CheckEconSignature186() != 1) return -1;
    if (!McuPowerUp186(2)) return -1;
    SetPin(g_pins->clock, 1);
    for (int i = 0; i < 9; ++i) Clock();
    SetPin(g_pins->clock, 0);
    int r = 1;
    for (ChipAddress = DeviceStart; r == 1 && ChipAddress <= LastCodeAddress186(); ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) break;
        EconReadByte186();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex > 0xFFFF) r = AdvanceToNextBankIf(mode);
    }
    // The configuration values the range holds, at their places in the
    // image (where Program takes them from); a range ending before them
    // leaves the buffer past its end alone.
    const uint32_t config = ConfigBytesInRange186();
    if (r == 1 && config > 0) {
        const uint32_t at = ConfigBufferAddress186();
        if (SelectBank(at, 1) != 1) r = -1;
        BufferIndex = at & 0xFFFF;
    }
    for (uint32_t i = 0; r == 1 && i < config; ++i) {
        ReadValue = i == 0 ? EconValue : EconBytes[i - 1];
        r = ProcessReadByte(mode);
    }
    if (mode == 2) ShowMessageLine(" ECON:%02Xh", EconValue);
    McuPowerDown186();
    return r;
}

int Alg186Program() {
    if (!CodeStartsAtZero() || CheckEconSignature186() != 1) return -1;
    if (!McuPowerUp186(1)) return -1;
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= LastCodeAddress186(); ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) break;
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if ((r = EconProgramByte186(false, 0)) != 1) break;
        BufferIndex += 1;
        if (BufferIndex > 0xFFFF && (r = AdvanceToNextBank()) == -1) break;
    }
    // The ECON byte and the configuration bytes the range reaches.
    const uint32_t config = ConfigBytesInRange186();
    if (r == 1 && config > 0) {
        const uint32_t at = ConfigBufferAddress186();
        SetPin(g_pins->configSelect, 1);
        ExpectedValue = (BufferByte186(at) | kEconAlwaysSet) & ~kEconSecurityBit & 0xFF;
        r = EconProgramByte186(true, kEconAddress);
        for (uint32_t i = 1; r == 1 && i < config; ++i) {
            ExpectedValue = BufferByte186(at + i);
            r = EconProgramByte186(true, i - 1);
        }
        SetPin(g_pins->configSelect, 0);
    }
    McuPowerDown186();
    return r;
}

int Alg186Secure() {
    if (CheckEconSignature186() != 1) return -1;
    if (!McuPowerUp186(1)) return -1;
    SetPin(g_pins->configSelect, 1);
    ExpectedValue = (EconValue | kEconAlwaysSet | kEconSecurityBit) & 0xFF;
    const int r = EconProgramByte186(true, kEconAddress);
    SetPin(g_pins->configSelect, 0);
    McuPowerDown186();
    return r;
}

std::string CheckEconRecord186(uint32_t, const RowRecordFacts& record) {
    if (PinsFor(record.PackagePins) == nullptr)
        return "package of " + std::to_string(record.PackagePins) + " pins (16, 20, 28, 40 or 44)";
    if (record.DeviceSize <= kEconConfigBytes) return "no code bytes before the nine configuration bytes";
    return "";
}

// The rows of this family. The ECON byte leads the nine configuration bytes
// at the image's end; Program sets its bit 7 and clears the security bit 5,
// Read gives both cleared. Program takes consecutive buffer bytes whatever
// the split mode: no byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 186,
     .Read = Alg186Read,
     .Program = Alg186Program,
     .Secure = Alg186Secure,
     .RecordCheck = CheckEconRecord186,
     .StartRefusal = " Chip start ",
     .RegisterByteFromEnd = kEconConfigBytes,
     .RegisterReadBits = static_cast<uint8_t>(0xFF & ~(kEconAlwaysSet | kEconSecurityBit)),
     .NoByteLanes = true,
     .ChecksIdentity = ChecksIdentityAlways},
};

} // namespace

ROW_FAMILY("Econ186", Mcu, 280, kAlgorithmRows);

void ResetEcon186State() {
    EconValue = 0;
    std::memset(EconBytes, 0, sizeof EconBytes);
}
