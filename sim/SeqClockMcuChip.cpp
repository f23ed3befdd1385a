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
        return set_ == 1 ? any({8, 9}) : any({6, 7});
    case 1:
        return set_ == 0 ? any({7, 3}) : any({0x0E, 6, 0x0F, 7});
    case 2:
        return v == 1;
    case 3:
        return set_ == 0 ? true : set_ == 1 ? any({7, 1}) : any({0x0E, 8});
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
    ChipModel* chip = chips.front().get();
    if (auto* part = dynamic_cast<CatalogChip*>(chip)) chip = &part->Model();
    return dynamic_cast<SeqClockMcuChip*>(chip);
}

void SeqClockBusPersonality::ClockChip(SimProgrammer& p) {
    SeqClockMcuChip* chip = Chip();
    if (chip == nullptr) return;
    View view(*this, 0);
    const uint8_t held = set_ == 1 ? 9 : 7;
    if (reg_[0] != held || !chip->InMode(view)) {
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
        const bool programming = reg_[1] == 6 && reg_[3] == (set_ == 1 ? 7 : 0x0E);
        program = programming && dataWritten_;
    }
    chip->Clock(view, counter_, data, program);
    const uint32_t words = static_cast<uint32_t>(chip->Words());
    counter_ = words == 0 ? 0 : (counter_ + 1) % words;
    dataWritten_ = false;
}

bool SeqClockBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    if (!Allowed(reg, value)) return Unexpected(p, "sequential-clock bus", reg, value);
    const bool rising = reg == 2 && value == 1 && reg_[2] == 0;
    if (reg == 0 && value == (set_ == 1 ? 8 : 6)) {
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
    if ((set_ == 1 && reg == 0) || (set_ == 2 && reg == 2))
        return chip != nullptr ? chip->Read(view, counter_) : static_cast<uint8_t>(0xFF);
    if (set_ == 2 && reg == 3) return static_cast<uint8_t>(chip != nullptr && chip->TakeBusyRead() ? 1 : 0);
    return std::nullopt;
}

void RegisterSeqClockBusPersonality() {
    SocketBusPersonality::Register<SeqClockBusPersonality>(kPersonalitySequentialClock);
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
}

} // namespace sim
