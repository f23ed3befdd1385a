#include "sim/EeMcuChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kAddress[16] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
constexpr int kData[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kStrobe[5] = {21, 22, 23, 25, 34};
constexpr int kModeLines[5] = {36, 37, 38, 39, 40};
constexpr int kWriteEnable = 41, kVppPin = 35, kVccPin = 44;
constexpr uint8_t kIdle = 6, kReset = 7, kRead = 2, kProgram = 0x16, kErase = 4;
constexpr uint8_t kArrayMode = 0x0C, kSecurityMode = 0x0E, kEraseFirst = 0x0F, kEraseSecond = 0x0D;

} // namespace

EeMcuChip::EeMcuChip(const EeMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(40);
    cells_.assign(facts_.words, 0xFF);
}

ChipPinLimits EeMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(kVppPin, facts_.vppLimitTenths);
    return l;
}

uint8_t EeMcuChip::Lines(const PinEnvironment& env, const int* pins, int n) const {
    uint8_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint8_t>(env.InputLevel(pins[i]) == 1) << i;
    return v;
}

uint32_t EeMcuChip::Address(const PinEnvironment& env) const {
    return Lines(env, kAddress, 8) | static_cast<uint32_t>(Lines(env, kAddress + 8, 8)) << 8;
}

ChipDrive EeMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(kVccPin)) || strobe_ != kRead) return ChipDrive::None;
    int bit = -1;
    for (int i = 0; i < 8; ++i) {
        if (kData[i] == socketPin) bit = i;
    }
    const uint32_t a = Address(env);
    if (bit < 0 || a >= cells_.size()) return ChipDrive::None;
    return (cells_[a] >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

void EeMcuChip::EndStrobe(const PinEnvironment& env) {
    const uint64_t width = env.NowUs() - strobeStart_;
    if (strobe_ == kProgram) {
        ++pulsesAt_[strobeAddress_];
        if (!strobeValid_ || width < facts_.minPulseUs) return;
        if (strobeMode_ == kSecurityMode) {
            if (strobeData_ == 8) secured_ = true;
        } else if (strobeMode_ == kArrayMode && strobeAddress_ < cells_.size() &&
                   static_cast<int64_t>(strobeAddress_) != stuck_) {
            cells_[strobeAddress_] &= strobeData_;
        }
    } else if (strobe_ == kErase) {
        if (!strobeValid_ || width < facts_.eraseStepUs) {
            firstStepDone_ = false;
        } else if (strobeMode_ == kEraseFirst) {
            firstStepDone_ = true;
        } else if (strobeMode_ == kEraseSecond && firstStepDone_) {
            firstStepDone_ = false;
            ++erases_;
            std::fill(cells_.begin(), cells_.end(), 0xFF);
            if (dirty_ >= 0 && static_cast<size_t>(dirty_) < cells_.size()) cells_[static_cast<size_t>(dirty_)] = 0;
            secured_ = false;
        }
    }
}

void EeMcuChip::Update(const PinEnvironment& env) {
    if (!facts_.vcc.Holds(env.VoltageTenths(kVccPin))) {
        strobe_ = kReset;
        firstStepDone_ = false;
        return;
    }
    const uint8_t s = Lines(env, kStrobe, 5);
    if (s == strobe_) {
        if (s == kProgram || s == kErase) {
            // The voltage must hold for the whole strobe.
            const int v = env.VoltageTenths(kVppPin);
            if (s == kProgram ? v < facts_.vppMinTenths : !facts_.erase.Holds(v)) strobeValid_ = false;
            strobeData_ = Lines(env, kData, 8);
        }
        return;
    }
    if (s != kIdle && s != kReset && s != kRead && s != kProgram && s != kErase) {
        env.Violation(facts_.name + ": strobe code " + std::to_string(s));
        return;
    }
    if (strobe_ == kProgram || strobe_ == kErase) EndStrobe(env);
    strobe_ = s;
    if (s == kRead) readSupplies_.push_back(env.VoltageTenths(kVccPin));
    if (s == kProgram || s == kErase) {
        if (env.InputLevel(kWriteEnable) != 0) env.Violation(facts_.name + ": strobe without write enable");
        strobeStart_ = env.NowUs();
        strobeMode_ = Lines(env, kModeLines, 5);
        strobeAddress_ = Address(env);
        strobeData_ = Lines(env, kData, 8);
        const int v = env.VoltageTenths(kVppPin);
        strobeValid_ = s == kProgram ? v >= facts_.vppMinTenths : facts_.erase.Holds(v);
    }
}

void AddEeMcuParts(std::vector<CatalogPart>& parts) {
    // No programming datasheet was found for a part with this bus: the
    // pin-out, codes, voltages and times are those the row uses.
    EeMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = "EEBUS-8K";
    f.pinCount = 40;
    f.words = 0x2000;
    f.blank = 0xFF;
    f.vcc = {40, 60};
    f.vccPin = 40;
    f.gndPins = {20};
    f.note = "pin-out, strobe and mode codes, voltages and times assumed from the algorithm row";
    f.followsRow = true;
    parts.push_back(ChipPart<EeMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddEeMcuParts);

} // namespace sim
