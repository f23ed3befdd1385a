#include "sim/IspPldChip.h"

namespace sim {

namespace {
constexpr int kModePin = 1, kClockPin = 2, kDataInPin = 3, kDataOutPin = 4, kEnablePin = 5, kVccPin = 6, kGndPin = 7;
constexpr size_t kLogLimit = 1u << 16;
enum Instruction : uint32_t {
    kAddressShift = 1,
    kDataShift = 2,
    kErase = 3,
    kProgram0 = 7,
    kProgram1 = 8,
    kSecure = 9,
    kRead0 = 10,
    kRead1 = 11,
    kSignature = 17,
};
} // namespace

IspPldChip::IspPldChip(const IspPldFacts& facts)
    : CellArrayChip(facts.name, facts.socketPins, facts.rows * facts.bits * facts.shifts, kVccPin, {kGndPin}, 45),
      part_(facts),
      address_(facts.rows, 0),
      data_(facts.bits, 0) {}

bool IspPldChip::Enabled(const PinEnvironment& env) const { return Powered(env) && Level(env, kEnablePin) == 0; }

void IspPldChip::Shift(std::deque<uint8_t>& reg, int bit) {
    if (reg.empty()) return;
    reg.pop_front();
    reg.push_back(static_cast<uint8_t>(bit));
}

std::vector<uint32_t> IspPldChip::SelectedRows() {
    std::vector<uint32_t> rows;
    for (uint32_t r = 0; r < address_.size(); ++r)
        if (address_[r] != 0) rows.push_back(r);
    if (rows.size() != 1) ++badAddresses_;
    return rows;
}

// A timed instruction acts when the clock after it comes late enough.
void IspPldChip::FinishTimed(uint64_t now) {
    if (!timing_) return;
    timing_ = false;
    const uint64_t width = now - timedFromUs_;
    const uint32_t need = timedInstruction_ == kErase ? part_.eraseUs : part_.programUs;
    const bool done = width >= need;
    if (timed_.size() < kLogLimit) timed_.push_back({timedInstruction_, width, done});
    if (!done) return;
    if (timedInstruction_ == kErase) {
        EraseAll();
    } else if (timedInstruction_ == kSecure) {
        Secure();
    } else {
        const uint32_t s = timedInstruction_ == kProgram0 ? 0 : 1;
        if (s >= part_.shifts) return;
        for (uint32_t r : SelectedRows())
            for (uint32_t b = 0; b < part_.bits; ++b)
                WriteCell((r * part_.shifts + s) * part_.bits + b, data_[b]);
    }
}

void IspPldChip::Execute(uint64_t now, int sdi) {
    switch (instruction_) {
    case kAddressShift:
        Shift(address_, sdi);
        break;
    case kDataShift:
        Shift(data_, sdi);
        break;
    case kErase:
    case kProgram0:
    case kProgram1:
    case kSecure:
        timing_ = true;
        timedInstruction_ = instruction_;
        timedFromUs_ = now;
        break;
    case kRead0:
    case kRead1: {
        const uint32_t s = instruction_ - kRead0;
        if (s >= part_.shifts) break;
        const std::vector<uint32_t> rows = SelectedRows();
        for (uint32_t b = 0; b < part_.bits; ++b) {
            int bit = 1;
            for (uint32_t r : rows) bit &= Secured() ? 1 : Cell((r * part_.shifts + s) * part_.bits + b);
            data_[b] = static_cast<uint8_t>(bit);
        }
        break;
    }
    case kSignature:
        readOut_.clear();
        for (uint8_t byte : part_.signature)
            for (int i = 0; i < 8; ++i) readOut_.push_back(static_cast<uint8_t>(byte >> i & 1));
        break;
    default:
        break;
    }
}

void IspPldChip::Clock(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    FinishTimed(now);
    const int mode = Level(env, kModePin), sdi = Level(env, kDataInPin);
    if (mode == 1 && sdi == 0) {
        state_ = State::Idle;
        // Another part's identification byte: its lowest bit flipped.
        idRegister_ = static_cast<uint8_t>(part_.identity ^ (AnswersAnotherIdentity() ? 1 : 0));
        return;
    }
    if (mode == 1) {
        state_ = state_ == State::Shift ? State::Execute : State::Shift;
        return;
    }
    switch (state_) {
    case State::Idle:
        idRegister_ >>= 1;
        break;
    case State::Shift:
        instruction_ = (instruction_ >> 1) | static_cast<uint32_t>(sdi) << 4;
        if (!readOut_.empty()) readOut_.pop_front();
        break;
    case State::Execute:
        Execute(now, sdi);
        break;
    }
}

void IspPldChip::Update(const PinEnvironment& env) {
    const bool high = Level(env, kClockPin) == 1;
    const bool rise = high && !clockHigh_;
    clockHigh_ = high;
    if (!rise) return;
    if (!Enabled(env)) {
        timing_ = false;
        state_ = State::Idle;
        return;
    }
    Clock(env);
}

ChipDrive IspPldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (ChipPinAt(socketPin) != kDataOutPin || Level(env, kEnablePin) != 0) return ChipDrive::None;
    int bit = 0;
    if (state_ == State::Idle) bit = static_cast<int>(idRegister_ & 1u);
    if (state_ == State::Shift) bit = readOut_.empty() ? 0 : readOut_.front();
    if (state_ == State::Execute) bit = data_.empty() ? 0 : data_.front();
    return bit != 0 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
