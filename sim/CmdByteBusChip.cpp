#include "sim/CmdByteBusChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint8_t kAddressLow = 0x84, kAddressHigh = 0x85, kDataRegister = 0x87;
constexpr uint8_t kUnlockedBit = 0x20;

} // namespace

CmdByteBusChip::CmdByteBusChip(const CmdByteBusFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits CmdByteBusChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool CmdByteBusChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
}

uint8_t CmdByteBusChip::DataPins(const PinEnvironment& env) const {
    uint8_t d = 0;
    for (int bit = 0; bit < 8; ++bit)
        d |= static_cast<uint8_t>(High(env, facts_.data[bit])) << bit;
    return d;
}

bool CmdByteBusChip::Known(uint8_t c) const {
    if (c == facts_.modeCommand || c == kAddressLow || c == kAddressHigh || c == kDataRegister) return true;
    if (facts_.resetPin != 0 && c == facts_.startCommand) return true;
    for (uint8_t e : facts_.extraCommands)
        if (c == e) return true;
    return false;
}

uint8_t CmdByteBusChip::RegisterValue() const {
    if (command_ == facts_.modeCommand)
        return static_cast<uint8_t>((mode_ & ~kUnlockedBit) | (locked_ ? 0 : kUnlockedBit));
    if (command_ == kAddressLow) return static_cast<uint8_t>(address_);
    if (command_ == kAddressHigh) return static_cast<uint8_t>(address_ >> 8);
    if (command_ == kDataRegister) return locked_ || address_ >= cells_.size() ? 0xFF : cells_[address_];
    return 0xFF;
}

ChipDrive CmdByteBusChip::Output(const PinEnvironment& env, int socketPin) const {
    if (stage_ != Stage::InMode || !High(env, facts_.readPin) || !Powered(env)) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.data[bit] == chipPin) return (output_ >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void CmdByteBusChip::EnterCheck(const PinEnvironment& env) {
    if (facts_.enablePin == 0 || stage_ != Stage::Counting) return;
    if (!facts_.enable.Holds(env.VoltageTenths(Pin(facts_.enablePin)))) return;
    if (count_ < facts_.enableStrobes) {
        env.Violation(facts_.name + ": enable voltage after " + std::to_string(count_) + " strobes");
        stage_ = Stage::Refused;
        return;
    }
    stage_ = Stage::Enabled;
    count_ = 0;
}

void CmdByteBusChip::SuppliesChanged(const PinEnvironment& env) {
    if (!Powered(env)) {
        stage_ = Stage::Off;
        return;
    }
    if (stage_ == Stage::Off && facts_.enablePin != 0) {
        stage_ = Stage::Counting;
        count_ = 0;
    }
    EnterCheck(env);
}

void CmdByteBusChip::Strobe(const PinEnvironment& env, uint64_t width) {
    switch (stage_) {
    case Stage::Off:
    case Stage::Refused:
        return;
    case Stage::Counting:
        ++count_;
        return;
    case Stage::Enabled:
        if (++count_ >= facts_.modeStrobes) stage_ = facts_.enablePin != 0 ? Stage::InMode : Stage::Started;
        return;
    case Stage::Started:
    case Stage::InMode:
        break;
    }
    const bool read = High(env, facts_.readPin);
    const bool commandSelect = High(env, facts_.commandPin);
    const uint8_t d = DataPins(env);
    if (read) {
        if (stage_ == Stage::InMode) output_ = RegisterValue();
        return;
    }
    if (width >= facts_.programMinUs) {
        if (stage_ != Stage::InMode || !facts_.vpp.Holds(env.VoltageTenths(Pin(facts_.vppPin)))) {
            env.Violation(facts_.name + ": program pulse outside programming");
            return;
        }
        if (mode_ == 4) {
            if (++lockCount_ >= facts_.lockPulses) locked_ = true;
            return;
        }
        if (mode_ != 2 || command_ != kDataRegister || address_ >= cells_.size()) {
            env.Violation(facts_.name + ": program pulse without the data register in mode 2");
            return;
        }
        if (locked_) return;
        ++pulses_;
        ++pulsesAt_[address_];
        if (!stuck_.count(address_)) cells_[address_] &= d;
        return;
    }
    if (commandSelect) {
        if (!Known(d)) {
            env.Violation(facts_.name + ": unknown command " + std::to_string(d));
            return;
        }
        command_ = d;
        return;
    }
    if (stage_ == Stage::Started) {
        if (command_ == facts_.startCommand && d == facts_.startValue) {
            stage_ = Stage::InMode;
        } else {
            env.Violation(facts_.name + ": register write before the start command");
        }
        return;
    }
    writes_[command_].push_back(d);
    if (command_ == facts_.modeCommand) {
        mode_ = static_cast<uint8_t>(d & ~kUnlockedBit);
    } else if (command_ == kAddressLow) {
        address_ = (address_ & 0xFF00) | d;
    } else if (command_ == kAddressHigh) {
        address_ = (address_ & 0x00FF) | static_cast<uint32_t>(d) << 8;
    } else if (command_ == kDataRegister) {
        env.Violation(facts_.name + ": program pulse shorter than " + std::to_string(facts_.programMinUs) +
                      " us");
    }
}

void CmdByteBusChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        stage_ = Stage::Off;
        strobeActive_ = false;
        resetHigh_ = High(env, facts_.resetPin != 0 ? facts_.resetPin : facts_.strobePin);
        return;
    }
    if (stage_ == Stage::Off && facts_.enablePin != 0) {
        stage_ = Stage::Counting;
        count_ = 0;
    }
    if (facts_.resetPin != 0) {
        const bool reset = High(env, facts_.resetPin);
        // The reset pulse's falling edge starts the count; it leaves the mode.
        if (!reset && resetHigh_) {
            stage_ = Stage::Enabled;
            count_ = 0;
            mode_ = 0;
        }
        resetHigh_ = reset;
    }
    const bool active = High(env, facts_.strobePin) == facts_.strobeActiveHigh;
    if (active && !strobeActive_) {
        strobeStart_ = env.NowUs();
    } else if (!active && strobeActive_) {
        Strobe(env, env.NowUs() - strobeStart_);
    }
    strobeActive_ = active;
    EnterCheck(env);
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet of a part in these modes was found: the pin-outs,
// commands and entry sequences follow the algorithm rows (followsRow); the
// programming voltage and pulse limits are those of the OTP parts programmed
// at 12.5 V with 100 us pulses.
CmdByteBusFacts Common(const char* name, int pins, uint32_t bytes) {
    CmdByteBusFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = pins;
    f.words = bytes;
    f.blank = 0xFF;
    f.vpp = {120, 130};
    f.vppLimitTenths = 135;
    f.programMinUs = 95;
    f.followsRow = true;
    return f;
}

// The enable-pin kind: 40-pin parts at socket pins 5-44, VCC on pin 25,
// ground on 40, Vpp on 36 (its DAC channel apart from the enable pin's);
// `alt` the second pin column.
CmdByteBusFacts EnableKind(const char* name, bool alt, uint32_t bytes) {
    CmdByteBusFacts f = Common(name, 40, bytes);
    const int d0[8] = {15, 16, 17, 18, 34, 33, 32, 31};
    const int d1[8] = {13, 14, 15, 16, 36, 35, 34, 33};
    for (int i = 0; i < 8; ++i)
        f.data[i] = (alt ? d1[i] : d0[i]) - 4;
    f.commandPin = (alt ? 32 : 30) - 4;
    f.readPin = (alt ? 17 : 19) - 4;
    f.strobePin = 24 - 4;
    f.enablePin = 27 - 4;
    f.vccPin = 25;
    f.gndPins = {40};
    f.vppPin = 36;
    f.strobeActiveHigh = true;
    f.modeCommand = 0x40;
    f.extraCommands = {0x21};
    f.note =
        "pin-out, commands, mode entry (500 strobes, 4.0 V enable, 1000 strobes) and lock taken from the "
        "algorithm row";
    return f;
}

// The reset-pin kind by pin column: 0 and 2 40-pin parts at socket pins
// 5-44 (VCC on 40; Vpp on 31, or on 5 for column 2), 1 a 48-pin part (VCC
// on 48, Vpp on 11); grounds where the row switches them.
CmdByteBusFacts ResetKind(const char* name, int column, uint32_t bytes) {
    const int pins = column == 1 ? 48 : 40;
    const int off = (48 - pins) / 2;
    CmdByteBusFacts f = Common(name, pins, bytes);
    const int d0[8] = {27, 22, 28, 21, 29, 20, 30, 19};
    const int d1[8] = {29, 20, 30, 19, 31, 18, 32, 17};
    for (int i = 0; i < 8; ++i)
        f.data[i] = (column == 1 ? d1[i] : d0[i]) - off;
    f.commandPin = (column == 1 ? 14 : 18) - off;
    f.readPin = (column == 1 ? 35 : 31) - off;
    f.resetPin = (column == 1 ? 36 : 32) - off;
    f.strobePin = 25 - off;
    f.vccPin = pins;
    f.gndPins = {24 - off, (column == 0 ? 43 : column == 1 ? 47 : 35) - off};
    f.vppPin = column == 0 ? 31 : column == 1 ? 11 : 5;
    f.strobeActiveHigh = false;
    f.modeCommand = 0xF0;
    f.startCommand = 0x08;
    f.startValue = 0xFF;
    f.extraCommands = {0x26};
    f.note =
        "pin-out, commands, mode entry (reset pulse, 1000 strobes, 08h written with FFh) and lock taken from "
        "the algorithm row";
    return f;
}

} // namespace

void AddCmdByteBusParts(std::vector<CatalogPart>& parts) {
    for (const CmdByteBusFacts& f :
         {EnableKind("CMDBUS40-8K", false, 0x2000), EnableKind("CMDBUS40-16K", false, 0x4000),
          EnableKind("CMDBUS40B-16K", true, 0x4000), ResetKind("CMDRESET40-8K", 0, 0x2000),
          ResetKind("CMDRESET40-16K", 0, 0x4000), ResetKind("CMDRESET48-16K", 1, 0x4000),
          ResetKind("CMDRESET40B-8K", 2, 0x2000)})
        parts.push_back(ChipPart<CmdByteBusChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddCmdByteBusParts);

} // namespace sim
