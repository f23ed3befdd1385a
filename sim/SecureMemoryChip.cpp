#include "sim/SecureMemoryChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int kCs = 5, kSda = 6, kScl = 7, kRst = 8;
// A write cycle of the stalled-writes fault: longer than any poll loop.
constexpr uint32_t kStalledUs = 0xFFFFFFFFu;
} // namespace

SecureMemoryChip::SecureMemoryChip(const SecureFacts& facts)
    : SerialChipBase(facts.name, facts.supply, 4, 1), facts_(facts) {
    cells_.assign(facts.array0Bytes + facts.array1Bytes, 0xFF);
    passwords_.assign(TwoArrays() ? 5 : 2, facts.factoryPassword);
}

SecureMemoryChip::Command SecureMemoryChip::Decode(uint8_t b) const {
    Command c;
    if (!TwoArrays()) {
        if (b == 0xFE || b == 0xFC) return {Kind::Change, 1, b == 0xFE ? 0 : 1, 0, 0};
        const uint32_t sector = (b >> 1) & 0xF;
        if ((b & 0xE0) != 0x80 || sector >= facts_.array0Bytes / facts_.sectorBytes) return c;
        const bool read = (b & 1) != 0;
        return {read ? Kind::Read : Kind::Write, read ? 0 : 1, 0, 0, sector * facts_.sectorBytes};
    }
    switch (b) {
    case 0x80: return {Kind::Read, 0, 0, 0, 0};
    case 0x88: return {Kind::Read, 2, 0, 1, 0};
    case 0x90: return {Kind::Write, 1, 0, 0, 0};
    case 0x98: return {Kind::Write, 3, 0, 1, 0};
    case 0xA0: return {Kind::Change, 0, 0, 0, 0};
    case 0xA8: return {Kind::Change, 2, 2, 0, 0};
    case 0xB0: return {Kind::Change, 1, 1, 0, 0};
    case 0xB8: return {Kind::Change, 3, 3, 0, 0};
    case 0xC0: return {Kind::Change, 4, 4, 0, 0};
    case 0xE0: return {Kind::ResetPasswords, 4, 0, 0, 0};
    case 0xE8: return {Kind::ResetDevice, 4, 0, 0, 0};
    default: return c;
    }
}

void SecureMemoryChip::PowerLost() {
    phase_ = Phase::Idle;
    bits_.Clear();
    atrArmed_ = false;
    atrBit_ = -1;
    sector_.clear();
    received_.clear();
    fresh_ = true;
}

bool SecureMemoryChip::BusSda(const PinEnvironment& env) const {
    const int sda = Socket(kSda);
    if (env.HeldHigh(sda)) return true; // a driver against the chip wins
    if (PoweredOutput(env, kSda) == ChipDrive::Low) return false;
    return env.InputLevel(sda) != 0;
}

ChipDrive SecureMemoryChip::PoweredOutput(const PinEnvironment&, int chipPin) const {
    if (chipPin != kSda) return ChipDrive::None;
    // Another part's answer differs in a bit of its last byte.
    const int another = AnswersAnotherIdentity() && atrBit_ == 24 ? 1 : 0;
    const bool answerLow =
        atrBit_ >= 0 && (((facts_.answer[static_cast<size_t>(atrBit_ / 8)] >> (atrBit_ % 8)) ^ another) & 1) == 0;
    return bits_.PullsLow() || answerLow ? ChipDrive::Low : ChipDrive::None;
}

void SecureMemoryChip::PinsChanged(const PinEnvironment& env) {
    const bool cs = env.InputLevel(Socket(kCs)) != 0;
    const bool rst = env.InputLevel(Socket(kRst)) != 0;
    const bool scl = env.InputLevel(Socket(kScl)) != 0;
    const auto keep = [&] {
        cs_ = cs;
        rst_ = rst;
        scl_ = scl;
        sda_ = BusSda(env);
    };
    if (fresh_) {
        fresh_ = false;
        return keep();
    }
    if (cs) {
        if (!cs_) PowerLost(), fresh_ = false; // deselected: every transaction ends, a sector not stopped is lost
        return keep();
    }
    if (rst && !rst_) {
        PowerLost();
        fresh_ = false;
        atrArmed_ = true;
    } else if (!rst && rst_ && atrArmed_) {
        atrArmed_ = false;
        atrBit_ = 0;
    }
    if (atrBit_ >= 0) {
        if (scl_ && !scl && ++atrBit_ >= 32) atrBit_ = -1;
        return keep();
    }
    if (rst) return keep();
    const bool sda = BusSda(env);
    if (scl_ && scl && sda_ != sda) {
        if (!sda) { // START: a sector not stopped is dropped; the poll phase survives
            sector_.clear();
            if (phase_ != Phase::Poll) phase_ = Phase::Command;
            bits_.Clear();
        } else {
            Stop(env);
        }
    } else if (!scl_ && scl) {
        Rising(env, sda);
    } else if (scl_ && !scl) {
        Falling();
    }
    keep();
}

void SecureMemoryChip::Rising(const PinEnvironment& env, bool sda) {
    if (phase_ == Phase::Idle || phase_ == Phase::Ignore) return;
    if (bits_.Rising(sda)) bits_.Acknowledge(ByteIn(env, bits_.Received()));
}

void SecureMemoryChip::Load() { bits_.Send(ReadCell(ArrayBase(command_.array) + pointer_)); }

void SecureMemoryChip::Falling() {
    if (phase_ == Phase::Idle || phase_ == Phase::Ignore) {
        bits_.Release();
        return;
    }
    switch (bits_.Falling()) {
    case TwoWireBits::Edge::MasterDone:
        phase_ = Phase::Idle;
        return;
    case TwoWireBits::Edge::NextByte:
        pointer_ = (pointer_ + 1) % ArrayBytes(command_.array);
        Load();
        return;
    case TwoWireBits::Edge::AckDone:
        if (phase_ == Phase::Reading) Load();
        return;
    case TwoWireBits::Edge::None:
        return;
    }
}

bool SecureMemoryChip::ByteIn(const PinEnvironment& env, uint8_t b) {
    switch (phase_) {
    case Phase::Command: {
        commands_.push_back(b);
        const Command c = Decode(b);
        if (Busy(env) || c.kind == Kind::None) {
            phase_ = Phase::Ignore;
            return false;
        }
        command_ = c;
        received_.clear();
        phase_ = Phase::Password;
        return true;
    }
    case Phase::Password:
        received_.push_back(b);
        if (received_.size() == 8) PasswordChecked(env);
        return true;
    case Phase::Poll: {
        commands_.push_back(b);
        const bool reset = command_.kind == Kind::ResetPasswords || command_.kind == Kind::ResetDevice;
        if (Busy(env) || !passwordOk_ || (!reset && b != facts_.pollByte)) return false;
        if (reset) phase_ = Phase::Done; // acknowledged; nothing follows
        else AfterAccess();
        return true;
    }
    case Phase::Address:
        received_.push_back(b);
        if (received_.size() == 2) {
            pointer_ = (static_cast<uint32_t>(received_[0]) << 8 | received_[1]) % ArrayBytes(command_.array);
            received_.clear();
            phase_ = command_.kind == Kind::Read ? Phase::Reading
                     : command_.kind == Kind::Write ? Phase::Data
                                                    : Phase::NewPassword;
        }
        return true;
    case Phase::Data: {
        const uint32_t base = pointer_ - pointer_ % facts_.sectorBytes;
        sector_.emplace_back(pointer_, b);
        pointer_ = base + (pointer_ + 1 - base) % facts_.sectorBytes;
        return true;
    }
    case Phase::NewPassword:
        if (received_.size() < 16) received_.push_back(b);
        return true;
    default:
        return false;
    }
}

void SecureMemoryChip::AfterAccess() {
    received_.clear();
    if (TwoArrays()) {
        phase_ = Phase::Address;
        return;
    }
    pointer_ = command_.start;
    phase_ = command_.kind == Kind::Read ? Phase::Reading
             : command_.kind == Kind::Write ? Phase::Data
                                            : Phase::NewPassword;
}

void SecureMemoryChip::PasswordChecked(const PinEnvironment& env) {
    ++checks_;
    SecurePassword got{};
    std::copy(received_.begin(), received_.end(), got.begin());
    received_.clear();
    const bool reset = command_.kind == Kind::ResetPasswords || command_.kind == Kind::ResetDevice;
    passwordOk_ = got == passwords_[static_cast<size_t>(command_.password)] && (reset || !locked_);
    if (passwordOk_) {
        retries_ = 0;
        if (reset) locked_ = false;
        if (command_.kind == Kind::ResetPasswords) std::fill(passwords_.begin(), passwords_.end(), facts_.factoryPassword);
    } else if (++retries_ >= 8) {
        // The retry counter ran over: every array back to the erased state.
        std::fill(cells_.begin(), cells_.end(), 0xFF);
        retries_ = 0;
        locked_ = TwoArrays();
    }
    StartWriteCycle(env, facts_.passwordCycleUs);
    phase_ = Phase::Poll;
}

void SecureMemoryChip::Stop(const PinEnvironment& env) {
    const uint32_t cycle = stallWrites_ ? kStalledUs : facts_.writeUs;
    if (phase_ == Phase::Data && passwordOk_ && !sector_.empty()) {
        for (const auto& [a, v] : sector_) cells_[ArrayBase(command_.array) + a] = v;
        StartWriteCycle(env, cycle);
    } else if (phase_ == Phase::NewPassword && passwordOk_) {
        const size_t need = TwoArrays() ? 16 : 8;
        if (received_.size() == need &&
            (!TwoArrays() || std::equal(received_.begin(), received_.begin() + 8, received_.begin() + 8))) {
            std::copy(received_.begin(), received_.begin() + 8, passwords_[static_cast<size_t>(command_.target)].begin());
            StartWriteCycle(env, cycle);
        }
    }
    sector_.clear();
    received_.clear();
    phase_ = Phase::Idle;
    bits_.Clear();
}

} // namespace sim
