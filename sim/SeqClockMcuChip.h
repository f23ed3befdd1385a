// Microcontrollers whose memory is reached in strict address order, and the
// logic image that serves them over programmer registers.
//
// The part: held in its sequential mode by the logic, it takes one address
// step per clock and never receives an address. Its EPROM lies in a few
// windows; outside them nothing is stored (reads give the blank value, a
// byte clocked there is ignored). A byte different from the blank value is
// burnt into a window cell only while the part is in programming mode with
// the programming voltage on vppPin, and only once it has held for burnUs
// before the next clock (or the programming voltage going off); a clock
// before then leaves the cell unburnt and is a violation. A part with a
// modePin reaches its sequential mode only while that pin holds the high
// voltage; programming needs the supply in its window throughout.
//
// The logic image (personality kPersonalitySequentialClock, parameter 0 the
// register set): an address counter reset as the control register takes its
// first power-up value and advanced by every clock (register 2 written 1
// after 0). Every register and value the rows write has one meaning; any
// other is a violation.
//   set 0: 0 control 6/7/0; 1 mode 7/3/0; 2 clock; 3 written: the data byte,
//          compared at the next clock with the cell (programming instead
//          while the part's programming voltage is on); 1 read: bit 0 stays
//          1 while every compared byte equalled its cell since power-up
//          (with no part seated: the floating bus, FFh).
//   set 1: 0 control 8/9/0, read: the byte at the counter; 1 mode 0Eh/6
//          (programming), 0Fh/7 (other), 0; 2 clock; 3 mode 7 programming,
//          1 reading; 4 the byte to program, taken at the next clock.
//   set 2: 0 control 6/7/0; 1 as set 1; 2 clock, read: the byte at the
//          counter; 3 written: 0Eh programming, 8 reading; read: bit 0
//          busy; 4 as set 1.
//   set 3: 0 control 0Eh/0Fh/0; 1 as set 1; 2 clock, read: the byte at the
//          counter; 3 written: 7 programming, 1 reading; read: bit 0 busy
//          (the part not yet ready); 4 as set 1.
//   set 4: 0 control 0Eh/0Fh/0, read: the byte at the counter; 1 as set 1;
//          2 clock; 3 written: 1 programming, 5 reading; 4 as set 1.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/SocketBus.h"

namespace sim {

struct SeqClockMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    // A window's cells at first..last of the part's address map (where a
    // file and the buffer hold them). A part whose array is smaller than
    // that map reaches a window at another count of its stream: clockedAt
    // is the count of the window's first cell (kItself: its address).
    static constexpr uint32_t kItself = 0xFFFFFFFFu;
    struct Window {
        uint32_t first, last;
        uint32_t clockedAt = kItself;
    };
    std::vector<Window> windows;
    int vppPin = 31;  // chip pin of the programming voltage
    int modePin = 0;  // chip pin that must hold the high voltage (0 none)
    int vppMinTenths = 115, vppLimitTenths = 135;
    uint32_t burnUs = 1000;
    // The address counter steps through the windows only (the part's
    // loader takes its EPROM bytes back to back), not through every address.
    bool countsWindowsOnly = false;
};

class SeqClockMcuChip : public CatalogChip {
public:
    explicit SeqClockMcuChip(const SeqClockMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment&, int) const override { return ChipDrive::None; }
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < facts_.words ? cells_[a] : facts_.blank; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < facts_.words) cells_[a] = static_cast<uint8_t>(v);
    }

    // The cell the part's counter reaches after k clocks (Words() where it
    // reaches none).
    uint32_t StreamAddress(uint32_t k) const;
    // Settles a burn under way once its time has passed (the end of a run).
    void Finish(const PinEnvironment& env) { Settle(env, false); }

    // What the logic sees of the part.
    bool InMode(const PinEnvironment& env) const;
    bool ProgrammingVoltage(const PinEnvironment& env) const;
    uint8_t Read(const PinEnvironment& env, uint32_t address) const;
    // One clock: a burn under way settles first; then, when `program`, the
    // byte starts burning at `address`.
    void Clock(const PinEnvironment& env, uint32_t address, uint8_t value, bool program);
    // The logic's busy flag as one read of it finds it (set while StayBusy
    // has reads left).
    bool TakeBusyRead() {
        if (busyReads_ == 0) return false;
        --busyReads_;
        return true;
    }

    // Injected faults: a cell that never takes a byte; busy for n reads.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void StayBusy(uint32_t reads) { busyReads_ = reads; }
    uint32_t Burns() const { return burns_; }
    // The addresses clocked, in order, with the byte taken (-1: none).
    const std::vector<std::pair<uint32_t, int>>& Clocks() const { return clocks_; }
    void ClearClocks() { clocks_.clear(); }

private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool InWindow(uint32_t a) const;
    void Settle(const PinEnvironment& env, bool interrupted);

    SeqClockMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool pending_ = false;
    uint32_t pendingAt_ = 0;
    uint8_t pendingValue_ = 0;
    uint64_t pendingFrom_ = 0;
    int64_t stuck_ = -1;
    uint32_t busyReads_ = 0;
    uint32_t burns_ = 0;
    std::vector<std::pair<uint32_t, int>> clocks_;
};

class SeqClockBusPersonality : public SocketBusPersonality {
public:
    explicit SeqClockBusPersonality(const LogicImageHeader& h) : set_(h.params[0]) {}

    uint16_t Id() const override { return kPersonalitySequentialClock; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override { ElectricalConditions(snap_[s]); }
    bool Allowed(uint8_t reg, uint8_t value) const;
    // The control value that resets the counter, the one that holds the
    // part in its mode, and the function value of programming.
    uint8_t ResetValue() const { return set_ == 1 ? 8 : set_ >= 3 ? 0x0E : 6; }
    uint8_t HeldValue() const { return set_ == 1 ? 9 : set_ >= 3 ? 0x0F : 7; }
    uint8_t ProgramFunction() const { return set_ == 2 ? 0x0E : set_ == 4 ? 1 : 7; }
    // What the data lines read with no part driving them (they float high).
    static constexpr uint8_t kFloatingBus = 0xFF;
    SeqClockMcuChip* Chip() const;
    void ClockChip(SimProgrammer& p);

    uint8_t set_;
    uint8_t reg_[12] = {};
    uint32_t counter_ = 0;
    bool dataWritten_ = false;
    bool pass_ = true;
};

void RegisterSeqClockBusPersonality();
void RegisterRamDownloadBusPersonality();

} // namespace sim
