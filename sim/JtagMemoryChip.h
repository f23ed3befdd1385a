// Memories reached only through their IEEE 1149.1 port. The base seats the
// part in the socket (its pins at the bottom, as a DIP or its adapter seats
// it), clocks its TAP controller from the socket pins while VCC is within the
// part's window and every ground is held low, and drives TDO only then. The
// derived model defines its instructions: the data register each selects
// (length and Capture-DR), what Update-IR, Update-DR and time spent in
// Run-Test/Idle do, in virtual time. An instruction the part does not define,
// a data scan of another length than its register's and a supply above the
// part's absolute maximum are violations.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/JtagDevice.h"

namespace sim {

struct JtagMemoryFacts : PartFacts {
    // TAP pins and the programming-supply pin (chip pins; vppPin 0: none).
    int tms = 0, tck = 0, tdi = 0, tdo = 0;
    int vppPin = 0;
    int irLength = 8;
    int vccMaxTenths = 70;
    // Least voltage on the programming-supply pin a program or erase needs.
    int vppMinTenths = 45;
    // Identification the part returns (bytes in shift order).
    std::vector<uint8_t> id;
    uint32_t programUs = 0, eraseUs = 0;
};

class JtagMemoryChip : public CatalogChip, public TapRegisters {
public:
    explicit JtagMemoryChip(const JtagMemoryFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    const PartFacts& Facts() const override { return facts_; }
    const JtagMemoryFacts& Part() const { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t address) const override { return address < cells_.size() ? cells_[address] : 0xFF; }
    void SetCell(uint32_t address, uint16_t value) override;

    TapController& Tap() { return tap_; }
    bool Blank() const;

    // TapRegisters: the derived model's register table.
    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;

protected:
    // Length of the instruction's data register; nullopt: not defined.
    virtual std::optional<size_t> RegisterLength(uint32_t instruction) const = 0;
    // A stream register takes scans of any length (its reads run on).
    virtual bool Stream(uint32_t instruction) const { (void)instruction; return false; }
    // The register's content at Capture-DR (bit 0 leaves first).
    virtual std::vector<bool> Capture(uint32_t instruction, uint64_t nowUs) = 0;
    virtual void Instruction(uint32_t instruction, uint64_t nowUs) = 0;
    virtual void Latch(uint32_t instruction, const std::vector<bool>& bits, uint64_t nowUs) = 0;

    void Violation(const std::string& what) const;
    int VppTenths() const;
    uint64_t NowUs() const { return env_ ? env_->NowUs() : 0; }
    std::vector<uint8_t>& Array() { return cells_; }
    static std::vector<bool> Bits(const uint8_t* bytes, size_t count);
    static std::vector<bool> Bits(uint64_t value, int count);
    static uint8_t ByteAt(const std::vector<bool>& bits, size_t index);

private:
    int SocketOf(int chipPin) const { return chipPin >= 1 ? pins_[static_cast<size_t>(chipPin - 1)] : 0; }
    bool Powered(const PinEnvironment& env) const;

    JtagMemoryFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    TapController tap_;
    const PinEnvironment* env_ = nullptr;
    bool wasPowered_ = false;
    bool overVoltage_ = false;
};

// The status-polled configuration device (10-bit instruction register):
//   44h  identification select, 1-bit register
//   42h  the identification, 32 bits
//   10Ah address to 0, 1-bit register
//   122h read stream: each Capture-DR loads the 8 bytes at the address and
//        moves it on by 8 (64 bits, past the end FFh; a scan may run over)
//   006h the 64-bit program data, loaded on Update-DR
//   196h program and 192h erase commands, 1-bit registers: armed, started by
//        3Eh at Update-IR
//   03Eh the 3-bit status: 0 done, 4 busy; 1 program without data loaded,
//        2 no programming voltage on VPP, 3 a program asking a 0 bit to
//        become 1 (an erase restores 1s); a block lands when the status first
//        reads done after its busy time, then the address moves on by 8
//   04Ah end of programming, 3FFh bypass: 1-bit registers
// An instruction other than 3Eh while busy is a violation.
class StatusPolledPromChip : public JtagMemoryChip {
public:
    explicit StatusPolledPromChip(const JtagMemoryFacts& facts) : JtagMemoryChip(facts) {}

    // Fault: how long the next erase stays busy.
    void SetEraseUs(uint64_t us) { eraseUs_ = us; }
    // Programmed blocks by address, in order.
    const std::vector<uint32_t>& ProgrammedBlocks() const { return programmed_; }
    uint32_t Erases() const { return erases_; }
    // When the last program or erase started, and the times of the status
    // reads since.
    uint64_t StartedAtUs() const { return startedAt_; }
    const std::vector<uint64_t>& StatusReadsUs() const { return statusReads_; }

protected:
    std::optional<size_t> RegisterLength(uint32_t instruction) const override;
    bool Stream(uint32_t instruction) const override;
    std::vector<bool> Capture(uint32_t instruction, uint64_t nowUs) override;
    void Instruction(uint32_t instruction, uint64_t nowUs) override;
    void Latch(uint32_t instruction, const std::vector<bool>& bits, uint64_t nowUs) override;

private:
    enum class Op : uint8_t { None, Program, Erase };
    uint32_t Status(uint64_t nowUs);
    bool AsksZeroToOne() const;

    uint32_t address_ = 0;
    std::vector<uint8_t> data_;
    Op armed_ = Op::None;
    Op running_ = Op::None;
    uint64_t doneAt_ = 0;
    uint32_t status_ = 0;
    std::optional<uint64_t> eraseUs_;
    std::vector<uint32_t> programmed_;
    uint32_t erases_ = 0;
    uint64_t startedAt_ = 0;
    std::vector<uint64_t> statusReads_;
};

void AddJtagMemoryParts(std::vector<CatalogPart>& parts);

} // namespace sim
