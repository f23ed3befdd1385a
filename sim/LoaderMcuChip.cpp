#include "sim/LoaderMcuChip.h"

#include <charconv>
#include <string>

#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"

namespace sim {

std::optional<LoaderTag> ParseLoaderTag(const std::vector<uint8_t>& bytes) {
    // Four blank-ended words: the mark, the family, the role, the count.
    std::string words[4];
    size_t pos = 0;
    for (std::string& w : words) {
        while (pos < bytes.size() && bytes[pos] != ' ' && w.size() < 16)
            w.push_back(static_cast<char>(bytes[pos++]));
        if (pos >= bytes.size() || bytes[pos] != ' ' || w.empty()) return std::nullopt;
        ++pos;
    }
    if (words[0] != "VXBOOT") return std::nullopt;
    LoaderTag tag;
    tag.family = words[1];
    tag.role = words[2];
    const auto [end, ec] = std::from_chars(words[3].data(), words[3].data() + words[3].size(), tag.count);
    if (ec != std::errc() || end != words[3].data() + words[3].size()) return std::nullopt;
    return tag;
}

LoaderMcuChip::LoaderMcuChip(const LoaderMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.resize(facts_.words);
    for (uint32_t a = 0; a < facts_.words; ++a)
        cells_[a] = BlankOf(a);
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

// A burn under way takes once it has held burnUs with the part powered and
// the high voltage on; `interrupted` before then loses it.
void LoaderMcuChip::Settle(const PinEnvironment& env, bool interrupted) {
    if (!pending_) return;
    if (env.NowUs() - pendingFrom_ >= facts_.burnUs) {
        if (static_cast<int64_t>(pendingAt_) != stuck_) {
            // An EPROM cell only moves from its blank state.
            if (BlankOf(pendingAt_) == 0)
                cells_[pendingAt_] |= pendingValue_;
            else
                cells_[pendingAt_] &= pendingValue_;
            burnt_.push_back(pendingAt_);
        }
        pending_ = false;
    } else if (interrupted) {
        pending_ = false;
        env.Violation(facts_.name + ": byte at " + std::to_string(pendingAt_) + " cut short after " +
                      std::to_string(env.NowUs() - pendingFrom_) + " us, it needs " +
                      std::to_string(facts_.burnUs));
    }
}

void LoaderMcuChip::Update(const PinEnvironment& env) {
    const bool up = Powered(env);
    if (pending_ && (!up || !ModeVoltage(env))) Settle(env, true);
    if (!up) {
        // Without supply the RAM and the running program are gone.
        bootstrap_ = running_ = false;
        ram_.clear();
        role_.clear();
    }
}

void LoaderMcuChip::Reset(const PinEnvironment& env, bool held) {
    if (held) {
        Settle(env, true);
        inReset_ = true;
        bootstrap_ = running_ = false;
        ram_.clear();
        role_.clear();
        return;
    }
    if (!inReset_) return;
    inReset_ = false;
    // The mode is sampled as reset is released.
    bootstrap_ = Powered(env) && ModeVoltage(env);
    phase_ = 0;
    lastByteAt_ = 0;
}

void LoaderMcuChip::Download(const PinEnvironment& env, uint8_t byte) {
    if (!bootstrap_ || running_) return; // nobody listens
    const uint64_t now = env.NowUs();
    if (!ram_.empty() && now - lastByteAt_ < facts_.byteUs) {
        env.Violation(facts_.name + ": download byte " + std::to_string(ram_.size()) + " after " +
                      std::to_string(now - lastByteAt_) + " us, the bootstrap needs " +
                      std::to_string(facts_.byteUs));
        return;
    }
    lastByteAt_ = now;
    if (ram_.size() >= facts_.ramBytes) {
        env.Violation(facts_.name + ": download past the " + std::to_string(facts_.ramBytes) +
                      " bytes of RAM");
        return;
    }
    ram_.push_back(byte);
    if (ram_.size() != facts_.loaderBytes) return;
    const auto tag = ParseLoaderTag(ram_);
    if (!tag || tag->family != facts_.family || tag->count != facts_.loaderBytes ||
        (tag->role != "READ" && tag->role != "PROGRAM"))
        return; // an unknown program: the chip stays silent
    running_ = true;
    role_ = tag->role;
    phase_ = 0;
    busyUntil_ = now + facts_.startUs;
}

bool LoaderMcuChip::Busy(const PinEnvironment& env) const {
    if (!running_ || neverReady_) return true;
    return env.NowUs() < busyUntil_ || (pending_ && env.NowUs() - pendingFrom_ < facts_.burnUs);
}

void LoaderMcuChip::StrobeReleased(const PinEnvironment& env, uint64_t lowUs) {
    if (running_ && lowUs < facts_.strobeUs)
        env.Violation(facts_.name + ": strobe low for " + std::to_string(lowUs) +
                      " us, the program polls every " + std::to_string(facts_.strobeUs));
}

void LoaderMcuChip::Strobe(const PinEnvironment& env, uint8_t address, uint8_t data, bool programmerDrives) {
    if (!running_) return; // no program listens to the strobe
    Settle(env, false);
    if (Busy(env)) {
        env.Violation(facts_.name + ": strobe while the loaded program is busy");
        return;
    }
    const uint64_t now = env.NowUs();
    busyUntil_ = now + facts_.stepUs;
    if (phase_ == 0) {
        address_ = static_cast<uint32_t>(address) << 8;
        phase_ = 1;
        return;
    }
    if (phase_ == 1) {
        address_ |= address;
        phase_ = 2;
        return;
    }
    phase_ = 0;
    if (role_ == "READ") {
        if (programmerDrives) {
            env.Violation(facts_.name + ": read strobe while the programmer drives the port");
            return;
        }
        port_ = address_ < facts_.words ? cells_[address_] : 0xFF;
        return;
    }
    if (!programmerDrives) {
        env.Violation(facts_.name + ": program strobe with the port towards the programmer");
        return;
    }
    if (!InWindow(address_) || data == BlankOf(address_)) return;
    if (!ModeVoltage(env)) {
        env.Violation(facts_.name + ": byte at " + std::to_string(address_) +
                      " without the programming voltage");
        return;
    }
    pending_ = true;
    pendingAt_ = address_;
    pendingValue_ = data;
    pendingFrom_ = now;
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
