#include "sim/RamDownloadBus.h"

#include <algorithm>

#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"

namespace sim {

RamDownloadBusPersonality::RamDownloadBusPersonality(const LogicImageHeader& h)
    : stepUs_(1000ull * std::max<uint8_t>(h.params[0], 1)), ram_(kRamBytes, 0) {}

SeqClockMcuChip* RamDownloadBusPersonality::Chip() const {
    const SocketList& sockets = Sockets();
    if (sockets.count == 0) return nullptr;
    const auto& chips = sockets.socket[0]->Chips();
    if (chips.size() != 1) return nullptr;
    return SeatedModel<SeqClockMcuChip>(chips.front().get());
}

// Every access first runs the programmer up to now: the pin conditions taken
// by Sync are the ones that held since the previous access.
void RamDownloadBusPersonality::CatchUp(SimProgrammer& p) {
    prog_ = &p;
    Sync();
    Advance(p.NowUs());
}

// Byte k is clocked into the part at start + k steps and has the step to
// burn; the last one settles one step after its clock.
void RamDownloadBusPersonality::Advance(uint64_t until) {
    if (!running_ || halted_ || done_) return;
    SeqClockMcuChip* chip = Chip();
    if (chip == nullptr) {
        halted_ = true;
        return;
    }
    const uint32_t words = static_cast<uint32_t>(std::min<size_t>(chip->Words(), kRamBytes));
    while (next_ < words) {
        const uint64_t at = startUs_ + next_ * stepUs_;
        if (at > until) return;
        TimedView view(*this, at);
        if (static_cast<int64_t>(next_) == stallAt_ || !chip->InMode(view) || !chip->ProgrammingVoltage(view)) {
            halted_ = true;
            return;
        }
        chip->Clock(view, next_, ram_[next_], true);
        ++next_;
    }
    const uint64_t end = startUs_ + words * stepUs_;
    if (end > until) return;
    TimedView view(*this, end);
    chip->Finish(view);
    done_ = true;
    doneUs_ = end;
}

uint32_t RamDownloadBusPersonality::Reached() const { return std::min(next_, kRamBytes - 1); }

bool RamDownloadBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    CatchUp(p);
    return SocketBusPersonality::OnLatchBit(p, reg, bit, state);
}

bool RamDownloadBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    CatchUp(p);
    if (!BeginWrite(p, reg)) return false;
    bool allowed = value == 0; // the programmer's reset clears every register
    switch (reg) {
    case 0:
        allowed |= value == 2 || value == 3;
        break;
    case 1:
    case 2:
        allowed |= value == 1;
        break;
    case 3:
    case 7:
        allowed = true;
        break;
    case 4:
        allowed |= value == 2 || value == 4 || value == 9;
        break;
    default:
        break;
    }
    if (!allowed) return Unexpected(p, "programmer-RAM bus", reg, value);
    if (reg == 4 && value == 0 && reg_[4] == 2) ramCounter_ = 0;
    if (reg == 4 && value == 0 && reg_[4] == 4) ram_[ramCounter_] = reg_[3];
    if (reg == 7) ramCounter_ = (ramCounter_ + 1) % kRamBytes;
    if (reg == 0 && value == 3) {
        if (reg_[0] != 2 || reg_[4] != 9 || reg_[1] != 1 || reg_[2] != 1) {
            p.Violation("programmer-RAM bus: programmer started without its preparation");
        } else if (!running_ && !neverStart_) {
            running_ = true;
            halted_ = done_ = false;
            next_ = 0;
            startUs_ = p.NowUs();
        }
    }
    if (reg == 0 && value == 0) running_ = false;
    reg_[reg] = value;
    UpdateChips();
    return true;
}

std::optional<uint8_t> RamDownloadBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    CatchUp(p);
    switch (reg) {
    case 0:
        return static_cast<uint8_t>(Reached() & 0xFF);
    case 1:
        return static_cast<uint8_t>(Reached() >> 8);
    case 3: {
        const uint8_t v = ram_[ramCounter_];
        return static_cast<uint8_t>(static_cast<int64_t>(ramCounter_) == corruptAt_ ? v ^ 1 : v);
    }
    case 4: {
        const bool endChecked = done_ && !endStuck_ && p.NowUs() >= doneUs_ + kEndCheckUs;
        const bool busy = (running_ || done_) && !endChecked;
        return static_cast<uint8_t>((done_ ? 1 : 0) | (busy ? 2 : 0));
    }
    default:
        return std::nullopt;
    }
}

void RegisterRamDownloadBusPersonality() {
    SocketBusPersonality::Register<RamDownloadBusPersonality>(kPersonalityProgrammerRam);
}

} // namespace sim
