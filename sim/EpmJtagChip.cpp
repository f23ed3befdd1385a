#include "sim/EpmJtagChip.h"

#include <cstring>

namespace sim {

namespace {

constexpr int kIspTenths = 112;
constexpr int kIspTolerance = 3;
constexpr size_t kLogLimit = 1u << 16;
constexpr int kAddresses = 95;

JtagCpldFacts TapFacts(const EpmJtagFacts& f) {
    JtagCpldFacts t{};
    t.maker = f.maker;
    t.name = f.name;
    t.kind = JtagCpldKind::Isc64;
    t.packagePins = 44;
    t.vccTenths = 33;
    t.vccTolTenths = 3;
    t.vccMaxTenths = 46;
    t.tms = 15;
    t.tck = 34;
    t.tdi = 9;
    t.tdo = 40;
    t.hv = 46;
    t.vcc = 5;
    t.gnd[0] = 12;
    t.gnd[1] = 24;
    t.gnd[2] = 32;
    t.gnd[3] = 44;
    return t;
}

// Where the identification bytes lie: byte i's first position and width;
// bit k of a byte at position start + 5 (n - 1 - k).
struct IdField {
    int start, n;
};
constexpr IdField kId0[11] = {{0, 8},   {40, 8}, {103, 8}, {143, 8}, {1, 8},  {41, 8},
                              {104, 8}, {144, 8}, {2, 3},  {17, 5},  {57, 5}};
constexpr IdField kId1[11] = {{80, 8},  {120, 8}, {0, 8},  {40, 8}, {200, 8}, {240, 8},
                              {280, 8}, {320, 8}, {81, 3}, {96, 5}, {136, 5}};

} // namespace

EpmJtagChip::EpmJtagChip(const EpmJtagFacts& facts)
    : JtagCpldChip(TapFacts(facts), static_cast<uint32_t>(kAddresses * (facts.variant == 0 ? 183 : 360)), 10),
      part_(facts) {
    PresetId();
}

void EpmJtagChip::PresetId() {
    uint8_t bytes[11] = {};
    std::memcpy(bytes, part_.idText ? "ALTERA98" : "ALTERA87", 8);
    bytes[8] = static_cast<uint8_t>(part_.eraseCode);
    bytes[9] = static_cast<uint8_t>(part_.pulseCode);
    bytes[10] = 0;
    const IdField* f = part_.variant == 0 ? kId0 : kId1;
    for (int i = 0; i < 11; ++i)
        for (int k = 0; k < f[i].n; ++k) SetCell(CellAt(1, f[i].start + 5 * (f[i].n - 1 - k)), (bytes[i] >> k) & 1);
}

bool EpmJtagChip::IdBit(int p) const {
    const IdField* f = part_.variant == 0 ? kId0 : kId1;
    for (int i = 0; i < 11; ++i)
        if (p >= f[i].start && p <= f[i].start + 5 * (f[i].n - 1) && (p - f[i].start) % 5 == 0) return true;
    return false;
}

void EpmJtagChip::Log(uint32_t instruction, int address, uint64_t us, bool applied) {
    if (events_.size() < kLogLimit) events_.push_back({instruction, address, us, applied});
}

void EpmJtagChip::UpdateIr(uint32_t instruction, uint64_t) {
    if (instruction == 818) {
        isp_ = SupplyInWindow() && Within(SocketVolts(46), kIspTenths, kIspTolerance);
        address_ = -1;
    } else if (instruction == 6) {
        isp_ = false;
    }
}

std::optional<std::vector<bool>> EpmJtagChip::CaptureDr(uint32_t instruction) {
    if (!isp_) return std::nullopt;
    const size_t bits = static_cast<size_t>(Bits());
    switch (instruction) {
    case 14: return std::vector<bool>(kAddresses, false);
    case 18: return std::vector<bool>(bits, true);
    case 22:
    case 26:
    case 30: {
        std::vector<bool> word(bits, true);
        if (address_ >= 0 && address_ < kAddresses) {
            const bool hidden = address_ != 1 && Locked();
            // Another part's identification: its bits of address 1 read inverted.
            const bool another = address_ == 1 && AnswersAnotherIdentity();
            for (size_t i = 0; i < bits && !hidden; ++i) {
                const int p = Bits() - 1 - static_cast<int>(i);
                const uint32_t c = CellAt(address_, p);
                word[i] = Cell(c) != 0 || (instruction == 26 && weak_.count(c) != 0);
                if (another && IdBit(p)) word[i] = !word[i];
            }
        }
        Log(instruction, address_, 0, true);
        if (address_ >= 0) ++address_;
        return word;
    }
    default: return std::nullopt;
    }
}

void EpmJtagChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t) {
    if (!isp_) return;
    if (instruction == 14) {
        if (!CheckLength(instruction, shifted, kAddresses)) return;
        int set = -1, count = 0;
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) {
                set = static_cast<int>(i);
                ++count;
            }
        address_ = count == 1 ? kAddresses - 1 - set : -1;
        Log(14, address_, 0, count == 1);
    } else if (instruction == 18) {
        if (!CheckLength(instruction, shifted, static_cast<size_t>(Bits()))) return;
        data_ = bits;
        pending_ = true;
    }
}

void EpmJtagChip::Idle(uint32_t instruction, uint64_t us) {
    if (!isp_) return;
    if (instruction == 18 && pending_) {
        pending_ = false;
        const bool applied = us >= part_.pulseUs && address_ >= 0 && address_ < kAddresses;
        if (applied)
            for (int i = 0; i < Bits(); ++i) WriteCell(CellAt(address_, Bits() - 1 - i), data_[static_cast<size_t>(i)] ? 1 : 0);
        Log(18, address_, us, applied);
        if (address_ >= 0) ++address_;
    } else if (instruction == 10) {
        const bool applied = us >= part_.eraseUs;
        if (applied) {
            std::vector<int> id(static_cast<size_t>(Bits()));
            for (int p = 0; p < Bits(); ++p) id[static_cast<size_t>(p)] = Cell(CellAt(1, p));
            EraseAll();
            for (int p = 0; p < Bits(); ++p)
                if (IdBit(p)) SetCell(CellAt(1, p), id[static_cast<size_t>(p)]);
        }
        Log(10, -1, us, applied);
    }
}

} // namespace sim
