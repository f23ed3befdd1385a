#include "sim/CommandFlashChip.h"

#include <algorithm>
#include <limits>

namespace sim {

FlashPinout CommandFlashPinout(int footprint) {
    if (footprint == kCommandFootprintByteLane48) {
        FlashPinout p = CommandFlashPinout(kCommandFootprintAdapter48Vpp5);
        p.address.resize(21);
        p.address.insert(p.address.begin(), p.data.back());
        p.data.resize(8);
        p.ce2 = 0;
        return p;
    }
    if (footprint == kCommandFootprintByte40Adapter) {
        FlashPinout p = CommandFlashPinout(kCommandFootprintAdapter48Vpp5);
        p.address.resize(21);
        p.data.resize(8);
        p.ce2 = 0;
        return p;
    }
    if (footprint == kCommandFootprintAdapter48Vcc25) {
        FlashPinout p = CommandFlashPinout(kCommandFootprintAdapter48);
        std::replace(p.address.begin(), p.address.end(), 25, 44);
        p.vcc = {25};
        return p;
    }
    if (footprint == kCommandFootprintAdapter48 || footprint == kCommandFootprintAdapter48Vpp5) {
        FlashPinout p;
        p.pinCount = 48;
        for (int pin : {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 14, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 48}) p.address.push_back(pin);
        for (int pin : {26, 27, 28, 29, 30, 31, 32, 33, 35, 36, 37, 38, 39, 40, 41, 42}) p.data.push_back(pin);
        p.ce = 43, p.oe = 45, p.we = 46, p.ce2 = 47;
        p.vpp = footprint == kCommandFootprintAdapter48 ? 13 : 5;
        p.vcc = {44}, p.gnd = {15, 34};
        return p;
    }
    if (footprint == kCommandFootprintTsop48) {
        FlashPinout p;
        p.pinCount = 48;
        p.address = {25, 24, 23, 22, 21, 20, 19, 18, 8, 7, 6, 5, 4, 3, 2, 1, 48, 17, 16, 15, 10, 9, 14};
        p.data = {29, 31, 33, 35, 38, 40, 42, 44, 30, 32, 34, 36, 39, 41, 43, 45};
        p.ce = 26, p.oe = 28, p.we = 11, p.vpp = 13, p.ce2 = 47; // RP# tied high by the adapter
        p.vcc = {37}, p.gnd = {27, 46};
        return p;
    }
    if (footprint == kCommandFootprintWord40) {
        FlashPinout p;
        p.pinCount = 40;
        for (int pin = 21; pin <= 29; ++pin) p.address.push_back(pin);
        for (int pin = 31; pin <= 37; ++pin) p.address.push_back(pin);
        for (int pin = 19; pin >= 12; --pin) p.data.push_back(pin);
        for (int pin = 10; pin >= 3; --pin) p.data.push_back(pin);
        p.vpp = 1, p.ce = 2, p.oe = 20, p.we = 39;
        p.vcc = {40}, p.gnd = {11, 30};
        return p;
    }
    if (footprint == kCommandFootprintJedec) return FlashPinoutById(kPinoutDip32);
    if (footprint == kCommandFootprintJedec12V || footprint == kCommandFootprintResetPin30) {
        FlashPinout p = FlashPinoutById(kPinoutDip32);
        p.address.resize(footprint == kCommandFootprintJedec12V ? 18 : 17); // A17 on 30, A18's pin 1 is VPP
        p.vpp = 1;
        if (footprint == kCommandFootprintResetPin30) p.reset = 30;
        return p;
    }
    FlashPinout p;
    p.pinCount = 40;
    // A0-A9 on 1-10 (2-10 and 20 with VPP on pin 1), A10-A17 on 12-19, A18-A20 on 21-23.
    for (int pin = footprint == 1 ? 2 : 1; pin <= 10; ++pin) p.address.push_back(pin);
    if (footprint == 1) p.address.push_back(20);
    for (int pin = 12; pin <= 19; ++pin) p.address.push_back(pin);
    for (int pin = 21; pin <= 23; ++pin) p.address.push_back(pin);
    p.data = {24, 25, 26, 27, 28, 29, 36, 37};
    p.reset = 31; // RP#
    p.vpp = footprint == 1 ? 1 : 32;
    p.ce = 33, p.oe = 34, p.we = 35;
    p.vcc = {40}, p.gnd = {11, 30};
    return p;
}

CommandFlashChip::CommandFlashChip(CommandFlashConfig config)
    : ProbeChip(DipSocketPins(CommandFlashPinout(config.footprint).pinCount),
                config.footprint == kCommandFootprintTsop48     ? std::set<int>{12}
                : config.footprint >= kCommandFootprintAdapter48 ? std::set<int>{}
                : config.footprint == kCommandFootprintWord40   ? std::set<int>{38}
                : config.footprint >= kCommandFootprintJedec12V ? std::set<int>{}
                : config.footprint == 1                       ? std::set<int>{32, 38, 39}
                                                              : std::set<int>{20, 38, 39},
                config.name),
      cfg_(std::move(config)),
      pins_(CommandFlashPinout(cfg_.footprint)),
      cells_(cfg_.bytes, static_cast<uint16_t>(cfg_.width == 16 ? 0xFFFF : 0xFF)),
      erased_(static_cast<uint16_t>(cfg_.width == 16 ? 0xFFFF : 0xFF)) {
    if (cfg_.lockBits) locks_.assign(cfg_.blockStarts.size(), false);
    const auto& seats = SocketPins();
    for (size_t i = 0; i < seats.size() && i < static_cast<size_t>(kSocketPins); ++i) seatOf_[i + 1] = seats[i];
    direct_ = pins_.address.size() <= 32 && pins_.data.size() <= 16;
    for (size_t i = 0; direct_ && i < pins_.address.size(); ++i) direct_ = (addressZ_[i] = Socket(pins_.address[i])) != 0;
    for (size_t i = 0; direct_ && i < pins_.data.size(); ++i) direct_ = (dataZ_[i] = Socket(pins_.data[i])) != 0;
    for (int z = 0; z <= kSocketPins; ++z) {
        dataBitOf_[z] = -1;
        for (size_t i = 0; z != 0 && i < pins_.data.size(); ++i) {
            if (Socket(pins_.data[i]) == z) {
                dataBitOf_[z] = static_cast<int8_t>(i);
                break;
            }
        }
    }
}

ChipPinLimits CommandFlashChip::Limits() const {
    ChipPinLimits l;
    l.chip = cfg_.name;
    for (int s : SocketPins()) {
        if (s != 0) l.socketPins.push_back(s);
    }
    l.maxTenths = 70;
    for (int pin : {pins_.reset, pins_.vpp}) {
        if (pin != 0) l.Allow(Socket(pin), 135);
    }
    return l;
}

bool CommandFlashChip::IsBlank() const {
    return std::all_of(cells_.begin(), cells_.end(), [&](uint16_t c) { return c == erased_; });
}

uint32_t CommandFlashChip::BlockOf(uint32_t a) const {
    const auto& b = cfg_.blockStarts;
    const auto it = std::upper_bound(b.begin(), b.end(), a);
    return it == b.begin() ? 0 : static_cast<uint32_t>(it - b.begin() - 1);
}

uint32_t CommandFlashChip::BlockEnd(uint32_t block) const {
    return block + 1 < cfg_.blockStarts.size() ? cfg_.blockStarts[block + 1] : static_cast<uint32_t>(cells_.size());
}

int CommandFlashChip::Socket(int chipPin) const { return chipPin >= 1 && chipPin <= kSocketPins ? seatOf_[chipPin] : 0; }

int CommandFlashChip::Level(const PinEnvironment& env, int chipPin) const {
    if (chipPin == 0) return 1; // not wired: reads high
    const int s = Socket(chipPin);
    return s == 0 ? env.FloatingLevel() : env.InputLevel(s);
}

int CommandFlashChip::Volts(const PinEnvironment& env, int chipPin) const {
    const int s = Socket(chipPin);
    return s == 0 ? -1 : env.VoltageTenths(s);
}

bool CommandFlashChip::Powered(const PinEnvironment& env) const {
    for (int v : pins_.vcc) {
        if (Volts(env, v) < cfg_.vccMinTenths) return false;
    }
    return std::all_of(pins_.gnd.begin(), pins_.gnd.end(), [&](int g) { return Socket(g) != 0 && env.HeldLow(Socket(g)); });
}

bool CommandFlashChip::PoweredNow(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == supplyRevision_) return supplyPowered_;
    supplyPowered_ = Powered(env);
    // Kept only while no supply or ground pin takes its level from a logic
    // driver, which may move within one revision.
    bool switched = revision != 0;
    auto held = [&](int chipPin) {
        const int z = Socket(chipPin);
        if (z == 0) return;
        const PinCondition c = env.ConditionAt(z);
        switched = switched && (c.grounded || c.supplyTenths >= 0);
    };
    for (int v : pins_.vcc) held(v);
    for (int g : pins_.gnd) held(g);
    supplyRevision_ = switched ? revision : 0;
    return supplyPowered_;
}

uint32_t CommandFlashChip::AddressNow(const PinEnvironment& env) const {
    uint32_t a = 0;
    if (direct_) {
        a = env.HighLevels(addressZ_, pins_.address.size());
    } else {
        for (size_t i = 0; i < pins_.address.size(); ++i) {
            if (Level(env, pins_.address[i])) a |= 1u << i;
        }
    }
    if (cfg_.byteLane) a >>= 1; // A-1 picks the byte
    const uint32_t span = static_cast<uint32_t>(cfg_.twoChips ? cells_.size() / 2 : cells_.size());
    return span == 0 ? 0 : ChipBase() + a % span;
}

int CommandFlashChip::SelectedChip(const PinEnvironment& env) const {
    if (cfg_.dieWords != 0) return AddressNow(env) >= cfg_.dieWords ? 1 : 0;
    return cfg_.twoChips && pins_.ce2 != 0 && Level(env, pins_.ce2) == 0 ? 1 : 0;
}

bool CommandFlashChip::Enabled(const PinEnvironment& env) const {
    return Level(env, pins_.ce) == 0 || (cfg_.twoChips && SelectedChip(env) == 1);
}

void CommandFlashChip::SwitchChip(int chip) {
    if (chip == chip_) return;
    ChipState now{static_cast<int>(mode_), status_, busyEnd_, pollByte_};
    mode_ = static_cast<Mode>(other_.mode), status_ = other_.status, busyEnd_ = other_.busyEnd, pollByte_ = other_.pollByte;
    other_ = now;
    chip_ = chip;
}

uint16_t CommandFlashChip::DataNow(const PinEnvironment& env) const {
    if (direct_) return static_cast<uint16_t>(env.HighLevels(dataZ_, pins_.data.size()));
    uint16_t d = 0;
    for (size_t i = 0; i < pins_.data.size(); ++i) {
        if (Level(env, pins_.data[i])) d = static_cast<uint16_t>(d | (1u << i));
    }
    return d;
}

bool CommandFlashChip::Ready(const PinEnvironment& env) const { return env.NowUs() >= busyEnd_; }

bool CommandFlashChip::VppLow(const PinEnvironment& env) const { return cfg_.vppMinTenths > 0 && Volts(env, pins_.vpp) < cfg_.vppMinTenths; }

bool CommandFlashChip::Locked(const PinEnvironment& env, uint32_t block) const {
    if (block < locks_.size() && locks_[block]) return true;
    return cfg_.bootBlock >= 0 && block == static_cast<uint32_t>(cfg_.bootBlock) &&
           Volts(env, pins_.reset) < cfg_.rpHighTenths;
}

void CommandFlashChip::Reset() {
    mode_ = Mode::Array;
    bufferRefused_ = false;
    status_ = 0x80;
    busyEnd_ = 0;
    prevWrite_ = false;
    pollByte_ = -1;
    other_ = ChipState{};
    entryMatched_ = 0;
    entryOpen_ = false;
}

void CommandFlashChip::OnReadEnd(uint32_t address) {
    const uint32_t a = address & 0xFFFF;
    if (a == kReadSequenceEntry[entryMatched_]) {
        ++entryMatched_;
    } else {
        entryMatched_ = a == kReadSequenceEntry[0] ? 1 : 0;
    }
    if (entryMatched_ == 8) {
        entryOpen_ = !refuseEntry_;
        entryMatched_ = 0;
    }
}

void CommandFlashChip::Update(const PinEnvironment& env) {
    ++serial_;
    if (!PoweredNow(env) || Level(env, pins_.reset) == 0) {
        if (wasPowered_) Reset();
        wasPowered_ = false;
        return;
    }
    if (!wasPowered_) {
        if (!cfg_.lockBits) locks_.assign(cfg_.blockStarts.size(), cfg_.lockedAtPowerUp);
        prevRead_ = false;
    }
    wasPowered_ = true;
    SwitchChip(SelectedChip(env));
    const bool ce = Enabled(env), oe = Level(env, pins_.oe) == 0, we = Level(env, pins_.we) == 0;
    const bool writing = ce && we && !oe;
    if (cfg_.byteLane) lane_ = static_cast<uint32_t>(Level(env, pins_.address.front()));
    if (prevWrite_ && !writing && !(ce && oe)) OnWrite(env, AddressNow(env), DataNow(env));
    prevWrite_ = writing;
    // A read cycle ends a page load.
    const bool reading = ce && oe && !we;
    if (cfg_.readSequenceEntry && prevRead_ && !reading) OnReadEnd(AddressNow(env));
    if (reading && !prevRead_ && mode_ == Mode::PageLoad && !buffer_.empty()) ProgramLoaded(env);
    prevRead_ = reading;
}

bool CommandFlashChip::Confirmed(uint16_t d) {
    mode_ = Mode::Status;
    if ((d & 0xFF) == 0xD0) return true;
    status_ |= 0x30; // command sequence error
    return false;
}

void CommandFlashChip::ProgramLoaded(const PinEnvironment& env) {
    mode_ = Mode::Status;
    for (const Write& w : buffer_) Program(env, w.address, w.data);
    busyEnd_ = BusyUntil(env, cfg_.programUs * buffer_.size());
}

uint64_t CommandFlashChip::BusyUntil(const PinEnvironment& env, uint64_t us) const {
    return neverReady_ ? std::numeric_limits<uint64_t>::max() : env.NowUs() + us;
}

void CommandFlashChip::Program(const PinEnvironment& env, uint32_t a, uint16_t d) {
    busyEnd_ = BusyUntil(env, cfg_.programUs);
    if (VppLow(env)) {
        status_ |= 0x18;
        return;
    }
    if (Locked(env, BlockOf(a))) {
        status_ |= BlockLocked(BlockOf(a)) ? 0x12 : 0x10;
        return;
    }
    if (stuck_.count(a) != 0) {
        if ((cells_[a] & d) != cells_[a]) status_ |= 0x10;
        return;
    }
    cells_[a] &= d;
}

void CommandFlashChip::Erase(const PinEnvironment& env, uint32_t first, uint32_t last, uint64_t us) {
    busyEnd_ = BusyUntil(env, us);
    if (VppLow(env)) {
        status_ |= 0x28;
        return;
    }
    for (uint32_t b = first; b <= last; ++b) {
        erases_.push_back(b);
        if (hangingBlocks_.count(b) != 0) busyEnd_ = std::numeric_limits<uint64_t>::max();
        if (cfg_.lockBits && chipErasing_ && BlockLocked(b)) continue; // erase of the unlocked blocks
        if (Locked(env, b) || failing_.count(b) != 0) {
            status_ |= BlockLocked(b) ? 0x22 : 0x20;
            continue;
        }
        std::fill(cells_.begin() + cfg_.blockStarts[b], cells_.begin() + BlockEnd(b), erased_);
    }
}

void CommandFlashChip::EndPulse(const PinEnvironment& env) {
    const uint64_t length = env.NowUs() - pulseStart_;
    if (mode_ == Mode::Programming && length >= cfg_.programUs) {
        ++programPulseCount_;
        const uint32_t a = pulseAddress_;
        const auto slow = programPulses_.find(a);
        const int given = ++pulsesGiven_[a];
        if (stuck_.count(a) == 0 && (slow == programPulses_.end() || given >= slow->second)) cells_[a] &= pulseData_;
    } else if (mode_ == Mode::Erasing && length >= cfg_.eraseUs) {
        ++erasePulseCount_;
        for (uint32_t a = 0; a < cells_.size(); ++a) {
            const auto slow = erasePulsesOf_.find(a);
            const int needed = slow == erasePulsesOf_.end() ? cfg_.erasePulses : slow->second;
            if (erasePulseCount_ >= needed) cells_[a] = erased_;
        }
    }
}

// The command register of the Pulse scheme exists only with VPP applied.
void CommandFlashChip::OnPulseWrite(const PinEnvironment& env, uint32_t a, uint16_t d) {
    if (VppLow(env)) return;
    const Mode was = mode_;
    EndPulse(env);
    if (was == Mode::ProgramSetup) {
        mode_ = Mode::Programming;
        pulseAddress_ = a, pulseData_ = d, pulseStart_ = env.NowUs();
        return;
    }
    if (was == Mode::EraseSetup) {
        mode_ = Mode::Array;
        if ((d & 0xFF) == 0x20) mode_ = Mode::Erasing, pulseStart_ = env.NowUs(), ++eraseStarts_;
        return;
    }
    switch (d & 0xFF) {
    case 0x00:
    case 0xFF: mode_ = Mode::Array; break;
    case 0x90: mode_ = Mode::Id; break;
    case 0x40: mode_ = Mode::ProgramSetup; break;
    case 0x20: mode_ = Mode::EraseSetup; break;
    case 0xC0:
    case 0xA0: mode_ = Mode::Verify; break;
    default: mode_ = Mode::Array; break;
    }
}

void CommandFlashChip::OnWrite(const PinEnvironment& env, uint32_t a, uint16_t d) {
    writes_.push_back({a, d});
    if (cfg_.scheme == CommandScheme::Pulse) {
        OnPulseWrite(env, a, d);
        return;
    }
    // While busy the part takes only status reads, and a buffer request,
    // which it answers "no buffer free" (XSR bit 7 clear) until the next
    // write: the request must be given again.
    if (!Ready(env)) {
        bufferRefused_ = cfg_.bufferWords != 0 && (d & 0xFF) == 0xE8;
        return;
    }
    bufferRefused_ = false;
    pollByte_ = -1;
    if (cfg_.scheme == CommandScheme::DataPolling) {
        if (cfg_.readSequenceEntry && !entryOpen_) return;
        if (mode_ == Mode::EraseSetup) {
            // The sector of the address; DQ7 reads 0 until it is erased.
            mode_ = Mode::Array;
            if ((d & 0xFF) != 0xD0) return;
            Erase(env, BlockOf(a), BlockOf(a), cfg_.blockEraseUs);
            pollByte_ = 0xFF;
            return;
        }
        // Programs and erases on its own; the array reads back afterwards.
        if (mode_ == Mode::ProgramSetup) {
            mode_ = Mode::Array;
            pollByte_ = d;
            if (VppLow(env)) return;
            busyEnd_ = BusyUntil(env, cfg_.programUs);
            if (stuck_.count(a) == 0) cells_[a] &= d;
            return;
        }
        if (mode_ == Mode::ChipEraseSetup) {
            mode_ = Mode::Array;
            if ((d & 0xFF) != 0x30 || VppLow(env)) return;
            ++wholeErases_;
            pollByte_ = 0;
            busyEnd_ = BusyUntil(env, cfg_.chipEraseUs);
            for (uint32_t b = 0; b < cfg_.blockStarts.size(); ++b) {
                if (failing_.count(b) == 0) std::fill(cells_.begin() + cfg_.blockStarts[b], cells_.begin() + BlockEnd(b), erased_);
            }
            return;
        }
        switch (d & 0xFF) {
        case 0x00:
        case 0xFF: mode_ = Mode::Array; break;
        case 0x90: mode_ = Mode::Id; break;
        case 0x10:
        case 0x40: mode_ = Mode::ProgramSetup; break;
        case 0x30: mode_ = Mode::ChipEraseSetup; break;
        case 0x20:
            if (cfg_.readSequenceEntry) mode_ = Mode::EraseSetup;
            break;
        default: break;
        }
        return;
    }
    const Mode was = mode_;
    switch (was) {
    case Mode::ProgramSetup:
        mode_ = Mode::Status;
        Program(env, a, cfg_.byteLane ? LaneWord(d) : d);
        return;
    case Mode::EraseSetup:
    case Mode::ChipEraseSetup:
        if (!Confirmed(d)) return;
        if (was == Mode::EraseSetup) {
            const uint32_t b = BlockOf(a);
            Erase(env, b, b, cfg_.blockEraseUs);
        } else if (cfg_.dieWords != 0) {
            // The die of the address.
            ++wholeErases_;
            const uint32_t base = a / cfg_.dieWords * cfg_.dieWords;
            Erase(env, BlockOf(base), BlockOf(base + cfg_.dieWords - 1), cfg_.chipEraseUs);
        } else {
            // The whole array of the selected chip.
            const uint32_t span = static_cast<uint32_t>(cfg_.twoChips ? cells_.size() / 2 : cells_.size());
            chipErasing_ = true;
            ++wholeErases_;
            Erase(env, BlockOf(ChipBase()), BlockOf(ChipBase() + span - 1), cfg_.chipEraseUs);
            chipErasing_ = false;
        }
        return;
    case Mode::TwoByte:
        // The first byte waits in the buffer; the second programs the word.
        if (buffer_.empty()) {
            buffer_.push_back({a, LaneWord(d)});
            return;
        }
        mode_ = Mode::Status;
        Program(env, a, static_cast<uint16_t>(buffer_.front().data & LaneWord(d)));
        return;
    case Mode::PageLoad:
        buffer_.push_back({a, d});
        if (buffer_.size() == cfg_.pageWords) ProgramLoaded(env);
        return;
    case Mode::LockBitSetup:
        if (!Confirmed(d)) return;
        lockWrites_.push_back(BlockOf(a));
        busyEnd_ = BusyUntil(env, cfg_.programUs);
        if (BlockOf(a) < locks_.size()) locks_[BlockOf(a)] = true;
        return;
    case Mode::BufferCount:
        mode_ = Mode::Status;
        if ((d & 0xFF) + 1u > cfg_.bufferWords * (cfg_.byteLane ? 2 : 1)) {
            status_ |= 0x30; // more words than the buffer holds: a sequence error
            return;
        }
        buffer_.clear();
        bufferLeft_ = (d & 0xFF) + 1u;
        mode_ = Mode::BufferData;
        return;
    case Mode::BufferData:
        buffer_.push_back({a, cfg_.byteLane ? LaneWord(d) : d});
        if (--bufferLeft_ == 0) mode_ = Mode::BufferConfirm;
        return;
    case Mode::BufferConfirm:
        if (Confirmed(d)) ProgramLoaded(env);
        return;
    case Mode::LockSetup:
        if (!Confirmed(d)) return;
        // The lock bits are volatile: the unlock takes effect at once.
        unlocks_.push_back(BlockOf(a));
        if (jammed_.count(BlockOf(a)) == 0 && BlockOf(a) < locks_.size()) locks_[BlockOf(a)] = false;
        return;
    default:
        break;
    }
    switch (d & 0xFF) {
    case 0xFF: mode_ = Mode::Array; break;
    case 0x90: mode_ = Mode::Id; break;
    case 0x70: mode_ = Mode::Status; break;
    case 0x50: status_ &= static_cast<uint8_t>(~0x38); break;
    case 0x40:
    case 0x10: mode_ = Mode::ProgramSetup; break;
    case 0x20: mode_ = Mode::EraseSetup; break;
    case 0xA7:
        if (cfg_.chipErase) mode_ = Mode::ChipEraseSetup;
        break;
    case 0x30:
        if (cfg_.chipErase30) mode_ = Mode::ChipEraseSetup;
        break;
    case 0x60:
        if (cfg_.lockedAtPowerUp) mode_ = Mode::LockSetup;
        break;
    case 0xE8:
        if (cfg_.bufferWords != 0) mode_ = Mode::BufferCount;
        break;
    case 0xFB:
        if (cfg_.twoByteWrite) mode_ = Mode::TwoByte, buffer_.clear();
        break;
    case 0x41:
        if (cfg_.pageWords != 0) mode_ = Mode::PageLoad, buffer_.clear();
        break;
    case 0x77:
        if (cfg_.lockBits) mode_ = Mode::LockBitSetup;
        break;
    case 0x71:
        if (cfg_.lockBits) mode_ = Mode::BlockStatus;
        break;
    default: break; // unassigned codes and a lone D0h change nothing
    }
}

uint16_t CommandFlashChip::OutputWord(const PinEnvironment& env) const {
    const uint32_t a = AddressNow(env);
    if (pollByte_ >= 0 && !Ready(env)) return static_cast<uint16_t>(~pollByte_ & 0x80);
    if (bufferRefused_) return 0x00;
    switch (mode_) {
    case Mode::Array:
    case Mode::Verify:
    case Mode::Programming:
    case Mode::Erasing:
        if (cells_.empty()) return erased_;
        if (cfg_.byteLane) return Level(env, pins_.address.front()) ? cells_[a] >> 8 : cells_[a] & 0xFF;
        return cells_[a];
    case Mode::Id: {
        const uint16_t code = (a & 1) == 0 ? cfg_.makerId : wrongId_ >= 0 ? static_cast<uint16_t>(wrongId_) : cfg_.deviceId;
        return cfg_.byteLane ? static_cast<uint16_t>(code & 0xFF) : code;
    }
    case Mode::BlockStatus: {
        const bool open = reportUnlocked_ || !BlockLocked(BlockOf(a));
        return static_cast<uint16_t>((Ready(env) ? 0x80 : 0) | (open ? 0x40 : 0));
    }
    case Mode::BufferCount: return Ready(env) ? 0x80 : 0x00; // the buffer is free
    default: return static_cast<uint16_t>(Ready(env) ? status_ | 0x80 : status_ & 0x7F);
    }
}

bool CommandFlashChip::AnswersStatus() const {
    if (pollByte_ >= 0) return false; // data polling answers on the cells
    if (bufferRefused_) return true;
    switch (mode_) {
    case Mode::Array:
    case Mode::Verify:
    case Mode::Programming:
    case Mode::Erasing:
    case Mode::Id:
        return false;
    default:
        return true;
    }
}

bool CommandFlashChip::Driving(const PinEnvironment& env) const {
    return wasPowered_ && Enabled(env) && Level(env, pins_.oe) == 0 && Level(env, pins_.we) == 1;
}

ChipDrive CommandFlashChip::Output(const PinEnvironment& env, int socketPin) const {
    // Asked pin by pin for one data word: the answer of the first pin serves
    // the others.
    const uint64_t revision = env.SupplyRevision(), now = env.NowUs();
    if (revision == 0 || memo_.revision != revision || memo_.now != now || memo_.serial != serial_) {
        memo_ = OutputMemo{revision, now, serial_, Driving(env), false, 0};
    }
    if (memo_.driving) {
        const int bit = socketPin >= 1 && socketPin <= kSocketPins ? dataBitOf_[socketPin] : -1;
        if (bit >= 0) {
            if (!memo_.wordKnown) memo_.word = OutputWord(env), memo_.wordKnown = true;
            return ((memo_.word >> bit) & 1) ? ChipDrive::High : ChipDrive::Low;
        }
    }
    return DiodeNetworkOutput(env, socketPin);
}

// The datum is worked out once for the whole data word.
void CommandFlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    const bool driving = Driving(env);
    bool known = false;
    uint16_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        const int z = socketPins[i];
        const int bit = driving && z >= 1 && z <= kSocketPins ? dataBitOf_[z] : -1;
        if (bit >= 0) {
            if (!known) word = OutputWord(env), known = true;
            out[i] = ((word >> bit) & 1) ? ChipDrive::High : ChipDrive::Low;
        } else {
            out[i] = ChipPinAt(z) != 0 ? DiodeNetworkOutput(env, z) : ChipDrive::None;
        }
    }
}

} // namespace sim
