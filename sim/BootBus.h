// The bootstrap logic image (personality kPersonalityBootstrap, parameter 0
// the register layout): it serves the parts that take a small program into
// RAM at power-up and then answer a byte handshake, the 68HC05 family model
// (Boot05Chip.h), the 68HC711 parts (Hc11BootChip.h) and the loader parts
// (LoaderMcuChip.h).
//
// Per layout, a table gives every register and value one meaning: a
// reset/mode control register whose values hold reset, hold it with the mode
// pins at their bootstrap levels, release it with the part driving its data
// port, release it with the programmer driving it, or switch everything off;
// a set-up register that must hold its value whenever reset is released;
// the download register and its byte clock; the strobe; the port latches
// (the last one written drives the part's input port at a strobe, or, where
// a layout names them, one latch carries the address and another the data);
// the data-in register; the ready register and bit in the layout's sense.
// Any other register or value, an unknown layout, a strobe while reset is
// held and a release without the set-up are violations.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <typeinfo>

#include "sim/SocketBus.h"

namespace sim {

struct BootLayout;
class Boot05Chip;
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
    // What a write the layout accepted does to each kind of part.
    void Drive(Boot05Chip& chip, uint8_t reg, uint8_t before, uint8_t value);
    void Drive(Hc11BootChip& chip, uint8_t reg, uint8_t before, uint8_t value);
    void Drive(LoaderMcuChip& chip, SimProgrammer& p, uint8_t reg, uint8_t before, uint8_t value);

    // The seated chip and what its model is (see Seated).
    struct Seat {
        const ChipModel* model = nullptr;
        const std::type_info* type = &typeid(void);
        Boot05Chip* b05 = nullptr;
        LoaderMcuChip* loader = nullptr;
        Hc11BootChip* h11 = nullptr;
    };
    mutable Seat seat_;
    const BootLayout* layout_; // null: a layout the image does not have
    uint8_t reg_[12] = {};
    uint8_t port_ = 0;
    uint8_t dataIn_ = 0xFF;
    // Since when the strobe is low (a loader part times it).
    uint64_t strobeFrom_ = 0;
    bool strobeLow_ = false;
    // The pin driver of a layout that hands over to it, and whether it has.
    std::unique_ptr<PinDriverPersonality> pins_;
    bool pinPhase_ = false, released_ = false;
};

void RegisterBootBusPersonality();

} // namespace sim
