#include "sim/JtagCpldChip.h"

#include <cstdio>

namespace sim {

namespace {

int Offset(int packagePins) { return (kSocketPins - packagePins) / 2; }

JtagDeviceConfig TapConfig(int irLength) {
    JtagDeviceConfig c;
    c.irLength = irLength;
    c.scanLength = 0;
    return c;
}

std::vector<int> ChipPins(const int* socketPins, int count, int packagePins) {
    std::vector<int> pins;
    for (int i = 0; i < count && socketPins[i] != 0; ++i) pins.push_back(socketPins[i] - Offset(packagePins));
    return pins;
}

} // namespace

std::vector<int> AdapterSocketPins(int packagePins) {
    std::vector<int> pins;
    for (int n = 1; n <= packagePins; ++n) {
        const int z = n + Offset(packagePins);
        pins.push_back(z >= 1 && z <= kSocketPins ? z : 0);
    }
    return pins;
}

JtagCpldChip::JtagCpldChip(const JtagCpldFacts& part, uint32_t cells, int irLength)
    : CellArrayChip(part.name, AdapterSocketPins(part.packagePins), cells, part.vcc - Offset(part.packagePins),
                    ChipPins(part.gnd, 6, part.packagePins), part.vccTenths - part.vccTolTenths),
      part_(part),
      tap_(TapConfig(irLength)) {
    tap_.SetRegisters(this);
    if (part.hv != 0) AllowPin(part.hv - Offset(part.packagePins), 125);
}

void JtagCpldChip::Violation(const std::string& what) const {
    if (env_) env_->Violation(Name() + ": " + what);
}

bool JtagCpldChip::SupplyInWindow() const {
    return Within(SupplyTenths(), part_.vccTenths, part_.vccTolTenths);
}

bool JtagCpldChip::CheckLength(uint32_t instruction, uint32_t shifted, size_t length) const {
    if (shifted == length) return true;
    char buf[96];
    std::snprintf(buf, sizeof buf, "instruction %03Xh scanned with %u bits, its register has %zu", instruction, shifted,
                  length);
    Violation(buf);
    return false;
}

std::vector<bool> JtagCpldChip::Bits(uint64_t value, int count) {
    std::vector<bool> b(static_cast<size_t>(count));
    for (int i = 0; i < count && i < 64; ++i) b[static_cast<size_t>(i)] = (value >> i) & 1;
    return b;
}

uint64_t JtagCpldChip::Value(const std::vector<bool>& bits, size_t from, size_t count) {
    uint64_t v = 0;
    for (size_t i = 0; i < count && i < 64 && from + i < bits.size(); ++i) v |= uint64_t{bits[from + i]} << i;
    return v;
}

void JtagCpldChip::SampleTap(const PinEnvironment& env) {
    tap_.Sample(env.InputLevel(part_.tck) != 0, env.InputLevel(part_.tms) != 0, env.InputLevel(part_.tdi) != 0,
                env.NowUs());
}

void JtagCpldChip::Update(const PinEnvironment& env) {
    env_ = &env;
    const int volts = SupplyTenths();
    if (volts > part_.vccMaxTenths && !overVoltage_) {
        overVoltage_ = true;
        Violation("supply " + std::to_string(volts / 10) + "." + std::to_string(volts % 10) +
                  " V above the part's maximum");
    }
    const bool powered = Powered(env);
    if (powered && !wasPowered_) tap_.PowerOn(env.InputLevel(part_.tck) != 0);
    wasPowered_ = powered;
    if (powered) SampleTap(env);
    env_ = nullptr;
}

ChipDrive JtagCpldChip::PoweredOutput(const PinEnvironment&, int socketPin) const {
    if (socketPin != part_.tdo || !tap_.TdoActive()) return ChipDrive::None;
    return tap_.Tdo() ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
