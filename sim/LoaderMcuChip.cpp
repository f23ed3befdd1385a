#include "sim/LoaderMcuChip.h"

#include <algorithm>
#include <string>

#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"

namespace sim {

namespace {

// The ports (see LoaderMcuChip.h).
constexpr uint16_t kPorta = 0x0100, kPortb = 0x0101, kPortc = 0x0102, kPortd = 0x0103, kBusy = 0x0104,
                   kEprog = 0x0105;
constexpr uint8_t kPgm = 0x01, kLat = 0x02;

} // namespace

LoaderMcuChip::LoaderMcuChip(const LoaderMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.resize(facts_.words);
    for (uint32_t a = 0; a < facts_.words; ++a)
        cells_[a] = BlankOf(a);
    ram_.assign(facts_.ramBytes, 0);
}

ChipPinLimits LoaderMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.modePin), facts_.modeLimitTenths);
    return l;
}

uint8_t LoaderMcuChip::BlankOf(uint32_t a) const {
    for (const auto& w : facts_.windows)
        if (a >= w.first && a <= w.last) return w.blank;
    return 0xFF;
}

bool LoaderMcuChip::InWindow(uint32_t a) const {
    for (const auto& w : facts_.windows)
        if (a >= w.first && a <= w.last && a < facts_.words) return true;
    return false;
}

bool LoaderMcuChip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    for (int p : facts_.extraVccPins)
        if (!facts_.vcc.Holds(env.VoltageTenths(Pin(p)))) return false;
    for (int g : facts_.gndPins)
        if (!env.HeldLow(Pin(g))) return false;
    return true;
}

bool LoaderMcuChip::ModeVoltage(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(facts_.modePin)) >= facts_.modeMinTenths;
}

void LoaderMcuChip::Lose(const std::string& what) {
    if (env_ != nullptr) env_->Violation(facts_.name + ": " + what);
}

// The core runs to the present; a poll of an unchanged input and a DEX/BNE
// delay count are skipped ahead whole.
void LoaderMcuChip::CatchUp(const PinEnvironment& env) {
    env_ = &env;
    const uint64_t now = env.NowUs();
    if (!running_ || now <= startUs_) return;
    const uint64_t target = (now - startUs_) * facts_.eKhz / 1000;
    cpu_.RunTo(target, ram_, writes_);
}

uint8_t LoaderMcuChip::Read(uint16_t a) {
    if (a < ram_.size()) return ram_[a];
    switch (a) {
    case kPorta: return static_cast<uint8_t>((strobeHigh_ ? 1 : 0) | (programmerDrives_ ? 2 : 0));
    case kPortb: return portB_;
    case kPortc: return address_;
    case kPortd: return data_;
    case kBusy: return busy_;
    case kEprog: return eprog_;
    default: return a < facts_.words && InWindow(a) ? cells_[a] : 0xFF;
    }
}

// LAT, a write to a cell, PGM for burnUs with the high voltage held, PGM
// cleared: the cell's bits move from its blank value.
void LoaderMcuChip::Write(uint16_t a, uint8_t v) {
    ++writes_;
    if (a < ram_.size()) {
        ram_[a] = v;
        return;
    }
    switch (a) {
    case kPortb: portB_ = v; return;
    case kBusy: busy_ = v & 1; return;
    case kEprog: {
        if ((v & kPgm) != 0 && (eprog_ & kPgm) == 0) {
            if ((eprog_ & kLat) == 0 || !latched_) {
                v = static_cast<uint8_t>(v & ~kPgm);
            } else {
                pgm_ = true;
                pgmFrom_ = CoreUs();
                vppLost_ = env_ == nullptr || !ModeVoltage(*env_);
                if (vppLost_) Lose("byte at " + std::to_string(latchAt_) + " without the programming voltage");
            }
        }
        if ((v & kPgm) == 0 && pgm_) {
            pgm_ = false;
            const uint64_t took = CoreUs() - pgmFrom_;
            if (!vppLost_ && took < facts_.burnUs)
                Lose("byte at " + std::to_string(latchAt_) + " burnt for " + std::to_string(took) +
                     " us, it needs " + std::to_string(facts_.burnUs));
            if (!vppLost_ && took >= facts_.burnUs && static_cast<int64_t>(latchAt_) != stuck_) {
                if (BlankOf(latchAt_) == 0)
                    cells_[latchAt_] |= latchValue_;
                else
                    cells_[latchAt_] &= latchValue_;
                burnt_.push_back(latchAt_);
            }
        }
        if ((v & kLat) == 0) latched_ = false;
        eprog_ = v;
        return;
    }
    default:
        if ((eprog_ & kLat) != 0 && a < facts_.words && InWindow(a)) {
            latched_ = true;
            latchAt_ = a;
            latchValue_ = v;
        }
        return;
    }
}

void LoaderMcuChip::Update(const PinEnvironment& env) {
    CatchUp(env);
    if (pgm_ && !vppLost_ && (!Powered(env) || !ModeVoltage(env))) {
        vppLost_ = true;
        Lose("byte at " + std::to_string(latchAt_) + " cut short: supply or programming voltage gone");
    }
    if (!Powered(env)) {
        // Without supply the RAM and the running program are gone.
        bootstrap_ = running_ = false;
        ram_.assign(facts_.ramBytes, 0);
        pgm_ = latched_ = false;
    }
}

void LoaderMcuChip::Reset(const PinEnvironment& env, bool held) {
    CatchUp(env);
    if (held) {
        if (pgm_) Lose("reset while byte " + std::to_string(latchAt_) + " burns");
        pgm_ = latched_ = false;
        inReset_ = true;
        bootstrap_ = running_ = false;
        return;
    }
    if (!inReset_) return;
    inReset_ = false;
    // The mode is sampled as reset is released; the ports take their reset
    // values.
    bootstrap_ = Powered(env) && ModeVoltage(env);
    downloaded_ = 0;
    lastByteAt_ = 0;
    busy_ = 1;
    portB_ = 0;
    eprog_ = 0;
}

void LoaderMcuChip::Download(const PinEnvironment& env, uint8_t byte) {
    CatchUp(env);
    if (!bootstrap_ || running_) return; // nobody listens
    const uint64_t now = env.NowUs();
    if (downloaded_ > 0 && now - lastByteAt_ < facts_.byteUs) {
        env.Violation(facts_.name + ": download byte " + std::to_string(downloaded_) + " after " +
                      std::to_string(now - lastByteAt_) + " us, the bootstrap needs " +
                      std::to_string(facts_.byteUs));
        return;
    }
    lastByteAt_ = now;
    if (downloaded_ >= facts_.ramBytes) {
        env.Violation(facts_.name + ": download past the " + std::to_string(facts_.ramBytes) + " bytes of RAM");
        return;
    }
    ram_[downloaded_++] = byte;
    if (downloaded_ != facts_.loaderBytes) return;
    running_ = true;
    startUs_ = now + facts_.byteUs;
    cpu_.Reset(0x0000);
}

bool LoaderMcuChip::Busy(const PinEnvironment& env) {
    CatchUp(env);
    return !running_ || neverReady_ || (busy_ & 1) != 0;
}

uint8_t LoaderMcuChip::Port(const PinEnvironment& env) {
    CatchUp(env);
    return running_ ? portB_ : static_cast<uint8_t>(0xFF);
}

void LoaderMcuChip::Strobe(const PinEnvironment& env, uint8_t address, uint8_t data, bool programmerDrives) {
    CatchUp(env);
    if (running_ && Busy(env)) env.Violation(facts_.name + ": strobe while the loaded program is busy");
    address_ = address;
    data_ = data;
    programmerDrives_ = programmerDrives;
    strobeHigh_ = false;
}

void LoaderMcuChip::StrobeReleased(const PinEnvironment& env, uint64_t) {
    CatchUp(env);
    strobeHigh_ = true;
}

namespace {

// No datasheet of a part served this way was found: a part seated pin for
// pin in the 48-pin socket, whose supply, bootstrap high voltage and grounds
// sit where the row switches them; 8 KB of address space with the option byte at 0FFFh (blank 0), the
// EPROM at 1000h-1EFFh and the vectors at 1FF4h-1FFFh (blank 0FFh); the
// 128-byte loader runs from RAM.
LoaderMcuFacts LoaderPart(const char* name, int vdd, int mode, std::vector<int> extraVdd,
                          std::vector<int> gnd) {
    LoaderMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 48;
    f.words = 0x2000;
    f.blank = 0xFF;
    f.vcc = {45, 55};
    f.vccPin = vdd;
    f.extraVccPins = std::move(extraVdd);
    f.gndPins = std::move(gnd);
    f.modePin = mode;
    f.windows = {{0xFFF, 0xFFF, 0x00}, {0x1000, 0x1EFF, 0xFF}, {0x1FF4, 0x1FFF, 0xFF}};
    f.note = "no datasheet found: pin-out, memory map and loader follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddLoaderMcuParts(std::vector<CatalogPart>& parts) {
    // Variant 0: supply on pin 8, high voltage on 11, grounds 4 and 5;
    // variant 1: supply on 18 and 41, high voltage on 21, grounds 14, 15, 40.
    const LoaderMcuFacts all[] = {
        LoaderPart("HC05-LOADER-V0", 8, 11, {}, {4, 5}),
        LoaderPart("HC05-LOADER-V1", 18, 21, {41}, {14, 15, 40}),
    };
    for (const LoaderMcuFacts& f : all)
        parts.push_back(ChipPart<LoaderMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddLoaderMcuParts);

} // namespace sim
