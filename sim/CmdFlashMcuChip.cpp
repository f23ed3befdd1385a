#include "sim/CmdFlashMcuChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kLow[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kHigh[5] = {38, 39, 40, 41, 42};
constexpr int kData[8] = {12, 13, 14, 15, 16, 17, 18, 19};
constexpr int kChipEnable = 20, kOutputEnable = 21, kWriteEnable = 22, kMode = 23, kVppPin = 35;

} // namespace

CmdFlashMcuChip::CmdFlashMcuChip(const CmdFlashMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(40);
    cells_.assign(facts_.words, 0xFF);
}

ChipPinLimits CmdFlashMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(kVppPin, facts_.vppLimitTenths);
    return l;
}

uint32_t CmdFlashMcuChip::Address(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (int i = 0; i < 8; ++i) a |= static_cast<uint32_t>(env.InputLevel(kLow[i]) == 1) << i;
    for (int i = 0; i < 5; ++i) a |= static_cast<uint32_t>(env.InputLevel(kHigh[i]) == 1) << (8 + i);
    return a;
}

ChipDrive CmdFlashMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(44)) || env.InputLevel(kChipEnable) != 0 ||
        env.InputLevel(kOutputEnable) != 0)
        return ChipDrive::None;
    int bit = -1;
    for (int i = 0; i < 8; ++i) {
        if (kData[i] == socketPin) bit = i;
    }
    if (bit < 0) return ChipDrive::None;
    const uint32_t a = Address(env);
    uint8_t v;
    if (Busy(env)) {
        v = busyRead_;
    } else if (a < cells_.size()) {
        v = static_cast<uint8_t>(~cells_[a]);
    } else {
        return ChipDrive::None;
    }
    return (v >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

void CmdFlashMcuChip::TakeWrite(const PinEnvironment& env) {
    uint8_t d = 0;
    for (int i = 0; i < 8; ++i) d |= static_cast<uint8_t>(env.InputLevel(kData[i]) == 1) << i;
    if (Busy(env)) {
        env.Violation(facts_.name + ": write while the part is busy");
        return;
    }
    if (env.VoltageTenths(kVppPin) < facts_.vppMinTenths || env.InputLevel(kMode) != 0) return;
    const uint32_t a = Address(env);
    switch (state_) {
    case State::Datum:
        state_ = State::Idle;
        if (a >= cells_.size()) {
            env.Violation(facts_.name + ": write past the array");
            return;
        }
        ++writes_;
        // Busy for the write time (a cell that never takes its datum stays
        // busy): bit 7 of the datum reads complemented meanwhile.
        busyRead_ = static_cast<uint8_t>(~d ^ 0x80);
        if (static_cast<int64_t>(a) == stuck_) {
            busyUntil_ = UINT64_MAX / 2;
            return;
        }
        cells_[a] &= d;
        busyUntil_ = env.NowUs() + facts_.writeUs;
        return;
    case State::Erase1:
        state_ = State::Idle;
        if (d != 0x30) break;
        ++erases_;
        std::fill(cells_.begin(), cells_.end(), 0xFF);
        busyUntil_ = eraseForever_ ? UINT64_MAX / 2 : env.NowUs() + facts_.eraseUs;
        busyRead_ = 0x80;
        return;
    case State::Idle:
        if (d == 0x40) {
            state_ = State::Datum;
            return;
        }
        if (d == 0x30) {
            state_ = State::Erase1;
            return;
        }
        break;
    }
    env.Violation(facts_.name + ": command " + std::to_string(d) + " not known");
}

void CmdFlashMcuChip::Update(const PinEnvironment& env) {
    if (!facts_.vcc.Holds(env.VoltageTenths(44))) {
        state_ = State::Idle;
        weLow_ = false;
        busyUntil_ = 0;
        return;
    }
    const bool we = env.InputLevel(kWriteEnable) == 0 && env.InputLevel(kChipEnable) == 0;
    if (!we && weLow_) TakeWrite(env);
    weLow_ = we;
}

// ---- the parts ------------------------------------------------------------------------

void AddCmdFlashMcuParts(std::vector<CatalogPart>& parts) {
    // No programming datasheet was found for a part with this bus: the
    // pin-out, commands, write and erase times are those the row uses.
    CmdFlashMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = "CMDFLASH-8K";
    f.pinCount = 40;
    f.words = 0x2000;
    f.blank = 0x00;
    f.vcc = {45, 65};
    f.vccPin = 40;
    f.gndPins = {20};
    f.note = "pin-out, command codes, write and erase times assumed from the algorithm row";
    f.followsRow = true;
    parts.push_back(ChipPart<CmdFlashMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddCmdFlashMcuParts);

} // namespace sim
