// What every simulated part carries from its datasheet, and what the rack
// needs of every chip model it seats. A family's facts struct derives from
// PartFacts and adds its own (EpromConfig for the pulse-programmed EPROMs).
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

// A voltage range in tenths of a volt, both ends included.
struct VoltageWindow {
    int minTenths = 0;
    int maxTenths = 0;
    bool Holds(int tenths) const { return tenths >= minTenths && tenths <= maxTenths; }
};

struct PartFacts {
    virtual ~PartFacts() = default;

    std::string name = "part"; // names the part in violations
    // Organisation: words of `width` bits (8 or 16), erased to `blank`.
    int pinCount = 28;
    uint32_t words = 0;
    int width = 8;
    uint16_t blank = 0xFF;
    // Electronic signature; -1 where the datasheet gives none.
    int makerCode = -1;
    int deviceCode = -1;
    // Supply: the window the part works in (read and programming supply),
    // and how long VCC has to be steady in it before the first access.
    VoltageWindow vcc{45, 65};
    uint32_t powerUpUs = 2;
    // Pin-out (chip pins, 1-based).
    int vccPin = 28;
    std::vector<int> gndPins{14};
    // No datasheet was found: the facts the algorithm row exercises (pin-out,
    // protocol, codes) were taken from the row itself, so a run of the row
    // against this part checks the row against its own reading, never against
    // a chip.
    bool followsRow = false;
    // Cells from this chip address on keep the model's own layout (option
    // areas behind a code array), not the datum the buffer holds at that
    // address: a check of the cells against the buffer stops here. 0: none.
    uint32_t ownLayoutFrom = 0;
};

// A chip model the rack can seat from the catalog and keep between runs.
class CatalogChip : public ChipModel {
public:
    virtual const PartFacts& Facts() const = 0;
    // The footprint and voltage limits for the electrical model.
    virtual ChipPinLimits Limits() const = 0;
    // The contents the rack keeps between runs, word by word (the EPROM
    // array, a GAL's fuse map, an 8051's code bytes); 0 words for a part that
    // keeps nothing (a logic IC, a RAM).
    virtual size_t Words() const = 0;
    virtual uint16_t Cell(uint32_t address) const = 0;
    virtual void SetCell(uint32_t address, uint16_t value) = 0;
    // The family's own model behind the part (an adapted one's, else itself).
    virtual ChipModel& Model() { return *this; }
};

// A family's own facts struct with the facts every part carries (filled from
// it when the family adds the part).
template <class F> struct FamilyFacts : PartFacts {
    F family;
};

// The one typed way to a catalog part's facts and to a seated chip's model;
// nothing else in the simulator or its tests casts catalog facts or chips.
//
// A part's facts as its family's struct: a struct derived from PartFacts, a
// family's own struct F (held as FamilyFacts<F>) or FamilyFacts<F> itself;
// nullptr when the part is of another family.
template <class Facts> const Facts* FactsAs(const PartFacts* facts) {
    if (facts == nullptr) return nullptr;
    if constexpr (std::is_base_of_v<PartFacts, Facts>) {
        return dynamic_cast<const Facts*>(facts);
    } else {
        const auto* f = dynamic_cast<const FamilyFacts<Facts>*>(facts);
        return f != nullptr ? &f->family : nullptr;
    }
}

// The model of a seated chip as M, past the catalog's adapter (which only
// forwards to the family's model); nullptr when it is no M.
template <class M> M* SeatedModel(ChipModel* chip) {
    if (chip == nullptr) return nullptr;
    if constexpr (std::is_same_v<std::remove_const_t<M>, ChipModel>) {
        if (auto* part = dynamic_cast<CatalogChip*>(chip)) chip = &part->Model();
        return chip;
    } else {
        // A model seated as itself first: a cast that matches the object's
        // own type is the cheap one (the bus models ask on every cycle).
        if (auto* model = dynamic_cast<M*>(chip)) return model;
        auto* part = dynamic_cast<CatalogChip*>(chip);
        return part != nullptr ? dynamic_cast<M*>(&part->Model()) : nullptr;
    }
}
template <class M> const M* SeatedModel(const ChipModel* chip) {
    return SeatedModel<const M>(const_cast<ChipModel*>(chip));
}

} // namespace sim
