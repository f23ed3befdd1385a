// The catalog of simulated parts: the simulator's one source of chip facts.
// Each part is keyed by maker and part name exactly as the device library
// spells them, carries the part's own datasheet facts in its family's facts
// struct (derived from PartFacts) and the make function of its chip model.
// The facts come from the datasheet, never from the device library: a wrong
// library record must fail against the part.
//
// Adding a part to a family that has a chip model: one entry in the family's
// parts file (sim/EpromParts.cpp, GalParts.cpp, Mcu8051Parts.cpp, ...), e.g.
//   add("AMD", Part(Jedec28("Am27C256", 0x8000), kQuickPulse, 0x01, 0x10));
// starting from the family's pin-out helper and changing only what the
// part's datasheet says differs (codes, voltages, pulse, erase, pages). A
// part without a datasheet, whose facts follow the algorithm row, sets
// PartFacts::followsRow.
// Adding a family: a facts struct (derived from PartFacts, registered with
// ChipPart or MadeBy; or the family's own struct, registered with ModelPart
// or ModelPartBy of sim/CatalogModel.h), its parts file registering each part
// with its make function, and the file's Add...Parts function in the list in
// Catalog.cpp.
// The library test (tests/tools) then asks for a part for every device of a
// row that has a module, agreeing on size, width and identity codes.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

// Builds a blank chip of a part from its facts; nullptr when the facts are
// not of the family's type.
using MakeChipFn = std::unique_ptr<CatalogChip> (*)(const PartFacts&);

// A family's own facts struct with the facts every part carries (filled from
// it when the family adds the part).
template <class F> struct FamilyFacts : PartFacts {
    F family;
};

struct CatalogPart {
    std::string maker;
    std::string name;
    MakeChipFn make = nullptr;
    std::shared_ptr<const PartFacts> facts;

    // The facts as the family's struct, nullptr when the part is of another family.
    template <class Facts> const Facts* As() const {
        if constexpr (std::is_base_of_v<PartFacts, Facts>) {
            return dynamic_cast<const Facts*>(facts.get());
        } else {
            const auto* f = dynamic_cast<const FamilyFacts<Facts>*>(facts.get());
            return f != nullptr ? &f->family : nullptr;
        }
    }
};

namespace detail {
template <class Fn> struct MadeFrom;
template <class R, class A> struct MadeFrom<R (*)(const A&)> {
    using Facts = A;
};
} // namespace detail

// The make function of a family whose facts struct derives from PartFacts:
// `New` builds the chip from the family's facts; facts of another type make
// nothing.
template <auto New> std::unique_ptr<CatalogChip> MakeChecked(const PartFacts& facts) {
    using Facts = typename detail::MadeFrom<decltype(New)>::Facts;
    const auto* f = dynamic_cast<const Facts*>(&facts);
    if (f == nullptr) return nullptr;
    return New(*f);
}

template <class Chip, class Facts> std::unique_ptr<CatalogChip> NewChip(const Facts& f) {
    return std::make_unique<Chip>(f);
}

// A part whose facts struct derives from PartFacts, built by `New`.
template <auto New, class Facts> CatalogPart MadeBy(std::string maker, Facts facts) {
    std::string name = facts.name;
    return {std::move(maker), std::move(name), MakeChecked<New>, std::make_shared<Facts>(std::move(facts))};
}

// A part whose chip model is a CatalogChip built from the part's facts.
template <class Chip, class Facts> CatalogPart ChipPart(std::string maker, Facts facts) {
    return MadeBy<NewChip<Chip, Facts>>(std::move(maker), std::move(facts));
}

// Every part, in the order the families add them.
const std::vector<CatalogPart>& Catalog();
// The part of that maker and name, nullptr when the catalog has none.
const CatalogPart* FindPart(std::string_view maker, std::string_view name);
// The first part of that name of any maker (a tester's part named alone:
// "SN74LS00", "61256", "GAL16V8"), nullptr when the catalog has none.
const CatalogPart* FindPart(std::string_view name);
// A part's facts as its family's struct, nullptr when the catalog has no such
// part of that family.
template <class Facts> const Facts* FindFacts(std::string_view maker, std::string_view name) {
    const CatalogPart* p = FindPart(maker, name);
    return p != nullptr ? p->template As<Facts>() : nullptr;
}
template <class Facts> const Facts* FindFacts(std::string_view name) {
    const CatalogPart* p = FindPart(name);
    return p != nullptr ? p->template As<Facts>() : nullptr;
}
// A blank chip of the part; nullptr when the part has no make function.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part);
// A chip of the part's model from facts a test changed (a copy of the part's,
// with a fault or a different seat); nullptr when they are of another family.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part, const PartFacts& facts);

} // namespace sim
