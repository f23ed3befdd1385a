// In-system eight-block CPLD over a TAP on socket pins (row 266): the fuse
// array of the eight-block CPLD with its 73 E bits and 32 user-code bits,
// driven by the module itself on pins 11 (TCK), 14 (TDO), 15 (TDI) and 16
// (TMS), with pulses on pin 12 and 9.2 V on pin 13.

#include <cstdint>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/BlockCpldLayout.h"
#include "logic/FuseCells.h"
#include "logic/PldPower.h"

namespace {

enum Pin : int { kTck = 11, kPulse = 12, kHighVoltage = 13, kTdo = 14, kTdi = 15, kTms = 16 };
enum Instruction : uint32_t {
    kIdentify = 1,
    kRowSelect = 3,
    kProgramData = 4,
    kErase = 5,
    kProgram = 6,
    kReadData = 7,
    kSecure = 8,
    kEnable = 15,
    kUserCode = 16,
};
constexpr int kIrLength = 6;
constexpr int kRows = 80;      // array and special rows; the E row after them
constexpr int kERow = 80;
constexpr int kUserRow = 81;   // the user-code register, read at power-up
constexpr int kBits = 792;     // 8 blocks of 99 clocks
constexpr int kHighVoltageTenths = 92;
constexpr uint32_t kEFuse = 54096, kUserFuse = 59000;
constexpr uint32_t kIdcodes[2] = {0x17568003, 0x0756C003};

const BlockCpldLayout& Layout = BlockCpldLayout266;

// Module state, valid from power-up to power-down.
std::vector<uint8_t> RowImage, DataImage;
uint32_t Idcode = 0, UserCode = 0;
int SpecialCounter = 0, ECounter = 0;

void Clock(int tms, int tdi) {
    SetPin(kTms, tms);
    SetPin(kTdi, tdi);
    PulsePin(kTck, 3);
}

void ResetTap() {
    for (int i = 0; i < 5; ++i) Clock(1, 0);
}

void LoadInstruction(uint32_t value) {
    for (int t : {1, 1, 0, 0}) Clock(t, 0);
    for (int i = 0; i < kIrLength; ++i) Clock(i == kIrLength - 1 ? 1 : 0, (value >> i) & 1);
    Clock(1, 0);
    Clock(0, 0);
}

// A data scan entered from and left to Run-Test/Idle; bit(i) gives TDI.
template <class BitAt> void Scan(int count, BitAt bit) {
    for (int t : {1, 0, 0}) Clock(t, 0);
    for (int i = 0; i < count; ++i) Clock(i == count - 1 ? 1 : 0, bit(i));
    Clock(1, 0);
    Clock(0, 0);
}

void Enable(int selectE) {
    LoadInstruction(kEnable);
    Scan(5, [&](int i) { return ((0x08 + selectE) >> i) & 1; });
}

void ReadId(int which) {
    LoadInstruction(which == 0 ? kIdentify : kUserCode);
    uint32_t v = 0;
    Scan(32, [&](int i) {
        v |= static_cast<uint32_t>(GetPin(kTdo)) << i;
        return 0;
    });
    (which == 0 ? Idcode : UserCode) = v;
}

void Pulse(uint32_t ms) {
    SetPin(kPulse, 0);
    DelayMsSlot(ms);
    SetPin(kPulse, 1);
}

void ShiftImage(uint32_t instruction, const std::vector<uint8_t>& image) {
    LoadInstruction(instruction);
    Scan(static_cast<int>(image.size()), [&](int i) { return image[static_cast<size_t>(i)] & 1; });
}

void SetRowSelectBit(uint8_t v) {
    std::fill(RowImage.begin(), RowImage.end(), 0);
    RowImage.back() = v;
    ShiftImage(kRowSelect, RowImage);
}

void SetDataBit(uint8_t v) {
    std::fill(DataImage.begin(), DataImage.end(), 0);
    DataImage.back() = v;
    ShiftImage(kProgramData, DataImage);
}

void NextRow() {
    LoadInstruction(kRowSelect);
    Scan(1, [](int) { return 0; });
}

void PowerDown() {
    ResetTap();
    ApplyVoltageToPin(1, kHighVoltage, 0, 50);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    RowImage.clear();
    DataImage.clear();
}

int PowerUp(int mode) {
    RowImage.assign(kRows, 0);
    DataImage.assign(kBits, 0);
    Idcode = UserCode = 0;
    SpecialCounter = ECounter = 0;
    ReadBackAfterSecure = 0;
    BlankValue = 1;
    if (mode == 1) {
        SupplyVoltage = DeviceVariant == 0 ? 50 : 33;
        Vccp = SupplyVoltage;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    PldSupplyRangeAndGround(supply);
    FloatPinRange(1, 48);
    SetPin(kTck, 0);
    SetPin(kTdi, 0);
    SetPin(kTms, 0);
    SetPin(kPulse, 1);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    ApplyVoltageToPin(1, kHighVoltage, 1, kHighVoltageTenths);
    DelayShortUsSlot(10);
    ResetTap();
    Clock(0, 0);
    Enable(0);
    ReadId(0);
    ReadId(1);
    if (Idcode == kIdcodes[0] || Idcode == kIdcodes[1]) return 1;
    PowerDown();
    return RefuseIdentity(false, " Incorrect device ID");
}

// The fuse of program bit `bit` of a row, or -1.
int32_t FuseOf(int bit, int row, int mode) {
    const int g = bit / Layout.Clocks;
    const int c = bit % Layout.Clocks;
    const int32_t base = static_cast<int32_t>(Layout.BlockFuses) * (Layout.Blocks - 1 - g);
    if (row < Layout.ArrayRows) return base + Layout.ArrayFuse(row, c);
    if (row < kERow) {
        const int8_t* clocks = mode == 1 ? Layout.SpecialClocks : Layout.SpecialReadClocks;
        const int k = SpecialCounter % SpecialCellClockCount;
        if (c == clocks[k]) {
            ++SpecialCounter;
            return base + Layout.SpecialFuse(row, k);
        }
        if (c == 0) {
            for (int e = 0; e < 4; ++e) {
                if (ExtraCellRows[e] == row) return base + Layout.ExtraCells[e];
            }
        }
        if (row != kRows - 1) return -1;
        if (bit == 594) return kEFuse;
        if (mode != 1) return -1;
        if (bit >= 397 && bit <= 404) return bit + 58603;
        if (bit >= 298 && bit <= 305) return 59313 - bit;
        if (bit >= 1 && bit <= 8) return bit + 59015;
        if (bit >= 694 && bit <= 701) return 59725 - bit;
        return -1;
    }
    if (row == kERow) {
        if (c == Layout.Clocks - 1) return static_cast<int32_t>(kEFuse) + 1 + 9 * g;
        const int m = ECounter % 8;
        if (c == 11 * m + 9) {
            ++ECounter;
            return static_cast<int32_t>(kEFuse) + 2 + 9 * g + 7 - m;
        }
        return -1;
    }
    return static_cast<int32_t>(kUserFuse) + bit; // the user code
}

void MapCell(int bit, int row, int mode) {
    if (row == kUserRow) ReadValue = (UserCode >> bit) & 1;
    const int32_t fuse = FuseOf(bit, row, mode);
    if (fuse < 0) {
        ExpectedValue = 1;
        return;
    }
    if (row == kERow && mode != 0) ReadValue ^= 1;
    ExpectedValue = ProcessFuseBit(fuse, 0, static_cast<int>(ReadValue), mode);
    if (row == kERow) ExpectedValue = (~ExpectedValue) & 1;
}

void ReadRow(int row, int mode) {
    LoadInstruction(kReadData);
    for (int t : {1, 0, 0}) Clock(t, 0);
    SetPin(kPulse, 0);
    for (int j = 0; j < kBits; ++j) {
        DataImage[static_cast<size_t>(j)] = static_cast<uint8_t>(GetPin(kTdo));
        const bool last = j == kBits - 1;
        Clock(last ? 1 : 0, last ? 1 : 0);
    }
    SetPin(kPulse, 1);
    Clock(1, 0);
    Clock(0, 0);
    for (int i = 0; i < kBits; ++i) {
        ReadValue = DataImage[static_cast<size_t>(kBits - 1 - i)];
        MapCell(i, row, mode);
    }
}

void BeforeERow() {
    SetRowSelectBit(0);
    Enable(1);
}

} // namespace

int Alg266Read(int mode) {
    if (PowerUp(2) == -1) return -1;
    SetRowSelectBit(1);
    SetDataBit(1);
    int r = 1;
    for (int row = 0; row <= kERow; ++row) {
        if (row == kERow) BeforeERow();
        ReadRow(row, mode);
        NextRow();
        if (CompareFailed == 1) {
            r = -1;
            break;
        }
    }
    for (int i = 0; i < 32; ++i) MapCell(i, kUserRow, mode);
    if (CompareFailed == 1) r = -1;
    PowerDown();
    return r;
}

int Alg266Program() {
    if (PowerUp(1) == -1) return -1;
    std::fill(RowImage.begin(), RowImage.end(), 0);
    ShiftImage(kRowSelect, RowImage);
    std::fill(DataImage.begin(), DataImage.end(), 0);
    ShiftImage(kProgramData, DataImage);
    LoadInstruction(kProgram);
    Pulse(50);
    SetRowSelectBit(1);
    int r = 1;
    for (int row = 0; row <= kERow; ++row) {
        if (row == kERow) BeforeERow();
        for (int i = 0; i < kBits; ++i) {
            MapCell(i, row, 1);
            DataImage[static_cast<size_t>(i)] = static_cast<uint8_t>(ExpectedValue & 1);
        }
        ShiftImage(kProgramData, DataImage);
        LoadInstruction(kProgram);
        Pulse(50);
        NextRow();
        if (CompareFailed == 1) {
            r = -1;
            break;
        }
    }
    PowerDown();
    return r;
}

int Alg266Erase() {
    if (PowerUp(1) == -1) return -1;
    std::fill(RowImage.begin(), RowImage.end(), 1);
    ShiftImage(kRowSelect, RowImage);
    std::fill(DataImage.begin(), DataImage.end(), 0);
    ShiftImage(kProgramData, DataImage);
    LoadInstruction(kErase);
    Pulse(100);
    PowerDown();
    return 1;
}

int Alg266Secure() {
    if (PowerUp(1) == -1) return -1;
    LoadInstruction(kSecure);
    Pulse(50);
    PowerDown();
    return 1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 266,
     .Read = Alg266Read,
     .Program = Alg266Program,
     .Erase = Alg266Erase,
     .Secure = Alg266Secure,
     .Options = Alg266Options,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("JtagEightBlock", Logic, 100, kAlgorithmRows);
