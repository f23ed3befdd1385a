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
    decoder_.Configure(addressBits_, 16);
    words_.assign(size_t{1} << addressBits_, 0xFFFF);
    const IdBlock block = BuildIdBlock(options);
    for (int i = 0; i < 64; ++i)
        words_[i] = static_cast<uint16_t>(block[2 * i] | (block[2 * i + 1] << 8));
}

void IdMemory::OnUnconfigure(SimProgrammer&) {
    decoder_.Select(false);
    sk_ = false;
}

bool IdMemory::OnWrite(SimProgrammer&, uint8_t reg, uint8_t value) {
    if (reg != 13) return false;
    const bool cs = (value & kSelect) != 0;
    const bool sk = (value & kClock) != 0;
    const bool di = (value & kDataIn) != 0;
    if (present_) {
        Execute(decoder_.Select(cs));
        if (cs && sk && !sk_) Execute(decoder_.Clock(di, [this](uint32_t a) { return words_[a % words_.size()]; }));
    }
    sk_ = sk;
    // The ID lines are ours; other register-13 bits belong to the DAC side.
    return (value & ~(kClock | kSelect | kDataIn)) == 0;
}

std::optional<uint8_t> IdMemory::OnRead(SimProgrammer&, uint8_t reg) {
    if (reg != 13 || !present_) return std::nullopt;
    return static_cast<uint8_t>(decoder_.Reading() && decoder_.DataOut() ? 1 : 0);
}

void IdMemory::Execute(const MicrowireDecoder::Command& c) {
    using Op = MicrowireDecoder::Op;
    if (c.op == Op::Enable || c.op == Op::Disable) writeEnabled_ = c.op == Op::Enable;
    if (!writeEnabled_) return;
    switch (c.op) {
    case Op::Write:
        words_[c.address % words_.size()] = static_cast<uint16_t>(c.data);
        break;
    case Op::Erase:
        words_[c.address % words_.size()] = 0xFFFF;
        break;
    case Op::EraseAll:
    case Op::WriteAll:
        for (auto& w : words_) w = c.op == Op::EraseAll ? 0xFFFF : static_cast<uint16_t>(c.data);
        break;
    default:
        break;
    }
}

IdMemory* AddIdMemory(SimProgrammer& programmer, const IdMemoryOptions& options) {
    auto m = std::make_unique<IdMemory>(options);
    IdMemory* raw = m.get();
    programmer.AddComponent(std::move(m));
    return raw;
}

} // namespace sim
