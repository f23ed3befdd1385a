// The bootstrap logic image (personality kPersonalityBootstrap, parameter 0
// the register layout): it serves the parts that take a small program into
// RAM at power-up and then answer a byte handshake: the 68HC05 parts that run
// the download on their CPU (Hc05BootChip.h), the 68HC711 parts that run it
// on theirs (Hc11BootChip.h) and the loader parts (LoaderMcuChip.h).
//
// Per layout, a table gives every register and value one meaning: a
// reset/mode control register whose values hold reset, hold it with the mode
// pins at their bootstrap levels, release it with the part driving its data
// port, release it with the programmer driving it, or switch everything off;
// a set-up register that must hold its value whenever reset is released;
// the download register and its byte clock; the strobe; the port latches
// (the last one written drives the part's input port at a strobe, or, where
// a layout names them, one latch carries the address and another the data;
// a layout may give its latches the roles of address high, address low and
// data byte, and a byte strobed through a latch whose role is not due is a
// violation);
// the data-in register; the ready register and bit in the layout's sense.
// Where the control values tell the data port's direction apart, the data
// latch reaches the part only while the programmer drives the port (its
// lines rest at the layout's pull level otherwise), and the data-in register
// reads the part only while the part drives it: read while the programmer
// does, it gives back the logic's own latch, a violation.
// Any other register or value, an unknown layout, a strobe while reset is
// held and a release without the set-up are violations.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "sim/SocketBus.h"

namespace sim {

struct BootLayout;
class Hc05BootChip;
class Hc11BootChip;
class LoaderMcuChip;
class PinDriverPersonality;

class BootBusPersonality : public SocketBusPersonality {
public:
    explicit BootBusPersonality(const LogicImageHeader& h);
    ~BootBusPersonality() override;

    uint16_t Id() const override;
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    void OnUnconfigure(SimProgrammer& p) override;

private:
    void Snapshot(int s) override { ElectricalConditions(snap_[s]); }
    // The one part in the socket when it is of model Chip.
    template <class Chip> Chip* Seated() const;
    // The seated part as each model the bus serves (at most one is set),
    // looked up again only when the socket's part changed.
    struct SeatedParts {
        Hc05BootChip* hc05 = nullptr;
        Hc11BootChip* hc11 = nullptr;
        LoaderMcuChip* loader = nullptr;
    };
    const SeatedParts& Parts() const;
    // What a write the layout accepted does to each kind of part.
    void Drive(Hc05BootChip& chip, uint8_t reg, uint8_t before, uint8_t value);
    void Drive(Hc11BootChip& chip, uint8_t reg, uint8_t before, uint8_t value);
    void Drive(LoaderMcuChip& chip, SimProgrammer& p, uint8_t reg, uint8_t before, uint8_t value);
    // The lines of the part's input port the logic drives now.
    uint8_t PortDriven() const;
    // At a strobe: whether the latch written since the last one holds the
    // byte whose role is due (a violation otherwise).
    void CheckRole(SimProgrammer& p);

    const BootLayout* layout_; // null: a layout the image does not have
    uint8_t reg_[12] = {};
    uint8_t port_ = 0;
    int lastLatch_ = -1; // the latch written last (it drives port_)
    // The role of the byte strobed last since the release, whether an
    // address was sent, and the latch written since the last strobe.
    enum class Role : uint8_t { None, High, Low, Data };
    Role lastRole_ = Role::None;
    bool addressed_ = false;
    int strobedLatch_ = -1;
    // Since when the strobe is low (a loader part times it).
    uint64_t strobeFrom_ = 0;
    bool strobeLow_ = false;
    // The pin driver of a layout that hands over to it, and whether it has.
    std::unique_ptr<PinDriverPersonality> pins_;
    bool pinPhase_ = false, released_ = false;
    mutable SeatedParts parts_;
    mutable const void* partsKey_[4] = {};
    mutable uint64_t partsGeneration_ = 0;
};

void RegisterBootBusPersonality();

} // namespace sim
