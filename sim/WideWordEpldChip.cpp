#include "sim/WideWordEpldChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kVppTolerance = 3;
constexpr int kVppOnTenths = 90;
constexpr int kPinOverTenths = 7;
constexpr uint64_t kProgramUs = 100;
constexpr size_t kLogLimit = 1u << 18;
constexpr int kSecurityCell = -2;

// First fuse of data bit b in the kind-pin-high and kind-pin-low planes.
constexpr int kHighPlane[12] = {0, 6020, 11868, 17888, 23908, 29756, 35776, 41796, 47644, 53664, 59684, 65532};
constexpr int kLowPlane[12] = {2924, 8944, 14792, 20812, 26832, 32680, 38700, 44720, 50568, 56588, 62608, 68456};
// Upper row 3: the first fuse of each data bit (-1: no cell).
constexpr int kRow3[12] = {5848, 17716, -1, 23736, 35604, -1, 41624, 53492, -1, 59512, 71380, -1};

} // namespace

WideWordEpldChip::WideWordEpldChip(const WideWordEpldFacts& facts)
    : CellArrayChip(facts.name, facts.plcc ? 44 : 40, FuseCount(facts.extraCells), facts.plcc ? 12 : 10,
                    facts.plcc ? std::vector<int>{33, 34} : std::vector<int>{30}),
      part_(facts), taken_(CellCount(), 0) {
    const int rating = facts.vppTenths + kPinOverTenths;
    const Layout& p = Pins();
    for (int pin : {p.strobe, p.hold, p.address[3], p.address[11]}) AllowPin(pin, rating);
}

const WideWordEpldChip::Layout& WideWordEpldChip::Pins() const {
    static const Layout kDip{{17, 18, 19, 22, 23, 37, 38, 39, 40, 1, 2, 3},
                             {29, 27, 25, 11, 13, 15, 31, 33, 35, 9, 7, 5},
                             20,
                             21};
    static const Layout kPlcc{{19, 20, 21, 24, 25, 41, 42, 43, 44, 1, 2, 3},
                              {32, 30, 28, 13, 15, 17, 35, 37, 39, 10, 8, 6},
                              22,
                              23};
    return part_.plcc ? kPlcc : kDip;
}

bool WideWordEpldChip::AtVpp(const PinEnvironment& env, int chipPin) const {
    return Within(Volts(env, chipPin), part_.vppTenths, kVppTolerance);
}

int WideWordEpldChip::CellAt(const PinEnvironment& env, int b) const {
    const Layout& p = Pins();
    const bool upperRows = AtVpp(env, p.address[3]);
    int row = Level(env, p.address[0]) | Level(env, p.address[1]) << 1 | Level(env, p.address[2]) << 2;
    if (!upperRows) row |= Level(env, p.address[3]) << 3;
    const int kindPin = Level(env, p.address[4]);
    int c = 0;
    for (int k = 0; k < 6; ++k) c |= Level(env, p.address[5 + k]) << k;
    c |= AtVpp(env, p.address[11]) ? 128 : Level(env, p.address[11]) << 6;
    return CellOf(upperRows, row, kindPin, c, b);
}

int WideWordEpldChip::CellOf(bool upperRows, int row, int kindPin, int c, int b) const {
    if (b < 0 || b > 11) return -1;
    if (c == 191) {
        if (upperRows) return -1;
        const int r = row / 4;
        if (row % 4 == 0) return (kindPin ? 71552 : 71556) + r + 8 * b;
        if (row % 4 == 2 && part_.extraCells) return (kindPin ? 71649 : 71653) + r + 8 * b;
        return -1;
    }
    if (c >= 172) return -1;
    if (!upperRows) return (kindPin ? kHighPlane[b] : kLowPlane[b]) + 172 * row + c;
    if (row == 0) {
        if (kindPin && c == 127 && b == 7) return kSecurityCell;
        return (kindPin ? kHighPlane[b] : kLowPlane[b]) + 172 * 16 + c;
    }
    if (row == 3 && !kindPin) return kRow3[b] < 0 ? -1 : kRow3[b] + c;
    return -1;
}

void WideWordEpldChip::UvErase() {
    EraseAll();
    std::fill(taken_.begin(), taken_.end(), uint8_t{0});
    securityTaken_ = 0;
}

void WideWordEpldChip::Step(const PinEnvironment& env) {
    const Layout& p = Pins();
    const bool powered = Powered(env);
    for (int pin : {p.strobe, p.hold, p.address[3], p.address[11]}) {
        if (!powered && Volts(env, pin) >= kVppOnTenths) env.Violation(Name() + ": VPP without VCC and ground");
    }
    const bool pulse = powered && AtVpp(env, p.strobe) && AtVpp(env, p.hold);
    if (pulse == pulsing_) {
        if (!pulse) return;
        for (int b = 0; b < 12; ++b) {
            const int cell = Level(env, p.data[b]) == 1 ? CellAt(env, b) : -1;
            if (cell != pulseCells_[b]) { // the word changed under the pulse: not taken
                timer_.Stop(env.NowUs());
                pulsing_ = false;
                return;
            }
        }
        return;
    }
    if (pulsing_ && timer_.Running()) EndPulse(timer_.Stop(env.NowUs()));
    pulsing_ = pulse;
    if (!pulse) return;
    timer_.Start(env.NowUs());
    for (int b = 0; b < 12; ++b) pulseCells_[b] = Level(env, p.data[b]) == 1 ? CellAt(env, b) : -1;
}

void WideWordEpldChip::EndPulse(uint64_t width) {
    if (pulses_.size() < kLogLimit) pulses_.push_back(width);
    if (width < kProgramUs) return;
    for (int cell : pulseCells_) {
        if (cell == kSecurityCell) {
            if (++securityTaken_ >= needed_) Secure();
            continue;
        }
        if (cell < 0) continue;
        const auto n = static_cast<uint32_t>(cell);
        if (taken_[n] < 255) ++taken_[n];
        if (taken_[n] >= needed_) WriteCell(n, 0);
    }
}

ChipDrive WideWordEpldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    const Layout& p = Pins();
    if (chipPin == 0 || Volts(env, p.strobe) >= kVppOnTenths || Level(env, p.strobe) != 0) return ChipDrive::None;
    for (int b = 0; b < 12; ++b) {
        if (p.data[b] != chipPin) continue;
        if (Secured()) return ChipDrive::Low;
        const int cell = CellAt(env, b);
        return cell >= 0 && Programmed(static_cast<uint32_t>(cell)) ? ChipDrive::Low : ChipDrive::High;
    }
    return ChipDrive::None;
}

} // namespace sim
