#include "sim/RamTestBus.h"

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"
#include "sim/RamChip.h"
#include "sim/Socket.h"

namespace sim {

namespace {

enum Organisation { kByOne = 0, kByFour = 1, kByEight = 2 };

uint32_t SelectBit(RamSelect s) { return 1u << static_cast<int>(s); }

} // namespace

RamChip* RamTestBus::Reachable(SimProgrammer& p) const {
    const Socket* s = ReachedSocket(p);
    const Electrical* e = Electrical::Find(p);
    if (!cycles_ || s == nullptr || e == nullptr) return nullptr;
    const Reached now{s, s->Revision(), e, e->Revision(), selects_, nullptr};
    if (now.socket == reached_.socket && now.socketRevision == reached_.socketRevision &&
        now.electrical == reached_.electrical && now.electricalRevision == reached_.electricalRevision &&
        now.selects == reached_.selects)
        return reached_.ram;
    reached_ = now;
    for (const auto& c : s->Chips()) {
        auto* ram = SeatedModel<RamChip>(c.get());
        if (ram == nullptr || !ram->Powered(*e)) continue;
        const RamSelect need = ram->Part().select;
        if (need != RamSelect::None && !(selects_ & SelectBit(need))) continue;
        reached_.ram = ram;
        break;
    }
    return reached_.ram;
}

uint32_t RamTestBus::CellOf(const RamChip& ram) const {
    if (organisation_ == kByEight) return location_;
    const uint32_t row = ram.Part().rowWords;
    return rowLatch_ / row * row + location_ % row;
}

bool RamTestBus::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    switch (reg) {
    case 4:
        if (value != 0 && value != 1 && value != 3) return false;
        cycles_ = value == 3;
        location_ = 0;
        rowLatch_ = 0;
        return true;
    case 3:
        if (organisation_ == kByOne) {
            if (value > 1) return false;
            if (RamChip* ram = Reachable(p)) ram->Write(CellOf(*ram), static_cast<uint8_t>(~value & 1), p.NowUs());
        } else if (organisation_ == kByFour) {
            if (value > 0x0F) return false;
            nibble_ = value;
        } else {
            if (!cycles_) return value == 0;
            if (RamChip* ram = Reachable(p)) ram->Write(location_, value, p.NowUs());
        }
        return true;
    case 5:
        if (value == 1 && organisation_ == kByEight) {
            selects_ |= SelectBit(RamSelect::Select24);
            return true;
        }
        if (value != 0) return false;
        if (organisation_ == kByEight) selects_ &= ~SelectBit(RamSelect::Select24);
        if (organisation_ == kByFour && cycles_) {
            if (RamChip* ram = Reachable(p)) ram->Write(CellOf(*ram), nibble_, p.NowUs());
        }
        return true;
    case 6:
    case 7:
        if (value != 0) return false;
        if (cycles_ && reg == 6) {
            ++location_;
            ++locations_;
        }
        if (cycles_ && reg == 7) {
            ++rowSteps_;
            rowLatch_ = location_;
        }
        return true;
    case 1:
        if (value != 0 && value != 0x20) return false;
        selects_ = value ? selects_ | SelectBit(RamSelect::Cs2Of28) : selects_ & ~SelectBit(RamSelect::Cs2Of28);
        return true;
    case 2:
        if (value != 0 && value != 6) return false;
        selects_ = value ? selects_ | SelectBit(RamSelect::Cs2Of32) : selects_ & ~SelectBit(RamSelect::Cs2Of32);
        return true;
    case 0:
    case 8:
    case 9:
    case 10:
    case 11:
        return value == 0;
    default:
        return false;
    }
}

std::optional<uint8_t> RamTestBus::OnRead(SimProgrammer& p, uint8_t reg) {
    if (reg != 3) return std::nullopt;
    RamChip* ram = Reachable(p);
    if (ram == nullptr) return uint8_t{0xFF};
    const uint8_t v = ram->Read(CellOf(*ram), p.NowUs());
    return organisation_ == kByEight ? v : static_cast<uint8_t>(0xF0 | v);
}

void RegisterRamTestPersonality() {
    RegisterPersonality(kPersonalityRamTest, [](const LogicImageHeader& h) -> std::unique_ptr<SimPersonality> {
        return std::make_unique<RamTestBus>(h.params[0]);
    });
}

} // namespace sim
