// The programmer's electrical side in the register core: the four-channel DAC,
// the supply and ground switches of the 48 socket pins, and what each pin
// carries as a result.
//
// DAC: register 13 bits 0-1 select channel 1-4 (bits 2-3 and 7 are recorded),
// register 18 loads the selected channel's 8-bit code. Codes become volts
// through the DAC's transfer (DacCodeToMillivolts), which is what the ID
// memory's calibration table was measured from.
//
// Switches per socket pin p:
//   supply A   registers 26-31 (direct), channel 1 on odd p, channel 2 on even p
//   supply B   latches 16-21, channel 3 on odd p, channel 4 on even p
//   ground     latches 22-27
//   strong supply path, latch 28 bits 0-7 -> pins 40, 48, 44, 38, 25, 34, 36, 28,
//              fed from channel 4; its output stage adds 0.9 V while the
//              channel is below 2.6 V and 1.1 V above
//   strong ground, latch 29 bits 2, 5, 6 -> pins 24, 15, 34
//   programming switch, latch 29 bits 0 and 1 -> pins 19 and 38, channel 1
// Supply range: register 25 (direct) is a bit latch (value = state << 3 | bit);
// latch 29 bits 3-4 enable the range. Both are recorded only.
//
// Violations (recorded once when they appear on a pin): a supply and a ground
// on one pin, two supplies on one pin, a voltage above the limit a chip
// declared for the pin, a supply on a pin no chip occupies. A supply counts
// once its source is above 0 V.
//
// Supply order and timing, on pins a chip occupies (each a violation when it
// happens; a module's supply input declared without supplyOrder is exempt):
// - A channel at code 0 is off; set to a voltage it starts up and is ready
//   kSourceStartUs later. A programming source (supply A, the programming
//   switch) is set before its switch closes: closing it onto a channel that
//   is off, or setting the channel first while the switch connects a chip
//   pin, is out of order. A device supply (supply B, the strong path) may be
//   switched at 0 V and ramped up, so its channel may come on while switched
//   only at the start of a ramp (at most kStrongIdleMillivolts). A source
//   above that level is switched onto a chip pin only once it has started.
// - The strong path is a follower without current limit: it is switched on
//   at the start of its ramp and off at the end of the ramp down (channel 4 at
//   most kStrongIdleMillivolts then), and while it feeds a chip channel 4
//   rises in steps of at most kRampStepMillivolts.
// - A device supply switched on ramps up from the bottom: while it feeds a
//   chip its channel rises one step at a time, the next rise no sooner than
//   kRampStepUs after the last (the pace the routing promises, its own bus
//   accesses not counted on), until a write that does not rise ends the
//   ramp (a pulse raised from a live level has only the step limit). Held
//   where HoldRampPace is on: the pace needs the programmer's timer set up
//   as the bring-up calibrates it, which not every test rig does.
// - After any change the pin's supply settles: kStrongSettleUs on the strong
//   path, kSwitchSettleUs on the others (PinState::steadyFromUs). The
//   routing returns from a strong-path switch-on kStrongRampSettleUs or more
//   after the ramp's last step, from the others once the supply is steady.
#pragma once
#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimProgrammer.h"
#include "sim/GangAdapter.h"
#include "sim/Socket.h"

namespace sim {

enum class PinSource : uint8_t {
    Floating,
    SupplyA,
    SupplyB,
    StrongSupply,
    ProgrammingSwitch,
    Ground,
    Conflict, // supplies fighting each other or a ground
};

// Switch bits of PinState::switches.
enum PinSwitch : uint32_t {
    kSwitchSupplyA = 1,
    kSwitchSupplyB = 2,
    kSwitchStrongSupply = 4,
    kSwitchProgramming = 8,
    kSwitchGround = 16,
    kSwitchStrongGround = 32,
};

struct PinState {
    PinSource source = PinSource::Floating;
    uint32_t switches = 0;
    int millivolts = 0;       // the pin's level: 0 floating or grounded
    int supplyMillivolts = 0; // highest supply switched onto the pin, grounded or not
    uint64_t steadyFromUs = 0; // the supply has settled from this time on
    bool Grounded() const { return (switches & (kSwitchGround | kSwitchStrongGround)) != 0; }
    bool Supplied() const { return source != PinSource::Floating && source != PinSource::Ground; }
    int Tenths() const { return (millivolts + 50) / 100; }
};

// The supply and ground part of a chip's view of a socket pin.
void ApplySupply(const PinState& s, PinCondition& c);

// A chip's footprint for the electrical checks: the socket pins it occupies
// and the highest voltage each takes (its absolute maximum rating).
struct ChipPinLimits {
    std::string chip;
    std::vector<int> socketPins;
    int maxTenths = 70;                      // every pin of the chip
    std::vector<std::pair<int, int>> raised; // (socket pin, max tenths), e.g. the programming pin
    // A chip takes its supplies in order (below); a module's supply input
    // (the gang adapter's) does not care.
    bool supplyOrder = true;
    ChipPinLimits& Allow(int socketPin, int tenths) {
        raised.emplace_back(socketPin, tenths);
        return *this;
    }
};

// Faults of the programmer's own switches and pin electronics (socket pin,
// 0 none). The electrical model applies the switch faults; the pin-driver
// personalities read the driver and pull faults from here.
struct ProgrammerFaults {
    int deadSupplyA = 0;    // its supply-A switch never closes
    int deadSupplyB = 0;    // its supply-B switch never closes
    int deadGround = 0;     // its ground switch never closes
    int vccRelayOpen = 0;   // its latch-28 relay never closes
    int gndRelayClosed = 0; // its latch-29 ground relay is always closed
    int stuckDriver = 0;    // its logic driver puts out stuckLevel whatever the latch says
    int stuckLevel = 0;
    int shortA = 0, shortB = 0; // two pins shorted together
    int deadPullDown = 0;       // its weak pull-down is open (the pin then floats high)
    bool operator==(const ProgrammerFaults&) const = default;
};

// A DIP of pinCount pins seated at the bottom of the socket.
ChipPinLimits DipPinLimits(const std::string& chip, int pinCount, int maxTenths = 70);

// The IC tester, the caller that waits least, switches its supplies 10 ms
// after setting them.
constexpr uint64_t kSourceStartUs = 10000;
constexpr int kStrongIdleMillivolts = 1300;
constexpr int kRampStepMillivolts = 250;
constexpr uint64_t kRampStepUs = 10;
constexpr uint64_t kStrongSettleUs = 40; // the routing waits out its last ramp step and 20 us more
// What the routing waits after the last step of a strong-path ramp (the
// step's own wait included) before it returns.
constexpr uint64_t kStrongRampSettleUs = kRampStepUs + 20;
constexpr uint64_t kSwitchSettleUs = 2;

class Electrical : public SimComponent {
  public:
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    void OnUnconfigure(SimProgrammer& p) override;
    // The DAC (13, 18), the range latch (25) and the supply-A switches
    // (26-31): the registers OnWrite takes.
    uint32_t HeardWrites(const SimProgrammer&) const override { return (1u << 13) | (1u << 18) | (0x7Fu << 25); }
    uint32_t HeardReads(const SimProgrammer&) const override { return 0; }

    // Chips declare the socket pins they occupy and their limits; the id
    // withdraws the declaration. Chips seated in the Socket component count as
    // occupying their pins too (without limits unless declared here).
    int DeclareChip(const ChipPinLimits& limits);
    void WithdrawChip(int id);
    void WithdrawAllChips();
    // Chips seated in any socket the supplies reach (every socket of a gang
    // module) count.
    bool Occupied(int socketPin) const;
    bool Occupied(int socketPin, const SuppliedSocketList& sockets) const;
    // A chip that takes its supplies in order sits on the pin.
    bool OrderMatters(int socketPin, const SuppliedSocketList& sockets) const;
    // Lowest limit declared for the pin, INT_MAX when none.
    int LimitTenths(int socketPin) const;

    // Socket pin 1-48; pins outside read floating. Worked out once per
    // change of the switches, the DAC or the faults, then handed out.
    PinState Pin(int socketPin) const;
    // Pin() of every socket pin: entries 1-48 (entry 0 floating), valid until
    // the next register write, latch bit, chip declaration or fault change.
    const PinState* Pins() const {
        Refresh();
        return pins_;
    }
    // Changes whenever Pin() of any pin may have changed (switches, DAC,
    // faults, settle times); no two Electrical instances share a value.
    uint64_t Revision() const {
        Refresh();
        return revision_;
    }
    // The pins (bit p: socket pin p) whose Pin() moved since Revision()
    // answered `revision` (of this instance); every pin for 0.
    uint64_t MovedSince(uint64_t revision) const;
    // Pins with a live supply switched on (grounded or not), pins grounded.
    std::vector<int> SuppliedPins() const;
    std::vector<int> GroundedPins() const;

    // Whether a switch-on ramp faster than kRampStepUs a step is a violation.
    void HoldRampPace(bool on) { holdPace_ = on; }
    uint8_t DacCode(int channel) const { return channel >= 1 && channel <= 4 ? dac_[channel - 1] : 0; }
    int DacMillivolts(int channel) const;
    int SelectedChannel() const { return (control_ & 3) + 1; }
    // Last register-13 value of the DAC side (bits 2-3 pull/range mode, bit 7 strobe).
    uint8_t DacControl() const { return control_; }
    uint32_t StrobeCount() const { return strobes_; }
    // Register-25 range latch bits.
    uint8_t RangeBits() const { return range_; }
    uint8_t Latch(int reg) const { return reg >= 0 && reg < 32 ? latch_[reg] : 0; }
    uint8_t SupplyARegister(int reg) const { return reg >= 26 && reg <= 31 ? supplyA_[reg - 26] : 0; }

    static Electrical* Find(const SimProgrammer& p) { return p.FindComponent<Electrical>(); }

    ProgrammerFaults& Faults() { return faults_; }
    const ProgrammerFaults& Faults() const { return faults_; }

  private:
    // Brings pins_ up to date (switches, DAC or faults changed).
    void Refresh() const {
        if (stale_ != 0 || !(faults_ == faultsSeen_)) Recompute();
    }
    void Recompute() const;
    // The pins moved: a new revision, theirs.
    void Moved(uint64_t pins) const;
    PinState ComputePin(int socketPin) const;
    // The pins (bit p: socket pin p) whose state a change may have moved.
    void Changed(uint64_t pins) { stale_ |= pins; }
    // Pins with a supply switch closed (as last worked out).
    uint64_t SuppliedMask() const;
    static constexpr uint64_t kAllPins = ((uint64_t{1} << (kSocketPins + 1)) - 1) & ~uint64_t{1};
    // Occupied(p, sockets), OrderMatters(p, sockets) and LimitTenths(p) of
    // every pin, worked out again only when the declared chips or the
    // sockets' chips change (true then).
    bool RefreshPinFacts(const SuppliedSocketList& sockets);
    int StrongMillivolts() const;
    // Switch states of a pin with the switch faults applied.
    bool SupplyAClosed(int p) const;
    bool SupplyBClosed(int p) const;
    bool GroundClosed(int p) const;
    bool StrongSupplyClosed(int p, int bit) const;
    bool StrongGroundClosed(int p, int bit) const;
    void Check(SimProgrammer& p);
    // Switches newly closed or opened on a pin a chip occupies.
    void CheckSwitching(SimProgrammer& p, int pin, uint32_t closed, uint32_t opened);
    // A write of `code` to DAC channel index ch (0-3).
    void CheckDacWrite(SimProgrammer& p, int ch, uint8_t code);

    SimProgrammer* prog_ = nullptr;
    uint8_t dac_[4] = {};
    uint8_t control_ = 0;
    uint32_t strobes_ = 0;
    uint8_t range_ = 0;
    uint8_t latch_[32] = {};
    uint8_t supplyA_[6] = {};
    std::array<uint32_t, kSocketPins + 1> active_{}; // violations shown per pin
    std::array<uint32_t, kSocketPins + 1> switches_{}; // switches as of the last check
    std::array<int, kSocketPins + 1> supplyMv_{};
    std::array<uint64_t, kSocketPins + 1> steadyFrom_{};
    uint64_t dacStartUs_[4] = {};
    bool slewReported_[4] = {};
    // When each channel last rose, and whether a rise too soon was reported
    // in its present ramp.
    uint64_t lastRiseUs_[4] = {};
    bool paceReported_[4] = {};
    // The channel rises from the bottom (a switch-on ramp) since it was last
    // at most kStrongIdleMillivolts; a write that does not rise ends it.
    bool rampFromBottom_[4] = {true, true, true, true};
    bool holdPace_ = false;
    std::map<int, ChipPinLimits> chips_;
    uint64_t chipsRevision_ = 1; // bumped whenever chips_ changes
    uint64_t factsChipsRevision_ = 0;
    std::array<uint64_t, GangAdapter::kSockets> factsSocketRevisions_{};
    std::array<bool, kSocketPins + 1> occupied_{};
    std::array<int, kSocketPins + 1> limit_{};
    int nextChip_ = 1;
    ProgrammerFaults faults_;
    // Pin() of every pin as of the last Recompute, under faultsSeen_.
    mutable PinState pins_[kSocketPins + 1] = {};
    // Pins whose pins_ entry has a supply switch closed (bit p: pin p).
    mutable uint64_t suppliedMask_ = 0;
    // Pins whose switches_ entry is not 0.
    uint64_t switchedMask_ = 0;
    mutable uint64_t stale_ = kAllPins; // pins to work out again
    mutable uint64_t pinRevision_[kSocketPins + 1] = {}; // revision each pin last moved at
    mutable PinMoveLog moveLog_;                          // the recent moves of pinRevision_
    // Pins whose state moved since the last Check (each needs checking).
    mutable uint64_t unchecked_ = kAllPins;
    std::array<bool, kSocketPins + 1> orderMatters_{};
    mutable ProgrammerFaults faultsSeen_;
    mutable uint64_t revision_ = 0;
};

// Fits the electrical model to a simulated programmer.
Electrical* AddElectrical(SimProgrammer& programmer);

} // namespace sim
