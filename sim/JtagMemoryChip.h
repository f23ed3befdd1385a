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

enum class JtagMemoryModel : uint8_t { StatusPolled, IspProm };

struct JtagMemoryFacts : PartFacts {
    JtagMemoryModel model = JtagMemoryModel::StatusPolled;
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
    // Time in Run-Test/Idle a finishing step needs (0: none).
    uint32_t finishUs = 0;
    // Values the enable instruction takes (empty: any).
    std::vector<uint8_t> enableValues;
    // Of those, the values that open the part for reading only: a program,
    // erase, finish or a load to program under one is refused.
    std::vector<uint8_t> readOnlyEnableValues;
    // A flag bit the programming flow clears as its last step, the part's
    // mark of a complete configuration: the cell at doneFlagAddress holds
    // the mask's bits cleared, and the flow's reads show them set.
    // doneFlagMask 0: none.
    uint32_t doneFlagAddress = 0;
    uint8_t doneFlagMask = 0;
};

class JtagMemoryChip : public CatalogChip, public TapRegisters {
public:
    explicit JtagMemoryChip(const JtagMemoryFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Only TDO is ever driven: the supply is looked at once, for that pin.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    const PartFacts& Facts() const override { return facts_; }
    const JtagMemoryFacts& Part() const { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t address) const override { return address < cells_.size() ? cells_[address] : 0xFF; }
    void SetCell(uint32_t address, uint16_t value) override;

    TapController& Tap() { return tap_; }
    bool Blank() const;
    // Fault: a cell the array erase leaves with its datum.
    void KeepThroughErase(uint32_t address) { kept_.push_back(address); }

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
    // Every cell of the array to `blank`, but a kept one.
    void EraseArray(uint8_t blank);
    static std::vector<bool> Bits(const uint8_t* bytes, size_t count);
    static std::vector<bool> Bits(uint64_t value, int count);
    static uint8_t ByteAt(const std::vector<bool>& bits, size_t index);
    // The identification bytes the part shifts out: its own, or with a bit
    // of the part number changed when it answers another identity.
    std::vector<uint8_t> IdBytes() const;

private:
    int SocketOf(int chipPin) const {
        return chipPin >= 1 && chipPin <= static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(chipPin - 1)] : 0;
    }
    // VCC at vccTenths within the part's window and every ground held low.
    bool Powered(const PinEnvironment& env, int vccTenths) const;

    JtagMemoryFacts facts_;
    std::vector<int> pins_;
    // The socket pins of the supply, the grounds, the TAP and the programming
    // supply (0: none), fixed once the part is seated.
    int vccSocket_ = 0, tckSocket_ = 0, tmsSocket_ = 0, tdiSocket_ = 0, tdoSocket_ = 0, vppSocket_ = 0;
    std::vector<int> gndSockets_;
    std::vector<uint8_t> cells_;
    std::vector<uint32_t> kept_;
    TapController tap_;
    const PinEnvironment* env_ = nullptr;
    bool wasPowered_ = false;
    bool overVoltage_ = false;
};

// The status-polled configuration device (10-bit instruction register):
//   44h  identification select, 1-bit register
//   42h  the identification, 32 bits (zeros unless 44h was the instruction
//        before)
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
    bool idSelected_ = false;
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

// The in-system-programmable configuration PROM (8-bit instruction register);
// the array, control bits and USERCODE are flash cells that programming only
// takes from 1 to 0 and that only the erase restores:
//   FEh  IDCODE, 32 bits (the part's id bytes, least significant first)
//   F0h  leaves programming mode, 1-bit register
//   E8h  enables programming, 6 bits: one of the part's enable values, else
//        a violation and programming stays disabled; every instruction
//        below needs it, else it is a violation and does nothing. A
//        read-only enable value opens reads, status and USERCODE read
//        only: EDh, EAh, ECh, F3h, FDh and 0Ah under it are violations and
//        change nothing
//   EBh  16 bits: bit 15 selects the control row (control bits, USERCODE),
//        else the 512-byte block the next program or read starts at
//   EDh  the 512 data bytes of a block (4096 bits)
//   EAh  programs what was loaded last (block, control bits or USERCODE)
//        when Run-Test/Idle lasts programUs; a block moves the address on
//        by 512; a shorter wait leaves the cells as they were (violation)
//   ECh  erases all when Run-Test/Idle lasts eraseUs: array FFh, control bits
//        111b (not protected, serial mode), USERCODE all ones
//   E5h, F8h the array from the set address, one long Shift-DR (fed in
//        chunks as it goes out); zeros while read-protected, then past the end
//   F3h  3 control bits: bit 2 clear protects the array, bit 1 clear selects
//        parallel mode
//   E2h  3-bit status: the control bits, read with the control row selected
//        (0 with a block selected)
//   E6h  reads the USERCODE (32 bits); FDh loads one to program
//   0Ah  finishes programming when Run-Test/Idle lasts finishUs
//   FFh  BYPASS
class IspPromChip : public JtagMemoryChip {
public:
    explicit IspPromChip(const JtagMemoryFacts& facts);

    uint8_t ControlBits() const { return control_; }
    // The array read-protected (control bit 2 programmed).
    bool ReadProtected() const { return Protected(); }
    uint32_t Usercode() const { return usercode_; }
    void SetControlBits(uint8_t bits) { control_ = bits & 7; }
    void SetUsercode(uint32_t code) { usercode_ = code; }
    // Fault: the protect bit does not take.
    void SetProtectStuck(bool stuck) { protectStuck_ = stuck; }
    // Instructions loaded to read the array (E5h or F8h), in order, and the
    // enable value (04h or 34h) each was read under.
    const std::vector<uint32_t>& Reads() const { return reads_; }
    const std::vector<uint8_t>& ReadEnables() const { return readEnables_; }
    uint32_t BlocksProgrammed() const { return blocks_; }
    uint32_t Erases() const { return erases_; }
    uint32_t Finishes() const { return finishes_; }

protected:
    std::optional<size_t> RegisterLength(uint32_t instruction) const override;
    bool Stream(uint32_t instruction) const override;
    std::vector<bool> Capture(uint32_t instruction, uint64_t nowUs) override;
    void Instruction(uint32_t instruction, uint64_t nowUs) override;
    void Latch(uint32_t instruction, const std::vector<bool>& bits, uint64_t nowUs) override;
    void Idle(uint32_t instruction, uint64_t us) override;
    std::vector<bool> MoreDr(uint32_t instruction) override;

private:
    enum class Load : uint8_t { None, Block, Control, Usercode };
    bool Protected() const { return (control_ & 4) == 0; }
    // Enabled with a read-only value, and an instruction that would change cells.
    bool ReadOnly() const;
    static bool ChangesCells(uint32_t instruction);
    void Program();
    void Erase();

    bool enabled_ = false;
    uint8_t enableValue_ = 0; // the value of the last accepted enable
    bool controlRow_ = false;
    uint32_t address_ = 0;
    size_t streamAt_ = 0; // the next byte a read stream shifts out
    Load loaded_ = Load::None;
    std::vector<uint8_t> block_;
    uint8_t controlLoad_ = 7;
    uint32_t usercodeLoad_ = 0xFFFFFFFF;
    uint8_t control_ = 7;
    uint32_t usercode_ = 0xFFFFFFFF;
    bool protectStuck_ = false;
    std::vector<uint32_t> reads_;
    std::vector<uint8_t> readEnables_;
    uint32_t blocks_ = 0, erases_ = 0, finishes_ = 0;
};

// The chip model of a JTAG-programmed memory part.
std::unique_ptr<CatalogChip> MakeJtagMemory(const JtagMemoryFacts& f);
void AddJtagMemoryParts(std::vector<CatalogPart>& parts);
void AddIspPromParts(std::vector<CatalogPart>& parts);

} // namespace sim
