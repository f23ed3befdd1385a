// The catalog of simulated parts: the simulator's one source of chip facts.
// Each part is keyed by maker and part name exactly as the device library
// spells them, names its chip model (ChipKind) and carries the part's own
// datasheet facts in its family's facts struct (derived from PartFacts). The
// facts come from the datasheet, never from the device library: a wrong
// library record must fail against the part.
//
// Adding a part to a family that has a chip model: one line in the family's
// parts file (sim/EpromParts.cpp for the pulse-programmed EPROMs), e.g.
//   add("AMD", QuickPulse(Jedec28("Am27C256", 0x8000), 0x01, 0x10));
// starting from the family's pin-out helper and changing only what the
// part's datasheet says differs (codes, voltages, pulse, erase, pages).
// Adding a family: a facts struct derived from PartFacts, a chip model
// derived from CatalogChip that is built from it, a ChipKind with its case in
// MakeChip, and the family's Add...Parts function in the list in Catalog.cpp.
// The library test (tests/tools) then asks for a part for every device of a
// row that has a module, agreeing on size, width and identity codes.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

// The chip model that stands for a part.
enum class ChipKind : uint8_t {
    PulseEprom, // EpromChip from EpromConfig
};

struct CatalogPart {
    std::string maker;
    std::string name;
    ChipKind kind;
    std::shared_ptr<const PartFacts> facts;

    // The facts as the family's struct, nullptr when the part is of another family.
    template <class Facts> const Facts* As() const { return dynamic_cast<const Facts*>(facts.get()); }
};

// Every part, in the order the families add them.
const std::vector<CatalogPart>& Catalog();
// The part of that maker and name, nullptr when the catalog has none.
const CatalogPart* FindPart(std::string_view maker, std::string_view name);
// A blank chip of the part.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part);
// A chip from facts a test changed (a copy of a part's, with a fault or a
// different seat); the kind picks the model.
std::unique_ptr<CatalogChip> MakeChip(ChipKind kind, const PartFacts& facts);

// The families' parts (one function per parts file).
void AddEpromParts(std::vector<CatalogPart>& parts);

} // namespace sim
