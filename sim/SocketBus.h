// Base of the bus personalities that drive the pins of the socket (or of each
// gang socket) from registers: the electrical conditions of the pins, each
// socket's pins as the bus drives them, and the chips brought up to date
// after every change.
#pragma once
#include <utility>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

class SocketBusPersonality : public SimPersonality {
public:
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;

    // The condition of a socket pin as socket s sees it (as of the last
    // update of the chips).
    PinCondition Condition(int s, int socketPin) const;
    SimProgrammer* Programmer() const { return prog_; }
    // Registers the bus type Bus under the personality id.
    template <class Bus> static void Register(uint16_t id) {
        RegisterPersonality(id, [](const LogicImageHeader& h) -> std::unique_ptr<SimPersonality> {
            return std::make_unique<Bus>(h);
        });
    }

protected:
    // Socket s's pins as the chips see them. The chips read the pin
    // conditions straight from the bus's table, and the supply revision tells
    // them when only logic levels moved.
    class View : public PinEnvironment {
    public:
        View(const SocketBusPersonality& bus, int s) : bus_(bus), s_(s) {
            if (s >= 0 && s < kMaxSockets) conditions_ = bus.snap_[s];
            supplyRevision_ = bus.supplyRevision_;
            supplyPinRevisions_ = bus.supplyPinRevision_;
            supplyEpoch_ = bus.supplyEpoch_;
            supplyLog_ = &bus.supplyLog_;
        }
        // The view the chips are updated under: its conditions named by the
        // revision of socket s's table (see ConditionsRevision).
        void NameConditions(uint64_t revision) { conditionsRevision_ = revision; }
        PinCondition Condition(int socketPin) const override { return bus_.Condition(s_, socketPin); }
        uint64_t NowUs() const override { return bus_.Programmer() ? bus_.Programmer()->NowUs() : 0; }
        void Violation(const std::string& what) const override {
            if (bus_.Programmer()) bus_.Programmer()->Violation(what);
        }

    private:
        const SocketBusPersonality& bus_;
        int s_;
    };

    static constexpr int kMaxSockets = 8;
    // The gang adapter's sockets, else the programmer's own socket: socket s
    // is socket[s].
    struct SocketList {
        int count = 0;
        Socket* socket[kMaxSockets] = {};
        // for (auto [s, socket] : Sockets()): socket s and its socket.
        struct Iterator {
            const SocketList* list;
            int s;
            std::pair<int, Socket*> operator*() const { return {s, list->socket[s]}; }
            Iterator& operator++() { return ++s, *this; }
            bool operator!=(const Iterator& o) const { return s != o.s; }
        };
        Iterator begin() const { return {this, 0}; }
        Iterator end() const { return {this, count}; }
    };
    const SocketList& Sockets() const {
        if (socketsOf_ == prog_ && (prog_ == nullptr || socketsGeneration_ == prog_->ComponentGeneration())) return sockets_;
        return FindSockets();
    }
    const SocketList& FindSockets() const;
    // Fills snap_[s]: the electrical conditions, then the bus's drive.
    virtual void Snapshot(int s) = 0;
    // Whether an empty socket's pins are worked out too.
    virtual bool SnapshotEmptySockets() const { return true; }
    void UpdateChips();
    // Brings the chips up to date after supply or ground switching.
    void Sync();
    // The electrical conditions of every pin into c (skipPin floating).
    void ElectricalConditions(PinCondition* c, int skipPin = 0) const;
    // Brings snap_[s] back to the electrical conditions (supply_) and returns
    // it: the whole table when the supplies changed since snap_[s] was last
    // reset this way, else only the pins in `touched` (bit p: socket pin p),
    // which must name every pin the bus changed in snap_[s] since.
    PinCondition* ResetSnapshot(int s, uint64_t touched);
    // Brings back to supply_ only the pins of snap_[s] whose supply or
    // ground moved since snap_[s] was last reset (every pin the first time),
    // and returns them (bit p: socket pin p); the bus then drives them again.
    uint64_t ResetSnapshotSupplies(int s);
    // Whether snap_[s] holds the supply and ground conditions of the present
    // supply revision (reset by ResetSnapshot since they last changed).
    bool SnapshotSuppliesCurrent(int s) const { return snapRevision_[s] == supplyRevision_; }
    // Records a register write the bus does not expect ("<bus>: register 5
    // written 07h not expected"); true, the write is taken.
    static bool Unexpected(SimProgrammer& p, const char* bus, uint8_t reg, uint8_t value);
    // The start of every register write: the programmer, supply and ground
    // switching written before the access, and the registers above the bus's
    // (the DAC, the supply-A switches and the range latch move pin voltages).
    // True when reg is the bus's own (0-11).
    bool BeginWrite(SimProgrammer& p, uint8_t reg);

    // What a bus drew into socket s's table: while the supplies, the
    // programmer and its components are those it was drawn under, the bus
    // redraws only the lines that moved.
    struct DrawnBase {
        bool valid = false;
        uint64_t supplyRevision = 0;
        const SimProgrammer* programmer = nullptr;
        uint64_t generation = 0;
    };
    bool StillDrawn(const DrawnBase& d) const {
        return d.valid && d.supplyRevision == supplyRevision_ && d.programmer == prog_ &&
               (prog_ == nullptr || d.generation == prog_->ComponentGeneration());
    }
    void MarkDrawn(DrawnBase& d) const {
        d.valid = true;
        d.supplyRevision = supplyRevision_;
        d.programmer = prog_;
        d.generation = prog_ != nullptr ? prog_->ComponentGeneration() : 0;
    }
    // Line i of a group is on socket pin pins[i] (0: not on the socket): the
    // lines whose bits are set in `changed` take their level from `now`.
    static void SetMovedLevels(PinCondition* c, const int* pins, uint32_t changed, uint32_t now) {
        while (changed != 0) {
            const int i = __builtin_ctz(changed);
            changed &= changed - 1;
            if (pins[i] != 0) c[pins[i]].drivenHigh = ((now >> i) & 1) != 0;
        }
    }
    // The first n lines of a group (line i on socket pin pins[i], 0: not on
    // the socket) take the drive and level bits of `driven` and `high`: how a
    // bus switches its data drivers on, or hands the lines back to the
    // electrical conditions.
    static void SetLineDrivers(PinCondition* c, const int* pins, size_t n, uint32_t driven, uint32_t high) {
        for (size_t i = 0; i < n; ++i) {
            if (pins[i] == 0) continue;
            c[pins[i]].driven = ((driven >> i) & 1) != 0;
            c[pins[i]].drivenHigh = ((high >> i) & 1) != 0;
        }
    }

    SimProgrammer* prog_ = nullptr;
    bool dirty_ = true;
    PinCondition snap_[kMaxSockets][kSocketPins + 1];
    PinState electrical_[kSocketPins + 1];
    // The supply and ground part of each pin's condition, from electrical_,
    // and its revision (drawn afresh whenever they are refreshed).
    PinCondition supply_[kSocketPins + 1];
    uint64_t supplyRevision_ = PinEnvironment::NewSupplyRevision();
    // The Electrical revision supply_ and electrical_ were taken at (0 none).
    const Electrical* electricalOf_ = nullptr;
    uint64_t electricalRevision_ = 0;
    // The supply revision snap_[s] was last reset to by ResetSnapshot.
    uint64_t snapRevision_[kMaxSockets] = {};
    // The supply revision at which each pin's supply_ entry last changed.
    uint64_t supplyPinRevision_[kSocketPins + 1] = {};
    PinMoveLog supplyLog_; // the recent moves of supplyPinRevision_
    // The revision of each socket's table (see ConditionsRevision), for a
    // bus that names its tables: it calls TableMoved(s) whenever it changes
    // any entry of snap_[s] (ResetSnapshot and ResetSnapshotSupplies do so
    // for the entries they reset). A bus that does not leaves its chips
    // updated under revision 0 (not known).
    virtual bool NamesItsTables() const { return false; }
    void TableMoved(int s) { tableRevision_[s] = PinEnvironment::NewSupplyRevision(); }
    uint64_t tableRevision_[kMaxSockets] = {};
    uint64_t supplyEpoch_ = supplyRevision_; // every pin counts as moved then
    // Sockets() as of the programmer's component generation.
    mutable SocketList sockets_;
    mutable const SimProgrammer* socketsOf_ = nullptr;
    mutable uint64_t socketsGeneration_ = 0;
};

} // namespace sim
