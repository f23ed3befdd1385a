#include "sim/WordPldChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint32_t kCells = 6504;
constexpr int kStrobePin = 21, kEditPin = 22, kCommandPin = 23, kVccPin = 26, kGndPin = 27;
constexpr int kRowPin = 6, kSubPin = 12; // D5, D11
constexpr int kEditModeTenths = 80;
constexpr int kEditTenths = 92;
constexpr int kEditMaxTenths = 120;
constexpr uint64_t kProgramUs = 50000;
constexpr uint64_t kEraseUs = 100000;
constexpr uint32_t kAllOnes = (1u << 20) - 1;
constexpr size_t kLogLimit = 1u << 16;

// Socket pins of chip pins 1-27 in each adapter.
std::vector<int> SocketPinsFor(uint8_t adapter) {
    if (adapter == 82)
        return {4, 6, 8, 10, 11, 16, 17, 19, 21, 23, 26, 28, 30, 32, 33, 38, 39, 41, 43, 45, 15, 12, 13, 34, 35, 46, 24};
    return {22, 23, 28, 29, 30, 16, 17, 18, 19, 20, 21, 25, 26, 27, 31, 32, 33, 34, 35, 36, 11, 12, 13, 14, 15, 38, 24};
}

// Product terms by sub-block: blocks 0-3 are the first list plus the block
// number, 4-6 the second plus (block - 4), 7 the third; each list's word bits.
constexpr int kTermsA[20] = {3, 11, 19, 27, 31, 35, 39, 47, 55, 63, 73, 81, 89, 97, 101, 105, 109, 117, 125, 133};
constexpr int kTermsB[16] = {0, 7, 15, 23, 43, 51, 59, 67, 70, 77, 85, 93, 113, 121, 129, 137};
constexpr int kTermsC[12] = {10, 18, 26, 46, 54, 62, 80, 88, 96, 116, 124, 132};
constexpr uint32_t kBitsB = 0b11110011111111001111;
constexpr uint32_t kBitsC = 0b01110011100111001110;
// Special rows: the column of each word bit of blocks 0-1 and of the
// twelve middle bits of blocks 4-5 (8 fuses a column from 6160), and the
// four bits that reach the 88 fuses from 6416.
constexpr int kColumnsA[20] = {0, 2, 4, 6, 7, 8, 9, 11, 13, 15, 16, 18, 20, 22, 23, 24, 25, 27, 29, 31};
constexpr int kColumnsB[12] = {1, 3, 5, 10, 12, 14, 17, 19, 21, 26, 28, 30};
constexpr int kQuad[4] = {0, 9, 19, 10};

// Position of `bit` among the set bits of `mask`, -1 when it is not set.
int Rank(uint32_t mask, int bit) {
    if (((mask >> bit) & 1) == 0) return -1;
    int k = 0;
    for (int b = 0; b < bit; ++b) k += (mask >> b) & 1;
    return k;
}

} // namespace

WordPldChip::WordPldChip(const WordPldFacts& facts)
    : CellArrayChip(facts.name, SocketPinsFor(facts.adapterCode), kCells, kVccPin, {kGndPin}, 45), part_(facts) {
    AllowPin(kEditPin, kEditMaxTenths);
    std::fill(std::begin(buffer_), std::end(buffer_), kAllOnes);
}

int WordPldChip::FuseAt(int row, int s, int bit) {
    if (s < 0 || s > 7 || bit < 0 || bit > 19) return -1;
    if (row >= 0 && row < 44) {
        int term = -1;
        if (s < 4) term = kTermsA[bit] + s;
        else if (s < 7 && Rank(kBitsB, bit) >= 0) term = kTermsB[Rank(kBitsB, bit)] + s - 4;
        else if (s == 7 && Rank(kBitsC, bit) >= 0) term = kTermsC[Rank(kBitsC, bit)];
        return term < 0 ? -1 : term * 44 + row;
    }
    if (row < 60 || row > 63) return -1;
    const int j = row - 60;
    if (s == 7 && j >= 2) return -1;
    if (s < 2) return 6160 + 8 * kColumnsA[bit] + 2 * j + s;
    for (int q = 0; q < 4; ++q)
        if (kQuad[q] == bit) return 6416 + 22 * q + 12 * (j / 2) + 2 * (s - 2) + j % 2;
    if ((s == 4 || s == 5) && Rank(kBitsC, bit) >= 0) return 6160 + 8 * kColumnsB[Rank(kBitsC, bit)] + 2 * j + s - 4;
    return -1;
}

int WordPldChip::Command(const PinEnvironment& env) const {
    return Level(env, kCommandPin) | Level(env, kCommandPin + 1) << 1 | Level(env, kCommandPin + 2) << 2;
}

int WordPldChip::DataPins(const PinEnvironment& env, int from, int count) const {
    int v = 0;
    for (int k = 0; k < count; ++k) v |= Level(env, from + k) << k;
    return v;
}

bool WordPldChip::EditOn(const PinEnvironment& env) const { return Volts(env, kEditPin) >= kEditModeTenths; }

uint32_t WordPldChip::CellWord(int row, int s) const {
    if (Secured()) return 0;
    uint32_t w = 0;
    for (int b = 0; b < 20; ++b) {
        const int f = FuseAt(row, s, b);
        if (f >= 0 && Cell(static_cast<uint32_t>(f)) == 1) w |= 1u << b;
    }
    return w;
}

void WordPldChip::Update(const PinEnvironment& env) {
    const bool high = Level(env, kStrobePin) == 1;
    if (high == strobeHigh_) return;
    strobeHigh_ = high;
    const bool edit = EditOn(env);
    const bool powered = Powered(env);
    if (edit && !powered) {
        env.Violation(Name() + ": strobe at edit voltage without VCC and ground");
        return;
    }
    if (!edit || !powered) {
        strobe_.Stop(env.NowUs());
        return;
    }
    const int command = Command(env);
    if (high) {
        strobeCommand_ = command;
        strobe_.Start(env.NowUs());
        if (command == 7) {
            row_ = DataPins(env, kRowPin, 6);
            sub_ = DataPins(env, kSubPin, 3);
        } else if (command == 3 && sub_ >= 0) {
            buffer_[sub_] = static_cast<uint32_t>(DataPins(env, 1, 20));
            if (loads_.size() < kLogLimit) loads_.push_back({row_, sub_, buffer_[sub_]});
        }
        return;
    }
    const uint64_t width = strobe_.Stop(env.NowUs());
    if (command != strobeCommand_) return; // the command changed under the strobe
    const bool atVoltage = Within(Volts(env, kEditPin), kEditTenths, 2);
    if (command == 2 && atVoltage && width >= kProgramUs) {
        for (int s = 0; s < 8; ++s)
            for (int b = 0; b < 20; ++b) {
                const int f = FuseAt(row_, s, b);
                if (f >= 0) WriteCell(static_cast<uint32_t>(f), static_cast<int>((buffer_[s] >> b) & 1));
            }
        if (rowWrites_.size() < kLogLimit) rowWrites_.push_back(row_);
        std::fill(std::begin(buffer_), std::end(buffer_), kAllOnes);
    } else if (command == 5 && atVoltage && width >= kEraseUs && !ignoreErase_) {
        EraseAll();
    } else if (command == 4 && atVoltage && width >= kEraseUs) {
        Secure();
    }
}

ChipDrive WordPldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int pin = ChipPinAt(socketPin);
    if (pin < 1 || pin > 20 || !EditOn(env) || !strobeHigh_ || Command(env) != 1) return ChipDrive::None;
    return (CellWord(row_, sub_) >> (pin - 1)) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
