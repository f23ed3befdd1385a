#include "sim/Mcu8051Chip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kVccMinTenths = 45;
constexpr int kLogicMaxTenths = 60; // EA/VPP above this is a programming voltage

bool IsRead(McuFunction f) {
    return f == McuFunction::ReadCode || f == McuFunction::Code || f == McuFunction::ReadSignature || f == McuFunction::ReadLock ||
           f == McuFunction::Table || f == McuFunction::Security1 || f == McuFunction::Security2;
}

// The write a read-and-program function's pulse makes.
McuFunction PulseWrite(McuFunction f) {
    switch (f) {
    case McuFunction::Code:
        return McuFunction::WriteCode;
    case McuFunction::Table:
        return McuFunction::WriteTable;
    case McuFunction::Security1:
        return McuFunction::Lock1;
    case McuFunction::Security2:
        return McuFunction::Lock2;
    default:
        return f;
    }
}

bool IsLockWrite(McuFunction f) {
    return f == McuFunction::Lock1 || f == McuFunction::Lock2 || f == McuFunction::Lock3 ||
           f == McuFunction::LockByAddress || f == McuFunction::LockByte || f == McuFunction::LockLevelByte;
}

} // namespace

std::vector<int> McuSocketPins(const McuPinout& p) {
    if (p.pinCount == 44) {
        std::vector<int> pins;
        for (int n = 1; n <= 44; ++n) pins.push_back(n + 2);
        return pins;
    }
    return DipSocketPins(p.pinCount);
}

Mcu8051Chip::Mcu8051Chip(Mcu8051Facts facts, bool plcc, std::vector<int> socketPins)
    : facts_(std::move(facts)), pin_(plcc && facts_.plcc.pinCount != 0 ? facts_.plcc : facts_.dip) {
    socketPins_ = !socketPins.empty()        ? std::move(socketPins)
                  : !facts_.socketPins.empty() ? facts_.socketPins
                                               : McuSocketPins(pin_);
    code_.assign(std::max<uint32_t>(facts_.codeBytes, 1), 0xFF);
    table_.assign(facts_.tableBytes, 0xFF);
    address_ = Group(pin_.address);
    data_ = Group(pin_.data);
    mode_ = Group(pin_.mode);
    for (int pin = 1; pin <= kSocketPins; ++pin) {
        const int chipPin = ChipPinAt(pin);
        chipPinOn_[pin] = static_cast<uint8_t>(chipPin);
        auto it = std::find(pin_.data.begin(), pin_.data.end(), chipPin);
        dataBitOn_[pin] = static_cast<int8_t>(chipPin != 0 && it != pin_.data.end() ? it - pin_.data.begin() : -1);
        if (dataBitOn_[pin] >= 0 || (chipPin != 0 && pin_.ready != 0 && chipPin == pin_.ready))
            drivingPins_ |= uint64_t{1} << pin;
    }
}

Mcu8051Chip::PinGroup Mcu8051Chip::Group(const std::vector<int>& chipPins) const {
    PinGroup g;
    for (size_t i = 0; i < chipPins.size() && i < 32; ++i) {
        g.sockets.push_back(S(chipPins[i]));
        if (g.sockets.back() != 0) g.onSocket |= 1u << i;
    }
    return g;
}

ChipPinLimits Mcu8051Chip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    for (int p : socketPins_) {
        if (p != 0) l.socketPins.push_back(p);
    }
    if (S(pin_.ea) != 0) l.Allow(S(pin_.ea), facts_.eaLimitTenths);
    return l;
}

int Mcu8051Chip::S(int chipPin) const {
    if (chipPin < 1 || chipPin > static_cast<int>(socketPins_.size())) return 0;
    return socketPins_[static_cast<size_t>(chipPin - 1)];
}

bool Mcu8051Chip::High(const PinEnvironment& env, int chipPin) const {
    const int s = S(chipPin);
    return s != 0 && env.InputLevel(s) == 1;
}

uint32_t Mcu8051Chip::Bits(const PinEnvironment& env, const PinGroup& group) const {
    return env.HighLevels(group.sockets.data(), group.sockets.size()) & group.onSocket;
}

bool Mcu8051Chip::InMode(const PinEnvironment& env) const {
    if (VccNow(env) < kVccMinTenths) return false;
    for (int g : pin_.gnd) {
        if (!env.HeldLow(S(g))) return false;
    }
    return High(env, pin_.rst) == facts_.rstHigh && !High(env, pin_.psen);
}

McuFunction Mcu8051Chip::FunctionNow(const PinEnvironment& env) const {
    // Supply switching reaches the chip at its next pin event, so an EA/VPP
    // edge not yet seen takes the mode pins as they are now.
    const uint32_t m = facts_.modeOnEaEdge && EaOn(env) == eaWasOn_ ? latchedMode_ : Bits(env, mode_);
    for (const auto& e : facts_.modes) {
        if ((m & e.care) == (e.value & e.care)) return e.function;
    }
    return McuFunction::None;
}

bool Mcu8051Chip::IsBlank() const {
    return std::all_of(code_.begin(), code_.end(), [](uint8_t c) { return c == 0xFF; }) &&
           std::all_of(table_.begin(), table_.end(), [](uint8_t c) { return c == 0xFF; }) && !locks_[0] &&
           !locks_[1] && !locks_[2];
}

void Mcu8051Chip::EraseAll() {
    std::fill(code_.begin(), code_.end(), 0xFF);
    std::fill(table_.begin(), table_.end(), 0xFF);
    locks_[0] = locks_[1] = locks_[2] = false;
    option_ = 0xFF;
    busyUntil_ = 0;
    config_[0] = config_[1] = 0xFF;
    counted_.clear();
}

void Mcu8051Chip::UvErase() { EraseAll(); }

uint32_t Mcu8051Chip::Pulses(McuFunction f) const {
    auto it = pulseCounts_.find(f);
    return it == pulseCounts_.end() ? 0 : it->second;
}

int Mcu8051Chip::PulsesOn(uint32_t a) const {
    auto it = counted_.find(a);
    return it == counted_.end() ? 0 : it->second;
}

void Mcu8051Chip::Apply(McuFunction f, uint32_t address, uint8_t data) {
    const bool refused = locks_[0] && !IsLockWrite(f);
    if (refused) return;
    auto lock = [&](int bit) {
        if (bit >= 1 && bit <= facts_.lockBits && (locksRefused_ >> (bit - 1) & 1) == 0) locks_[bit - 1] = true;
    };
    switch (f) {
    case McuFunction::WriteCode: {
        const uint32_t a = address % static_cast<uint32_t>(code_.size());
        const int count = ++counted_[a];
        if (stuck_.count(a) != 0) return;
        auto it = needed_.find(a);
        if (count < (it == needed_.end() ? facts_.pulsesNeeded : it->second)) return;
        code_[a] &= data;
        return;
    }
    case McuFunction::WriteTable:
        if (!table_.empty() && stuckTable_.count(address % table_.size()) == 0) table_[address % table_.size()] &= data;
        return;
    case McuFunction::Lock1:
        return lock(1);
    case McuFunction::Lock2:
        return lock(2);
    case McuFunction::Lock3:
        return lock(3);
    case McuFunction::LockByAddress:
        return lock(static_cast<int>(address));
    case McuFunction::LockByte:
        for (int bit = 1; bit <= 3; ++bit) {
            if ((data >> (8 - bit) & 1) == 0) lock(bit);
        }
        return;
    case McuFunction::LockLevelByte:
        for (int bit = 1; bit <= 3 - static_cast<int>(data & 3); ++bit) lock(bit);
        return;
    case McuFunction::WriteOption:
        if (facts_.optionRegister && (address & 0xFF) == 0xFC) option_ &= data;
        return;
    case McuFunction::WriteConfig:
        if (facts_.configAddress != 0 && (address == facts_.configAddress || address == facts_.configAddress + 1))
            config_[address - facts_.configAddress] &= data;
        return;
    default:
        return;
    }
}

void Mcu8051Chip::FinishErase(const PinEnvironment& env, uint64_t now) {
    if (!erasePending_ || now - pulseStart_ < facts_.eraseTimeUs) return;
    erasePending_ = false;
    if (VccNow(env) < facts_.highVccMinTenths) return;
    EraseAll();
}

void Mcu8051Chip::EndPulse(const PinEnvironment& env, uint64_t now) {
    pulsing_ = false;
    const uint64_t width = now - pulseStart_;
    if (!pulseValid_) return;
    if (pulseFunction_ == McuFunction::Erase) {
        if (!facts_.flash) return;
        ++erasePulses_;
        eraseWidths_.push_back(width);
        if (width < facts_.eraseMinUs) return;
        if (--erasesNeeded_ > 0) return;
        erasesNeeded_ = 1;
        erasePending_ = true;
        FinishErase(env, now);
        return;
    }
    ++pulseCounts_[pulseFunction_];
    const bool lockWrite = IsLockWrite(pulseFunction_);
    const uint32_t least =
        lockWrite && facts_.lockMinPulseUs != 0 ? facts_.lockMinPulseUs : facts_.minPulseUs;
    if (width < least) return;
    if (facts_.writeTimeUs != 0) {
        busyUntil_ = now + facts_.writeTimeUs;
        lastWritten_ = pulseData_;
    }
    Apply(pulseFunction_, pulseAddress_, pulseData_);
}

int Mcu8051Chip::VccNow(const PinEnvironment& env) const {
    // Supply changes are not announced to the chip, so VCC is looked at now.
    const int vcc = S(pin_.vcc) ? env.VoltageTenths(S(pin_.vcc)) : -1;
    return pin_.vccB == 0 ? vcc : std::min(vcc, S(pin_.vccB) ? env.VoltageTenths(S(pin_.vccB)) : -1);
}

uint32_t Mcu8051Chip::Address(const PinEnvironment& env) const {
    if (pin_.counterClock != 0) return counter_;
    if (pin_.latch != 0) return latchedHigh_ << 8 | (Bits(env, address_) & 0xFF);
    return Bits(env, address_);
}

bool Mcu8051Chip::EaOn(const PinEnvironment& env) const {
    return S(pin_.ea) != 0 && env.VoltageTenths(S(pin_.ea)) >= kVccMinTenths;
}

void Mcu8051Chip::StepLatches(const PinEnvironment& env) {
    const bool latch = pin_.latch != 0 && vccOn_ && High(env, pin_.latch);
    if (latch) latchedHigh_ = Bits(env, address_) & 0xFF;
    if (latch && !latchWasHigh_) ++latchStrobes_;
    latchWasHigh_ = latch;
    if (!facts_.modeOnEaEdge) return;
    const bool eaOn = EaOn(env);
    if (eaOn != eaWasOn_) latchedMode_ = Bits(env, mode_);
    eaWasOn_ = eaOn;
}

void Mcu8051Chip::StepCounter(const PinEnvironment& env) {
    if (pin_.counterClock == 0) return;
    const bool rst = High(env, pin_.rst);
    const bool clock = High(env, pin_.counterClock);
    if (vccOn_ && rst && !rstWasHigh_) counter_ = 0;
    if (clock && !clockWasHigh_ && InMode(env)) counter_ = (counter_ + 1) % static_cast<uint32_t>(code_.size());
    rstWasHigh_ = rst;
    clockWasHigh_ = clock;
}

// EA/VPP (RST/VPP) at the start of a pulse: a 5 V function wants logic high
// and takes a programming voltage as a violation; a 12 V one wants the
// part's window. Erase and lock writes may want a raised VCC as well.
bool Mcu8051Chip::PulseVoltageOk(const PinEnvironment& env, McuFunction f) const {
    const int ea = S(pin_.ea) ? env.VoltageTenths(S(pin_.ea)) : -1;
    if ((f == McuFunction::Erase || IsLockWrite(f)) && VccNow(env) < facts_.highVccMinTenths) return false;
    if (f == McuFunction::Erase ? facts_.fiveVoltErase : facts_.fiveVoltProgramming) {
        if (ea > kLogicMaxTenths)
            env.Violation(facts_.name + ": programming voltage on a part that programs at VCC level");
        return S(pin_.ea) != 0 && env.InputLevel(S(pin_.ea)) == 1 && ea <= kLogicMaxTenths;
    }
    const bool ok = ea >= facts_.vppMinTenths && ea <= facts_.vppMaxTenths;
    if (ea > kLogicMaxTenths && !ok)
        env.Violation(facts_.name + ": EA/VPP at " + std::to_string(ea) + " tenths, outside " +
                      std::to_string(facts_.vppMinTenths) + "-" + std::to_string(facts_.vppMaxTenths));
    return ok;
}

void Mcu8051Chip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    vccOn_ = VccNow(env) >= kVccMinTenths;
    const int ea = S(pin_.ea) ? env.VoltageTenths(S(pin_.ea)) : -1;
    if (ea > kLogicMaxTenths && !vccOn_) {
        if (!vppEarlyReported_) env.Violation(facts_.name + ": programming voltage on EA/VPP before VCC");
        vppEarlyReported_ = true;
    } else {
        vppEarlyReported_ = false;
    }
    StepCounter(env);
    StepLatches(env);
    if (!InMode(env)) {
        pulsing_ = false;
        erasePending_ = false;
        return;
    }
    FinishErase(env, now);
    const bool aleLow = !High(env, pin_.ale);
    if (aleLow && !pulsing_) {
        const McuFunction f = FunctionNow(env);
        if (f == McuFunction::None || (IsRead(f) && PulseWrite(f) == f)) return;
        pulsing_ = true;
        pulseStart_ = now;
        pulseFunction_ = PulseWrite(f);
        pulseAddress_ = Address(env);
        pulseData_ = static_cast<uint8_t>(Bits(env, data_));
        if (f == McuFunction::Erase) eraseVcc_.push_back(VccNow(env));
        pulseValid_ = PulseVoltageOk(env, f);
        if (pulseValid_ && Busy(now)) {
            ++ignoredPulses_;
            pulseValid_ = false;
        }
    } else if (!aleLow && pulsing_) {
        EndPulse(env, now);
    }
}

uint8_t Mcu8051Chip::ReadByte(McuFunction f, uint32_t address) const {
    switch (f) {
    case McuFunction::ReadCode:
    case McuFunction::Code: {
        if (locks_[1]) return facts_.securedPattern;
        const uint8_t c = code_[address % static_cast<uint32_t>(code_.size())];
        if (table_.empty()) return c;
        return static_cast<uint8_t>(~(c ^ table_[address % table_.size()]));
    }
    case McuFunction::ReadSignature: {
        // Another part's device code (the second byte, or the only one)
        // differs in bit 0.
        const size_t device = facts_.signature.size() > 1 ? 1 : 0;
        for (size_t i = 0; i < facts_.signature.size(); ++i) {
            const auto& [a, b] = facts_.signature[i];
            if (a != address) continue;
            return AnswersAnotherIdentity() && i == device ? static_cast<uint8_t>(b ^ 0x01) : b;
        }
        if (facts_.optionRegister && address == 0xFC) return option_;
        if (facts_.configAddress != 0 && (address == facts_.configAddress || address == facts_.configAddress + 1))
            return config_[address - facts_.configAddress];
        return 0xFF;
    }
    case McuFunction::Table:
        return table_.empty() ? 0xFF : table_[address % table_.size()];
    case McuFunction::ReadLock:
    case McuFunction::Security1:
    case McuFunction::Security2: {
        uint8_t v = facts_.lockReadProgrammedHigh ? 0x00 : 0xFF;
        for (int i = 0; i < facts_.lockBits; ++i) {
            const uint8_t m = static_cast<uint8_t>(1u << facts_.lockReadBits[static_cast<size_t>(i)]);
            if (locks_[i]) v = facts_.lockReadProgrammedHigh ? static_cast<uint8_t>(v | m) : static_cast<uint8_t>(v & ~m);
        }
        return v;
    }
    default:
        return 0xFF;
    }
}

// The byte the part drives on its data pins now; false while it drives none.
bool Mcu8051Chip::DataOut(const PinEnvironment& env, uint8_t& v) const {
    if (pulsing_ || !InMode(env)) return false;
    const McuFunction f = FunctionNow(env);
    if (!IsRead(f)) return false;
    if (pin_.strobe != 0 && High(env, pin_.strobe)) return false;
    if (f == McuFunction::ReadSignature && facts_.signatureAtLogicEa) {
        const int ea = S(pin_.ea) ? env.VoltageTenths(S(pin_.ea)) : -1;
        if (ea < kVccMinTenths || ea > kLogicMaxTenths) return false;
    }
    // Data polling: while a write runs, the written datum with D7 inverted.
    v = (f == McuFunction::ReadCode || f == McuFunction::Code) && Busy(env.NowUs())
            ? static_cast<uint8_t>(lastWritten_ ^ 0x80)
            : ReadByte(f, Address(env));
    return true;
}

ChipDrive Mcu8051Chip::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (pin_.ready != 0 && chipPin == pin_.ready) {
        if (!InMode(env)) return ChipDrive::None;
        return readyStuck_ || Busy(env.NowUs()) ? ChipDrive::Low : ChipDrive::High;
    }
    auto it = std::find(pin_.data.begin(), pin_.data.end(), chipPin);
    uint8_t v = 0;
    if (it == pin_.data.end() || !DataOut(env, v)) return ChipDrive::None;
    return (v >> (it - pin_.data.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
}

void Mcu8051Chip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    int known = -1; // the data byte: -1 not yet worked out, -2 none driven
    for (size_t i = 0; i < n; ++i) {
        out[i] = ChipDrive::None;
        const int pin = socketPins[i];
        // Only the data pins and the ready pin ever drive.
        if (pin < 1 || pin > kSocketPins || ((drivingPins_ >> pin) & 1) == 0) continue;
        const int chipPin = chipPinOn_[pin];
        if (pin_.ready != 0 && chipPin == pin_.ready) {
            out[i] = Output(env, pin);
            continue;
        }
        const int bit = dataBitOn_[pin];
        if (bit < 0) continue;
        if (known == -1) {
            uint8_t v = 0;
            known = DataOut(env, v) ? v : -2;
        }
        if (known >= 0) out[i] = (known >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
