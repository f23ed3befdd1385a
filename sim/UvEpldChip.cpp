#include "sim/UvEpldChip.h"

#include <cstring>

namespace sim {

namespace {

constexpr int kReadLevelTenths = 95;
constexpr int kRaisedLevelTenths = 123;
constexpr int kLevelTolerance = 3;
constexpr uint64_t kStrobePulseUs = 100;
constexpr int kPinMaxTenths = 145;
constexpr size_t kLogLimit = 1u << 18;

int PinCount(UvEpldKind k) { return k == UvEpldKind::Dip24 ? 24 : 40; }

} // namespace

const UvEpldChip::Pins& UvEpldChip::PinsOf(UvEpldKind k) {
    static const Pins k24{{17, 18, 19, 20}, 4, {15, 16, 21, 22, 23, 2, 11}, 7, {3, 4, 5, 6, 7, 8, 9, 10}, 1, 13, 41, 105,
                          24, 12};
    static const Pins k40a{{29, 30, 31, 32, 33}, 5, {25, 26, 35, 36, 39, 2, 17, 23}, 8, {5, 6, 9, 10, 11, 12, 15, 16},
                           1, 21, 73, 201, 40, 20};
    static const Pins k40b{{13, 14, 15, 16, 17, 18}, 6, {11, 12, 29, 30, 9, 10, 31, 32}, 8,
                           {21, 22, 23, 24, 25, 26, 27, 28}, 4, 1, 89, 217, 34, 20}; // VCC on socket pin 38
    return k == UvEpldKind::Dip24 ? k24 : k == UvEpldKind::Dip40A ? k40a : k40b;
}

UvEpldChip::UvEpldChip(const UvEpldFacts& facts)
    : CellArrayChip(facts.name, PinCount(facts.kind), static_cast<uint32_t>(kRows * kColumns * 8),
                    PinsOf(facts.kind).vcc, {PinsOf(facts.kind).gnd}),
      part_(facts) {
    AllowPin(PinsOf(facts.kind).strobe, kPinMaxTenths);
    AllowPin(PinsOf(facts.kind).vpp, kPinMaxTenths);
}

// A cell holds 1 erased: a byte bit is 1 where its cell was programmed.
uint8_t UvEpldChip::Byte(int a, int c) const {
    uint32_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint32_t>(1 - Cell(CellOf(a, c, bit))) << bit;
    return static_cast<uint8_t>(v);
}

void UvEpldChip::SetByte(int a, int c, uint8_t value) {
    for (int bit = 0; bit < 8; ++bit) SetCell(CellOf(a, c, bit), ((value >> bit) & 1) ? 0 : 1);
}

bool UvEpldChip::Locked() const { return (Byte(part_.secureA, part_.secureC) & part_.secureMask) != 0; }

void UvEpldChip::ExposeToUv(uint32_t minutes) {
    if (minutes < part_.eraseMinutes) return;
    EraseAll();
    given_.clear();
}

std::pair<int, int> UvEpldChip::Address(const PinEnvironment& env) const {
    const Pins& p = PinsOf(part_.kind);
    int a = 0, c = 0;
    for (int i = 0; i < p.addressBits; ++i) a |= Level(env, p.address[i]) << i;
    for (int i = 0; i < p.columnBits; ++i) c |= Level(env, p.column[i]) << i;
    return {a, c};
}

int UvEpldChip::SignatureIndex(int a, int c) const {
    const Pins& p = PinsOf(part_.kind);
    if (c == p.c1 && a >= 10 && a <= 14) return a - 10;
    if (c == p.c2 && a >= 10 && a <= 15) return a - 5;
    return -1;
}

void UvEpldChip::Update(const PinEnvironment& env) {
    const Pins& p = PinsOf(part_.kind);
    const bool low = Level(env, p.strobe) == 0;
    if (low && !strobeLow_) pulse_.Start(env.NowUs());
    if (!low && strobeLow_) {
        const uint64_t width = pulse_.Stop(env.NowUs());
        const bool levels = Within(Volts(env, p.vpp), part_.vppTenths, kLevelTolerance) &&
                            (Within(Volts(env, p.vcc), part_.vccTenths, kLevelTolerance) ||
                             (part_.altVccTenths != 0 && Within(Volts(env, p.vcc), part_.altVccTenths, kLevelTolerance)));
        bool driven = true;
        for (int i = 0; i < 8; ++i) driven = driven && env.ConditionAt(SocketOf(p.data[i])).driven;
        if (Powered(env) && levels && width >= kStrobePulseUs && !driven) {
            // A floating data pin gives the cell whatever it picks up.
            env.Violation(Name() + ": a data pin undriven during a program pulse");
        } else if (Powered(env) && levels && width >= kStrobePulseUs) {
            const auto [a, c] = Address(env);
            int data = 0;
            for (int i = 0; i < 8; ++i) data |= Level(env, p.data[i]) << i;
            if (pulses_.size() < kLogLimit) pulses_.push_back({a, c, data});
            const auto need = need_.find({a, c});
            if (need == need_.end() || ++given_[{a, c}] >= need->second)
                for (int bit = 0; bit < 8; ++bit) WriteCell(CellOf(a, c, bit), ((data >> bit) & 1) ? 0 : 1);
        }
    }
    strobeLow_ = low;
}

ChipDrive UvEpldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const Pins& p = PinsOf(part_.kind);
    const int chipPin = ChipPinAt(socketPin);
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (p.data[i] == chipPin) bit = i;
    const int strobe = Volts(env, p.strobe);
    if (bit < 0 || strobe < kReadLevelTenths) return ChipDrive::None;
    if (Locked()) return ChipDrive::Low;
    const auto [a, c] = Address(env);
    uint8_t v = Byte(a, c);
    const int s = SignatureIndex(a, c);
    if (s >= 0) {
        const bool answers = std::memcmp(part_.signature, "ALTERA95", 8) == 0 || strobe >= kRaisedLevelTenths;
        v = answers ? part_.signature[s] : 0;
        // Another part's signature: bit 0 of its first byte changed.
        if (answers && s == 0 && AnswersAnotherIdentity()) v ^= 1;
    }
    return (v >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
