#include "sim/TwoWireMcuChip.h"

#include <algorithm>

#include "sim/Catalog.h"

namespace sim {

TwoWireMcuChip::TwoWireMcuChip(const TwoWireMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits TwoWireMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

// The programmer's level where it holds the pin; a floating clock with the
// part's pull-up reads high, otherwise as the programmer's pull leaves it.
bool TwoWireMcuChip::ClockLevel(const PinEnvironment& env) const {
    const int pin = Pin(facts_.clockPin);
    if (env.VoltageTenths(pin) >= 0) return env.HeldHigh(pin);
    return facts_.clockPullUp || env.InputLevel(pin) == 1;
}

uint8_t TwoWireMcuChip::ReadCell(uint32_t a) const {
    if (secured_) return 0x00;
    return a < facts_.words ? cells_[a] : 0xFF;
}

// A waiting write or erase takes once its time has passed; `interrupted`
// (a clock edge, the closing sequence, the mode lost) drops it before then.
void TwoWireMcuChip::Settle(const PinEnvironment& env, bool interrupted) {
    if (!pending_) return;
    const uint64_t need = pendingErase_ ? facts_.eraseUs : facts_.writeUs;
    if (env.NowUs() - pendingFrom_ >= need) {
        if (pendingErase_) {
            std::fill(cells_.begin(), cells_.end(), static_cast<uint8_t>(facts_.blank));
            secured_ = false;
        } else if (!secured_ && pendingAt_ < facts_.words && static_cast<int64_t>(pendingAt_) != stuck_) {
            cells_[pendingAt_] &= pendingValue_;
        }
        pending_ = false;
    } else if (interrupted) {
        pending_ = false;
    }
}

void TwoWireMcuChip::EndTransfer() {
    phase_ = Phase::Idle;
    bits_ = shift_ = 0;
    outBit_ = 8;
}

void TwoWireMcuChip::ByteIn(const PinEnvironment& env, uint8_t b) {
    events_.push_back(b);
    switch (phase_) {
    case Phase::Command:
        if (b == 0x60 || b == 0x61) {
            readCommand_ = b == 0x61;
            addressBytes_ = 0;
            counter_ = 0;
            phase_ = Phase::Address;
        } else if (b == 0xE0) {
            special_.clear();
            phase_ = Phase::Special;
        } else {
            env.Violation(facts_.name + ": unknown command " + std::to_string(b));
            phase_ = Phase::Done;
        }
        break;
    case Phase::Address:
        counter_ = ((counter_ << 8) | b) & 0xFFFF;
        if (++addressBytes_ < 2) break;
        if (readCommand_) {
            phase_ = Phase::Read;
            out_ = ReadCell(counter_);
            outBit_ = 0;
            lineTaken_ = false;
        } else {
            phase_ = Phase::Write;
        }
        break;
    case Phase::Write:
        pending_ = true;
        pendingErase_ = false;
        pendingAt_ = counter_;
        pendingValue_ = b;
        pendingFrom_ = env.NowUs();
        counter_ = (counter_ + 1) & 0xFFFF;
        break;
    case Phase::Special: {
        special_.push_back(b);
        if (special_.size() < 3) break;
        static const std::vector<uint8_t> kSecure = {0x0E, 0x3F, 0x00}, kErase = {0x55, 0x5A, 0xAA};
        if (special_ == kSecure) {
            if (!ignoreSecure_) secured_ = true;
        } else if (facts_.erasable && special_ == kErase) {
            pending_ = pendingErase_ = true;
            pendingFrom_ = env.NowUs();
        } else {
            env.Violation(facts_.name + ": unknown command sequence after E0h");
        }
        phase_ = Phase::Done;
        break;
    }
    default: break; // the end byte after a completed command
    }
}

void TwoWireMcuChip::Update(const PinEnvironment& env) {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) {
        Settle(env, true);
        powered_ = entered_ = inMode_ = false;
        EndTransfer();
        return;
    }
    if (!powered_) {
        powered_ = true;
        // The programming voltage comes after the supply.
        entered_ = env.HeldLow(Pin(facts_.entryPin)) && env.VoltageTenths(Pin(facts_.vppPin)) < facts_.vppMinTenths;
    }
    const bool mode = entered_ && env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
    Settle(env, !mode);
    const bool clock = ClockLevel(env), data = env.InputLevel(Pin(facts_.dataPin)) == 1;
    if (!mode || !inMode_) {
        if (!mode) EndTransfer();
        inMode_ = mode;
        clock_ = clock;
        data_ = data;
        return;
    }
    if (clock != clock_) edges_.push_back(clock ? "C1" : "C0");
    if (data != data_) edges_.push_back(data ? "D1" : "D0");
    // The data line moving while the clock stays high opens or closes; the
    // clock that rose just before it is the sequence's own.
    if (clock && clock_ && data != data_) {
        data_ = data;
        Settle(env, true);
        if (data) {
            if (bits_ > 1) env.Violation(facts_.name + ": transfer opened inside a byte");
            EndTransfer();
            phase_ = Phase::Command;
            events_.push_back(Start);
        } else {
            if (bits_ > 1) env.Violation(facts_.name + ": transfer closed inside a byte (a byte without its extra clock)");
            EndTransfer();
            events_.push_back(Stop);
        }
        return;
    }
    data_ = data;
    if (clock == clock_) return;
    clock_ = clock;
    if (clock) {
        Settle(env, true);
        if (phase_ == Phase::Idle) return;
        if (env.VoltageTenths(Pin(facts_.dataPin)) >= 0) lineTaken_ = true;
        if (bits_ < 8) {
            shift_ = (shift_ << 1) | (data ? 1u : 0u);
            lastBit_ = data ? 1 : 0;
        } else if (bits_ == 8 && phase_ != Phase::Read && (data ? 1 : 0) != lastBit_) {
            env.Violation(facts_.name + ": a byte without its extra clock");
        } else if (bits_ > 8) {
            env.Violation(facts_.name + ": a byte without its extra clock");
        }
        ++bits_;
        return;
    }
    if (phase_ == Phase::Idle) return;
    if (bits_ < 9) {
        if (phase_ == Phase::Read) outBit_ = bits_;
        return;
    }
    const uint8_t b = static_cast<uint8_t>(shift_);
    bits_ = shift_ = 0;
    if (phase_ == Phase::Read) {
        events_.push_back(lineTaken_ ? b : Sent | out_);
        counter_ = (counter_ + 1) & 0xFFFF;
        out_ = ReadCell(counter_);
        outBit_ = 0;
        lineTaken_ = false;
        return;
    }
    ByteIn(env, b);
}

ChipDrive TwoWireMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (phase_ != Phase::Read || !inMode_ || outBit_ >= 8 || socketPin != Pin(facts_.dataPin) ||
        env.VoltageTenths(socketPin) >= 0)
        return ChipDrive::None;
    return (out_ >> (7 - outBit_)) & 1 ? ChipDrive::High : ChipDrive::Low;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No datasheet of a part with this protocol was found: the pin-outs are the
// device pins of the algorithm rows' socket pins in the packages the records
// name, the timing is what the rows give it.
TwoWireMcuFacts Part(const char* name, int pins, int vcc, int gnd, int vpp, int data, int clock, int entry,
                     uint32_t kb) {
    TwoWireMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = pins;
    f.words = kb * 1024;
    f.vcc = {45, 60};
    f.vccPin = vcc;
    f.gndPins = {gnd};
    f.vppPin = vpp;
    f.dataPin = data;
    f.clockPin = clock;
    f.entryPin = entry;
    f.note = "no datasheet found: pin-out, commands and timing follow the algorithm row";
    f.followsRow = true;
    return f;
}

TwoWireMcuFacts Erasable(TwoWireMcuFacts f) {
    f.erasable = true;
    return f;
}

TwoWireMcuFacts PulledUpClock(TwoWireMcuFacts f) {
    f.clockPullUp = true;
    return f;
}

// Row 156's parts, by socket pins: the row routes supply, programming
// voltage and ground to fixed socket pins per variant, so each part's pin-out
// is the smallest DIP seated over them.
TwoWireMcuFacts SocketPart(const char* name, int pins, int vcc, int vpp, std::vector<int> gnd, int data, int clock,
                           int entry, uint32_t kb) {
    const int off = (48 - pins) / 2;
    for (int& g : gnd) g -= off;
    TwoWireMcuFacts f = Part(name, pins, vcc - off, 0, vpp - off, data - off, clock - off, entry - off, kb);
    f.gndPins = gnd;
    return f;
}

} // namespace

void AddTwoWireMcuParts(std::vector<CatalogPart>& parts) {
    // One-time parts, one per pin-table variant. Variants 15 and 16 have no
    // ground pin in the row's routing; the model does not check ground.
    const TwoWireMcuFacts otp[] = {
        SocketPart("2WIRE-OTP-V0", 40, 44, 5, {24}, 23, 22, 21, 1),
        SocketPart("2WIRE-OTP-V1", 48, 36, 39, {24, 25}, 14, 13, 1, 2),
        SocketPart("2WIRE-OTP-V2", 40, 44, 5, {24, 29}, 23, 22, 21, 1),
        SocketPart("2WIRE-OTP-V3", 40, 44, 5, {24, 35}, 23, 22, 21, 2),
        SocketPart("2WIRE-OTP-V4", 28, 38, 11, {34}, 17, 16, 15, 2),
        SocketPart("2WIRE-OTP-V5", 32, 40, 9, {33}, 20, 19, 18, 1),
        SocketPart("2WIRE-OTP-V6", 40, 44, 5, {24}, 23, 22, 18, 1),
        SocketPart("2WIRE-OTP-V7", 32, 40, 9, {25}, 20, 19, 18, 2),
        SocketPart("2WIRE-OTP-V8", 40, 44, 5, {24}, 23, 22, 21, 4),
        SocketPart("2WIRE-OTP-V9", 24, 36, 16, {14}, 34, 35, 19, 2),
        SocketPart("2WIRE-OTP-V10", 24, 36, 16, {14}, 34, 35, 20, 2),
        SocketPart("2WIRE-OTP-V11", 40, 36, 5, {14}, 34, 35, 20, 4),
        SocketPart("2WIRE-OTP-V12", 40, 38, 16, {18}, 36, 37, 5, 4),
        SocketPart("2WIRE-OTP-V13", 32, 40, 11, {24}, 38, 39, 15, 4),
        SocketPart("2WIRE-OTP-V14", 40, 40, 5, {25}, 20, 19, 18, 4),
        SocketPart("2WIRE-OTP-V15", 20, 34, 17, {}, 32, 33, 21, 2),
        SocketPart("2WIRE-OTP-V16", 32, 12, 9, {}, 17, 16, 18, 2),
        PulledUpClock(SocketPart("2WIRE-OTP-V0-PU", 40, 44, 5, {24}, 23, 22, 21, 1)),
    };
    for (const TwoWireMcuFacts& f : otp) parts.push_back(ChipPart<TwoWireMcuChip>(f.maker, f));
    // Erasable parts by package: 8-pin (VDD 1, VSS 8, VPP 4, which is also
    // the entry pin), 16-pin (16, 1, 4), 20-pin (20, 10, 1).
    const TwoWireMcuFacts erasable[] = {
        Erasable(Part("2WIRE-EE-8", 8, 1, 8, 4, 6, 7, 4, 1)),
        Erasable(Part("2WIRE-EE-16", 16, 16, 1, 4, 14, 15, 4, 2)),
        Erasable(Part("2WIRE-EE-20", 20, 20, 10, 1, 18, 19, 5, 4)),
    };
    for (const TwoWireMcuFacts& f : erasable) parts.push_back(ChipPart<TwoWireMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddTwoWireMcuParts);

} // namespace sim
