#include "sim/AddressListChip.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace sim {

namespace {

constexpr int kTolerance = 2;
constexpr int kEntryTenths = 95;
constexpr int kVppMaxTenths = 140; // the one-time high-voltage cycle reaches 13.5 V
constexpr int kVccMin = 45, kVccMax = 55;
constexpr uint64_t kProgramUs = 100;

// Ground as the programmer routes it with the supply: pin 24 with VCC on
// pin 48, else the package's pins.
std::vector<int> GroundsOf(const AddressListFacts& f) {
    if (f.vccPin == 48) return {24};
    return {12, 25, 33};
}

std::vector<int> AllSocketPins() {
    std::vector<int> p(48);
    std::iota(p.begin(), p.end(), 1);
    return p;
}

} // namespace

AddressListChip::AddressListChip(const AddressListFacts& facts)
    : CellArrayChip(facts.name, AllSocketPins(), kWords * 12, facts.vccPin, GroundsOf(facts), kVccMin), part_(facts) {
    AllowPin(part_.vppPin, kVppMaxTenths);
    for (int i = 0; i < part_.presetCount && i < 12; ++i) SetWord(part_.presets[i].address, part_.presets[i].value);
}

uint16_t AddressListChip::Word(uint32_t address) const {
    uint32_t v = 0;
    for (int bit = 0; bit < part_.width; ++bit) v |= static_cast<uint32_t>(Cell((address & 0xFFFF) * 12 + static_cast<uint32_t>(bit))) << bit;
    return static_cast<uint16_t>(v);
}

void AddressListChip::SetWord(uint32_t address, uint16_t value) {
    for (int bit = 0; bit < 12; ++bit) SetCell((address & 0xFFFF) * 12 + static_cast<uint32_t>(bit), bit < part_.width ? (value >> bit) & 1 : 1);
}

void AddressListChip::Observe(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const int vcc = Volts(env, part_.vccPin);
    powered_ = Powered(env) && vcc <= kVccMax;
    const int vpp = Volts(env, part_.vppPin);
    // The level seen now has held since the last access.
    if (strobing_ && Within(vpp, part_.programTenths, kTolerance)) atLevelUs_ += now - lastUs_;
    lastUs_ = now;
    if (!powered_) {
        entered_ = false;
        mode_ = 0;
        return;
    }
    if (vpp >= kEntryTenths && !strobing_) entered_ = true;
}

bool AddressListChip::Ready(const PinEnvironment& env, const char* what) const {
    if (!powered_) {
        env.Violation(std::string(Name()) + ": " + what + " without supply");
        return false;
    }
    if (!entered_ || mode_ == 0) {
        env.Violation(std::string(Name()) + ": " + what + " before a mode was entered");
        return false;
    }
    return true;
}

void AddressListChip::TakeMode(const PinEnvironment& env, int code) {
    Observe(env);
    if (!powered_ || !entered_) {
        env.Violation(std::string(Name()) + ": mode code " + std::to_string(code) + " before the high-voltage entry");
        return;
    }
    if (code != 12 && code != 13) {
        env.Violation(std::string(Name()) + ": mode code " + std::to_string(code) + " unknown");
        return;
    }
    mode_ = code;
}

bool AddressListChip::ReadLevel(const PinEnvironment& env) const {
    const int vpp = Volts(env, part_.vppPin);
    if (mode_ == 12) return Within(vpp, Volts(env, part_.vccPin), kTolerance);
    for (int level : part_.verifyTenths) {
        if (level == AddressListFacts::kAtVcc && Within(vpp, Volts(env, part_.vccPin), kTolerance)) return true;
        if (level > 0 && Within(vpp, level, kTolerance)) return true;
    }
    return false;
}

uint16_t AddressListChip::Read(const PinEnvironment& env, uint32_t address) {
    Observe(env);
    if (!Ready(env, "read")) return 0xFFF;
    const int vcc = Volts(env, part_.vccPin);
    readVccLow_ = readVccLow_ == 0 ? vcc : std::min(readVccLow_, vcc);
    readVccHigh_ = std::max(readVccHigh_, vcc);
    if (!ReadLevel(env)) {
        env.Violation(std::string(Name()) + ": read in mode " + std::to_string(mode_) + " with VPP at " +
                      std::to_string(Volts(env, part_.vppPin)) + " (0.1 V), VCC at " +
                      std::to_string(Volts(env, part_.vccPin)));
        return 0;
    }
    uint16_t word = Word(address);
    // Another part answers with bit 2 of each maker and product code changed.
    for (int i = 0; i < part_.presetCount && i < 12 && AnswersAnotherIdentity(); ++i)
        if (part_.presets[i].address == (address & 0xFFFF)) word ^= 4;
    return word;
}

void AddressListChip::StrobeStart(const PinEnvironment& env) {
    Observe(env);
    if (!Ready(env, "program strobe")) return;
    if (mode_ != 12) env.Violation(std::string(Name()) + ": program strobe in mode " + std::to_string(mode_));
    strobing_ = true;
    atLevelUs_ = 0;
}

void AddressListChip::StrobeEnd(const PinEnvironment& env, uint32_t address, uint16_t data) {
    Observe(env);
    if (!strobing_) return;
    strobing_ = false;
    if (!powered_ || mode_ != 12 || atLevelUs_ < kProgramUs) return;
    const uint32_t a = address & 0xFFFF;
    const auto need = needed_.find(a);
    if (++taken_[a] < (need == needed_.end() ? 1 : need->second)) return;
    for (int bit = 0; bit < part_.width; ++bit)
        if (((data >> bit) & 1) == 0) WriteCell(a * 12 + static_cast<uint32_t>(bit), 0);
}

} // namespace sim
