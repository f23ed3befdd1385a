// The 48-pin socket and the chips seated in it. A chip model sees each of its
// pins as the programmer holds it (ground, supply, logic driver, pull) through
// a PinEnvironment, and answers what it drives on each pin. The personality
// that owns the socket pins (the pin driver, a memory bus, ...) implements the
// environment, so one chip model serves every personality.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimProgrammer.h"

namespace sim {

constexpr int kSocketPins = 48;

enum class Pull : uint8_t { None, Up, Down };

// The programmer's side of one socket pin.
struct PinCondition {
    bool grounded = false;   // ground switch closed
    int supplyTenths = -1;   // voltage of a supply switched onto the pin, -1 none
    bool driven = false;     // logic driver active
    bool drivenHigh = false; // its level
    Pull pull = Pull::None;  // weak pull of the pin when nothing else holds it
    uint64_t steadyFromUs = 0; // the supply on the pin is steady from this time on
};

// What a chip does on one of its pins. Weak drives (leakage, a resistor) win
// only over a pull and a floating pin.
enum class ChipDrive : uint8_t { None, Low, High, WeakLow, WeakHigh };

// Logic levels from voltages: a pin at 2.0 V or more reads high.
constexpr int kHighThresholdTenths = 20;
// The level of the logic driver's high output.
constexpr int kLogicHighTenths = 50;

// The pins (bit p: socket pin p) that moved at each of the last few
// revisions of an object whose revisions only grow, so that "which pins moved
// since revision r" is the OR of a few masks instead of a walk over every
// pin's revision. Older revisions fall out of the log: Since then says so and
// the caller walks its per-pin revisions.
class PinMoveLog {
public:
    // The pins moved at `revision`, which is above every revision added before.
    void Add(uint64_t revision, uint64_t pins) {
        if (count_ == kDepth) {
            floor_ = revision_[head_]; // the newest revision no longer logged
        } else {
            ++count_;
        }
        revision_[head_] = revision;
        pins_[head_] = pins;
        head_ = (head_ + 1) % kDepth;
    }
    // Whether the log covers every move after `since`; then `moved` holds
    // the pins moved at the revisions above it.
    bool Since(uint64_t since, uint64_t& moved) const {
        if (since < floor_) return false;
        uint64_t m = 0;
        for (int i = 0; i < count_; ++i) m |= revision_[i] > since ? pins_[i] : 0;
        moved = m;
        return true;
    }

private:
    static constexpr int kDepth = 8;
    uint64_t revision_[kDepth] = {};
    uint64_t pins_[kDepth] = {};
    int count_ = 0, head_ = 0;
    uint64_t floor_ = 0;
};

class PinEnvironment {
public:
    virtual ~PinEnvironment() = default;
    // Socket pin 1-48; pins outside give a floating condition.
    virtual PinCondition Condition(int socketPin) const = 0;
    // What an undriven pin with no pull reads.
    virtual int FloatingLevel() const { return 1; }
    virtual uint64_t NowUs() const = 0;
    virtual void Violation(const std::string& what) const = 0;

    // Condition, read straight from the table where the environment keeps one.
    PinCondition ConditionAt(int socketPin) const {
        if (conditions_ == nullptr) return Condition(socketPin);
        return socketPin >= 1 && socketPin <= kSocketPins ? conditions_[socketPin] : PinCondition{};
    }
    // The level a chip input sees on the pin (the programmer's side only).
    int InputLevel(int socketPin) const {
        if (conditions_ == nullptr) return LevelOf(Condition(socketPin));
        return socketPin >= 1 && socketPin <= kSocketPins ? LevelOf(conditions_[socketPin]) : FloatingLevel();
    }
    // InputLevel of the pins pins[0..n-1] (n at most 32) as bits, bit i
    // set when pins[i] reads 1; a pin 0 (a chip line off the socket) reads 1.
    uint32_t HighLevels(const int* socketPins, size_t n) const {
        uint32_t v = 0;
        n = n < 32 ? n : 32;
        if (conditions_ == nullptr) {
            for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(socketPins[i] == 0 || InputLevel(socketPins[i]) == 1) << i;
            return v;
        }
        const int floating = FloatingLevel();
        // A line the logic driver holds (no switch on it) is the usual case
        // and takes the driver's level straight, without a branch on the
        // level itself (address and data bits are as good as random).
        const PinCondition* table = conditions_;
        for (size_t i = 0; i < n; ++i) {
            const unsigned p = static_cast<unsigned>(socketPins[i]);
            uint32_t high;
            if (p - 1u < static_cast<unsigned>(kSocketPins)) {
                const PinCondition& c = table[p];
                if (c.driven && !c.grounded && c.supplyTenths < 0) [[likely]] {
                    high = static_cast<uint32_t>(c.drivenHigh);
                } else {
                    high = static_cast<uint32_t>(LevelOf(c) == 1);
                }
            } else {
                high = static_cast<uint32_t>(p == 0 || floating == 1);
            }
            v |= high << i;
        }
        return v;
    }
    // Voltage the programmer holds the pin at, -1 while it only pulls or floats.
    int VoltageTenths(int socketPin) const {
        if (conditions_ == nullptr) return VoltageOf(Condition(socketPin));
        return socketPin >= 1 && socketPin <= kSocketPins ? VoltageOf(conditions_[socketPin]) : -1;
    }
    // Ground switch closed, or the logic driver low.
    bool HeldLow(int socketPin) const {
        const int v = VoltageTenths(socketPin);
        return v >= 0 && v < kHighThresholdTenths;
    }
    // Names the supply and ground switching of every pin: while it stays the
    // same (and is not 0), only logic-driver levels (0 or 5.0 V) changed.
    // 0: not known, any pin may have changed.
    uint64_t SupplyRevision() const { return supplyRevision_; }
    // A revision no environment has used yet.
    static uint64_t NewSupplyRevision();
    // The socket pins (bit p: pin p) whose supply or ground condition moved
    // since SupplyRevision() answered `revision` on an environment with this
    // SupplyTable(); every pin when that is not known.
    uint64_t SupplyMovedSince(uint64_t revision, const void* table) const {
        constexpr uint64_t kAll = ((uint64_t{1} << (kSocketPins + 1)) - 1) & ~uint64_t{1};
        if (revision == 0 || supplyRevision_ == 0 || supplyPinRevisions_ == nullptr || table != supplyPinRevisions_ ||
            revision < supplyEpoch_)
            return kAll;
        if (revision == supplyRevision_) return 0;
        uint64_t moved = 0;
        if (supplyLog_ != nullptr && supplyLog_->Since(revision, moved)) return moved;
        for (int p = 1; p <= kSocketPins; ++p) moved |= static_cast<uint64_t>(supplyPinRevisions_[p] > revision) << p;
        return moved;
    }
    // Names the whole table of pin conditions a chip is brought up to date
    // under: an update under the same revision (not 0) as an earlier one sees
    // every condition of every pin as that one saw it. 0: not known.
    uint64_t ConditionsRevision() const { return conditionsRevision_; }
    // Names the table SupplyMovedSince answers from (nullptr: none).
    const void* SupplyTable() const { return supplyPinRevisions_; }
    // A supply at logic-high level, or the logic driver high.
    bool HeldHigh(int socketPin) const { return VoltageTenths(socketPin) >= kHighThresholdTenths; }

protected:
    // An environment that keeps its pin conditions in an array indexed by
    // socket pin (entries 1-48) names it here, and must then answer Condition
    // from it; the level helpers above read it without a virtual call.
    const PinCondition* conditions_ = nullptr;
    uint64_t supplyRevision_ = 0;
    uint64_t conditionsRevision_ = 0;
    // An environment that knows when each pin's supply and ground last moved
    // names the supply revision of each (entries 1-48; revisions drawn from
    // NewSupplyRevision, so they grow) and the first revision the table
    // covers; SupplyMovedSince then answers pin by pin.
    const uint64_t* supplyPinRevisions_ = nullptr;
    uint64_t supplyEpoch_ = 0;
    // The recent moves of that table, where the environment logs them (each
    // revision a pin takes in the table added with that pin).
    const PinMoveLog* supplyLog_ = nullptr;

private:
    int LevelOf(const PinCondition& c) const {
        if (c.grounded) return 0;
        if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
        if (c.driven) return c.drivenHigh ? 1 : 0;
        if (c.pull == Pull::Up) return 1;
        if (c.pull == Pull::Down) return 0;
        return FloatingLevel();
    }
    static int VoltageOf(const PinCondition& c) {
        if (c.grounded) return 0;
        if (c.supplyTenths >= 0) return c.supplyTenths;
        if (c.driven) return c.drivenHigh ? kLogicHighTenths : 0;
        return -1;
    }
};

class ChipModel {
public:
    virtual ~ChipModel() = default;
    virtual std::string Name() const = 0;
    // Socket pin of each chip pin (index 0 = chip pin 1); 0 where a chip pin is
    // outside the socket.
    virtual const std::vector<int>& SocketPins() const = 0;
    // The personality changed the logic levels it drives (called after every
    // such change); edge-triggered chips act here. Supply and ground changes
    // are not announced: read them when asked for an output.
    virtual void Update(const PinEnvironment& env) { (void)env; }
    // A supply, ground or DAC level changed; only chips timing a pulse given
    // by a voltage (not a logic level) act here.
    virtual void SuppliesChanged(const PinEnvironment& env) { (void)env; }
    // The chip's drive on one of its socket pins now.
    virtual ChipDrive Output(const PinEnvironment& env, int socketPin) const = 0;
    // Its drives on the socket pins pins[0..n-1] into out (None on a pin it
    // does not occupy): a whole data word in one call. By default pin by pin.
    virtual void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const;

    // Chip pin (1-based) at a socket pin, 0 when the chip does not occupy it.
    int ChipPinAt(int socketPin) const;
    // ChipPinAt of every socket pin (entries 0-48, entry 0 zero), for looking
    // up many pins with one check of the pin list; nullptr for a chip of
    // more than 254 pins (ask ChipPinAt then). Valid while the list stands.
    const uint8_t* ChipPinMap() const;
    // ChipPinAt through a map ChipPinMap gave.
    int ChipPinAt(const uint8_t* map, int socketPin) const {
        if (map == nullptr) return ChipPinAt(socketPin);
        return socketPin >= 1 && socketPin <= kSocketPins ? map[socketPin] : 0;
    }

    // A test fault: the part answers an identity other than its own (its
    // signature, ID code or ID text changed), as another part of the same
    // row seated in its place would. Models that give an identity read it.
    void AnswerAnotherIdentity(bool on = true) { anotherIdentity_ = on; }
    bool AnswersAnotherIdentity() const { return anotherIdentity_; }

private:
    // ChipPinAt's map from socket pin to chip pin, built for the pin list at
    // pinMapFor_ of pinMapSize_ entries.
    mutable const int* pinMapFor_ = nullptr;
    mutable size_t pinMapSize_ = 0;
    mutable uint8_t pinMap_[kSocketPins + 1] = {};
    bool anotherIdentity_ = false;
};

// Socket pins of an n-pin DIP seated at the bottom of the socket, raised by
// `rowsUp` rows (0 = correctly seated; pin 1 of a 28-pin DIP on socket pin 11).
std::vector<int> DipSocketPins(int pinCount, int rowsUp = 0);

// The socket. Attach it to the programmer as a component; personalities find
// it with Socket::Find.
class Socket : public SimComponent {
public:
    // Seats a chip; the socket owns it. Returns it for the caller to configure.
    template <class T> T* Insert(std::unique_ptr<T> chip) {
        T* raw = chip.get();
        chips_.push_back(std::move(chip));
        revision_ = NewRevision();
        return raw;
    }
    void Remove(const ChipModel* chip);
    // Takes a chip out and hands it over whole (nullptr when it is not here).
    std::unique_ptr<ChipModel> Release(const ChipModel* chip);
    void SuppliesChanged(const PinEnvironment& env);
    void Clear() {
        chips_.clear();
        revision_ = NewRevision();
    }
    // Changes whenever a chip is seated or removed; no two sockets share one.
    uint64_t Revision() const { return revision_; }
    bool Empty() const { return chips_.empty(); }
    const std::vector<std::unique_ptr<ChipModel>>& Chips() const { return chips_; }

    // Whether any chip occupies the socket pin.
    bool Occupied(int socketPin) const;
    // Tells every chip that pin conditions changed.
    void Update(const PinEnvironment& env);
    // The combined drive of the chips on a pin; two chips driving against each
    // other is a violation (the strong drive wins over a weak one).
    ChipDrive Output(const PinEnvironment& env, int socketPin) const;
    // The levels the programmer's receivers see on socket pins pins[0..n-1]
    // (n at most 16) as bit i: the chips' combined drive, else the
    // programmer's own condition of the pin.
    uint16_t ReadLevels(const PinEnvironment& env, const int* socketPins, size_t n) const;

    static Socket* Find(const SimProgrammer& p) { return p.FindComponent<Socket>(); }
    // The socket takes no register traffic itself.
    uint32_t HeardWrites(const SimProgrammer&) const override { return 0; }
    uint32_t HeardReads(const SimProgrammer&) const override { return 0; }

private:
    std::vector<std::unique_ptr<ChipModel>> chips_;
    static uint64_t NewRevision();
    uint64_t revision_ = NewRevision();
};

} // namespace sim
