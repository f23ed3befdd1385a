// The V750 type (row 248): a larger PLD with a 12-byte identification text,
// the row address shifted in behind the data, 171-bit rows and a security
// check before anything but an erase.

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
#include "engine/RowDef.h"
#include "logic/FuseCells.h"
#include "logic/GalFrame.h"
#include "logic/PalEmulation.h"
#include "logic/GalIdShared.h"

namespace {

// Row 248: the V750 type. Mode pins, the row address shifted in behind the
// data with bit 6 left live on the data pin, 171-bit rows.

constexpr int k248Data = 23;
constexpr int k248Clock = 22;
constexpr int k248Out = 26;
constexpr int k248Load = 25;
constexpr int k248Enable = 15;
constexpr int k248Select14500 = 17;
constexpr int k248SelectRows = 20;
constexpr int k248Edit = 14;
constexpr int k248Bits = 171;
constexpr int k248Rows = 85;
constexpr int k248FirstRow96 = 96;
constexpr int k248Rows96 = 7;
constexpr int k248Row96Bits = 10;
constexpr int k248IdRow = 127;
constexpr int k248SecureRow = 124;
constexpr int k248SecurityRow = 111;
constexpr int k248FuseRow = 125;
constexpr int k248EraseModes = 15;
constexpr int kWriteEditTenths = 125;
constexpr uint32_t k248Fuse14499 = 14499, k248Fuse14500 = 14500;
constexpr uint32_t kNo248Fuse = 0xFFFFFFFF;
constexpr int kEraseOpen = 5;

const IdChoice kAlg248Suffixes[] = {
    {"C000", 10, 50, 0}, {"CL00", 10, 50, 0}, {"LVC0", 10, 50, 0}, {"LVZ0", 10, 50, 0},
    {"C003", 20, 100, 0}, {"CL03", 20, 100, 0}, {"LVC3", 20, 100, 0}, {"LVZ3", 20, 100, 0},
};

void Clock248(uint32_t bit) {
    SetPin(k248Data, static_cast<int>(bit & 1));
    PulsePin(k248Clock, 3);
}

void ShiftRowAddress(int address, bool hold) {
    for (int k = 0; k < 6; ++k) Clock248(static_cast<uint32_t>(address >> k) & 1);
    SetPin(k248Data, (address >> 6) & 1);
    if (hold) SetPin(k248Clock, 1);
}

void PulseRow248(uint32_t ms, bool keep) {
    SetPin(k248Enable, 1);
    SetPin(k248Load, 0);
    DelayMsSlot(ms);
    SetPin(k248Load, 1);
    if (!keep) SetPin(k248Enable, 0);
}

uint32_t Fuse248(int row, int p) {
    if (row >= k248FirstRow96) {
        const int j = row - k248FirstRow96;
        return j < 3 ? 14364 + 3 * static_cast<uint32_t>(p) + static_cast<uint32_t>(j)
                     : 14392 + 4 * static_cast<uint32_t>(p) + static_cast<uint32_t>(j);
    }
    if (row == k248Rows - 1) return p >= 107 ? 14435 + static_cast<uint32_t>(p - 107) : kNo248Fuse;
    int t = p;
    if (p >= 170) t = 170;
    else if (p >= 157) t = 326 - p;
    else if (p >= 142) t = 298 - p;
    else if (p >= 125) t = 266 - p;
    else if (p >= 106) t = 230 - p;
    else if (p >= 85) t = 190 - p;
    return static_cast<uint32_t>(t * 84 + row);
}

void PowerDown248() {
    ApplyVoltageToPin(2, k248Edit, 0, kIdleEditTenths);
    SetDevicePower(0, 50);
}

// Loads row 111 after flushing the register with ones: its last bit is 0
// on a secured part.
bool Secured248() {
    for (int k = 0; k < 180 + k248Bits; ++k) Clock248(1);
    ShiftRowAddress(k248SecurityRow, false);
    PulsePin(k248Load, 2);
    uint32_t last = 1;
    for (int p = 0; p < k248Bits; ++p) {
        last = static_cast<uint32_t>(GetPin(k248Out));
        if (p != k248Bits - 1) Clock248(0);
    }
    return last == 0;
}

// Fuse 14394 lies between the output configuration rows' three-cell fuses
// (14364-14393) and four-cell fuses (14395-14434): no row has a cell for it.
constexpr uint32_t k248CelllessFuse = 14394;

// The parts without the UES or without fuse 14500/14499 keep those 0, as
// the parts whose map reaches past 14394 keep that fuse.
void ClearAbsent248() {
    if (DeviceSize > k248CelllessFuse) SetBufferBit(k248CelllessFuse, 0);
    uint32_t first = k248Fuse14499;
    uint32_t last = k248Fuse14499;
    if (DeviceVariant == 0 || DeviceVariant == 4) {
        first = 14395;
        last = k248Fuse14500;
    } else if (DeviceVariant == 1 || DeviceVariant == 5) {
        first = 14435;
        last = k248Fuse14500;
    } else if (DeviceVariant != 2 && DeviceVariant != 6) {
        return;
    }
    for (uint32_t f = first; f <= last; ++f) SetBufferBit(f, 0);
}

bool Identify248(const IdBytes& id) {
    if (std::memcmp(id.bytes, "001FV750", 8) != 0) return false;
    if (DeviceVariant == 2 && std::memcmp(id.bytes + 8, "CL", 2) == 0) return false;
    for (const IdChoice& c : kAlg248Suffixes) {
        if (std::memcmp(id.bytes + 8, c.text, 4) == 0) {
            ProgramPulseWidth = c.program;
            ErasePulseWidth = c.erase;
            return true;
        }
    }
    return false;
}

// Mode 5 (erase) skips the security check.
int Open248(int mode) {
    ClearAbsent248();
    SupplyVoltage = 50;
    DefinePinGroup("", 0, 16, 18, 19, 21, 0);
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 50, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(13, 36);
    SetDevicePower(1, 50);
    WritePinGroup(0, 0, 3, 0);
    for (int p : {k248Enable, k248Select14500, k248SelectRows, k248Clock, k248Data}) SetPin(p, 0);
    SetPin(k248Load, 1);
    ApplyVoltageToPin(2, k248Edit, 1, kEditTenths);
    DelayShortUsSlot(100);
    ShiftRowAddress(k248IdRow, false);
    PulsePin(k248Load, 2);
    IdBytes id;
    id.count = kIdBytesMax;
    for (int p = 0; p < k248Bits; ++p) {
        id.Add(p, static_cast<uint32_t>(GetPin(k248Out)));
        if (p != k248Bits - 1) Clock248(0);
    }
    // Nothing was compared after either refusal: the run ends at its line.
    if (!Identify248(id)) {
        PowerDown248();
        RefuseIdentity(false, " Invalid Chip ID!");
        return -1;
    }
    if (mode != kEraseOpen && Secured248()) {
        ShowMessageLine(" Device Secured!");
        PowerDown248();
        ReadRefusedByDevice();
        return -1;
    }
    if (mode == kWriting || mode == kEraseOpen) {
        SetDacVoltage(2, kWriteEditTenths);
        SetDacVoltage(4, 41);
        DelayShortUsSlot(100);
    }
    return 1;
}

int Read248Row(int row, int bits, bool clockLast, int mode) {
    ShiftRowAddress(row, false);
    PulsePin(k248Load, 2);
    int r = 1;
    for (int p = 0; p < bits && r != -1; ++p) {
        ReadValue = static_cast<uint32_t>(GetPin(k248Out));
        if (p != bits - 1 || clockLast) Clock248(0);
        const uint32_t f = Fuse248(row, p);
        if (f != kNo248Fuse) r = CheckFuseBit(static_cast<int>(f), 0, static_cast<int>(ReadValue), mode);
    }
    return r;
}

int Alg248ReadWalk(int mode) {
    for (int row = 0; row < k248Rows; ++row) {
        if (Read248Row(row, k248Bits, false, mode) == -1) return -1;
    }
    ShiftRowAddress(k248FuseRow, false);
    PulsePin(k248Load, 2);
    int r = CheckFuseBit(static_cast<int>(k248Fuse14499), 0, GetPin(k248Out), mode);
    if (r == -1) return -1;
    SetPin(k248Select14500, 1);
    r = CheckFuseBit(static_cast<int>(k248Fuse14500), 0, GetPin(k248Out), mode);
    SetPin(k248Select14500, 0);
    if (r == -1) return -1;
    SetPin(k248SelectRows, 1);
    for (int j = 0; j < k248Rows96 && r != -1; ++j) r = Read248Row(k248FirstRow96 + j, k248Row96Bits, true, mode);
    SetPin(k248SelectRows, 0);
    return r;
}

// The program walk (buffer bits, ProgramPulseWidth) or the erase's clear
// walk (zeros, 1 ms pulses with clock and program enable held).
int Write248Rows(bool image) {
    int result = 1;
    auto row = [&](int r, int bits) {
        for (int p = 0; p < bits; ++p) {
            const uint32_t f = Fuse248(r, p);
            uint32_t bit = 0;
            if (image) {
                result = StepProgressByAddress(f == kNo248Fuse ? 0 : f);
                if (f != kNo248Fuse) bit = GetBufferBit(f);
            }
            Clock248(bit);
        }
        ShiftRowAddress(r, !image);
        PulseRow248(image ? ProgramPulseWidth : 1, !image);
        if (!image) SetPin(k248Clock, 0);
    };
    for (int r = 0; r < k248Rows; ++r) row(r, k248Bits);
    if (image) {
        ShiftRowAddress(k248FuseRow, false);
        if (GetBufferBit(k248Fuse14499) == 0) PulseRow248(ProgramPulseWidth, false);
        SetPin(k248Select14500, 1);
        if (GetBufferBit(k248Fuse14500) == 0) PulseRow248(ProgramPulseWidth, false);
        SetPin(k248Select14500, 0);
    }
    SetPin(k248SelectRows, 1);
    for (int j = 0; j < k248Rows96; ++j) row(k248FirstRow96 + j, k248Row96Bits);
    SetPin(k248SelectRows, 0);
    return result;
}

void Erase248Step() {
    WritePinGroup(0, 0, 3, k248EraseModes);
    PulseRow248(ErasePulseWidth, false);
    WritePinGroup(0, 0, 3, 0);
}

} // namespace

// A file that sets fuse 14394, which no row has a cell for, is refused
// before the part is touched, by Program and by Verify, instead of being
// dropped unseen.
bool Refuse248CelllessFuse() {
    if (DeviceSize <= k248CelllessFuse || GetBufferBit(k248CelllessFuse) == 0) return false;
    FailAddress = k248CelllessFuse;
    ShowMessageLine(" Fuse %u has no cell in this device.", k248CelllessFuse);
    return true;
}

int Alg248Read(int mode) {
    if (mode == 3 && Refuse248CelllessFuse()) return -1;
    if (Open248(kReading) != 1) return -1;
    const int r = Alg248ReadWalk(mode);
    PowerDown248();
    return r;
}

int Alg248Program() {
    if (Refuse248CelllessFuse()) return -1;
    if (Open248(kWriting) != 1) return -1;
    const int r = Write248Rows(true);
    PowerDown248();
    return r;
}

int Alg248Erase() {
    if (Open248(kEraseOpen) != 1) return -1;
    EraseWithClearWalks(Erase248Step, [] { Write248Rows(false); });
    PowerDown248();
    return 1;
}

// Fails unless the part reads secured afterwards.
int Alg248Secure() {
    ReadBackAfterSecure = 0;
    if (Open248(kWriting) != 1) return -1;
    ShiftRowAddress(k248SecureRow, false);
    PulseRow248(ProgramPulseWidth, false);
    ApplyVoltageToPin(2, k248Edit, 0, kIdleEditTenths);
    DelayShortUsSlot(100);
    ApplyVoltageToPin(2, k248Edit, 1, kEditTenths);
    DelayShortUsSlot(100);
    const bool secured = Secured248();
    PowerDown248();
    if (secured) return 1;
    return LockNotTaken(" Security cell not programmed (the security row's last bit reads 1).");
}

// The row of this type.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 248,
     .Read = Alg248Read,
     .Program = Alg248Program,
     .Erase = Alg248Erase,
     .Secure = Alg248Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("GalIdV750", Logic, 60, kAlgorithmRows);
