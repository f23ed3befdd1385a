#include "sim/ReadBackEpldChip.h"

namespace sim {

namespace {

constexpr int kBiasTenths = 147, kBiasTolerance = 2;
constexpr int kBiasMaxTenths = 155;
// A bias pin this high on an unpowered part is a violation.
constexpr int kUnpoweredBiasTenths = 100;
constexpr uint64_t kProgramPulseUs = 10000;
constexpr uint64_t kErasePulseUs = 100000;
constexpr int kReadMode = 1, kProgramMode = 3;
constexpr int kEraseModes[3] = {0, 2, 0};
constexpr size_t kLogLimit = 1u << 16;

const ReadBackEpldChip::Pins kDip24{{28, 29, 30, 31, 32, 33, 34, 35}, {28, 29, 30, 31, 32, 33, 34, 35},
                                   {19, 20, 21, 22}, {0, 0}, {14, 15, 17, 18}, 25, 16, 13, 24, 24, 12};
const ReadBackEpldChip::Pins kDip28{{27, 28, 29, 30, 32, 33, 34, 35}, {27, 28, 29, 30, 32, 33, 34, 24},
                                   {19, 20, 21, 22}, {0, 0}, {12, 13, 15, 18}, 16, 14, 11, 28, 7, 21};
const ReadBackEpldChip::Pins kDip40{{13, 14, 15, 16, 17, 18, 19, 20}, {13, 14, 15, 16, 17, 18, 19, 0},
                                   {20, 21, 22, 23}, {26, 27}, {6, 7, 9, 10}, 25, 8, 5, 40, 40, 20};
const ReadBackEpldChip::Pins kPlcc44{{12, 13, 14, 15, 16, 17, 18, 20}, {12, 13, 14, 15, 16, 17, 18, 0},
                                    {20, 21, 22, 23}, {27, 28}, {5, 6, 8, 9}, 26, 7, 4, 44, 44, 22};

} // namespace

const ReadBackEpldChip::Pins& ReadBackEpldChip::PinsOf(ReadBackEpldKind kind) {
    switch (kind) {
    case ReadBackEpldKind::Dip24: return kDip24;
    case ReadBackEpldKind::Dip28: return kDip28;
    case ReadBackEpldKind::Dip40: return kDip40;
    case ReadBackEpldKind::Plcc44: return kPlcc44;
    }
    return kDip24;
}

ReadBackEpldChip::ReadBackEpldChip(const ReadBackEpldFacts& facts)
    : CellArrayChip(facts.name, PinsOf(facts.kind).pinCount,
                    static_cast<uint32_t>(kHalves * kSelects * kAddresses * 8), PinsOf(facts.kind).vcc,
                    {PinsOf(facts.kind).gnd}),
      part_(facts),
      pins_(PinsOf(facts.kind)),
      offset_((48 - PinsOf(facts.kind).pinCount) / 2) {
    AllowPin(pins_.bias - offset_, kBiasMaxTenths);
}

int ReadBackEpldChip::At(const PinEnvironment& env, int socketPin) const {
    return socketPin == 0 ? 0 : Level(env, socketPin - offset_);
}

int ReadBackEpldChip::Lines(const PinEnvironment& env, const int* pins, int count) const {
    int v = 0;
    for (int i = 0; i < count; ++i) v |= At(env, pins[i]) << i;
    return v;
}

uint8_t ReadBackEpldChip::Byte(int half, int select, int address) const {
    uint32_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint32_t>(Cell(CellOf(half, select, address, bit))) << bit;
    return static_cast<uint8_t>(v);
}

void ReadBackEpldChip::SetByte(int half, int select, int address, uint8_t value) {
    for (int bit = 0; bit < 8; ++bit) SetCell(CellOf(half, select, address, bit), (value >> bit) & 1);
}

bool ReadBackEpldChip::Locked() const {
    switch (part_.kind) {
    case ReadBackEpldKind::Dip24: return (Byte(0, 2, 218) & 0x01) == 0;
    case ReadBackEpldKind::Dip28: return (Byte(0, 0, 0xC5) & 0x10) == 0;
    case ReadBackEpldKind::Dip40:
    case ReadBackEpldKind::Plcc44: return (Byte(3, 0, 15) & 0x01) == 0;
    }
    return false;
}

void ReadBackEpldChip::RefuseSecurity() {
    switch (part_.kind) {
    case ReadBackEpldKind::Dip24: StickCell(CellOf(0, 2, 218, 0)); break;
    case ReadBackEpldKind::Dip28: StickCell(CellOf(0, 0, 0xC5, 4)); break;
    case ReadBackEpldKind::Dip40:
    case ReadBackEpldKind::Plcc44: StickCell(CellOf(3, 0, 15, 0)); break;
    }
}

bool ReadBackEpldChip::BiasOn(const PinEnvironment& env) const {
    return Within(Volts(env, pins_.bias - offset_), kBiasTenths, kBiasTolerance);
}

void ReadBackEpldChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    everPowered_ = everPowered_ || powered;
    if (!powered && Volts(env, pins_.bias - offset_) >= kUnpoweredBiasTenths)
        env.Violation(Name() + ": bias pin raised without VCC and ground");
    const bool strobe = At(env, pins_.strobe) == 1;
    if (strobe && !strobeHigh_ && powered) {
        select_ = Lines(env, pins_.select, 4);
        half_ = pins_.half[0] != 0 ? Lines(env, pins_.half, 2) : 0;
        address_ = Lines(env, pins_.address, pins_.address[7] != 0 ? 8 : 7);
    }
    strobeHigh_ = strobe;
    const bool pulse = powered && At(env, pins_.pulse) == 1;
    if (pulse && !pulseHigh_) {
        pulse_.Start(env.NowUs());
        pulseMode_ = Lines(env, pins_.mode, 4);
        if (pulseMode_ > kProgramMode)
            env.Violation(Name() + ": unknown command, mode lines " + std::to_string(pulseMode_));
    }
    if (!pulse && pulseHigh_) PulseEnded(env, pulse_.Stop(env.NowUs()));
    pulseHigh_ = pulse;
}

void ReadBackEpldChip::PulseEnded(const PinEnvironment& env, uint64_t width) {
    const int mode = pulseMode_;
    if (mode == kReadMode || mode > kProgramMode) return;
    if (pulses_.size() < kLogLimit) pulses_.push_back({mode, width});
    if (!BiasOn(env)) {
        env.Violation(Name() + ": program or erase pulse without the bias level");
        eraseStep_ = 0;
        return;
    }
    if (mode != kProgramMode) {
        if (width < kErasePulseUs) {
            env.Violation(Name() + ": erase pulse shorter than 100 ms");
            eraseStep_ = 0;
            return;
        }
        if (mode != kEraseModes[eraseStep_]) {
            eraseStep_ = mode == kEraseModes[0] ? 1 : 0;
            return;
        }
        if (++eraseStep_ == 3) {
            EraseAll();
            eraseStep_ = 0;
        }
        return;
    }
    eraseStep_ = 0;
    if (width < kProgramPulseUs) {
        env.Violation(Name() + ": program pulse shorter than 10 ms");
        return;
    }
    if (select_ < 0) {
        env.Violation(Name() + ": program pulse with no address latched");
        return;
    }
    const int data = Lines(env, pins_.data, 8);
    if (writes_.size() < kLogLimit) writes_.push_back({half_, select_, address_, data});
    for (int bit = 0; bit < 8; ++bit) WriteCell(CellOf(half_, select_, address_, bit), (data >> bit) & 1);
}

ChipDrive ReadBackEpldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (pins_.data[i] == socketPin) bit = i;
    if (bit < 0 || select_ < 0 || At(env, pins_.pulse) != 1 || Lines(env, pins_.mode, 4) != kReadMode ||
        !BiasOn(env))
        return ChipDrive::None;
    if (Locked()) return ChipDrive::Low;
    return (Byte(half_, select_, address_) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
