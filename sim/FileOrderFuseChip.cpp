#include "sim/FileOrderFuseChip.h"

namespace sim {

namespace {

constexpr int kSelectPin = 5, kColumnHighPin = 10, kModePin = 11, kStrobePin = 13, kVccPin = 24, kGndPin = 12;
constexpr int kLevelTenths = 105, kLevelTolerance = 5, kRaisedTenths = 95;
constexpr int kPulseVccTenths = 102, kVccTolerance = 5;
constexpr int kMaxTenths = 110;
constexpr uint64_t kBlowUs = 10;

constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int kOutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kPresetRow = 5764, kArchitecture = 5808;

int OutputPin(int b) { return 23 - b; }

} // namespace

FileOrderFuseChip::FileOrderFuseChip(const FileOrderFuseFacts& facts)
    : BipolarFuseChip(facts.name, 24, MapFuses(facts.wide) + 1, kVccPin, {kGndPin}), wide_(facts.wide) {
    for (int p : {kSelectPin, kColumnHighPin, kModePin, kVccPin}) AllowPin(p, kMaxTenths);
    for (int b = 0; b < 10; ++b) AllowPin(OutputPin(b), kMaxTenths);
}

bool FileOrderFuseChip::InMode(const PinEnvironment& env) const {
    return Powered(env) && Within(Volts(env, kModePin), kLevelTenths, kLevelTolerance);
}

int FileOrderFuseChip::CellAt(const PinEnvironment& env, int b) const {
    int c = 0;
    if (Volts(env, kColumnHighPin) >= kRaisedTenths) {
        for (int i = 0; i < 4; ++i) c |= Level(env, 6 + i) << i;
        c += 32;
    } else {
        for (int i = 0; i < 5; ++i) c |= Level(env, 6 + i) << i;
    }
    const bool select = Volts(env, kSelectPin) >= kRaisedTenths;
    int r = Level(env, 2) | Level(env, 3) << 1 | Level(env, 4) << 2;
    if (!select) r |= Level(env, kSelectPin) << 3;
    return CellOf(select, r, c, b);
}

int FileOrderFuseChip::CellOf(bool select, int r, int c, int b) const {
    if (b < 0 || b > 9) return -1;
    if (!select) return r < kTerms[b] && c < 44 ? kOutputEnable[b] + 44 + 44 * r + c : -1;
    if (r == 0 && c < 44) return kOutputEnable[b] + c;
    if (r == 4 && c < 44 && b == 1) return c;
    if (r == 4 && c < 44 && b == 8) return kPresetRow + c;
    if (r == 1 && c == 44) return kArchitecture + 2 * b;
    if (r == 1 && c == 45) return kArchitecture + 2 * b + 1;
    if (r == 1 && c == 46 && wide_) return 5828 + b;
    if (r == 5 && c == 0 && b == 1) return static_cast<int>(SecurityCell());
    return -1;
}

void FileOrderFuseChip::Step(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    int pulse = -1;
    if (InMode(env) && Level(env, kStrobePin) == 1 && Within(Volts(env, kVccPin), kPulseVccTenths, kVccTolerance)) {
        int raised = -1, count = 0;
        for (int b = 0; b < 10; ++b) {
            if (Volts(env, OutputPin(b)) >= kRaisedTenths) {
                raised = b;
                ++count;
            }
        }
        if (count == 1 && Within(Volts(env, OutputPin(raised)), kLevelTenths, kLevelTolerance)) pulse = CellAt(env, raised);
    }
    if (pulse == pulse_) return;
    const uint64_t width = timer_.Stop(now);
    if (pulse_ >= 0 && width >= kBlowUs) {
        Blow(static_cast<uint32_t>(pulse_), width);
        if (Blown(SecurityCell())) Secure();
    }
    pulse_ = pulse;
    if (pulse >= 0) timer_.Start(now);
}

ChipDrive FileOrderFuseChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin < 14 || chipPin > 23 || !InMode(env) || Volts(env, chipPin) >= kRaisedTenths) return ChipDrive::None;
    const int cell = CellAt(env, 23 - chipPin);
    return cell >= 0 && Blown(static_cast<uint32_t>(cell)) ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
