#include "sim/ColumnPldChip.h"

#include <algorithm>
#include <numeric>

#include "sim/CatalogModel.h"

namespace sim {

namespace {

namespace pin = column_pld_pins;

constexpr int kVppTenths = 120, kVppTolerance = 3, kProgramTolerance = 2;
constexpr uint64_t kProgramUs = 10000, kEraseUs = 100000;

std::vector<int> AdapterPins() {
    std::vector<int> p(kSocketPins);
    std::iota(p.begin(), p.end(), 1);
    return p;
}

uint32_t FromGray(uint32_t g) {
    uint32_t n = 0;
    for (; g != 0; g >>= 1)
        n ^= g;
    return n;
}

} // namespace

ColumnPldChip::ColumnPldChip(const ColumnPldFacts& facts)
    : CellArrayChip(facts.name, AdapterPins(), facts.fuses, pin::kVcc, {pin::kGnd}, facts.vccMin), facts_(facts) {
    AllowPin(facts.vppPin, kVppTenths + kVppTolerance);
    spare_.assign(static_cast<size_t>(Columns()) * static_cast<size_t>(Stages()), 1);
}

int ColumnPldChip::ColumnOf(uint32_t address) const {
    const uint32_t n = FromGray(address & 63u);
    if (facts_.wide) {
        if (address > 127 || n >= 42) return -1;
        return static_cast<int>(n) + ((address & 64u) != 0 ? 42 : 0);
    }
    if (address > 63 || n >= 46) return -1;
    return static_cast<int>(n);
}

int32_t ColumnPldChip::FuseAt(int column, int stage) const {
    if (column < 0 || column >= Columns() || stage < 0 || stage >= Stages()) return -1;
    // Rows of the JEDEC map run along the data stages, the first shifted in first.
    const int32_t row = Stages() - 1 - stage;
    int32_t f = -1;
    if (facts_.wide) {
        f = 84 * row + column;
    } else if (column < 44) {
        f = 44 * row + column;
    } else if (column == 44 && row < 84) {
        f = 5808 + row; // the output-cell and signature fuses
    }
    return f >= 0 && static_cast<uint32_t>(f) < facts_.fuses ? f : -1;
}

uint32_t ColumnPldChip::Address() const {
    uint32_t a = 0;
    for (int k = 0; k < AddressBits(); ++k)
        a |= static_cast<uint32_t>(chain_[static_cast<size_t>(k)] & 1) << k;
    return a;
}

void ColumnPldChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        on_ = false;
        return;
    }
    if (!on_) {
        on_ = true;
        ++powerUps_;
        chain_.assign(static_cast<size_t>(AddressBits() + Stages()), 0);
        clock_ = Level(env, pin::kClock) != 0;
        load_ = Level(env, pin::kLoad) != 0;
        pulse_ = false;
        overVoltageTold_ = false;
        clocksSinceLoad_ = 0;
    }
    const int vcc = Volts(env, pin::kVcc);
    if (vcc > facts_.vccMax + kProgramTolerance && !overVoltageTold_) {
        overVoltageTold_ = true;
        env.Violation(Name() + ": VCC at " + std::to_string(vcc) + " tenths, above the part's rating");
    }
    const bool reading = Level(env, pin::kRead) != 0;

    const bool clock = Level(env, pin::kClock) != 0;
    if (clock && !clock_) {
        if (facts_.wide && Level(env, pin::kEnable) == 0) {
            env.Violation(Name() + ": clock with the shift enable low");
        } else {
            std::rotate(chain_.rbegin(), chain_.rbegin() + 1, chain_.rend());
            chain_[0] = static_cast<uint8_t>(Level(env, pin::kData));
            ++clocksSinceLoad_;
        }
    }
    clock_ = clock;

    const bool load = Level(env, pin::kLoad) != 0;
    if (load && !load_) {
        const uint32_t address = Address();
        loads_.push_back({address, vcc, clocksSinceLoad_});
        clocksSinceLoad_ = 0;
        if (!reading) {
            env.Violation(Name() + ": load with READ low");
        } else {
            const int column = ColumnOf(address);
            const auto base = static_cast<size_t>(AddressBits());
            for (int p = 0; p < Stages(); ++p) {
                int v = 1;
                if (address == SecurityReadAddress()) {
                    v = Secured() ? 0 : 1;
                } else if (column >= 0 && !Secured()) {
                    const int32_t f = FuseAt(column, p);
                    v = f >= 0 ? Cell(static_cast<uint32_t>(f)) : Spare(column, p);
                }
                chain_[base + static_cast<size_t>(p)] = static_cast<uint8_t>(v);
            }
        }
    }
    load_ = load;

    const bool pulse = Level(env, pin::kPulse) != 0;
    if (pulse && !pulse_) {
        timer_.Start(env.NowUs());
        pulseProgram_ = Level(env, pin::kProg) != 0;
        pulseConditions_ = Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance) &&
                           Within(vcc, facts_.programTenths, kProgramTolerance);
        if (!Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance))
            env.Violation(Name() + ": pulse without 12.0 V on pin " + std::to_string(facts_.vppPin));
        if (!Within(vcc, facts_.programTenths, kProgramTolerance))
            env.Violation(Name() + ": pulse with VCC at " + std::to_string(vcc) + " tenths");
        if (reading) env.Violation(Name() + ": pulse with READ high");
    } else if (!pulse && pulse_) {
        Act(env, timer_.Stop(env.NowUs()));
    }
    pulse_ = pulse;
}

void ColumnPldChip::Act(const PinEnvironment& env, uint64_t widthUs) {
    const uint32_t address = Address();
    pulses_.push_back({pulseProgram_, address, widthUs, Volts(env, pin::kVcc)});
    const bool held = pulseConditions_ && Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance) &&
                      Within(Volts(env, pin::kVcc), facts_.programTenths, kProgramTolerance);
    if (!held) return;
    if (!pulseProgram_) {
        if (widthUs >= kEraseUs) {
            EraseAll();
            std::fill(spare_.begin(), spare_.end(), uint8_t{1});
        }
        return;
    }
    const int column = ColumnOf(address);
    if (column < 0) {
        env.Violation(Name() + ": program pulse at address " + std::to_string(address) + ", no column");
        return;
    }
    if (widthUs < kProgramUs) return;
    const auto base = static_cast<size_t>(AddressBits());
    for (int p = 0; p < Stages(); ++p) {
        const int bit = chain_[base + static_cast<size_t>(p)];
        const int32_t f = FuseAt(column, p);
        if (f >= 0) {
            WriteCell(static_cast<uint32_t>(f), bit);
        } else {
            Spare(column, p) = static_cast<uint8_t>(Spare(column, p) & bit);
        }
        if (column == SecurityColumn() && p == SecurityStage() && bit == 0 && !securityStuck_) Secure();
    }
}

ChipDrive ColumnPldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (!on_ || socketPin != pin::kDout || Level(env, pin::kRead) == 0) return ChipDrive::None;
    return chain_.back() ? ChipDrive::High : ChipDrive::Low;
}

namespace {

// No part of their own: a 750-class array (14394 fuses) and a 22V10-class
// array (5892 fuses) in 3.0 V and 5.0 V members. Their interface and cell
// layout follow the programming rows.
const ColumnPldFacts kColumnParts[] = {
    {"GENERIC-ALGORITHM", "750-283", true, 14394, 3, 50, 45, 55},
    {"GENERIC-ALGORITHM", "22V10-284-3V", false, 5892, 13, 30, 27, 36},
    {"GENERIC-ALGORITHM", "22V10-284-5V", false, 5892, 13, 50, 45, 55},
};

std::unique_ptr<ColumnPldChip> MakeColumnPld(const ColumnPldFacts& f) {
    return std::make_unique<ColumnPldChip>(f);
}

} // namespace

void AddColumnPldParts(std::vector<CatalogPart>& parts);
void AddColumnPldParts(std::vector<CatalogPart>& parts) {
    for (const ColumnPldFacts& p : kColumnParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = kSocketPins;
        f.words = p.fuses;
        f.blank = 1;
        f.vcc = {p.vccMin, p.vccMax};
        f.vccPin = pin::kVcc;
        f.gndPins = {pin::kGnd};
        f.followsRow = true;
        parts.push_back(ModelPartBy<BitCells, MakeColumnPld>(p.maker, f, p));
    }
}

const ColumnPldFacts* FindColumnPldPart(const std::string& maker, const std::string& name) {
    for (const ColumnPldFacts& p : kColumnParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

SIM_CATALOG_FAMILY(AddColumnPldParts);

} // namespace sim
