#include "sim/St62SerialChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kFrameClocks = 52;
constexpr int kWindowRegister = 0xC9, kControlRegister = 0xC5;
// Replies during the address byte of the first frames after arming.
constexpr uint8_t kHandshake[] = {0x00, 0x03, 0x06};

bool InWindow(uint32_t a) {
    return a >= 0x40 && a <= 0x7F;
}

} // namespace

St62SerialChip::St62SerialChip(const St62SerialFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits St62SerialChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool St62SerialChip::ReservedAddress(uint32_t a) {
    return (a >= 0xFA0 && a <= 0xFEF) || (a >= 0xFF8 && a <= 0xFFB);
}

bool St62SerialChip::VppOn(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
}

uint32_t St62SerialChip::WindowCell(int address) const {
    return (static_cast<uint32_t>(space_[kWindowRegister] & 0x3F) << 6) | static_cast<uint32_t>(address - 0x40);
}

void St62SerialChip::Disarm() {
    armed_ = inFrame_ = pausing_ = false;
    drive_ = -1;
    k_ = 0;
}

void St62SerialChip::Update(const PinEnvironment& env) {
    const bool vcc = facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
    if (!vcc) {
        const bool vpp = VppOn(env);
        if (vpp && !vppWithoutVcc_) env.Violation(facts_.name + ": programming voltage on TEST/VPP without VCC");
        vppWithoutVcc_ = vpp;
        powered_ = enable_ = clock_ = false;
        Disarm();
        return;
    }
    vppWithoutVcc_ = false;
    const bool enable = env.InputLevel(Pin(facts_.enablePin)) == 1;
    const bool hold = env.InputLevel(Pin(facts_.holdPin)) == 1, mode = env.InputLevel(Pin(facts_.modePin)) == 1;
    const bool clock = env.InputLevel(Pin(facts_.clockPin)) == 1;
    if (!powered_) {
        powered_ = true;
        enable_ = enable;
        clock_ = clock;
        return;
    }
    if (enable && !enable_ && hold && mode) {
        Disarm();
        armed_ = true;
        resetCount_ = 0;
        framesSinceArm_ = 0;
        ++arms_;
    }
    enable_ = enable;
    if (armed_ && (!enable || !hold || !mode)) Disarm();
    if (pausing_ && !VppOn(env)) vppHeld_ = false;
    if (clock == clock_) return;
    clock_ = clock;
    if (!armed_) return;
    if (clock) {
        RisingEdge(env);
    } else {
        FallingEdge(env);
    }
}

void St62SerialChip::RisingEdge(const PinEnvironment& env) {
    if (!pausing_) return;
    pausing_ = false;
    const bool timed = env.NowUs() - pauseFrom_ >= facts_.programUs;
    if (!timed || !vppHeld_ || !VppOn(env) || space_[kControlRegister] != facts_.controlValue) return;
    const uint32_t a = WindowCell(static_cast<int>(address_));
    if (a >= facts_.words) return;
    if (ReservedAddress(a)) {
        env.Violation(facts_.name + ": program cycle into the reserved area at " + std::to_string(a));
        return;
    }
    if (a < facts_.epromFirst) {
        env.Violation(facts_.name + ": program cycle below the EPROM at " + std::to_string(a));
        return;
    }
    uint8_t bits = static_cast<uint8_t>(data_);
    if (static_cast<int64_t>(a) == stuckAt_) bits &= static_cast<uint8_t>(~stuckBits_);
    cells_[a] |= bits;
}

void St62SerialChip::FallingEdge(const PinEnvironment& env) {
    const bool level = env.InputLevel(Pin(facts_.dataInPin)) == 1;
    const uint32_t bit = (level != facts_.inputActiveLow) ? 1u : 0u;
    if (!inFrame_) {
        if (resetCount_ < facts_.resetClocks) {
            ++resetCount_;
            return;
        }
        if (bit == 0) return;
        inFrame_ = true;
        k_ = 0;
        command_ = address_ = data_ = 0;
        kind_ = Kind::None;
    }
    const int k = k_++;
    drive_ = -1;
    if (k < 8) {
        command_ |= bit << k;
        const bool failing = failArm_ > 0 && arms_ >= failArm_;
        const uint8_t status = framesSinceArm_ == 0 && !failing ? 0xFF : 0x00;
        drive_ = (status >> k) & 1;
        if (k == 7 && command_ != 0x0D && command_ != 0x1F) {
            env.Violation(facts_.name + ": unknown serial command " + std::to_string(command_));
            Disarm();
        }
        return;
    }
    if (k >= 13 && k < 21) {
        address_ |= bit << (k - 13);
        const uint8_t reply = framesSinceArm_ < 3 ? kHandshake[framesSinceArm_] : 0x00;
        drive_ = (reply >> (k - 13)) & 1;
        if (k == 20) {
            if (command_ == 0x1F) kind_ = Kind::Read;
            else kind_ = InWindow(address_) ? Kind::Program : Kind::Write;
        }
        return;
    }
    switch (kind_) {
    case Kind::Program:
        if (k == 26) vppHeld_ = VppOn(env);
        if (k >= 26 && k < 34) {
            data_ |= bit << (k - 26);
            if (!VppOn(env)) vppHeld_ = false;
        }
        if (k == 38) {
            pausing_ = true;
            pauseFrom_ = env.NowUs();
        }
        break;
    case Kind::Write:
        if (k >= 39 && k < 47) {
            data_ |= bit << (k - 39);
            drive_ = static_cast<int>(bit);
            if (k == 46) space_[address_ & 0xFF] = static_cast<uint8_t>(data_);
        }
        break;
    case Kind::Read:
        if (k >= 39 && k < 47) {
            uint8_t v = space_[address_ & 0xFF];
            if (InWindow(address_)) {
                const uint32_t a = WindowCell(static_cast<int>(address_));
                v = space_[kControlRegister] != facts_.controlValue || a >= facts_.words ? 0xFF : cells_[a];
            }
            data_ = v;
            drive_ = (v >> (k - 39)) & 1;
        }
        break;
    case Kind::None: break;
    }
    if (k == kFrameClocks - 1) EndFrame(env);
}

void St62SerialChip::EndFrame(const PinEnvironment& env) {
    frames_.push_back({static_cast<int>(command_), static_cast<int>(address_), static_cast<int>(data_), VppOn(env)});
    ++framesSinceArm_;
    inFrame_ = false;
    drive_ = -1;
}

ChipDrive St62SerialChip::Output(const PinEnvironment& /*env*/, int socketPin) const {
    if (!armed_ || drive_ < 0 || socketPin != Pin(facts_.dataOutPin)) return ChipDrive::None;
    return drive_ ? ChipDrive::High : ChipDrive::Low;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

struct St62Routing {
    int package_pins, vcc, gnd, vpp; // chip pins of the package the records name
};

// One part per variant of the row's pin table. Socket pins are given as the
// row drives them and turned into chip pins of a DIP centred in the socket.
St62SerialFacts Part(const char* name, uint32_t epromFirst, St62Routing r, int clock, int enable, int hostOut,
                     int hold, int hostIn, int aux, bool activeLow, uint8_t control) {
    const int off = (48 - r.package_pins) / 2;
    St62SerialFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = r.package_pins;
    f.words = 4096;
    f.blank = 0x00;
    f.vcc = {45, 60};
    f.vccPin = r.vcc;
    f.gndPins = {r.gnd};
    f.vppPin = r.vpp;
    f.clockPin = clock - off;
    f.enablePin = enable - off;
    f.dataInPin = hostOut - off;
    f.dataOutPin = hostIn - off;
    f.holdPin = hold - off;
    f.modePin = aux - off;
    f.inputActiveLow = activeLow;
    f.controlValue = control;
    f.epromFirst = epromFirst;
    f.note = "no datasheet of the serial protocol found: frames, replies, pins, the control value and the "
             "EPROM's first cell follow the algorithm row; the reserved areas are the family's test area and reserved vectors";
    f.followsRow = true;
    return f;
}

} // namespace

void AddSt62SerialParts(std::vector<CatalogPart>& parts) {
    // Packages of the records: DIP28 VDD 3, VSS 1, TEST/VPP 6 (row 83);
    // DIP28 27, 26, 18 (row 87); DIP20 20, 10, 11 (row 60); DIP28 28, 14, 2
    // (row 74).
    constexpr St62Routing kA{28, 3, 1, 6}, kB{28, 27, 26, 18}, kC{20, 20, 10, 11}, kD{28, 28, 14, 2};
    // The EPROM of a 1K part starts at BC0h, of a 2K part at 880h, of a 4K
    // part at 080h (the first pages the row serves).
    const St62SerialFacts all[] = {
        Part("ST62-SERIAL-1K-V0", 0xBC0, kA, 18, 22, 24, 26, 23, 21, true, 0x80),
        Part("ST62-SERIAL-2K-V1", 0x880, kA, 18, 22, 24, 26, 23, 21, true, 0x80),
        Part("ST62-SERIAL-1K-V2", 0xBC0, kB, 17, 21, 23, 24, 22, 20, true, 0x80),
        Part("ST62-SERIAL-2K-V3", 0x880, kB, 17, 21, 23, 24, 22, 20, true, 0x80),
        Part("ST62-SERIAL-4K-V4", 0x080, kB, 17, 21, 23, 24, 22, 20, true, 0x80),
        Part("ST62-SERIAL-2K-V5", 0x880, kB, 13, 21, 23, 24, 22, 20, true, 0x80),
        Part("ST62-SERIAL-4K-V6", 0x080, kB, 13, 21, 23, 24, 22, 20, true, 0x80),
        Part("ST62-SERIAL-4K-V7", 0x080, kC, 28, 30, 19, 15, 18, 17, false, 0x04),
        Part("ST62-SERIAL-4K-V8", 0x080, kD, 30, 32, 15, 11, 14, 13, false, 0x04),
        Part("ST62-SERIAL-4K-V9", 0x080, kC, 28, 30, 19, 15, 18, 17, true, 0x80),
        Part("ST62-SERIAL-4K-V10", 0x080, kD, 30, 32, 15, 11, 14, 13, true, 0x80),
    };
    for (const St62SerialFacts& f : all) parts.push_back(ChipPart<St62SerialChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddSt62SerialParts);

} // namespace sim
