// Base of the bus personalities that drive the pins of the socket (or of each
// gang socket) from registers: the electrical conditions of the pins, each
// socket's pins as the bus drives them, and the chips brought up to date
// after every change.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

protected:
    // Socket s's pins as the chips see them.
    class View : public PinEnvironment {
    public:
        View(const SocketBusPersonality& bus, int s) : bus_(bus), s_(s) {}
        PinCondition Condition(int socketPin) const override { return bus_.Condition(s_, socketPin); }
        uint64_t NowUs() const override { return bus_.Programmer() ? bus_.Programmer()->NowUs() : 0; }
        void Violation(const std::string& what) const override {
            if (bus_.Programmer()) bus_.Programmer()->Violation(what);
        }

    private:
        const SocketBusPersonality& bus_;
        int s_;
    };

    // The gang adapter's sockets, else the programmer's own socket.
    std::vector<std::pair<int, Socket*>> Sockets() const;
    // Fills snap_[s]: the electrical conditions, then the bus's drive.
    virtual void Snapshot(int s) = 0;
    // Whether an empty socket's pins are worked out too.
    virtual bool SnapshotEmptySockets() const { return true; }
    void UpdateChips();
    // Brings the chips up to date after supply or ground switching.
    void Sync();
    // The start of every register write: the chips catch up with supply and
    // ground switching written before it. True for a latch register (above
    // 11), which the bus leaves to the other components; the DAC, the
    // supply-A switches and the range latch move pin voltages, so the pins
    // are worked out again.
    bool LatchWrite(SimProgrammer& p, uint8_t reg);
    // The electrical conditions of every pin into c.
    void ElectricalConditions(PinCondition* c, int skipPin = 0) const;

    SimProgrammer* prog_ = nullptr;
    bool dirty_ = true;
    PinCondition snap_[8][kSocketPins + 1];
    PinState electrical_[kSocketPins + 1];
};

} // namespace sim
