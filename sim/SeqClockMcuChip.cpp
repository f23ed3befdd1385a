#include "sim/SeqClockMcuChip.h"

#include <initializer_list>
#include <string>

#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"

namespace sim {

SeqClockMcuChip::SeqClockMcuChip(const SeqClockMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits SeqClockMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    if (facts_.modePin != 0) l.Allow(Pin(facts_.modePin), facts_.vppLimitTenths);
    return l;
}

bool SeqClockMcuChip::InWindow(uint32_t a) const {
    for (const auto& w : facts_.windows)
        if (a >= w.first && a <= w.last && a < facts_.words) return true;
    return false;
}

// A part whose counter walks its windows only takes the k-th window cell at
// the k-th clock; past the last window the count wraps to the first. Any
// other part takes cell k at the k-th clock, but a window clocked at another
// count is reached at that count only.
uint32_t SeqClockMcuChip::StreamAddress(uint32_t k) const {
    if (!facts_.countsWindowsOnly) {
        for (const auto& w : facts_.windows) {
            if (w.clockedAt == SeqClockMcuFacts::kItself) continue;
            if (k >= w.clockedAt && k - w.clockedAt <= w.last - w.first) return w.first + (k - w.clockedAt);
            if (k >= w.first && k <= w.last) return facts_.words;
        }
        return k;
    }
    uint32_t total = 0;
    for (const auto& w : facts_.windows) total += w.last - w.first + 1;
    if (total == 0) return 0;
    k %= total;
    for (const auto& w : facts_.windows) {
        const uint32_t n = w.last - w.first + 1;
        if (k < n) return w.first + k;
        k -= n;
    }
    return 0;
}

bool SeqClockMcuChip::InMode(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    for (int g : facts_.gndPins)
        if (!env.HeldLow(Pin(g))) return false;
    return facts_.modePin == 0 || env.VoltageTenths(Pin(facts_.modePin)) >= facts_.vppMinTenths;
}

bool SeqClockMcuChip::ProgrammingVoltage(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
}

uint8_t SeqClockMcuChip::Read(const PinEnvironment& env, uint32_t address) const {
    if (!InMode(env)) return 0xFF;
    return InWindow(address) ? cells_[address] : static_cast<uint8_t>(facts_.blank);
}

// A burn under way takes once it has held for burnUs with the part in its
// mode and the programming voltage on; `interrupted` before then loses it.
void SeqClockMcuChip::Settle(const PinEnvironment& env, bool interrupted) {
    if (!pending_) return;
    if (env.NowUs() - pendingFrom_ >= facts_.burnUs) {
        if (static_cast<int64_t>(pendingAt_) != stuck_) {
            if (facts_.blank == 0)
                cells_[pendingAt_] |= pendingValue_;
            else
                cells_[pendingAt_] &= pendingValue_;
            ++burns_;
        }
        pending_ = false;
    } else if (interrupted) {
        pending_ = false;
        env.Violation(facts_.name + ": byte at " + std::to_string(pendingAt_) + " cut short after " +
                      std::to_string(env.NowUs() - pendingFrom_) + " us, it needs " + std::to_string(facts_.burnUs));
    }
}

void SeqClockMcuChip::Update(const PinEnvironment& env) {
    if (pending_ && (!InMode(env) || !ProgrammingVoltage(env))) Settle(env, true);
}

void SeqClockMcuChip::Clock(const PinEnvironment& env, uint32_t address, uint8_t value, bool program) {
    Settle(env, true);
    clocks_.emplace_back(address, program ? value : -1);
    if (!program || !InWindow(address) || value == facts_.blank) return;
    if (!InMode(env) || !ProgrammingVoltage(env)) {
        env.Violation(facts_.name + ": programming clock without the programming voltage");
        return;
    }
    pending_ = true;
    pendingAt_ = address;
    pendingValue_ = value;
    pendingFrom_ = env.NowUs();
}

// ---- the logic image ----

bool SeqClockBusPersonality::Allowed(uint8_t reg, uint8_t v) const {
    if (v == 0) return true;
    auto any = [v](std::initializer_list<uint8_t> l) {
        for (uint8_t x : l)
            if (x == v) return true;
        return false;
    };
    switch (reg) {
    case 0:
        return v == ResetValue() || v == HeldValue();
    case 1:
        return set_ == 0 ? any({7, 3}) : any({0x0E, 6, 0x0F, 7});
    case 2:
        return v == 1;
    case 3:
        switch (set_) {
        case 0:
            return true;
        case 2:
            return any({0x0E, 8});
        case 4:
            return any({1, 5});
        default:
            return any({7, 1});
        }
    case 4:
        return set_ != 0;
    default:
        return false;
    }
}

SeqClockMcuChip* SeqClockBusPersonality::Chip() const {
    const SocketList& sockets = Sockets();
    if (sockets.count == 0) return nullptr;
    const auto& chips = sockets.socket[0]->Chips();
    if (chips.size() != 1) return nullptr;
    return SeatedModel<SeqClockMcuChip>(chips.front().get());
}

void SeqClockBusPersonality::ClockChip(SimProgrammer& p) {
    SeqClockMcuChip* chip = Chip();
    if (chip == nullptr) {
        // The compare latch is the logic's own: with no part on the data
        // lines it compares the byte sent with the floating bus.
        if (set_ == 0 && dataWritten_ && reg_[3] != kFloatingBus) pass_ = false;
        dataWritten_ = false;
        return;
    }
    View view(*this, 0);
    if (reg_[0] != HeldValue() || !chip->InMode(view)) {
        p.Violation("sequential-clock bus: address clock while the part is not held in its sequential mode");
        return;
    }
    bool program = false;
    uint8_t data = reg_[4];
    if (set_ == 0) {
        data = reg_[3];
        program = dataWritten_ && chip->ProgrammingVoltage(view);
        if (dataWritten_ && !program && chip->Read(view, counter_) != data) pass_ = false;
    } else {
        program = reg_[1] == 6 && reg_[3] == ProgramFunction() && dataWritten_;
    }
    chip->Clock(view, chip->StreamAddress(counter_), data, program);
    const uint32_t words = static_cast<uint32_t>(chip->Words());
    counter_ = words == 0 ? 0 : (counter_ + 1) % words;
    dataWritten_ = false;
}

bool SeqClockBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    if (!Allowed(reg, value)) return Unexpected(p, "sequential-clock bus", reg, value);
    const bool rising = reg == 2 && value == 1 && reg_[2] == 0;
    if (reg == 0 && value == ResetValue()) {
        counter_ = 0;
        pass_ = true;
        dataWritten_ = false;
    }
    if ((set_ == 0 && reg == 3) || (set_ != 0 && reg == 4)) dataWritten_ = true;
    reg_[reg] = value;
    UpdateChips();
    if (rising) ClockChip(p);
    return true;
}

std::optional<uint8_t> SeqClockBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    SeqClockMcuChip* chip = Chip();
    View view(*this, 0);
    if (set_ == 0 && reg == 1) return static_cast<uint8_t>(pass_ ? 1 : 0);
    if (((set_ == 1 || set_ == 4) && reg == 0) || ((set_ == 2 || set_ == 3) && reg == 2))
        return chip != nullptr ? chip->Read(view, chip->StreamAddress(counter_)) : kFloatingBus;
    if ((set_ == 2 || set_ == 3) && reg == 3)
        return static_cast<uint8_t>(chip != nullptr && chip->TakeBusyRead() ? 1 : 0);
    return std::nullopt;
}

void RegisterSeqClockBusPersonality() {
    SocketBusPersonality::Register<SeqClockBusPersonality>(kPersonalitySequentialClock);
    // The programmer-RAM image serves parts of this chip model too.
    RegisterRamDownloadBusPersonality();
}

namespace {

// No datasheet of a part served this way was found: the pin-out is a 40-pin
// DIP with supply, ground and programming voltage where the record's package
// puts them, the windows and times follow the algorithm rows.
SeqClockMcuFacts Part(const char* name, uint16_t blank, std::vector<SeqClockMcuFacts::Window> windows,
                      uint32_t burnUs, int modePin, int vcc = 40, int gnd = 20, int vpp = 31) {
    SeqClockMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 40;
    f.words = 0x1000;
    f.blank = blank;
    f.vcc = {45, 60};
    f.vccPin = vcc;
    f.gndPins = {gnd};
    f.vppPin = vpp;
    f.modePin = modePin;
    f.vppMinTenths = 120;
    f.windows = std::move(windows);
    f.burnUs = burnUs;
    f.note = "no datasheet found: pin-out, windows and timing follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddSeqClockMcuParts(std::vector<CatalogPart>& parts) {
    // Compare-latch parts: the mode pin is socket pin 17 (chip pin 13) for
    // variant 0, socket pin 12 (chip pin 8) for variant 1, each fed from the
    // DAC channel the programming pin does not use (variant 0: supply on 1,
    // ground on 11, programming voltage on 30).
    const SeqClockMcuFacts all[] = {
        Part("SEQCLK-CMP-V0", 0x00, {{0, 0xFFF}}, 50000, 13, 1, 11, 30),
        Part("SEQCLK-CMP-V1", 0x00, {{0, 0xFFF}}, 50000, 8),
        Part("SEQCLK-WIN-B0", 0x00, {{0x700, 0xF00}, {0xFF0, 0xFFF}}, 2500, 0),
        Part("SEQCLK-WIN-BF", 0xFF, {{0x100, 0xEFF}, {0xFF0, 0xFFF}}, 6000, 0),
    };
    for (const SeqClockMcuFacts& f : all) parts.push_back(ChipPart<SeqClockMcuChip>(f.maker, f));

    // 68HC705-class parts in their bootloader mode, taking their EPROM as a
    // byte stream (blank 00h). No datasheet whose memory map
    // matches these rows was found: the windows follow the rows' maps.
    auto loader = [](const char* name, uint32_t words, std::vector<SeqClockMcuFacts::Window> windows, int pins,
                     int vcc, int gnd, int vpp, int mode, bool countsWindowsOnly, uint32_t burnUs) {
        SeqClockMcuFacts f = Part(name, 0x00, std::move(windows), burnUs, mode, vcc, gnd, vpp);
        f.pinCount = pins;
        f.words = words;
        f.vppMinTenths = 115;
        f.countsWindowsOnly = countsWindowsOnly;
        f.note = "no datasheet found: a 68HC705-class bootloader part whose map follows the algorithm row";
        return f;
    };
    const SeqClockMcuFacts loaders[] = {
        // Clocked over every address (gaps included), programming voltage on
        // chip pin 31 of a 40-pin DIP.
        loader("HC705-STREAM-V0", 0x2000, {{0x20, 0x4F}, {0x100, 0x12FF}, {0x1F00, 0x1F00}, {0x1FF0, 0x1FFF}}, 40,
               40, 20, 31, 0, false, 4000),
        // Its array ends at FFFh: the vectors at the top of its 8 KB map
        // (1FF0h-1FFFh, where a file holds them) are clocked at FF0h-FFFh.
        loader("HC705-STREAM-V1", 0x2000, {{0x20, 0x4F}, {0x100, 0x900}, {0x1FF0, 0x1FFF, 0xFF0}}, 40, 40, 20, 31, 0,
               false, 4000),
        loader("HC705-STREAM-V2", 0x2000, {{0x20, 0x4F}, {0x100, 0x12FF}, {0x1EFF, 0x1F00}, {0x1FF0, 0x1FFF}}, 40,
               40, 20, 31, 0, false, 4000),
        // Clocked over the EPROM only, on a 48-pin carrier grounded on pin
        // 24: the loader's mode pin (6, or 4) at 12 V, the programming
        // voltage on pin 23 (or 6), the supply on pin 48 (or 46).
        loader("HC705-EPROM-V0", 0x2000, {{0x20, 0x4F}, {0xA80, 0x1E80}, {0x1FF0, 0x1FFF}}, 48, 48, 24, 23, 6, true,
               4000),
        loader("HC705-EPROM-V1", 0x2000, {{0x20, 0x4F}, {0xA80, 0x1E80}, {0x1FF0, 0x1FFF}}, 48, 46, 24, 6, 4, true,
               4000),
        // Burnt from the programmer's RAM: 16 KB, programming voltage on
        // chip pin 8 of a 40-pin DIP.
        loader("HC705-RAMDL-16K", 0x4000, {{0, 0x3FFF}}, 40, 40, 20, 8, 0, false, 2000),
    };
    for (const SeqClockMcuFacts& f : loaders) parts.push_back(ChipPart<SeqClockMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddSeqClockMcuParts);

} // namespace sim
