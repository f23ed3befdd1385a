#include "sim/RamChip.h"

#include <algorithm>

namespace sim {

RamChip::RamChip(const RamPartFacts& part)
    : ProbeChip(DipSocketPins(part.pinCount), {}, part.name), part_(part), cells_(part.words, 0) {
    // The power-up contents of a RAM are arbitrary.
    uint32_t x = 0x1234567u;
    for (auto& c : cells_) {
        x = x * 1103515245u + 12345u;
        c = static_cast<uint8_t>((x >> 16) & ((1u << part_.width) - 1));
    }
}

int RamChip::SocketOf(int chipPin) const {
    const auto& pins = SocketPins();
    return chipPin >= 1 && chipPin <= static_cast<int>(pins.size()) ? pins[static_cast<size_t>(chipPin - 1)] : 0;
}

bool RamChip::Powered(const Electrical& e) const {
    const PinState vcc = e.Pin(SocketOf(part_.vccPin));
    const PinState vss = e.Pin(SocketOf(part_.vssPin));
    return vcc.source != PinSource::Conflict && vcc.Tenths() >= part_.vccMinTenths &&
           vcc.Tenths() <= part_.vccMaxTenths && vss.Grounded() && vss.supplyMillivolts == 0;
}

ChipDrive RamChip::Output(const PinEnvironment& env, int socketPin) const {
    const int vcc = SocketOf(part_.vccPin);
    if (env.VoltageTenths(vcc) >= part_.vccMinTenths && env.HeldLow(SocketOf(part_.vssPin))) return ChipDrive::None;
    return DiodeNetworkOutput(env, socketPin);
}

uint32_t RamChip::Decode(uint32_t location) const {
    location = (location % part_.words) & ~tiedLow_;
    for (const Short& s : shorts_) {
        if ((location & s.a) == 0 || (location & s.b) == 0) location &= ~(s.a | s.b);
    }
    for (const Sent& s : sent_) {
        if (s.location == location) return s.cell;
    }
    return location;
}

uint8_t RamChip::OnDataLines(uint8_t value) const {
    for (const uint8_t lines : dataShorts_) {
        if ((value & lines) != lines) value = static_cast<uint8_t>(value & ~lines);
    }
    return value;
}

void RamChip::AlsoWrite(uint32_t location, uint32_t other) {
    location %= part_.words;
    echoes_.push_back({part_.words - 1, location, location ^ (other % part_.words)});
}

void RamChip::AlsoWriteAcross(int bit, int level) {
    echoes_.push_back({1u << bit, level ? 1u << bit : 0u, 1u << bit});
}

// The datum a write leaves in a cell it reaches.
void RamChip::Store(uint32_t cell, uint8_t value) {
    if (deadRows_.count(cell / part_.rowWords) != 0 || openLocations_.count(cell) != 0 ||
        stuckOpen_.count(cell) != 0)
        return;
    cells_[cell] = value;
    if (!lost_.empty()) lost_[cell] = false;
}

uint32_t RamChip::Cycle(uint32_t location, uint64_t nowUs) {
    location = Decode(location);
    if (part_.refreshMs == 0) return location;
    const uint32_t row = location / part_.rowWords;
    if (rowCycled_.empty()) {
        rowCycled_.assign(part_.words / part_.rowWords, 0);
        lost_.assign(part_.words, false);
    }
    uint64_t& last = rowCycled_[row];
    if (last != 0 && nowUs + 1 - last > uint64_t{part_.refreshMs} * 1000) {
        const auto first = static_cast<std::ptrdiff_t>(row * part_.rowWords);
        std::fill_n(cells_.begin() + first, part_.rowWords, uint8_t{0});
        std::fill_n(lost_.begin() + first, part_.rowWords, true);
    }
    for (const Weak& w : weakCells_) {
        if (last != 0 && w.location / part_.rowWords == row && nowUs + 1 - last > w.holdUs) {
            cells_[w.location] = 0;
        }
    }
    last = nowUs + 1;
    return location;
}

void RamChip::LoseOnWrite(uint32_t victim, uint32_t aggressor, uint32_t aggressors) {
    disturbs_.push_back({victim % part_.words, aggressor % part_.words, aggressors});
}

void RamChip::Write(uint32_t location, uint8_t value, uint64_t nowUs) {
    location = Cycle(location, nowUs);
    ++writes_;
    if (written_.empty()) written_.assign(part_.words, false);
    if (!written_[location]) {
        written_[location] = true;
        ++cellsWritten_;
    }
    if (!lost_.empty()) lost_[location] = false;
    value = OnDataLines(static_cast<uint8_t>(value & ((1u << part_.width) - 1)));
    for (const Echo& e : echoes_) {
        if ((location & e.mask) == e.match) Store(location ^ e.flip, value);
    }
    if (deadRows_.count(location / part_.rowWords) != 0 || openLocations_.count(location) != 0 ||
        stuckOpen_.count(location) != 0)
        return;
    const uint8_t before = cells_[location];
    cells_[location] = value;
    for (const Coupling& c : couplings_) {
        const uint8_t from = before & c.aggressorMask, to = cells_[location] & c.aggressorMask;
        if (c.aggressor != location || from == to || (to != 0) != (c.edge == Edge::Rise)) continue;
        uint8_t& victim = cells_[c.victim];
        victim = static_cast<uint8_t>(c.effect == Effect::Set     ? victim | c.victimMask
                                      : c.effect == Effect::Clear ? victim & ~c.victimMask
                                                                  : victim ^ c.victimMask);
    }
    for (const Disturb& d : disturbs_) {
        if (location - d.aggressor < d.aggressors) cells_[d.victim] = 0;
    }
}

uint8_t RamChip::Read(uint32_t location, uint64_t nowUs) {
    location = Cycle(location, nowUs);
    if (!lost_.empty() && lost_[location]) ++lostReads_;
    if (openLocations_.count(location) != 0) return static_cast<uint8_t>((1u << part_.width) - 1);
    if (stuckOpen_.count(location) != 0) return lastRead_;
    if (deadRows_.count(location / part_.rowWords) != 0) return lastRead_ = 0;
    uint8_t v = cells_[location];
    for (const Stuck& s : stuck_) {
        if (s.location == location) v = static_cast<uint8_t>((v & ~s.mask) | (s.level ? s.mask : 0));
    }
    return lastRead_ = OnDataLines(v);
}

void RamChip::StickBit(uint32_t location, int bit, int level) {
    stuck_.push_back({location % part_.words, static_cast<uint8_t>(1u << bit), static_cast<uint8_t>(level ? 1 : 0)});
}

void RamChip::CoupleBits(uint32_t aggressor, int aggressorBit, uint32_t victim, int victimBit, Edge edge,
                         Effect effect) {
    couplings_.push_back({aggressor % part_.words, static_cast<uint8_t>(1u << aggressorBit), victim % part_.words,
                          static_cast<uint8_t>(1u << victimBit), edge, effect});
}

} // namespace sim
