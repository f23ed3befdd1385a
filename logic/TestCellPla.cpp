// Rows 285, 287, 288: one-time logic arrays read and programmed fuse by
// fuse, each fuse verified right after its pulse; before the user's map,
// programming blows the part's test cells outside the map, and a test cell
// that does not read blown stops programming.

#include <cstdint>

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
#include "logic/FuseCells.h"

namespace {

constexpr int kProgramming = 1;
constexpr int kTestCell = -1; // the fuse number of a test cell

bool Programming(int mode) { return mode == kProgramming; }

// The buffer bit of fuse n, 1 for a test cell.
uint32_t WantedBit(int n) { return n == kTestCell ? 1 : static_cast<uint32_t>(GetBufferBit(static_cast<uint32_t>(n))); }

// The end of a cell: while programming, a test cell must read blown and a
// fuse as its buffer bit says (the fuse is the fail address); every fuse
// then goes to the fuse-cell check of its mode.
int FinishCell(int n, int mode) {
    if (Programming(mode)) {
        const uint32_t wanted = n == kTestCell ? 1 : ExpectedValue;
        if (ReadValue != wanted) {
            if (n != kTestCell) FailAddress = static_cast<uint32_t>(n);
            return -1;
        }
    }
    if (n == kTestCell) return 1;
    return CheckFuseBit(n, 0, static_cast<int>(ReadValue), mode) == -1 ? -1 : 1;
}

// ---- rows 285 and 288: row and column values, a strobe and a verify line ----

enum StrobeGroup { kRowGroup = 0, kColumnGroup = 1 };

struct StrobeRow {
    uint32_t row;
    int vccPin;   // supply B: the device supply, switched per cell
    int rowBits, columnBits;
    bool grounded; // address pins pulled to ground by the complement (else driven)
};
constexpr StrobeRow kRow285{285, 34, 6, 7, false};
constexpr StrobeRow kRow288{288, 36, 7, 6, true};

const StrobeRow* CurrentStrobeRow = &kRow285;

void StrobePowerUp() {
    const StrobeRow& r = *CurrentStrobeRow;
    BlankValue = 0;
    SetVccRange(1, 50);
    if (r.row == 285) {
        DefinePinGroup("", kRowGroup, 20, 19, 18, 17, 16, 15, 0);
        DefinePinGroup("", kColumnGroup, 29, 28, 27, 26, 23, 22, 21, 0);
        const bool lowLevel = DeviceVariant >= 3 && DeviceVariant <= 5;
        SetAllDacVoltages(0, lowLevel ? 145 : 175, 0, 85);
        SetDeviceGround(1);
        DelayMsSlot(100);
        WritePinGroup(kRowGroup, 0, 5, 0);
        WritePinGroup(kColumnGroup, 0, 6, 0);
        SetPin(25, 1);
        SetPin(30, 2);
        SetPin(33, 0);
        SetPin(32, 0);
        SetPin(31, 0);
        return;
    }
    DefinePinGroup("", kRowGroup, 13, 14, 15, 16, 17, 18, 19, 0);
    DefinePinGroup("", kColumnGroup, 20, 21, 22, 23, 26, 27, 0);
    SetAllDacVoltages(0, 175, 0, 85);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kRowGroup, 0, 6, 0x7F);
    WritePinGroup(kColumnGroup, 0, 5, 0x3F);
    SetGroundPin(33, 1);
    SetPin(25, 1);
}

void StrobeRead() {
    if (CurrentStrobeRow->row == 285) {
        SetPin(25, 0);
        ReadValue = static_cast<uint32_t>(GetPin(30));
        SetPin(25, 1);
        return;
    }
    SetGroundPin(25, 1);
    ReadValue = static_cast<uint32_t>(GetPin(32));
    SetGroundPin(25, 0);
}

void StrobePulse() {
    if (CurrentStrobeRow->row == 285) {
        SetPin(31, 1);
        SetSupplyPinA(32, 1);
        SetPin(25, 0);
        DelayShortUsSlot(30);
        SetPin(25, 1);
        SetSupplyPinA(32, 0);
        SetPin(31, 0);
        return;
    }
    SetGroundPin(33, 0);
    SetSupplyPinA(34, 1);
    SetPin(25, 0);
    DelayShortUsSlot(30);
    SetPin(25, 1);
    SetSupplyPinA(34, 0);
    SetGroundPin(33, 1);
}

// One cell: row value a, column value b, fuse n (kTestCell for a test cell).
int StrobeCell(int a, int b, int mode, int n) {
    const StrobeRow& r = *CurrentStrobeRow;
    ExpectedValue = WantedBit(n);
    const uint64_t rowMask = (1u << r.rowBits) - 1, columnMask = (1u << r.columnBits) - 1;
    if (r.grounded) {
        WriteGroupGroundPins(kRowGroup, 0, r.rowBits - 1, ~static_cast<uint64_t>(a) & rowMask);
        WriteGroupGroundPins(kColumnGroup, 0, r.columnBits - 1, ~static_cast<uint64_t>(b) & columnMask);
    } else {
        WritePinGroup(kRowGroup, 0, r.rowBits - 1, static_cast<uint64_t>(a) & rowMask);
        WritePinGroup(kColumnGroup, 0, r.columnBits - 1, static_cast<uint64_t>(b) & columnMask);
    }
    SetSupplyPinB(r.vccPin, 1);
    if (r.row == 285) DelayShortUsSlot(3);
    if (Programming(mode) && ExpectedValue == 1) {
        StrobeRead();
        if (ReadValue == 0) StrobePulse();
    }
    StrobeRead();
    SetSupplyPinB(r.vccPin, 0);
    if (r.row == 285) DelayShortUsSlot(2);
    return FinishCell(n, mode);
}

// The 18-input layout of row 285 (variants 0-2) and the 22-input one of
// row 288: the column values of a logic term's map columns, and how many
// of them a control term has.
constexpr int kColumns285[46] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                 34, 35, 32, 33, 30, 31, 28, 29, 26, 27, 24, 25, 22, 23, 20, 21,
                                 18, 19, 16, 17, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
constexpr int kColumns288[54] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 36, 37,
                                 38, 39, 40, 41, 42, 43, 34, 35, 32, 33, 30, 31, 28, 29, 26, 27, 24, 25,
                                 22, 23, 20, 21, 18, 19, 16, 17, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
constexpr int kTestColumns[10] = {49, 51, 53, 55, 57, 48, 50, 52, 54, 56};

int ArrayWalk(int mode, const int* columns, int width, int controlWidth, bool testCells) {
    int result = 1;
    if (Programming(mode) && testCells)
        for (int s = 0; s < 2 && result == 1; ++s)
            for (int t = 0; t < 5 && result == 1; ++t) result = StrobeCell(52 + s, kTestColumns[5 * s + t], mode, kTestCell);
    int n = 0;
    for (int a = 0; a < 42 && result == 1; ++a)
        for (int j = 0; j < (a < 32 ? width : controlWidth) && result == 1; ++j) result = StrobeCell(a, columns[j], mode, n++);
    for (int i = 0; i < 10 && result == 1; ++i) result = StrobeCell(51 - i, 58, mode, n++);
    return result;
}

// The sequencer layouts of row 285 (variants 3-6).
struct SequencerLayout {
    int columns[54];
    int controlRows[10];
    int extra[12][2];
    int lastColumn;
};
constexpr SequencerLayout kSequencer3{
    {15, 14, 13, 12, 11, 10, 9,  8,  37, 36,  39,  38,  41,  40,  43,  42,  7,  6,
     5,  4,  3,  2,  1,  0,  32, 33, 34, 35,  44,  45,  46,  47,  79,  117, 81, 80,
     94, 95, 113, 114, 115, 116, 83, 82, 84, 85, 86, 87, 93, 92, 88, 89, 90, 91},
    {46, 47, 48, 49, 37, 35, 34, 36, 33, 38},
    {{43, 120}, {43, 122}, {45, 121}, {45, 123}, {45, 127}, {45, 125}, {45, 126}, {45, 124},
     {39, 104}, {39, 106}, {39, 108}, {39, 110}},
    118};
constexpr SequencerLayout kSequencer4{
    {15, 14, 13, 12, 11, 10, 9,  8,  35, 34,  37,  36,  39,  38,  41,  40,  43, 42,
     45, 44, 7,  6,  5,  4,  3,  2,  1,  0,   32,  33,  46,  47,  79,  117, 81, 95,
     113, 114, 115, 116, 80, 94, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93},
    {33, 46, 47, 48, 49, 37, 35, 36, 38, 34},
    {{43, 112}, {45, 118}, {45, 127}, {45, 125}, {45, 122}, {45, 120},
     {39, 97}, {39, 98}, {39, 99}, {39, 100}, {39, 101}, {39, 102}},
    124};
constexpr SequencerLayout kSequencer5{
    {15, 14, 13, 12, 11, 10, 9,  8,  33, 32, 35,  34,  37,  36,  39,  38,  41, 40,
     43, 42, 45, 44, 47, 46, 7,  6,  5,  4,   3,   2,   1,   0,   79,  117, 113, 114,
     115, 116, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95},
    {46, 47, 48, 49, 37, 38, 35, 33, 36, 34},
    {{39, 96}, {39, 97}, {39, 98}, {39, 99}, {39, 100}, {39, 101}, {39, 102}, {39, 103},
     {45, 127}, {45, 125}, {45, 122}, {45, 120}},
    118};
constexpr int kSequencerTestColumns[21] = {117, 84, 85, 86, 87, 88, 89, 90, 91, 82, 92,
                                           83,  93, 81, 80, 94, 95, 113, 114, 115, 116};
constexpr int kSequencerLastRows[4] = {40, 44, 41, 42};

int SequencerWalk(int mode, const SequencerLayout& l) {
    int result = 1;
    if (Programming(mode))
        for (int row : {50, 32})
            for (int j = 0; j < 21 && result == 1; ++j) result = StrobeCell(row, kSequencerTestColumns[j], mode, kTestCell);
    int n = 0;
    for (int a = 0; a < 32 && result == 1; ++a)
        for (int j = 0; j < 54 && result == 1; ++j) result = StrobeCell(a, l.columns[j], mode, n++);
    for (int i = 0; i < 10 && result == 1; ++i)
        for (int j = 0; j < 33 && result == 1; ++j) result = StrobeCell(l.controlRows[i], l.columns[j], mode, n++);
    for (int j = 0; j < 34 && result == 1; ++j) result = StrobeCell(39, l.columns[j], mode, n++);
    for (int i = 0; i < 12 && result == 1; ++i) result = StrobeCell(l.extra[i][0], l.extra[i][1], mode, n++);
    for (int i = 0; i < 4 && result == 1; ++i) result = StrobeCell(kSequencerLastRows[i], l.lastColumn, mode, n++);
    return result;
}

// Row 285 has seven variants; a record past them is refused before the
// socket is touched.
constexpr uint32_t kVariants285 = 7;

int StrobePass(const StrobeRow& row, int mode) {
    if (row.row == 285 && DeviceVariant >= kVariants285) {
        RefuseRun(" Device not supported!");
        return -1;
    }
    CurrentStrobeRow = &row;
    StrobePowerUp();
    if (row.row == 288) return ArrayWalk(mode, kColumns288, 54, 44, true);
    switch (DeviceVariant) {
    case 0:
    case 1:
    case 2: return ArrayWalk(mode, kColumns285, 46, 36, DeviceVariant == 2);
    case 3: return SequencerWalk(mode, kSequencer3);
    case 4: return SequencerWalk(mode, kSequencer4);
    default: return SequencerWalk(mode, kSequencer5);
    }
}

// ---- row 287: the two-array logic array ----

enum FplaGroup { kInputGroup = 0, kOutputGroup = 1 };
constexpr int kFplaStrobePin = 29, kFplaProgramPin = 11, kFplaVccPin = 38, kFplaReadPin = 20;
constexpr int kFplaTestTerm = 48;

// The polarity of each output as read in the pass (1 blown).
uint32_t OutputPolarity[8] = {};
// The device supply as last switched on, 0 while off.
int FplaVccTenths = 0;

void FplaPower(int state, int tenths) {
    SetDevicePower(state, tenths);
    FplaVccTenths = state == 1 ? tenths : 0;
}

void FplaPowerUp() {
    BlankValue = 0;
    DefinePinGroup("", kInputGroup, 19, 18, 17, 16, 15, 14, 13, 12, 37, 36, 35, 34, 33, 32, 31, 30, 0);
    DefinePinGroup("", kOutputGroup, 28, 27, 26, 25, 23, 22, 21, 20, 0);
    SetVccRange(1, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinGroup(kOutputGroup, 0, 7);
    SetPin(kFplaStrobePin, 1);
}

// Off from the level it is at, so a pass that stops in either phase ramps
// the supply down from where it stands.
void FplaPowerDown() {
    WriteGroupSupplyPins(kInputGroup, 0, 15, 0);
    if (FplaVccTenths != 0) FplaPower(0, FplaVccTenths);
    SetPin(kFplaVccPin, 0);
}

void FplaTermRead() {
    SetSupplyPinA(kFplaStrobePin, 1);
    ReadValue = static_cast<uint32_t>(GetPin(kFplaReadPin));
    SetSupplyPinA(kFplaStrobePin, 0);
}

// Product term t, input column c, fuse n.
int FplaTermCell(int t, int c, int mode, int n) {
    WritePinGroup(kOutputGroup, 0, 5, static_cast<uint64_t>(t));
    SetGroupPinSupply(kInputGroup, c / 2, 0);
    SetGroupPin(kInputGroup, c / 2, c % 2 == 0 ? 1 : 0);
    ExpectedValue = WantedBit(n);
    if (Programming(mode) && ExpectedValue == 1) {
        FplaTermRead();
        if (ReadValue == 0) {
            SetSupplyPinB(kFplaProgramPin, 1);
            SetSupplyPinA(kFplaStrobePin, 1);
            SetSupplyPinA(kFplaStrobePin, 0);
            SetSupplyPinB(kFplaProgramPin, 0);
        }
    }
    FplaTermRead();
    SetGroupPinSupply(kInputGroup, c / 2, 1);
    return FinishCell(n, mode);
}

void FplaOutputRead(int k, int mode) {
    SetPin(kFplaStrobePin, 0);
    uint32_t v = static_cast<uint32_t>(GetGroupPin(kOutputGroup, k));
    SetPin(kFplaStrobePin, 1);
    const uint32_t polarity = Programming(mode) ? static_cast<uint32_t>(GetBufferBit(1920u + static_cast<uint32_t>(k)))
                                                : OutputPolarity[k];
    if (polarity == 0) v ^= 1;
    ReadValue = v;
}

// Output-array term t, output k, fuse n.
int FplaOutputCell(int t, int k, int mode, int n) {
    WritePinGroup(kInputGroup, 0, 5, static_cast<uint64_t>(t));
    ExpectedValue = WantedBit(n);
    if (Programming(mode) && ExpectedValue == 1) {
        FplaOutputRead(k, mode);
        if (ReadValue == 0) {
            SetGroupPinSupply(kOutputGroup, k, 1);
            SetSupplyPinB(kFplaProgramPin, 1);
            SetSupplyPinA(kFplaStrobePin, 1);
            SetSupplyPinA(kFplaStrobePin, 0);
            SetSupplyPinB(kFplaProgramPin, 0);
            SetGroupPinSupply(kOutputGroup, k, 0);
        }
    }
    FplaOutputRead(k, mode);
    return FinishCell(n, mode);
}

int FplaArrays(int mode) {
    int r = 1;
    SetAllDacVoltages(175, 175, 0, 0);
    DelayMsSlot(10);
    WritePinGroup(kInputGroup, 0, 15, 0xFFFF);
    if (!Programming(mode)) FplaPower(1, 85);
    // Polarity fuses: blown from the output pin with the part unpowered,
    // read at the raised supply.
    for (int k = 0; k < 8 && r == 1; ++k) {
        const int n = 1920 + k;
        if (Programming(mode) && GetBufferBit(static_cast<uint32_t>(n)) == 1) {
            SetGroupPinSupply(kOutputGroup, k, 1);
            SetGroupPinSupply(kOutputGroup, k, 0);
            r = 1;
            continue;
        }
        SetPin(kFplaStrobePin, 0);
        ReadValue = static_cast<uint32_t>(GetGroupPin(kOutputGroup, k));
        SetPin(kFplaStrobePin, 1);
        OutputPolarity[k] = ReadValue;
        r = CheckFuseBit(n, 0, static_cast<int>(ReadValue), mode);
    }
    if (r != 1) return r;
    if (!Programming(mode)) {
        FplaPower(0, 85);
        SetPin(kFplaVccPin, 0);
    }
    SetAllDacVoltages(100, 100, 175, 0);
    DelayMsSlot(10);
    FplaPower(1, 50);
    WriteGroupSupplyPins(kInputGroup, 0, 15, 0xFFFF);
    if (Programming(mode))
        for (int c = 0; c < 32 && r == 1; ++c) r = FplaTermCell(kFplaTestTerm, c, mode, kTestCell);
    for (int t = 0; t < 48 && r == 1; ++t)
        for (int c = 0; c < 32 && r == 1; ++c) r = FplaTermCell(t, c, mode, 40 * t + c);
    if (r != 1) return r;
    WriteGroupSupplyPins(kInputGroup, 0, 15, 0);
    FplaPower(0, 50);
    SetPin(kFplaVccPin, 0);
    FloatPinGroup(kOutputGroup, 0, 5);
    WritePinGroup(kInputGroup, 6, 15, 0);
    FplaPower(1, 85);
    if (Programming(mode))
        for (int k = 0; k < 8 && r == 1; ++k) r = FplaOutputCell(kFplaTestTerm, k, mode, kTestCell);
    for (int t = 0; t < 48 && r == 1; ++t)
        for (int k = 0; k < 8 && r == 1; ++k) r = FplaOutputCell(t, k, mode, 40 * t + 32 + k);
    return r;
}

// Every pass ends powered down, a failed one too.
int FplaPass(int mode) {
    FplaVccTenths = 0;
    FplaPowerUp();
    const int r = FplaArrays(mode);
    FplaPowerDown();
    return r;
}

int Alg285Read(int mode) { return StrobePass(kRow285, mode); }
int Alg285Program() { return StrobePass(kRow285, kProgramming); }
int Alg287Read(int mode) { return FplaPass(mode); }
int Alg287Program() { return FplaPass(kProgramming); }
int Alg288Read(int mode) { return StrobePass(kRow288, mode); }
int Alg288Program() { return StrobePass(kRow288, kProgramming); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 285, .Read = Alg285Read, .Program = Alg285Program, .VariantCount = kVariants285, .VariantTable = "layout table"},
    {.Row = 287, .Read = Alg287Read, .Program = Alg287Program},
    {.Row = 288, .Read = Alg288Read, .Program = Alg288Program},
};

} // namespace

ROW_FAMILY("TestCellPla", Logic, 390, kAlgorithmRows);
