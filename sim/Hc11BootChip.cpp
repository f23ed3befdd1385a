#include "sim/Hc11BootChip.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "sim/Catalog.h"

namespace sim {

namespace {

// Register offsets from 1000h.
constexpr uint8_t kPorta = 0x00, kPortc = 0x03, kPortb = 0x04, kDdrc = 0x07, kTcntHi = 0x0E, kTcntLo = 0x0F,
                  kPactl = 0x26, kBprot = 0x35, kPprog = 0x3B, kConfig = 0x3F;
constexpr uint16_t kRegs = 0x1000, kConfigAddress = 0x103F;
// PPROG bits.
constexpr uint8_t kEpgm = 0x01, kEelat = 0x02, kErase = 0x04, kRow = 0x08, kByte = 0x10, kElat = 0x20;

std::string Hex(uint32_t v) {
    char b[12];
    std::snprintf(b, sizeof b, "%04Xh", v);
    return b;
}

} // namespace

Hc11BootChip::Hc11BootChip(const Hc11BootFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(std::max<size_t>(facts_.words, 0x10000), static_cast<uint8_t>(facts_.blank));
    ram_.assign(facts_.ramBytes, 0);
}

uint16_t Hc11BootChip::Cell(uint32_t a) const {
    if (static_cast<int64_t>(a) == facts_.configAt) return config_;
    return a < cells_.size() ? cells_[a] : 0xFF;
}

void Hc11BootChip::SetCell(uint32_t a, uint16_t v) {
    if (static_cast<int64_t>(a) == facts_.configAt)
        config_ = static_cast<uint8_t>(v);
    else if (a < cells_.size())
        cells_[a] = static_cast<uint8_t>(v);
}

uint8_t Hc11BootChip::ReadCell(uint32_t a) const {
    if (static_cast<int64_t>(a) == facts_.configAt) return static_cast<uint8_t>(config_ & facts_.configMask);
    return static_cast<uint8_t>(Cell(a));
}

ChipPinLimits Hc11BootChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    if (facts_.vppPin != 0) l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    for (int p : facts_.highVoltagePins) l.Allow(Pin(p), facts_.vppLimitTenths);
    return l;
}

bool Hc11BootChip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    for (int g : facts_.gndPins)
        if (!env.HeldLow(Pin(g))) return false;
    return true;
}

bool Hc11BootChip::VppOn(const PinEnvironment& env) const {
    return facts_.vppPin != 0 && env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
}

bool Hc11BootChip::InEprom(uint32_t a) const {
    for (const auto& r : facts_.eprom)
        if (a >= r.first && a <= r.last) return true;
    return false;
}

bool Hc11BootChip::InEeprom(uint32_t a) const {
    for (const auto& r : facts_.eeprom)
        if (a >= r.first && a <= r.last) return true;
    return false;
}

// BPROT: PTCON (bit 4) guards CONFIG; BPRT0-3 the EEPROM's blocks of 32,
// 64, 128 bytes and the rest, counted from its first byte.
bool Hc11BootChip::Protected(uint32_t a) const {
    const uint8_t bprot = regs_[kBprot];
    if (a == kConfigAddress) return (bprot & 0x10) != 0;
    for (const auto& r : facts_.eeprom) {
        if (a < r.first || a > r.last) continue;
        const uint32_t off = a - r.first;
        const int block = off < 0x20 ? 0 : off < 0x60 ? 1 : off < 0xE0 ? 2 : 3;
        return (bprot >> block & 1) != 0;
    }
    return false;
}

uint64_t Hc11BootChip::CoreUs() const { return startUs_ + cpu_.Cycles() * 1000 / facts_.eKhz; }

void Hc11BootChip::Lose(const std::string& what) {
    if (env_ != nullptr) env_->Violation(facts_.name + ": " + what);
}

// ---- the bootstrap ROM ----

void Hc11BootChip::SuppliesChanged(const PinEnvironment& env) {
    CatchUp(env);
    if (state_ != State::Off && !Powered(env)) {
        if (pgm_) Lose("cell " + Hex(latchAt_) + " lost: supply gone while programming");
        pgm_ = latched_ = false;
        state_ = State::Off;
        // Without supply the RAM forgets what it held.
        ram_.assign(facts_.ramBytes, 0);
    }
    if (state_ == State::Off && Powered(env)) state_ = resetHeld_ ? State::Reset : State::Silent;
}

void Hc11BootChip::HoldReset(const PinEnvironment& env, bool modePins) {
    CatchUp(env);
    if (pgm_) Lose("reset while cell " + Hex(latchAt_) + " is programmed");
    pgm_ = latched_ = false;
    state_ = Powered(env) ? State::Reset : State::Off;
    resetHeld_ = true;
    modeHeld_ = modePins;
}

// Out of reset in bootstrap mode the registers take their reset values and
// the ROM waits for the baud-rate character.
void Hc11BootChip::ReleaseReset(const PinEnvironment& env) {
    resetHeld_ = false;
    if (state_ != State::Reset) return;
    state_ = Powered(env) && modeHeld_ ? State::Loading : State::Silent;
    std::fill(std::begin(regs_), std::end(regs_), uint8_t{0});
    regs_[kBprot] = 0x1F;
    synced_ = false;
    downloaded_ = echoed_ = 0;
    rxDoneUs_ = env.NowUs();
}

void Hc11BootChip::DownloadByte(const PinEnvironment& env, uint8_t b) {
    CatchUp(env);
    if (state_ != State::Loading) return;
    const uint64_t now = env.NowUs();
    if (now < rxDoneUs_) {
        env.Violation(facts_.name + ": download character " + std::to_string(downloaded_) +
                      " overruns the one still arriving");
        state_ = State::Silent;
        return;
    }
    rxDoneUs_ = now + facts_.charUs;
    if (!synced_) {
        synced_ = b == 0xFF;
        if (!synced_) state_ = State::Silent;
        return;
    }
    ram_[downloaded_++] = b;
    ++echoed_;
    if (downloaded_ == facts_.ramBytes) Start(rxDoneUs_);
}

void Hc11BootChip::Start(uint64_t atUs) {
    state_ = State::Running;
    ++starts_;
    startUs_ = atUs;
    caughtUpUs_ = 0;
    cpu_.Reset(0x0000);
}

// The core runs to the present: a poll of an input that has not changed
// and a DEX/BNE delay count are skipped ahead whole, with their cycles.
void Hc11BootChip::CatchUp(const PinEnvironment& env) {
    env_ = &env;
    const uint64_t now = env.NowUs();
    if (state_ == State::Loading && downloaded_ > 0 && now >= rxDoneUs_ + 4 * facts_.charUs)
        Start(rxDoneUs_ + 4 * facts_.charUs);
    if (state_ != State::Running || now <= startUs_ || now == caughtUpUs_) return;
    caughtUpUs_ = now;
    const uint64_t target = (now - startUs_) * facts_.eKhz / 1000;
    instructions_ += cpu_.RunTo(target, ram_, writes_);
}

// ---- the bus the core sees ----

uint8_t Hc11BootChip::Read(uint16_t a) {
    if (a < ram_.size()) return ram_[a];
    if (a >= kRegs && a < kRegs + 0x40) {
        const uint8_t r = static_cast<uint8_t>(a - kRegs);
        switch (r) {
        case kPorta: {
            // PA0 the strobe; PA7 the pin (pulled up) unless driven.
            const bool pa7 = (regs_[kPactl] & 0x80) != 0 ? (regs_[kPorta] & 0x80) != 0 : true;
            return static_cast<uint8_t>((regs_[kPorta] & 0x78) | (pa7 ? 0x80 : 0) | (strobeHigh_ ? 1 : 0));
        }
        case kPortc:
            return static_cast<uint8_t>((regs_[kPortc] & regs_[kDdrc]) | (portC_ & ~regs_[kDdrc]));
        case kTcntHi:
        case kTcntLo: {
            ++writes_; // a read of the clock: no loop over it repeats alike
            const auto t = static_cast<uint16_t>(cpu_.Cycles());
            return static_cast<uint8_t>(r == kTcntHi ? t >> 8 : t);
        }
        case kConfig:
            return static_cast<uint8_t>(config_ & facts_.configMask);
        default:
            return regs_[r];
        }
    }
    if (InEprom(a) || InEeprom(a)) return cells_[a];
    return 0xFF;
}

void Hc11BootChip::Write(uint16_t a, uint8_t v) {
    ++writes_;
    if (a < ram_.size()) {
        ram_[a] = v;
        return;
    }
    const uint8_t pprog = regs_[kPprog];
    auto latch = [&](uint32_t at) {
        latched_ = true;
        latchAt_ = at;
        latchValue_ = v;
    };
    if (a >= kRegs && a < kRegs + 0x40) {
        const uint8_t r = static_cast<uint8_t>(a - kRegs);
        if (r == kPprog) {
            WritePprog(v);
        } else if (r == kConfig) {
            if ((pprog & kEelat) != 0) latch(kConfigAddress);
        } else if (r == kBprot) {
            regs_[r] = v & 0x1F;
        } else if (r != kTcntHi && r != kTcntLo) {
            regs_[r] = v;
        }
        return;
    }
    if (InEprom(a) && (pprog & kElat) != 0) latch(a);
    if (InEeprom(a) && (pprog & kEelat) != 0) latch(a);
}

// EPGM sets only over a latch set before and a latched byte; clearing it
// ends the programming.
void Hc11BootChip::WritePprog(uint8_t v) {
    const uint8_t old = regs_[kPprog];
    if ((v & kEpgm) != 0 && (old & kEpgm) == 0) {
        if ((old & (kElat | kEelat)) == 0 || !latched_) {
            v = static_cast<uint8_t>(v & ~kEpgm);
        } else {
            pgm_ = true;
            pgmFrom_ = CoreUs();
            vppLost_ = false;
            if ((old & kElat) != 0 && (env_ == nullptr || !VppOn(*env_))) {
                vppLost_ = true;
                Lose("EPROM byte at " + Hex(latchAt_) + " without the programming voltage on pin " +
                     std::to_string(facts_.vppPin));
            }
        }
    }
    if ((v & kEpgm) == 0 && (old & kEpgm) != 0 && pgm_) {
        regs_[kPprog] = old;
        FinishProgramming();
    }
    if ((v & (kElat | kEelat)) == 0) latched_ = false;
    regs_[kPprog] = v;
}

void Hc11BootChip::FinishProgramming() {
    pgm_ = false;
    const uint8_t pprog = regs_[kPprog];
    const uint64_t took = CoreUs() - pgmFrom_;
    const uint32_t a = latchAt_;
    if ((pprog & kElat) != 0) {
        if (vppLost_) return;
        if (took < facts_.epromUs) {
            Lose("EPROM byte at " + Hex(a) + " programmed for " + std::to_string(took) + " us, it needs " +
                 std::to_string(facts_.epromUs));
            return;
        }
        if (static_cast<int64_t>(a) != stuck_) cells_[a] &= latchValue_;
        taken_.push_back(a);
        return;
    }
    if (took < facts_.eeUs) {
        Lose(std::string("EEPROM ") + ((pprog & kErase) != 0 ? "erase" : "byte") + " at " + Hex(a) + " for " +
             std::to_string(took) + " us, it needs " + std::to_string(facts_.eeUs));
        return;
    }
    auto cell = [this](uint32_t at) -> uint8_t& { return at == kConfigAddress ? config_ : cells_[at]; };
    if ((pprog & kErase) == 0) {
        if (!Protected(a) && static_cast<int64_t>(a) != stuck_) cell(a) &= latchValue_;
        taken_.push_back(a == kConfigAddress ? static_cast<uint32_t>(facts_.configAt) : a);
        return;
    }
    if ((pprog & kByte) != 0) {
        if (!Protected(a)) cell(a) = 0xFF;
        return;
    }
    if ((pprog & kRow) != 0) {
        for (uint32_t at = a & ~0xFu; at <= (a | 0xFu); ++at)
            if (InEeprom(at) && !Protected(at)) cells_[at] = 0xFF;
        return;
    }
    for (const auto& r : facts_.eeprom)
        for (uint32_t at = r.first; at <= r.last; ++at)
            if (!Protected(at)) cells_[at] = 0xFF;
    if (a == kConfigAddress && !Protected(a)) config_ = 0xFF;
}

// ---- what the logic image sees ----

void Hc11BootChip::SetPortC(const PinEnvironment& env, uint8_t v) {
    CatchUp(env);
    portC_ = v;
}

void Hc11BootChip::SetStrobe(const PinEnvironment& env, bool high) {
    CatchUp(env);
    strobeHigh_ = high;
}

uint8_t Hc11BootChip::PortB(const PinEnvironment& env) {
    CatchUp(env);
    return state_ == State::Off ? uint8_t{0xFF} : regs_[kPortb];
}

bool Hc11BootChip::Ready(const PinEnvironment& env) {
    CatchUp(env);
    return state_ == State::Running && (regs_[kPactl] & 0x80) != 0 && (regs_[kPorta] & 0x80) == 0;
}

uint32_t Hc11BootChip::ParallelCell(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (size_t i = 0; i < facts_.parallelAddress.size(); ++i)
        a |= static_cast<uint32_t>(env.InputLevel(Pin(facts_.parallelAddress[i])) == 1) << i;
    return facts_.parallelBase + a;
}

// The programming voltage leaving XIRQ/VPPE while EPGM burns an EPROM byte
// loses it. The parallel mode: a program pulse burns at its rising edge when
// it was long enough with the programming voltage held throughout.
void Hc11BootChip::Update(const PinEnvironment& env) {
    SuppliesChanged(env);
    if (pgm_ && (regs_[kPprog] & kElat) != 0 && !vppLost_ && !VppOn(env)) {
        vppLost_ = true;
        Lose("programming voltage gone while EPROM byte " + Hex(latchAt_) + " burns");
    }
    if (!Parallel() || facts_.parallelProgramPin == 0) {
        pulseLow_ = false;
        return;
    }
    const int prog = Pin(facts_.parallelProgramPin);
    const bool low = env.HeldLow(prog);
    const bool vpp = env.VoltageTenths(Pin(facts_.parallelVppPin)) >= facts_.vppMinTenths;
    if (low && !pulseLow_) {
        pulseLow_ = true;
        pulseFrom_ = env.NowUs();
        pulseAt_ = ParallelCell(env);
        uint8_t v = 0;
        for (size_t i = 0; i < facts_.parallelData.size(); ++i)
            v |= static_cast<uint8_t>((env.InputLevel(Pin(facts_.parallelData[i])) == 1) << i);
        pulseValue_ = v;
        if (!vpp)
            env.Violation(facts_.name + ": EPROM program pulse at " + Hex(pulseAt_) +
                          " without the programming voltage on pin " + std::to_string(facts_.parallelVppPin));
        return;
    }
    if (low && !vpp && pulseLow_) {
        env.Violation(facts_.name + ": programming voltage gone during the pulse at " + Hex(pulseAt_));
        pulseLow_ = false;
        return;
    }
    if (!low && pulseLow_) {
        pulseLow_ = false;
        const uint64_t width = env.NowUs() - pulseFrom_;
        if (!vpp) return;
        if (width < facts_.parallelBurnUs) {
            env.Violation(facts_.name + ": EPROM program pulse at " + Hex(pulseAt_) + " of " +
                          std::to_string(width) + " us, the cell needs " + std::to_string(facts_.parallelBurnUs));
            return;
        }
        if (static_cast<int64_t>(pulseAt_) == stuck_ || pulseAt_ >= cells_.size()) return;
        cells_[pulseAt_] &= pulseValue_;
        taken_.push_back(pulseAt_);
    }
}

ChipDrive Hc11BootChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!Parallel() || !Powered(env)) return ChipDrive::None;
    size_t bit = facts_.parallelData.size();
    for (size_t i = 0; i < facts_.parallelData.size(); ++i)
        if (Pin(facts_.parallelData[i]) == socketPin) bit = i;
    if (bit == facts_.parallelData.size()) return ChipDrive::None;
    uint8_t v;
    if (env.InputLevel(Pin(facts_.parallelReadPin)) == 0)
        v = ReadCell(ParallelCell(env));
    else if (facts_.parallelTestPin != 0 && env.InputLevel(Pin(facts_.parallelTestPin)) == 0)
        v = static_cast<uint8_t>(~ReadCell(ParallelCell(env)));
    else
        return ChipDrive::None;
    return (v >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
