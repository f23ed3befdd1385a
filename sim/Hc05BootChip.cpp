#include "sim/Hc05BootChip.h"

#include <cstdio>

#include "sim/Catalog.h"

namespace sim {

namespace {

std::string Hex(uint32_t v) {
    char b[12];
    std::snprintf(b, sizeof b, "%04Xh", v);
    return b;
}

std::string Hex8(uint8_t v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02Xh", v);
    return b;
}

constexpr uint8_t kElat = 0x04, kEpgm = 0x01;
constexpr uint8_t kE1era = 0x04, kE1lat = 0x02, kE1pgm = 0x01;

} // namespace

Hc05BootChip::Hc05BootChip(const Hc05BootFacts& facts) : facts_(facts), cpu_(*this, 16) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
    for (const auto& r : facts_.eeprom)
        for (uint32_t a = r.first; a <= r.last && a < cells_.size(); ++a) cells_[a] = 0xFF;
}

ChipPinLimits Hc05BootChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    if (facts_.modePin != 0) l.Allow(Pin(facts_.modePin), facts_.modeLimitTenths);
    if (facts_.vppPin != 0) l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    for (int p : facts_.highVoltagePins) l.Allow(Pin(p), facts_.vppLimitTenths);
    return l;
}

bool Hc05BootChip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    for (int g : facts_.gndPins)
        if (!env.HeldLow(Pin(g))) return false;
    return true;
}

bool Hc05BootChip::InEprom(uint32_t a) const {
    if (a >= cells_.size()) return false;
    if (a == facts_.securityAt) return true;
    for (const auto& r : facts_.eprom)
        if (a >= r.first && a <= r.last) return true;
    return false;
}

bool Hc05BootChip::InEeprom(uint32_t a) const {
    if (a >= cells_.size()) return false;
    for (const auto& r : facts_.eeprom)
        if (a >= r.first && a <= r.last) return true;
    return false;
}

bool Hc05BootChip::Secured() const {
    if (!facts_.hasSecurity || facts_.securityAt >= cells_.size()) return false;
    return ((cells_[facts_.securityAt] ^ facts_.blank) & facts_.securityBit) != 0;
}

void Hc05BootChip::Violation(const std::string& what) const {
    if (env_ != nullptr) env_->Violation(facts_.name + ": " + what);
}

void Hc05BootChip::Sync(const PinEnvironment& env) {
    if (state_ != State::Running) return;
    const uint64_t now = env.NowUs();
    if (now <= startUs_) return;
    env_ = &env;
    cpu_.RunUntil((now - startUs_) * facts_.busKHz / 1000, !inputsMoved_);
    inputsMoved_ = false;
    if (cpu_.illegal && !illegalSeen_) {
        illegalSeen_ = true;
        Violation("the program ran into an opcode the 68HC05 does not have at " + Hex(cpu_.pc));
    }
    env_ = nullptr;
}

// The program runs to now on the pins as they were; then losing the supply
// ends it (RAM gone) and losing the programming voltage spoils an EPROM burn.
void Hc05BootChip::Sample(const PinEnvironment& env) {
    Sync(env);
    env_ = &env;
    vpp_ = facts_.vppPin != 0 && env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
    if ((state_ == State::Running || state_ == State::Loading || state_ == State::Silent) && !Powered(env)) {
        if (work_ != kIdle) LoseWork("supply gone");
        state_ = State::Off;
    }
    if (work_ == kEpromBurn && !vpp_) LoseWork("programming voltage gone");
    env_ = nullptr;
}

void Hc05BootChip::HoldReset(const PinEnvironment& env, bool modePins) {
    Sync(env);
    env_ = &env;
    if (work_ != kIdle) LoseWork("reset");
    env_ = nullptr;
    state_ = State::Reset;
    modeHeld_ = modePins;
    // Reset makes every port pin an input.
    ddrA_ = ddrB_ = ddrC_ = 0;
    contended_ = false;
}

void Hc05BootChip::ReleaseReset(const PinEnvironment& env) {
    if (state_ != State::Reset) return;
    const bool boot = Powered(env) && modeHeld_ &&
                      (facts_.modePin == 0 || env.VoltageTenths(Pin(facts_.modePin)) >= facts_.modeMinTenths);
    state_ = boot && !Secured() ? State::Loading : State::Silent;
    downloaded_ = 0;
    lastByteUs_ = 0;
}

void Hc05BootChip::DownloadByte(const PinEnvironment& env, uint8_t b) {
    if (state_ != State::Loading) return;
    if (downloaded_ > 0 && env.NowUs() - lastByteUs_ < facts_.byteUs) {
        env.Violation(facts_.name + ": download byte " + std::to_string(downloaded_) + " after " +
                      std::to_string(env.NowUs() - lastByteUs_) + " us, the loader needs " +
                      std::to_string(facts_.byteUs));
        state_ = State::Silent;
        return;
    }
    ram_[RamStart() + downloaded_] = b;
    ++downloaded_;
    lastByteUs_ = env.NowUs();
    if (downloaded_ < facts_.ramBytes) return;
    // RAM full: the ROM jumps to its first byte with the ports at reset.
    portA_ = 0xFF;
    portB_ = portC_ = ddrA_ = ddrB_ = ddrC_ = prog_ = eepcr_ = portAOut_ = 0;
    strobeLow_ = latched_ = illegalSeen_ = floatSeen_ = contended_ = false;
    strobeDrivenA_ = 0xFF;
    work_ = kIdle;
    cpu_.Reset();
    cpu_.pc = RamStart();
    cpu_.cycles = 0;
    startUs_ = env.NowUs();
    inputsMoved_ = true;
    vpp_ = facts_.vppPin != 0 && env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
    state_ = State::Running;
    ++starts_;
}

void Hc05BootChip::Strobe(const PinEnvironment& env, uint8_t port, uint8_t driven) {
    Sync(env);
    strobeLow_ = true;
    portA_ = port;
    strobeDrivenA_ = driven;
    floatSeen_ = false;
    inputsMoved_ = true;
    LogicDrivesPort(env, driven);
}

void Hc05BootChip::LogicDrivesPort(const PinEnvironment& env, uint8_t driven) {
    Sync(env);
    logicDrivesA_ = driven;
    env_ = &env;
    CheckContention();
    env_ = nullptr;
}

void Hc05BootChip::CheckContention() {
    const uint8_t both = state_ == State::Running ? static_cast<uint8_t>(ddrA_ & logicDrivesA_) : 0;
    if (both != 0 && !contended_)
        Violation("contention on PA: pins " + Hex8(both) + " are outputs of the program while the logic drives the data port");
    contended_ = both != 0;
}

void Hc05BootChip::StrobeReleased(const PinEnvironment& env) {
    Sync(env);
    strobeLow_ = false;
    inputsMoved_ = true;
}

uint8_t Hc05BootChip::DataOut(const PinEnvironment& env) {
    Sync(env);
    if (state_ != State::Running) return 0xFF;
    return static_cast<uint8_t>((portB_ & ddrB_) | ~ddrB_);
}

bool Hc05BootChip::Ready(const PinEnvironment& env) {
    Sync(env);
    return state_ == State::Running && !neverReady_ && (ddrC_ & portC_ & 0x02) != 0;
}

// ---- the CPU's bus ----

uint8_t Hc05BootChip::Read(uint16_t a) {
    if (a >= RamStart() && a <= 0xFF) return ram_[a];
    switch (a) {
    case 0x00: {
        const uint8_t floating = static_cast<uint8_t>(~ddrA_ & ~strobeDrivenA_);
        if (floating != 0 && !floatSeen_) {
            floatSeen_ = true;
            Violation("PA read while the logic does not drive the data port: pins " + Hex8(floating) + " rest at the pull level");
        }
        return static_cast<uint8_t>((portAOut_ & ddrA_) | (portA_ & ~ddrA_));
    }
    case 0x01: return portB_;
    case 0x02: return static_cast<uint8_t>((portC_ & 0xFE) | (strobeLow_ ? 0 : 1));
    case 0x04: return ddrA_;
    case 0x05: return ddrB_;
    case 0x06: return ddrC_;
    case 0x07: return facts_.eeprom.empty() ? 0 : eepcr_;
    case 0x1C: return prog_;
    default: break;
    }
    if (a < 0x20) return 0;
    return a < cells_.size() ? cells_[a] : 0;
}

void Hc05BootChip::Write(uint16_t a, uint8_t v) {
    if (a >= RamStart() && a <= 0xFF) {
        ram_[a] = v;
        return;
    }
    switch (a) {
    case 0x00: portAOut_ = v; return;
    case 0x01: portB_ = v; return;
    case 0x02: portC_ = v; return;
    case 0x04:
        ddrA_ = v;
        CheckContention();
        return;
    case 0x05: ddrB_ = v; return;
    case 0x06: ddrC_ = v; return;
    case 0x07:
        if (!facts_.eeprom.empty()) WriteEepcr(v);
        return;
    case 0x1C: WriteProg(v); return;
    default: break;
    }
    // A write to the memory latches a cell while its latch bit is set and
    // no programming runs; otherwise it goes nowhere.
    const bool eprom = InEprom(a) && (prog_ & (kElat | kEpgm)) == kElat;
    const bool eeprom = InEeprom(a) && (eepcr_ & (kE1lat | kE1pgm)) == kE1lat;
    if (eprom || eeprom) {
        latched_ = true;
        latchAt_ = a;
        latchValue_ = v;
    }
}

void Hc05BootChip::WriteProg(uint8_t v) {
    if ((v & kElat) == 0) v = static_cast<uint8_t>(v & ~kEpgm); // EPGM needs ELAT
    const uint8_t before = prog_;
    prog_ = static_cast<uint8_t>(v & (kElat | kEpgm));
    if ((before & kEpgm) == 0 && (prog_ & kEpgm) != 0 && latched_ && InEprom(latchAt_)) {
        if (!vpp_)
            Violation("EPGM set for " + Hex(latchAt_) + " without the programming voltage on pin " +
                      std::to_string(facts_.vppPin));
        else
            StartWork(kEpromBurn);
    }
    if ((before & kEpgm) != 0 && (prog_ & kEpgm) == 0 && work_ == kEpromBurn) EndWork();
    if ((prog_ & kElat) == 0 && work_ == kIdle) latched_ = false;
}

void Hc05BootChip::WriteEepcr(uint8_t v) {
    if ((v & kE1lat) == 0) v = static_cast<uint8_t>(v & ~kE1pgm);
    const uint8_t before = eepcr_;
    eepcr_ = static_cast<uint8_t>(v & (kE1era | kE1lat | kE1pgm));
    if ((before & kE1pgm) == 0 && (eepcr_ & kE1pgm) != 0 && latched_ && InEeprom(latchAt_))
        StartWork((eepcr_ & kE1era) != 0 ? kEeErase : kEeWrite);
    if ((before & kE1pgm) != 0 && (eepcr_ & kE1pgm) == 0 && (work_ == kEeWrite || work_ == kEeErase)) EndWork();
    if ((eepcr_ & kE1lat) == 0 && work_ == kIdle) latched_ = false;
}

void Hc05BootChip::StartWork(Work w) {
    work_ = w;
    workFrom_ = CpuNowUs();
}

void Hc05BootChip::EndWork() {
    const Work w = work_;
    work_ = kIdle;
    const uint64_t took = CpuNowUs() - workFrom_;
    const uint32_t need = w == kEpromBurn ? facts_.burnUs : w == kEeWrite ? facts_.eeWriteUs : facts_.eeEraseUs;
    if (took < need) {
        Violation(std::string(w == kEeErase ? "erase" : "programming") + " of " + Hex(latchAt_) + " stopped after " +
                  std::to_string(took) + " us of " + std::to_string(need) + "; the cell is left as it was");
        return;
    }
    if (static_cast<int64_t>(latchAt_) == stuck_) return;
    uint8_t& c = cells_[latchAt_];
    if (w == kEpromBurn)
        c = facts_.blank == 0 ? static_cast<uint8_t>(c | latchValue_) : static_cast<uint8_t>(c & latchValue_);
    else if (w == kEeWrite)
        c &= latchValue_;
    else
        c = 0xFF;
    if (w != kEeErase) taken_.push_back(latchAt_);
    ++burns_;
}

void Hc05BootChip::LoseWork(const char* why) {
    Violation("cell " + Hex(latchAt_) + " lost: " + why + " while it " + (work_ == kEeErase ? "erased" : "burned"));
    work_ = kIdle;
}

} // namespace sim
