#include "sim/SerialChips.h"

#include <algorithm>

namespace sim {

namespace {
int Log2(uint32_t n) {
    int b = 0;
    while ((1u << b) < n) ++b;
    return b;
}
} // namespace

// ---- common --------------------------------------------------------------------

SerialChipBase::SerialChipBase(std::string name, SerialSupply supply, int groundPin, int vccPin,
                               std::vector<int> socketPins)
    : ProbeChip(socketPins.empty() ? DipSocketPins(8) : std::move(socketPins), {}, std::move(name)), supply_(supply),
      groundPin_(groundPin), vccPin_(vccPin), sockets_(ProbeChip::SocketPins().data()),
      vccSocket_(Socket(vccPin)), groundSocket_(Socket(groundPin)) {
    for (int pin = 1; pin <= kSocketPins; ++pin) chipPinOn_[pin] = static_cast<uint8_t>(ChipPinAt(pin));
}

ChipPinLimits SerialChipBase::Limits() const {
    ChipPinLimits l;
    l.chip = Name();
    l.socketPins = SocketPins();
    l.raised = raised_;
    return l;
}

bool SerialChipBase::PoweredNow(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    const int v = env.VoltageTenths(vccSocket_);
    const bool powered = v >= supply_.vccMinTenths && v <= supply_.vccMaxTenths && env.HeldLow(groundSocket_);
    // Kept while only logic levels move, unless a logic driver holds either pin.
    const PinCondition vcc = env.ConditionAt(vccSocket_), ground = env.ConditionAt(groundSocket_);
    const bool switched = (vcc.grounded || vcc.supplyTenths >= 0) && (ground.grounded || ground.supplyTenths >= 0);
    poweredRevision_ = switched ? revision : 0;
    poweredKept_ = powered;
    return powered;
}

bool SerialChipBase::Busy(const PinEnvironment& env) const {
    return (neverReady_ && writeCycles_ > 0) || env.NowUs() < busyUntilUs_;
}

void SerialChipBase::StartWriteCycle(const PinEnvironment& env, uint32_t us) {
    ++writeCycles_;
    busyUntilUs_ = env.NowUs() + us;
}

void SerialChipBase::StickBit(uint32_t byteAddress, int bit, int level) {
    stuck_.push_back({byteAddress, static_cast<uint8_t>(1u << bit), static_cast<uint8_t>(level ? 0xFF : 0)});
}

uint8_t SerialChipBase::ReadCell(uint32_t address) const {
    address %= static_cast<uint32_t>(cells_.size());
    uint8_t v = cells_[address];
    for (const Stuck& s : stuck_) {
        if (s.address == address) v = static_cast<uint8_t>((v & ~s.mask) | (s.level & s.mask));
    }
    return v;
}

void SerialChipBase::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        if (powered_) PowerLost();
        powered_ = false;
        return;
    }
    if (!powered_) PowerLost(); // a fresh power-up starts from the reset state
    powered_ = true;
    PinsChanged(env);
}

ChipDrive SerialChipBase::Output(const PinEnvironment& env, int socketPin) const {
    if (!Powered(env)) return DiodeNetworkOutput(env, socketPin);
    return PoweredOutput(env, ChipPinOn(socketPin));
}

// ---- Microwire -------------------------------------------------------------------

MicrowireChip::MicrowireChip(const MicrowireFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 5), facts_(facts) {
    cells_.assign(facts.bits / 8, 0xFF);
}

bool MicrowireChip::Words(const PinEnvironment& env) const {
    switch (facts_.org) {
    case MicrowireFacts::Org::Bytes:
        return false;
    case MicrowireFacts::Org::Words:
        return true;
    case MicrowireFacts::Org::Pin:
        break;
    }
    return env.InputLevel(Socket(6)) != 0; // ORG pulled up inside: open means words
}

uint32_t MicrowireChip::ReadUnit(uint32_t a) const {
    const uint32_t units = static_cast<uint32_t>(cells_.size()) / (words_ ? 2 : 1);
    a %= units;
    return words_ ? Word(a) : ReadCell(a);
}

void MicrowireChip::WriteUnit(uint32_t a, uint32_t v, bool erase) {
    const uint32_t units = static_cast<uint32_t>(cells_.size()) / (words_ ? 2 : 1);
    a %= units;
    const auto put = [&](uint32_t at, uint8_t b) { cells_[at] = erase ? 0xFF : facts_.autoErase ? b : (cells_[at] & b); };
    if (words_) {
        put(2 * a, static_cast<uint8_t>(v >> 8));
        put(2 * a + 1, static_cast<uint8_t>(v));
    } else {
        put(a, static_cast<uint8_t>(v));
    }
}

void MicrowireChip::Run(const PinEnvironment& env, const MicrowireDecoder::Command& c) {
    using Op = MicrowireDecoder::Op;
    switch (c.op) {
    case Op::Enable:
    case Op::Disable:
        writeEnabled_ = c.op == Op::Enable;
        return;
    case Op::Write:
    case Op::Erase:
    case Op::EraseAll:
    case Op::WriteAll:
        break;
    default:
        return;
    }
    if (!writeEnabled_ || (facts_.programEnablePin && env.InputLevel(Socket(7)) == 0)) return;
    const uint32_t units = static_cast<uint32_t>(cells_.size()) / (words_ ? 2 : 1);
    if (c.op == Op::Write || c.op == Op::Erase) {
        WriteUnit(c.address, c.data, c.op == Op::Erase);
    } else {
        for (uint32_t a = 0; a < units; ++a) WriteUnit(a, c.data, c.op == Op::EraseAll);
    }
    StartWriteCycle(env, c.op == Op::Write || c.op == Op::Erase ? facts_.writeUs : facts_.eraseAllUs);
    showStatus_ = true;
}

void MicrowireChip::PinsChanged(const PinEnvironment& env) {
    const bool cs = env.InputLevel(Socket(1)) != 0;
    const bool sk = env.InputLevel(Socket(2)) != 0;
    const bool di = env.InputLevel(Socket(3)) != 0;
    if (cs && !decoder_.Selected()) {
        words_ = Words(env);
        const uint32_t units = facts_.bits / (words_ ? 16 : 8);
        decoder_.Configure(Log2(units) + facts_.dontCareBits, words_ ? 16 : 8);
    }
    Run(env, decoder_.Select(cs));
    if (cs && sk && !sk_ && !Busy(env)) {
        if (decoder_.AwaitingStart() && di) showStatus_ = false;
        Run(env, decoder_.Clock(di, [this](uint32_t a) { return ReadUnit(a); }));
    }
    sk_ = sk;
}

void MicrowireChip::PowerLost() {
    decoder_.Select(false);
    writeEnabled_ = false;
    showStatus_ = false;
    sk_ = false;
}

ChipDrive MicrowireChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    if (chipPin != 4 || !decoder_.Selected()) return ChipDrive::None;
    if (decoder_.Reading()) return decoder_.DataOut() ? ChipDrive::High : ChipDrive::Low;
    if (showStatus_ && decoder_.AwaitingStart()) return Busy(env) ? ChipDrive::Low : ChipDrive::High;
    return ChipDrive::None;
}

// ---- two-wire --------------------------------------------------------------------

TwoWireChip::TwoWireChip(const TwoWireFacts& facts) : SerialChipBase(facts.name, facts.supply, 4), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

bool TwoWireChip::BusSda(const PinEnvironment& env) const {
    const int sda = Socket(5);
    if (env.HeldHigh(sda)) return true; // a driver against the chip wins (and is reported by the personality)
    if (bits_.PullsLow()) return false;
    return env.InputLevel(sda) != 0;
}

void TwoWireChip::PowerLost() {
    register_ = static_cast<uint8_t>(register_ & 0x98);
    pendingRegister_ = -1;
    mode_ = Mode::Idle;
    bits_.Clear();
    page_.clear();
    fresh_ = true;
}

void TwoWireChip::PinsChanged(const PinEnvironment& env) {
    const bool scl = env.InputLevel(Socket(6)) != 0;
    const bool sda = BusSda(env);
    if (fresh_) {
        fresh_ = false;
    } else if (scl_ && scl && sda_ != sda) {
        if (!sda) {
            // START: a write not closed by STOP is dropped.
            ++starts_;
            page_.clear();
            pendingRegister_ = -1;
            mode_ = Busy(env) ? Mode::Ignore : Mode::Control;
            bits_.Clear();
        } else {
            ++stops_;
            if (mode_ == Mode::Writing && !page_.empty()) Commit(env);
            if (pendingRegister_ >= 0) {
                if (!registerFrozen_) register_ = static_cast<uint8_t>(pendingRegister_ | (register_ & 2));
                pendingRegister_ = -1;
                StartWriteCycle(env, facts_.writeUs);
            }
            mode_ = Mode::Idle;
            bits_.Clear();
        }
    } else if (!scl_ && scl) {
        Rising(env, sda);
    } else if (scl_ && !scl) {
        Falling();
    }
    scl_ = scl;
    sda_ = BusSda(env);
}

void TwoWireChip::Rising(const PinEnvironment& env, bool sda) {
    if (mode_ == Mode::Idle || mode_ == Mode::Ignore) return;
    if (bits_.Rising(sda)) ByteIn(env, bits_.Received()); // acknowledged unless it leaves the frame ignored
}

void TwoWireChip::Load() { bits_.Send(registerRead_ ? register_ : ReadCell(pointer_)); }

void TwoWireChip::Falling() {
    if (mode_ == Mode::Idle || mode_ == Mode::Ignore) {
        bits_.Release();
        return;
    }
    switch (bits_.Falling()) {
    case TwoWireBits::Edge::MasterDone:
        mode_ = Mode::Idle;
        return;
    case TwoWireBits::Edge::NextByte:
        if (!registerRead_) pointer_ = (pointer_ + 1) % facts_.bytes;
        registerRead_ = false;
        Load();
        return;
    case TwoWireBits::Edge::AckDone:
        if (mode_ == Mode::Reading) Load();
        return;
    case TwoWireBits::Edge::None:
        return;
    }
}

void TwoWireChip::ByteIn(const PinEnvironment& env, uint8_t b) {
    const bool read = (b & 1) != 0;
    switch (mode_) {
    case Mode::Control: {
        if (Busy(env)) {
            mode_ = Mode::Ignore;
            return;
        }
        if (facts_.addressForm == 0) {
            registerRead_ = false;
            pointer_ = (b >> 1) % facts_.bytes;
            mode_ = read ? Mode::Reading : Mode::Writing;
            page_.clear();
            return;
        }
        const int blockBits = facts_.addressForm == 1 ? Log2((facts_.bytes + 255) / 256) : 0;
        const int selectBits = blockBits > 3 ? blockBits : 3;
        const uint32_t select = (b >> 1) & ((1u << selectBits) - 1);
        uint32_t pins = 0;
        for (int k = 0; k < 3; ++k) pins |= static_cast<uint32_t>(env.InputLevel(Socket(k + 1)) != 0) << k;
        const uint32_t chipBits = 7u & ~((1u << blockBits) - 1);
        if ((b >> (selectBits + 1)) != (facts_.typeCode >> (selectBits + 1)) ||
            (facts_.addressPins && (select & chipBits) != (pins & chipBits))) {
            mode_ = Mode::Ignore; // another device on the bus
            return;
        }
        high_ = select & ((1u << blockBits) - 1);
        mode_ = read ? Mode::Reading : facts_.addressForm == 1 ? Mode::AddressLow : Mode::AddressHigh;
        return;
    }
    case Mode::AddressHigh:
        high_ = b;
        mode_ = Mode::AddressLow;
        return;
    case Mode::AddressLow:
        address_ = (high_ << 8) | b;
        pointer_ = address_ % facts_.bytes;
        page_.clear();
        registerWrite_ = registerRead_ = facts_.protectRegister && address_ == facts_.registerAddress;
        mode_ = Mode::Writing;
        return;
    case Mode::Writing: {
        if (registerWrite_) {
            RegisterByte(env, b);
            return;
        }
        const uint32_t base = pointer_ - pointer_ % facts_.pageBytes;
        page_.emplace_back(pointer_, b);
        pointer_ = base + (pointer_ + 1 - base) % facts_.pageBytes;
        return;
    }
    default:
        return;
    }
}

void TwoWireChip::RegisterByte(const PinEnvironment& env, uint8_t b) {
    registerWrite_ = false; // one byte per write
    const bool enable = (register_ & 2) != 0, armed = (register_ & 4) != 0;
    const bool locked = (register_ & 0x80) != 0 && env.InputLevel(Socket(7)) != 0;
    // With both latches set, any byte with bit 1 set and bit 2 clear is the
    // new value (02h itself stores "no protection"); otherwise 02h sets the
    // write-enable latch and 06h, with it set, arms the register write.
    if ((b & 6) == 2 && enable && armed) {
        if (!locked) pendingRegister_ = b & 0x98;
    } else if (b == 0x02) {
        register_ = static_cast<uint8_t>(register_ | 2);
    } else if ((b & 6) == 6 && enable) {
        register_ = static_cast<uint8_t>(register_ | 4);
    }
}

bool TwoWireChip::Protected(uint32_t address) const {
    const uint32_t bp = (register_ >> 3) & 3;
    if (!facts_.protectRegister || bp == 0) return false;
    const uint32_t from = bp == 1 ? facts_.bytes - facts_.bytes / 4 : bp == 2 ? facts_.bytes / 2 : 0;
    return address >= from;
}

void TwoWireChip::Commit(const PinEnvironment& env) {
    const bool enabled = !facts_.protectRegister || (register_ & 2) != 0;
    bool any = false;
    for (const auto& [a, v] : page_) {
        if (!enabled || Protected(a)) continue; // acknowledged, dropped
        cells_[a] = v;
        any = true;
    }
    page_.clear();
    if (any) StartWriteCycle(env, facts_.writeUs);
}

ChipDrive TwoWireChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    return chipPin == 5 && bits_.PullsLow() ? ChipDrive::Low : ChipDrive::None;
}

// ---- serial NOVRAM ------------------------------------------------------------------

NovramChip::NovramChip(const NovramFacts& facts) : SerialChipBase(facts.name, facts.supply, 5), facts_(facts) {
    cells_.assign(32, 0xFF);
}

uint16_t NovramChip::Ram(uint32_t a) const {
    uint16_t v = ram_[a & 15];
    if ((a & 15) == ramStuck_.word) v = static_cast<uint16_t>((v & ~ramStuck_.mask) | (ramStuck_.level ? ramStuck_.mask : 0));
    return v;
}

void NovramChip::Recall() {
    for (uint32_t a = 0; a < 16; ++a) ram_[a] = EepromWord(a);
    recalled_ = true;
    ++recalls_;
}

void NovramChip::Store(const PinEnvironment& env) {
    if (!writeEnabled_ || !recalled_) return;
    for (uint32_t a = 0; a < 16; ++a) {
        const uint16_t v = Ram(a);
        cells_[2 * a] = static_cast<uint8_t>(v);
        cells_[2 * a + 1] = static_cast<uint8_t>(v >> 8);
    }
    writeEnabled_ = false;
    ++stores_;
    StartWriteCycle(env, facts_.storeUs);
}

void NovramChip::PowerLost() {
    writeEnabled_ = recalled_ = false;
    state_ = State::Standby;
    ce_ = sk_ = false;
    recallPin_ = storePin_ = true;
}

void NovramChip::PinsChanged(const PinEnvironment& env) {
    const bool ce = env.InputLevel(Socket(1)) != 0, sk = env.InputLevel(Socket(2)) != 0;
    const bool di = env.InputLevel(Socket(3)) != 0;
    const bool recall = env.InputLevel(Socket(6)) != 0, store = env.InputLevel(Socket(7)) != 0;
    const bool busy = Busy(env);
    if (!busy && !recall && recallPin_) Recall();
    if (!busy && !store && !ce && (storePin_ || ce_)) Store(env);
    recallPin_ = recall;
    storePin_ = store;
    if (ce != ce_) {
        state_ = ce ? State::WaitStart : State::Standby;
        bits_ = 0;
        instruction_ = data_ = 0;
    }
    ce_ = ce;
    if (ce && sk && !sk_ && !Busy(env)) {
        const uint32_t bit = di ? 1 : 0;
        switch (state_) {
        case State::WaitStart:
            if (di) {
                state_ = State::Instruction;
                instruction_ = 1;
                bits_ = 1;
            }
            break;
        case State::Instruction: {
            instruction_ = (instruction_ << 1) | bit;
            if (++bits_ < 8) break;
            const uint32_t a = (instruction_ >> 3) & 15, code = instruction_ & 7;
            bits_ = 0;
            state_ = State::Done;
            if (code == 3) {
                state_ = State::Data;
                data_ = 0;
            } else if (code == 6 || code == 7) {
                state_ = State::Reading;
                data_ = Ram(a);
                out_ = (data_ & 1) != 0;
                bits_ = 1;
            } else if (code == 4 || code == 0) {
                writeEnabled_ = code == 4;
            } else if (code == 1) {
                Store(env);
            } else if (code == 5) {
                Recall();
            }
            break;
        }
        case State::Data:
            data_ |= bit << bits_;
            if (++bits_ == 16) {
                if (writeEnabled_) ram_[(instruction_ >> 3) & 15] = static_cast<uint16_t>(data_);
                state_ = State::Done;
            }
            break;
        case State::Reading:
            out_ = bits_ < 16 && ((data_ >> bits_) & 1) != 0;
            ++bits_;
            break;
        default:
            break;
        }
    }
    sk_ = sk;
}

ChipDrive NovramChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != 4 || !ce_ || state_ != State::Reading) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

// ---- address-first byte EEPROM ---------------------------------------------------------

AddressFirstChip::AddressFirstChip(const AddressFirstFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 5), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

void AddressFirstChip::PowerLost() {
    writeEnabled_ = false;
    cs_ = false;
    bits_ = 0;
}

void AddressFirstChip::PinsChanged(const PinEnvironment& env) {
    const bool cs = env.InputLevel(Socket(1)) == 0, clk = env.InputLevel(Socket(2)) != 0;
    const bool di = env.InputLevel(Socket(3)) != 0;
    const uint32_t address = frame_ & 0xFF, code = (frame_ >> 8) & 0xFF;
    if (cs_ && !cs) {
        // The frame ends: a complete write or erase runs now.
        if (writeEnabled_ && !Busy(env)) {
            if (code == 0x06 && bits_ == 24) {
                cells_[address % facts_.bytes] = static_cast<uint8_t>(frame_ >> 16);
                StartWriteCycle(env, facts_.writeUs);
            } else if (code == 0x0C && bits_ >= 16) {
                for (auto& c : cells_) c = 0xFF;
                StartWriteCycle(env, facts_.eraseUs);
            }
        }
        if (bits_ >= 16 && (code == 0x09 || code == 0x0B)) writeEnabled_ = code == 0x09;
        if (bits_ >= 16) frames_.emplace_back(static_cast<uint8_t>(address), static_cast<uint8_t>(code));
    }
    if (cs && !cs_) {
        bits_ = 0;
        frame_ = 0;
    }
    cs_ = cs;
    if (cs && !Busy(env)) {
        if (clk && !clk_ && bits_ < 24 && !(bits_ >= 16 && code == 0x01)) {
            frame_ |= static_cast<uint32_t>(di) << bits_;
            ++bits_;
        } else if (!clk && clk_ && bits_ >= 16 && ((frame_ >> 8) & 0xFF) == 0x01) {
            const int k = bits_ - 16;
            out_ = k < 8 && ((ReadCell(address % facts_.bytes) >> k) & 1) != 0;
            ++bits_;
        }
    }
    clk_ = clk;
}

ChipDrive AddressFirstChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    if (chipPin == 7) return Busy(env) ? ChipDrive::Low : ChipDrive::High;
    if (chipPin == 4 && cs_ && bits_ > 16 && ((frame_ >> 8) & 0xFF) == 0x01) return out_ ? ChipDrive::High : ChipDrive::Low;
    return ChipDrive::None;
}

// ---- word EEPROM with an instruction byte --------------------------------------------------

InstructionWordChip::InstructionWordChip(const InstructionWordFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 5), facts_(facts) {
    cells_.assign(2 * facts.words, 0xFF);
}

void InstructionWordChip::PowerLost() {
    writeEnabled_ = false;
    cs_ = false;
    bits_ = 0;
}

void InstructionWordChip::PinsChanged(const PinEnvironment& env) {
    const bool cs = env.InputLevel(Socket(1)) == 0, clk = env.InputLevel(Socket(2)) != 0;
    const bool di = env.InputLevel(Socket(3)) != 0;
    const bool read = (code_ & 0xF8) == 0xA8, write = (code_ & 0xFC) == 0xA4;
    if (cs_ && !cs && write && bits_ == 32 && writeEnabled_ && env.InputLevel(Socket(6)) == 0 && !Busy(env)) {
        const uint32_t a = address_ % facts_.words;
        cells_[2 * a] = static_cast<uint8_t>(data_);
        cells_[2 * a + 1] = static_cast<uint8_t>(data_ >> 8);
        StartWriteCycle(env, facts_.writeUs);
    }
    if (cs != cs_) bits_ = 0, code_ = address_ = data_ = 0;
    cs_ = cs;
    if (cs && !Busy(env)) {
        if (clk && !clk_ && !(read && bits_ >= 16)) {
            const uint32_t bit = di ? 1 : 0;
            if (bits_ < 8) {
                code_ = (code_ << 1) | bit;
                if (bits_ == 7) address_ = ((code_ & 0xF8) == 0xA8 ? code_ & 7 : code_ & 3) << 8;
            } else if (bits_ < 16) {
                address_ |= bit << (bits_ - 8);
            } else if (bits_ < 32) {
                data_ |= bit << (bits_ - 16);
            }
            ++bits_;
            if (code_ == 0xA3 && bits_ == 16) writeEnabled_ = true;
        } else if (clk && !clk_ && read && bits_ < 32) {
            ++bits_;
        } else if (!clk && clk_ && read && bits_ >= 16 && bits_ < 32) {
            const uint32_t a = address_ % facts_.words;
            out_ = ((Word(a) >> (bits_ - 16)) & 1) != 0;
        }
    }
    clk_ = clk;
}

ChipDrive InstructionWordChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    if (chipPin != 4 || !cs_) return ChipDrive::None;
    if (bits_ == 0) return Busy(env) ? ChipDrive::Low : ChipDrive::High;
    if ((code_ & 0xF8) == 0xA8 && bits_ >= 16) return out_ ? ChipDrive::High : ChipDrive::Low;
    return ChipDrive::None;
}

// ---- command-byte EEPROM -------------------------------------------------------------------

CommandByteChip::CommandByteChip(const CommandByteFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 4), facts_(facts) {
    cells_.assign(16, 0xFF);
}

void CommandByteChip::PowerLost() {
    bits_ = -1;
    low_ = false;
    fresh_ = true;
}

void CommandByteChip::PinsChanged(const PinEnvironment& env) {
    const int sclVolts = env.VoltageTenths(Socket(6));
    const bool scl = env.InputLevel(Socket(6)) != 0;
    const bool sda = env.HeldHigh(Socket(5)) || (!low_ && env.InputLevel(Socket(5)) != 0);
    if (fresh_) {
        fresh_ = false;
        scl_ = scl;
        sda_ = sda;
        return;
    }
    // The supply on SCL is not announced: a clock change seen together with a
    // data change came first.
    const bool read = (command_ & 0xC0) == 0x80;
    if (scl && !scl_ && bits_ >= 0 && bits_ < 16) {
        if (bits_ < 8) command_ = (command_ << 1) | (sda_ ? 1 : 0);
        else if (!read) data_ = (data_ << 1) | (sda_ ? 1 : 0);
        ++bits_;
        const bool allowed = highVoltage_ || !facts_.highVoltageEntry;
        if (bits_ == 16 && (command_ & 0xC0) == 0x40 && allowed && !Busy(env)) {
            cells_[(command_ >> 2) & 15] = static_cast<uint8_t>(data_);
            StartWriteCycle(env, facts_.writeUs);
        }
    } else if (!scl && scl_ && bits_ >= 8 && bits_ < 16 && (command_ & 0xC0) == 0x80) {
        low_ = ((ReadCell((command_ >> 2) & 15) << (bits_ - 8)) & 0x80) == 0;
    } else if (!scl && scl_ && bits_ == 16) {
        low_ = false;
    }
    scl_ = scl;
    if (scl && sda != sda_) {
        if (!sda) {
            bits_ = 0;
            command_ = data_ = 0;
            highVoltage_ = sclVolts >= 100;
            hvStarts_ += highVoltage_ ? 1 : 0;
        } else {
            bits_ = -1;
        }
        low_ = false;
    }
    sda_ = env.HeldHigh(Socket(5)) || (!low_ && env.InputLevel(Socket(5)) != 0);
}

ChipDrive CommandByteChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    return chipPin == 5 && low_ ? ChipDrive::Low : ChipDrive::None;
}

// ---- select-frame EEPROM ---------------------------------------------------------------------

SelectFrameChip::SelectFrameChip(const SelectFrameFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 7, 6), facts_(facts) {
    cells_.assign(128, 0xFF);
}

void SelectFrameChip::PowerLost() {
    sel_ = true;
    bits_ = 0;
    frame_ = 0;
    armed_ = Armed::None;
    readBits_ = -1;
}

void SelectFrameChip::PinsChanged(const PinEnvironment& env) {
    const bool sel = env.InputLevel(Socket(2)) != 0, clk = env.InputLevel(Socket(5)) != 0;
    const bool rising = clk && !clk_;
    if (sel_ && !sel) {
        // The frame ends: what it asked for.
        if (!Busy(env) && bits_ == 8) {
            address_ = frame_ & 0x7F;
            if ((frame_ & 0x80) == 0) readBits_ = 0;
            else armed_ = Armed::Erase;
        } else if (!Busy(env) && bits_ == 16 && (frame_ & 0x8000) != 0) {
            data_ = static_cast<uint8_t>(frame_);
            address_ = (frame_ >> 8) & 0x7F;
            armed_ = Armed::Write;
        }
        bits_ = 0;
        frame_ = 0;
    } else if (!sel_ && sel) {
        armed_ = Armed::None;
        readBits_ = -1;
    }
    sel_ = sel;
    if (rising && sel && bits_ < 16) {
        frame_ |= static_cast<uint32_t>(env.InputLevel(Socket(4)) != 0) << bits_;
        ++bits_;
    } else if (rising && !sel && armed_ != Armed::None) {
        cells_[address_] = armed_ == Armed::Erase ? 0xFF : static_cast<uint8_t>(cells_[address_] & data_);
        armed_ = Armed::None;
        StartWriteCycle(env, facts_.writeUs);
    } else if (rising && !sel && readBits_ >= 0 && readBits_ < 8) {
        out_ = ((ReadCell(address_) >> readBits_) & 1) != 0;
        ++readBits_;
    }
    clk_ = clk;
}

ChipDrive SelectFrameChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != 4 || sel_ || readBits_ < 1 || readBits_ > 8) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

// ---- EEPROM on the SPI pinout with one address byte ---------------------------------------

ByteAddressSpiChip::ByteAddressSpiChip(const ByteAddressSpiFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 4), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

void ByteAddressSpiChip::PowerLost() {
    selected_ = false;
    writeEnabled_ = false;
    driving_ = false;
    page_.clear();
}

void ByteAddressSpiChip::Deselected(const PinEnvironment& env) {
    driving_ = false;
    if (instruction_ == 0xA2 && !page_.empty() && writeEnabled_ && env.InputLevel(Socket(3)) != 0) {
        for (const auto& [a, v] : page_) cells_[a] = v;
        StartWriteCycle(env, facts_.writeUs);
    }
    page_.clear();
}

void ByteAddressSpiChip::PinsChanged(const PinEnvironment& env) {
    const bool selected = env.InputLevel(Socket(1)) == 0, sck = env.InputLevel(Socket(6)) != 0;
    if (selected_ && !selected) Deselected(env);
    if (selected && !selected_) {
        clocks_ = 0;
        instruction_ = 0;
    }
    const bool busy = Busy(env);
    if (selected && !selected_ && busy) clocks_ = ~0u; // nothing this selection
    selected_ = selected;
    if (selected && clocks_ != ~0u && sck && !sck_) {
        shift_ = static_cast<uint8_t>(shift_ << 1 | (env.InputLevel(Socket(5)) != 0 ? 1 : 0));
        ++clocks_;
        if (clocks_ % 8 == 0) {
            const uint32_t byte = clocks_ / 8; // 1 the instruction
            if (byte == 1) {
                instruction_ = shift_;
                instructions_.push_back(shift_);
                if (shift_ == 0xA6) writeEnabled_ = true;
                if (shift_ == 0xA4) writeEnabled_ = false;
            } else if (byte == 2) {
                address_ = shift_;
            } else if (instruction_ == 0xA2) {
                const uint32_t p = facts_.pageBytes;
                const uint32_t a = (address_ / p * p + (address_ + byte - 3) % p) % facts_.bytes;
                page_.emplace_back(a, shift_);
            }
        }
    } else if (selected && clocks_ != ~0u && !sck && sck_ && instruction_ == 0xA7 && clocks_ >= 16) {
        // Bit j of the stream after the address: one byte of FFh, then the data.
        const uint32_t j = clocks_ - 16, byte = j / 8;
        const uint8_t v = byte == 0 ? 0xFF : ReadCell((address_ + byte - 1) % facts_.bytes);
        out_ = ((v >> (7 - j % 8)) & 1) != 0;
        driving_ = true;
    }
    sck_ = sck;
}

ChipDrive ByteAddressSpiChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != 2 || !selected_ || !driving_) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

// ---- two-clock EEPROM with 16-bit addresses ---------------------------------------------

TwoClockChip::TwoClockChip(const TwoClockFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 4), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

void TwoClockChip::PowerLost() {
    state_ = State::Idle;
    seenR_ = false;
    dSinceR_ = 0;
    page_.clear();
}

void TwoClockChip::Marker(const PinEnvironment& env, bool end) {
    if (!end) {
        if (Busy(env)) return;
        ++frames_;
        state_ = State::Address;
        bits_ = address_ = 0;
        page_.clear();
        return;
    }
    if (state_ == State::Frame && !page_.empty() && !Busy(env)) {
        for (const auto& [a, v] : page_) cells_[a] = v;
        StartWriteCycle(env, facts_.writeUs);
    }
    page_.clear();
    state_ = State::Poll;
}

void TwoClockChip::PinsChanged(const PinEnvironment& env) {
    const bool dclk = env.InputLevel(Socket(5)) != 0, rclk = env.InputLevel(Socket(6)) != 0;
    if (env.InputLevel(Socket(1)) != 0) {
        state_ = State::Idle;
        seenR_ = false;
        dSinceR_ = 0;
    } else {
        if (dclk && !dclk_) {
            lastD_ = env.InputLevel(Socket(2)) != 0;
            ++dSinceR_;
            if (state_ == State::Address) {
                address_ = (address_ << 1 | (lastD_ ? 1 : 0)) & 0xFFFF;
                if (++bits_ == 16) {
                    state_ = State::Frame;
                    readBit_ = dataBits_ = 0;
                }
            } else if (state_ == State::Frame) {
                shift_ = static_cast<uint8_t>(shift_ << 1 | (lastD_ ? 1 : 0));
                if (++dataBits_ % 8 == 0) {
                    const uint32_t p = facts_.pageBytes, i = dataBits_ / 8 - 1;
                    page_.emplace_back((address_ / p * p + (address_ + i) % p) % facts_.bytes, shift_);
                }
            }
        }
        if (!rclk && rclk_) {
            // A marker is taken as the RCLK pulse that closes it falls, so
            // the chip answers its poll from that pulse on.
            if (seenR_ && dSinceR_ == 1) {
                Marker(env, lastD_);
                dSinceR_ = 0;
                closing_ = true;
            }
            // The chip's bit while RCLK is low.
            if (state_ == State::Poll) out_ = !Busy(env);
            if (state_ == State::Frame) out_ = ((ReadCell((address_ + readBit_ / 8) % facts_.bytes) >> (7 - readBit_ % 8)) & 1) != 0;
        } else if (rclk && !rclk_) {
            if (!closing_ && state_ == State::Frame) ++readBit_;
            closing_ = false;
            seenR_ = true;
            dSinceR_ = 0;
        }
    }
    dclk_ = dclk;
    rclk_ = rclk;
}

ChipDrive TwoClockChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    if (chipPin != 2 || rclk_ || env.InputLevel(Socket(1)) != 0) return ChipDrive::None;
    if (state_ != State::Frame && state_ != State::Poll) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

// ---- serial flash with byte programming -------------------------------------------------

ByteFlashChip::ByteFlashChip(const ByteFlashFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 7, 2), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

void ByteFlashChip::PowerLost() {
    selected_ = false;
    driving_ = false;
    frame_.clear();
}

// Six bytes in: a program or erase frame runs now.
void ByteFlashChip::Complete(const PinEnvironment& env) {
    if (env.InputLevel(Socket(1)) == 0) return; // PE low: no writes
    const auto& f = frame_;
    if (f[0] == 0x10 && f[5] == 0x00) {
        const uint32_t a = (static_cast<uint32_t>(f[1]) << 16 | f[2] << 8 | f[3]) % facts_.bytes;
        cells_[a] = static_cast<uint8_t>(cells_[a] & f[4]);
        StartWriteCycle(env, facts_.programUs);
    } else if (f[0] == 0x60 && f[1] == 0 && f[2] == 0 && f[3] == 0 && f[4] == 0xD0 && f[5] == 0) {
        for (auto& c : cells_) c = 0xFF;
        StartWriteCycle(env, facts_.eraseUs);
    } else {
        return;
    }
    writing_ = true;
    writeAtUs_ = env.NowUs();
}

// Bit j of what the chip sends after the frame's header.
bool ByteFlashChip::StreamBit(uint32_t j) const {
    uint8_t v = 0xFF;
    if (frame_[0] == 0x90) v = frame_[3] == 0 ? facts_.makerCode : frame_[3] == 1 ? facts_.deviceCode : 0xFF;
    if (frame_[0] == 0xFF) v = ReadCell((j / 8) % facts_.bytes);
    return ((v >> (7 - j % 8)) & 1) != 0;
}

void ByteFlashChip::PinsChanged(const PinEnvironment& env) {
    const bool selected = env.InputLevel(Socket(3)) == 0, sck = env.InputLevel(Socket(4)) != 0;
    if (selected && !selected_) {
        clocks_ = 0;
        frame_.clear();
        ignoring_ = Busy(env);
        ++selections_;
        if (env.InputLevel(Socket(1)) != 0) ++enabledSelections_;
    }
    if (!selected && selected_ && writing_) {
        shortestHoldUs_ = std::min<uint64_t>(shortestHoldUs_, env.NowUs() - writeAtUs_);
        writing_ = false;
    }
    if (!selected) driving_ = false;
    selected_ = selected;
    if (selected && !ignoring_ && sck && !sck_) {
        ++clocks_;
        shift_ = static_cast<uint8_t>(shift_ << 1 | (env.InputLevel(Socket(5)) != 0 ? 1 : 0));
        if (clocks_ % 8 == 0 && frame_.size() < 6) {
            frame_.push_back(shift_);
            if (frame_.size() == 6) Complete(env);
        }
    } else if (selected && !ignoring_ && !sck && sck_ && !frame_.empty()) {
        const uint32_t header = frame_[0] == 0x90 ? 32 : frame_[0] == 0xFF ? 48 : ~0u;
        if (header != ~0u && clocks_ > header) {
            out_ = StreamBit(clocks_ - header - 1);
            driving_ = true;
        }
    }
    sck_ = sck;
}

ChipDrive ByteFlashChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != 6 || !selected_ || !driving_) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim

// ---- SPI EEPROM with block protection ---------------------------------------------------

namespace sim {

SpiEepromChip::SpiEepromChip(const SpiEepromFacts& facts) : SerialChipBase(facts.name, facts.supply, 4), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
}

void SpiEepromChip::PowerLost() {
    wel_ = selected_ = driving_ = ignoring_ = false;
    page_.clear();
}

// The status bits the part stores: block protect, and watchdog and WPEN
// where it has them.
uint8_t SpiEepromChip::Kept() const {
    return static_cast<uint8_t>(0x0C | (facts_.watchdog ? 0x30 : 0) | (facts_.wpen ? 0x80 : 0));
}

uint8_t SpiEepromChip::StatusNow(const PinEnvironment& env) const {
    return static_cast<uint8_t>(status_ | (wel_ ? 2 : 0) | (Busy(env) ? 1 : 0));
}

bool SpiEepromChip::Protected(uint32_t address) const {
    static constexpr uint32_t kQuarters[] = {0, 1, 2, 4};
    const uint32_t q = kQuarters[(status_ >> 2) & 3];
    return address >= facts_.bytes - facts_.bytes / 4 * q;
}

void SpiEepromChip::Take(const PinEnvironment& env, uint32_t index, uint8_t value) {
    if (index == 1) {
        instructions_.push_back(value);
        instruction_ = facts_.addressBytes == 1 && (value & 0xF7) == 0x03 ? 0x03
                     : facts_.addressBytes == 1 && (value & 0xF7) == 0x02 ? 0x02
                                                                          : value;
        address_ = facts_.addressBytes == 1 && (value == 0x0B || value == 0x0A) ? 0x100 : 0;
        if (Busy(env) && instruction_ != 0x05) {
            ignoring_ = true;
            return;
        }
        if (instruction_ == 0x06) wel_ = true;
        if (instruction_ == 0x04) wel_ = false;
        return;
    }
    if (instruction_ == 0x01 && index == 2) newStatus_ = value;
    if (instruction_ != 0x02 && instruction_ != 0x03) return;
    if (index <= 1 + facts_.addressBytes) {
        address_ = (address_ | value << 8 * (1 + facts_.addressBytes - index)) % facts_.bytes;
        return;
    }
    if (instruction_ == 0x02) {
        const uint32_t p = facts_.pageBytes, n = index - 2 - facts_.addressBytes;
        page_.emplace_back(address_ / p * p + (address_ + n) % p, value);
    }
}

void SpiEepromChip::Deselected(const PinEnvironment& env) {
    driving_ = false;
    const bool whole = clocks_ % 8 == 0 && !ignoring_;
    if (!whole || !wel_) {
        page_.clear();
        return;
    }
    if (instruction_ == 0x02 && !page_.empty()) {
        wel_ = false;
        bool blocked = false;
        for (const auto& [a, v] : page_) blocked |= Protected(a);
        if (!blocked) {
            for (const auto& [a, v] : page_) cells_[a] = v;
            StartWriteCycle(env, facts_.writeUs);
        }
    } else if (instruction_ == 0x01 && clocks_ == 16) {
        const bool locked = facts_.wpen && (status_ & 0x80) && env.InputLevel(Socket(3)) == 0;
        wel_ = false;
        if (!locked) {
            if (!statusFrozen_) status_ = newStatus_ & Kept();
            StartWriteCycle(env, facts_.writeUs);
        }
    } else if (instruction_ == 0xC7 && facts_.chipErase && clocks_ == 8) {
        wel_ = false;
        if ((status_ & 0x0C) == 0) {
            std::fill(cells_.begin(), cells_.end(), 0xFF);
            StartWriteCycle(env, facts_.eraseUs);
        }
    }
    page_.clear();
}

void SpiEepromChip::PinsChanged(const PinEnvironment& env) {
    const bool selected = env.InputLevel(Socket(1)) == 0, sck = env.InputLevel(Socket(6)) != 0;
    if (selected_ && !selected) Deselected(env);
    if (selected && !selected_) {
        clocks_ = 0;
        instruction_ = 0;
        ignoring_ = false;
        page_.clear();
    }
    selected_ = selected;
    const bool held = !facts_.watchdog && env.InputLevel(Socket(7)) == 0;
    if (selected && !held && !ignoring_ && sck != sck_) {
        if (sck) {
            shift_ = static_cast<uint8_t>(shift_ << 1 | (env.InputLevel(Socket(5)) != 0 ? 1 : 0));
            if (++clocks_ % 8 == 0) Take(env, clocks_ / 8, shift_);
        } else {
            const uint32_t header = instruction_ == 0x05 ? 8 : instruction_ == 0x03 ? 8 * (1 + facts_.addressBytes) : ~0u;
            if (clocks_ >= header && !ignoring_) {
                const uint32_t j = clocks_ - header;
                if (j % 8 == 0)
                    outByte_ = instruction_ == 0x05 ? StatusNow(env) : ReadCell((address_ + j / 8) % facts_.bytes);
                out_ = ((outByte_ >> (7 - j % 8)) & 1) != 0;
                driving_ = true;
            }
        }
    }
    if (!held) sck_ = sck;
}

ChipDrive SpiEepromChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != 2 || !selected_ || !driving_) return ChipDrive::None;
    return out_ ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim

// ---- DataFlash ----------------------------------------------------------------------------

namespace sim {

DataFlashChip::DataFlashChip(const DataFlashFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 7, 6, {21, 22, 23, 24, 25, 37, 38, 28}), facts_(facts) {
    cells_.assign(facts.pages * facts.pageBytes, 0xFF);
    buffer_.assign(facts.pageBytes, 0xFF);
}

void DataFlashChip::PowerLost() {
    selected_ = driving_ = ignoring_ = false;
    frame_.clear();
    std::fill(buffer_.begin(), buffer_.end(), 0xFF);
}

// Pages of up to 512 bytes take 9 bits of the byte address, larger ones 10.
uint32_t DataFlashChip::PageOf(uint32_t address) const {
    return (address >> (facts_.pageBytes > 512 ? 10 : 9)) % facts_.pages;
}
uint32_t DataFlashChip::ByteOf(uint32_t address) const {
    return (address & ((facts_.pageBytes > 512 ? 1024u : 512u) - 1)) % facts_.pageBytes;
}

uint8_t DataFlashChip::StatusNow(const PinEnvironment& env) const {
    return static_cast<uint8_t>((Busy(env) ? 0 : 0x80) | facts_.densityCode << 2);
}

void DataFlashChip::Deselected(const PinEnvironment& env) {
    driving_ = false;
    if (ignoring_ || frame_.size() < 4 || clocks_ % 8 != 0) return;
    const uint32_t base = PageOf(address_) * facts_.pageBytes;
    if (frame_[0] == 0x82) {
        std::copy(buffer_.begin(), buffer_.end(), cells_.begin() + base);
        StartWriteCycle(env, facts_.pageProgramUs);
    } else if (frame_[0] == 0x53 && clocks_ == 32) {
        for (uint32_t i = 0; i < facts_.pageBytes; ++i) buffer_[i] = ReadCell(base + i);
        StartWriteCycle(env, facts_.transferUs);
    }
}

void DataFlashChip::PinsChanged(const PinEnvironment& env) {
    const bool sck = env.InputLevel(Socket(2)) != 0;
    if (env.InputLevel(Socket(3)) == 0) { // /RESET
        selected_ = driving_ = false;
        frame_.clear();
        sck_ = sck;
        return;
    }
    const bool selected = env.InputLevel(Socket(4)) == 0;
    if (selected_ && !selected) Deselected(env);
    if (selected && !selected_) {
        clocks_ = written_ = 0;
        frame_.clear();
        ignoring_ = driving_ = false;
    }
    selected_ = selected;
    if (selected && !ignoring_ && sck != sck_) {
        if (sck) {
            shift_ = static_cast<uint8_t>(shift_ << 1 | (env.InputLevel(Socket(1)) != 0 ? 1 : 0));
            if (++clocks_ % 8 == 0) {
                const uint32_t index = clocks_ / 8;
                const bool addressed = !frame_.empty() && (frame_[0] == 0x52 || frame_[0] == 0x82 || frame_[0] == 0x53);
                if (index == 1) {
                    frame_.push_back(shift_);
                    ignoring_ = Busy(env) && shift_ != 0x57;
                } else if (addressed && index <= 4) {
                    frame_.push_back(shift_);
                    if (index == 4) {
                        address_ = static_cast<uint32_t>(frame_[1] << 16 | frame_[2] << 8 | frame_[3]);
                        frames_.push_back(frame_);
                    }
                } else if (addressed && frame_[0] == 0x82) {
                    buffer_[(ByteOf(address_) + written_++) % facts_.pageBytes] = shift_;
                }
            }
        } else {
            const uint32_t header = frame_.empty() ? ~0u : frame_[0] == 0x57 ? 8 : frame_[0] == 0x52 ? 64 : ~0u;
            if (clocks_ >= header) {
                const uint32_t j = clocks_ - header;
                if (j % 8 == 0) {
                    outByte_ = frame_[0] == 0x57 ? StatusNow(env)
                                                 : ReadCell(PageOf(address_) * facts_.pageBytes +
                                                            (ByteOf(address_) + j / 8) % facts_.pageBytes);
                }
                out_ = ((outByte_ >> (7 - j % 8)) & 1) != 0;
                driving_ = true;
            }
        }
    }
    sck_ = sck;
}

ChipDrive DataFlashChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    if (chipPin != 8 || !selected_ || !driving_) return ChipDrive::None;
    // The status's bit 7 follows the chip while SCK rests after it.
    const bool live = !frame_.empty() && frame_[0] == 0x57 && !sck_ && (clocks_ - 8) % 8 == 0;
    const bool level = live ? !Busy(env) : out_;
    return level ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
