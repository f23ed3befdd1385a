#include "sim/MemoryBus.h"

#include <algorithm>
#include <bit>

#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/GangAdapter.h"
#include "sim/JedecFlashChip.h"

namespace sim {

namespace {

// Bit p for socket pin p, 0 for a pin off the socket.
uint64_t PinBit(int pin) {
    return pin >= 1 && pin <= kSocketPins ? uint64_t{1} << pin : 0;
}

// The pinout an image drives: JEDEC byte-wide or the 16-bit 40-pin part.
EpromConfig PinoutOf(int pinCount) {
    switch (pinCount) {
    case 24:
        return Jedec24("", 1u << 12);
    case 32:
        return Jedec32("", 1u << 20);
    case 40:
        return Word40("", 1u << 18);
    default:
        return Jedec28("", 1u << 16);
    }
}

} // namespace

MemoryBusPersonality::MemoryBusPersonality(const LogicImageHeader& header) {
    kind_ = header.params[0];
    pinCount_ = header.params[1] ? header.params[1] : 28;
    role_ = header.params[5];
    gate_ = header.params[6];
    counterLoad_ = header.params[7] == 1;
    highRouting_ = header.params[8];
    EpromConfig pinout = PinoutOf(pinCount_);
    flashPinout_ = (header.params[9] & 1) != 0;
    readSteps_ = (header.params[9] & 2) != 0;
    wordDrivers_ = kind_ == 2 && (header.params[9] & 4) != 0;
    if (flashPinout_ && pinCount_ != 40) {
        const FlashPinout f = FlashPinoutById(pinCount_ == 32 ? kPinoutDip32 : kPinoutDip28);
        pinout.addressPins = f.address;
        pinout.dataPins = f.data;
        pinout.cePin = f.ce, pinout.oePin = f.oe, pinout.vccPin = f.vcc[0];
    }
    const std::vector<int> seat = DipSocketPins(pinout.pinCount);
    auto socketOf = [&](int chipPin) { return chipPin >= 1 && chipPin <= pinout.pinCount ? seat[static_cast<size_t>(chipPin - 1)] : 0; };
    const size_t lines = std::min<size_t>(header.params[2], pinout.addressPins.size());
    for (size_t i = 0; i < lines; ++i) addressPins_.push_back(socketOf(pinout.addressPins[i]));
    for (int d : pinout.dataPins) dataPins_.push_back(socketOf(d));
    if (kind_ != 2) dataPins_.resize(8);
    cePin_ = socketOf(pinout.cePin);
    oePin_ = socketOf(pinout.oePin);
    vccPin_ = socketOf(pinout.vccPin);
    pgmPin_ = socketOf(header.params[3]);
    pwPin_ = socketOf(header.params[4]);
    auto tables = [&](const std::vector<int>& pins, uint64_t& mask, std::vector<std::array<uint64_t, 256>>& high) {
        high.assign((pins.size() + 7) / 8, {});
        for (size_t i = 0; i < pins.size(); ++i) {
            const uint64_t bit = PinBit(pins[i]);
            if (mask & bit) maskTables_ = false; // named twice: the later drive wins, walk the list
            mask |= bit;
            for (unsigned v = 0; v < 256; ++v) {
                if ((v >> (i % 8)) & 1) high[i / 8][v] |= bit;
            }
        }
    };
    tables(addressPins_, addressMask_, addressTables_);
    tables(dataPins_, dataMask_, dataTables_);
    for (size_t i = 8; i < dataPins_.size(); ++i) dataHighMask_ |= PinBit(dataPins_[i]);
    for (int selected = 0; selected < 2; ++selected) {
        for (unsigned v = 0; v < 256; ++v) strobeLines_[selected][v] = StrobeLines(static_cast<uint8_t>(v), selected != 0);
    }
}

std::vector<std::pair<int, Socket*>> MemoryBusPersonality::ReadSockets() {
    std::vector<std::pair<int, Socket*>> out;
    if (!prog_) return out;
    GangAdapter* g = GangAdapter::Find(*prog_);
    if (g == nullptr) {
        if (Socket* own = Socket::Find(*prog_)) out.emplace_back(0, own);
        return out;
    }
    // The mask selects the sockets whose data a read sees (role 0), or the
    // sockets whose /CE or /OE it enables (roles 1 and 2).
    for (int s = 0; s < GangAdapter::kSockets; ++s) {
        if (!(mask_ & (1u << s)) && !g->SocketAt(s).Empty()) out.emplace_back(s, &g->SocketAt(s));
    }
    return out;
}

MemoryBusPersonality::Lines MemoryBusPersonality::LinesFor(int s) const {
    const uint8_t v = strobes_;
    if (v == 0) return Lines{};
    const bool selected = !(mask_ & (1u << s));
    Lines l = strobeLines_[selected ? 1 : 0][v];
    // Write-strobe mode: /PGM follows the data writes instead.
    if (kind_ != 2 && reg7_ == 1 && v == 0x15) l.pgm = !armed_;
    if (v == 0x19) {
        l.oe = true;
        l.pgm = !queueWe_;
    }
    if (GatedOut(s)) l.ce = l.pgm = l.pw = true;
    return l;
}

// The lines register 4 value v gives a socket the mask selects or not, before
// the write-strobe mode, the queue run and the program-strobe gate.
MemoryBusPersonality::Lines MemoryBusPersonality::StrobeLines(uint8_t v, bool selected) const {
    Lines l;
    if (v == 0) return l;
    l.released = false;
    auto in = [&](std::initializer_list<uint8_t> set) {
        for (uint8_t x : set) {
            if (x == v) return true;
        }
        return false;
    };
    // Images with word drivers drive data bits 8-15 only with the 9xh set.
    l.highData = !wordDrivers_ || (v & 0x80) != 0;
    switch (role_) {
    case 1:
        l.ce = !selected;
        l.oe = !in({0x1F, 0x0F});
        l.pgm = !in({0x15, 0x11});
        l.pw = v != 0x11;
        break;
    case 2:
        l.ce = v == 0x13;
        l.oe = !(selected && in({0x0F, 0x1F, 0x97, 0x9F}));
        l.pgm = !in({0x15, 0x95, 0x11, 0x13});
        l.pw = !in({0x11, 0x13});
        break;
    default:
        l.ce = in({0x1F, 0x9F, 0x13});
        l.oe = !in({0x0F, 0x97});
        l.pgm = !in({0x15, 0x95, 0x11, 0x13});
        l.pw = !in({0x11, 0x13});
        break;
    }
    return l;
}

bool MemoryBusPersonality::GatedOut(int s) const {
    if (gate_ == 0 || role_ == 1) return false;
    if (strobes_ != 0x15 && strobes_ != 0x95 && strobes_ != 0x11) return false;
    const bool maskHigh = (mask_ & (1u << s)) != 0;
    return gate_ == 1 ? maskHigh : !maskHigh;
}

bool MemoryBusPersonality::SequentialSteps() const { return !counterLoad_ || loadState_ == 2; }

uint32_t MemoryBusPersonality::PartAddress() const {
    if (kind_ == 2 && highRouting_ != 0 && !(reg2_ & 0x10) && reg8_ != 1) return counter_ & 0xFFFFu;
    return counter_;
}

void MemoryBusPersonality::Snapshot(int s) {
    // The drives as masks, a later drive of a pin winning as it would
    // written pin by pin: address, data, /CE, /OE, /PGM, /PW.
    uint64_t driven = 0, high = 0;
    auto put = [&](uint64_t bits, uint64_t highBits) {
        driven |= bits;
        high = (high & ~bits) | (highBits & bits);
    };
    auto word = [&](const std::vector<int>& pins, uint64_t mask, const std::vector<std::array<uint64_t, 256>>& tables,
                    uint32_t value) {
        if (maskTables_) {
            uint64_t h = 0;
            for (size_t k = 0; k < tables.size(); ++k) h |= tables[k][(value >> (8 * k)) & 0xFF];
            put(mask, h);
            return;
        }
        for (size_t i = 0; i < pins.size(); ++i) {
            const uint64_t bit = PinBit(pins[i]);
            put(bit, ((value >> i) & 1) != 0 ? bit : 0);
        }
    };
    // The drives follow from these alone (the pin lists and the image's
    // parameters stay): while they stand, the drives drawn last stand.
    const uint32_t address = PartAddress();
    const DriveInputs in{true, DriveInputs::Lines(strobes_, mask_, reg7_, armed_, queueWe_, dataLow_, dataHigh_), address};
    const bool same = in == drawnInputs_[s];
    // Neither the drives nor the supplies moved: the table stands as drawn.
    if (same && SnapshotSuppliesCurrent(s)) return;
    drawnInputs_[s] = in;
    if (same) {
        driven = snapDriven_[s];
        high = snapHigh_[s];
    }
    const Lines l = same ? Lines{} : LinesFor(s);
    if (!l.released) {
        word(addressPins_, addressMask_, addressTables_, address);
        if (l.oe) {
            word(dataPins_, dataMask_, dataTables_, static_cast<uint32_t>(dataLow_ | (dataHigh_ << 8)));
            if (!l.highData) {
                driven &= ~dataHighMask_;
                high &= ~dataHighMask_;
            }
        }
        put(PinBit(cePin_), l.ce ? PinBit(cePin_) : 0);
        put(PinBit(oePin_), l.oe ? PinBit(oePin_) : 0);
        put(PinBit(pgmPin_), l.pgm ? PinBit(pgmPin_) : 0);
        put(PinBit(pwPin_), l.pw ? PinBit(pwPin_) : 0);
    }
    // The supplies moved: the snapshot starts again from them, undriven.
    PinCondition* c = snap_[s];
    const uint64_t reset = ResetSnapshotSupplies(s); // those pins are undriven again
    snapDriven_[s] &= ~reset;
    snapHigh_[s] &= ~reset;
    // Only the pins whose drive moved are written.
    uint64_t moved = (driven ^ snapDriven_[s]) | (high ^ snapHigh_[s]);
    snapDriven_[s] = driven;
    snapHigh_[s] = high;
    if (moved != 0) TableMoved(s);
    while (moved != 0) {
        const int p = std::countr_zero(moved);
        moved &= moved - 1;
        c[p].driven = ((driven >> p) & 1) != 0;
        c[p].drivenHigh = ((high >> p) & 1) != 0;
    }
}

uint8_t MemoryBusPersonality::ReadData(int byteIndex) {
    Sync();
    ++dataReads_;
    const std::vector<std::pair<int, Socket*>> sockets = ReadSockets();
    if (sockets.empty()) return 0xFF;
    const size_t first = static_cast<size_t>(byteIndex) * 8;
    if (first >= dataPins_.size()) return 0;
    const size_t n = std::min<size_t>(8, dataPins_.size() - first);
    // Several sockets answer together on the data lines, combined as the
    // gang adapter wires them (different data are a violation).
    std::vector<GangAdapter::Answer> answers;
    for (const auto& [s, socket] : sockets) {
        View view(*this, s);
        answers.push_back({static_cast<uint16_t>(socket->ReadLevels(view, dataPins_.data() + first, n)), false});
    }
    if (answers.size() == 1) return static_cast<uint8_t>(answers.front().value);
    return static_cast<uint8_t>(GangAdapter::Combine(*prog_, answers));
}

bool MemoryBusPersonality::ValidStrobe(uint8_t v) const {
    if (role_ == 1) {
        for (uint8_t x : {0x00, 0x1F, 0x0F, 0x1D, 0x11, 0x15}) {
            if (x == v) return true;
        }
        return false;
    }
    for (uint8_t x : {0x00, 0x1F, 0x0F, 0x15, 0x1D, 0x11, 0x13, 0x9F, 0x95, 0x97, 0x19}) {
        if (x == v) return true;
    }
    return false;
}

// Plays the first `entries` entries of the queue (see the header).
bool MemoryBusPersonality::RunQueue(uint32_t entries) {
    const bool withAddress = mode_ == 6;
    const size_t dataBytes = kind_ == 2 ? 2 : 1;
    const size_t size = dataBytes + (withAddress ? 2 : 0);
    if (strobes_ != 0x19 || (mode_ != 6 && mode_ != 3) || entries * size > queueFilled_) return false;
    const uint32_t start = counter_;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* e = &queue_[i * size];
        if (withAddress) {
            counter_ = (counter_ & 0xFF0000u) | e[0] | (static_cast<uint32_t>(e[1]) << 8);
            e += 2;
        } else {
            counter_ = start + i;
        }
        dataLow_ = e[0];
        if (dataBytes == 2) dataHigh_ = e[1];
        UpdateChips();
        queueWe_ = true;
        UpdateChips();
        queueWe_ = false;
        UpdateChips();
    }
    runEndsUs_ = prog_->NowUs() + entries; // a microsecond an entry
    return true;
}

bool MemoryBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (reg == 12) {
        prog_ = &p;
        if (queueAt_ >= queue_.size()) return Unexpected(p, "memory bus", reg, value); // the queue is full
        queue_[queueAt_++] = value;
        queueFilled_ = std::max(queueFilled_, queueAt_);
        return true;
    }
    if (reg == 13) {
        // The DAC strobe rewinds the queue; in mode 0 it begins a new one.
        if ((value & 0x80) != 0 && (reg13_ & 0x80) == 0) {
            queueAt_ = 0;
            if (mode_ == 0) queueFilled_ = 0;
        }
        reg13_ = value;
    }
    if (!BeginWrite(p, reg)) return false;
    auto bad = [&] { return Unexpected(p, "memory bus", reg, value); };
    // An address or data write ends a write-strobe pulse before the lines move.
    if (armed_ && (reg <= 2 || reg == 6)) {
        armed_ = false;
        UpdateChips();
    }
    switch (reg) {
    case 0:
        if (kind_ == 3 && lastLow_ == 0xFF && value == 0x00) counter_ = (counter_ & 0xFF0000u) | ((counter_ + 0x100u) & 0xFF00u);
        lastLow_ = value;
        counter_ = (counter_ & ~0xFFu) | value;
        break;
    case 1:
        if (kind_ == 3) {
            if (value != 0x00 && value != 0xA0) return bad();
            counter_ &= ~0xFF00u;
        } else {
            counter_ = (counter_ & ~0xFF00u) | (static_cast<uint32_t>(value) << 8);
        }
        if (mode_ == 9 && loadState_ < 2) loadState_ = value == 0xFF ? 1 : loadState_ == 1 && value == 0 ? 2 : 0;
        break;
    case 2:
        if (kind_ == 2) {
            const bool powered = vccPin_ != 0 && electrical_[vccPin_].Supplied();
            if (value > 0x1F || (highRouting_ == 2 && powered && !(value & 0x10))) return bad();
            reg2_ = value;
            counter_ = (counter_ & 0xFFFFu) | (static_cast<uint32_t>(value & 0x0F) << 16);
        } else {
            counter_ = (counter_ & 0xFFFFu) | (static_cast<uint32_t>(value) << 16);
        }
        break;
    case 3:
        mask_ = value;
        break;
    case 4: {
        if (!ValidStrobe(value)) return bad();
        const bool strobeEnd = strobes_ == 0x0F && value == 0x1F && mode_ == 1 && kind_ != 3;
        strobes_ = value;
        if (strobeEnd) {
            UpdateChips();
            ++counter_;
        }
        break;
    }
    case 5:
        if (value != 0 && value != 1 && value != 8 && value != 9 && value != 6 && value != 3) return bad();
        mode_ = value;
        loadState_ = 0;
        break;
    case 6:
        dataLow_ = value;
        if (kind_ != 2 && reg7_ == 1 && strobes_ == 0x15) {
            UpdateChips(); // data on the lines before the strobe falls
            armed_ = true;
        }
        break;
    case 7:
        if (kind_ == 2) {
            dataHigh_ = value;
        } else {
            if (value != 0 && value != 1 && value != 3) return bad();
            reg7_ = value;
        }
        break;
    case 8:
        if (value != 0 && !(kind_ == 2 && value == 1)) return bad();
        reg8_ = value;
        break;
    case 9:
        runHigh_ = value;
        break;
    case 10:
        if (value == 0 && runHigh_ == 0) break; // the reset value
        if (!RunQueue(static_cast<uint32_t>(runHigh_) << 8 | value)) return bad();
        break;
    default:
        if (value != 0) return bad();
        break;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> MemoryBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (reg == 6) {
        const uint8_t v = ReadData(0);
        const bool step = (kind_ == 3 && (mode_ == 1 || mode_ == 9)) || (readSteps_ && kind_ == 0 && mode_ == 1) || (kind_ == 0 && mode_ == 9 && SequentialSteps());
        if (step) {
            ++counter_;
            UpdateChips();
        }
        return v;
    }
    if (reg == 7 && kind_ == 2) {
        const uint8_t v = ReadData(1);
        if ((mode_ == 9 && SequentialSteps()) || (readSteps_ && mode_ == 1)) {
            ++counter_;
            UpdateChips();
        }
        return v;
    }
    Sync();
    if (reg == 2) return static_cast<uint8_t>(p.NowUs() < runEndsUs_ ? 1 : 0);
    return std::nullopt;
}

void RegisterMemoryBusPersonality() { SocketBusPersonality::Register<MemoryBusPersonality>(kPersonalityMemoryBus); }

} // namespace sim
