// Base of the JTAG-programmed logic parts: a cell array (CellArrayChip)
// behind a TAP controller on socket pins, clocked only while the part is
// powered, TDO driven only while powered and in a shift state. The derived
// models give each instruction its data register.
//
// Checks common to them: a supply above the part's absolute maximum, an
// instruction the part does not define, and a data scan of another length
// than the register's are violations.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/CellArrayChip.h"
#include "sim/JtagDevice.h"
#include "sim/JtagCpldParts.h"

namespace sim {

class JtagCpldChip : public CellArrayChip, public TapRegisters {
public:
    JtagCpldChip(const JtagCpldFacts& part, uint32_t cells, int irLength);

    void Update(const PinEnvironment& env) override;

    const JtagCpldFacts& Part() const { return part_; }
    TapController& Tap() { return tap_; }
    // Fault: what Capture-IR loads.
    void SetIrCapture(uint32_t value) { irCapture_ = value; }
    uint32_t CaptureIr() override { return irCapture_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

    // Socket-pin helpers while the part is updated.
    int SocketLevel(int socketPin) const { return env_ ? env_->InputLevel(socketPin) : 0; }
    int SocketVolts(int socketPin) const { return env_ ? env_->VoltageTenths(socketPin) : -1; }
    // The supply within the part's operating window.
    bool SupplyInWindow() const;
    int SupplyTenths() const { return SocketVolts(part_.vcc); }
    void Violation(const std::string& what) const;
    // A scan of `shifted` bits into a register of `length`: a violation unless equal.
    bool CheckLength(uint32_t instruction, uint32_t shifted, size_t length) const;
    static std::vector<bool> Bits(uint64_t value, int count);
    static uint64_t Value(const std::vector<bool>& bits, size_t from, size_t count);

    // TAP inputs; the environment is valid inside Update only.
    virtual void SampleTap(const PinEnvironment& env);
    const PinEnvironment* env_ = nullptr;

private:
    JtagCpldFacts part_;
    TapController tap_;
    uint32_t irCapture_ = 1;
    bool overVoltage_ = false;
    bool wasPowered_ = false;
};

// Socket pin of each package pin as the adapter seats it.
std::vector<int> AdapterSocketPins(int packagePins);

} // namespace sim
