#include "sim/TestCellPlaChip.h"

#include <array>
#include <vector>

namespace sim {

namespace {

// ---- 20- and 24-pin arrays ----

constexpr int kVerifyVccTenths = 85, kVccTolerance = 3;
constexpr int kLevelTolerance = 5;
constexpr int kVccMaxTenths = 90;
constexpr uint64_t kBlowUs = 20;

// The column decode of the 18-input array: the column value of each map
// column of a product term (16 input columns, 20 B-line columns in pairs
// from the top, the 10 OR columns from 48).
constexpr int kColumns18[46] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                34, 35, 32, 33, 30, 31, 28, 29, 26, 27, 24, 25, 22, 23, 20, 21,
                                18, 19, 16, 17, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
// The 22-input array: 4 more input pairs at 36-43 after the first 16.
constexpr int kColumns22[54] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 36, 37,
                                38, 39, 40, 41, 42, 43, 34, 35, 32, 33, 30, 31, 28, 29, 26, 27, 24, 25,
                                22, 23, 20, 21, 18, 19, 16, 17, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57};
constexpr int kPolarityColumn = 58;

// The sequencer arrays: 54 map columns per logic term (33 AND, 21 OR),
// ten control terms of 33 columns, the row-39 column set, extra cells and
// four last cells; the test cells sit on rows 50 and 32 at these columns.
struct SeqDecode {
    std::array<int, 54> columns;
    std::array<int, 10> controlRows;
    std::vector<std::pair<int, int>> extra;
    int lastColumn;
};
constexpr int kSeqTestColumns[21] = {117, 84, 85, 86, 87, 88, 89, 90, 91, 82, 92,
                                     83,  93, 81, 80, 94, 95, 113, 114, 115, 116};
constexpr int kSeqLastRows[4] = {40, 44, 41, 42};

const SeqDecode& SeqDecodeOf(StrobePlaLayout layout) {
    static const SeqDecode a{{15, 14, 13, 12, 11, 10, 9,  8,  37, 36,  39,  38,  41,  40,  43,  42,  7,  6,
                              5,  4,  3,  2,  1,  0,  32, 33, 34, 35,  44,  45,  46,  47,  79,  117, 81, 80,
                              94, 95, 113, 114, 115, 116, 83, 82, 84, 85, 86, 87, 93, 92, 88, 89, 90, 91},
                             {46, 47, 48, 49, 37, 35, 34, 36, 33, 38},
                             {{43, 120}, {43, 122}, {45, 121}, {45, 123}, {45, 127}, {45, 125}, {45, 126}, {45, 124},
                              {39, 104}, {39, 106}, {39, 108}, {39, 110}},
                             118};
    static const SeqDecode b{{15, 14, 13, 12, 11, 10, 9,  8,  35, 34,  37,  36,  39,  38,  41,  40,  43, 42,
                              45, 44, 7,  6,  5,  4,  3,  2,  1,  0,   32,  33,  46,  47,  79,  117, 81, 95,
                              113, 114, 115, 116, 80, 94, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93},
                             {33, 46, 47, 48, 49, 37, 35, 36, 38, 34},
                             {{43, 112}, {45, 118}, {45, 127}, {45, 125}, {45, 122}, {45, 120},
                              {39, 97}, {39, 98}, {39, 99}, {39, 100}, {39, 101}, {39, 102}},
                             124};
    static const SeqDecode c{{15, 14, 13, 12, 11, 10, 9,  8,  33, 32, 35,  34,  37,  36,  39,  38,  41, 40,
                              43, 42, 45, 44, 47, 46, 7,  6,  5,  4,   3,   2,   1,   0,   79,  117, 113, 114,
                              115, 116, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95},
                             {46, 47, 48, 49, 37, 38, 35, 33, 36, 34},
                             {{39, 96}, {39, 97}, {39, 98}, {39, 99}, {39, 100}, {39, 101}, {39, 102}, {39, 103},
                              {45, 127}, {45, 125}, {45, 122}, {45, 120}},
                             118};
    switch (layout) {
    case StrobePlaLayout::Seq16A: return a;
    case StrobePlaLayout::Seq16B: return b;
    default: return c;
    }
}

bool IsSeq(StrobePlaLayout layout) {
    return layout == StrobePlaLayout::Seq16A || layout == StrobePlaLayout::Seq16B || layout == StrobePlaLayout::Seq16C;
}

// Chip pins of the two packages.
struct StrobePins {
    int rowPins[7];
    int rowCount;
    int columnPins[7];
    int columnCount;
    int strobe, b6, b7, b8, vcc, gnd;
};
constexpr StrobePins kPins20{{6, 5, 4, 3, 2, 1}, 6, {15, 14, 13, 12, 9, 8, 7}, 7, 11, 16, 17, 18, 20, 10};
constexpr StrobePins kPins24{{1, 2, 3, 4, 5, 6, 7}, 7, {8, 9, 10, 11, 14, 15}, 6, 13, 20, 21, 22, 24, 12};

} // namespace

uint32_t StrobePlaChip::MapFuses(StrobePlaLayout layout) {
    if (IsSeq(layout)) return 2108;
    return layout == StrobePlaLayout::Pla22 ? 2178 : 1842;
}

uint32_t StrobePlaChip::TestCells(StrobePlaLayout layout) {
    if (IsSeq(layout)) return 42;
    return layout == StrobePlaLayout::Pla18 ? 0 : 10;
}

void StrobePlaChip::Add(int row, int column) {
    cells_.emplace(row * 128 + column, static_cast<uint32_t>(cells_.size()));
}

StrobePlaChip::StrobePlaChip(const StrobePlaFacts& facts)
    : BipolarFuseChip(facts.name, facts.layout == StrobePlaLayout::Pla22 ? 24 : 20,
                      MapFuses(facts.layout) + TestCells(facts.layout),
                      facts.layout == StrobePlaLayout::Pla22 ? 24 : 20, {facts.layout == StrobePlaLayout::Pla22 ? 12 : 10}),
      part_(facts) {
    const StrobePins& pins = Wide() ? kPins24 : kPins20;
    AllowPin(pins.vcc, kVccMaxTenths);
    AllowPin(pins.b8, facts.programTenths + kLevelTolerance);
    if (IsSeq(facts.layout)) {
        const SeqDecode& d = SeqDecodeOf(facts.layout);
        for (int a = 0; a < 32; ++a)
            for (int c : d.columns) Add(a, c);
        for (int a : d.controlRows)
            for (int j = 0; j < 33; ++j) Add(a, d.columns[static_cast<size_t>(j)]);
        for (int j = 0; j < 34; ++j) Add(39, d.columns[static_cast<size_t>(j)]);
        for (const auto& [row, column] : d.extra) Add(row, column);
        for (int row : kSeqLastRows) Add(row, d.lastColumn);
        for (int row : {50, 32})
            for (int column : kSeqTestColumns) Add(row, column);
        return;
    }
    const int* columns = Wide() ? kColumns22 : kColumns18;
    const int width = Wide() ? 54 : 46, andColumns = Wide() ? 44 : 36;
    for (int a = 0; a < 42; ++a)
        for (int j = 0; j < (a < 32 ? width : andColumns); ++j) Add(a, columns[j]);
    for (int i = 0; i < 10; ++i) Add(51 - i, kPolarityColumn);
    if (facts.layout != StrobePlaLayout::Pla18)
        for (int i = 0; i < 10; ++i) Add(52 + i / 5, 48 + (i < 5 ? 2 * i + 1 : 2 * (i - 5)));
}

int StrobePlaChip::CellOf(int row, int column) const {
    const auto it = cells_.find(row * 128 + column);
    return it == cells_.end() ? -1 : static_cast<int>(it->second);
}

int StrobePlaChip::AddressedCell(const PinEnvironment& env) const {
    const StrobePins& pins = Wide() ? kPins24 : kPins20;
    int row = 0, column = 0;
    for (int i = 0; i < pins.rowCount; ++i) row |= Level(env, pins.rowPins[i]) << i;
    for (int i = 0; i < pins.columnCount; ++i) column |= Level(env, pins.columnPins[i]) << i;
    return CellOf(row, column);
}

bool StrobePlaChip::VerifySupply(const PinEnvironment& env) const {
    const StrobePins& pins = Wide() ? kPins24 : kPins20;
    return Powered(env) && Within(Volts(env, pins.vcc), kVerifyVccTenths, kVccTolerance);
}

void StrobePlaChip::Step(const PinEnvironment& env) {
    const StrobePins& pins = Wide() ? kPins24 : kPins20;
    int pulse = -1;
    if (VerifySupply(env) && !env.HeldLow(SocketOf(pins.b7)) && Level(env, pins.strobe) == 0 &&
        Within(Volts(env, pins.b8), part_.programTenths, kLevelTolerance))
        pulse = AddressedCell(env);
    if (pulse == pulse_) return;
    const uint64_t width = timer_.Stop(env.NowUs());
    if (pulse_ >= 0 && width >= kBlowUs) Blow(static_cast<uint32_t>(pulse_), width);
    pulse_ = pulse;
    if (pulse >= 0) timer_.Start(env.NowUs());
}

ChipDrive StrobePlaChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const StrobePins& pins = Wide() ? kPins24 : kPins20;
    if (ChipPinAt(socketPin) != pins.b6 || !VerifySupply(env)) return ChipDrive::None;
    if (!env.HeldLow(SocketOf(pins.b7)) || Level(env, pins.strobe) != 0 || Volts(env, pins.b8) >= kHighThresholdTenths)
        return ChipDrive::None;
    const int cell = AddressedCell(env);
    if (cell >= static_cast<int>(MapFuses())) CountRead();
    return cell >= 0 && Blown(static_cast<uint32_t>(cell)) ? ChipDrive::High : ChipDrive::Low;
}

// ---- the 28-pin field-programmable logic array ----

namespace {

constexpr int kFePin = 1, kCePin = 19, kFplaVccPin = 28, kFplaGndPin = 14;
constexpr int kInputPins[16] = {9, 8, 7, 6, 5, 4, 3, 2, 27, 26, 25, 24, 23, 22, 21, 20};
constexpr int kOutputPins[8] = {18, 17, 16, 15, 13, 12, 11, 10};
constexpr int kRaisedTenths = 100, kRaisedTolerance = 5;
constexpr int kFeTenths = 175, kPolarityTolerance = 10;
constexpr int kTermVccTenths = 50, kTermVccTolerance = 2;
constexpr int kUnpoweredTenths = 10;
constexpr int kFplaHighMaxTenths = 180, kFplaInputMaxTenths = 110;
constexpr uint64_t kFplaBlowUs = 2;
constexpr int kTerms = 48, kTestTerm = 48;

bool Raised(int tenths) { return tenths >= kRaisedTenths - kRaisedTolerance; }

} // namespace

FplaChip::FplaChip(const FplaFacts& facts)
    : BipolarFuseChip(facts.name, 28, kMapFuses + kTestCells, kFplaVccPin, {kFplaGndPin}) {
    AllowPin(kFePin, kFplaHighMaxTenths);
    AllowPin(kFplaVccPin, kVccMaxTenths);
    AllowPin(kCePin, kFplaInputMaxTenths);
    for (int p : kInputPins) AllowPin(p, kFplaInputMaxTenths);
    for (int p : kOutputPins) AllowPin(p, kFplaHighMaxTenths);
}

int FplaChip::CellOf(int term, int column) const {
    if (term == kTestTerm) return static_cast<int>(kMapFuses) + column;
    if (term >= kTerms) return -1;
    return term * 40 + column;
}

FplaChip::Mode FplaChip::ModeOf(const PinEnvironment& env, int* term, int* column) const {
    if (!Powered(env)) return Mode::None;
    const int vcc = Volts(env, kFplaVccPin);
    int raised = 0, logicInput = -1;
    for (int i = 0; i < 16; ++i) {
        if (Raised(Volts(env, kInputPins[i])))
            ++raised;
        else
            logicInput = i;
    }
    if (raised == 15 && Within(vcc, kTermVccTenths, kTermVccTolerance)) {
        *term = 0;
        for (int k = 0; k < 6; ++k) *term |= Level(env, kOutputPins[k]) << k;
        *column = 2 * logicInput + (Level(env, kInputPins[logicInput]) == 1 ? 0 : 1);
        return Mode::Term;
    }
    if (raised != 0 || !Within(vcc, kVerifyVccTenths, kVccTolerance)) return Mode::None;
    int high = 0;
    for (int i = 6; i < 16; ++i) high += Level(env, kInputPins[i]);
    if (high == 10) return Mode::Polarity;
    if (high != 0) return Mode::None;
    *term = 0;
    for (int i = 0; i < 6; ++i) *term |= Level(env, kInputPins[i]) << i;
    return Mode::Output;
}

void FplaChip::Step(const PinEnvironment& env) {
    int pulse = -1;
    const bool grounded = env.HeldLow(SocketOf(kFplaGndPin));
    const int vcc = Volts(env, kFplaVccPin);
    if (grounded && vcc < kUnpoweredTenths) {
        // Polarity fuses blow from the output pin with the part unpowered.
        for (int k = 0; k < 8; ++k)
            if (Within(Volts(env, kOutputPins[k]), kFeTenths, kPolarityTolerance)) pulse = static_cast<int>(1920 + k);
    } else if (Within(Volts(env, kFePin), kFeTenths, kLevelTolerance) && Raised(Volts(env, kCePin))) {
        int term = 0, column = 0;
        const Mode mode = ModeOf(env, &term, &column);
        if (mode == Mode::Term) {
            pulse = CellOf(term, column);
        } else if (mode == Mode::Output) {
            int raised = -1, count = 0;
            for (int k = 0; k < 8; ++k) {
                if (Raised(Volts(env, kOutputPins[k]))) {
                    raised = k;
                    ++count;
                }
            }
            if (count == 1 && Within(Volts(env, kOutputPins[raised]), kRaisedTenths, kRaisedTolerance))
                pulse = CellOf(term, 32 + raised);
        }
    }
    if (pulse == pulse_) return;
    const uint64_t width = timer_.Stop(env.NowUs());
    if (pulse_ >= 0 && width >= kFplaBlowUs) Blow(static_cast<uint32_t>(pulse_), width);
    pulse_ = pulse;
    if (pulse >= 0) timer_.Start(env.NowUs());
}

ChipDrive FplaChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    int k = -1;
    for (int i = 0; i < 8; ++i)
        if (kOutputPins[i] == chipPin) k = i;
    if (k < 0 || Volts(env, chipPin) >= kHighThresholdTenths) return ChipDrive::None;
    if (Within(Volts(env, kFePin), kFeTenths, kLevelTolerance)) return ChipDrive::None;
    int term = 0, column = 0;
    const Mode mode = ModeOf(env, &term, &column);
    const auto shown = [](bool blown) { return blown ? ChipDrive::High : ChipDrive::Low; };
    const bool ceLow = Level(env, kCePin) == 0;
    switch (mode) {
    case Mode::Polarity: return ceLow ? shown(Blown(1920u + static_cast<uint32_t>(k))) : ChipDrive::None;
    case Mode::Term: {
        if (k != 7 || !Raised(Volts(env, kCePin))) return ChipDrive::None;
        const int cell = CellOf(term, column);
        if (cell >= static_cast<int>(kMapFuses)) CountRead();
        return shown(cell >= 0 && Blown(static_cast<uint32_t>(cell)));
    }
    case Mode::Output: {
        if (!ceLow) return ChipDrive::None;
        const int cell = CellOf(term, 32 + k);
        if (cell >= static_cast<int>(kMapFuses)) CountRead();
        const bool orCell = cell >= 0 && Blown(static_cast<uint32_t>(cell));
        // An intact polarity fuse inverts the output.
        return shown(orCell != !Blown(1920u + static_cast<uint32_t>(k)));
    }
    case Mode::None: break;
    }
    return ChipDrive::None;
}

} // namespace sim
