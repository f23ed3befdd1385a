#include "sim/RamChip.h"

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

void RamChip::Write(uint32_t location, uint8_t value) {
    location %= part_.words;
    ++writes_;
    if (deadRows_.count(location / part_.rowWords) != 0 || openLocations_.count(location) != 0) return;
    const uint8_t before = cells_[location];
    cells_[location] = static_cast<uint8_t>(value & ((1u << part_.width) - 1));
    for (const Coupling& c : couplings_) {
        if (c.aggressor == location && (before & c.aggressorMask) == 0 && (cells_[location] & c.aggressorMask) != 0)
            cells_[c.victim] = static_cast<uint8_t>(cells_[c.victim] | c.victimMask);
    }
}

uint8_t RamChip::Read(uint32_t location) const {
    location %= part_.words;
    if (openLocations_.count(location) != 0) return static_cast<uint8_t>((1u << part_.width) - 1);
    if (deadRows_.count(location / part_.rowWords) != 0) return 0;
    uint8_t v = cells_[location];
    for (const Stuck& s : stuck_) {
        if (s.location == location) v = static_cast<uint8_t>((v & ~s.mask) | (s.level ? s.mask : 0));
    }
    return v;
}

void RamChip::StickBit(uint32_t location, int bit, int level) {
    stuck_.push_back({location % part_.words, static_cast<uint8_t>(1u << bit), static_cast<uint8_t>(level ? 1 : 0)});
}

void RamChip::CoupleBits(uint32_t aggressor, int aggressorBit, uint32_t victim, int victimBit) {
    couplings_.push_back({aggressor % part_.words, static_cast<uint8_t>(1u << aggressorBit), victim % part_.words,
                          static_cast<uint8_t>(1u << victimBit)});
}

} // namespace sim
