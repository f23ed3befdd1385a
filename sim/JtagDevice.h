// A device with an IEEE 1149.1 test access port on any four socket pins: the
// 16-state TAP controller, an instruction register of configurable length
// (captures ...01), BYPASS (all ones and every unknown instruction), IDCODE
// (selected after Test-Logic-Reset) and one scan register of configurable
// length that keeps what Update-DR latches into it.
//
// The TAP samples TMS and TDI on the rising edge of TCK; TDO changes on the
// falling edge and is driven only in Shift-IR and Shift-DR.
#pragma once
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/Socket.h"

namespace sim {

enum class TapState : uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

const char* TapStateName(TapState s);
// The state the TAP moves to from s with the given TMS.
TapState NextTapState(TapState s, bool tms);

// One rising TCK edge: what the TAP sampled and the state it entered.
struct TapCycle {
    bool tms;
    bool tdi;
    TapState state;
};

struct JtagDeviceConfig {
    int tmsPin = 0; // socket pins
    int tckPin = 0;
    int tdiPin = 0;
    int tdoPin = 0;
    int irLength = 8;
    uint32_t idcode = 0;
    uint32_t idcodeInstruction = 0x01;
    uint32_t scanInstruction = 0x02;
    int scanLength = 16;
};

// The data registers of a part built on the controller, instruction by
// instruction. Bit i of a register is the i-th bit shifted in (bit 0 leaves
// on TDO first).
class TapRegisters {
public:
    virtual ~TapRegisters() = default;
    // What Capture-IR loads (bit 0 first); the standard asks for ...01.
    virtual uint32_t CaptureIr() { return 1; }
    // The instruction took effect (Update-IR).
    virtual void UpdateIr(uint32_t instruction, uint64_t nowUs) { (void)instruction, (void)nowUs; }
    // Capture-DR: the register the instruction selects; none for an
    // instruction the part does not define (BYPASS is shifted then).
    virtual std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) = 0;
    // Update-DR after `shifted` Shift-DR clocks; bits as the shift chain holds them.
    virtual void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) = 0;
    // The TAP left Run-Test/Idle after `us` microseconds there.
    virtual void Idle(uint32_t instruction, uint64_t us) { (void)instruction, (void)us; }
    // A register that streams: the bits that follow once every captured bit
    // has left on TDO, in place of the bits shifted in (none: the shifted-in
    // bits follow, as in any register).
    virtual std::vector<bool> MoreDr(uint32_t instruction) { (void)instruction; return {}; }
};

// The TAP controller alone, fed the levels of TCK, TMS and TDI from wherever
// a part takes them (socket pins, bits of a programmer register); TDO is
// what it drives. The pin fields of the configuration are not used here.
class TapController {
public:
    explicit TapController(const JtagDeviceConfig& config);

    // The inputs now; the controller acts on TCK's edges.
    void Sample(bool tck, bool tms, bool tdi, uint64_t nowUs = 0);
    // Power-on reset: Test-Logic-Reset, TCK taken at its level without an edge.
    void PowerOn(bool tck);
    // Data registers of the part instead of the configured IDCODE and scan
    // register (not owned).
    void SetRegisters(TapRegisters* registers) { registers_ = registers; }
    // TDO is driven only in Shift-IR and Shift-DR.
    bool TdoActive() const { return tdoActive_; }
    bool Tdo() const { return tdo_; }

    TapState State() const { return state_; }
    uint32_t Instruction() const { return instruction_; }
    // The scan register, bit i of the register at index i.
    const std::vector<bool>& ScanRegister() const { return scan_; }
    void SetScanRegister(const std::vector<bool>& bits);
    // Every rising TCK edge (bounded).
    const std::vector<TapCycle>& Trace() const { return trace_; }
    void ClearTrace() { trace_.clear(); }
    uint64_t TckCycles() const { return cycles_; }

private:
    void RisingEdge(bool tms, bool tdi);
    void FallingEdge();
    // Length and content of the data register the instruction selects.
    std::vector<bool> CaptureDataRegister() const;

    JtagDeviceConfig cfg_;
    TapState state_ = TapState::TestLogicReset;
    uint32_t instruction_;
    std::deque<bool> shift_; // bit 0 nearest TDO
    std::vector<bool> scan_;
    bool tck_ = false;
    bool tdoActive_ = false;
    bool tdo_ = false;
    uint64_t cycles_ = 0;
    std::vector<TapCycle> trace_;
    TapRegisters* registers_ = nullptr;
    uint64_t nowUs_ = 0;
    uint64_t idleSinceUs_ = 0;
    uint32_t shifted_ = 0;
    size_t fresh_ = 0; // captured bits not yet shifted out
};

// The controller on four socket pins.
class JtagDevice : public ChipModel {
public:
    explicit JtagDevice(const JtagDeviceConfig& config);

    std::string Name() const override { return "JTAG device"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    TapController& Tap() { return tap_; }
    TapState State() const { return tap_.State(); }
    uint32_t Instruction() const { return tap_.Instruction(); }
    const std::vector<bool>& ScanRegister() const { return tap_.ScanRegister(); }
    void SetScanRegister(const std::vector<bool>& bits) { tap_.SetScanRegister(bits); }
    const std::vector<TapCycle>& Trace() const { return tap_.Trace(); }
    void ClearTrace() { tap_.ClearTrace(); }
    uint64_t TckCycles() const { return tap_.TckCycles(); }

private:
    JtagDeviceConfig cfg_;
    std::vector<int> pins_;
    TapController tap_;
};

} // namespace sim
