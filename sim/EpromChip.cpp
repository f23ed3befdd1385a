#include "sim/EpromChip.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <iterator>

namespace sim {

namespace {

constexpr int kLogicMaxTenths = 70;

std::vector<int> Range(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<int> v;
    for (auto [from, to] : runs) {
        if (from <= to) {
            for (int p = from; p <= to; ++p) v.push_back(p);
        } else {
            for (int p = from; p >= to; --p) v.push_back(p);
        }
    }
    return v;
}

int AddressBits(uint32_t words, int most) {
    int bits = 0;
    while ((1u << bits) < words && bits < most) ++bits;
    return bits;
}

// The JEDEC byte-wide and the 16-bit 40-pin pinouts.
const DipPinout kJedec24{24, 8, 0xFF, 24, {12}, 18, 20, 20, 0, 0, 0, 0, 0,
                         Range({{8, 1}, {23, 22}, {19, 19}, {21, 21}}), Range({{9, 11}, {13, 17}}), 24, 220};
const DipPinout kJedec28{28, 8, 0xFF, 28, {14}, 20, 22, 1, 22, 0x8000, 27, 0x4000, 0,
                         Range({{10, 3}, {25, 24}, {21, 21}, {23, 23}, {2, 2}, {26, 26}, {27, 27}, {1, 1}}),
                         Range({{11, 13}, {15, 19}}), 24, 140};
const DipPinout kJedec32{32, 8, 0xFF, 32, {16}, 22, 24, 1, 24, 0x80000, 31, 0x40000, 0,
                         Range({{12, 5}, {27, 26}, {23, 23}, {25, 25}, {4, 4}, {28, 29}, {3, 2}, {30, 31}, {1, 1}}),
                         Range({{13, 15}, {17, 21}}), 24, 140};
const DipPinout kWord40{40, 16, 0xFFFF, 40, {11, 30}, 2, 20, 1, 0, 0, 39, 0x20000, 0,
                        Range({{21, 29}, {31, 39}}), Range({{19, 12}, {10, 3}}), 24, 140};

} // namespace

EpromConfig EpromFromPinout(const DipPinout& p, const std::string& name, uint32_t words) {
    EpromConfig c;
    c.name = name;
    c.pinCount = p.pinCount;
    c.words = words;
    c.width = p.width;
    c.blank = p.blank;
    c.vccPin = p.vccPin;
    c.gndPins = p.gndPins;
    c.cePin = p.cePin;
    c.oePin = p.oePin;
    c.vppPin = p.largeVppPin != 0 && words > p.largeAbove ? p.largeVppPin : p.vppPin;
    c.pgmPin = p.pgmPin != 0 && words <= p.pgmUpTo ? p.pgmPin : 0;
    c.hiddenPin = p.hiddenPin;
    c.addressPins = p.addressPins;
    c.addressPins.resize(static_cast<size_t>(AddressBits(words, p.mostAddressBits)));
    c.dataPins = p.dataPins;
    c.vppMaxTenths = p.vppMaxTenths;
    return c;
}

EpromConfig Jedec24(const std::string& name, uint32_t words) { return EpromFromPinout(kJedec24, name, words); }
EpromConfig Jedec28(const std::string& name, uint32_t words) { return EpromFromPinout(kJedec28, name, words); }
EpromConfig Jedec32(const std::string& name, uint32_t words) { return EpromFromPinout(kJedec32, name, words); }
EpromConfig Word40(const std::string& name, uint32_t words) { return EpromFromPinout(kWord40, name, words); }

EpromChip::EpromChip(EpromConfig config) : cfg_(std::move(config)) {
    socketPins_ = DipSocketPins(cfg_.pinCount, cfg_.rowsUp);
    if (cfg_.words == 0) cfg_.words = 1;
    mask_ = cfg_.width > 8 ? 0xFFFF : 0xFF;
    cfg_.blank = static_cast<uint16_t>(cfg_.blank & mask_);
    cells_.assign(cfg_.words, cfg_.blank);
    hidden_ = cfg_.blank;
    overReported_.assign(static_cast<size_t>(cfg_.pinCount) + 1, false);
    for (int a : cfg_.addressPins) addressSockets_.push_back(Socket(a));
    for (size_t i = 0; i < cfg_.dataPins.size() && i < 16; ++i) dataSockets_.push_back(Socket(cfg_.dataPins[i]));
    for (size_t i = 0; i < socketPins_.size(); ++i) {
        const int z = socketPins_[i];
        if (z < 1 || z > kSocketPins) continue;
        if (chipPinAt_[z] != 0 || i + 1 >= 64) uniqueSeats_ = false;
        chipPinAt_[z] = static_cast<uint8_t>(i + 1);
    }
    for (int pin : cfg_.gndPins) powerPins_ |= uint64_t{1} << Socket(pin);
    powerPins_ |= uint64_t{1} << Socket(cfg_.vccPin);
    // Output's pin lookup: the first chip pin on the socket pin, and the
    // first data line on that chip pin.
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (int z = 1; z <= kSocketPins; ++z) {
        const auto pin = std::find(socketPins_.begin(), socketPins_.end(), z);
        if (pin == socketPins_.end()) continue;
        const int chipPin = static_cast<int>(pin - socketPins_.begin()) + 1;
        const auto bit = std::find(cfg_.dataPins.begin(), cfg_.dataPins.end(), chipPin);
        if (bit != cfg_.dataPins.end() && bit - cfg_.dataPins.begin() < 16)
            dataBitAt_[z] = static_cast<int8_t>(bit - cfg_.dataPins.begin());
    }
}

ChipPinLimits EpromChip::Limits() const {
    ChipPinLimits l;
    l.chip = cfg_.name;
    for (int p : socketPins_) {
        if (p != 0) l.socketPins.push_back(p);
    }
    l.maxTenths = kLogicMaxTenths;
    for (int pin :
         {cfg_.vppPin, cfg_.erasePin, cfg_.hiddenPin, cfg_.testVoltagePin, cfg_.hvBlankCheck ? cfg_.cePin : 0}) {
        if (pin != 0 && Socket(pin) != 0) l.Allow(Socket(pin), cfg_.vppMaxTenths);
    }
    return l;
}

bool EpromChip::Powered(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == poweredRevision_) return powered_;
    // Switches held VCC and the grounds at the revision of the answer: while
    // none of those pins moved since, the answer stands.
    if (revision != 0 && poweredRevision_ != 0 && env.SupplyTable() != nullptr && env.SupplyTable() == poweredTable_ &&
        (env.SupplyMovedSince(poweredRevision_, poweredTable_) & powerPins_) == 0) {
        poweredRevision_ = revision;
        return powered_;
    }
    bool powered = cfg_.vcc.Holds(Volts(env, cfg_.vccPin));
    for (size_t i = 0; powered && i < cfg_.gndPins.size(); ++i) powered = env.HeldLow(Socket(cfg_.gndPins[i]));
    bool switched = revision != 0;
    auto held = [&](int chipPin) {
        const PinCondition c = env.ConditionAt(Socket(chipPin));
        switched = switched && (c.grounded || c.supplyTenths >= 0);
    };
    held(cfg_.vccPin);
    for (int g : cfg_.gndPins) held(g);
    poweredRevision_ = switched ? revision : 0;
    poweredTable_ = env.SupplyTable();
    powered_ = powered;
    return powered;
}

bool EpromChip::Ready(const PinEnvironment& env, bool powered) const {
    return powered && env.NowUs() >= ReadyFromUs(env);
}

uint64_t EpromChip::ReadyFromUs(const PinEnvironment& env) const {
    const int s = Socket(cfg_.vccPin);
    return s != 0 ? env.ConditionAt(s).steadyFromUs + cfg_.powerUpUs : UINT64_MAX;
}

bool EpromChip::PoweredNow(const PinEnvironment& env, uint64_t& readyFromUs) const {
    if (SuppliesChecked(env)) {
        readyFromUs = suppliesChecked_.readyFromUs;
        return suppliesChecked_.powered;
    }
    const bool powered = Powered(env);
    readyFromUs = ReadyFromUs(env);
    return powered;
}

void EpromChip::RememberSupplyChecks(const PinEnvironment& env, bool powered) {
    suppliesChecked_ = SupplyChecks{};
    const uint64_t revision = env.SupplyRevision();
    // Each check must give the same answer again under this revision
    // whatever the logic levels: the voltage check passes logic levels (it
    // keeps its revision then), Powered keeps its answer (VCC and grounds
    // held by switches), and the supply-order check reads a Vpp pin that a
    // switch holds or whose logic levels cannot be taken for a programming
    // voltage.
    if (revision == 0 || revision != checkedRevision_ || revision != poweredRevision_) return;
    if (std::min(kLogicMaxTenths, cfg_.vppMaxTenths) < kLogicHighTenths) return;
    if (cfg_.vppPin != 0 && cfg_.vcc.maxTenths < kLogicHighTenths) {
        const int s = Socket(cfg_.vppPin);
        const PinCondition c = env.ConditionAt(s);
        if (s != 0 && !c.grounded && c.supplyTenths < 0) return;
    }
    suppliesChecked_ = {revision, env.SupplyTable(), powered, ReadyFromUs(env)};
}

void EpromChip::EarlyAccess(const PinEnvironment& env) const {
    if (earlyReported_) return;
    earlyReported_ = true;
    env.Violation(cfg_.name + ": accessed before its supply was steady for " + std::to_string(cfg_.powerUpUs) +
                  " us");
}

uint32_t EpromChip::AddressNow(const PinEnvironment& env) const {
    uint32_t a = env.HighLevels(addressSockets_.data(), addressSockets_.size());
    if (cfg_.pageWords != 0) a += page_ * cfg_.pageWords;
    return a % static_cast<uint32_t>(cells_.size());
}

uint16_t EpromChip::DataNow(const PinEnvironment& env) const {
    return static_cast<uint16_t>(env.HighLevels(dataSockets_.data(), dataSockets_.size()) & mask_);
}

bool EpromChip::HiddenSelected(const PinEnvironment& env) const {
    if (cfg_.hiddenPin == 0) return false;
    const int s = Socket(cfg_.hiddenPin);
    return s != 0 && env.ConditionAt(s).supplyTenths >= kHighThresholdTenths;
}

void EpromChip::CheckVoltages(const PinEnvironment& env) {
    // No pin takes less than this: a pin at or below it is over no limit.
    const int lowestLimit = std::min(kLogicMaxTenths, cfg_.vppMaxTenths);
    // With the supplies as last checked only logic levels moved, and those
    // are over no limit.
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == checkedRevision_ && lowestLimit >= kLogicHighTenths) return;
    // Where the environment tells which pins' supplies moved since the last
    // check, the others hold what they held (logic levels are over no limit).
    uint64_t chipPins = ~uint64_t{0};
    if (uniqueSeats_ && lowestLimit >= kLogicHighTenths && cfg_.pinCount < 64) {
        const uint64_t moved = env.SupplyMovedSince(checkedRevision_, checkedTable_);
        chipPins = 0;
        for (uint64_t m = moved; m != 0; m &= m - 1) chipPins |= uint64_t{1} << chipPinAt_[std::countr_zero(m)];
        chipPins &= ~uint64_t{1};
        // Chip pins off the socket read no voltage: checked on the first pass.
        if (checkedRevision_ == 0 || checkedTable_ != env.SupplyTable()) chipPins = ~uint64_t{0};
    }
    checkedRevision_ = revision;
    checkedTable_ = env.SupplyTable();
    const int seated = static_cast<int>(socketPins_.size());
    auto check = [&](int pin) {
        const int s = pin <= seated ? socketPins_[static_cast<size_t>(pin - 1)] : 0;
        const int v = s == 0 ? -1 : env.VoltageTenths(s);
        if (v <= lowestLimit) {
            if (overReported_[static_cast<size_t>(pin)]) overReported_[static_cast<size_t>(pin)] = false;
            return;
        }
        const bool raised = pin == cfg_.vppPin || pin == cfg_.erasePin || pin == cfg_.hiddenPin ||
                            pin == cfg_.testVoltagePin || (cfg_.hvBlankCheck && pin == cfg_.cePin);
        const int limit = raised ? cfg_.vppMaxTenths : kLogicMaxTenths;
        const bool over = v > limit;
        if (over && !overReported_[static_cast<size_t>(pin)]) {
            env.Violation(cfg_.name + ": " + std::to_string(v / 10) + "." + std::to_string(v % 10) + " V on pin " +
                          std::to_string(pin) + " above its rating");
        }
        overReported_[static_cast<size_t>(pin)] = over;
    };
    // Pins 1-63 where chipPins says so (its set bits), every pin from 64 up.
    const int top = std::min(cfg_.pinCount, 63);
    for (uint64_t m = chipPins & ((uint64_t{1} << (top + 1)) - 2); m != 0; m &= m - 1) check(std::countr_zero(m));
    for (int pin = 64; pin <= cfg_.pinCount; ++pin) check(pin);
}

void EpromChip::SetCell(uint32_t address, uint16_t value) {
    memoEnv_ = nullptr;
    weak_.erase(address);
    if (address < cells_.size()) cells_[address] = static_cast<uint16_t>(value & mask_);
}

void EpromChip::Fill(uint16_t value) {
    memoEnv_ = nullptr;
    weak_.clear();
    std::fill(cells_.begin(), cells_.end(), static_cast<uint16_t>(value & mask_));
}

bool EpromChip::IsBlank() const {
    return std::all_of(cells_.begin(), cells_.end(), [&](uint16_t c) { return c == cfg_.blank; });
}

uint32_t EpromChip::ProgramPulseCount() const {
    return static_cast<uint32_t>(std::count_if(pulses_.begin(), pulses_.end(), [](const PulseRecord& r) { return !r.erase; }));
}

uint32_t EpromChip::ErasePulseCount() const {
    return static_cast<uint32_t>(std::count_if(pulses_.begin(), pulses_.end(), [](const PulseRecord& r) { return r.erase; }));
}

int EpromChip::PulsesOn(uint32_t address) const {
    return address < counted_.size() ? static_cast<int>(counted_[address].pulses) : 0;
}

void EpromChip::EndProgramPulse(uint64_t now) {
    programming_ = false;
    const uint64_t width = now - pulseStart_;
    pulses_.push_back({pulseAddress_, pulseData_, width, false});
    if (width < cfg_.minPulseUs) return;
    if (pulseHidden_) {
        hidden_ = cfg_.blank == 0 ? static_cast<uint16_t>(hidden_ | pulseData_) : static_cast<uint16_t>(hidden_ & pulseData_);
        return;
    }
    const uint32_t a = pulseAddress_;
    if (counted_.empty()) counted_.resize(cells_.size());
    Counted& counted = counted_[a];
    const uint32_t count = ++counted.pulses;
    counted.us = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{counted.us} + width, UINT32_MAX));
    const uint64_t total = counted.us;
    if (stuck_.count(a) != 0) return;
    auto it = needed_.find(a);
    const int need = it == needed_.end() ? cfg_.pulsesNeeded : it->second;
    if (static_cast<int64_t>(count) < need) return;
    uint16_t& cell = cells_[a];
    cell = cfg_.blank == 0 ? static_cast<uint16_t>(cell | pulseData_) : static_cast<uint16_t>(cell & pulseData_);
    auto full = fullNeeded_.find(a);
    const uint64_t fullUs = full == fullNeeded_.end() ? cfg_.fullProgramUs : full->second;
    if (total < fullUs && cell != cfg_.blank) {
        weak_.insert(a);
    } else {
        weak_.erase(a);
    }
}

uint16_t EpromChip::ReadCell(const PinEnvironment& env, uint32_t address) const {
    if (weak_.count(address) != 0 && !cfg_.nominalVcc.Holds(Volts(env, cfg_.vccPin))) return cfg_.blank;
    return cells_[address];
}

void EpromChip::CheckSupplyOrder(const PinEnvironment& env, bool powered) {
    const bool vppUp = cfg_.vppPin != 0 && Volts(env, cfg_.vppPin) > cfg_.vcc.maxTenths;
    const bool bad = vppUp && !powered;
    if (bad && !vppWithoutVcc_) {
        env.Violation(cfg_.name + (wasPowered_ ? ": programming voltage left on after VCC went off"
                                               : ": programming voltage applied before VCC"));
    }
    vppWithoutVcc_ = bad;
    wasPowered_ = powered;
}

void EpromChip::EndErasePulse(uint64_t now) {
    erasing_ = false;
    const uint64_t width = now - pulseStart_;
    pulses_.push_back({pulseAddress_, 0, width, true});
    // Erasure goes on while the erase voltage is applied; each full erase
    // time clears the array (cells that need more take further periods).
    eraseAccumUs_ += width;
    while (cfg_.erasePulseUs != 0 && eraseAccumUs_ >= cfg_.erasePulseUs) {
        eraseAccumUs_ -= cfg_.erasePulseUs;
        for (uint32_t a = 0; a < cells_.size(); ++a) {
            auto it = eraseNeeded_.find(a);
            if (it != eraseNeeded_.end() && it->second > 1) {
                --it->second;
                continue;
            }
            cells_[a] = cfg_.blank;
        }
        counted_.clear();
        weak_.clear();
    }
}

void EpromChip::SuppliesChanged(const PinEnvironment& env) {
    if (cfg_.vppTimedPulse) Update(env);
}

void EpromChip::Update(const PinEnvironment& env) {
    memoEnv_ = nullptr;
    // Powered and ready under the very same pin conditions, the last update
    // left every strobe's state as these conditions make it (readiness only
    // grows with time): nothing starts or ends.
    const uint64_t conditions = env.ConditionsRevision();
    if (conditions != 0 && conditions == quietRevision_) return;
    quietRevision_ = 0;
    // Under supplies already checked only logic levels moved: the checks
    // would find what they found then.
    bool powered;
    uint64_t readyFromUs;
    if (SuppliesChecked(env)) {
        powered = suppliesChecked_.powered;
        readyFromUs = suppliesChecked_.readyFromUs;
    } else {
        CheckVoltages(env);
        powered = Powered(env);
        CheckSupplyOrder(env, powered);
        RememberSupplyChecks(env, powered);
        readyFromUs = ReadyFromUs(env);
    }
    const uint64_t now = env.NowUs();
    if (!powered) {
        // Losing the supply ends a pulse without effect.
        programming_ = erasing_ = pageWriteLow_ = writeLow_ = false;
        earlyReported_ = false;
        return;
    }
    const int vpp = cfg_.vppPin != 0 ? Volts(env, cfg_.vppPin) : -1;
    const bool ceLow = Low(env, cfg_.cePin);
    const bool oeHigh = cfg_.oePin == cfg_.vppPin ? true : High(env, cfg_.oePin);
    if (now < readyFromUs) {
        // Until its supply is steady the part takes no strobe: selected with
        // its outputs on, a programming voltage or a write strobe is too early.
        const bool strobe = Low(env, cfg_.oePin) || vpp >= cfg_.vpp.minTenths ||
                            (cfg_.byteWrite && Low(env, cfg_.pgmPin));
        if (ceLow && strobe) EarlyAccess(env);
        pageWriteLow_ = cfg_.pageWritePin != 0 && Low(env, cfg_.pageWritePin);
        writeLow_ = cfg_.byteWrite && Low(env, cfg_.pgmPin);
        return;
    }
    quietRevision_ = conditions;

    // Electrical erase.
    bool eraseNow = false;
    if (cfg_.erasePin != 0) {
        const int strobe = cfg_.eraseStrobePin != 0 ? cfg_.eraseStrobePin : cfg_.cePin;
        const bool strobeActive = cfg_.eraseStrobeHigh ? High(env, strobe) : Low(env, strobe);
        eraseNow = Volts(env, cfg_.erasePin) >= cfg_.eraseMinTenths && vpp >= cfg_.eraseMinTenths && strobeActive;
    }
    if (eraseNow && !erasing_) {
        if (programming_) EndProgramPulse(now);
        erasing_ = true;
        pulseStart_ = now;
        pulseAddress_ = 0;
        if (cfg_.eraseNeedsZeros) {
            const bool zeros = std::all_of(cells_.begin(), cells_.end(), [](uint16_t c) { return c == 0; });
            if (!zeros) env.Violation(cfg_.name + ": erase pulse on cells not programmed to 00h first");
        }
    } else if (!eraseNow && erasing_) {
        EndErasePulse(now);
    }
    if (erasing_) return;

    // Page register.
    if (cfg_.pageWritePin != 0) {
        const bool low = Low(env, cfg_.pageWritePin);
        if (pageWriteLow_ && !low && ceLow && oeHigh) {
            if (vpp > 65) {
                env.Violation(cfg_.name + ": page register written at programming voltage");
            } else {
                page_ = DataNow(env) & 3u;
            }
        }
        pageWriteLow_ = low;
    }

    // Byte write.
    if (cfg_.byteWrite) {
        const bool low = Low(env, cfg_.pgmPin);
        if (writeLow_ && !low && ceLow && oeHigh) {
            const uint32_t a = AddressNow(env);
            cells_[a] = DataNow(env);
            pulses_.push_back({a, cells_[a], 0, false});
        }
        writeLow_ = low;
        return;
    }

    // Program pulse.
    const bool pgmLow = cfg_.pgmPin == 0 || Low(env, cfg_.pgmPin);
    const bool pageStrobe = cfg_.pageWritePin != 0 && Low(env, cfg_.pageWritePin);
    const bool programNow = vpp >= cfg_.vpp.minTenths && ceLow && oeHigh && pgmLow && !pageStrobe;
    // Electrically erasable parts keep their erase level on Vpp between
    // erase pulses; the others take a program pulse only inside the window.
    const int top = cfg_.erasePin != 0 ? cfg_.vppMaxTenths : cfg_.vpp.maxTenths;
    if (programNow && vpp > top && !vppHighReported_) {
        env.Violation(cfg_.name + ": program pulse at " + std::to_string(vpp / 10) + "." + std::to_string(vpp % 10) +
                      " V, above its " + std::to_string(top / 10) + "." + std::to_string(top % 10) + " V");
    }
    vppHighReported_ = programNow && vpp > top;
    if (programNow && !programming_) {
        programming_ = true;
        pulseStart_ = now;
        pulseAddress_ = AddressNow(env);
        pulseData_ = DataNow(env);
        pulseHidden_ = HiddenSelected(env);
    } else if (programNow && programming_) {
        // Address or data moving under the strobe: the pulse so far went to
        // the old cell, a new one starts.
        if (AddressNow(env) != pulseAddress_ || DataNow(env) != pulseData_) {
            EndProgramPulse(now);
            programming_ = true;
            pulseStart_ = now;
            pulseAddress_ = AddressNow(env);
            pulseData_ = DataNow(env);
            pulseHidden_ = HiddenSelected(env);
        }
    } else if (!programNow && programming_) {
        EndProgramPulse(now);
    }
}

void EpromChip::DriveNow(const PinEnvironment& env) const {
    // Every access to the programmer takes time, so within one instant of the
    // same environment the pins cannot have changed: the word is worked out
    // once per instant.
    const uint64_t now = env.NowUs();
    if (&env == memoEnv_ && now == memoUs_ && pulses_.size() == memoPulses_) return;
    memoEnv_ = &env;
    memoUs_ = now;
    memoPulses_ = pulses_.size();
    memoDrive_ = false;
    uint64_t readyFromUs;
    const bool powered = PoweredNow(env, readyFromUs);
    if (powered && now < readyFromUs) {
        if (Low(env, cfg_.cePin) && Low(env, cfg_.oePin)) EarlyAccess(env);
    } else if (powered && !programming_ && !erasing_) {
        if (cfg_.hvBlankCheck && Volts(env, cfg_.cePin) >= cfg_.vpp.minTenths) {
            memoDrive_ = Low(env, cfg_.oePin);
            memoWord_ = cells_[AddressNow(env)] == cfg_.blank ? 0xFFFF : 0x0000;
        } else if (Low(env, cfg_.oePin) &&
                   (Low(env, cfg_.cePin) || (cfg_.verifyWithCeHigh && Volts(env, cfg_.vppPin) >= cfg_.vpp.minTenths))) {
            memoDrive_ = true;
            memoWord_ = HiddenSelected(env) ? hidden_ : ReadCell(env, AddressNow(env));
        }
    }
}

ChipDrive EpromChip::DataDrive(int socketPin) const {
    const int bit = socketPin >= 1 && socketPin <= kSocketPins ? dataBitAt_[socketPin] : -1;
    if (bit < 0 || !memoDrive_) return ChipDrive::None;
    // Low and High follow each other: the bit picks one without a branch.
    static_assert(static_cast<int>(ChipDrive::High) == static_cast<int>(ChipDrive::Low) + 1);
    return static_cast<ChipDrive>(static_cast<int>(ChipDrive::Low) + ((memoWord_ >> bit) & 1));
}

ChipDrive EpromChip::Output(const PinEnvironment& env, int socketPin) const {
    if (socketPin < 1 || socketPin > kSocketPins || dataBitAt_[socketPin] < 0) return ChipDrive::None;
    DriveNow(env);
    return DataDrive(socketPin);
}

void EpromChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    bool data = false;
    for (size_t i = 0; i < n; ++i) data = data || (socketPins[i] >= 1 && socketPins[i] <= kSocketPins && dataBitAt_[socketPins[i]] >= 0);
    if (data) DriveNow(env);
    for (size_t i = 0; i < n; ++i) out[i] = data ? DataDrive(socketPins[i]) : ChipDrive::None;
}

} // namespace sim
