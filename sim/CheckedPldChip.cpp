#include "sim/CheckedPldChip.h"

namespace sim {

namespace {

constexpr int kPinCount = 24;
constexpr size_t kLogLimit = 1u << 17;
constexpr int kUnpoweredHighTenths = 100;
constexpr int kHighPinMaxTenths = 145;

// Plane part: socket pins.
constexpr int kPlaneRows[6] = {18, 19, 20, 21, 22, 25};
constexpr int kPlaneBus[7] = {14, 23, 27, 29, 30, 32, 34};
constexpr int kP0 = 16, kP1 = 17, kPlaneStrobe = 15, kPlaneBias = 13;
constexpr int kBiasNormal = 127, kBiasRetry = 135, kBiasTolerance = 2;
constexpr int kLowVcc = 45, kVccTolerance = 1;
constexpr uint64_t kPlanePulseUs = 100;
constexpr int kIdRow = 16, kIdColumn = 66;

// Row-column part: socket pins; VPP is chip pin 1 (socket 13), ground chip pin 2.
constexpr int kRcData[8] = {33, 32, 31, 30, 29, 28, 27, 26};
constexpr int kRcRows[3] = {16, 17, 18};
constexpr int kRcColumns[5] = {19, 20, 21, 22, 23};
constexpr int kRcStrobe = 15, kRcVpp = 13, kRcRowHigh = 18, kRcColumnHigh = 23;
constexpr int kRcTolerance = 3;

} // namespace

// --- PlanePldChip

PlanePldChip::PlanePldChip(const PlanePldFacts& facts)
    : CellArrayChip(facts.name, kPinCount, static_cast<uint32_t>(2 * kRows * kColumns * 7), 24, {12}),
      part_(facts) {
    AllowPin(kPlaneBias - 12, kHighPinMaxTenths);
}

int PlanePldChip::Word(int plane, int row, int column) const {
    int v = 0;
    for (int bit = 0; bit < 7; ++bit) v |= (1 - Cell(CellOf(plane, row, column, bit))) << bit;
    return v;
}

bool PlanePldChip::BiasOn(const PinEnvironment& env) const {
    const int v = VoltsAt(env, kPlaneBias);
    return Within(v, kBiasNormal, kBiasTolerance) || Within(v, kBiasRetry, kBiasTolerance);
}

int PlanePldChip::Bus(const PinEnvironment& env) const {
    int v = 0;
    for (int i = 0; i < 7; ++i) v |= At(env, kPlaneBus[i]) << i;
    return v;
}

void PlanePldChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    if (!powered && VoltsAt(env, kPlaneBias) >= kUnpoweredHighTenths)
        env.Violation(Name() + ": bias on pin 13 without VCC and ground");
    if (powered && !powered_) {
        // Power-on: the security cell takes effect, the latches clear.
        locked_ = SecurityCellSet();
        plane_ = 0;
        row_ = column_ = -1;
        commandBits_ = command_ = 0;
    }
    powered_ = powered;
    const bool low = powered && At(env, kPlaneStrobe) == 0;
    if (low && !strobeLow_) pulse_.Start(env.NowUs());
    if (!low && strobeLow_ && powered) StrobeRose(env);
    strobeLow_ = low;
}

void PlanePldChip::StrobeRose(const PinEnvironment& env) {
    const uint64_t width = pulse_.Stop(env.NowUs());
    const int op = At(env, kP0) | At(env, kP1) << 1;
    if (op != 0) commandBits_ = command_ = 0;
    if (!BiasOn(env)) {
        env.Violation(Name() + ": strobe without the bias on pin 13");
        return;
    }
    switch (op) {
    case 0: { // load command
        const int bus = Bus(env);
        if (commandStrobes_.size() < kLogLimit) commandStrobes_.push_back(bus);
        if (bus != 0 && bus != 0x7F) {
            env.Violation(Name() + ": command bus lines not all equal");
            commandBits_ = command_ = 0;
            return;
        }
        command_ |= (bus != 0 ? 1 : 0) << commandBits_;
        if (++commandBits_ < 8) return;
        if (command_ == 0x34) plane_ = 1;
        else if (command_ == 0x2B) plane_ = 2;
        else env.Violation(Name() + ": unknown command " + std::to_string(command_));
        commandBits_ = command_ = 0;
        return;
    }
    case 2: { // load address
        int row = 0;
        for (int i = 0; i < 6; ++i) row |= At(env, kPlaneRows[i]) << i;
        row_ = row;
        column_ = Bus(env);
        return;
    }
    case 3: { // program
        if (width < kPlanePulseUs) {
            env.Violation(Name() + ": program pulse shorter than 100 us");
            return;
        }
        if (plane_ == 0 || row_ < 0) {
            env.Violation(Name() + ": program pulse before a plane and an address");
            return;
        }
        const int data = Bus(env);
        if (pulses_.size() < kLogLimit)
            pulses_.push_back({plane_, row_, column_, data, width, Volts(env, 24), VoltsAt(env, kPlaneBias)});
        const auto key = std::make_tuple(plane_, row_, column_);
        const auto need = needed_.find(key);
        if (++taken_[key] < (need == needed_.end() ? 1 : need->second)) return;
        for (int bit = 0; bit < 7; ++bit)
            if ((data >> bit) & 1) WriteCell(CellOf(plane_, row_, column_, bit), 0);
        return;
    }
    default: // read: nothing latched
        return;
    }
}

int PlanePldChip::ReadWord(const PinEnvironment& env) const {
    if (plane_ == 1 && row_ == kIdRow && column_ == kIdColumn) {
        if (neverAnswer_) return 3;
        if (AnswersAnotherIdentity()) return 2; // another part's code, at any level
        if (!part_.lowVoltageId) return 1;
        const bool low = Within(Volts(env, 24), kLowVcc, kVccTolerance) &&
                         Within(VoltsAt(env, kPlaneBias), kBiasRetry, kBiasTolerance);
        return low ? 0 : 3;
    }
    if (plane_ == 0 || row_ < 0 || locked_) return 0;
    return Word(plane_, row_, column_);
}

ChipDrive PlanePldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 7; ++i)
        if (kPlaneBus[i] == socketPin) bit = i;
    if (bit < 0 || At(env, kPlaneStrobe) != 0 || At(env, kP0) != 1 || At(env, kP1) != 0 || !BiasOn(env))
        return ChipDrive::None;
    return (ReadWord(env) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

// --- RowColumnPldChip

RowColumnPldChip::RowColumnPldChip(const RowColumnPldFacts& facts)
    : CellArrayChip(facts.name, kPinCount, static_cast<uint32_t>(kRows * kColumns * 8), 24, {2}),
      part_(facts),
      tenths_(facts.variant == 2 ? 137 : 127),
      pulseUs_(facts.variant == 2 ? 100 : 1000) {
    for (int pin : {kRcVpp, kRcStrobe, kRcRowHigh, kRcColumnHigh}) AllowPin(pin - 12, kHighPinMaxTenths);
}

int RowColumnPldChip::Word(int row, int column) const {
    int v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= (1 - Cell(CellOf(row, column, bit))) << bit;
    return v;
}

bool RowColumnPldChip::Locked() const {
    switch (part_.variant) {
    case 0: return (Word(11, 47) >> 6) & 1;
    case 1: return ((Word(9, 0) | Word(9, 1)) & 1) != 0;
    default: return (Word(9, 38) >> 7) & 1;
    }
}

void RowColumnPldChip::RefuseSecurity() {
    switch (part_.variant) {
    case 0: StickCell(CellOf(11, 47, 6)); break;
    case 1:
        StickCell(CellOf(9, 0, 0));
        StickCell(CellOf(9, 1, 0));
        break;
    default: StickCell(CellOf(9, 38, 7)); break;
    }
}

bool RowColumnPldChip::High(const PinEnvironment& env, int socketPin) const {
    return Within(VoltsAt(env, socketPin), tenths_, kRcTolerance);
}

std::pair<int, int> RowColumnPldChip::Place(const PinEnvironment& env) const {
    int row = 0, column = 0;
    if (High(env, kRcRowHigh)) {
        row = 8 + (At(env, kRcRows[0]) | At(env, kRcRows[1]) << 1);
    } else {
        for (int i = 0; i < 3; ++i) row |= At(env, kRcRows[i]) << i;
    }
    if (High(env, kRcColumnHigh)) {
        column = 32;
        for (int i = 0; i < 4; ++i) column |= At(env, kRcColumns[i]) << i;
    } else {
        for (int i = 0; i < 5; ++i) column |= At(env, kRcColumns[i]) << i;
    }
    return {row, column};
}

void RowColumnPldChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    if (!powered) {
        for (int pin : {kRcVpp, kRcStrobe, kRcRowHigh, kRcColumnHigh})
            if (VoltsAt(env, pin) >= kUnpoweredHighTenths)
                env.Violation(Name() + ": high voltage without VCC and ground");
        strobeLow_ = false;
        pulse_.Stop(env.NowUs());
        return;
    }
    const bool low = At(env, kRcStrobe) == 0;
    if (low && !strobeLow_) pulse_.Start(env.NowUs());
    if (!low && strobeLow_) {
        const uint64_t width = pulse_.Stop(env.NowUs());
        if (width < pulseUs_) {
            env.Violation(Name() + ": program pulse too short");
        } else if (!High(env, kRcVpp)) {
            env.Violation(Name() + ": program pulse without VPP");
        } else {
            const auto [row, column] = Place(env);
            int data = 0;
            for (int i = 0; i < 8; ++i) data |= At(env, kRcData[i]) << i;
            if (pulses_.size() < kLogLimit)
                pulses_.push_back({0, row, column, data, width, Volts(env, 24), VoltsAt(env, kRcVpp)});
            const auto key = std::make_pair(row, column);
            const auto need = needed_.find(key);
            if (++taken_[key] >= (need == needed_.end() ? 1 : need->second))
                for (int bit = 0; bit < 8; ++bit)
                    if ((data >> bit) & 1) WriteCell(CellOf(row, column, bit), 0);
        }
    }
    strobeLow_ = low;
}

ChipDrive RowColumnPldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (kRcData[i] == socketPin) bit = i;
    if (bit < 0 || !High(env, kRcStrobe)) return ChipDrive::None;
    if (Locked()) return ChipDrive::Low;
    const auto [row, column] = Place(env);
    int word = row < kRows && column < kColumns ? Word(row, column) : 0;
    if (part_.variant == 2 && row == 10 && column == 47) {
        // Another part answers with bit 2 of its nibble changed.
        const int nibble = part_.idNibble ^ (AnswersAnotherIdentity() ? 4 : 0);
        word = (nibble & 0xF) << 4;
    }
    return (word >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
