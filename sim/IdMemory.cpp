#include "sim/IdMemory.h"

#include <cstdio>

namespace sim {

namespace {
constexpr uint8_t kClock = 0x40;
constexpr uint8_t kSelect = 0x20;
constexpr uint8_t kDataIn = 0x10;

void PutText(IdBlock& b, size_t at, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i)
        b[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}
} // namespace

uint16_t IdBlockSum(const IdBlock& block) {
    uint32_t sum = 0;
    for (int i = 0; i < kIdBlockBytes; ++i) {
        if (i >= 24 && i < 28) continue;
        sum += block[i];
    }
    return static_cast<uint16_t>(sum);
}

IdBlock BuildIdBlock(const IdMemoryOptions& o) {
    IdBlock b{};
    PutText(b, 0, o.tag, 4);
    PutText(b, 4, o.serial, 6);
    b[10] = ' ';
    PutText(b, 11, o.revision, 4);
    for (size_t i = 15; i < 24; ++i)
        b[i] = 0;
    for (int c = 1; c <= 4; ++c) {
        for (int v = 1; v <= 25; ++v)
            b[2 + 25 * c + v] = o.calibration[c - 1][v - 1];
    }
    uint16_t sum = IdBlockSum(b);
    if (o.checksum == IdChecksum::Wrong) sum = static_cast<uint16_t>(sum + 0x0111);
    char digits[8];
    std::snprintf(digits, sizeof digits, o.checksum == IdChecksum::LowerCase ? "%04x" : "%04X", sum);
    for (int i = 0; i < 4; ++i)
        b[24 + i] = static_cast<uint8_t>(digits[i]);
    return b;
}

IdMemory::IdMemory(const IdMemoryOptions& options)
    : present_(options.present), addressBits_(options.addressBits == 10 ? 10 : 6) {
    // Erased cells read FFFFh; the ID block sits in words 0-63.
    words_.assign(size_t{1} << addressBits_, 0xFFFF);
    const IdBlock block = BuildIdBlock(options);
    for (int i = 0; i < 64; ++i)
        words_[i] = static_cast<uint16_t>(block[2 * i] | (block[2 * i + 1] << 8));
}

void IdMemory::Reset() {
    state_ = cs_ ? State::WaitStart : State::Standby;
    opcode_ = 0;
    bitsIn_ = 0;
    address_ = 0;
    data_ = 0;
    outBits_ = 0;
    do_ = false;
}

void IdMemory::OnUnconfigure(SimProgrammer&) {
    cs_ = sk_ = di_ = false;
    Reset();
}

bool IdMemory::OnWrite(SimProgrammer&, uint8_t reg, uint8_t value) {
    if (reg != 13) return false;
    const bool cs = (value & kSelect) != 0;
    const bool sk = (value & kClock) != 0;
    const bool di = (value & kDataIn) != 0;
    if (present_) {
        if (cs_ && !cs) {
            // CS low: a complete erase/write instruction runs now; any other
            // instruction is abandoned.
            if (state_ == State::Done) Execute();
            cs_ = false;
            Reset();
        } else if (!cs_ && cs) {
            cs_ = true;
            Reset();
        }
        if (cs_ && sk && !sk_) RisingClock(di);
    }
    cs_ = cs;
    sk_ = sk;
    di_ = di;
    // The ID lines are ours; other register-13 bits belong to the DAC side.
    return (value & ~(kClock | kSelect | kDataIn)) == 0;
}

std::optional<uint8_t> IdMemory::OnRead(SimProgrammer&, uint8_t reg) {
    if (reg != 13 || !present_) return std::nullopt;
    return static_cast<uint8_t>(cs_ && do_ ? 1 : 0);
}

void IdMemory::RisingClock(bool di) {
    const uint32_t bit = di ? 1 : 0;
    switch (state_) {
    case State::Standby:
    case State::Done:
        break;
    case State::WaitStart:
        // Leading zeros before the start bit are ignored.
        if (di) {
            state_ = State::Opcode;
            bitsIn_ = 0;
            opcode_ = 0;
        }
        break;
    case State::Opcode:
        opcode_ = (opcode_ << 1) | bit;
        if (++bitsIn_ == 2) {
            state_ = State::Address;
            bitsIn_ = 0;
            address_ = 0;
        }
        break;
    case State::Address:
        address_ = (address_ << 1) | bit;
        if (++bitsIn_ < addressBits_) break;
        bitsIn_ = 0;
        if (opcode_ == 2) {
            // READ: a dummy 0 bit, then the word MSB first on the next clocks.
            state_ = State::Reading;
            shiftOut_ = words_[address_];
            outBits_ = 0;
            do_ = false;
            ++reads_;
        } else if (opcode_ == 1) {
            state_ = State::Data;
            data_ = 0;
        } else if (opcode_ == 3) {
            state_ = State::Done;
        } else {
            const uint32_t sub = address_ >> (addressBits_ - 2);
            if (sub == 3) {
                writeEnabled_ = true;
                state_ = State::Done;
            } else if (sub == 0) {
                writeEnabled_ = false;
                state_ = State::Done;
            } else if (sub == 2) {
                state_ = State::Done; // ERAL
            } else {
                state_ = State::Data; // WRAL
                data_ = 0;
            }
        }
        break;
    case State::Data:
        data_ = (data_ << 1) | bit;
        if (++bitsIn_ == 16) state_ = State::Done;
        break;
    case State::Reading:
        if (outBits_ == 16) {
            // Sequential read runs on into the next word without a dummy bit.
            address_ = (address_ + 1) % static_cast<uint32_t>(words_.size());
            shiftOut_ = words_[address_];
            outBits_ = 0;
        }
        do_ = ((shiftOut_ >> (15 - outBits_)) & 1) != 0;
        ++outBits_;
        break;
    }
}

void IdMemory::Execute() {
    if (!writeEnabled_) return;
    if (opcode_ == 1) {
        words_[address_] = static_cast<uint16_t>(data_);
    } else if (opcode_ == 3) {
        words_[address_] = 0xFFFF;
    } else if (opcode_ == 0) {
        const uint32_t sub = address_ >> (addressBits_ - 2);
        if (sub == 2) {
            for (auto& w : words_)
                w = 0xFFFF;
        } else if (sub == 1) {
            for (auto& w : words_)
                w = static_cast<uint16_t>(data_);
        }
    }
}

IdMemory* AddIdMemory(SimProgrammer& programmer, const IdMemoryOptions& options) {
    auto m = std::make_unique<IdMemory>(options);
    IdMemory* raw = m.get();
    programmer.AddComponent(std::move(m));
    return raw;
}

} // namespace sim
