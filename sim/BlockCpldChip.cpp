#include "sim/BlockCpldChip.h"

#include <algorithm>
#include <numeric>

namespace sim {

namespace {

namespace pin = block_cpld_pins;

constexpr int kVppTenths = 92, kVppTolerance = 3;
constexpr uint64_t kProgramUs = 50000, kEraseUs = 100000, kSecureUs = 50000;

std::vector<int> AdapterPins() {
    std::vector<int> p(kSocketPins);
    std::iota(p.begin(), p.end(), 1);
    return p;
}

} // namespace

BlockCpldChip::BlockCpldChip(const BlockCpldFacts& facts)
    : CellArrayChip(facts.name, AdapterPins(), facts.fuses, facts.vccPin, {facts.gndPin}, facts.vccMin),
      facts_(facts) {
    AllowPin(facts.vppPin, kVppTenths + kVppTolerance);
}

void BlockCpldChip::PowerOn() {
    on_ = true;
    rowReg_.assign(static_cast<size_t>(RowCount()), false);
    address_ = 0;
    data_.assign(static_cast<size_t>(facts_.blocks),
                 std::vector<uint8_t>(static_cast<size_t>(facts_.columns), 1));
    dclk_ = rclk_ = roe_ = pulse_ = false;
    rowInputs_.clear();
}

std::vector<int> BlockCpldChip::SelectedRows() const {
    std::vector<int> rows;
    auto real = [&](int row) {
        for (int c = 0; c < facts_.columns; ++c) {
            if (facts_.fuseAt(row, 0, c) >= 0) return true;
        }
        return false;
    };
    if (facts_.rowStages == 0) {
        if (real(address_)) rows.push_back(address_);
        return rows;
    }
    for (int s = 0; s < RowCount(); ++s) {
        if (rowReg_[static_cast<size_t>(s)] && real(s)) rows.push_back(s);
    }
    return rows;
}

void BlockCpldChip::SuppliesChanged(const PinEnvironment& env) {
    if (Volts(env, facts_.vppPin) >= 80 && !Powered(env))
        env.Violation(Name() + ": programming voltage on pin " + std::to_string(facts_.vppPin) +
                      " without VCC and ground");
}

void BlockCpldChip::Update(const PinEnvironment& env) {
    const int command = Level(env, pin::kCmd0) | Level(env, pin::kCmd1) << 1;
    if (!Powered(env)) {
        if (on_) commandsAtOff_.push_back(command_);
        on_ = false;
        return;
    }
    if (!on_) PowerOn();
    const bool dclk = Level(env, pin::kDclk) != 0, rclk = Level(env, pin::kRclk) != 0;
    const bool roe = Level(env, pin::kRoe) != 0, pulse = Level(env, pin::kPulse) != 0;
    const int mode = Level(env, pin::kMode0) | Level(env, pin::kMode1) << 1;
    if (pulse_ && command != pulseCommand_) env.Violation(Name() + ": command changed during a pulse");
    command_ = command;
    if (dclk && !dclk_) {
        for (int b = 0; b < facts_.blocks; ++b) {
            auto& d = data_[static_cast<size_t>(b)];
            std::rotate(d.rbegin(), d.rbegin() + 1, d.rend());
            d[0] = static_cast<uint8_t>(Level(env, pin::kDin0 + b));
        }
    }
    if (rclk && !rclk_) {
        const bool in = Level(env, pin::kRin) != 0;
        rowInputs_.push_back(in);
        if (facts_.rowStages == 0) {
            address_ = (address_ >> 1) | (in ? 32 : 0);
        } else {
            std::rotate(rowReg_.rbegin(), rowReg_.rbegin() + 1, rowReg_.rend());
            rowReg_[0] = in;
        }
    }
    if (roe && !roe_) {
        if (mode != 3) env.Violation(Name() + ": read-out enabled outside set-up mode");
        const std::vector<int> rows = SelectedRows();
        readSupplies_.push_back(Volts(env, facts_.vccPin));
        if (rows.size() != 1) {
            env.Violation(Name() + ": read-out with " + std::to_string(rows.size()) + " rows selected");
            readRows_.push_back(-1);
        } else {
            const int row = rows[0];
            readRows_.push_back(row);
            for (int b = 0; b < facts_.blocks; ++b) {
                for (int c = 0; c < facts_.columns; ++c) {
                    const int32_t f = facts_.fuseAt(row, b, c);
                    int v = 1;
                    if (Secured()) {
                        v = 0;
                    } else if (f >= 0) {
                        v = Cell(static_cast<uint32_t>(f));
                        if (row == facts_.eRow) v ^= 1;
                    }
                    data_[static_cast<size_t>(b)][static_cast<size_t>(c)] = static_cast<uint8_t>(v);
                }
            }
        }
    }
    if (pulse && !pulse_) {
        timer_.Start(env.NowUs());
        pulseCommand_ = command;
    } else if (!pulse && pulse_) {
        Act(env, pulseCommand_, timer_.Stop(env.NowUs()));
    }
    if (pulse && !pulse_) {
        if (!Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance))
            env.Violation(Name() + ": pulse without 9.2 V on pin " + std::to_string(facts_.vppPin));
        if (!Within(Volts(env, facts_.vccPin), facts_.programTenths, 2))
            env.Violation(Name() + ": pulse with VCC at " + std::to_string(Volts(env, facts_.vccPin)) +
                          " tenths");
    }
    dclk_ = dclk;
    rclk_ = rclk;
    roe_ = roe;
    pulse_ = pulse;
}

void BlockCpldChip::Act(const PinEnvironment& env, int command, uint64_t widthUs) {
    std::vector<int> rows = command == 1 && facts_.eraseAll ? std::vector<int>{} : SelectedRows();
    if (command == 1 && facts_.eraseAll) {
        for (int r = 0; r < RowCount(); ++r)
            rows.push_back(r);
    }
    pulses_.push_back({command, command == 3 ? std::vector<int>{} : SelectedRows(), widthUs});
    const bool supplied = Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance) &&
                          Within(Volts(env, facts_.vccPin), facts_.programTenths, 2);
    if (!supplied) return;
    switch (command) {
    case 2:
        if (widthUs < kProgramUs) return;
        for (int row : rows) {
            for (int b = 0; b < facts_.blocks; ++b) {
                const auto& d = data_[static_cast<size_t>(b)];
                for (int c = 0; c < facts_.columns; ++c) {
                    const int32_t f = facts_.fuseAt(row, b, c);
                    // Column c went in at clock c: it now sits columns - 1 - c stages on.
                    if (f >= 0)
                        WriteCell(static_cast<uint32_t>(f), d[static_cast<size_t>(facts_.columns - 1 - c)]);
                }
            }
        }
        break;
    case 1: {
        if (widthUs < kEraseUs) return;
        size_t erased = 0;
        for (int row : rows) {
            for (int b = 0; b < facts_.blocks; ++b) {
                for (int c = 0; c < facts_.columns; ++c) {
                    const int32_t f = facts_.fuseAt(row, b, c);
                    if (f < 0) continue;
                    SetCell(static_cast<uint32_t>(f), 1);
                    ++erased;
                }
            }
        }
        if (erased == CellCount()) EraseAll(); // every row: the security cell too
        break;
    }
    case 3:
        if (widthUs >= kSecureUs) Secure();
        break;
    default:
        env.Violation(Name() + ": pulse without a command");
        break;
    }
}

ChipDrive BlockCpldChip::PoweredOutput(const PinEnvironment&, int socketPin) const {
    const int b = socketPin - pin::kDout0;
    if (b < 0 || b >= facts_.blocks || !roe_ || !on_) return ChipDrive::None;
    return data_[static_cast<size_t>(b)][static_cast<size_t>(facts_.columns - 1)] ? ChipDrive::High
                                                                                  : ChipDrive::Low;
}

} // namespace sim
